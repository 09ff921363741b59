// kv3917-cli: the meter's live readings as CSV on standard output, without
// the window.  It identifies the meter and polls it with the program's own
// link and poll code.

#include "app/transport.h"
#include "link/commands.h"
#include "link/meterlink.h"
#include "link/qtserialport.h"
#include "live/poll.h"
#include "realtime/samplevalues.h"

#include "tools/cli_download.h"
#include "tools/cli_setup.h"
#include "tools/cli_export.h"
#include "tools/cli_logger.h"
#include "tools/csvvalue.h"
#include "tools/clicommon.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QThread>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

using cli::ExitNoMeter;
using cli::ExitOk;
using cli::Interrupted;
using cli::Program;
using cli::Source;
using cli::UsageError;

constexpr int ExitConnectionLost = 3;

// Sleeps are cut into slices so that Ctrl-C ends the run promptly.
constexpr int SleepSliceMs = 50;

const char *const HelpText =
    "Usage: kv3917-cli live (--port PATH | --usb | --demo) [--count N]\n"
    "       kv3917-cli download --help   reading the logger memory\n"
    "       kv3917-cli sets FILE.REC\n"
    "       kv3917-cli export FILE.REC [--set N]\n"
    "       kv3917-cli export FILE.GHF\n"
    "(kv3917-cli sets --help and export --help describe those two.)\n"
    "\n"
    "Reads the KV3917 thermometer twice a second and writes its readings as CSV\n"
    "to standard output, one line per good reading, flushed as it is written.\n"
    "\n"
    "  --port PATH  the meter on a serial port or its Bluetooth link (a name in\n"
    "               /dev such as ttyUSB0 or rfcomm0, or a path such as the one\n"
    "               kv3917-sim prints)\n"
    "  --usb        the meter on USB\n"
    "  --demo       the simulated meter\n"
    "  --count N    stop after N readings (default: until interrupted; Ctrl-C\n"
    "               ends the run cleanly)\n"
    "  --help       this text\n"
    "\n"
    "Columns: time,rh,t1,t2,wet_bulb,dew_point,unit\n"
    "  time       local time, ISO 8601, to the second\n"
    "  values     one decimal, point as decimal separator; a channel out of the\n"
    "             meter's range reads OL (T2 below range: -OL), and wet bulb and\n"
    "             dew point are empty while RH or T1 is out of range\n"
    "  unit       C, F or K as shown on the meter (raw: values as sent)\n"
    "\n"
    "Exit status: 0 done, 2 no meter answered, 3 connection lost (three failed\n"
    "readings in a row), 64 usage error.\n";

struct Options : cli::SourceOptions {
    std::optional<long long> count;
    bool help = false;
};

