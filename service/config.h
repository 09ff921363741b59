#pragma once
// The service's settings: command-line options and the config file (INI,
// the same keys as the options without the dashes; options win).
//
//   port = /dev/ttyUSB0, /dev/rfcomm0   (or --port PATH, repeatable)
//   demo = 4                            (--demo N)
//   period = 0.5                        (--period SECONDS)
//   no-usb = true                       (--no-usb)
//   listen = 127.0.0.1:9391             (--listen ADDR[:PORT])
//   textfile = /var/lib/node_exporter/kv3917.prom  (--textfile PATH)
//   state-dir = /var/lib/kv3917d        (--state-dir DIR)

#include <QString>
#include <QList>
#include <QPair>
#include <QStringList>

#include <optional>
#include <set>

namespace kv::service {

constexpr const char *DefaultConfigFile = "/etc/kv3917/kv3917d.conf";
constexpr int DefaultPollPeriodMs = 500;
constexpr int MinPollPeriodMs = 100;
constexpr int MaxPollPeriodMs = 3600 * 1000;
constexpr int MaxDemoMeters = 64;
// How often the USB meters are enumerated (a change of /dev also starts one).
constexpr int DefaultUsbScanMs = 1000;

// Exit statuses of kv3917d (sysexits.h).
constexpr int ExitUsage = 64;
constexpr int ExitConfig = 78;
constexpr int ExitUnavailable = 69; // the HTTP address cannot be used

struct ServiceConfig {
    QStringList ports;     // serial/Bluetooth device paths (bare names lie in /dev)
    int demo = 0;          // simulated meters
    int periodMs = DefaultPollPeriodMs;
    bool usb = true;       // look for USB meters
    QString listen;        // HTTP address[:port]; empty: the HTTP output's default
    QString textfile;      // node_exporter textfile; empty: none
    QString configFile = QString::fromLatin1(DefaultConfigFile);
    bool configFileGiven = false; // --config named it: it must exist
    QString stateDir;      // $STATE_DIRECTORY or a fallback (DefaultStateDir)
    int usbScanMs = DefaultUsbScanMs;
    // The outputs' own options (MQTT, line protocol), key without dashes and
    // value ("true" for a switch), for the outputs to read.
    QList<QPair<QString, QString>> outputOptions;

    bool operator==(const ServiceConfig &other) const;
    bool operator!=(const ServiceConfig &other) const { return !(*this == other); }
};

// $STATE_DIRECTORY (its first entry) when systemd set it, otherwise
// $XDG_STATE_HOME/kv3917d or ~/.local/state/kv3917d.
QString DefaultStateDir();

enum class ParseOutcome { Run, Help, Version, Error };

// The command line as given: the values and which keys it set, so that a
// config file read later (and again on SIGHUP) leaves those alone.
struct CommandLine {
    ServiceConfig values;
    std::set<QString> given; // keys: "port", "demo", "period", ...
};

// Parses the arguments after the program name.  On Error, *error says why.
ParseOutcome ParseCommandLine(const QStringList &args, CommandLine &line, QString *error);

// Reads the config file into `config` (keys the command line gave are
// skipped).  A missing default file is no error; a missing named one, an
// unreadable one or a bad value is (*error says which key).  Unknown keys
// are reported in *warnings and ignored.
bool ReadConfigFile(const QString &path, const std::set<QString> &skip, ServiceConfig &config, QString *error,
                    QStringList *warnings = nullptr);

// The settings to run with: defaults, then the file, then the command line.
bool ResolveConfig(const CommandLine &line, ServiceConfig &config, QString *error, QStringList *warnings = nullptr);

extern const char *const HelpText;
// HelpText with the outputs' options.
QString FullHelpText();

// Whether `key` (without dashes) is an output's option, and whether it takes
// a value.
enum class OutputOptionKind { Unknown, Switch, Value };
OutputOptionKind OutputOption(const QString &key);

} // namespace kv::service
