#include "tools/cli_export.h"

#include "chart/model/chartstate.h"
#include "chart/model/graphfile.h"
#include "realtime/datetime.h"
#include "tools/clicommon.h"

#include <QDateTime>
#include <QFile>

#include <cmath>
#include <cstdio>

namespace {

using cli::ExitOk;
using cli::ExitUsage;
using cli::Program;

constexpr int ExitUnreadable = 1;

const char *const HelpText =
    "Usage: kv3917-cli export FILE.GHF\n"
    "\n"
    "Writes the points of a graph file as CSV to standard output, one line per\n"
    "point, up to the first point without a time stamp.\n"
    "\n"
    "Columns: time,rh,t1,t2,wet_bulb,dew_point\n"
    "  time       the point's local time, ISO 8601, to the second\n"
    "  values     one decimal, point as decimal separator; above 5000 reads OL,\n"
    "             below -390 reads -OL, and no value (9999) is empty\n"
    "\n"
    "Exit status: 0 done, 1 the file cannot be read or is no graph file,\n"
    "64 usage error.\n";

// Values beyond these are out of range; 9999 is the chart's null value.
constexpr double OverRangeLimit = 5000.0;
constexpr double UnderRangeLimit = -390.0;
constexpr float NullValue = 9999.0f;
constexpr int Channels = 5;

QByteArray CsvValue(double stored)
{
    // Values are single-precision samples held in the chart's doubles.
    const float value = std::isfinite(stored) && std::fabs(stored) < 3.0e38 ? float(stored) : float(NullValue);
    if (value == NullValue || !std::isfinite(value))
        return {};
    if (value > OverRangeLimit)
        return QByteArrayLiteral("OL");
    if (value < UnderRangeLimit)
        return QByteArrayLiteral("-OL");
    QByteArray text = QByteArray::number(double(value), 'f', 1);
    if (text == "-0.0")
        text = "0.0";
    return text;
}

int Fail(const QString &message, int status)
{
    std::fprintf(stderr, "%s: %s\n", Program, qPrintable(message));
    return status;
}

} // namespace

bool IsGraphFileExport(const QStringList &args)
{
    return args.size() > 2 && args.at(1) == QLatin1String("export")
           && (args.at(2).endsWith(QLatin1String(".ghf"), Qt::CaseInsensitive) || args.at(2) == QLatin1String("--help"));
}

int RunGraphFileExport(const QStringList &args)
{
    if (args.size() > 2 && args.at(2) == QLatin1String("--help")) {
        std::fputs(HelpText, stdout);
        return ExitOk;
    }
    if (args.size() != 3)
        return Fail(QStringLiteral("export takes one graph file (see %1 export --help)").arg(QLatin1String(Program)),
                    ExitUsage);
    QByteArray block;
    QString error;
    if (!kv::ReadGraphFileBlock(args.at(2), &block, &error))
        return Fail(error, ExitUnreadable);
    kv::ChartState state;
    if (!kv::LoadChartState(block, &state, &error))
        return Fail(QStringLiteral("\"%1\" is not a graph file: %2").arg(args.at(2), error), ExitUnreadable);

    QFile out;
    out.open(stdout, QIODevice::WriteOnly);
    out.write("time,rh,t1,t2,wet_bulb,dew_point\n");
    const int points = state.points;
    const QVector<double> *x = state.subsets.empty() ? nullptr : &state.subsets[0].x;
    for (int p = 0; x && p < points && p < x->size(); ++p) {
        const double stamp = x->at(p);
        if (stamp == 0.0)
            break;   // points beyond the recorded data
        QByteArray line = kv::FromDateTime(stamp).toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")).toLatin1();
        for (int s = 0; s < Channels; ++s) {
            line += ',';
            if (size_t(s) < state.subsets.size() && p < state.subsets[size_t(s)].y.size())
                line += CsvValue(state.subsets[size_t(s)].y.at(p));
        }
        line += '\n';
        out.write(line);
    }
    return ExitOk;
}
