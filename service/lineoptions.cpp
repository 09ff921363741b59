#include "service/lineoptions.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>
#include <QSettings>

#include <cmath>

namespace kv::service {

const std::array<LineOptionRow, 11> LineOptionTable = {{
    {"influx", "URL", "write line protocol to an InfluxDB 1.x server (also VictoriaMetrics, QuestDB) at URL"},
    {"db", "NAME", "the database of --influx"},
    {"influx2", "URL", "write line protocol to an InfluxDB 2.x server at URL"},
    {"org", "NAME", "the organisation of --influx2"},
    {"bucket", "NAME", "the bucket of --influx2"},
    {"token-file", "PATH", "the file holding the API token of --influx2"},
    {"lines-file", "PATH", "append line protocol to PATH (- for standard output)"},
    {"spool-max-bytes", "N", "bound of the spool of unwritten points in bytes (default 1073741824)"},
    {"spool-max-days", "N", "bound of the spool in days of every attached meter at the poll rate (default 7)"},
    {"no-import", nullptr, "do not import the logger memory of attached meters"},
    {"archive-dir", "PATH", "folder of the imported logger memories (default: STATE/archive)"},
}};

namespace {

const LineOptionRow *Find(const QString &name)
{
    for (const LineOptionRow &row : LineOptionTable)
        if (name == QLatin1String(row.name))
            return &row;
    return nullptr;
}

bool Fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

bool CheckUrl(const QString &text, const char *option, QUrl *url, QString *error)
{
    *url = QUrl(text, QUrl::StrictMode);
    const QString scheme = url->scheme();
    if (!url->isValid() || url->host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return Fail(error, QStringLiteral("--%1 needs an http:// or https:// URL").arg(QLatin1String(option)));
    return true;
}

} // namespace

QString LineTargetOptions::name() const
{
    if (kind == LineTargetKind::File)
        return path == QLatin1String("-") ? QStringLiteral("stdout") : path;
    return url.toString(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
}

bool IsLineOption(const QString &name) { return Find(name) != nullptr; }

bool SetLineOption(LineOptions &options, const QString &name, const QString &value, QString *error)
{
    const LineOptionRow *row = Find(name);
    if (!row)
        return Fail(error, QStringLiteral("unknown option '%1'").arg(name));
    if (!row->valueName) {
        const QString v = value.trimmed().toLower();
        bool on = true;
        if (v.isEmpty() || v == QLatin1String("true") || v == QLatin1String("1") || v == QLatin1String("yes")
            || v == QLatin1String("on"))
            on = true;
        else if (v == QLatin1String("false") || v == QLatin1String("0") || v == QLatin1String("no")
                 || v == QLatin1String("off"))
            on = false;
        else
            return Fail(error, QStringLiteral("%1 takes true or false").arg(name));
        options.fieldImport = !on;   // the only switch: no-import
        return true;
    }
    if (value.isEmpty())
        return Fail(error, QStringLiteral("--%1 needs a value").arg(name));
    if (name == QLatin1String("spool-max-bytes")) {
        bool ok = false;
        const qint64 n = value.toLongLong(&ok);
        if (!ok || n < 1)
            return Fail(error, QStringLiteral("--spool-max-bytes needs a number of bytes of at least 1"));
        options.spoolMaxBytes = n;
    } else if (name == QLatin1String("spool-max-days")) {
        bool ok = false;
        const double d = value.toDouble(&ok);
        if (!ok || !std::isfinite(d) || d <= 0)
            return Fail(error, QStringLiteral("--spool-max-days needs a number of days above 0"));
        options.spoolMaxDays = d;
    } else if (name == QLatin1String("influx")) {
        options.influx = value;
    } else if (name == QLatin1String("db")) {
        options.db = value;
    } else if (name == QLatin1String("influx2")) {
        options.influx2 = value;
    } else if (name == QLatin1String("org")) {
        options.org = value;
    } else if (name == QLatin1String("bucket")) {
        options.bucket = value;
    } else if (name == QLatin1String("token-file")) {
        options.tokenFile = value;
    } else if (name == QLatin1String("lines-file")) {
        options.linesFile = value;
    } else if (name == QLatin1String("archive-dir")) {
        options.archiveDir = value;
    }
    return true;
}

bool LineOptions::targets(QList<LineTargetOptions> *out, QString *error) const
{
    out->clear();
    if (!influx.isEmpty()) {
        LineTargetOptions t;
        t.kind = LineTargetKind::Influx1;
        if (!CheckUrl(influx, "influx", &t.url, error))
            return false;
        if (db.isEmpty())
            return Fail(error, QStringLiteral("--influx needs --db"));
        t.database = db;
        out->append(t);
    } else if (!db.isEmpty()) {
        return Fail(error, QStringLiteral("--db belongs to --influx"));
    }
    if (!influx2.isEmpty()) {
        LineTargetOptions t;
        t.kind = LineTargetKind::Influx2;
        if (!CheckUrl(influx2, "influx2", &t.url, error))
            return false;
        if (org.isEmpty() || bucket.isEmpty() || tokenFile.isEmpty())
            return Fail(error, QStringLiteral("--influx2 needs --org, --bucket and --token-file"));
        QFile file(tokenFile);
        if (!file.open(QIODevice::ReadOnly))
            return Fail(error, QStringLiteral("cannot read the token file %1: %2").arg(tokenFile, file.errorString()));
        t.token = QString::fromUtf8(file.readAll()).trimmed();
        if (t.token.isEmpty() || t.token.contains(QLatin1Char('\n')))
            return Fail(error, QStringLiteral("the token file %1 holds no token on one line").arg(tokenFile));
        t.org = org;
        t.bucket = bucket;
        out->append(t);
    } else if (!org.isEmpty() || !bucket.isEmpty() || !tokenFile.isEmpty()) {
        return Fail(error, QStringLiteral("--org, --bucket and --token-file belong to --influx2"));
    }
    if (!linesFile.isEmpty()) {
        LineTargetOptions t;
        t.kind = LineTargetKind::File;
        t.path = linesFile;
        out->append(t);
    }
    return true;
}

QList<QCommandLineOption> LineCommandLineOptions()
{
    QList<QCommandLineOption> list;
    for (const LineOptionRow &row : LineOptionTable) {
        if (row.valueName)
            list << QCommandLineOption(QString::fromLatin1(row.name), QString::fromUtf8(row.help),
                                       QString::fromLatin1(row.valueName));
        else
            list << QCommandLineOption(QString::fromLatin1(row.name), QString::fromUtf8(row.help));
    }
    return list;
}

bool ReadLineOptions(const QCommandLineParser &parser, LineOptions &options, QString *error)
{
    for (const LineOptionRow &row : LineOptionTable) {
        const QString name = QString::fromLatin1(row.name);
        if (!parser.isSet(name))
            continue;
        if (!SetLineOption(options, name, row.valueName ? parser.value(name) : QString(), error))
            return false;
    }
    return true;
}

bool ReadLineConfig(const QSettings &settings, LineOptions &options, QString *error)
{
    for (const LineOptionRow &row : LineOptionTable) {
        const QString name = QString::fromLatin1(row.name);
        if (!settings.contains(name))
            continue;
        if (!SetLineOption(options, name, settings.value(name).toString(), error))
            return false;
    }
    return true;
}

} // namespace kv::service
