#pragma once
// Checks one Home Assistant entity as the discovery message describes it:
// the component's own keys with the shared ones of a device-based message
// (`shared`), or a per-entity message alone (`shared` empty).  QtTest checks:
// after a call, QTest::currentTestFailed() tells whether it passed.

#include "service/channels.h"
#include "service/mqtttopics.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

namespace kvtest {

inline void CheckHaEntity(const QJsonObject &component, const QJsonObject &shared, const kv::service::MeterInfo &meter,
                          const kv::service::ChannelInfo &channel, const kv::service::MqttTopics &topics, int qos,
                          int expireAfter)
{
    using kv::service::MqttTopics;
    QJsonObject entity = shared;
    for (auto it = component.begin(); it != component.end(); ++it)
        entity.insert(it.key(), it.value());

    QCOMPARE(entity.value(u"unique_id").toString(), MqttTopics::uniqueId(meter.serial, channel));
    QCOMPARE(entity.value(u"name").toString(), QString::fromLatin1(channel.title));
    QCOMPARE(entity.value(u"device_class").toString(), QString::fromLatin1(channel.haDeviceClass));
    QCOMPARE(entity.value(u"unit_of_measurement").toString(), QString::fromUtf8(channel.haUnit));
    QCOMPARE(entity.value(u"unit_of_measurement").toString(),
             channel.temperature ? QStringLiteral("\u00b0C") : QStringLiteral("%"));
    QCOMPARE(entity.value(u"state_class").toString(), QStringLiteral("measurement"));
    QCOMPARE(entity.value(u"value_template").toString(),
             QStringLiteral("{{ value_json.%1 }}").arg(QLatin1String(channel.key)));
    QCOMPARE(entity.value(u"state_topic").toString(), topics.state(meter.serial));
    QCOMPARE(entity.value(u"expire_after").toInt(-1), expireAfter);
    QCOMPARE(entity.value(u"qos").toInt(-1), qos);
    QCOMPARE(entity.value(u"availability_mode").toString(), QStringLiteral("all"));
    const QJsonArray availability = entity.value(u"availability").toArray();
    QCOMPARE(availability.size(), 2);
    QCOMPARE(availability.at(0).toObject().value(u"topic").toString(), topics.bridgeAvailability());
    QCOMPARE(availability.at(1).toObject().value(u"topic").toString(), topics.availability(meter.serial));

    const QJsonObject device = entity.value(u"device").toObject();
    QCOMPARE(device.value(u"identifiers").toArray(), QJsonArray{MqttTopics::deviceId(meter.serial)});
    QCOMPARE(device.value(u"name").toString(), QStringLiteral("KV3917 ") + meter.serial);
    QVERIFY(!device.value(u"manufacturer").toString().isEmpty());
    QCOMPARE(device.value(u"model").toString(), QStringLiteral("KV3917"));
    QCOMPARE(device.value(u"sw_version").toString(), meter.firmware);
    QCOMPARE(device.value(u"serial_number").toString(), meter.serial);
    const QJsonObject origin = entity.value(u"origin").toObject();
    QCOMPARE(origin.value(u"name").toString(), QStringLiteral("kv3917d"));
    QVERIFY(!origin.value(u"sw_version").toString().isEmpty());
}

} // namespace kvtest
