#include "app/drive/ProcessMemory.h"

#include <QDir>
#include <QFile>
#include <QMap>

#include <cstdio>
#include <memory>

#include <malloc.h>

namespace tarnwick {

namespace {

double statusMB(const QByteArray& status, const QByteArray& field) {
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith(QByteArray(field + ':')))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

ProcessMemory ProcessMemory::now() {
    ProcessMemory facts;
    const struct mallinfo2 info = mallinfo2();
    facts.liveHeapMB = double(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
    const QByteArray status = readAll(QStringLiteral("/proc/self/status"));
    facts.residentMB = statusMB(status, "VmRSS");
    facts.anonResidentMB = statusMB(status, "RssAnon");
    facts.fileResidentMB = statusMB(status, "RssFile");
    facts.sharedResidentMB = statusMB(status, "RssShmem");
    QMap<QString, int> names;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        ++facts.threads;
        ++names[QString::fromUtf8(readAll(tasks.filePath(task + QStringLiteral("/comm")))).trimmed()];
    }
    for (auto it = names.cbegin(); it != names.cend(); ++it)
        facts.threadNames.append(it.key() + QStringLiteral("×") + QString::number(it.value()));
    return facts;
}

void ProcessMemory::writeAllocatorState(const QString& path) {
    const std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(QFile::encodeName(path).constData(), "w"),
                                                    &std::fclose);
    if (out)
        malloc_info(0, out.get());
}

QString ProcessMemory::text() const {
    const double heap = std::max(liveHeapMB, 0.001);
    return QStringLiteral("resident %1 MB (anon %2 MB, file %8 MB, shared %9 MB) against live heap %3 MB: "
                          "%4× (anon %5×), %6 threads [%7]")
        .arg(residentMB, 0, 'f', 1)
        .arg(anonResidentMB, 0, 'f', 1)
        .arg(liveHeapMB, 0, 'f', 1)
        .arg(residentMB / heap, 0, 'f', 2)
        .arg(anonResidentMB / heap, 0, 'f', 2)
        .arg(threads)
        .arg(threadNames.join(QStringLiteral(", ")))
        .arg(fileResidentMB, 0, 'f', 1)
        .arg(sharedResidentMB, 0, 'f', 1);
}

} // namespace tarnwick
