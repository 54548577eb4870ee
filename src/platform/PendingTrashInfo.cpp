#include "platform/PendingTrashInfo.h"

#include "platform/FullWrite.h"
#include "platform/LeftoverMark.h"
#include "platform/SameFile.h"
#include "platform/UnnamedFileLink.h"
#include "platform/UnnamedFileStock.h"

#include <QList>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

// "f<size>.<µs>" for a file, "d…" for a folder, in base 36; "item <device> <inode> <size> <ns>"
// in decimal before.
constexpr QByteArrayView kOldItemSubject = "item ";

qint64 microseconds(qint64 ns) {
    return ns >= 0 ? ns / 1000 : -((-ns + 999) / 1000);
}

} // namespace

PendingTrashInfo::PendingTrashInfo(QByteArray infoDir, QByteArray text, const MarkedItem& item,
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
        const int code = linkUnnamedFile(m_fd, path);
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
    const int code = linkUnnamedFile(m_fd, path);
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

PendingTrashInfo::MarkedItem PendingTrashInfo::itemOf(const struct stat& st) {
    return {S_ISDIR(st.st_mode), true, qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

QByteArray PendingTrashInfo::markSubject(const MarkedItem& item) {
    return (item.folder ? 'd' : 'f') + QByteArray::number(item.size, 36) + '.' +
           QByteArray::number(microseconds(item.modifiedNs), 36);
}

std::optional<PendingTrashInfo::MarkedItem> PendingTrashInfo::markedItem(QByteArrayView subject) {
    if (subject.startsWith(kOldItemSubject)) {
        const QList<QByteArray> fields = subject.sliced(kOldItemSubject.size()).toByteArray().split(' ');
        bool ok[2] = {};
        const MarkedItem item{false, false, fields.value(2).toLongLong(&ok[0]),
                              fields.value(3).toLongLong(&ok[1])};
        return fields.size() == 4 && ok[0] && ok[1] ? std::optional(item) : std::nullopt;
    }
    if (subject.size() < 4 || (subject[0] != 'f' && subject[0] != 'd'))
        return std::nullopt;
    const qsizetype dot = subject.indexOf('.');
    if (dot < 2)
        return std::nullopt;
    bool ok[2] = {};
    MarkedItem item;
    item.folder = subject[0] == 'd';
    item.size = subject.sliced(1, dot - 1).toLongLong(&ok[0], 36);
    item.modifiedNs = subject.sliced(dot + 1).toLongLong(&ok[1], 36) * 1000;
    return ok[0] && ok[1] ? std::optional(item) : std::nullopt;
}

bool PendingTrashInfo::mayBeMarkedItem(const MarkedItem& marked, const struct stat& now,
                                       const VolumeClock& clock) {
    const MarkedItem item = itemOf(now);
    if (item.folder)
        return marked.folder || !marked.known;
    if (marked.folder)
        return false;
    return item.size == marked.size && (clock.orShownBy(marked.modifiedNs).wholeSeconds() ||
                                        sameModifiedTime(marked.modifiedNs, item.modifiedNs, clock));
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
