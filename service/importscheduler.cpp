#include "service/importscheduler.h"

#include "link/meterlink.h"
#include "link/serialport.h"
#include "logger/downloadcommand.h"
#include "service/linesink.h"
#include "service/log.h"
#include "service/service.h"
#include "service/session.h"

#include <QMetaObject>
#include <QPointer>

namespace kv::service {

namespace {

// The download's clock on a session thread: pauses sleep instead of handling
// events, so nothing queued for the session (a tick, a stop) runs inside the
// download.
class SessionDownloadClock : public DownloadClock {
public:
    void pause(int ms) override { sleep(ms); }
    void letEventsRun() override {}
};

} // namespace

ImportScheduler::ImportScheduler(Service &service, LineSink &lines, FieldImportOptions options, QObject *parent)
    : QObject(parent), m_service(service), m_lines(lines), m_importer(std::move(options))
{
    connect(&service, &Service::meterUp, this, [this](const MeterInfo &meter) {
        // The import waits for the first reading: it tells whether the meter records.
        m_meters.insert(meter.serial, MeterImport{});
    });
    connect(&service, &Service::meterDown, this, [this](const MeterInfo &meter) { m_meters.remove(meter.serial); });
    connect(&service, &Service::readingTaken, this, &ImportScheduler::onReading);
}

void ImportScheduler::onReading(const MeterInfo &meter, const MeterReading &reading)
{
    if (!m_importer.options().enabled || meter.serial.isEmpty())
        return;
    auto it = m_meters.find(meter.serial);
    if (it == m_meters.end())
        it = m_meters.insert(meter.serial, MeterImport{});
    MeterImport &state = *it;
    if (!state.started) {
        state.started = true;
        if (reading.meterLogging) {
            state.waitingForStop = true;
            Log(LogPriority::Info, QStringLiteral("%1: records; its logger memory is imported when it stops").arg(meter.serial));
            return;
        }
        start(meter);
    } else if (state.waitingForStop && !reading.meterLogging) {
        state.waitingForStop = false;
        start(meter);
    }
}

void ImportScheduler::start(const MeterInfo &meter)
{
    Session *session = m_service.sessionForSerial(meter.serial);
    if (!session)
        return;
    ++m_running;
    QPointer<ImportScheduler> self(this);
    const FieldImporter importer = m_importer;
    session->runExclusive([self, importer](MeterLink &link, const MeterInfo &info) {
        SessionDownloadClock clock;
        FieldImportResult result = importer.run(link, info.serial, false, clock);
        if (result.attempts > 0) {
            // Hand the link back as after any download: a serial meter's
            // input is cleared after a pause, a USB meter is identified again.
            if (link.isSerial()) {
                clock.sleep(SerialHandBackPauseMs);
                if (SerialPort *port = link.serial())
                    port->clearInput();
            } else {
                link.Kind = LinkKind::None;
            }
        }
        QMetaObject::invokeMethod(
            self.data(), [self, result = std::move(result)]() mutable {
                if (self)
                    self->finished(std::move(result));
            },
            Qt::QueuedConnection);
    });
}

void ImportScheduler::finished(FieldImportResult result)
{
    --m_running;
    LogPriority priority = LogPriority::Info;
    switch (result.outcome) {
    case FieldImportOutcome::Imported: {
        QString error;
        if (!m_lines.addImported(result.lines, &error)) {
            priority = LogPriority::Error;
            result.message += QStringLiteral("; not stored: %1").arg(error);
        } else if (!m_importer.commit(result, &error)) {
            priority = LogPriority::Warning;
            result.message += QStringLiteral("; not recorded as imported: %1").arg(error);
        }
        break;
    }
    case FieldImportOutcome::Failed:
    case FieldImportOutcome::ArchiveFailed:
        priority = LogPriority::Error;
        break;
    default:
        break;
    }
    if (!result.message.isEmpty())
        Log(priority, result.message);
    emit importFinished(result);
}

} // namespace kv::service
