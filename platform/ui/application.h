#pragma once
// The application object and the one place where errors become messages.
//
// Command handlers do not catch errors. Whatever a handler throws while an
// event is delivered ends in TPlumoraApplication::notify, which shows it
// through the error display (showError) and lets the program go on. Code that
// runs outside event delivery (start-up before the event loop, a callback
// handed to a library) wraps itself in guarded().
#include <QApplication>

#include <functional>

class TPlumoraApplication : public QApplication
{
public:
    TPlumoraApplication(int &argc, char **argv);

    // Delivers the event; an error thrown by the receiver is shown and the
    // event counts as not handled.
    bool notify(QObject *receiver, QEvent *event) override;
};

namespace plumora::ui {

// Shows the exception being handled (call it inside a catch block): a
// PlumoraError with its message, any other std::exception with its what()
// text; EAbort shows nothing. Other exception types are rethrown.
void showCurrentException();

// Runs work; an error it throws is shown as above. Returns false when it threw.
bool guarded(const std::function<void()> &work);

// A callable that runs f guarded, for timer and dialog callbacks.
template <typename F> auto guardedCallback(F f)
{
    return [f = std::move(f)](auto &&...args) { guarded([&] { f(std::forward<decltype(args)>(args)...); }); };
}

} // namespace plumora::ui
