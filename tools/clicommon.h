#pragma once
// What the kv3917-cli commands share: exit statuses, the program name in
// messages, usage errors, Ctrl-C handling and the meter source options.

#include "tools/optionreader.h"

#include <QString>

#include <csignal>
#include <cstdio>

namespace cli {

constexpr int ExitOk = 0;
constexpr int ExitNoMeter = 2;
constexpr int ExitUsage = 64;

inline const char *const Program = "kv3917-cli";

// Set by SIGINT or SIGTERM once CatchInterrupts() ran.
inline volatile std::sig_atomic_t Interrupted = 0;

inline void CatchInterrupts()
{
    struct sigaction action {};
    action.sa_handler = [](int) { Interrupted = 1; };
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// Prints "kv3917-cli: MESSAGE (see kv3917-cli[ COMMAND] --help)" and returns
// the usage exit status.
inline int UsageError(const QString &message, const char *command = nullptr)
{
    std::fprintf(stderr, "%s: %s (see %s%s%s --help)\n", Program, qPrintable(message), Program,
                 command ? " " : "", command ? command : "");
    return ExitUsage;
}

enum class Source { None, Port, Usb, Demo };

// Where the meter is: --port PATH, --usb or --demo, exactly one of them.
struct SourceOptions {
    Source source = Source::None;
    QString port;

    // Takes the reader's current option when it is a source option: true
    // then, with error set to the usage message when it is misused.  False
    // for any other option.
    bool read(OptionReader &reader, QString &error)
    {
        const QString &arg = reader.name();
        if (arg == QLatin1String("--port")) {
            QString value;
            if (!reader.takeValue(value) || value.isEmpty())
                error = QStringLiteral("--port needs a port name or path");
            else if (set(Source::Port, error))
                port = value;
            return true;
        }
        if (reader.hasInlineValue())
            return false;
        if (arg == QLatin1String("--usb")) {
            set(Source::Usb, error);
            return true;
        }
        if (arg == QLatin1String("--demo")) {
            set(Source::Demo, error);
            return true;
        }
        return false;
    }

private:
    bool set(Source chosen, QString &error)
    {
        if (source != Source::None) {
            error = QStringLiteral("give only one of --port, --usb, --demo");
            return false;
        }
        source = chosen;
        return true;
    }
};

} // namespace cli
