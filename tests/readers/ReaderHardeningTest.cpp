#include "readers/AEPParser.h"
#include "readers/ProjectParser.h"
#include "readers/ResolveCSV.h"

#include "support/ProjectGenerator.h"
#include "support/ProjectParserLogCapture.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tarnwick {
namespace {

using testing::ProjectGenerator;
using testing::ProjectParserLogCapture;

// A pipe with no writer blocks a plain open forever; a link to /dev/zero never ends. Both must be
// refused at once with a clear reason.
QStringList specialFiles(const QTemporaryDir& dir, const QString& extension) {
    const QString fifo = dir.filePath(QStringLiteral("Pipe.") + extension);
    const QString zero = dir.filePath(QStringLiteral("Zero.") + extension);
    EXPECT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    return {fifo, zero};
}

TEST(ReaderSpecialFiles, APremiereProjectThatIsAPipeOrADeviceIsRefused) {
    QTemporaryDir dir;
    for (const QString& path : specialFiles(dir, QStringLiteral("prproj"))) {
        ProjectParserLogCapture quiet;
        try {
            ProjectParser().parse(path);
            ADD_FAILURE() << "parsed " << path.toStdString();
        } catch (const ProjectParser::FileReadError& e) {
            EXPECT_EQ(e.description(), QStringLiteral("The file “") + QFileInfo(path).fileName() +
                                           QStringLiteral("” couldn’t be opened: Not a regular file"));
        }
    }
}

TEST(ReaderSpecialFiles, AnAfterEffectsProjectThatIsAPipeOrADeviceIsRefused) {
    QTemporaryDir dir;
    for (const QString& path : specialFiles(dir, QStringLiteral("aep"))) {
        ProjectParserLogCapture quiet;
        AEPParser parser;
        try {
            parser.parse(path);
            ADD_FAILURE() << "parsed " << path.toStdString();
        } catch (const AEPParser::AEPParserError& e) {
            EXPECT_EQ(e.kind(), AEPParser::AEPParserError::Kind::readError);
            EXPECT_EQ(e.description(), QStringLiteral("Read error: Cannot read file: Not a regular file"));
        }
    }
}

// "a.mov\0evil.mov" would be checked, merged and acted on as "a.mov".
TEST(ReaderNulPaths, APremierePathHoldingANulIsDroppedWithAWarning) {
    const QByteArray xml = QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
                                      "<PremiereData Version=\"3\">\n"
                                      "<Media ObjectUID=\"m1\">\n"
                                      "<ActualMediaFilePath>/Volumes/X/a.mov</ActualMediaFilePath>\n"
                                      "</Media>\n"
                                      "<Media ObjectUID=\"m2\">\n"
                                      "<ActualMediaFilePath>/Volumes/X/b.mov") +
                           QByteArray(1, '\0') +
                           QByteArray("evil.mov</ActualMediaFilePath>\n"
                                      "</Media>\n"
                                      "<Media ObjectUID=\"m3\">\n"
                                      "<FilePath>{\"mFilePath\":\"/Volumes/X/a.mov\\u0000evil.mov\"}</FilePath>\n"
                                      "</Media>\n"
                                      "</PremiereData>\n");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Nul.prproj"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ProjectGenerator::gzip(xml));
    file.close();

    ProjectParserLogCapture log;
    const ProjectParser::ParseResult r = ProjectParser().parse(path);
    EXPECT_EQ(r.allMediaPaths, QSet<QString>{QStringLiteral("/Volumes/X/a.mov")});
    EXPECT_EQ(log.messages().filter(QStringLiteral("Skipped a media path containing a NUL character")).size(), 2);
}

TEST(ReaderNulPaths, AResolveRowHoldingANulIsSkipped) {
    const QByteArray csv = QByteArray("File Name,Clip Directory\r\n"
                                      "a.mov,/Volumes/X\r\n"
                                      "a.mov") +
                           QByteArray(1, '\0') +
                           QByteArray("evil.mov,/Volumes/X\r\n"
                                      "b.mov,/Volumes/X") +
                           QByteArray(1, '\0') + QByteArray("/Y\r\n");
    const ResolveCSVParse result = ResolveCSV::parse(csv);
    ASSERT_EQ(result.rows.size(), 1);
    EXPECT_EQ(result.rows.front().fullPath(), QStringLiteral("/Volumes/X/a.mov"));
    ASSERT_EQ(result.skipped.size(), 2);
    EXPECT_EQ(result.skipped[0].reason, ResolveCSVSkipReason::notMediaFile);
    EXPECT_EQ(result.skipped[1].reason, ResolveCSVSkipReason::notMediaFile);
}

TEST(ReaderNulPaths, AnAfterEffectsPathHoldingANulIsNotAFootagePath) {
    EXPECT_TRUE(AEPParser::isPlausibleFootagePath(QStringLiteral("/Volumes/X/a.mov")));
    EXPECT_FALSE(AEPParser::isPlausibleFootagePath(QStringLiteral("/Volumes/X/a.mov") + QChar(u'\0') +
                                                   QStringLiteral("evil.mov")));
}

} // namespace
} // namespace tarnwick
