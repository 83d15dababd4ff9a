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

} // namespace plumora::ui
