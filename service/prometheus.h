#pragma once
// The Prometheus exposition of the service (text format 0.0.4): one family per
// quantity, the meter as a label, values in base units, and the counter
// families other outputs (MQTT, spool, ...) register.  The same text goes to
// GET /metrics and to node_exporter's textfile collector.

#include "service/channels.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>
#include <vector>

namespace kv::service {

// One family another output contributes, e.g. kv3917_mqtt_published_total.
struct MetricFamily {
    enum class Type { Counter, Gauge };
    QByteArray name; // [a-zA-Z_:][a-zA-Z0-9_:]*; counters end in _total
    QByteArray help;
    Type type = Type::Counter;
    struct Sample {
        QList<QPair<QByteArray, QString>> labels; // label name, value
        double value = 0;
    };
    QList<Sample> samples;
};

// Registered with PrometheusExposition::addSource(); asked on every render.
class MetricSource {
public:
    virtual ~MetricSource() = default;
    virtual QList<MetricFamily> metricFamilies() const = 0;
};

// The value of the `meter` label of each meter, index for index: its serial
// number, or its port while the serial is not known; a serial two meters
// share gets "@port" on all but the first (by port), so no two meters ever
// make the same series.
QStringList MeterLabels(const QList<MeterStatus> &meters);

// The meters' indices sorted by label (the order of every output).
std::vector<int> MeterOrder(const QStringList &labels);

// Label value and HELP text escaping of the text format.
QByteArray EscapeLabelValue(const QString &value);
QByteArray EscapeHelp(const QByteArray &help);
// A sample value: shortest text that reads back as the same double;
// NaN, +Inf, -Inf.  Never locale-dependent.
QByteArray FormatSampleValue(double value);

// The whole exposition for these meters and extra families.  Families whose
// name is invalid or already taken are left out.
QByteArray RenderExposition(const QList<MeterStatus> &meters, const QList<MetricFamily> &extra = {});

class PrometheusExposition {
public:
    explicit PrometheusExposition(const StatusSource &status);

    // The source stays owned by the caller and must outlive its registration.
    void addSource(const MetricSource *source);
    void removeSource(const MetricSource *source);
    // Families an output renders itself (whole HELP/TYPE/sample blocks in
    // the exposition format), appended after the others on every render.
    void addTextSource(std::function<QByteArray()> text);

    QByteArray render() const;

    const StatusSource &status() const { return m_status; }
    QList<MetricFamily> extraFamilies() const; // of every registered source

    static QByteArray contentType(); // text/plain; version=0.0.4; charset=utf-8

private:
    const StatusSource &m_status;
    QList<const MetricSource *> m_sources;
    std::vector<std::function<QByteArray()>> m_textSources;
};

} // namespace kv::service
