#include "service/mqtttopics.h"

#include <QCryptographicHash>
#include <QLocale>
#include <QTimeZone>

#include <cmath>

namespace kv::service {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";
constexpr char EscapeChar = '_';
constexpr int ShortenedHashChars = 12;

bool keptAsIs(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

int hexValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

void appendJsonString(QByteArray &out, const QByteArray &utf8)
{
    out += '"';
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7f) {
            out += "\\u00";
            out += HexDigits[u >> 4];
            out += HexDigits[u & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendNumber(QByteArray &out, double value)
{
    if (!std::isfinite(value))
        out += "null";
    else
        out += QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

QString MeterTopicLevel(const QString &serial)
{
    const QByteArray utf8 = serial.toUtf8();
    if (utf8.isEmpty())
        return QString(QLatin1Char(EscapeChar));
    QByteArray level;
    level.reserve(utf8.size() * 3);
    for (char c : utf8) {
        if (keptAsIs(c)) {
            level += c;
        } else {
            const auto u = static_cast<unsigned char>(c);
            level += EscapeChar;
            level += HexDigits[u >> 4];
            level += HexDigits[u & 15];
        }
    }
    if (level.size() > TopicLevelMaxBytes) {
        const QByteArray hash =
            QCryptographicHash::hash(utf8, QCryptographicHash::Sha256).toHex().left(ShortenedHashChars);
        int keep = TopicLevelMaxBytes - ShortenedHashChars - 1;
        // Never cut an escape in half.
        while (keep > 0 && (level.at(keep - 1) == EscapeChar || (keep > 1 && level.at(keep - 2) == EscapeChar)))
            --keep;
        level = level.left(keep) + '-' + hash;
    }
    return QString::fromLatin1(level);
}

QByteArray DecodeMeterTopicLevel(const QString &level, bool *ok)
{
    *ok = false;
    QByteArray bytes;
    if (level == QLatin1Char(EscapeChar)) {
        *ok = true;
        return bytes;
    }
    if (level.isEmpty())
        return {};
    for (int i = 0; i < level.size(); ++i) {
        const QChar c = level.at(i);
        if (c == QLatin1Char(EscapeChar)) {
            if (i + 2 >= level.size())
                return {};
            const int hi = hexValue(level.at(i + 1));
            const int lo = hexValue(level.at(i + 2));
            if (hi < 0 || lo < 0)
                return {};
            const char decoded = char(hi * 16 + lo);
            if (keptAsIs(decoded))
                return {}; // never produced by the escaping
            bytes += decoded;
            i += 2;
        } else if (c.unicode() < 0x80 && keptAsIs(char(c.unicode()))) {
            bytes += char(c.unicode());
        } else {
            return {};
        }
    }
    *ok = true;
    return bytes;
}

MqttTopics::MqttTopics(const QString &topicPrefix, const QString &discoveryPrefix)
    : m_prefix(topicPrefix), m_discovery(discoveryPrefix)
{
}

QString MqttTopics::state(const QString &serial) const
{
    return m_prefix + u'/' + MeterTopicLevel(serial) + QLatin1String("/state");
}

QString MqttTopics::availability(const QString &serial) const
{
    return m_prefix + u'/' + MeterTopicLevel(serial) + QLatin1String("/availability");
}

QString MqttTopics::bridgeAvailability() const
{
    return m_prefix + QLatin1String("/bridge/availability");
}

QString MqttTopics::haStatus() const
{
    return m_discovery + QLatin1String("/status");
}

QString MqttTopics::deviceConfig(const QString &serial) const
{
    return m_discovery + QLatin1String("/device/") + deviceId(serial) + QLatin1String("/config");
}

QString MqttTopics::entityConfig(const QString &serial, const ChannelInfo &channel) const
{
    return m_discovery + QLatin1String("/sensor/") + deviceId(serial) + u'/' + QLatin1String(channel.key) +
           QLatin1String("/config");
}

QString MqttTopics::deviceId(const QString &serial)
{
    return QLatin1String("kv3917_") + MeterTopicLevel(serial);
}

QString MqttTopics::uniqueId(const QString &serial, const ChannelInfo &channel)
{
    return deviceId(serial) + u'_' + QLatin1String(channel.key);
}

QString IsoTimeWithOffset(const MeterReading &reading)
{
    QDateTime time = reading.time.isValid() ? reading.time : QDateTime::fromMSecsSinceEpoch(reading.timeMs);
    const int offset = time.offsetFromUtc();
    time = time.toTimeZone(QTimeZone(offset));
    const int minutes = std::abs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray StatePayload(const MeterReading &reading)
{
    QByteArray out;
    out.reserve(256);
    out += "{\"time\":";
    appendJsonString(out, IsoTimeWithOffset(reading).toLatin1());
    QByteArray outOfRange;
    for (const ChannelInfo &channel : MeterChannels) {
        const int i = int(channel.id);
        out += ",\"";
        out += channel.key;
        out += "\":";
        const std::optional<double> &value = reading.values[std::size_t(i)];
        if (value && !reading.outOfRange[std::size_t(i)] && std::isfinite(*value)) {
            appendNumber(out, *value);
        } else {
            out += "null";
            if (reading.outOfRange[std::size_t(i)]) {
                if (!outOfRange.isEmpty())
                    outOfRange += ',';
                appendJsonString(outOfRange, channel.key);
            }
        }
    }
    out += ",\"unit\":";
    appendJsonString(out, reading.displayUnit.toUtf8());
    out += ",\"thermocouple\":";
    if (reading.thermocouple.isEmpty())
        out += "null";
    else
        appendJsonString(out, reading.thermocouple.toUtf8());
    out += ",\"hold\":";
    out += reading.hold ? "true" : "false";
    out += ",\"mode\":";
    appendJsonString(out, DisplayModeKey(reading.mode));
    out += ",\"out_of_range\":[";
    out += outOfRange;
    out += "]}";
    return out;
}

} // namespace kv::service
