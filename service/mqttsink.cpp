#include "service/mqttsink.h"

#include <QRandomGenerator>

namespace kv::service {

MqttClientSettings MqttClientSettingsFrom(const MqttOptions &options, const MqttTopics &topics)
{
    MqttClientSettings settings;
    settings.host = options.host;
    settings.port = options.port;
    settings.tls = options.tls;
    settings.caFile = options.caFile;
    settings.certFile = options.certFile;
    settings.keyFile = options.keyFile;
    settings.tlsInsecure = options.tlsInsecure;
    settings.username = options.username;
    settings.password = options.password;
    settings.hasPassword = options.hasPassword;
    settings.clientId = options.clientId.isEmpty() ? DeriveMqttClientId(QString(), options) : options.clientId;
    settings.protocolVersion = options.protocolVersion;
    settings.keepAliveSeconds = MqttKeepAliveSeconds;
    settings.willTopic = topics.bridgeAvailability();
    settings.willPayload = PayloadOffline;
    settings.willQos = options.qos;
    settings.willRetain = true;
    settings.queueSize = options.queueSize;
    settings.backoffMinMs = options.backoffMinMs;
    settings.backoffMaxMs = options.backoffMaxMs;
    settings.connectTimeoutMs = options.connectTimeoutMs;
    settings.seed = QRandomGenerator::global()->generate();
    return settings;
}

MqttSink::MqttSink(const MqttOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_topics(options.topicPrefix, options.discoveryPrefix),
      m_discovery{options.qos, HaExpireAfterSeconds(options.pollPeriodMs, options.publishPeriodMs)},
      m_client(MqttClientSettingsFrom(options, m_topics))
{
    if (m_options.discovery != HaDiscoveryStyle::Off)
        m_client.setSubscriptions({m_topics.haStatus()}, m_options.qos);
    connect(&m_client, &MqttClient::connected, this, &MqttSink::connected);
    connect(&m_client, &MqttClient::messageReceived, this, &MqttSink::received);
}

void MqttSink::start()
{
    m_client.start();
}

MqttSink::Meter &MqttSink::meterEntry(const MeterInfo &info)
{
    auto it = m_meters.find(info.serial);
    if (it == m_meters.end()) {
        it = m_meters.insert(info.serial, Meter{info, false, -1});
        m_order.append(info.serial);
    } else {
        it->info = info;
    }
    return *it;
}

void MqttSink::meterUp(const MeterInfo &info)
{
    if (m_stopped)
        return;
    Meter &meter = meterEntry(info);
    meter.up = true;
    publishDiscovery(meter);
    publishAvailability(meter);
}

void MqttSink::reading(const MeterInfo &info, const MeterReading &reading)
{
    if (m_stopped)
        return;
    Meter &meter = meterEntry(info);
    if (!meter.up) {
        // A reading is proof the meter is up, even if meterUp() was missed.
        meter.up = true;
        publishDiscovery(meter);
        publishAvailability(meter);
    }
    if (m_options.publishPeriodMs > 0 && meter.lastPublishedMs >= 0 &&
        reading.timeMs - meter.lastPublishedMs < m_options.publishPeriodMs)
        return;
    meter.lastPublishedMs = reading.timeMs;
    m_client.enqueue(m_topics.state(info.serial), StatePayload(reading), m_options.qos, false);
}

void MqttSink::meterDown(const MeterInfo &info)
{
    if (m_stopped)
        return;
    Meter &meter = meterEntry(info);
    meter.up = false;
    publishAvailability(meter);
}

void MqttSink::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    // A clean disconnect sends no last will: say offline ourselves.
    for (const QString &serial : std::as_const(m_order)) {
        Meter &meter = m_meters[serial];
        meter.up = false;
        publishAvailability(meter);
    }
    m_client.publishSession(m_topics.bridgeAvailability(), PayloadOffline, m_options.qos, true);
    m_client.stop(MqttStopFlushMs);
}

void MqttSink::connected()
{
    m_client.publishSession(m_topics.bridgeAvailability(), PayloadOnline, m_options.qos, true);
    for (const QString &serial : std::as_const(m_order)) {
        const Meter &meter = m_meters[serial];
        publishDiscovery(meter);
        publishAvailability(meter);
    }
}

void MqttSink::received(const QString &topic, const QByteArray &payload)
{
    // Home Assistant came (back) online: it has forgotten nothing retained,
    // but may have lost what it built from it, so tell it again.
    if (topic != m_topics.haStatus() || payload.trimmed() != PayloadOnline || m_options.haRemove)
        return;
    for (const QString &serial : std::as_const(m_order)) {
        const Meter &meter = m_meters[serial];
        publishDiscovery(meter);
        publishAvailability(meter);
    }
}

void MqttSink::publishDiscovery(const Meter &meter)
{
    if (m_options.haRemove) {
        for (const MqttMessage &message : HaRemovalMessages(meter.info, m_topics))
            m_client.publishSession(message.topic, message.payload, m_options.qos, true);
        return;
    }
    for (const MqttMessage &message : HaDiscoveryMessages(m_options.discovery, meter.info, m_topics, m_discovery))
        m_client.publishSession(message.topic, message.payload, m_options.qos, message.retain);
}

void MqttSink::publishAvailability(const Meter &meter)
{
    // Removing a meter also clears its retained availability.
    const QByteArray payload = m_options.haRemove ? QByteArray() : QByteArray(meter.up ? PayloadOnline : PayloadOffline);
    m_client.publishSession(m_topics.availability(meter.info.serial), payload, m_options.qos, true);
}

QByteArray MqttMetricsText(const MqttCounters &counters)
{
    struct Row {
        const char *name;
        const char *type;
        const char *help;
        std::uint64_t value;
    };
    const Row rows[] = {
        {"kv3917_mqtt_messages_sent_total", "counter", "MQTT messages the broker acknowledged.", counters.sent},
        {"kv3917_mqtt_messages_dropped_total", "counter",
         "MQTT readings dropped because the queue was full or the broker refused them.", counters.dropped},
        {"kv3917_mqtt_messages_queued", "gauge", "MQTT messages waiting for the broker.", counters.queued},
        {"kv3917_mqtt_connected", "gauge", "1 while connected to the MQTT broker.", counters.connected ? 1u : 0u},
        {"kv3917_mqtt_connects_total", "counter", "Connections the MQTT broker accepted.", counters.connects},
    };
    QByteArray text;
    for (const Row &row : rows) {
        text += QByteArray("# HELP ") + row.name + ' ' + row.help + '\n';
        text += QByteArray("# TYPE ") + row.name + ' ' + row.type + '\n';
        text += QByteArray(row.name) + ' ' + QByteArray::number(qulonglong(row.value)) + '\n';
    }
    return text;
}

} // namespace kv::service
