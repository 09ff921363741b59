#include "service/statuspage.h"

#include "service/prometheus.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace kv::service {

namespace {

// How often the page reloads itself.
constexpr int PageRefreshSeconds = 2;

QJsonObject readingJson(const MeterReading &reading)
{
    QJsonObject values;
    QJsonArray outOfRange;
    for (const ChannelInfo &channel : MeterChannels) {
        const auto &value = reading.values[std::size_t(channel.id)];
        const bool over = reading.outOfRange[std::size_t(channel.id)];
        values.insert(QLatin1String(channel.key), value && !over ? QJsonValue(*value) : QJsonValue(QJsonValue::Null));
        if (over)
            outOfRange.append(QLatin1String(channel.key));
    }
    return QJsonObject{
        {QStringLiteral("time"), reading.time.toString(Qt::ISODateWithMs)},
        {QStringLiteral("timeMs"), double(reading.timeMs)},
        {QStringLiteral("unit"), reading.displayUnit},
        {QStringLiteral("thermocouple"), reading.thermocouple},
        {QStringLiteral("hold"), reading.hold},
        {QStringLiteral("mode"), QLatin1String(DisplayModeKey(reading.mode))},
        {QStringLiteral("values"), values},
        {QStringLiteral("outOfRange"), outOfRange},
    };
}

QString html(const QString &text)
{
    return text.toHtmlEscaped();
}

QString channelCell(const MeterReading &reading, const ChannelInfo &channel)
{
    if (reading.outOfRange[std::size_t(channel.id)])
        return QStringLiteral("OL");
    const auto &value = reading.values[std::size_t(channel.id)];
    if (!value)
        return QStringLiteral("—");
    // Fixed decimal point whatever the machine's locale: the page is one
    // document for everyone who opens it.
    return QString::number(*value, 'f', 1) + (channel.temperature ? QStringLiteral(" °C") : QStringLiteral(" %"));
}

} // namespace

const char *MeterStateKey(MeterState state)
{
    switch (state) {
    case MeterState::Up: return "up";
    case MeterState::Down: return "down";
    case MeterState::Connecting: break;
    }
    return "connecting";
}

QString FormatAge(std::int64_t ageMs)
{
    if (ageMs < 0)
        return QStringLiteral("—");
    if (ageMs < 10000)
        return QString::number(double(ageMs) / 1000.0, 'f', 1) + QStringLiteral(" s");
    const std::int64_t seconds = ageMs / 1000;
    if (seconds < 120)
        return QString::number(seconds) + QStringLiteral(" s");
    const std::int64_t minutes = seconds / 60;
    if (minutes < 120)
        return QString::number(minutes) + QStringLiteral(" min");
    return QString::number(minutes / 60) + QStringLiteral(" h ") + QString::number(minutes % 60) + QStringLiteral(" min");
}

