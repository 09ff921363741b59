// kv3917d: the unattended service.  Polls every attached meter and feeds the
// outputs; systemd starts it (resources/kv3917d.service).

#include "service/config.h"
#include "service/httpserver.h"
#include "service/importscheduler.h"
#include "service/lineoptions.h"
#include "service/linesink.h"
#include "service/log.h"
#include "service/mqttoptions.h"
#include "service/mqttsink.h"
#include "service/prometheus.h"
#include "service/service.h"
#include "service/signals.h"
#include "service/systemd.h"
#include "service/textfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcessEnvironment>

#include <cstdio>
#include <memory>

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

// The outputs' options as the settings give them.
bool ReadOutputOptions(const ServiceConfig &config, MqttOptions &mqtt, LineOptions &lines)
{
    QString error;
    for (const auto &[key, value] : config.outputOptions) {
        const bool ok = MqttOptions::kind(key) != MqttOptions::Kind::Unknown ? mqtt.set(key, value, &error)
                                                                             : SetLineOption(lines, key, value, &error);
        if (!ok) {
            Log(LogPriority::Error, error);
            return false;
        }
    }
    mqtt.pollPeriodMs = config.periodMs;
    if (!mqtt.finish(QProcessEnvironment::systemEnvironment(), &error)) {
        Log(LogPriority::Error, error);
        return false;
    }
    return true;
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
        std::fputs(qPrintable(FullHelpText()), stdout);
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

    MqttOptions mqttOptions;
    LineOptions lineOptions;
    if (!ReadOutputOptions(config, mqttOptions, lineOptions))
        return ExitConfig;
    QList<LineTargetOptions> lineTargets;
    if (lineOptions.anyTarget() && !lineOptions.targets(&lineTargets, &error)) {
        Log(LogPriority::Error, error);
        return ExitConfig;
    }
    ListenAddress listenAddress;
    if (!config.listen.isEmpty()) {
        const std::optional<ListenAddress> given = ParseListenAddress(config.listen, &error);
        if (!given) {
            Log(LogPriority::Error, error);
            return ExitConfig;
        }
        listenAddress = *given;
    }

    Service service;
    SystemdNotifier notifier(service);
    UnixSignals unixSignals;

    // Outputs: /metrics, the JSON API and the status page; the textfile;
    // MQTT; line protocol with the field logger import.
    PrometheusExposition exposition(service);
    HttpServer http(service, exposition);
    if (!http.listen(listenAddress, &error)) {
        Log(LogPriority::Error, error);
        return ExitUnavailable;
    }
    Log(LogPriority::Info, QStringLiteral("serving http://%1:%2/").arg(http.serverAddress().toString()).arg(http.serverPort()));
    std::unique_ptr<TextfileWriter> textfile;
    if (!config.textfile.isEmpty()) {
        textfile = std::make_unique<TextfileWriter>(exposition, config.textfile);
        QObject::connect(textfile.get(), &TextfileWriter::writeFailed, [](const QString &why) {
            LogFault(QStringLiteral("textfile"), LogPriority::Warning, why);
        });
        textfile->start();
    }
    std::unique_ptr<MqttSink> mqtt;
    if (mqttOptions.enabled) {
        mqtt = std::make_unique<MqttSink>(mqttOptions);
        service.addSink(mqtt.get());
        exposition.addTextSource([&mqtt] { return MqttMetricsText(mqtt->counters()); });
        mqtt->start();
    }
    std::unique_ptr<LineSink> lines;
    std::unique_ptr<ImportScheduler> imports;
    if (!lineTargets.isEmpty()) {
        lines = std::make_unique<LineSink>(lineTargets, config.stateDir, lineOptions);
        if (!lines->open(&error)) {
            Log(LogPriority::Error, error);
            return ExitConfig;
        }
        lines->setPollPeriodMs(config.periodMs);
        service.addSink(lines.get());
        exposition.addTextSource([&lines] { return lines->metricsText(); });
        FieldImportOptions importOptions;
        importOptions.stateDir = config.stateDir;
        importOptions.archiveDir =
            lineOptions.archiveDir.isEmpty() ? config.stateDir + QStringLiteral("/archive") : lineOptions.archiveDir;
        importOptions.enabled = lineOptions.fieldImport;
        imports = std::make_unique<ImportScheduler>(service, *lines, importOptions);
    }

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
        service.stop(); // also stops every sink
        if (textfile)
            textfile->writeStopped();
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
