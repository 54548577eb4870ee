#include "platform/PendingTrashInfo.h"

#include "platform/FullWrite.h"
#include "platform/LeftoverMark.h"
#include "platform/UnnamedFileStock.h"

#include <QList>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tarnwick {

namespace {

constexpr QByteArrayView kItemSubject = "item ";

} // namespace

PendingTrashInfo::PendingTrashInfo(QByteArray infoDir, QByteArray text, const FileIdentity& item,
                                   UnnamedFileStock& stock)
    : m_dir(std::move(infoDir)), m_text(std::move(text)), m_subject(markSubject(item)),
      m_markValue(leftover::attributeValue(m_subject)), m_stock(stock) {
    prepareUnnamed();
}

PendingTrashInfo::~PendingTrashInfo() {
    closeUnnamed();
}

qsizetype PendingTrashInfo::extraRoom() const {
    static const qsizetype sidecar = leftover::sidecarPath("/x").size() - 2;
    return m_fd >= 0 ? 0 : sidecar;
}

int PendingTrashInfo::claim(const QByteArray& path) {
    m_sidecar = false;
    if (m_fd >= 0) {
        const int code = linkUnnamed(path);
        if (code == 0) {
            closeUnnamed();
            return 0;
        }
        if (code == EEXIST || code == ENAMETOOLONG)
            return code;
        closeUnnamed(); // linking refused: the other way
        m_unnamedRefused = true;
    }
    return createNamed(path);
}

int PendingTrashInfo::linkAhead(const QByteArray& path) {
    if (m_fd < 0)
        return EOPNOTSUPP;
    const int code = linkUnnamed(path);
    if (code == 0)
        closeUnnamed();
    return code;
}

void PendingTrashInfo::finished(const QByteArray& path) {
    leftover::unmark(path);
}

void PendingTrashInfo::withdraw(const QByteArray& path) {
    ::unlink(path.constData());
    if (m_sidecar)
        ::unlink(leftover::sidecarPath(path).constData());
    prepareUnnamed();
}

QByteArray PendingTrashInfo::markSubject(const FileIdentity& item) {
    return kItemSubject.toByteArray() + QByteArray::number(item.device) + ' ' +
           QByteArray::number(item.inode) + ' ' + QByteArray::number(item.size) + ' ' +
           QByteArray::number(item.modifiedNs);
}

std::optional<FileIdentity> PendingTrashInfo::markedItem(QByteArrayView subject) {
    if (!subject.startsWith(kItemSubject))
        return std::nullopt;
    const QList<QByteArray> fields = subject.sliced(kItemSubject.size()).toByteArray().split(' ');
    if (fields.size() != 4)
        return std::nullopt;
    bool ok[4] = {};
    const FileIdentity item{fields[0].toULongLong(&ok[0]), fields[1].toULongLong(&ok[1]),
                            fields[2].toLongLong(&ok[2]), fields[3].toLongLong(&ok[3])};
    return ok[0] && ok[1] && ok[2] && ok[3] ? std::optional(item) : std::nullopt;
}

// By its descriptor where the kernel lets this process (cheaper), else through /proc.
int PendingTrashInfo::linkUnnamed(const QByteArray& path) const {
    static std::atomic_bool byDescriptor{true};
    if (byDescriptor.load(std::memory_order_relaxed)) {
        if (::linkat(m_fd, "", AT_FDCWD, path.constData(), AT_EMPTY_PATH) == 0)
            return 0;
        if (errno != EPERM && errno != ENOENT && errno != EINVAL)
            return errno;
        byDescriptor.store(false, std::memory_order_relaxed);
    }
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
    return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, path.constData(), AT_SYMLINK_FOLLOW) == 0 ? 0
                                                                                                    : errno;
}

void PendingTrashInfo::prepareUnnamed() {
    if (m_unnamedRefused)
        return;
    // One made ahead is marked already; its mark is made to name the item.
    m_fd = m_stock.take(m_dir);
    if (m_fd >= 0 && writeFully(m_fd, m_text.constData(), m_text.size()) &&
        leftover::setAttribute(m_fd, m_markValue))
        return;
    closeUnnamed();
    m_fd = ::open(m_dir.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (m_fd >= 0 && writeFully(m_fd, m_text.constData(), m_text.size()) &&
        leftover::setAttribute(m_fd, m_markValue))
        return;
    closeUnnamed();
    m_unnamedRefused = true;
}

void PendingTrashInfo::closeUnnamed() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

int PendingTrashInfo::createNamed(const QByteArray& path) {
    // Marked before it has its name: unmarked, a kill could leave it empty for good. Where not
    // even a sidecar can be written it is still made, unmarked, as the info matters more.
    int fd = leftover::createMarkedFile(path, m_markValue, 0600, m_sidecar);
    if (fd < 0 && errno != EEXIST && errno != ENAMETOOLONG && errno != ENOENT) {
        m_sidecar = false;
        fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    }
    if (fd < 0)
        return errno;
    const bool written = writeFully(fd, m_text.constData(), m_text.size());
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        withdraw(path);
        return written ? EIO : writeError;
    }
    return 0;
}

} // namespace tarnwick
