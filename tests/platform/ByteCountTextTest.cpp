#include "platform/ByteCountText.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <limits>

using tarnwick::formatFileByteCount;

TEST(ByteCountText, FormatsInTheDesktopFileStyle) {
    struct Row {
        qint64 bytes;
        const char* expected;
    };
    const Row rows[] = {
        {0, "Zero KB"},
        {1, "1 byte"},
        {2, "2 bytes"},
        {999, "999 bytes"},
        {1000, "1 KB"},
        {1499, "1 KB"},
        {1500, "2 KB"}, // half to even
        {2500, "2 KB"}, // half to even
        {2501, "3 KB"},
        {123456, "123 KB"},
        {998500, "998 KB"},
        {999499, "999 KB"},
        {999500, "1 MB"}, // never "1,000 KB"
        {999999, "1 MB"},
        {1000000, "1 MB"},
        {1250000, "1.2 MB"},
        {1350000, "1.4 MB"},
        {1234567, "1.2 MB"},
        {123456789, "123.5 MB"},
        {999949999, "999.9 MB"},
        {999950000, "1 GB"},
        {999999999, "1 GB"},
        {999994999999, "999.99 GB"},
        {999995000000, "1 TB"},
        {1000000000, "1 GB"},
        {1500000000, "1.5 GB"},
        {1234567890, "1.23 GB"},
        {12345678901, "12.35 GB"},
        {1000000000000, "1 TB"},
        {2500000000000000, "2.5 PB"},
        {std::numeric_limits<qint64>::max(), "9.22 EB"},
        {-1, "-1 byte"},
        {-500, "-500 bytes"},
        {-1500000, "-1.5 MB"},
        {std::numeric_limits<qint64>::min(), "-9.22 EB"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(formatFileByteCount(row.bytes), QString::fromUtf8(row.expected)) << row.bytes;
}

TEST(ByteCountText, IgnoresTheProcessLocale) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(formatFileByteCount(1500000), "1.5 MB");
    EXPECT_EQ(formatFileByteCount(1234567890123), "1.23 TB");
    EXPECT_EQ(formatFileByteCount(123456), "123 KB");
    QLocale::setDefault(previous);
}