// Parses the command line; returns an exit status when the run ends here.
std::optional<int> ParseArguments(const QStringList &args, Options &options)
{
    if (args.size() < 2)
        return UsageError(QStringLiteral("missing command"));
    if (args.at(1) == QLatin1String("--help") || args.at(1) == QLatin1String("-h")) {
        options.help = true;
        return std::nullopt;
    }
    if (args.at(1) != QLatin1String("live"))
        return UsageError(QStringLiteral("unknown command '%1'").arg(args.at(1)));

    OptionReader reader(args, 2);
    while (reader.next()) {
        const QString &arg = reader.name();
        QString error;
        if (options.read(reader, error)) {
            if (!error.isEmpty())
                return UsageError(error);
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (arg == QLatin1String("--count")) {
            bool ok = false;
            QString value;
            const long long n = reader.takeValue(value) ? value.toLongLong(&ok) : 0;
            if (!ok || n < 1)
                return UsageError(QStringLiteral("--count needs a whole number of at least 1"));
            options.count = n;
        } else {
            return UsageError(QStringLiteral("unknown option '%1'").arg(arg));
        }
    }
    if (!options.help && options.source == Source::None)
        return UsageError(QStringLiteral("give one of --port, --usb, --demo"));
    return std::nullopt;
}

QString UnitText(std::uint8_t unitCode)
{
    switch (unitCode & 3) {
    case kv::UnitFahrenheit:
        return QStringLiteral("F");
    case kv::UnitCelsius:
        return QStringLiteral("C");
    case kv::UnitKelvin:
        return QStringLiteral("K");
    default:
        return QStringLiteral("raw");
    }
}

void WriteLine(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Every good reading the poll loop hands over becomes one CSV line.
class CsvView : public kv::PollView {
public:
    long long Written = 0;
    bool Lost = false;

    void ShowConnectionFound() override {}
    void ShowConnectionLost() override { Lost = true; }
    void ShowLinkDropped() override {}
    void HideLinkPicture() override {}
    void UpdatePanel(const kv::LiveReading &) override {}
    bool IsRecordingRealTime() const override { return true; }
    int RealTimeSamplingPeriod() const override { return 0; } // every good reading
    void AddRealTimeSample(const kv::LiveReading &reading, const QDateTime &stamp) override
    {
        const kv::SampleValues values = kv::LiveSampleValues(reading);
        QStringList fields{stamp.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"))};
        for (float v : values)
            fields << CsvValue(v);
        fields << UnitText(reading.UnitCode);
        WriteLine(fields.join(QLatin1Char(',')));
        ++Written;
    }
};

void SleepUntil(const QElapsedTimer &clock, qint64 deadlineMs)
{
    while (!Interrupted) {
        const qint64 rest = deadlineMs - clock.elapsed();
        if (rest <= 0)
            return;
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(rest, SleepSliceMs)));
    }
}

int RunLive(const Options &options)
{
    const std::unique_ptr<kv::UsbTransfer> usb = kv::CreateUsbTransfer(options.source == Source::Demo);
    kv::QtSerialPort port;
    kv::MeterLink link(*usb, &port);

    if (options.source == Source::Port) {
        port.setDeviceName(kv::SerialDeviceName(options.port));
        if (!port.open()) {
            std::fprintf(stderr, "%s: cannot open %s\n", Program, qPrintable(port.deviceName()));
            return ExitNoMeter;
        }
        if (link.IdentifySerial() != kv::SerialAnswer::Meter) {
            std::fprintf(stderr, "%s: no meter answered on %s\n", Program, qPrintable(port.deviceName()));
            return ExitNoMeter;
        }
        link.Kind = kv::LinkKind::Serial;
    } else {
        if (!link.QueryUsb(kv::cmd::Identify) || !kv::IsMeterIdentification(link.Reply.data())) {
            std::fprintf(stderr, "%s: no meter answered on %s\n", Program,
                         options.source == Source::Demo ? "the simulated meter" : "USB");
            return ExitNoMeter;
        }
        link.Kind = kv::LinkKind::Usb;
    }

    CsvView view;
    kv::PollLoop poll(link, view);
    poll.ConnectionFound();
    WriteLine(QStringLiteral("time,rh,t1,t2,wet_bulb,dew_point,unit"));

    QElapsedTimer clock;
    clock.start();
    qint64 nextTickMs = 0;
    while (!Interrupted) {
        poll.PollTick();
        if (view.Lost) {
            std::fprintf(stderr, "%s: connection lost\n", Program);
            return ExitConnectionLost;
        }
        if (options.count && view.Written >= *options.count)
            break;
        nextTickMs += kv::PollIntervalMs;
        if (clock.elapsed() > nextTickMs)
            nextTickMs = clock.elapsed(); // a late tick: no catching up
        SleepUntil(clock, nextTickMs);
    }
    port.close();
    return ExitOk;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.value(1) == QLatin1String("download"))
        return RunDownloadCommand(args);
    if (argc > 1 && IsSetupCommand(args.at(1)))
        return RunSetupCommand(args);
    // "export FILE.GHF" is the graph file export; other "export"s are the
    // logger's.
    if (IsGraphFileExport(args))
        return RunGraphFileExport(args);
    if (args.size() > 1 && args.at(1) == QLatin1String("sets"))
        return RunLoggerSets(args);
    if (args.size() > 1 && args.at(1) == QLatin1String("export"))
        return RunLoggerExport(args);
    Options options;
    if (const std::optional<int> rc = ParseArguments(QCoreApplication::arguments(), options))
        return *rc;
    if (options.help) {
        std::fputs(HelpText, stdout);
        std::fputs("\n", stdout);
        std::fputs(SetupHelpText, stdout);
        return ExitOk;
    }

    cli::CatchInterrupts();
    return RunLive(options);
}
