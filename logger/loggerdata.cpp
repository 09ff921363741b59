#include "logger/loggerdata.h"

#include "realtime/datetime.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace kv {

CollectionRead ReadCollectionFile(const QString &fileName, QByteArray *image, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return CollectionRead::CannotRead;
    }
    // Reading one byte more than the memory holds tells a larger file apart
    // without reading all of it.
    const QByteArray bytes = file.read(LoggerMaxImageSize + 1);
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return CollectionRead::CannotRead;
    }
    if (bytes.isEmpty())
        return CollectionRead::Empty;
    if (bytes.size() > LoggerMaxImageSize)
        return CollectionRead::TooLarge;
    if (image)
        *image = bytes;
    return CollectionRead::Ok;
}

LoggerData::LoggerData(QObject *parent) : QObject(parent) {}

QString LoggerData::workingCopyFolder() const
{
    const QString base = m_dataFolder.isEmpty() ? QCoreApplication::applicationDirPath() : m_dataFolder;
    return QDir::cleanPath(QDir(base).filePath(WorkingCopyFolderName));
}

QString LoggerData::workingCopyPath() const { return QDir(workingCopyFolder()).filePath(WorkingCopyFileName); }

QString LoggerData::unsavedMarkerPath() const { return QDir(workingCopyFolder()).filePath(UnsavedMarkerFileName); }

int LoggerData::setImage(const QByteArray &image, double now)
{
    LoggerParse parse = ParseLoggerImage(image, now);
    if (parse.code != LoggerParseOk)
        return parse.code;
    m_image = image;
    m_truncated = parse.truncated();
    m_dataSets = std::move(parse.dataSets);
    m_series = std::move(parse.series);
    emit dataSetsReplaced();
    return LoggerParseOk;
}

int LoggerData::setImage(const QByteArray &image) { return setImage(image, NowDateTime()); }

LoggerLoad LoggerData::acceptDownload(const QByteArray &image)
{
    LoggerLoad load;
    load.code = setImage(image);
    if (load.code != LoggerParseOk)
        return load;
    load.workingCopy = writeWorkingCopy();
    setUnsaved(true);
    return load;
}

LoggerLoad LoggerData::openCollection(const QString &fileName)
{
    LoggerLoad load;
    QByteArray image;
    load.read = ReadCollectionFile(fileName, &image, &load.readError);
    if (load.read != CollectionRead::Ok)
        return load;
    load.code = setImage(image);
    if (load.code == LoggerParseOk)
        load.workingCopy = writeWorkingCopy();
    return load;
}

SaveCollectionResult LoggerData::saveCollection(const QString &fileName)
{
    SaveCollectionResult result;
    if (m_image.isEmpty())
        return result;
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(m_image) != m_image.size() || !file.commit()) {
        result.outcome = SaveCollectionResult::Failed;
        result.error = QStringLiteral("Could not save %1: %2").arg(QDir::toNativeSeparators(fileName),
                                                                   file.errorString());
        file.cancelWriting();
        return result;
    }
    result.outcome = SaveCollectionResult::Saved;
    setUnsaved(false);
    return result;
}

WorkingCopyResult LoggerData::writeWorkingCopy()
{
    WorkingCopyResult result;
    const QString folder = workingCopyFolder();
    if (!QDir().mkpath(folder)) {
        result.folderError = QDir::toNativeSeparators(folder);
        return result;
    }
    QSaveFile file(workingCopyPath());
    if (file.open(QIODevice::WriteOnly) && file.write(m_image) == m_image.size() && file.commit()) {
        result.written = true;
        return result;
    }
    file.cancelWriting();
    // An older copy would no longer match what is on show.
    QFile::remove(workingCopyPath());
    return result;
}

void LoggerData::drop()
{
    m_image.clear();
    m_dataSets.clear();
    m_series = LoggerSeries{};
    m_truncated = false;
    setUnsaved(false);
}

void LoggerData::setUnsaved(bool unsaved)
{
    if (m_unsaved == unsaved)
        return;
    m_unsaved = unsaved;
    if (unsaved) {
        // Empty: its modification time says when the data became unsaved.
        QDir().mkpath(workingCopyFolder());
        QFile marker(unsavedMarkerPath());
        if (marker.open(QIODevice::WriteOnly | QIODevice::Truncate))
            marker.close();
    } else {
        QFile::remove(unsavedMarkerPath());
    }
    emit unsavedChanged(unsaved);
}

LeftDownload LoggerData::leftDownload()
{
    LeftDownload left;
    const QFileInfo marker(unsavedMarkerPath());
    if (!marker.exists())
        return left;
    QByteArray image;
    if (ReadCollectionFile(workingCopyPath(), &image) == CollectionRead::Ok) {
        const LoggerParse parse = ParseLoggerImage(image, NowDateTime());
        if (parse.code == LoggerParseOk && !parse.dataSets.empty()) {
            left.found = true;
            left.madeAt = marker.lastModified();
            left.image = image;
            left.dataSetCount = int(parse.dataSets.size());
            return left;
        }
    }
    discardLeftDownload();
    return left;
}

bool LoggerData::restoreLeftDownload(const LeftDownload &left)
{
    if (!left.found || setImage(left.image) != LoggerParseOk)
        return false;
    // Set directly: rewriting the marker would lose the download's time.
    if (!m_unsaved) {
        m_unsaved = true;
        emit unsavedChanged(true);
    }
    return true;
}

void LoggerData::discardLeftDownload() { QFile::remove(unsavedMarkerPath()); }

QString RestoreDownloadQuestion(const LeftDownload &left)
{
    const QString sets = left.dataSetCount == 1 ? QStringLiteral("1 data set")
                                                : QStringLiteral("%1 data sets").arg(left.dataSetCount);
    return QStringLiteral("A logger download of %1 was not saved before the program ended (downloaded on %2).\n\n"
                          "Do you want to open it in the \"DataLogger\" window? (No: it is not offered again.)")
        .arg(sets, DateTimeText(ToDateTime(left.madeAt)));
}

} // namespace kv
