// kv3917-cli sets / export: a collection file's data sets and samples as CSV
// on standard output, parsed by the same code as the program's window.

#include "tools/cli_logger.h"

#include "logger/loggerdata.h"
#include "logger/loggerimage.h"
#include "realtime/datetime.h"
#include "logger/loggercsv.h"
#include "service/lineprotocol.h"
#include "tools/clicommon.h"

#include <QFileInfo>

#include <cmath>
#include <cstdio>
#include <optional>

namespace {

using cli::ExitOk;
using cli::Program;

constexpr int ExitDataError = 65;
constexpr int ExitNoInput = 66;

const char *const SetsHelp =
    "Usage: kv3917-cli sets FILE.REC\n"
    "\n"
    "Lists the data sets of a data set collection file (the meter's logger\n"
    "memory) as CSV on standard output.\n"
    "\n"
    "Columns: set,start,interval,count,unit,couple,rh_offset,t1_offset,t2_offset\n"
    "  set        number of the data set, from 1\n"
    "  start      local time, ISO 8601, to the second\n"
    "  interval   sampling interval in seconds\n"
    "  count      number of samples\n"
    "  unit       C, F or K (empty for another code)\n"
    "  couple     thermocouple type letter\n"
    "  offsets    as in the program's data set list, one decimal with a point\n"
    "\n"
    "A file that ends inside a data set: the complete data sets before it are\n"
    "listed and a warning goes to standard error.\n"
    "\n"
    "Exit status: 0 done, 64 usage error, 65 not a logger image (empty, no data\n"
    "set, more than 4000, or no complete data set), 66 the file cannot be read.\n";

const char *const ExportHelp =
    "Usage: kv3917-cli export FILE.REC [--set N] [--format csv|lines] [--meter SERIAL]\n"
    "\n"
    "Writes the samples of a data set collection file as CSV on standard\n"
    "output, one line per sample in memory order; with --set only those of data\n"
    "set N (numbered as kv3917-cli sets numbers them).\n"
    "\n"
    "--format lines writes them as line protocol instead, the points kv3917d\n"
    "writes to a time-series database (measurement kv3917, tags meter,\n"
    "thermocouple and unit, fields in degrees C and %RH, times in ms: write\n"
    "with precision=ms); --meter gives the meter tag (default: the file's\n"
    "name without its ending).\n"
    "\n"
    "Columns: set,time,rh,t1,t2,wet_bulb,dew_point,unit\n"
    "  time       the sample's local time, ISO 8601, to the second\n"
    "  values     one decimal with a point; over range OL, under range -OL, no\n"
    "             value empty\n"
    "  unit       C, F or K (empty for another code)\n"
    "\n"
    "Exit status as for kv3917-cli sets.\n";

const QString SetsHeader = QStringLiteral("set,start,interval,count,unit,couple,rh_offset,t1_offset,t2_offset");

int UsageError(const QString &command, const QString &message)
{
    return cli::UsageError(message, qPrintable(command));
}

int DataError(const QString &file, const QString &message)
{
    std::fprintf(stderr, "%s: %s: %s\n", Program, qPrintable(file), qPrintable(message));
    return ExitDataError;
}

struct Arguments {
    QString file;
    std::optional<int> set;
    bool lines = false;      // --format lines
    QString meter;           // --meter
    bool help = false;
};

std::optional<int> ParseArguments(const QStringList &args, bool takesSet, Arguments &out)
{
    const QString command = args.at(1);
    OptionReader reader(args, 2);
    while (reader.next()) {
        const QString &arg = reader.name();
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            out.help = true;
        } else if (takesSet && arg == QLatin1String("--set")) {
            QString value;
            bool ok = false;
            const int n = reader.takeValue(value) ? value.toInt(&ok) : 0;
            if (!ok || n < 1)
                return UsageError(command, QStringLiteral("--set needs a data set number of at least 1"));
            out.set = n;
        } else if (takesSet && arg == QLatin1String("--format")) {
            QString value;
            if (!reader.takeValue(value) || (value != QLatin1String("csv") && value != QLatin1String("lines")))
                return UsageError(command, QStringLiteral("--format needs csv or lines"));
            out.lines = value == QLatin1String("lines");
        } else if (takesSet && arg == QLatin1String("--meter")) {
            QString value;
            if (!reader.takeValue(value) || value.isEmpty())
                return UsageError(command, QStringLiteral("--meter needs a serial number"));
            out.meter = value;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            return UsageError(command, QStringLiteral("unknown option '%1'").arg(arg));
        } else if (out.file.isEmpty()) {
            out.file = arg;
        } else {
            return UsageError(command, QStringLiteral("give one file"));
        }
    }
    if (!out.help && out.file.isEmpty())
        return UsageError(command, QStringLiteral("missing FILE.REC"));
    if (!out.lines && !out.meter.isEmpty())
        return UsageError(command, QStringLiteral("--meter belongs to --format lines"));
    return std::nullopt;
}

