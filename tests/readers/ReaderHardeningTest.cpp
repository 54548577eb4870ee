#include "readers/AEPParser.h"
#include "readers/ProjectParser.h"
#include "readers/ResolveCSV.h"

#include "support/ProjectGenerator.h"
#include "support/ProjectParserLogCapture.h"

#include <QDir>
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
    const QByteArray xml =
        QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
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
    EXPECT_EQ(log.messages().filter(QStringLiteral("Skipped a media path containing a NUL character")).size(),
              2);
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

QString writeProject(const QTemporaryDir& dir, const QString& name, const QByteArray& xml) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ProjectGenerator::gzip(xml));
    return path;
}

QByteArray premiere(const QByteArray& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<PremiereData Version=\"3\">\n" + body +
           "</PremiereData>\n";
}

// Laid out as the editor writes it: indented, among other properties.
QByteArray mediaBlock(const QByteArray& id, const QByteArray& relative, const QByteArray& path) {
    return "\t<Media ObjectUID=\"" + id +
           "\" ClassID=\"7a5c103e-f3ac-4391-b6b4-7cc3d2f9a7ff\" Version=\"30\">\n"
           "\t\t<RelativePath>" +
           relative +
           "</RelativePath>\n"
           "\t\t<ActualMediaFilePath>" +
           path +
           "</ActualMediaFilePath>\n"
           "\t\t<ImplementationID>1fa18bfa-255c-44b1-ad73-56bcd99fceaf</ImplementationID>\n"
           "\t\t<IsSequencePreview>false</IsSequencePreview>\n"
           "\t\t<ModificationState>0</ModificationState>\n"
           "\t</Media>\n";
}

// One line repeated a million times must not cost a copy per line, nor change what is read.
TEST(ReaderMemory, ARepeatedMediaBlockReadsAsItDoesOnce) {
    QTemporaryDir dir;
    const QByteArray block = mediaBlock("m1", "../A/a.mov", "/V/a.mov");
    const QString once = writeProject(dir, QStringLiteral("Once.prproj"), premiere(block));
    const QString many = writeProject(dir, QStringLiteral("Many.prproj"), premiere(block.repeated(20000)));
    ProjectParserLogCapture quiet;
    const ProjectParser::ParseResult a = ProjectParser().parse(once);
    const ProjectParser::ParseResult b = ProjectParser().parse(many);
    EXPECT_EQ(a.allMediaPaths, b.allMediaPaths);
    EXPECT_EQ(a.relativeCandidates, b.relativeCandidates);
}

// A repeat is only dropped when nothing changed since the same path was last read: the last
// relative path given for it still wins.
TEST(ReaderMemory, TheLastRelativePathOfARepeatedPathStillWins) {
    QTemporaryDir dir;
    const QByteArray body = mediaBlock("m1", "../A/a.mov", "/V/a.mov") +
                            mediaBlock("m2", "../B/a.mov", "/V/a.mov") +
                            mediaBlock("m1", "../A/a.mov", "/V/a.mov");
    ProjectParserLogCapture quiet;
    const ProjectParser::ParseResult r =
        ProjectParser().parse(writeProject(dir, QStringLiteral("R.prproj"), premiere(body)));
    EXPECT_EQ(r.relativeCandidates.value(QStringLiteral("/V/a.mov")),
              QDir::cleanPath(dir.path() + QStringLiteral("/../A/a.mov")));
}

// Nothing but short tagged lines: the line index alone would take several times the text.
TEST(ReaderMemory, ATextOfNothingButShortTaggedLinesIsRefused) {
    QTemporaryDir dir;
    const QString path = writeProject(dir, QStringLiteral("Dense.prproj"),
                                      premiere(QByteArray("<Name>x</Name>\n").repeated(300000)));
    ProjectParserLogCapture quiet;
    try {
        ProjectParser().parse(path);
        ADD_FAILURE() << "parsed";
    } catch (const ProjectParser::ParserError& e) {
        EXPECT_EQ(e.kind(), ProjectParser::ParserError::Kind::invalidXML);
        EXPECT_EQ(e.description(),
                  QStringLiteral("Invalid XML content: far more tagged lines than a project holds"));
    }
}

} // namespace
} // namespace tarnwick
