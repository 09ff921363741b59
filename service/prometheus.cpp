#include "service/prometheus.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kv::service {

namespace {

struct FamilyHead {
    const char *name;
    const char *type;
    const char *help;
};

// The service's own families, in the order they are written.
constexpr FamilyHead Up = {"kv3917_up", "gauge", "1 while the meter answers its polls, 0 while it is connecting or down."};
constexpr FamilyHead Temperature = {"kv3917_temperature_celsius", "gauge",
                                    "Temperature channel of the meter in degrees Celsius, whatever unit it shows."};
constexpr FamilyHead Humidity = {"kv3917_relative_humidity_ratio", "gauge", "Relative humidity as a ratio (0 to 1)."};
constexpr FamilyHead OutOfRange = {"kv3917_out_of_range", "gauge",
                                   "1 for a channel the meter shows as out of range (it has no value sample)."};
constexpr FamilyHead LastReading = {"kv3917_last_reading_timestamp_seconds", "gauge",
                                    "Time of the meter's last good reading, seconds since the epoch."};
constexpr FamilyHead Info = {"kv3917_meter_info", "gauge",
                             "The meter's port, firmware, thermocouple type and display unit; always 1."};
constexpr FamilyHead Polls = {"kv3917_polls_total", "counter", "Live exchanges tried with the meter."};
constexpr FamilyHead PollFailures = {"kv3917_poll_failures_total", "counter", "Live exchanges with the meter that failed."};
constexpr FamilyHead Reconnects = {"kv3917_reconnects_total", "counter", "Times the meter came back after being down."};
constexpr FamilyHead OwnFamilies[] = {Up, Temperature, Humidity, OutOfRange, LastReading, Info, Polls, PollFailures, Reconnects};

void writeHead(QByteArray &out, const char *name, const char *type, const QByteArray &help)
{
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

void writeHead(QByteArray &out, const FamilyHead &head)
{
    writeHead(out, head.name, head.type, QByteArray(head.help));
}

// name{meter="...",channel="..."} value
void writeSample(QByteArray &out, const char *name, const QByteArray &meter, const char *channel, double value)
{
    out += name;
    out += "{meter=\"";
    out += meter;
    if (channel) {
        out += "\",channel=\"";
        out += channel;
    }
    out += "\"} ";
    out += FormatSampleValue(value);
    out += '\n';
}

bool validName(const QByteArray &name, bool colonAllowed)
{
    if (name.isEmpty())
        return false;
    for (int i = 0; i < name.size(); ++i) {
        const char c = name.at(i);
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || (colonAllowed && c == ':');
        if (!letter && !(i > 0 && c >= '0' && c <= '9'))
            return false;
    }
    return true;
}

const char *outOfRangeChannel(const ChannelInfo &channel)
{
    return channel.promChannel ? channel.promChannel : channel.key;
}

} // namespace

QStringList MeterLabels(const QList<MeterStatus> &meters)
{
    QStringList labels;
    labels.reserve(meters.size());
    for (const MeterStatus &meter : meters)
        labels << (meter.info.serial.isEmpty() ? meter.info.port : meter.info.serial);
    // Meters sharing a label: the first by port keeps it, the others name their port.
    QHash<QString, int> first;
    for (int i = 0; i < labels.size(); ++i) {
        auto it = first.find(labels.at(i));
        if (it == first.end())
            first.insert(labels.at(i), i);
        else if (meters.at(i).info.port < meters.at(*it).info.port)
            *it = i;
    }
    QSet<QString> taken;
    for (int i : std::as_const(first))
        taken.insert(labels.at(i));
    for (int i = 0; i < labels.size(); ++i) {
        if (first.value(labels.at(i)) == i)
            continue;
        QString label = labels.at(i) + QLatin1Char('@') + meters.at(i).info.port;
        while (taken.contains(label)) // same serial and same port text: number them
            label += QLatin1Char('+');
        taken.insert(label);
        labels[i] = label;
    }
    return labels;
}

std::vector<int> MeterOrder(const QStringList &labels)
{
    std::vector<int> order(labels.size());
    for (int i = 0; i < labels.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return labels.at(a) < labels.at(b); });
    return order;
}

QByteArray EscapeLabelValue(const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        default: out += c;
        }
    }
    return out;
}

QByteArray EscapeHelp(const QByteArray &help)
{
    QByteArray out;
    out.reserve(help.size());
    for (char c : help) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        default: out += c;
        }
    }
    return out;
}

QByteArray FormatSampleValue(double value)
{
    if (std::isnan(value))
        return QByteArrayLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QByteArrayLiteral("+Inf") : QByteArrayLiteral("-Inf");
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QByteArray(buffer, int(result.ptr - buffer));
}

