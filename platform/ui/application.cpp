#include "application.h"

#include "dialogs.h"
#include "platform/errors.h"

#include <cstdio>

namespace plumora::ui {

namespace {

// Error boxes open inside error boxes (a paint handler that fails again while
// the first box repaints the window behind it) would nest without end; past
// this depth the message goes to the terminal instead.
constexpr int kMaxNestedErrorBoxes = 4;
int nestedErrorBoxes = 0;

void display(const QString &message)
{
    if (nestedErrorBoxes >= kMaxNestedErrorBoxes) {
        std::fprintf(stderr, "plumora: %s\n", qPrintable(errorText(message)));
        return;
    }
    ++nestedErrorBoxes;
    try {
        showError(message);
    } catch (...) {
        --nestedErrorBoxes;
        throw;
    }
    --nestedErrorBoxes;
}

class FunctionEventFilter : public GuardedEventFilter
{
public:
    explicit FunctionEventFilter(std::function<bool(QObject *, QEvent *)> filter)
        : m_filter(std::move(filter))
    {
    }

protected:
    bool filter(QObject *watched, QEvent *event) override { return m_filter(watched, event); }

private:
    std::function<bool(QObject *, QEvent *)> m_filter;
};

} // namespace

void showCurrentException()
{
    try {
        throw;
    } catch (const EAbort &) {
        // A silent abort: the operation ends without a message.
    } catch (const PlumoraError &error) {
        display(error.message());
    } catch (const std::exception &error) {
        display(QString::fromLocal8Bit(error.what()));
    }
}

bool guarded(const std::function<void()> &work)
{
    try {
        work();
        return true;
    } catch (const std::exception &) {
        showCurrentException();
        return false;
    }
}

bool GuardedEventFilter::eventFilter(QObject *watched, QEvent *event)
{
    bool stop = false;
    guarded([&] { stop = filter(watched, event); });
    return stop;
}

std::unique_ptr<GuardedEventFilter> guardedEventFilter(
    std::initializer_list<QObject *> watched, std::function<bool(QObject *watched, QEvent *event)> filter)
{
    auto guard = std::make_unique<FunctionEventFilter>(std::move(filter));
    for (QObject *object : watched)
        object->installEventFilter(guard.get());
    return guard;
}

} // namespace plumora::ui
