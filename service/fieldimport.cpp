#include "service/fieldimport.h"

#include "logger/download.h"
#include "logger/loggercsv.h"
#include "logger/loggerimage.h"
#include "realtime/datetime.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace kv::service {

namespace {

bool WriteWhole(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

// Nothing the download shows goes anywhere.
struct SilentProgress : DownloadProgress {};

} // namespace

QString SerialFileName(const QString &serial)
{
    QString name = serial;
    for (QChar &c : name)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('.') && c != QLatin1Char('-')
            && c != QLatin1Char('_'))
            c = QLatin1Char('_');
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        name.prepend(QLatin1Char('_'));
    return name;
}

FieldImporter::FieldImporter(FieldImportOptions options) : m_options(std::move(options)) {}

QString FieldImporter::stateFile(const QString &serial) const
{
    return QDir(m_options.stateDir).filePath(QStringLiteral("imported/%1.txt").arg(SerialFileName(serial)));
}

std::vector<ImportedSetKey> FieldImporter::imported(const QString &serial) const
{
    std::vector<ImportedSetKey> keys;
    QFile file(stateFile(serial));
    if (!file.open(QIODevice::ReadOnly))
        return keys;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.trimmed().split(',');
        bool ok = false;
        const int count = fields.size() == 2 ? fields.at(1).toInt(&ok) : 0;
        if (ok)
            keys.push_back({QString::fromLatin1(fields.at(0)), count});
    }
    return keys;
}

FieldImportResult FieldImporter::run(MeterLink &link, const QString &serial, bool meterRecording,
                                     DownloadClock &clock, DownloadProgress *progress) const
{
    FieldImportResult result;
    result.serial = serial;
    if (!m_options.enabled) {
        result.outcome = FieldImportOutcome::Disabled;
        result.message = QStringLiteral("%1: logger import is turned off").arg(serial);
        return result;
    }
    if (meterRecording) {
        result.outcome = FieldImportOutcome::Recording;
        result.message = QStringLiteral("%1: the meter is recording; its logger is imported once it stops").arg(serial);
        return result;
    }

    SilentProgress silent;
    DownloadProgress &shown = progress ? *progress : silent;
    LoggerDownloadOutcome download;
    std::chrono::milliseconds backoff = m_options.firstBackoff;
    for (int attempt = 0; attempt <= m_options.retries; ++attempt) {
        if (attempt > 0) {
            clock.pause(int(backoff.count()));
            backoff *= 2;
        }
        ++result.attempts;
        download = DownloadLoggerMemory(link, shown, clock);
        result.code = download.code;
        if (download.code == DownloadOk || download.code == DownloadNoDataSet || download.code == DownloadCancelled)
            break;
        // The meter is left in no download state before the next try.
        SendDownloadRecovery(link);
    }
    if (download.code == DownloadNoDataSet) {
        result.outcome = FieldImportOutcome::NoDataSet;
        result.message = QStringLiteral("%1: the logger memory holds no data set").arg(serial);
        return result;
    }
    if (download.code != DownloadOk) {
        result.outcome = FieldImportOutcome::Failed;
        result.message = QStringLiteral("%1: logger download failed, error code=%2 (%3 attempts)")
                             .arg(serial)
                             .arg(download.code)
                             .arg(result.attempts);
        return result;
    }

    const LoggerParse parse = ParseLoggerImage(download.image, NowDateTime());
    if (parse.code != LoggerParseOk) {
        result.outcome = parse.code == LoggerParseNoDataSet ? FieldImportOutcome::NoDataSet : FieldImportOutcome::Failed;
        result.code = parse.code;
        result.message = QStringLiteral("%1: the logger memory is not readable (code %2)").arg(serial).arg(parse.code);
        return result;
    }
    result.dataSets = int(parse.dataSets.size());
    const std::vector<ImportedSetKey> known = imported(serial);
    std::vector<int> fresh;
    for (int s = 0; s < result.dataSets; ++s) {
        const LoggerDataSet &set = parse.dataSets[size_t(s)];
        const ImportedSetKey key{LoggerIsoSeconds(set.start), set.count};
        if (std::find(known.begin(), known.end(), key) != known.end()
            || std::find(result.newSets.begin(), result.newSets.end(), key) != result.newSets.end())
            continue;
        result.newSets.push_back(key);
        fresh.push_back(s);
    }
    if (fresh.empty()) {
        result.outcome = FieldImportOutcome::NothingNew;
        result.message = QStringLiteral("%1: all %2 data sets were imported before").arg(serial).arg(result.dataSets);
        return result;
    }

    for (int s : fresh) {
        std::vector<TimedLine> lines = LoggerSetLines(parse, s, serial);
        result.samples += parse.dataSets[size_t(s)].count;
        result.lines.insert(result.lines.end(), std::make_move_iterator(lines.begin()),
                            std::make_move_iterator(lines.end()));
    }

    // The archive: a folder per download, named by its time.
    const QDir meterDir(QDir(m_options.archiveDir).filePath(SerialFileName(serial)));
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString folder = meterDir.filePath(stamp);
    for (int n = 2; QFileInfo::exists(folder); ++n)
        folder = meterDir.filePath(QStringLiteral("%1-%2").arg(stamp).arg(n));
    QString error;
    bool ok = QDir().mkpath(folder);
    if (!ok)
        error = QStringLiteral("cannot create %1").arg(folder);
    const auto write = [&](const QString &name, const QByteArray &bytes) {
        const QString path = QDir(folder).filePath(name);
        if (ok && (ok = WriteWhole(path, bytes, &error)))
            result.files << path;
    };
    write(QString::fromLatin1(FieldImportImageName), download.image);
    for (int s : fresh)
        write(QStringLiteral("set-%1.csv").arg(s + 1, 3, 10, QLatin1Char('0')), LoggerSetCsvFile(parse, s));
    result.folder = folder;
    if (!ok) {
        result.outcome = FieldImportOutcome::ArchiveFailed;
        result.message = QStringLiteral("%1: %2").arg(serial, error);
        return result;
    }
    result.outcome = FieldImportOutcome::Imported;
    result.message = QStringLiteral("%1: imported %2 new data set(s), %3 samples, into %4")
                         .arg(serial)
                         .arg(fresh.size())
                         .arg(result.samples)
                         .arg(folder);
    return result;
}

bool FieldImporter::commit(const FieldImportResult &result, QString *error) const
{
    if (result.outcome != FieldImportOutcome::Imported || result.newSets.empty())
        return true;
    std::vector<ImportedSetKey> keys = imported(result.serial);
    for (const ImportedSetKey &k : result.newSets)
        if (std::find(keys.begin(), keys.end(), k) == keys.end())
            keys.push_back(k);
    QByteArray text;
    for (const ImportedSetKey &k : keys)
        text += k.start.toLatin1() + ',' + QByteArray::number(k.count) + '\n';
    const QString path = stateFile(result.serial);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QString reason;
    if (!WriteWhole(path, text, &reason)) {
        if (error)
            *error = reason;
        return false;
    }
    return true;
}

} // namespace kv::service
