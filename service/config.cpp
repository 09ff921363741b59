#include "service/config.h"

#include "service/lineoptions.h"
#include "service/mqttoptions.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <cmath>

namespace kv::service {
namespace {

const QString KeyPort = QStringLiteral("port");
const QString KeyDemo = QStringLiteral("demo");
const QString KeyPeriod = QStringLiteral("period");
const QString KeyNoUsb = QStringLiteral("no-usb");
const QString KeyListen = QStringLiteral("listen");
const QString KeyTextfile = QStringLiteral("textfile");
const QString KeyStateDir = QStringLiteral("state-dir");

bool ParsePeriod(const QString &text, int &periodMs)
{
    bool ok = false;
    const double seconds = text.trimmed().toDouble(&ok); // C locale: point as separator
    if (!ok || !std::isfinite(seconds))
        return false;
    const double ms = std::round(seconds * 1000.0);
    if (ms < MinPollPeriodMs || ms > MaxPollPeriodMs)
        return false;
    periodMs = static_cast<int>(ms);
    return true;
}

bool ParseDemo(const QString &text, int &demo)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || n < 0 || n > MaxDemoMeters)
        return false;
    demo = n;
    return true;
}

bool ParseBool(const QString &text, bool &value)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("yes") || t == QLatin1String("1") || t == QLatin1String("on"))
        value = true;
    else if (t == QLatin1String("false") || t == QLatin1String("no") || t == QLatin1String("0") || t == QLatin1String("off"))
        value = false;
    else
        return false;
    return true;
}

QString PeriodError() { return QStringLiteral("period needs seconds between 0.1 and 3600"); }
QString DemoError() { return QStringLiteral("demo needs a number of meters from 0 to %1").arg(MaxDemoMeters); }

} // namespace

const char *const HelpText =
    "Usage: kv3917d [OPTION]...\n"
    "\n"
    "Polls every attached KV3917 thermometer (USB, serial and Bluetooth ports,\n"
    "simulated meters) and serves the readings to monitoring systems.\n"
    "\n"
    "  --port PATH         a meter on a serial or Bluetooth port (ttyUSB0, rfcomm0\n"
    "                      or a full path); repeat for more ports\n"
    "  --demo N            N simulated meters\n"
    "  --no-usb            do not look for meters on USB\n"
    "  --period SECONDS    time between two readings of a meter (default 0.5)\n"
    "  --listen ADDR[:PORT]  the HTTP address (default 127.0.0.1:13917)\n"
    "  --textfile PATH     also write the metrics to PATH for node_exporter\n"
    "  --config FILE       settings file (default /etc/kv3917/kv3917d.conf); the\n"
    "                      same keys as these options, without the dashes\n"
    "  --state-dir DIR     folder for the service's state (default\n"
    "                      $STATE_DIRECTORY, else ~/.local/state/kv3917d)\n"
    "  --help              this text\n"
    "  --version           the version\n"
    "\n"
    "SIGHUP reads the settings file again; SIGTERM or SIGINT stop the service.\n"
    "Exit status: 0 stopped, 64 usage error, 78 bad settings file.\n";

OutputOptionKind OutputOption(const QString &key)
{
    switch (MqttOptions::kind(key)) {
    case MqttOptions::Kind::Flag: return OutputOptionKind::Switch;
    case MqttOptions::Kind::Value: return OutputOptionKind::Value;
    case MqttOptions::Kind::Unknown: break;
    }
    for (const LineOptionRow &row : LineOptionTable)
        if (key == QLatin1String(row.name))
            return row.valueName ? OutputOptionKind::Value : OutputOptionKind::Switch;
    return OutputOptionKind::Unknown;
}

QString FullHelpText()
{
    QString text = QString::fromUtf8(HelpText);
    text += QStringLiteral("\nPublishing to MQTT:\n") + MqttOptions::usage();
    text += QStringLiteral("\nWriting line protocol (time-series databases):\n");
    for (const LineOptionRow &row : LineOptionTable) {
        QString left = QStringLiteral("  --%1").arg(QLatin1String(row.name));
        if (row.valueName)
            left += u' ' + QLatin1String(row.valueName);
        text += left.leftJustified(34) + u' ' + QLatin1String(row.help) + u'\n';
    }
    return text;
}

