#pragma once

#include <QFuture>

#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>

#include <utility>

namespace tarnwick {

// Awaits `future`, leaves it empty and hands over its result as the only copy left. A future keeps
// its result for as long as it lives: awaited directly, it shares a whole media list with the caller
// until the caller ends, and the caller's next change to the list copies every record.
template <class T> QCoro::Task<T> takeResult(QFuture<T>& future) {
    // Before the first suspension: the caller's future is emptied at once, as if assigned.
    QFuture<T> held = std::exchange(future, QFuture<T>());
    // Awaited as a future without a result, then moved out: awaiting it directly would copy the
    // result, which for a table of a million records held in a vector is a deep copy.
    // Named, not a temporary: GCC 12 may destroy temporaries inside a co_await expression twice.
    const QFuture<void> finished(held);
    co_await finished;
    co_return held.takeResult();
}

} // namespace tarnwick
