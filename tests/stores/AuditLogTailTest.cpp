#include "stores/AuditLogTail.h"

#include "model/MediaFile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tarnwick {
namespace {

QList<AuditLogEntry> made(const QString& prefix, int count) {
    QList<AuditLogEntry> entries;
    for (int i = 0; i < count; ++i) {
        MediaFile file;
        file.path = QStringLiteral("/m/%1%2.mov").arg(prefix).arg(i);
        entries.append(AuditLogEntry::make(AuditAction::movedToTrash, file, std::nullopt));
    }
    return entries;
}

// Each id is held once, whichever way it comes again: within a batch, in a later batch while the
// id table grows, spilled or waiting, and through putFirst, which moves it to its place there.
TEST(AuditLogTail, HoldsEachIdOnceAsItGrowsAndWhenEntriesArePutFirst) {
    QTemporaryDir dir;
    AuditLogTail tail(dir.path());
    const QList<AuditLogEntry> first = made(QStringLiteral("a"), 3000);
    tail.add(first.mid(0, 10) + first.mid(0, 10));
    for (qsizetype at = 10; at < first.size(); at += 700)
        tail.add(first.mid(0, at + 700).mid(at - 10)); // ten of the batch were added before
    const QList<AuditLogEntry> spilledAhead = made(QStringLiteral("b"), 500);
    tail.add(spilledAhead, tail.spill(spilledAhead));
    tail.add(first.mid(2990) + spilledAhead.mid(0, 5));
    tail.waitUntilSpilled();
    ASSERT_EQ(tail.size(), 3500);
    EXPECT_EQ(tail.heldInMemory(), 0);
    for (qsizetype i = 0; i < 3000; i += 299)
        ASSERT_EQ(tail.entry(i).id, first[i].id);
    EXPECT_EQ(tail.entry(3499).id, spilledAhead.last().id);

    // The journal's entries first: one already here moves to its place among them.
    const QList<AuditLogEntry> journal = made(QStringLiteral("j"), 40);
    tail.putFirst(journal.mid(0, 20) + QList<AuditLogEntry>{first[1500]} + journal.mid(20));
    ASSERT_EQ(tail.size(), 3540);
    EXPECT_EQ(tail.entry(20).id, first[1500].id);
    EXPECT_EQ(tail.entry(21).id, journal[20].id);
    EXPECT_EQ(tail.entry(41).id, first[0].id);
    EXPECT_EQ(tail.entry(41 + 1500).id, first[1501].id);
    for (const AuditLogEntry& entry : first + spilledAhead + journal)
        ASSERT_TRUE(tail.contains(entry.id));
    tail.add(journal + first.mid(0, 100));
    EXPECT_EQ(tail.size(), 3540);
    EXPECT_FALSE(tail.contains(made(QStringLiteral("c"), 1).first().id));

    tail.clear();
    EXPECT_FALSE(tail.contains(first[0].id));
    tail.add(first.mid(0, 3));
    EXPECT_EQ(tail.size(), 3);
}

} // namespace
} // namespace tarnwick
