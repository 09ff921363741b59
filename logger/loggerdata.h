#pragma once
// The logger data on show: the memory image of the last successful download
// or opened collection, its data sets and samples, the working copy beside
// it and whether it still has to be saved.  The "DataLogger" graph window
// observes it; the download and the collection commands feed it.
//
// The image is kept with its data sets, so a collection is always saved from
// the bytes whose data sets are on show.  The working copy (temp/
// DataSetsTemp.tmp under the data folder) mirrors that image on disk for
// other programs and for recovery; it is written atomically, and a copy that
// cannot be written is removed rather than left showing an older download.
// While the data on show count as unsaved a marker file lies beside the
// working copy, so a download lost to a crash can be offered at the next
// start.

#include "logger/loggerimage.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <vector>

namespace kv {

const QString WorkingCopyFolderName = QStringLiteral("temp");
const QString WorkingCopyFileName = QStringLiteral("DataSetsTemp.tmp");
const QString UnsavedMarkerFileName = QStringLiteral("DataSetsTemp.unsaved");

// Reading a collection file (.REC: the image, nothing added).
enum class CollectionRead {
    Ok,
    CannotRead,   // missing, unreadable
    Empty,
    TooLarge,     // larger than the meter's memory: not a logger image
};
CollectionRead ReadCollectionFile(const QString &fileName, QByteArray *image, QString *error = nullptr);

struct WorkingCopyResult {
    bool written = false;
    // Set when the temp folder can be neither found nor created: the
    // folder's path, to be shown as an error.
    QString folderError;
};

// How a download or an opened file was taken.
struct LoggerLoad {
    CollectionRead read = CollectionRead::Ok;  // files only
    QString readError;                         // the system's reason, CannotRead
    int code = LoggerParseOk;                  // parse result when read is Ok
    WorkingCopyResult workingCopy;             // when shown
    bool shown() const { return read == CollectionRead::Ok && code == LoggerParseOk; }
};

struct SaveCollectionResult {
    enum Outcome { Saved, NothingToSave, Failed } outcome = NothingToSave;
    QString error;   // Failed: the file name and the system's reason
};

// Unsaved data left behind by an earlier run: the working copy, parsed.
struct LeftDownload {
    bool found = false;
    QDateTime madeAt;   // when the data became unsaved (the marker's time)
    QByteArray image;
    int dataSetCount = 0;
};

// The question offering a LeftDownload for restore.
QString RestoreDownloadQuestion(const LeftDownload &left);

class LoggerData : public QObject {
    Q_OBJECT
public:
    explicit LoggerData(QObject *parent = nullptr);

    // The folder that holds "temp"; empty: the program's folder.
    void setDataFolder(const QString &folder) { m_dataFolder = folder; }
    QString workingCopyFolder() const;
    QString workingCopyPath() const;
    QString unsavedMarkerPath() const;

    // Parses `image`; on success it replaces the data on show (nothing else:
    // no working copy, no unsaved flag) and emits dataSetsReplaced().  Any
    // other result leaves everything as it was.  Returns a LoggerParseCode.
    int setImage(const QByteArray &image, double now);
    int setImage(const QByteArray &image);

    // The download's hand-over: a freshly downloaded image is parsed and
    // shown, its working copy written, and it counts as unsaved.
    LoggerLoad acceptDownload(const QByteArray &image);

    // Opens a collection file: read, parse, show, working copy.  Does not
    // mark the data unsaved.  A file that cannot be read, is empty or is not
    // a logger image leaves everything as it was.
    LoggerLoad openCollection(const QString &fileName);

    // Writes the image on show to `fileName` atomically; clears the unsaved
    // flag only when the file was written.
    SaveCollectionResult saveCollection(const QString &fileName);

    // Writes the working copy from the image on show.
    WorkingCopyResult writeWorkingCopy();

    // The user let the data on show go (closed its window answering No):
    // nothing is on show or unsaved any more; the working copy stays.
    void drop();

    bool hasData() const { return !m_dataSets.empty(); }
    const QByteArray &image() const { return m_image; }
    const std::vector<LoggerDataSet> &dataSets() const { return m_dataSets; }
    const LoggerSeries &series() const { return m_series; }
    // True when the image on show ends inside a data set its count names.
    bool truncated() const { return m_truncated; }

    bool unsaved() const { return m_unsaved; }
    // Also writes the marker (true) or removes it (false).
    void setUnsaved(bool unsaved);

    // The marker and a working copy with data sets left by an earlier run.
    // A marker without such a copy offers nothing and is removed.
    LeftDownload leftDownload();
    // Shows a left download as unsaved data; the marker keeps its time.
    bool restoreLeftDownload(const LeftDownload &left);
    // Declined: the marker goes, the working copy stays.
    void discardLeftDownload();

signals:
    // A successful parse replaced the data sets (the list is to be refilled,
    // row 1 selected and data set 0 shown).
    void dataSetsReplaced();
    void unsavedChanged(bool unsaved);

private:
    QString m_dataFolder;
    QByteArray m_image;
    std::vector<LoggerDataSet> m_dataSets;
    LoggerSeries m_series;
    bool m_truncated = false;
    bool m_unsaved = false;
};

} // namespace kv
