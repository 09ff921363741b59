// kv3917-cli info | set-clock | set-interval MM:SS | erase --yes: the meter's
// setup operations over USB (or on the simulated meter), with the program's
// own setup service.

#include "tools/cli_setup.h"

#include "app/transport.h"
#include "link/meterlink.h"
#include "setup/servicecommand.h"
#include "tools/clicommon.h"

#include <cstdio>
#include <memory>
#include <optional>

namespace {

using cli::Program;
using cli::UsageError;

const char *const Commands[] = {"info", "set-clock", "set-interval", "erase"};

// Pauses of the operations sleep on the event loop; nothing polls here.
class ToolHost : public kv::ServiceHost {
public:
    bool acquireLink() override { return true; }
    void releaseLink() override {}
    void setBusy(bool) override {}
    void pause(int ms) override { kv::WaitPumping(ms); }
};

} // namespace

const char *const SetupHelpText =
    "Usage: kv3917-cli info (--usb | --demo)\n"
    "       kv3917-cli set-clock (--usb | --demo)\n"
    "       kv3917-cli set-interval MM:SS (--usb | --demo)\n"
    "       kv3917-cli erase --yes (--usb | --demo)\n"
    "\n"
    "Meter setup over USB (a meter on a serial port or Bluetooth cannot be set up):\n"
    "  info          the meter's information and settings, one name,value line\n"
    "                each (firmware_version, sn, bluetooth, thermo_type, unit,\n"
    "                recording_interval, rh_offset, t1_offset, t2_offset, alarm,\n"
    "                hi, lo, time_to_off, meter_time, data_sets, memory_available)\n"
    "  set-clock     sets the meter's clock to the computer's local time\n"
    "  set-interval  sets the recording interval; minutes and seconds 0..60 each,\n"
    "                not 00:00\n"
    "  erase         erases every data set in the meter's memory; needs --yes\n"
    "\n"
    "Exit status of these commands: 0 done, 2 no meter answered, 4 the operation\n"
    "failed (its code in the message), 64 usage error.\n";

bool IsSetupCommand(const QString &command)
{
    for (const char *c : Commands)
        if (command == QLatin1String(c))
            return true;
    return false;
}

int RunSetupCommand(const QStringList &args)
{
    const QString name = args.at(1);
    kv::ServiceCommand command = kv::ServiceCommand::Info;
    if (name == QLatin1String("set-clock"))
        command = kv::ServiceCommand::SetClock;
    else if (name == QLatin1String("set-interval"))
        command = kv::ServiceCommand::SetInterval;
    else if (name == QLatin1String("erase"))
        command = kv::ServiceCommand::Erase;

    std::optional<bool> demo;
    bool yes = false;
    std::optional<QString> intervalText;
    OptionReader reader(args, 2);
    while (reader.next()) {
        const QString &arg = reader.name();
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            std::fputs(SetupHelpText, stdout);
            return kv::ServiceExitOk;
        }
        if ((arg == QLatin1String("--usb") || arg == QLatin1String("--demo")) && !reader.hasInlineValue()) {
            if (demo)
                return UsageError(QStringLiteral("give only one of --usb, --demo"));
            demo = arg == QLatin1String("--demo");
        } else if (arg == QLatin1String("--port")) {
            return UsageError(QStringLiteral("%1 reaches the meter over USB only").arg(name));
        } else if (arg == QLatin1String("--yes") && command == kv::ServiceCommand::Erase && !reader.hasInlineValue()) {
            yes = true;
        } else if (!arg.startsWith(QLatin1Char('-')) && command == kv::ServiceCommand::SetInterval && !intervalText) {
            intervalText = arg;
        } else {
            return UsageError(QStringLiteral("unknown option '%1'").arg(arg));
        }
    }
    if (!demo)
        return UsageError(QStringLiteral("give one of --usb, --demo"));
    kv::IntervalBytes interval;
    if (command == kv::ServiceCommand::SetInterval) {
        if (!intervalText)
            return UsageError(QStringLiteral("set-interval needs MM:SS"));
        const std::optional<kv::IntervalBytes> parsed = kv::ParseIntervalText(*intervalText);
        if (!parsed)
            return UsageError(QStringLiteral("Invalid Input: '%1' (minutes and seconds 0..60, not 00:00)").arg(*intervalText));
        interval = *parsed;
    }
    if (command == kv::ServiceCommand::Erase && !yes)
        return UsageError(QStringLiteral("erase deletes every data set in the meter; confirm with --yes"));

    const std::unique_ptr<kv::UsbTransfer> usb = kv::CreateUsbTransfer(*demo);
    ToolHost host;
    const kv::ServiceCommandOutput out = kv::RunServiceCommand(command, interval, *usb, host);
    for (const QString &line : out.lines) {
        std::fputs(line.toUtf8().constData(), stdout);
        std::fputc('\n', stdout);
    }
    std::fflush(stdout);
    if (!out.error.isEmpty())
        std::fprintf(stderr, "%s: %s\n", Program, qPrintable(out.error));
    return out.exitStatus;
}