bool ServiceConfig::operator==(const ServiceConfig &o) const
{
    return ports == o.ports && demo == o.demo && periodMs == o.periodMs && usb == o.usb && listen == o.listen
           && textfile == o.textfile && outputOptions == o.outputOptions && configFile == o.configFile && configFileGiven == o.configFileGiven
           && stateDir == o.stateDir && usbScanMs == o.usbScanMs;
}

QString DefaultStateDir()
{
    const QString systemd = qEnvironmentVariable("STATE_DIRECTORY");
    if (!systemd.isEmpty())
        return systemd.section(QLatin1Char(':'), 0, 0);
    const QString xdg = qEnvironmentVariable("XDG_STATE_HOME");
    if (!xdg.isEmpty())
        return xdg + QStringLiteral("/kv3917d");
    return QDir::homePath() + QStringLiteral("/.local/state/kv3917d");
}

ParseOutcome ParseCommandLine(const QStringList &args, CommandLine &line, QString *error)
{
    ServiceConfig &c = line.values;
    const auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return ParseOutcome::Error;
    };
    for (int i = 0; i < args.size(); ++i) {
        QString name = args.at(i);
        QString value;
        bool hasValue = false;
        if (name.startsWith(QLatin1String("--")) && name.contains(QLatin1Char('='))) {
            value = name.section(QLatin1Char('='), 1);
            name = name.section(QLatin1Char('='), 0, 0);
            hasValue = true;
        }
        const auto takeValue = [&]() {
            if (!hasValue) {
                if (i + 1 >= args.size())
                    return false;
                value = args.at(++i);
                hasValue = true;
            }
            return true;
        };
        const bool flag = name == QLatin1String("--help") || name == QLatin1String("-h")
                          || name == QLatin1String("--version") || name == QLatin1String("--no-usb");
        if (flag && hasValue)
            return fail(QStringLiteral("%1 takes no value").arg(name));
        if (name == QLatin1String("--help") || name == QLatin1String("-h"))
            return ParseOutcome::Help;
        if (name == QLatin1String("--version"))
            return ParseOutcome::Version;
        if (name == QLatin1String("--no-usb")) {
            c.usb = false;
            line.given.insert(KeyNoUsb);
            continue;
        }
        static const QStringList valued{QStringLiteral("--port"),     QStringLiteral("--demo"),
                                        QStringLiteral("--period"),   QStringLiteral("--listen"),
                                        QStringLiteral("--textfile"), QStringLiteral("--config"),
                                        QStringLiteral("--state-dir")};
        if (!valued.contains(name)) {
            const QString key = name.startsWith(QLatin1String("--")) ? name.mid(2) : QString();
            const OutputOptionKind kind = key.isEmpty() ? OutputOptionKind::Unknown : OutputOption(key);
            if (kind == OutputOptionKind::Unknown)
                return fail(QStringLiteral("unknown option '%1'").arg(name));
            if (kind == OutputOptionKind::Switch) {
                if (hasValue)
                    return fail(QStringLiteral("%1 takes no value").arg(name));
                value = QStringLiteral("true");
            } else if (!takeValue()) {
                return fail(QStringLiteral("%1 needs a value").arg(name));
            }
            c.outputOptions.append({key, value});
            line.given.insert(key);
            continue;
        }
        if (!takeValue())
            return fail(QStringLiteral("%1 needs a value").arg(name));
        const QString key = name.mid(2);
        if (key == KeyPort) {
            if (value.isEmpty())
                return fail(QStringLiteral("--port needs a port name or path"));
            if (!line.given.count(KeyPort))
                c.ports.clear();
            if (!c.ports.contains(value))
                c.ports << value;
        } else if (key == KeyDemo) {
            if (!ParseDemo(value, c.demo))
                return fail(QStringLiteral("--") + DemoError());
        } else if (key == KeyPeriod) {
            if (!ParsePeriod(value, c.periodMs))
                return fail(QStringLiteral("--") + PeriodError());
        } else if (key == KeyListen) {
            if (value.isEmpty())
                return fail(QStringLiteral("--listen needs an address"));
            c.listen = value;
        } else if (key == KeyTextfile) {
            if (value.isEmpty())
                return fail(QStringLiteral("--textfile needs a path"));
            c.textfile = value;
        } else if (key == QLatin1String("config")) {
            if (value.isEmpty())
                return fail(QStringLiteral("--config needs a file"));
            c.configFile = value;
            c.configFileGiven = true;
        } else if (key == KeyStateDir) {
            if (value.isEmpty())
                return fail(QStringLiteral("--state-dir needs a folder"));
            c.stateDir = value;
        }
        line.given.insert(key);
    }
    return ParseOutcome::Run;
}

