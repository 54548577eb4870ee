#include "platform/AtomicWrite.h"

#include "platform/AtomicReplace.h"
#include "platform/FullWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace tarnwick {

namespace {

QString temporaryPrefix(const QString& name) {
    return QLatin1Char('.') + name + QStringLiteral(".save-");
}

bool processGone(const QString& pidText) {
    bool ok = false;
    const qint64 pid = pidText.toLongLong(&ok);
    if (!ok || pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return true;
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// A temporary whose writer is gone was left by a kill mid-write.
void removeAbandonedTemporaries(const QString& folder, const QString& name) {
    const QString prefix = temporaryPrefix(name);
    const QStringList entries =
        QDir(folder).entryList({prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        if (!entry.startsWith(prefix)) // a name's own wildcard characters matched more
            continue;
        const QString rest = entry.mid(prefix.size());
        if (processGone(rest.left(rest.indexOf(QLatin1Char('-')))))
            ::unlink(QFile::encodeName(folder + QLatin1Char('/') + entry).constData());
    }
}

int writePieces(int fd, const QList<QByteArrayView>& pieces, const WriteFault& fault) {
    for (const QByteArrayView bytes : pieces) {
        if (const int error = fault ? fault(WriteStep::write) : 0)
            return error;
        if (!writeFully(fd, bytes.constData(), bytes.size()))
            return errno;
    }
    return 0;
}

} // namespace

int writeAtomically(const QString& target, const QList<QByteArrayView>& pieces, const WriteFault& fault) {
    const QFileInfo info(target);
    if (info.isDir())
        return EISDIR;
    const QString folder = info.absolutePath();
    removeAbandonedTemporaries(folder, info.fileName());
    static std::atomic<quint64> counter{0};
    const QByteArray temporary =
        QFile::encodeName(folder + QLatin1Char('/') + temporaryPrefix(info.fileName()) +
                          QString::number(::getpid()) + QLatin1Char('-') + QString::number(++counter));
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    int error = writePieces(fd, pieces, fault);
    if (error != 0)
        ::close(fd);
    else
        error = replaceAtomically(fd, temporary, QFile::encodeName(target), [&](ReplaceStep step) {
            return fault ? fault(step == ReplaceStep::sync ? WriteStep::sync : WriteStep::rename) : 0;
        });
    if (error != 0)
        ::unlink(temporary.constData());
    return error;
}

} // namespace tarnwick
