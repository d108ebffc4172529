#pragma once
// A call from a worker thread to run on the thread of a QObject (the
// window's), the one way the view's worker threads hand their end back.

#include <QMetaObject>
#include <QObject>

#include <mutex>
#include <utility>

namespace ddvue {

// The lock that orders a handed-over call: Qt queues the call under locks
// of its own, which the thread sanitizer cannot see (the system's Qt is not
// built with it); taking this lock where the call is made and again before
// it runs shows it the order that Qt's queue already guarantees.
inline std::mutex& handoffLock()
{
    static std::mutex lock;
    return lock;
}

// Queues `call` (its captures plain data) to run on `receiver`'s thread; it
// is dropped if the receiver is gone by then.
template <class Call>
void handOff(QObject* receiver, Call call)
{
    std::lock_guard<std::mutex> made(handoffLock());
    QMetaObject::invokeMethod(
        receiver,
        [call = std::move(call)]() mutable {
            { std::lock_guard<std::mutex> seen(handoffLock()); }
            call();
        },
        Qt::QueuedConnection);
}

}  // namespace ddvue
