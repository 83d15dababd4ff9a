#pragma once
// SIGTERM (a plain kill, as at log-out) delivered as a call on the GUI
// thread: the signal handler only writes a byte to a pipe, which a socket
// notifier reads, since nothing else is safe inside a signal handler.
#include <QObject>

#include <functional>

class QSocketNotifier;

class TTerminationWatch : public QObject
{
public:
    // One watch at a time; onTerminate runs once per signal.
    TTerminationWatch(std::function<void()> onTerminate, QObject *parent = nullptr);
    ~TTerminationWatch() override;

private:
    std::function<void()> m_onTerminate;
    QSocketNotifier *m_notifier = nullptr;
};
