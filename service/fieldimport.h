#pragma once
// The field logger import: a meter that comes back from the field is
// plugged in, and the data sets its logger memory holds that were not
// imported yet go to the line-protocol targets, each sample at its own time,
// and to an archive folder:
//
//   ARCHIVE/<serial>/<yyyyMMdd-HHmmss>/logger.REC      the memory image as read
//   ARCHIVE/<serial>/<yyyyMMdd-HHmmss>/set-NNN.csv     each new data set, the
//       file `kv3917-cli export logger.REC --set N` writes (N as
//       `kv3917-cli sets` numbers them)
//
// and STATE/imported/<serial>.txt lists the data sets imported ("start,count"
// per line, the start as ISO 8601 local time to the second): a data set is
// known by the meter's serial number, its start and its number of samples.
//
// UI-free and free of the service's threads: run() is called with the link
// held exclusively (polling paused) on the session's thread; it downloads
// with the program's own download code (USB or serial, the same result
// codes), retries a failed download at most FieldImportRetries times with
// growing pauses, never erases the meter and leaves a recording meter alone.
// The caller hands the points to the line-protocol output and, once they are
// safe there, calls commit() so that they are never imported twice.

#include "service/lineprotocol.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <vector>

namespace kv {
class MeterLink;
class DownloadClock;
class DownloadProgress;
}

namespace kv::service {

constexpr int FieldImportRetries = 3;
constexpr std::chrono::milliseconds FieldImportFirstBackoff{2000};   // doubled before each further retry
constexpr const char *FieldImportImageName = "logger.REC";

struct FieldImportOptions {
    QString stateDir;
    QString archiveDir;
    bool enabled = true;
    int retries = FieldImportRetries;
    std::chrono::milliseconds firstBackoff = FieldImportFirstBackoff;
};

struct ImportedSetKey {
    QString start;   // ISO 8601 local time to the second
    int count = 0;
    bool operator==(const ImportedSetKey &o) const { return start == o.start && count == o.count; }
};

enum class FieldImportOutcome {
    Imported,     // new data sets downloaded and archived; points in `lines`
    NothingNew,   // every data set was imported before
    NoDataSet,    // the memory holds none
    Recording,    // the meter records: left alone, no download
    Disabled,     // the import is turned off
    Failed,       // the download failed every time (`code`), or the image is not one
    ArchiveFailed // downloaded, but the archive could not be written (`message`)
};

struct FieldImportResult {
    FieldImportOutcome outcome = FieldImportOutcome::Disabled;
    QString serial;
    int code = 0;                 // the last download's result code
    int attempts = 0;             // downloads tried
    int dataSets = 0;             // in the memory
    std::vector<ImportedSetKey> newSets;
    int samples = 0;              // of the new data sets
    std::vector<TimedLine> lines; // their points
    QString folder;               // the archive folder written
    QStringList files;            // its files
    QString message;              // for the log: what happened
};

class FieldImporter {
public:
    explicit FieldImporter(FieldImportOptions options);

    // `meterRecording`: LiveReading::MeterLogging of the meter's last reading.
    FieldImportResult run(MeterLink &link, const QString &serial, bool meterRecording, DownloadClock &clock,
                          DownloadProgress *progress = nullptr) const;
    // Records the result's data sets as imported (only an Imported result).
    bool commit(const FieldImportResult &result, QString *error = nullptr) const;

    std::vector<ImportedSetKey> imported(const QString &serial) const;
    QString stateFile(const QString &serial) const;
    const FieldImportOptions &options() const { return m_options; }

private:
    FieldImportOptions m_options;
};

// The serial number as a file name: anything but letters, digits, '.', '-'
// and '_' becomes '_'.
QString SerialFileName(const QString &serial);

} // namespace kv::service
