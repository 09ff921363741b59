#pragma once
// The options of the line-protocol outputs and the field logger import, the
// same keys on the command line (--influx URL) and in the configuration file
// (influx = URL).  kv3917d hands each key and value to SetLineOption.

#include <QList>
#include <QString>
#include <QUrl>

#include <array>
#include <cstdint>

class QCommandLineOption;
class QCommandLineParser;
class QSettings;

namespace kv::service {

constexpr int LineBatchPoints = 5000;   // at most this many points per write
constexpr int LineBatchMs = 1000;       // and a batch waits at most this long
constexpr qint64 DefaultSpoolMaxBytes = qint64(1) << 30;
constexpr double DefaultSpoolMaxDays = 7;

enum class LineTargetKind { Influx1, Influx2, File };

struct LineTargetOptions {
    LineTargetKind kind = LineTargetKind::Influx1;
    QUrl url;            // Influx1 / Influx2: the server's base URL
    QString database;    // Influx1: db
    QString org;         // Influx2
    QString bucket;      // Influx2
    QString token;       // Influx2: read from the token file, never logged
    QString path;        // File: the file, "-" for standard output
    // For logs and metrics: the URL without user name or password.
    QString name() const;
};

struct LineOptions {
    QString influx;      // --influx URL (InfluxDB 1.x, VictoriaMetrics, QuestDB)
    QString db;          // --db NAME
    QString influx2;     // --influx2 URL
    QString org;         // --org NAME
    QString bucket;      // --bucket NAME
    QString tokenFile;   // --token-file PATH
    QString linesFile;   // --lines-file PATH ("-": standard output)
    qint64 spoolMaxBytes = DefaultSpoolMaxBytes; // --spool-max-bytes N
    double spoolMaxDays = DefaultSpoolMaxDays;   // --spool-max-days N
    bool fieldImport = true;                     // --no-import turns it off
    QString archiveDir;  // --archive-dir PATH (default: STATE/archive)

    bool anyTarget() const { return !influx.isEmpty() || !influx2.isEmpty() || !linesFile.isEmpty(); }
    // Checks the combination and reads the token file; the targets to write.
    bool targets(QList<LineTargetOptions> *out, QString *error) const;
};

struct LineOptionRow {
    const char *name;       // option and configuration key
    const char *valueName;  // nullptr for a switch
    const char *help;
};
extern const std::array<LineOptionRow, 11> LineOptionTable;

// Sets one option; `value` is ignored for a switch unless it is a boolean
// text (a configuration file's "no-import = false").  False with a message
// for an unknown key or a bad value.
bool SetLineOption(LineOptions &options, const QString &name, const QString &value, QString *error);
bool IsLineOption(const QString &name);

// For a QCommandLineParser: the options, and reading them back.
QList<QCommandLineOption> LineCommandLineOptions();
bool ReadLineOptions(const QCommandLineParser &parser, LineOptions &options, QString *error);
// Every line option key present in the configuration file's current group.
bool ReadLineConfig(const QSettings &settings, LineOptions &options, QString *error);

} // namespace kv::service
