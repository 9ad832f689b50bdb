#pragma once

#include "ui/widgets/PoolDelivery.h"

#include <QObject>
#include <QString>

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
// context's thread (through deliverFromPool: dropped when context is destroyed first). The work
// must hold copies of its inputs and touch no widget; a void work yields std::monostate. No
// exception leaves the task: a Networking::APIError (which has no standard base) is caught by its
// own type, then std::exception, then anything.
template<typename Work, typename OnResult>
void runOnPool(QObject *context, Work work, OnResult onResult)
{
    using Result = PoolResult<Detail::PoolValue<Work>>;
    deliverFromPool(
            context,
            [work = std::move(work)]() mutable -> Result {
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
            },
            std::move(onResult));
}

} // namespace UI
