#include "platform/Sha256.h"
#include "platform/ReadOnlyFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarnwick;

TEST(Sha256, MatchesKnownDigestsWhetherFedAtOnceOrInPieces) {
    Sha256 whole;
    whole.update("abc", 3);
    EXPECT_EQ(Sha256::hexString(whole.finish()),
              QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    Sha256 pieces;
    pieces.update("a", 1);
    pieces.update("", 0);
    pieces.update("bc", 2);
    EXPECT_EQ(Sha256::hexString(pieces.finish()),
              QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    Sha256 empty;
    EXPECT_EQ(Sha256::hexString(empty.finish()),
              QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
}

TEST(Sha256, ACopyCarriesOnFromTheSameState) {
    Sha256 prefix;
    prefix.update("ab", 2);
    Sha256 other(prefix);
    prefix.update("c", 1);
    other.update("d", 1);
    EXPECT_EQ(Sha256::hexString(prefix.finish()),
              QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    Sha256 abd;
    abd.update("abd", 3);
    EXPECT_EQ(other.finish(), abd.finish());
}

TEST(ReadOnlyFile, ReadsUntilTheCountOrTheEnd) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.bin"));
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(QByteArray(10000, 'x'));
    out.close();

    ReadOnlyFile file(path);
    ASSERT_TRUE(file.isOpen());
    QByteArray buffer(8192, '\0');
    EXPECT_EQ(file.readFully(buffer.data(), 8192), 8192);
    EXPECT_EQ(file.readFully(buffer.data(), 8192), 10000 - 8192);
    EXPECT_EQ(file.readFully(buffer.data(), 8192), 0);
    EXPECT_EQ(file.readFullyAt(9990, buffer.data(), 100), 10);
    EXPECT_EQ(file.readFullyAt(20000, buffer.data(), 100), 0);
    ASSERT_TRUE(file.facts().has_value());
    EXPECT_EQ(file.facts()->size, 10000);
}

TEST(ReadOnlyFile, ReportsMissingFilesAndFolderReadsAsFailures) {
    QTemporaryDir dir;
    EXPECT_FALSE(ReadOnlyFile(dir.filePath(QStringLiteral("missing"))).isOpen());
    ReadOnlyFile folder(dir.path());
    char byte = 0;
    if (folder.isOpen()) {
        EXPECT_EQ(folder.readFully(&byte, 1), -1);
    }
}
