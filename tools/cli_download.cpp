// kv3917-cli download: reads the meter's logger memory with the program's
// own download code and writes it as a collection file (the raw image).

#include "tools/cli_download.h"

#include "app/transport.h"
#include "link/commands.h"
#include "link/meterlink.h"
#include "link/qtserialport.h"
#include "live/decoder.h"
#include "live/livereading.h"
#include "logger/download.h"

#include "tools/clicommon.h"

#include <QSaveFile>

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

constexpr int ExitDownloadFailed = 4;
constexpr int ExitNoDataSet = 5;
constexpr int ExitRecording = 6;
constexpr int ExitCannotWrite = 73;

// Live readings tried before the meter counts as silent.
constexpr int LiveAttempts = 3;

const char *const HelpText =
    "Usage: kv3917-cli download (--port PATH | --usb | --demo) --output FILE.REC [--quiet]\n"
    "\n"
    "Reads the logger memory of the KV3917 thermometer and writes it to FILE.REC,\n"
    "a data set collection the program opens.  The file is written only when\n"
    "the download succeeded, and replaced in one step.\n"
    "\n"
    "  --port PATH    the meter on a serial port or its Bluetooth link\n"
    "  --usb          the meter on USB\n"
    "  --demo         the simulated meter\n"
    "  --output FILE  the collection file to write\n"
    "  --quiet        no progress on standard error\n"
    "  --help         this text\n"
    "\n"
    "Exit status: 0 done, 2 no meter answered, 4 the download failed (the\n"
    "message names its error code), 5 the memory holds no data set, 6 the meter\n"
    "is recording (stop its recording first), 64 usage error, 73 the file could\n"
    "not be written.\n";

struct Options : cli::SourceOptions {
    QString output;
    bool quiet = false;
    bool help = false;
};

int UsageError(const QString &message) { return cli::UsageError(message, "download"); }

std::optional<int> ParseArguments(const QStringList &args, Options &options)
{
    OptionReader reader(args, 2);
    while (reader.next()) {
        const QString &arg = reader.name();
        const bool hasValue = reader.hasInlineValue();
        QString value;
        QString error;
        if (options.read(reader, error)) {
            if (!error.isEmpty())
                return UsageError(error);
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (arg == QLatin1String("--output")) {
            if (!reader.takeValue(value) || value.isEmpty())
                return UsageError(QStringLiteral("--output needs a file name"));
            options.output = value;
        } else if (arg == QLatin1String("--quiet") && !hasValue) {
            options.quiet = true;
        } else {
            return UsageError(QStringLiteral("unknown option '%1'").arg(arg));
        }
    }
    if (options.help)
        return std::nullopt;
    if (options.source == Source::None)
        return UsageError(QStringLiteral("give one of --port, --usb, --demo"));
    if (options.output.isEmpty())
        return UsageError(QStringLiteral("give the file to write with --output"));
    return std::nullopt;
}

// Progress on standard error, one line rewritten in place.
class StderrProgress : public kv::DownloadProgress {
public:
    explicit StderrProgress(bool quiet) : m_quiet(quiet) {}
    void started(int transferSize) override
    {
        m_total = transferSize;
        show(kv::LoggerPageSize);
    }
    void advanced(int bytesReceived) override { show(bytesReceived); }
    void finished() override
    {
        if (!m_quiet && m_total > 0)
            std::fputc('\n', stderr);
    }
    bool cancelRequested() override { return Interrupted != 0; }

private:
    void show(int bytes)
    {
        if (m_quiet)
            return;
        std::fprintf(stderr, "\r%d of %d bytes received", bytes, m_total);
        std::fflush(stderr);
    }
    bool m_quiet;
    int m_total = 0;
};

} // namespace

int RunDownloadCommand(const QStringList &args)
{
    Options options;
    if (const std::optional<int> rc = ParseArguments(args, options))
        return *rc;
    if (options.help) {
        std::fputs(HelpText, stdout);
        return ExitOk;
    }

    const std::unique_ptr<kv::UsbTransfer> usb = kv::CreateUsbTransfer(options.source == Source::Demo);
    kv::QtSerialPort port;
    kv::MeterLink link(*usb, &port);

    const QString where = options.source == Source::Port ? kv::SerialDeviceName(options.port)
                        : options.source == Source::Demo ? QStringLiteral("the simulated meter")
                                                         : QStringLiteral("USB");
    if (options.source == Source::Port) {
        port.setDeviceName(kv::SerialDeviceName(options.port));
        if (!port.open()) {
            std::fprintf(stderr, "%s: cannot open %s\n", Program, qPrintable(where));
            return ExitNoMeter;
        }
        if (link.IdentifySerial() == kv::SerialAnswer::Meter)
            link.Kind = kv::LinkKind::Serial;
    } else if (link.QueryUsb(kv::cmd::Identify) && kv::IsMeterIdentification(link.Reply.data())) {
        link.Kind = kv::LinkKind::Usb;
    }

    // The meter refuses nothing while it records, but a download then would
    // miss what it records meanwhile: ask for it to be stopped first.
    bool answered = false;
    kv::LiveReading reading;
    for (int i = 0; link.isConnected() && !answered && i < LiveAttempts; ++i) {
        answered = link.ReadLiveReply() && kv::HasLiveMarkers(link.Reply.data());
        if (answered)
            kv::DecodeLiveReply(link.Reply.data(), reading);
    }
    if (!answered) {
        std::fprintf(stderr, "%s: no meter answered on %s\n", Program, qPrintable(where));
        return ExitNoMeter;
    }
    if (reading.MeterLogging) {
        std::fprintf(stderr, "%s: The meter is recording data, please stop recording before loading data.\n",
                     Program);
        return ExitRecording;
    }

    cli::CatchInterrupts();

    StderrProgress progress(options.quiet);
    kv::DownloadClock clock;
    const kv::LoggerDownloadOutcome outcome = kv::DownloadLoggerMemory(link, progress, clock);
    if (outcome.code != kv::DownloadOk)
        kv::SendDownloadRecovery(link);
    port.close();
    usb->CloseDevice();

    if (outcome.code == kv::DownloadNoDataSet) {
        std::fprintf(stderr, "%s: There was not any data recorded in momery of meter !\n", Program);
        return ExitNoDataSet;
    }
    if (outcome.code == kv::DownloadCancelled) {
        std::fprintf(stderr, "%s: download interrupted, error code=%d\n", Program, outcome.code);
        return ExitDownloadFailed;
    }
    if (outcome.code != kv::DownloadOk) {
        std::fprintf(stderr, "%s: download failed, error code=%d\n", Program, outcome.code);
        return ExitDownloadFailed;
    }

    QSaveFile file(options.output);
    if (!file.open(QIODevice::WriteOnly) || file.write(outcome.image) != outcome.image.size() || !file.commit()) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", Program, qPrintable(options.output),
                     qPrintable(file.errorString()));
        return ExitCannotWrite;
    }
    if (!options.quiet)
        std::fprintf(stderr, "%s: %lld bytes written to %s\n", Program, static_cast<long long>(outcome.image.size()),
                     qPrintable(options.output));
    return ExitOk;
}
