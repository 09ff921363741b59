#pragma once
// The MQTT output of the service: each meter's readings as JSON state
// messages, its availability, the service's own availability with a last
// will, and Home Assistant discovery, through one MqttClient.  Read-only: it
// subscribes to Home Assistant's status topic alone (to publish discovery
// again when Home Assistant comes back) and nothing it receives goes
// anywhere near a meter.
//
// Use:  MqttOptions options; ... options.set(key, value, &error) for each
//       option and configuration key; options.finish(env, &error);
//       MqttSink sink(options);  sink.start();  feed it as a Sink;
//       sink.counters() for /metrics (MqttMetricsText renders them).

#include "service/hadiscovery.h"
#include "service/mqttclient.h"
#include "service/mqttoptions.h"
#include "service/mqtttopics.h"
#include "service/sink.h"

#include <QHash>
#include <QObject>

namespace kv::service {

constexpr int MqttStopFlushMs = 1000; // of the 2 s the service has to stop

class MqttSink : public QObject, public Sink {
    Q_OBJECT
public:
    explicit MqttSink(const MqttOptions &options, QObject *parent = nullptr);

    void start();

    void meterUp(const MeterInfo &meter) override;
    void reading(const MeterInfo &meter, const MeterReading &reading) override;
    void meterDown(const MeterInfo &meter) override;
    void stop() override;

    MqttCounters counters() const { return m_client.counters(); }
    const MqttTopics &topics() const { return m_topics; }
    MqttClient &client() { return m_client; }

private:
    struct Meter {
        MeterInfo info;
        bool up = false;
        std::int64_t lastPublishedMs = -1;
    };

    void connected();
    void received(const QString &topic, const QByteArray &payload);
    void publishDiscovery(const Meter &meter);
    void publishAvailability(const Meter &meter);
    Meter &meterEntry(const MeterInfo &info);

    MqttOptions m_options;
    MqttTopics m_topics;
    HaDiscoverySettings m_discovery;
    MqttClient m_client;
    QHash<QString, Meter> m_meters; // by serial
    QList<QString> m_order;         // serials in the order first seen
    bool m_stopped = false;
};

MqttClientSettings MqttClientSettingsFrom(const MqttOptions &options, const MqttTopics &topics);

// The counters in Prometheus' text format, with HELP and TYPE lines.
QByteArray MqttMetricsText(const MqttCounters &counters);

} // namespace kv::service
