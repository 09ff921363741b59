#include "service/textfile.h"

#include "service/prometheus.h"

#include <QSaveFile>

namespace kv::service {

TextfileWriter::TextfileWriter(const PrometheusExposition &metrics, const QString &path, QObject *parent)
    : QObject(parent)
    , m_metrics(metrics)
    , m_path(path)
{
    m_timer.setInterval(DefaultPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { writeNow(); });
}

void TextfileWriter::setPeriodMs(int periodMs)
{
    m_timer.setInterval(std::max(100, periodMs));
}

void TextfileWriter::start()
{
    writeNow();
    m_timer.start();
}

void TextfileWriter::stop()
{
    m_timer.stop();
}

bool TextfileWriter::writeNow(QString *error)
{
    return write(m_metrics.render(), error);
}

bool TextfileWriter::writeStopped(QString *error)
{
    m_timer.stop();
    QList<MeterStatus> meters = m_metrics.status().meters();
    for (MeterStatus &meter : meters)
        meter.state = MeterState::Down;
    return write(RenderExposition(meters, m_metrics.extraFamilies()), error);
}

bool TextfileWriter::write(const QByteArray &text, QString *error)
{
    QSaveFile file(m_path);
    QString message;
    if (!file.open(QIODevice::WriteOnly))
        message = file.errorString();
    else if (file.write(text) != text.size())
        message = file.errorString();
    if (message.isEmpty() && !file.commit())
        message = file.errorString();
    if (!message.isEmpty()) {
        file.cancelWriting();
        message = QStringLiteral("cannot write %1: %2").arg(m_path, message);
        if (error)
            *error = message;
        if (!m_failing)
            emit writeFailed(message);
        m_failing = true;
        return false;
    }
    m_failing = false;
    emit written();
    return true;
}

} // namespace kv::service