QByteArray RenderMetersJson(const QList<MeterStatus> &meters, bool pollingProgresses)
{
    const QStringList labels = MeterLabels(meters);
    QJsonArray list;
    for (int i : MeterOrder(labels)) {
        const MeterStatus &meter = meters.at(i);
        QJsonObject object{
            {QStringLiteral("meter"), labels.at(i)},
            {QStringLiteral("serial"), meter.info.serial},
            {QStringLiteral("port"), meter.info.port},
            {QStringLiteral("transport"), meter.info.transport},
            {QStringLiteral("firmware"), meter.info.firmware},
            {QStringLiteral("state"), QLatin1String(MeterStateKey(meter.state))},
            {QStringLiteral("lastReadingAgeMs"), meter.lastReadingAgeMs < 0 ? QJsonValue(QJsonValue::Null)
                                                                             : QJsonValue(double(meter.lastReadingAgeMs))},
            {QStringLiteral("polls"), double(meter.polls)},
            {QStringLiteral("pollFailures"), double(meter.pollFailures)},
            {QStringLiteral("reconnects"), double(meter.reconnects)},
            {QStringLiteral("lastReading"), meter.last ? QJsonValue(readingJson(*meter.last)) : QJsonValue(QJsonValue::Null)},
        };
        list.append(object);
    }
    const QJsonObject root{{QStringLiteral("pollingProgresses"), pollingProgresses}, {QStringLiteral("meters"), list}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

QByteArray RenderStatusPage(const QList<MeterStatus> &meters, bool pollingProgresses)
{
    const QStringList labels = MeterLabels(meters);
    int up = 0;
    for (const MeterStatus &meter : meters)
        up += meter.state == MeterState::Up ? 1 : 0;

    QString page;
    page.reserve(4096 + int(meters.size()) * 600);
    page += QStringLiteral(
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
        "<meta http-equiv=\"refresh\" content=\"%1\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>kv3917d: %2 of %3 meters up</title>\n<style>\n"
        "body{font-family:sans-serif;font-size:14px;margin:1.5em;color:#222;background:#fafafa}\n"
        "h1{font-size:1.3em;margin:0 0 .2em}\np{margin:.2em 0 1em;color:#555}\n"
        "table{border-collapse:collapse;background:#fff;box-shadow:0 1px 3px #0002}\n"
        "th,td{padding:.3em .55em;border-bottom:1px solid #e4e4e4;text-align:left;white-space:nowrap}\n"
        "th{background:#f0f0f0;font-weight:600}td.num,td.age{text-align:right;font-variant-numeric:tabular-nums}\n"
        ".state{font-weight:600;border-radius:.8em;padding:.1em .6em}\n"
        ".up{background:#d8f3dc;color:#1b5e20}.down{background:#fde2e1;color:#b71c1c}"
        ".connecting{background:#fff3cd;color:#7a5c00}\n"
        "tr.stale td.num{color:#999}.ol{color:#b71c1c;font-weight:600}\n"
        "footer{margin-top:1em;font-size:.85em;color:#777}a{color:#1565c0}\n"
        "</style></head><body>\n<h1>kv3917d</h1>\n")
                .arg(PageRefreshSeconds)
                .arg(up)
                .arg(meters.size());
    page += QStringLiteral("<p>%1 of %2 meters up; polling %3.</p>\n")
                .arg(up)
                .arg(meters.size())
                .arg(pollingProgresses ? QStringLiteral("makes progress") : QStringLiteral("is stalled"));
    if (meters.isEmpty()) {
        page += QStringLiteral("<p>No meter found yet.</p>\n");
    } else {
        page += QStringLiteral("<table>\n<tr><th>Serial</th><th>Port</th><th>State</th><th>Age</th>");
        for (const ChannelInfo &channel : MeterChannels)
            page += QStringLiteral("<th>") + html(QString::fromUtf8(channel.title)) + QStringLiteral("</th>");
        page += QStringLiteral("<th>Type</th><th>Mode</th></tr>\n");
        for (int i : MeterOrder(labels)) {
            const MeterStatus &meter = meters.at(i);
            const bool current = meter.state == MeterState::Up;
            const QString state = QLatin1String(MeterStateKey(meter.state));
            page += current ? QStringLiteral("<tr>") : QStringLiteral("<tr class=\"stale\">");
            page += QStringLiteral("<td>") + html(labels.at(i)) + QStringLiteral("</td><td>") + html(meter.info.port)
                + QStringLiteral("</td><td><span class=\"state ") + state + QStringLiteral("\">") + state
                + QStringLiteral("</span></td><td class=\"age\">") + html(FormatAge(meter.lastReadingAgeMs))
                + QStringLiteral("</td>");
            for (const ChannelInfo &channel : MeterChannels) {
                const QString cell = meter.last ? channelCell(*meter.last, channel) : QStringLiteral("—");
                page += cell == QLatin1String("OL") ? QStringLiteral("<td class=\"num ol\">")
                                                    : QStringLiteral("<td class=\"num\">");
                page += html(cell) + QStringLiteral("</td>");
            }
            // The thermocouple type, then what the display holds or shows
            // instead of the live value.
            QString mode;
            if (meter.last) {
                if (meter.last->mode != DisplayMode::Normal)
                    mode = QString::fromLatin1(DisplayModeKey(meter.last->mode)).toUpper();
                if (meter.last->hold)
                    mode += mode.isEmpty() ? QStringLiteral("HOLD") : QStringLiteral(" HOLD");
            }
            page += QStringLiteral("<td>") + html(meter.last ? meter.last->thermocouple : QString())
                + QStringLiteral("</td><td>") + html(mode) + QStringLiteral("</td></tr>\n");
        }
        page += QStringLiteral("</table>\n");
    }
    page += QStringLiteral("<footer>Temperatures in °C. Machine-readable: <a href=\"/metrics\">/metrics</a> "
                           "(Prometheus), <a href=\"/api/meters\">/api/meters</a> (JSON), "
                           "<a href=\"/healthz\">/healthz</a>.</footer>\n</body></html>\n");
    return page.toUtf8();
}

} // namespace kv::service