// Reads and parses the file; an exit status when that fails.
std::optional<int> Load(const QString &file, kv::LoggerParse &parse)
{
    QByteArray image;
    QString reason;
    switch (kv::ReadCollectionFile(file, &image, &reason)) {
    case kv::CollectionRead::CannotRead:
        std::fprintf(stderr, "%s: cannot read %s: %s\n", Program, qPrintable(file), qPrintable(reason));
        return ExitNoInput;
    case kv::CollectionRead::Empty:
        return DataError(file, QStringLiteral("the file is empty"));
    case kv::CollectionRead::TooLarge:
        return DataError(file, QStringLiteral("not a logger image (larger than the meter's %1-byte memory)")
                                   .arg(kv::LoggerMaxImageSize));
    case kv::CollectionRead::Ok:
        break;
    }
    parse = kv::ParseLoggerImage(image, kv::NowDateTime());
    switch (parse.code) {
    case kv::LoggerParseOk:
        break;
    case kv::LoggerParseNoDataSet:
        return DataError(file, QStringLiteral("the logger image holds no data set"));
    case kv::LoggerParseCountOutOfRange:
        return DataError(file, QStringLiteral("not a logger image (data set count %1, at most %2)")
                                   .arg(parse.declaredCount)
                                   .arg(kv::LoggerMaxDataSets));
    default:
        return DataError(file, QStringLiteral("damaged logger image: not even its first data set lies within "
                                              "its %1 bytes")
                                   .arg(image.size()));
    }
    if (parse.truncated())
        std::fprintf(stderr,
                     "%s: %s: warning: the file ends inside data set %d of %d; only the %d complete data "
                     "sets before it are read\n",
                     Program, qPrintable(file), int(parse.dataSets.size()) + 1, parse.declaredCount,
                     int(parse.dataSets.size()));
    return std::nullopt;
}

QString OneDecimal(double value)
{
    QString text = QString::number(value, 'f', 1);
    if (text == QLatin1String("-0.0"))
        text = QStringLiteral("0.0");
    return text;
}

void Write(QByteArray &out, bool force = false)
{
    constexpr int FlushSize = 1 << 16;
    if (force || out.size() >= FlushSize) {
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        out.clear();
    }
}

void AppendLine(QByteArray &out, const QString &line)
{
    out += line.toUtf8();
    out += '\n';
    Write(out);
}

} // namespace

int RunLoggerSets(const QStringList &args)
{
    Arguments arguments;
    if (const std::optional<int> rc = ParseArguments(args, false, arguments))
        return *rc;
    if (arguments.help) {
        std::fputs(SetsHelp, stdout);
        return ExitOk;
    }
    kv::LoggerParse parse;
    if (const std::optional<int> rc = Load(arguments.file, parse))
        return *rc;
    QByteArray out;
    AppendLine(out, SetsHeader);
    int number = 0;
    for (const kv::LoggerDataSet &set : parse.dataSets) {
        const QStringList fields{QString::number(++number),
                                 kv::LoggerIsoSeconds(set.start),
                                 QString::number(set.interval),
                                 QString::number(set.count),
                                 kv::LoggerUnitText(set.unit),
                                 kv::LoggerCoupleText(set.couple),
                                 OneDecimal(kv::LoggerRhOffset(set)),
                                 OneDecimal(kv::LoggerTemperatureOffset(set, set.t1Offset)),
                                 OneDecimal(kv::LoggerTemperatureOffset(set, set.t2Offset))};
        AppendLine(out, fields.join(QLatin1Char(',')));
    }
    Write(out, true);
    std::fflush(stdout);
    return ExitOk;
}

int RunLoggerExport(const QStringList &args)
{
    Arguments arguments;
    if (const std::optional<int> rc = ParseArguments(args, true, arguments))
        return *rc;
    if (arguments.help) {
        std::fputs(ExportHelp, stdout);
        return ExitOk;
    }
    kv::LoggerParse parse;
    if (const std::optional<int> rc = Load(arguments.file, parse))
        return *rc;
    const int sets = int(parse.dataSets.size());
    if (arguments.set && *arguments.set > sets)
        return UsageError(args.at(1), QStringLiteral("--set %1: %2 holds %3 data set(s)")
                                          .arg(*arguments.set)
                                          .arg(arguments.file)
                                          .arg(sets));
    QByteArray out;
    if (arguments.lines) {
        const QString meter = arguments.meter.isEmpty() ? QFileInfo(arguments.file).completeBaseName() : arguments.meter;
        for (int s = 0; s < sets; ++s) {
            if (arguments.set && *arguments.set != s + 1)
                continue;
            for (const kv::service::TimedLine &line : kv::service::LoggerSetLines(parse, s, meter)) {
                out += line.line;
                out += '\n';
                Write(out);
            }
        }
        Write(out, true);
        std::fflush(stdout);
        return ExitOk;
    }
    AppendLine(out, QString::fromLatin1(kv::LoggerExportHeader));
    for (int s = 0; s < sets; ++s) {
        if (arguments.set && *arguments.set != s + 1)
            continue;
        kv::AppendLoggerSetCsv(out, parse, s);
        Write(out);
    }
    Write(out, true);
    std::fflush(stdout);
    return ExitOk;
}
