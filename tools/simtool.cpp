// kv3917-sim: the simulated meter on a pseudo-terminal.  Prints the path of
// the port to open (the slave end) and answers there until interrupted.

#include "sim/simmeter.h"
#include "sim/simpty.h"

#include "tools/optionreader.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <array>
#include <csignal>
#include <cstdio>
#include <limits>
#include <optional>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 64;

const char *const Program = "kv3917-sim";

const char *const HelpText =
    "Usage: kv3917-sim [options]\n"
    "\n"
    "Serves the simulated KV3917 thermometer on a pseudo-terminal, as if on a\n"
    "serial port, and prints the port's path on the first line of standard\n"
    "output.  Type that path into the port box of the program, or give it to\n"
    "kv3917-cli live --port.  Runs until interrupted (Ctrl-C).\n"
    "\n"
    "  --link PATH                  also make PATH a symbolic link to the port\n"
    "                               (removed again at the end)\n"
    "  --line-rate                  send at the line rate of 9600 baud (960 bytes\n"
    "                               a second) instead of all at once\n"
    "  --reading RH,T1,T2           the readings to drift around (%RH, degrees C,\n"
    "                               degrees C); default 45,23.5,24\n"
    "  --no-drift                   hold the readings still\n"
    "  --seed N                     seed of the drift and noise\n"
    "  --memory FILE.REC            the logger memory (and settings) from a\n"
    "                               collection file instead of a few sample\n"
    "                               data sets\n"
    "\n"
    "Faults (one of the -every options at a time; N counts live readings):\n"
    "  --fail-every N               every N-th live reading is not answered\n"
    "  --corrupt-checksum-every N   every N-th live reading has a wrong checksum\n"
    "  --short-every N              every N-th live reply is cut short\n"
    "  --stray-every N              every N-th live reply has stray bytes in front\n"
    "  --silent-after N             the meter stops answering after N exchanges\n"
    "                               (in a logger download: after N pages)\n"
    "  --page-fault-every N         every N-th logger page reply ('p') goes wrong\n"
    "  --page-fault KIND            how: no-reply (default), late, short,\n"
    "                               checksum, stray or junk\n"
    "  --wrong-id                   answer the identification with another model\n"
    "  --help                       this text\n";

kv::SimPtyServer *Server = nullptr;

void OnInterrupt(int)
{
    if (Server)
        Server->requestStop();
}

int UsageError(const QString &message)
{
    std::fprintf(stderr, "%s: %s (see %s --help)\n", Program, qPrintable(message), Program);
    return ExitUsage;
}

struct Options {
    QString linkPath;
    bool lineRate = false;
    std::optional<std::array<double, 3>> reading;
    bool noDrift = false;
    std::optional<std::uint32_t> seed;
    int every = 0;
    kv::SimFault everyFault = kv::SimFault::None;
    int silentAfter = -1;
    bool wrongId = false;
    QString memoryFile;
    int pageEvery = 0;
    kv::SimFault pageFault = kv::SimFault::NoReply;
    bool help = false;
};

