// Outside text on its way into MQTT: a meter's serial-number text must come
// out as one safe topic level that decodes back to the same bytes, option
// values (broker URL, prefixes, numbers) must be accepted or refused with a
// message, and the state and discovery JSON must stay valid JSON whatever
// the meter's texts hold.

#include "service/hadiscovery.h"
#include "service/mqttoptions.h"
#include "service/mqtttopics.h"

#include <QJsonDocument>

#include <cstdint>
#include <cstdlib>

using namespace kv::service;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    const QString level = MeterTopicLevel(text);
    if (level.isEmpty() || level.size() > TopicLevelMaxBytes)
        std::abort();
    for (QChar c : level) {
        const ushort u = c.unicode();
        const bool safe = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_' ||
                          u == '-';
        if (!safe)
            std::abort();
    }
    // Not shortened: it decodes back to exactly the text's bytes.
    const QByteArray utf8 = text.toUtf8();
    int escapedLength = 0;
    for (char c : utf8)
        escapedLength += (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ? 1 : 3;
    if (escapedLength <= TopicLevelMaxBytes) {
        bool ok = false;
        if (DecodeMeterTopicLevel(level, &ok) != utf8 || !ok)
            std::abort();
    }

    for (const char *name : {"mqtt", "mqtt-topic-prefix", "mqtt-qos", "mqtt-period", "mqtt-queue", "mqtt-client-id",
                             "ha-discovery", "ha-remove", "mqtt-version"}) {
        MqttOptions options;
        QString error;
        if (!options.set(QLatin1String(name), text, &error) && error.isEmpty())
            std::abort();
    }

    MeterReading reading;
    reading.timeMs = 1764000000000;
    reading.time = QDateTime::fromMSecsSinceEpoch(reading.timeMs);
    reading.displayUnit = text;
    reading.thermocouple = text.left(3);
    if (QJsonDocument::fromJson(StatePayload(reading)).isNull())
        std::abort();
    const MeterInfo meter{text, QStringLiteral("demo:1"), QStringLiteral("demo"), text};
    const MqttTopics topics(QStringLiteral("kv3917"), QStringLiteral("homeassistant"));
    if (QJsonDocument::fromJson(HaDeviceConfig(meter, topics, {})).isNull())
        std::abort();
    return 0;
}
