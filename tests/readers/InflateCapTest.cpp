#include "readers/PrprojDecompression.h"

#include "support/ProjectGenerator.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::prproj;
using tarnwick::testing::ProjectGenerator;

namespace {

qint64 physicalMemory() {
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : meminfo.readAll().split('\n')) {
        if (line.startsWith("MemTotal:"))
            return line.mid(9).trimmed().split(' ').front().toLongLong() * 1024;
    }
    return -1;
}

const QByteArray xmlLine("<Media><ActualMediaFilePath>/Volumes/X/a.mov</ActualMediaFilePath></Media>\n");

} // namespace

TEST(InflateCap, IsTheLowerOfEightGiBAndAQuarterOfTheMemory) {
    const qint64 memory = physicalMemory();
    ASSERT_GT(memory, 0);
    EXPECT_EQ(inflatedSizeCap(), std::min(maxInflatedSize, memory / 4));
}

// Compressed a thousandfold: refused once the output passes the limit, on both routes and engines.
TEST(InflateCap, RefusesABombWhileInflatingAndSaysWhy) {
    const QByteArray text = xmlLine.repeated(40000); // 3 MB
    const qint64 limit = text.size() / 2;
    for (InflateEngine e : {InflateEngine::fastest, InflateEngine::zlib}) {
        for (const QByteArray& packed : {ProjectGenerator::gzip(text), ProjectGenerator::rawDeflate(text)}) {
            bool over = false;
            EXPECT_EQ(decompressProjectData(packed, e, limit, &over), std::nullopt);
            EXPECT_TRUE(over);
            EXPECT_EQ(decompressProjectData(packed, e, text.size(), &over), text);
            EXPECT_FALSE(over);
        }
        // A second member that takes the text past the limit.
        const QByteArray half = text.left(text.size() / 2 + 2);
        bool over = false;
        EXPECT_EQ(
            decompressProjectData(QByteArray(ProjectGenerator::gzip(half) + ProjectGenerator::gzip(half)), e,
                                  text.size(), &over),
            std::nullopt);
        EXPECT_TRUE(over);
        // Damage is not a bomb.
        QByteArray damaged = ProjectGenerator::gzip(text);
        damaged.truncate(damaged.size() / 2);
        EXPECT_EQ(decompressProjectData(damaged, e, text.size(), &over), std::nullopt);
        EXPECT_FALSE(over);
    }
}

// A header claiming a size far beyond the limit takes no more room than the limit allows.
TEST(InflateCap, AClaimedSizeBeyondTheLimitIsRefused) {
    const QByteArray text = xmlLine.repeated(40000);
    QByteArray packed = ProjectGenerator::gzip(text);
    packed[packed.size() - 1] = char(0x7f); // ISIZE: about 2 GB
    bool over = false;
    EXPECT_EQ(decompressProjectData(packed, InflateEngine::fastest, text.size() - 1, &over), std::nullopt);
    EXPECT_TRUE(over);
    EXPECT_EQ(decompressProjectData(packed, InflateEngine::fastest, text.size(), &over), text);
}