std::optional<int> ParseArguments(const QStringList &args, Options &o)
{
    struct Every {
        const char *name;
        kv::SimFault fault;
    };
    const Every everyOptions[] = {
        {"--fail-every", kv::SimFault::NoReply},
        {"--corrupt-checksum-every", kv::SimFault::WrongChecksum},
        {"--short-every", kv::SimFault::ShortReply},
        {"--stray-every", kv::SimFault::StrayBytes},
    };
    OptionReader reader(args, 1);
    while (reader.next()) {
        const QString &arg = reader.name();
        const bool hasValue = reader.hasInlineValue();
        QString value;
        const auto takeValue = [&]() -> bool { return reader.takeValue(value); };
        const auto takeCount = [&](int minimum, int &out) -> bool {
            bool ok = false;
            out = takeValue() ? value.toInt(&ok) : 0;
            return ok && out >= minimum;
        };

        const Every *every = nullptr;
        for (const Every &e : everyOptions)
            if (arg == QLatin1String(e.name))
                every = &e;
        if (every) {
            if (o.every > 0)
                return UsageError(QStringLiteral("give only one of the -every options"));
            if (!takeCount(1, o.every))
                return UsageError(QStringLiteral("%1 needs a whole number of at least 1").arg(arg));
            o.everyFault = every->fault;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            o.help = true;
        } else if (arg == QLatin1String("--link")) {
            if (!takeValue() || value.isEmpty())
                return UsageError(QStringLiteral("--link needs a path"));
            o.linkPath = value;
        } else if (arg == QLatin1String("--line-rate") && !hasValue) {
            o.lineRate = true;
        } else if (arg == QLatin1String("--no-drift") && !hasValue) {
            o.noDrift = true;
        } else if (arg == QLatin1String("--wrong-id") && !hasValue) {
            o.wrongId = true;
        } else if (arg == QLatin1String("--silent-after")) {
            if (!takeCount(0, o.silentAfter))
                return UsageError(QStringLiteral("--silent-after needs a whole number"));
        } else if (arg == QLatin1String("--memory")) {
            if (!takeValue() || value.isEmpty())
                return UsageError(QStringLiteral("--memory needs a file"));
            o.memoryFile = value;
        } else if (arg == QLatin1String("--page-fault-every")) {
            if (!takeCount(1, o.pageEvery))
                return UsageError(QStringLiteral("--page-fault-every needs a whole number of at least 1"));
        } else if (arg == QLatin1String("--page-fault")) {
            struct Kind {
                const char *name;
                kv::SimFault fault;
            };
            static const Kind kinds[] = {
                {"no-reply", kv::SimFault::NoReply},      {"late", kv::SimFault::LateReply},
                {"short", kv::SimFault::ShortReply},      {"checksum", kv::SimFault::WrongChecksum},
                {"stray", kv::SimFault::StrayBytes},      {"junk", kv::SimFault::Garbage},
            };
            const Kind *kind = nullptr;
            if (takeValue())
                for (const Kind &k : kinds)
                    if (value == QLatin1String(k.name))
                        kind = &k;
            if (!kind)
                return UsageError(QStringLiteral("--page-fault needs one of no-reply, late, short, checksum, stray, junk"));
            o.pageFault = kind->fault;
        } else if (arg == QLatin1String("--seed")) {
            bool ok = false;
            const uint seed = takeValue() ? value.toUInt(&ok) : 0;
            if (!ok)
                return UsageError(QStringLiteral("--seed needs a whole number"));
            o.seed = seed;
        } else if (arg == QLatin1String("--reading")) {
            const QStringList parts = takeValue() ? value.split(QLatin1Char(',')) : QStringList();
            std::array<double, 3> r{};
            bool ok = parts.size() == 3;
            for (int k = 0; ok && k < 3; ++k)
                r[static_cast<std::size_t>(k)] = parts.at(k).trimmed().toDouble(&ok);
            if (!ok)
                return UsageError(QStringLiteral("--reading needs three numbers: RH,T1,T2"));
            o.reading = r;
        } else {
            return UsageError(QStringLiteral("unknown option '%1'").arg(arg));
        }
    }
    if (o.pageEvery > 0 && o.every > 0)
        return UsageError(QStringLiteral("give either an -every option for live readings or --page-fault-every"));
    return std::nullopt;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Options o;
    if (const std::optional<int> rc = ParseArguments(QCoreApplication::arguments(), o))
        return *rc;
    if (o.help) {
        std::fputs(HelpText, stdout);
        return ExitOk;
    }

    kv::SimOptions simOptions;
    if (o.seed)
        simOptions.seed = *o.seed;
    simOptions.drift = !o.noDrift;
    QByteArray memory;
    if (!o.memoryFile.isEmpty()) {
        QFile file(o.memoryFile);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "%s: cannot read %s: %s\n", Program, qPrintable(o.memoryFile),
                         qPrintable(file.errorString()));
            return ExitFailure;
        }
        memory = file.readAll();
        simOptions.prefillLogger = false;
    }
    kv::SimMeter meter(nullptr, simOptions);
    if (!memory.isEmpty())
        meter.loadLoggerImage(memory);
    if (o.pageEvery > 0)
        meter.faults().failEvery(o.pageEvery, o.pageFault, 'p');
    if (o.reading)
        meter.setReading((*o.reading)[0], (*o.reading)[1], (*o.reading)[2]);
    if (o.every > 0)
        meter.faults().failEvery(o.every, o.everyFault, 'A');
    if (o.silentAfter >= 0)
        meter.faults().vanishAfter(o.silentAfter);
    if (o.wrongId)
        meter.faults().inject(kv::SimFault::WrongMarkers, std::numeric_limits<int>::max(), 'K');

    kv::SimPtyServer server(meter, o.lineRate ? kv::SimSerialPacing::Baud9600 : kv::SimSerialPacing::Burst);
    if (!server.isOpen()) {
        std::fprintf(stderr, "%s: no pseudo-terminal: %s\n", Program, qPrintable(server.errorString()));
        return ExitFailure;
    }
    if (!o.linkPath.isEmpty()) {
        const QFileInfo existing(o.linkPath);
        if (existing.isSymLink())
            QFile::remove(o.linkPath);
        else if (existing.exists()) {
            std::fprintf(stderr, "%s: %s exists and is not a link\n", Program, qPrintable(o.linkPath));
            return ExitFailure;
        }
        if (!QFile::link(server.slavePath(), o.linkPath)) {
            std::fprintf(stderr, "%s: cannot make the link %s\n", Program, qPrintable(o.linkPath));
            return ExitFailure;
        }
    }

    std::printf("%s\n", qPrintable(server.slavePath()));
    std::fflush(stdout);

    Server = &server;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    server.serve();
    Server = nullptr;

    if (!o.linkPath.isEmpty())
        QFile::remove(o.linkPath);
    return ExitOk;
}
