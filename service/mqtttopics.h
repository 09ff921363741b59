#pragma once
// The topics the MQTT output publishes to and the state payload, all built
// from the one table of channels.
//
//   <prefix>/<meter>/state          one JSON object per reading
//   <prefix>/<meter>/availability   online / offline, retained
//   <prefix>/bridge/availability    online / offline (last will), retained
//   <discovery>/device/kv3917_<meter>/config        Home Assistant, retained
//   <discovery>/sensor/kv3917_<meter>/<key>/config  the same per entity
//   <discovery>/status              Home Assistant's own (subscribed to)
//
// <meter> is the serial-number text through MeterTopicLevel(), the one
// function that turns it into a topic level, an object id, a unique_id and
// device identifiers.

#include "service/channels.h"

#include <QByteArray>
#include <QString>

namespace kv::service {

constexpr int TopicLevelMaxBytes = 64;
constexpr const char *PayloadOnline = "online";
constexpr const char *PayloadOffline = "offline";

// Letters, digits and '-' stay; every other byte of the UTF-8 text becomes
// "_XX" (upper-case hex), so the result holds only [A-Za-z0-9_-], never a
// '/', '+', '#', space or control byte, and different texts give different
// levels.  The empty text is "_".  A result longer than TopicLevelMaxBytes
// keeps its start and ends in "-" and a hash of the whole text.
QString MeterTopicLevel(const QString &serial);
// The UTF-8 text back from a level; *ok is false when `level` could not come
// from MeterTopicLevel().  A shortened level gives back its start and hash.
QByteArray DecodeMeterTopicLevel(const QString &level, bool *ok);

class MqttTopics {
public:
    MqttTopics(const QString &topicPrefix, const QString &discoveryPrefix);

    QString state(const QString &serial) const;
    QString availability(const QString &serial) const;
    QString bridgeAvailability() const;
    QString haStatus() const;
    QString deviceConfig(const QString &serial) const;
    QString entityConfig(const QString &serial, const ChannelInfo &channel) const;

    // kv3917_<meter>: Home Assistant's object id and device identifier.
    static QString deviceId(const QString &serial);
    static QString uniqueId(const QString &serial, const ChannelInfo &channel);

    const QString &topicPrefix() const { return m_prefix; }
    const QString &discoveryPrefix() const { return m_discovery; }

private:
    QString m_prefix;
    QString m_discovery;
};

// {"time":"2024-05-02T14:03:11.500+02:00","rh":45.2,"t1":23.5,"t2":null,...,
//  "unit":"C","thermocouple":"K","hold":false,"mode":"normal","out_of_range":["t2"]}
// Channels in table order; a channel out of range (or without a value) is
// null and listed in out_of_range.  Numbers in the C locale, shortest form.
QByteArray StatePayload(const MeterReading &reading);

// ISO 8601 with milliseconds and the UTC offset as +HH:MM (never "Z").
QString IsoTimeWithOffset(const MeterReading &reading);

} // namespace kv::service
