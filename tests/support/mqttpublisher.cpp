// A process that runs the MQTT output as the service does, for tests that
// kill it: forwards every --option to MqttOptions, feeds one meter's
// synthesized readings, stops cleanly on SIGTERM.
//   kvtest-mqtt-publisher --mqtt URL [MQTT options] [--serial S] [--interval-ms N]
//                         [--count N: stop after N readings]

#include "service/mqttsink.h"
#include "tests/support/meterreadings.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    using namespace kv::service;
    MqttOptions options;
    QString serial = QStringLiteral("KV0001");
    int intervalMs = 100;
    int count = -1;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString name = args.at(i).mid(2);
        const auto kind = MqttOptions::kind(name);
        QString value;
        if ((kind == MqttOptions::Kind::Value || name == u"serial" || name == u"interval-ms" || name == u"count") && i + 1 < args.size())
            value = args.at(++i);
        QString error;
        if (name == u"serial")
            serial = value;
        else if (name == u"interval-ms")
            intervalMs = value.toInt();
        else if (name == u"count")
            count = value.toInt();
        else if (kind == MqttOptions::Kind::Unknown || !options.set(name, value, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error.isEmpty() ? args.at(i) : error));
            return 64;
        }
    }
    QString error;
    if (!options.finish(QProcessEnvironment::systemEnvironment(), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 64;
    }

    MqttSink sink(options);
    const MeterInfo meter = kvtest::SyntheticMeter(serial);
    sink.start();
    sink.meterUp(meter);
    int index = 0;
    QTimer readings;
    QObject::connect(&readings, &QTimer::timeout, [&] {
        sink.reading(meter, kvtest::SyntheticReading(index++));
        if (index == count) {
            readings.stop();
            // Let the last reading go out before saying goodbye.
            QTimer::singleShot(intervalMs, &app, [&] {
                sink.stop();
                app.quit();
            });
        }
    });
    readings.start(intervalMs);

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return 1;
    QSocketNotifier stopNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, [&] {
        readings.stop();
        sink.stop();
        app.quit();
    });
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    return app.exec();
}
