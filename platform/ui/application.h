#pragma once
// The one place where errors become messages.
//
// No exception may leave a slot or an event handler: Qt's signal and event
// delivery does not let one pass. Every handler that can fail therefore runs
// through guarded() (a connection takes guardedCallback()), which shows the
// error through the error display (showError) and lets the program go on.
#include <functional>
#include <type_traits>
#include <utility>

namespace plumora::ui {

// Shows the exception being handled (call it inside a catch block): a
// PlumoraError with its message, any other std::exception with its what()
// text; EAbort shows nothing. Other exception types are rethrown.
void showCurrentException();

// Runs work; an error it throws is shown as above. Returns false when it threw.
bool guarded(const std::function<void()> &work);

// A callable that runs f guarded: the slot of a connection, a timer or a
// dialog callback. f takes the signal's arguments, or none.
template <typename F> auto guardedCallback(F f)
{
    return [f = std::move(f)](auto &&...args) {
        guarded([&] {
            if constexpr (std::is_invocable_v<const F &, decltype(args)...>)
                f(std::forward<decltype(args)>(args)...);
            else
                f();
        });
    };
}

} // namespace plumora::ui
