#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QtConcurrent/QtConcurrentRun>

#include <type_traits>
#include <utility>
#include <variant>

namespace UI {

// What a pool task hands back to the GUI thread: its value, or the text to show for its failure.
template<typename R>
using PoolResult = std::variant<R, QString>;

namespace Detail {

// Call only inside a catch block: the text for the exception being handled. A server failure
// gives its user text; anything else is logged and gives "Something went wrong.".
QString currentFailureText();

template<typename Work>
using PoolValue = std::conditional_t<std::is_void_v<std::invoke_result_t<Work &>>, std::monostate,
                                     std::invoke_result_t<Work &>>;

} // namespace Detail

// Runs work on the global thread pool and, once it has finished, onResult with its PoolResult on
// context's thread. The work must hold copies of its inputs and touch no widget; a void work
// yields std::monostate. No exception leaves the task: a Networking::APIError (which has no
// standard base) is caught by its own type, then std::exception, then anything. The watcher that
// carries the result is a child of context, so when context is destroyed first the result is
// dropped and onResult never runs; the task itself still runs to its end.
//
// QFuture::then(context, ...) is deliberately not used: on Qt 6.4 it asserts in debug builds when
// the context dies before the task ends, and skips the continuation when the task threw.
template<typename Work, typename OnResult>
void runOnPool(QObject *context, Work work, OnResult onResult)
{
    using Value = Detail::PoolValue<Work>;
    using Result = PoolResult<Value>;
    auto *watcher = new QFutureWatcher<Result>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher,
                     [watcher, onResult = std::move(onResult)]() mutable {
                         Result result = watcher->future().result();
                         watcher->deleteLater();
                         onResult(std::move(result));
                     });
    watcher->setFuture(QtConcurrent::run([work = std::move(work)]() mutable -> Result {
        try {
            if constexpr (std::is_void_v<std::invoke_result_t<Work &>>) {
                work();
                return Result(std::in_place_index<0>);
            } else {
                return Result(std::in_place_index<0>, work());
            }
        } catch (...) {
            return Result(std::in_place_index<1>, Detail::currentFailureText());
        }
    }));
}

} // namespace UI