bool ReadConfigFile(const QString &path, const std::set<QString> &skip, ServiceConfig &c, QString *error,
                    QStringList *warnings)
{
    const auto fail = [&](const QString &text) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, text);
        return false;
    };
    const QFileInfo info(path);
    if (!info.exists())
        return c.configFileGiven ? fail(QStringLiteral("no such file")) : true;
    if (!info.isFile() || !info.isReadable())
        return fail(QStringLiteral("cannot be read"));

    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError)
        return fail(QStringLiteral("not a settings file"));
    // Keys at the top of the file, or in a [kv3917d] section.
    QStringList keys = file.childKeys();
    if (file.childGroups().contains(QLatin1String("kv3917d"))) {
        file.beginGroup(QStringLiteral("kv3917d"));
        keys = file.childKeys();
    }
    static const QStringList known{KeyPort, KeyDemo, KeyPeriod, KeyNoUsb, KeyListen, KeyTextfile, KeyStateDir};
    for (const QString &key : keys) {
        if (!known.contains(key) && OutputOption(key) != OutputOptionKind::Unknown) {
            if (!skip.count(key))
                c.outputOptions.append({key, file.value(key).toStringList().join(QLatin1Char(','))});
            continue;
        }
        if (!known.contains(key)) {
            if (warnings)
                *warnings << QStringLiteral("%1: unknown key '%2' ignored").arg(path, key);
            continue;
        }
        if (skip.count(key))
            continue;
        const QVariant v = file.value(key);
        // QSettings splits "a, b" into a list; other keys take it whole.
        const QStringList list = v.toStringList();
        const QString text = list.join(QLatin1Char(','));
        if (key == KeyPort) {
            c.ports.clear();
            for (const QString &p : list)
                if (!p.trimmed().isEmpty() && !c.ports.contains(p.trimmed()))
                    c.ports << p.trimmed();
        } else if (key == KeyDemo) {
            if (!ParseDemo(text, c.demo))
                return fail(DemoError());
        } else if (key == KeyPeriod) {
            if (!ParsePeriod(text, c.periodMs))
                return fail(PeriodError());
        } else if (key == KeyNoUsb) {
            bool noUsb = false;
            if (!ParseBool(text, noUsb))
                return fail(QStringLiteral("no-usb needs true or false"));
            c.usb = !noUsb;
        } else if (key == KeyListen) {
            c.listen = text.trimmed();
        } else if (key == KeyTextfile) {
            c.textfile = text.trimmed();
        } else if (key == KeyStateDir) {
            c.stateDir = text.trimmed();
        }
    }
    return true;
}

bool ResolveConfig(const CommandLine &line, ServiceConfig &config, QString *error, QStringList *warnings)
{
    ServiceConfig c = line.values;
    if (!ReadConfigFile(c.configFile, line.given, c, error, warnings))
        return false;
    if (c.stateDir.isEmpty())
        c.stateDir = DefaultStateDir();
    config = c;
    return true;
}

} // namespace kv::service
