#include "readers/ProjectParser.h"
#include "readers/PrprojDecompression.h"

#include "support/ProjectGenerator.h"
#include "support/ProjectParserLogCapture.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <zlib.h>

using namespace tarnwick;
using namespace tarnwick::prproj;
using tarnwick::testing::ProjectGenerator;
using tarnwick::testing::ProjectGeneratorOptions;
using tarnwick::testing::ProjectParserLogCapture;

namespace {

const QByteArray kXml =
    QByteArray("<?xml version=\"1.0\"?>\n<PremiereData>\n<Title>Café</Title>\n</PremiereData>\n");

QByteArray le32(quint32 v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return b;
}

QByteArray trailer(const QByteArray& data) {
    const auto crc = static_cast<quint32>(
        crc32(0, reinterpret_cast<const Bytef*>(data.constData()), static_cast<uInt>(data.size())));
    return le32(crc) + le32(static_cast<quint32>(data.size()));
}

// A gzip member built by hand, so that every optional header field can be set.
QByteArray member(const QByteArray& data, unsigned char flags, unsigned char method = 8) {
    QByteArray h;
    h.append('\x1f').append('\x8b').append(static_cast<char>(method)).append(static_cast<char>(flags));
    h.append(QByteArray(6, '\0'));
    if (flags & 0x04)
        h.append('\x03').append('\0').append("abc");
    if (flags & 0x08)
        h.append("cut.prproj").append('\0');
    if (flags & 0x10)
        h.append("a comment").append('\0');
    if (flags & 0x02)
        h.append("\x12\x34");
    return h + ProjectGenerator::rawDeflate(data) + trailer(data);
}

std::optional<QByteArray> decode(const QByteArray& bytes, InflateEngine e = InflateEngine::fastest) {
    return decompressProjectData(bytes, e);
}

} // namespace

TEST(ProjectParserDecompression, AcceptsGzipWithEveryHeaderField) {
    for (unsigned char flags : {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F, 0xFF & ~0xE0, 0xE0 | 0x0C}) {
        for (InflateEngine e : {InflateEngine::fastest, InflateEngine::zlib}) {
            const std::optional<QByteArray> out = decode(member(kXml, flags), e);
            ASSERT_TRUE(out.has_value()) << int(flags);
            EXPECT_EQ(*out, kXml) << int(flags);
        }
    }
}

TEST(ProjectParserDecompression, AcceptsRawDeflateAndIgnoresWhatFollowsIt) {
    EXPECT_EQ(decode(ProjectGenerator::rawDeflate(kXml)), kXml);
    EXPECT_EQ(decode(ProjectGenerator::rawDeflate(kXml) + QByteArray("garbage")), kXml);
}

TEST(ProjectParserDecompression, RejectsPlainXmlAndNonUtf8Text) {
    EXPECT_FALSE(decode(kXml).has_value());
    EXPECT_FALSE(decode(QByteArray()).has_value());
    EXPECT_FALSE(decode(member(QByteArray("<a>\xff\xfe</a>"), 0)).has_value());
    EXPECT_FALSE(decode(member(QByteArray("\xed\xa0\x80"), 0)).has_value()); // an encoded surrogate
    EXPECT_FALSE(decode(member(QByteArray("\xc0\xaf"), 0)).has_value());     // overlong
}

TEST(ProjectParserDecompression, NeverAcceptsATruncatedStream) {
    ProjectGeneratorOptions o;
    o.mediaCount = 40;
    const QByteArray xml = ProjectGenerator::generate(o).xml;
    const QByteArray gz = ProjectGenerator::gzip(xml);
    ASSERT_EQ(decode(gz), xml);
    // Cut inside the DEFLATE data: the media blocks inflate, the timelines would be lost.
    for (qsizetype keep : {gz.size() - 9, gz.size() * 3 / 4, gz.size() / 2, qsizetype(40)}) {
        EXPECT_FALSE(decode(gz.left(keep)).has_value()) << keep;
        EXPECT_FALSE(decode(gz.left(keep), InflateEngine::zlib).has_value()) << keep;
    }
}

TEST(ProjectParserDecompression, IgnoresTheTrailerButNeedsItsRoom) {
    QByteArray gz = member(kXml, 0);
    gz[gz.size() - 6] = 'X'; // CRC32
    gz[gz.size() - 1] = 'Y'; // length
    EXPECT_EQ(decode(gz), kXml);
    EXPECT_FALSE(decode(gz.left(gz.size() - 8)).has_value()); // the body would end inside the cut trailer
}

