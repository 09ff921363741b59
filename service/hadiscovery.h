#pragma once
// Home Assistant MQTT discovery for one meter: a device with one sensor per
// row of the channel table.  Either one device-based message
// (<discovery>/device/<id>/config with its components) or, for Home
// Assistant versions before device-based discovery, one message per entity.
// Every message is retained; removal publishes empty retained configs.

#include "service/channels.h"
#include "service/mqttoptions.h"
#include "service/mqtttopics.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace kv::service {

constexpr const char *HaManufacturer = "KV3917";
constexpr const char *HaModel = "KV3917";
constexpr const char *HaOriginName = "kv3917d";

struct HaDiscoverySettings {
    int qos = 1;
    int expireAfterSeconds = 2; // three poll (or publish) periods, rounded up
};

// Three of the slower of the poll and the publish period, in whole seconds.
int HaExpireAfterSeconds(int pollPeriodMs, int publishPeriodMs);

struct MqttMessage {
    QString topic;
    QByteArray payload;
    bool retain = false;
};

QByteArray HaDeviceConfig(const MeterInfo &meter, const MqttTopics &topics, const HaDiscoverySettings &settings);
QByteArray HaEntityConfig(const MeterInfo &meter, const ChannelInfo &channel, const MqttTopics &topics,
                          const HaDiscoverySettings &settings);

// The retained discovery messages of one meter in the given style (none for Off).
QList<MqttMessage> HaDiscoveryMessages(HaDiscoveryStyle style, const MeterInfo &meter, const MqttTopics &topics,
                                       const HaDiscoverySettings &settings);
// Empty retained configs for both styles, so a meter disappears from Home
// Assistant whichever style published it.
QList<MqttMessage> HaRemovalMessages(const MeterInfo &meter, const MqttTopics &topics);

} // namespace kv::service
