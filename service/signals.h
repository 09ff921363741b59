#pragma once
// SIGHUP, SIGTERM and SIGINT as Qt signals on the main thread: the handlers
// only write the signal's number into a pipe, a socket notifier reads it
// there (the self-pipe pattern; nothing else is safe in a handler).

#include <QObject>

class QSocketNotifier;

namespace kv::service {

class UnixSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; one instance per process.
    explicit UnixSignals(QObject *parent = nullptr);
    ~UnixSignals() override; // default handlers again

signals:
    void hangup();
    void terminate(int signal);

private:
    void readPipe();
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace kv::service
