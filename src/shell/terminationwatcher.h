#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGHUP (the program ended from outside: kill, a service
// manager, a closing terminal) into a signal on the window's thread, so that
// the program can end in order instead of being cut off. One instance per
// process; the handler only writes a byte to a socket the event loop watches.
// On Windows, the end of the session (log-off, shut-down) does the same.
class TerminationWatcher : public QObject {
    Q_OBJECT
public:
    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;

signals:
    void terminationRequested();

#ifndef Q_OS_WIN
private:
    QSocketNotifier* m_notifier = nullptr;
#endif
};
