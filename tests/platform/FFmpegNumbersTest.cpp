#include "platform/FFmpegNumbers.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tarnwick::ffmpegNumbers;

TEST(FFmpegNumbers, IntegersAreSignAndDigitsWithin64Bits) {
    EXPECT_EQ(integer(QStringLiteral("+42")), 42);
    EXPECT_EQ(integer(QStringLiteral("-9223372036854775808")), std::numeric_limits<qint64>::min());
    EXPECT_EQ(integer(QStringLiteral("9223372036854775807")), std::numeric_limits<qint64>::max());
    for (const char* bad : {"", "+", "-", "+-1", " 1", "1 ", "1.0", "0x10", "9223372036854775808", "١٢"})
        EXPECT_FALSE(integer(QString::fromUtf8(bad))) << bad;
}

TEST(FFmpegNumbers, DecimalsUseTheWholeTextAndAreFinite) {
    EXPECT_EQ(decimal(QStringLiteral("3723.5")), 3723.5);
    EXPECT_EQ(decimal(QStringLiteral("1e3")), 1000.0);
    EXPECT_EQ(decimal(QStringLiteral("+7")), 7.0);
    EXPECT_EQ(decimal(QStringLiteral("-5")), -5.0);
    for (const char* bad : {"", " 1", "1 ", "10s", "N/A", "nan", "inf", "-inf", "infinity", "1e400", "1,5",
                            "+-5", "0x1p3", "١٢"})
        EXPECT_FALSE(decimal(QString::fromUtf8(bad))) << bad;
}

// The previews and the transcode both read their durations here: one answer for every text.
TEST(FFmpegNumbers, DurationsAreFiniteAndNotNegative) {
    EXPECT_EQ(duration(QStringLiteral("12.480000")), 12.48);
    EXPECT_EQ(duration(QStringLiteral("0")), 0.0);
    for (const char* bad : {"inf", "nan", "-5", "-0.5", "N/A"})
        EXPECT_FALSE(duration(QString::fromUtf8(bad))) << bad;
    EXPECT_FALSE(duration(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(duration(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(duration(-1.0));

    EXPECT_EQ(durationFromClock(QStringLiteral("01"), QStringLiteral("02"), QStringLiteral("03.50")), 3723.5);
    EXPECT_FALSE(durationFromClock(QStringLiteral("00"), QStringLiteral("-1"), QStringLiteral("30")));
    EXPECT_FALSE(durationFromClock(QStringLiteral("00"), QStringLiteral("00"), QStringLiteral("nan")));
    EXPECT_FALSE(durationFromClock(QStringLiteral("1e308"), QStringLiteral("0"), QStringLiteral("0")))
        << "hours that overflow are no duration";
}
