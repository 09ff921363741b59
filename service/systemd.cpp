#include "service/systemd.h"

#include "service/log.h"

#include <systemd/sd-daemon.h>

#include <algorithm>

namespace kv::service {

QString StatusText(const StatusSource &status)
{
    const QList<MeterStatus> meters = status.meters();
    const auto up = std::count_if(meters.begin(), meters.end(),
                                  [](const MeterStatus &m) { return m.state == MeterState::Up; });
    return QStringLiteral("%1 of %2 meters up").arg(up).arg(meters.size());
}

SystemdNotifier::SystemdNotifier(const StatusSource &status, QObject *parent) : QObject(parent), m_status(status)
{
    uint64_t us = 0;
    if (sd_watchdog_enabled(0, &us) > 0 && us > 0)
        m_watchdogUs = us;
    m_watchdog.setTimerType(Qt::PreciseTimer);
    connect(&m_watchdog, &QTimer::timeout, this, &SystemdNotifier::feedWatchdog);
    connect(&m_statusTimer, &QTimer::timeout, this, &SystemdNotifier::updateStatus);
}

void SystemdNotifier::ready()
{
    m_lastStatus = StatusText(m_status);
    sd_notifyf(0, "READY=1\nSTATUS=%s", m_lastStatus.toUtf8().constData());
    m_statusTimer.start(NotifyStatusMs);
    if (m_watchdogUs > 0) {
        m_watchdog.start(int(std::max<std::uint64_t>(1, m_watchdogUs / 2000)));
        feedWatchdog();
    }
}

void SystemdNotifier::stopping()
{
    m_watchdog.stop();
    m_statusTimer.stop();
    sd_notify(0, "STOPPING=1\nSTATUS=stopping");
}

void SystemdNotifier::reloading()
{
    sd_notify(0, "RELOADING=1");
}

void SystemdNotifier::updateStatus()
{
    const QString text = StatusText(m_status);
    if (text == m_lastStatus)
        return;
    m_lastStatus = text;
    sd_notifyf(0, "STATUS=%s", text.toUtf8().constData());
}

void SystemdNotifier::feedWatchdog()
{
    if (m_status.pollingProgresses()) {
        sd_notify(0, "WATCHDOG=1");
        return;
    }
    // Left unfed: systemd restarts the service when the time is up.
    LogFault(QStringLiteral("watchdog"), LogPriority::Error,
             QStringLiteral("polling makes no progress; the watchdog is not fed"));
}

} // namespace kv::service
