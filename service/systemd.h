#pragma once
// The service's side of systemd's notify protocol (Type=notify): READY=1 once
// the meters are being polled, STATUS= with the meters up, WATCHDOG=1 at half
// the watchdog time, sent only while polling makes progress, STOPPING=1 on
// the way out.  Without NOTIFY_SOCKET every call does nothing.

#include "service/channels.h"

#include <QObject>
#include <QTimer>

namespace kv::service {

// STATUS= is refreshed this often (and whenever asked).
constexpr int NotifyStatusMs = 2000;

class SystemdNotifier : public QObject {
    Q_OBJECT
public:
    explicit SystemdNotifier(const StatusSource &status, QObject *parent = nullptr);

    // Whether systemd watches us (WATCHDOG_USEC for this pid), and its time.
    bool watchdogEnabled() const { return m_watchdogUs > 0; }
    std::uint64_t watchdogUs() const { return m_watchdogUs; }

    void ready();
    void stopping();
    void reloading();
    // STATUS= now, e.g. "3 of 4 meters up".
    void updateStatus();

private:
    void feedWatchdog();

    const StatusSource &m_status;
    std::uint64_t m_watchdogUs = 0;
    QTimer m_watchdog;
    QTimer m_statusTimer;
    QString m_lastStatus;
};

// "3 of 4 meters up"
QString StatusText(const StatusSource &status);

} // namespace kv::service
