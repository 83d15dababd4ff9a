#pragma once
// The one place where errors become messages.
//
// No exception may leave a slot or an event handler: Qt's signal and event
// delivery does not let one pass. Every handler that can fail therefore runs
// through guarded() (a connection takes guardedCallback(), an event filter
// is a GuardedEventFilter), which shows the error through the error
// display (showError) and lets the program go on.
#include <QObject>

#include <functional>
#include <initializer_list>
#include <memory>
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

// An event filter whose work runs guarded. Every event filter of the program
// is one: it puts its work in filter(), and an error it throws is shown while
// the event goes on to the object it was sent to, as if unfiltered.
class GuardedEventFilter : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) final;

protected:
    // As QObject::eventFilter: true stops the event.
    virtual bool filter(QObject *watched, QEvent *event) = 0;
};

// A guarded event filter that runs filter(watched, event), installed on each
// of the watched objects. The caller keeps it as a member declared after what
// the function uses, so that it goes first: before those members, and before
// a base class deletes the watched controls, whose last events would
// otherwise reach a half-destroyed window.
std::unique_ptr<GuardedEventFilter> guardedEventFilter(
    std::initializer_list<QObject *> watched, std::function<bool(QObject *watched, QEvent *event)> filter);

} // namespace plumora::ui
