// kv3917d: the unattended service.  Polls every attached meter and feeds the
// outputs; systemd starts it (resources/kv3917d.service).

#include "service/config.h"
#include "service/log.h"
#include "service/service.h"
#include "service/signals.h"
#include "service/systemd.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

using namespace kv::service;

// The settings as the command line and the config file give them now.
bool LoadConfig(const CommandLine &line, ServiceConfig &config)
{
    QString error;
    QStringList warnings;
    const bool ok = ResolveConfig(line, config, &error, &warnings);
    for (const QString &w : warnings)
        Log(LogPriority::Warning, w);
    if (!ok)
        Log(LogPriority::Error, error);
    return ok;
}

QString Describe(const ServiceConfig &c)
{
    QStringList parts;
    parts << (c.usb ? QStringLiteral("USB") : QStringLiteral("no USB"));
    if (!c.ports.isEmpty())
        parts << QStringLiteral("ports %1").arg(c.ports.join(QStringLiteral(", ")));
    if (c.demo > 0)
        parts << QStringLiteral("%1 demo meters").arg(c.demo);
    parts << QStringLiteral("period %1 s").arg(c.periodMs / 1000.0);
    return parts.join(QStringLiteral("; "));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kv3917d"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KV_VERSION));

    CommandLine line;
    QString error;
    switch (ParseCommandLine(QCoreApplication::arguments().mid(1), line, &error)) {
    case ParseOutcome::Help:
        std::fputs(HelpText, stdout);
        return 0;
    case ParseOutcome::Version:
        std::printf("kv3917d %s\n", KV_VERSION);
        return 0;
    case ParseOutcome::Error:
        std::fprintf(stderr, "kv3917d: %s (see kv3917d --help)\n", qPrintable(error));
        return ExitUsage;
    case ParseOutcome::Run:
        break;
    }

    InstallQtMessageHandler();
    ServiceConfig config;
    if (!LoadConfig(line, config))
        return ExitConfig;
    if (!QDir().mkpath(config.stateDir))
        Log(LogPriority::Warning, QStringLiteral("cannot make the state folder %1").arg(config.stateDir));

    Service service;
    SystemdNotifier notifier(service);
    UnixSignals unixSignals;

    QObject::connect(&unixSignals, &UnixSignals::hangup, &service, [&] {
        notifier.reloading();
        ServiceConfig fresh;
        if (LoadConfig(line, fresh)) {
            service.reconfigure(fresh);
            Log(LogPriority::Notice, QStringLiteral("settings read again: %1").arg(Describe(fresh)));
        } else {
            Log(LogPriority::Warning, QStringLiteral("keeping the settings in use"));
        }
        notifier.ready();
    });
    QObject::connect(&unixSignals, &UnixSignals::terminate, &service, [&](int signal) {
        Log(LogPriority::Notice, QStringLiteral("stopping (signal %1)").arg(signal));
        notifier.stopping();
        service.stop();
        QCoreApplication::quit();
    });
    QObject::connect(&service, &Service::statusChanged, &notifier, &SystemdNotifier::updateStatus);

    service.start(config);
    Log(LogPriority::Info, QStringLiteral("kv3917d %1 started: %2").arg(QStringLiteral(KV_VERSION), Describe(config)));
    notifier.ready();
    const int rc = QCoreApplication::exec();
    service.stop();
    return rc;
}
