#include "platform/NumberText.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <clocale>

namespace number = tarnwick::number;

TEST(NumberText, UsesADotWhateverTheLocale) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const char* previousC = std::setlocale(LC_NUMERIC, nullptr);
    const std::string savedC = previousC ? previousC : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8"); // may be absent; the check holds either way

    EXPECT_EQ(number::fixed(0.25, 2), "0.25");
    EXPECT_EQ(number::fixed(1234.5, 1), "1234.5");
    EXPECT_EQ(number::fixed(2.0, 0), "2");
    EXPECT_EQ(number::fixed(-0.125, 3), "-0.125");
    EXPECT_EQ(number::seconds1(2.46), "2.5s");
    EXPECT_EQ(number::seconds1(0), "0.0s");
    EXPECT_EQ(number::seconds1(0.25), "0.2s"); // an exact tie rounds to even, as "%.1f" does
    EXPECT_EQ(number::fixed(1e20, 1), "100000000000000000000.0");

    std::setlocale(LC_NUMERIC, savedC.c_str());
    QLocale::setDefault(previous);
}
