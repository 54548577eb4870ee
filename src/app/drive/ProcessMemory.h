#pragma once

#include <QString>
#include <QStringList>

namespace tarnwick {

// This process's memory and threads as the system and the allocator see them.
struct ProcessMemory {
    double residentMB = 0;       // VmRSS: anonymous, file-backed (the libraries' pages) and shared
    double anonResidentMB = 0;   // RssAnon: the part the allocator's arenas and mappings make up
    double fileResidentMB = 0;   // RssFile: the program's and its libraries' pages, fonts, locale data
    double sharedResidentMB = 0; // RssShmem: the window's image shared with the display server
    double liveHeapMB = 0;       // handed out by malloc and not freed (mallinfo2 uordblks + hblkhd)
    int threads = 0;
    QStringList threadNames; // one entry per name: "name×count"

    static ProcessMemory now();
    // The allocator's own account of its arenas (malloc_info's XML) into `path`.
    static void writeAllocatorState(const QString& path);
    // "resident 61.2 MB (anon 40.1 MB, file 17.6 MB, shared 3.5 MB) against live heap 35.0 MB:
    // 1.75× (anon 1.15×), 12 threads"
    QString text() const;
};

} // namespace tarnwick