TEST(ProjectParserDecompression, InflatesEveryFollowingMemberAndIgnoresOtherTrailingData) {
    const QByteArray second("<Second/>\n");
    EXPECT_EQ(decode(member(kXml, 0x08) + member(second, 0x10)), kXml + second);
    EXPECT_EQ(decode(member(kXml, 0) + member(second, 0) + member(kXml, 0), InflateEngine::zlib),
              kXml + second + kXml);
    EXPECT_EQ(decode(member(kXml, 0) + QByteArray(16, '\0')), kXml);
    // A damaged following member loses data: refused rather than cut short.
    QByteArray broken = member(second, 0);
    broken.truncate(broken.size() - 12);
    EXPECT_FALSE(decode(member(kXml, 0) + broken + QByteArray(8, '\0')).has_value());
}

TEST(ProjectParserDecompression, WalksTheHeaderAsTheFormatDescribes) {
    EXPECT_FALSE(
        gzipBody(QByteArray("\x1f\x8b\x08\x04\0\0\0\0\0\0\0\0", 12)).has_value());      // FEXTRA, 12 bytes
    EXPECT_FALSE(gzipBody(QByteArray("\x1f\x8b\x08\0\0\0\0\0\0\0\0", 11)).has_value()); // 11 bytes
    EXPECT_FALSE(gzipBody(QByteArray("\x1f\x8b\x08\x08\0\0\0\0\0\0name-without-end...", 29)).has_value());
    EXPECT_FALSE(gzipBody(QByteArray("\x1f\x8c\x08\0\0\0\0\0\0\0\x03\0\0\0\0\0\0\0\0\0", 20)).has_value());
    const std::optional<ByteRange> body = gzipBody(member(kXml, 0x1E));
    ASSERT_TRUE(body.has_value());
    EXPECT_EQ(body->begin, 10 + 5 + 11 + 10 + 2);
    // The compression method is not checked: a wrong one reaches the inflater, which decides.
    EXPECT_EQ(decode(member(kXml, 0, 7)), kXml);
}

TEST(ProjectParserDecompression, RefusesOutputBeyondTheLimit) {
    const QByteArray big(1 << 20, 'a');
    const QByteArray raw = ProjectGenerator::rawDeflate(big);
    for (InflateEngine e : {InflateEngine::fastest, InflateEngine::zlib}) {
        QByteArray out;
        EXPECT_FALSE(inflateRaw(raw, out, big.size(), e, big.size() - 1).has_value());
        out.clear();
        EXPECT_EQ(inflateRaw(raw, out, big.size(), e, big.size()), raw.size());
        EXPECT_EQ(out, big);
        out.clear();
        EXPECT_EQ(inflateRaw(raw, out, 10, e, big.size()), raw.size()); // a wrong hint only costs time
        EXPECT_EQ(out, big);
    }
}

TEST(ProjectParserDecompression, MatchesZlibOnGeneratedProjects) {
    for (bool crlf : {false, true}) {
        ProjectGeneratorOptions o;
        o.mediaCount = 200;
        o.crlf = crlf;
        const QByteArray xml = ProjectGenerator::generate(o).xml;
        const QByteArray gz = ProjectGenerator::gzip(xml, 9);
        EXPECT_EQ(decode(gz), xml);
        EXPECT_EQ(decode(gz, InflateEngine::zlib), xml);
    }
}

TEST(ProjectParserDecompression, ReportsUnreadableAndUndecodableFiles) {
    QTemporaryDir dir;
    ProjectParserLogCapture log;
    const QString missing = dir.filePath(QStringLiteral("Gone.prproj"));
    EXPECT_THROW(ProjectParser().parse(missing), ProjectParser::FileReadError);
    ASSERT_FALSE(log.messages().isEmpty());
    EXPECT_TRUE(
        log.messages().last().startsWith(QStringLiteral("❌ Parse failed: Gone - The file “Gone.prproj”")));

    const QString plain = dir.filePath(QStringLiteral("Plain.prproj"));
    QFile f(plain);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(kXml);
    f.close();
    log.clear();
    try {
        ProjectParser().parse(plain);
        ADD_FAILURE() << "plain XML was accepted";
    } catch (const ProjectParser::ParserError& e) {
        EXPECT_EQ(e.kind(), ProjectParser::ParserError::Kind::decompressionFailed);
        EXPECT_EQ(e.description(),
                  QStringLiteral("Failed to decompress project file: Failed to decompress gzip data"));
    }
    EXPECT_EQ(
        log.messages(),
        (QStringList{QStringLiteral("📂 Starting parse: Plain"), QStringLiteral("  → Decompressing..."),
                     QStringLiteral("🔧 Read %1 bytes from Plain.prproj").arg(kXml.size()),
                     QStringLiteral("❌ Parse failed: Plain - Failed to decompress project file: Failed to "
                                    "decompress gzip data")}));
}
