#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>

namespace tarnwick {

// The steps of a write a test can make fail.
enum class WriteStep { write, sync, rename };
// Returns an errno value for the step, or 0 to run it.
using WriteFault = std::function<int(WriteStep)>;

// Writes `pieces` into a new temporary beside `target`, ".<name>.save-<pid>-<n>", then puts it in
// the place of `target` through the one atomic replace (AtomicReplace.h): a kill or a full disk
// leaves the file as it was or whole. Every write is checked. The temporaries a killed writer left
// for the same name (its process gone) are removed first. 0, or an errno value; on failure
// `target` is untouched and the temporary removed.
int writeAtomically(const QString& target, const QList<QByteArrayView>& pieces, const WriteFault& fault = {});

} // namespace tarnwick
