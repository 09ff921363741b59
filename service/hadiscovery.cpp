#include "service/hadiscovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace kv::service {

namespace {

QJsonObject deviceObject(const MeterInfo &meter)
{
    QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{MqttTopics::deviceId(meter.serial)}},
        {QStringLiteral("name"), QStringLiteral("KV3917 %1").arg(meter.serial)},
        {QStringLiteral("manufacturer"), QLatin1String(HaManufacturer)},
        {QStringLiteral("model"), QLatin1String(HaModel)},
        {QStringLiteral("serial_number"), meter.serial},
    };
    if (!meter.firmware.isEmpty())
        device.insert(QStringLiteral("sw_version"), meter.firmware);
    return device;
}

QJsonObject originObject()
{
    return {
        {QStringLiteral("name"), QLatin1String(HaOriginName)},
#ifdef KV_VERSION
        {QStringLiteral("sw_version"), QStringLiteral(KV_VERSION)},
#endif
    };
}

QJsonArray availabilityList(const MeterInfo &meter, const MqttTopics &topics)
{
    return {
        QJsonObject{{QStringLiteral("topic"), topics.bridgeAvailability()}},
        QJsonObject{{QStringLiteral("topic"), topics.availability(meter.serial)}},
    };
}

// What an entity of the channel says about itself.
QJsonObject entityObject(const MeterInfo &meter, const ChannelInfo &channel, const HaDiscoverySettings &settings)
{
    return {
        {QStringLiteral("unique_id"), MqttTopics::uniqueId(meter.serial, channel)},
        {QStringLiteral("name"), QLatin1String(channel.title)},
        {QStringLiteral("device_class"), QLatin1String(channel.haDeviceClass)},
        {QStringLiteral("unit_of_measurement"), QString::fromUtf8(channel.haUnit)},
        {QStringLiteral("state_class"), QStringLiteral("measurement")},
        {QStringLiteral("value_template"), QStringLiteral("{{ value_json.%1 }}").arg(QLatin1String(channel.key))},
        {QStringLiteral("expire_after"), settings.expireAfterSeconds},
    };
}

// The options every entity of the meter shares.
void insertShared(QJsonObject &object, const MeterInfo &meter, const MqttTopics &topics,
                  const HaDiscoverySettings &settings)
{
    object.insert(QStringLiteral("state_topic"), topics.state(meter.serial));
    object.insert(QStringLiteral("availability"), availabilityList(meter, topics));
    object.insert(QStringLiteral("availability_mode"), QStringLiteral("all"));
    object.insert(QStringLiteral("qos"), settings.qos);
}

} // namespace

int HaExpireAfterSeconds(int pollPeriodMs, int publishPeriodMs)
{
    const int period = std::max({pollPeriodMs, publishPeriodMs, 1});
    return std::max(1, (3 * period + 999) / 1000);
}

QByteArray HaDeviceConfig(const MeterInfo &meter, const MqttTopics &topics, const HaDiscoverySettings &settings)
{
    QJsonObject components;
    for (const ChannelInfo &channel : MeterChannels) {
        QJsonObject component = entityObject(meter, channel, settings);
        component.insert(QStringLiteral("platform"), QStringLiteral("sensor"));
        components.insert(QLatin1String(channel.key), component);
    }
    QJsonObject config{
        {QStringLiteral("device"), deviceObject(meter)},
        {QStringLiteral("origin"), originObject()},
        {QStringLiteral("components"), components},
    };
    insertShared(config, meter, topics, settings);
    return QJsonDocument(config).toJson(QJsonDocument::Compact);
}

QByteArray HaEntityConfig(const MeterInfo &meter, const ChannelInfo &channel, const MqttTopics &topics,
                          const HaDiscoverySettings &settings)
{
    QJsonObject config = entityObject(meter, channel, settings);
    config.insert(QStringLiteral("device"), deviceObject(meter));
    config.insert(QStringLiteral("origin"), originObject());
    insertShared(config, meter, topics, settings);
    return QJsonDocument(config).toJson(QJsonDocument::Compact);
}

QList<MqttMessage> HaDiscoveryMessages(HaDiscoveryStyle style, const MeterInfo &meter, const MqttTopics &topics,
                                       const HaDiscoverySettings &settings)
{
    QList<MqttMessage> messages;
    if (style == HaDiscoveryStyle::Device) {
        messages.append({topics.deviceConfig(meter.serial), HaDeviceConfig(meter, topics, settings), true});
    } else if (style == HaDiscoveryStyle::Entity) {
        for (const ChannelInfo &channel : MeterChannels)
            messages.append({topics.entityConfig(meter.serial, channel),
                             HaEntityConfig(meter, channel, topics, settings), true});
    }
    return messages;
}

QList<MqttMessage> HaRemovalMessages(const MeterInfo &meter, const MqttTopics &topics)
{
    QList<MqttMessage> messages{{topics.deviceConfig(meter.serial), {}, true}};
    for (const ChannelInfo &channel : MeterChannels)
        messages.append({topics.entityConfig(meter.serial, channel), {}, true});
    return messages;
}

} // namespace kv::service
