#pragma once
// --textfile PATH: the exposition written for node_exporter's textfile
// collector, on a timer.  Each write goes to a temporary file in the same
// folder and is renamed over PATH, so the collector never reads half a file
// (its name does not end in .prom while it is written).

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

namespace kv::service {

class PrometheusExposition;

class TextfileWriter : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultPeriodMs = 5000;

    TextfileWriter(const PrometheusExposition &metrics, const QString &path, QObject *parent = nullptr);

    QString path() const { return m_path; }
    void setPeriodMs(int periodMs);

    // Writes now and then every period.
    void start();
    void stop();

    bool writeNow(QString *error = nullptr);
    // The last words of a stopping service: every meter down, no values, so
    // the file left behind never looks like current readings.
    bool writeStopped(QString *error = nullptr);

signals:
    // Once per change from working to failing; written() again once it works.
    void writeFailed(const QString &message);
    void written();

private:
    bool write(const QByteArray &text, QString *error);

    const PrometheusExposition &m_metrics;
    QString m_path;
    QTimer m_timer;
    bool m_failing = false;
};

} // namespace kv::service
