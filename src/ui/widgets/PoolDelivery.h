#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <type_traits>
#include <utility>

namespace UI {

// Runs task on the global thread pool and hands its value to onResult on context's thread. The
// watcher that carries the value is a child of context: when context is destroyed first, the value
// is dropped and onResult never runs (the task itself still runs to its end). task must not throw
// (a throwing task would reach the future as QUnhandledException): the callers wrap their work in
// their own failure policy. Every view that works off the GUI thread goes through here.
//
// QFuture::then(context, ...) is deliberately not used: on Qt 6.4 it asserts in debug builds when
// the context dies before the task ends, and skips the continuation when the task threw.
template<typename Task, typename OnResult>
void deliverFromPool(QObject *context, Task task, OnResult onResult)
{
    using Result = std::invoke_result_t<Task &>;
    auto *watcher = new QFutureWatcher<Result>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher,
                     [watcher, onResult = std::move(onResult)]() mutable {
                         Result result = watcher->future().result();
                         watcher->deleteLater();
                         onResult(std::move(result));
                     });
    watcher->setFuture(QtConcurrent::run(QThreadPool::globalInstance(), std::move(task)));
}

} // namespace UI
