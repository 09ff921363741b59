#pragma once
// Runs the field logger import for every meter the service attaches: once
// per attachment, on the meter's own session thread with its polling paused,
// and again when a meter that was recording stops.  The points go to the
// line-protocol output before the import is recorded as done.

#include "service/channels.h"
#include "service/fieldimport.h"

#include <QHash>
#include <QObject>

namespace kv::service {

class LineSink;
class Service;

class ImportScheduler : public QObject {
    Q_OBJECT
public:
    // `lines` receives the imported points; both must outlive the scheduler.
    ImportScheduler(Service &service, LineSink &lines, FieldImportOptions options, QObject *parent = nullptr);

    int running() const { return m_running; }

signals:
    void importFinished(const kv::service::FieldImportResult &result);

private:
    struct MeterImport {
        bool started = false;        // an import ran (or waits for the recording to end) since the meter came up
        bool waitingForStop = false; // the meter records: import when it stops
    };

    void onReading(const MeterInfo &meter, const MeterReading &reading);
    void start(const MeterInfo &meter);
    void finished(FieldImportResult result);

    Service &m_service;
    LineSink &m_lines;
    FieldImporter m_importer;
    QHash<QString, MeterImport> m_meters;
    int m_running = 0;
};

} // namespace kv::service
