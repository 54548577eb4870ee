#include "platform/LeftoverMark.h"

#include "platform/AppLog.h"
#include "platform/LinuxFileOperations.h"
#include "platform/PendingTrashInfo.h"

#include "support/DeadProcess.h"
#include "support/ForeignMark.h"
#include "support/LoggedFolderFixture.h"
#include <QFile>

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace tarnwick;
using tarnwick::testing::deadPid;

namespace {

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

void writeFile(const QString& path, const QByteArray& bytes = "x") {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void setMark(const QString& path, const leftover::Writer& writer) {
    ASSERT_TRUE(tarnwick::testing::markAsWrittenBy(path, writer, "subject"));
}

class LeftoverMarkTest : public tarnwick::testing::LoggedFolderFixture {};

} // namespace

TEST_F(LeftoverMarkTest, OnlyAMarkedFileWhoseWriterIsGoneIsRemoved) {
    writeFile(at("user.mov"));
    writeFile(at("ours live.mov"));
    writeFile(at("ours dead.mov"));
    writeFile(at("ours reused id.mov"));
    ASSERT_TRUE(leftover::mark(native(at("ours live.mov")), -1, "a"));
    setMark(at("ours dead.mov"), {deadPid(), 12345, leftover::currentWriter().bootId});
    // The same process id after a restart of it: another start time, so another process.
    leftover::Writer reused = leftover::currentWriter();
    reused.startTicks += 1;
    setMark(at("ours reused id.mov"), reused);

    EXPECT_EQ(ops.removeLeftover(at("user.mov")).code, EPERM);
    EXPECT_EQ(ops.removeLeftover(at("ours live.mov")).code, EBUSY);
    EXPECT_TRUE(ops.removeLeftover(at("ours dead.mov")).ok());
    EXPECT_TRUE(ops.removeLeftover(at("ours reused id.mov")).ok());

    EXPECT_TRUE(QFile::exists(at("user.mov")));
    EXPECT_TRUE(QFile::exists(at("ours live.mov")));
    EXPECT_FALSE(QFile::exists(at("ours dead.mov")));
    EXPECT_FALSE(QFile::exists(at("ours reused id.mov")));
    EXPECT_EQ(logged.filter("Removed leftover").size(), 2);
}

TEST_F(LeftoverMarkTest, MarkTravelsWithTheSubjectAndComesOff) {
    writeFile(at("tmp.mov"));
    ASSERT_TRUE(leftover::mark(native(at("tmp.mov")), -1, "dev 1 ino 2"));
    const std::optional<leftover::Mark> mark = leftover::markOf(native(at("tmp.mov")));
    ASSERT_TRUE(mark);
    EXPECT_EQ(mark->subject, "dev 1 ino 2");
    EXPECT_EQ(mark->writer, leftover::currentWriter());
    leftover::unmark(native(at("tmp.mov")));
    EXPECT_FALSE(leftover::markOf(native(at("tmp.mov"))));
    EXPECT_EQ(leftover::judge(native(at("tmp.mov"))), leftover::Verdict::notOurs);
}

TEST_F(LeftoverMarkTest, SidecarMarksOnlyTheFileItNames) {
    // File systems without user attributes get a sidecar naming the file's device and inode.
    writeFile(at("clip_transcoding.mov"));
    struct stat st {};
    ASSERT_EQ(::lstat(native(at("clip_transcoding.mov")).constData(), &st), 0);
    const leftover::Mark dead{{deadPid(), 1, leftover::currentWriter().bootId}, {}};
    const QString sidecar = QFile::decodeName(leftover::sidecarPath(native(at("clip_transcoding.mov"))));
    EXPECT_EQ(sidecar, at(".clip_transcoding.mov.tarnwick-mark"));
    writeFile(sidecar, QByteArray::number(quint64(st.st_dev)) + ' ' + QByteArray::number(quint64(st.st_ino)) +
                           '\n' + leftover::encode(dead));
    EXPECT_EQ(leftover::judge(native(sidecar)), leftover::Verdict::abandoned);
    EXPECT_TRUE(ops.removeLeftover(sidecar).ok());
    EXPECT_FALSE(QFile::exists(at("clip_transcoding.mov")));
    EXPECT_FALSE(QFile::exists(sidecar));

    // A user's file that took the name later is not what the sidecar names: only the sidecar goes.
    writeFile(at("render.mov"));
    const QString stale = at(".render.mov.tarnwick-mark");
    writeFile(stale, "1 1\n" + leftover::encode(dead));
    EXPECT_EQ(leftover::judge(native(at("render.mov"))), leftover::Verdict::notOurs);
    EXPECT_EQ(ops.removeLeftover(at("render.mov")).code, EPERM);
    EXPECT_TRUE(ops.removeLeftover(stale).ok());
    EXPECT_TRUE(QFile::exists(at("render.mov")));
    EXPECT_FALSE(QFile::exists(stale));
}

TEST_F(LeftoverMarkTest, MarkedFolderGoesWithItsContents) {
    ASSERT_TRUE(QDir().mkpath(at(".A001.RDC.tarnwick-move-x/inner")));
    writeFile(at(".A001.RDC.tarnwick-move-x/inner/a.R3D"));
    setMark(at(".A001.RDC.tarnwick-move-x"), {deadPid(), 1, leftover::currentWriter().bootId});
    EXPECT_TRUE(ops.removeLeftover(at(".A001.RDC.tarnwick-move-x")).ok());
    EXPECT_FALSE(QFile::exists(at(".A001.RDC.tarnwick-move-x")));
}

TEST(LeftoverMark, DecodeRejectsDamagedText) {
    EXPECT_FALSE(leftover::decode("garbage"));
    EXPECT_FALSE(leftover::decode("2 1 1 boot x"));
    EXPECT_FALSE(leftover::decode("1 x 1 boot x"));
    const std::optional<leftover::Mark> ok = leftover::decode("1 42 7 boot a subject with spaces");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->writer.pid, 42);
    EXPECT_EQ(ok->subject, "a subject with spaces");
}