QByteArray RenderExposition(const QList<MeterStatus> &meters, const QList<MetricFamily> &extra)
{
    const QStringList labels = MeterLabels(meters);
    const std::vector<int> order = MeterOrder(labels);
    std::vector<QByteArray> escaped(meters.size());
    for (int i = 0; i < meters.size(); ++i)
        escaped[i] = EscapeLabelValue(labels.at(i));
    auto current = [&](int i) -> const MeterReading * {
        const MeterStatus &meter = meters.at(i);
        return meter.state == MeterState::Up && meter.last ? &*meter.last : nullptr;
    };

    QByteArray out;
    out.reserve(2048 + int(meters.size()) * 1400);

    writeHead(out, Up);
    for (int i : order)
        writeSample(out, Up.name, escaped[i], nullptr, meters.at(i).state == MeterState::Up ? 1 : 0);

    writeHead(out, Temperature);
    for (int i : order) {
        if (const MeterReading *reading = current(i)) {
            for (const ChannelInfo &channel : MeterChannels) {
                const auto &value = reading->values[std::size_t(channel.id)];
                if (channel.temperature && channel.promChannel && value && !reading->outOfRange[std::size_t(channel.id)])
                    writeSample(out, Temperature.name, escaped[i], channel.promChannel, *value);
            }
        }
    }

    writeHead(out, Humidity);
    for (int i : order) {
        if (const MeterReading *reading = current(i)) {
            for (const ChannelInfo &channel : MeterChannels) {
                const auto &value = reading->values[std::size_t(channel.id)];
                if (!channel.temperature && value && !reading->outOfRange[std::size_t(channel.id)])
                    writeSample(out, Humidity.name, escaped[i], nullptr, *value / 100.0);
            }
        }
    }

    writeHead(out, OutOfRange);
    for (int i : order) {
        if (const MeterReading *reading = current(i)) {
            for (const ChannelInfo &channel : MeterChannels) {
                if (reading->outOfRange[std::size_t(channel.id)])
                    writeSample(out, OutOfRange.name, escaped[i], outOfRangeChannel(channel), 1);
            }
        }
    }

    writeHead(out, LastReading);
    for (int i : order) {
        if (meters.at(i).last)
            writeSample(out, LastReading.name, escaped[i], nullptr, double(meters.at(i).last->timeMs) / 1000.0);
    }

    writeHead(out, Info);
    for (int i : order) {
        const MeterStatus &meter = meters.at(i);
        out += Info.name;
        out += "{meter=\"";
        out += escaped[i];
        out += "\",port=\"";
        out += EscapeLabelValue(meter.info.port);
        out += "\",firmware=\"";
        out += EscapeLabelValue(meter.info.firmware);
        out += "\",thermocouple=\"";
        out += meter.last ? EscapeLabelValue(meter.last->thermocouple) : QByteArray();
        out += "\",unit=\"";
        out += meter.last ? EscapeLabelValue(meter.last->displayUnit) : QByteArray();
        out += "\"} 1\n";
    }

    writeHead(out, Polls);
    for (int i : order)
        writeSample(out, Polls.name, escaped[i], nullptr, double(meters.at(i).polls));
    writeHead(out, PollFailures);
    for (int i : order)
        writeSample(out, PollFailures.name, escaped[i], nullptr, double(meters.at(i).pollFailures));
    writeHead(out, Reconnects);
    for (int i : order)
        writeSample(out, Reconnects.name, escaped[i], nullptr, double(meters.at(i).reconnects));

    QSet<QByteArray> names;
    for (const FamilyHead &head : OwnFamilies)
        names.insert(QByteArray(head.name));
    for (const MetricFamily &family : extra) {
        if (!validName(family.name, true) || names.contains(family.name))
            continue;
        names.insert(family.name);
        writeHead(out, family.name.constData(), family.type == MetricFamily::Type::Counter ? "counter" : "gauge",
                  EscapeHelp(family.help));
        for (const MetricFamily::Sample &sample : family.samples) {
            out += family.name;
            bool first = true;
            for (const auto &label : sample.labels) {
                if (!validName(label.first, false) || label.first.startsWith("__"))
                    continue;
                out += first ? '{' : ',';
                first = false;
                out += label.first;
                out += "=\"";
                out += EscapeLabelValue(label.second);
                out += '"';
            }
            if (!first)
                out += '}';
            out += ' ';
            out += FormatSampleValue(sample.value);
            out += '\n';
        }
    }
    return out;
}

PrometheusExposition::PrometheusExposition(const StatusSource &status)
    : m_status(status)
{
}

void PrometheusExposition::addSource(const MetricSource *source)
{
    if (source && !m_sources.contains(source))
        m_sources.append(source);
}

void PrometheusExposition::removeSource(const MetricSource *source)
{
    m_sources.removeAll(source);
}

QList<MetricFamily> PrometheusExposition::extraFamilies() const
{
    QList<MetricFamily> extra;
    for (const MetricSource *source : m_sources)
        extra += source->metricFamilies();
    return extra;
}

void PrometheusExposition::addTextSource(std::function<QByteArray()> text)
{
    if (text)
        m_textSources.push_back(std::move(text));
}

QByteArray PrometheusExposition::render() const
{
    QByteArray out = RenderExposition(m_status.meters(), extraFamilies());
    for (const auto &text : m_textSources) {
        const QByteArray block = text();
        if (block.isEmpty())
            continue;
        out += block;
        if (!out.endsWith('\n'))
            out += '\n';
    }
    return out;
}

QByteArray PrometheusExposition::contentType()
{
    return QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8");
}

} // namespace kv::service
