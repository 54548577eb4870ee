#pragma once

#include <QString>
#include <QStringList>

namespace tarnwick {

// This process's memory and threads as the system and the allocator see them.
struct ProcessMemory {
    double residentMB = 0;     // VmRSS: anonymous, file-backed (the libraries' pages) and shared
    double anonResidentMB = 0; // RssAnon: the part the allocator's arenas and mappings make up
    double liveHeapMB = 0;     // handed out by malloc and not freed (mallinfo2 uordblks + hblkhd)
    int threads = 0;
    QStringList threadNames; // one entry per name: "name×count"

    static ProcessMemory now();
    // "resident 61.2 MB (anon 40.1 MB) against live heap 35.0 MB: 1.75× (anon 1.15×), 12 threads"
    QString text() const;
};

} // namespace tarnwick
