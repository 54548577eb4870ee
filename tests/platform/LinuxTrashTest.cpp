#include "platform/LinuxFileOperations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarnwick;

namespace {

void writeFile(const QString& path, const QByteArray& bytes = "x") {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Sets an environment variable for the test's lifetime.
class EnvOverride {
public:
    EnvOverride(const char* name, const QByteArray& value) : m_name(name) {
        if (qEnvironmentVariableIsSet(name))
            m_old = qgetenv(name);
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvOverride() {
        if (m_old)
            qputenv(m_name, *m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<QByteArray> m_old;
};

quint32 modeOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

// A temporary home with an XDG data folder inside it, on the same volume as the media folder.
class LinuxTrashTest : public ::testing::Test {
protected:
    QTemporaryDir home;
    QTemporaryDir media;
    EnvOverride homeVar{"HOME", QFile::encodeName(home.path())};
    EnvOverride dataVar{"XDG_DATA_HOME", QFile::encodeName(home.path() + "/data")};
    LinuxFileOperations ops;

    QString trash() const { return home.path() + "/data/Trash"; }
    QString at(const QString& relative) const { return media.path() + "/" + relative; }
};

} // namespace

TEST_F(LinuxTrashTest, WritesTheInfoAndMovesTheFileIntoTheHomeTrash) {
    // Spaces, a decomposed accent (NFD) and CJK in one name.
    const QString name = QString::fromUtf8("Day 1 Cafe\xCC\x81 \xE6\x92\xAE\xE5\xBD\xB1.mov");
    writeFile(at("Shoot/" + name), "media bytes");

    const TrashOutcome outcome = ops.moveToTrash(at("Shoot/" + name));
    ASSERT_TRUE(outcome.status.ok()) << outcome.status.message.toStdString();
    EXPECT_FALSE(QFileInfo::exists(at("Shoot/" + name)));
    EXPECT_EQ(outcome.trashedPath, trash() + "/files/" + name);
    EXPECT_EQ(readAll(outcome.trashedPath), "media bytes");
    EXPECT_EQ(outcome.infoPath, trash() + "/info/" + name + ".trashinfo");

    const QByteArray info = readAll(outcome.infoPath);
    const QByteArray expectedPath = QFile::encodeName(at("Shoot/" + name)).toPercentEncoding("/");
    EXPECT_TRUE(info.startsWith(QByteArray("[Trash Info]\nPath=" + expectedPath + "\nDeletionDate=")))
        << info.toStdString();
    EXPECT_TRUE(expectedPath.contains("Day%201%20Cafe"));
    const QByteArray date = info.mid(info.indexOf("DeletionDate=") + 13).trimmed();
    EXPECT_TRUE(QDateTime::fromString(QString::fromLatin1(date), "yyyy-MM-ddTHH:mm:ss").isValid());
    EXPECT_EQ(modeOf(trash()), 0700u);
}

TEST_F(LinuxTrashTest, CreatesAMissingHomeTrashWithItsParentsAndNothingInTheWorkingFolder) {
    QTemporaryDir emptyHome;
    QTemporaryDir workingFolder;
    const EnvOverride bareHome("HOME", QFile::encodeName(emptyHome.path()));
    const EnvOverride noDataHome("XDG_DATA_HOME", QByteArray());
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(workingFolder.path()));
    writeFile(at("clip.mov"));

    const TrashOutcome outcome = ops.moveToTrash(at("clip.mov"));
    QDir::setCurrent(previous);
    ASSERT_TRUE(outcome.status.ok()) << outcome.status.message.toStdString();
    const QString homeTrash = emptyHome.path() + "/.local/share/Trash";
    EXPECT_TRUE(QFile::exists(homeTrash + "/files/clip.mov"));
    EXPECT_TRUE(QFile::exists(homeTrash + "/info/clip.mov.trashinfo"));
    EXPECT_EQ(modeOf(emptyHome.path() + "/.local"), 0700u);
    EXPECT_EQ(modeOf(homeTrash), 0700u);
    EXPECT_TRUE(QDir(workingFolder.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST_F(LinuxTrashTest, SameNameTwiceGetsANumberedNameAndLeavesAStrayFileAlone) {
    writeFile(at("A/clip.mov"), "first");
    writeFile(at("B/clip.mov"), "second");
    writeFile(at("C/clip.mov"), "third");
    ASSERT_TRUE(ops.moveToTrash(at("A/clip.mov")).status.ok());
    // A file left in files/ without its info must not be replaced.
    writeFile(trash() + "/files/clip (2).mov", "stray");

    const TrashOutcome second = ops.moveToTrash(at("B/clip.mov"));
    ASSERT_TRUE(second.status.ok());
    EXPECT_EQ(second.trashedPath, trash() + "/files/clip (3).mov");
    EXPECT_EQ(readAll(trash() + "/files/clip (2).mov"), "stray");
    EXPECT_FALSE(QFile::exists(trash() + "/info/clip (2).mov.trashinfo"));
    EXPECT_TRUE(readAll(second.infoPath).contains("/B/clip.mov"));
    EXPECT_EQ(readAll(trash() + "/files/clip.mov"), "first");
}

TEST_F(LinuxTrashTest, MovesAFolderWhole) {
    writeFile(at("A001.RDC/A001_001.R3D"), "segment");
    const TrashOutcome outcome = ops.moveToTrash(at("A001.RDC"));
    ASSERT_TRUE(outcome.status.ok());
    EXPECT_EQ(readAll(outcome.trashedPath + "/A001_001.R3D"), "segment");
    EXPECT_FALSE(QFileInfo::exists(at("A001.RDC")));
}

TEST_F(LinuxTrashTest, AMissingFileFailsWithoutLeavingAnInfo) {
    const TrashOutcome outcome = ops.moveToTrash(at("gone.mov"));
    EXPECT_EQ(outcome.status.code, ENOENT);
    EXPECT_FALSE(outcome.status.message.isEmpty());
    EXPECT_TRUE(QDir(trash() + "/info").isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST_F(LinuxTrashTest, AFailedRenameTakesTheInfoBack) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    writeFile(at("locked/clip.mov"));
    ASSERT_EQ(::chmod(QFile::encodeName(at("locked")).constData(), 0500), 0);
    const TrashOutcome outcome = ops.moveToTrash(at("locked/clip.mov"));
    ::chmod(QFile::encodeName(at("locked")).constData(), 0700);
    EXPECT_EQ(outcome.status.code, EACCES);
    EXPECT_TRUE(QFile::exists(at("locked/clip.mov")));
    EXPECT_TRUE(QDir(trash() + "/info").isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

namespace {

// A tmpfs mounted for the test: another volume than the home. Only root may mount.
class SecondMount {
public:
    // The mount point sits in a folder of its own, so tests can list its parent while other
    // tests create and remove files in the shared temporary folder.
    SecondMount() {
        if (!m_parent.isValid() || !QDir(m_parent.path()).mkdir(QStringLiteral("volume")))
            return;
        m_mounted = ::mount("tmpfs", QFile::encodeName(path()).constData(), "tmpfs", 0, "size=8m") == 0;
    }
    ~SecondMount() {
        if (m_mounted)
            ::umount2(QFile::encodeName(path()).constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    QString path() const { return m_parent.path() + QStringLiteral("/volume"); }

private:
    QTemporaryDir m_parent;
    bool m_mounted = false;
};

} // namespace

TEST_F(LinuxTrashTest, OnAnotherVolumeUsesItsOwnUserTrashWithARelativePath) {
    SecondMount volume;
    if (!volume.mounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    writeFile(volume.path() + "/Day 1/clip.mov", "on tmpfs");

    const TrashOutcome outcome = ops.moveToTrash(volume.path() + "/Day 1/clip.mov");
    ASSERT_TRUE(outcome.status.ok()) << outcome.status.message.toStdString();
    const QString ownTrash = volume.path() + "/.Trash-" + QString::number(::getuid());
    EXPECT_EQ(outcome.trashedPath, ownTrash + "/files/clip.mov");
    EXPECT_EQ(modeOf(ownTrash), 0700u);
    EXPECT_TRUE(readAll(outcome.infoPath).startsWith("[Trash Info]\nPath=Day%201/clip.mov\n"));
    EXPECT_FALSE(QFile::exists(trash() + "/files/clip.mov"));
}

TEST_F(LinuxTrashTest, OnAnotherVolumeUsesAStickySharedTrashButNeverALink) {
    SecondMount volume;
    if (!volume.mounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    const QString uid = QString::number(::getuid());
    QDir().mkpath(volume.path() + "/.Trash");
    ASSERT_EQ(::chmod(QFile::encodeName(volume.path() + "/.Trash").constData(), 01777), 0);
    writeFile(volume.path() + "/a.mov");
    const TrashOutcome shared = ops.moveToTrash(volume.path() + "/a.mov");
    ASSERT_TRUE(shared.status.ok());
    EXPECT_EQ(shared.trashedPath, volume.path() + "/.Trash/" + uid + "/files/a.mov");

    // A .Trash that is a link (even to a sticky folder) is not trusted.
    SecondMount other;
    ASSERT_TRUE(other.mounted());
    QDir().mkpath(other.path() + "/elsewhere");
    ::chmod(QFile::encodeName(other.path() + "/elsewhere").constData(), 01777);
    ASSERT_EQ(::symlink("elsewhere", QFile::encodeName(other.path() + "/.Trash").constData()), 0);
    writeFile(other.path() + "/b.mov");
    const TrashOutcome linked = ops.moveToTrash(other.path() + "/b.mov");
    ASSERT_TRUE(linked.status.ok());
    EXPECT_EQ(linked.trashedPath, other.path() + "/.Trash-" + uid + "/files/b.mov");
    EXPECT_FALSE(QFileInfo::exists(other.path() + "/elsewhere/" + uid));
}

TEST_F(LinuxTrashTest, AVolumeWithoutAUsableTrashLeavesTheFileAndSaysSo) {
    SecondMount volume;
    if (!volume.mounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    // A plain file where the per-user trash would go, and no shared .Trash.
    writeFile(volume.path() + "/.Trash-" + QString::number(::getuid()), "not a folder");
    writeFile(volume.path() + "/clip.mov");

    const TrashOutcome outcome = ops.moveToTrash(volume.path() + "/clip.mov");
    EXPECT_EQ(outcome.status.code, EXDEV);
    EXPECT_TRUE(outcome.status.message.startsWith("No Trash can be used on the volume at"));
    EXPECT_TRUE(QFile::exists(volume.path() + "/clip.mov"));
    EXPECT_FALSE(QFile::exists(trash() + "/files/clip.mov"));
}

TEST_F(LinuxTrashTest, AMountedVolumeItselfIsRefusedWithoutLeavingAnything) {
    SecondMount volume;
    if (!volume.mounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    writeFile(volume.path() + "/clip.mov");
    const QString parent = QFileInfo(volume.path()).path();
    const QStringList before = QDir(parent).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    const TrashOutcome outcome = ops.moveToTrash(volume.path());
    EXPECT_EQ(outcome.status.code, EBUSY);
    EXPECT_TRUE(QFile::exists(volume.path() + "/clip.mov"));
    EXPECT_EQ(QDir(parent).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
}