// On ext4 an attribute of up to about 56 bytes stays in the file's inode; a longer one takes a block
// of its own, which setting and removing each mark then allocates and frees. A Trash info's mark,
// naming an item as large and as late as any, of a writer with the largest process id and a start
// a year after boot, stays in the inode.
TEST(LeftoverMark, ATrashInfosMarkStaysInItsInode) {
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("probe.trashinfo"));
    const auto blocksWith = [&](const QByteArray& value) -> qint64 {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const QByteArray text =
            "[Trash Info]\nPath=/Volumes/Media/A001_C001.mov\nDeletionDate=2026-12-09T10:00:00\n";
        if (fd < 0 || ::write(fd, text.constData(), size_t(text.size())) != text.size())
            return -1;
        if (!value.isEmpty() &&
            ::fsetxattr(fd, "user.tarnwick.writer", value.constData(), size_t(value.size()), 0) != 0)
            return -1;
        ::fsync(fd);
        struct stat st {};
        ::fstat(fd, &st);
        ::close(fd);
        ::unlink(path.constData());
        return qint64(st.st_blocks);
    };
    const qint64 plain = blocksWith({});
    const qint64 withLong = blocksWith(QByteArray(100, 'x'));
    if (plain < 0 || withLong < 0 || withLong == plain)
        GTEST_SKIP() << "this file system keeps no long user attribute in a block of its own";
    const leftover::Writer writer{4194304, quint64(1) << 35, leftover::currentWriter().bootId};
    const QByteArray subject =
        PendingTrashInfo::markSubject({false, true, qint64(1) << 40, 4102444800'000'000'000});
    const QByteArray mark = leftover::encode({writer, subject});
    EXPECT_EQ(blocksWith(mark), plain) << mark.size() << " bytes: " << mark.constData();
}
