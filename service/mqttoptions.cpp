#include "service/mqttoptions.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSysInfo>
#include <QUrl>

#include <cmath>

namespace kv::service {

namespace {

struct OptionRow {
    const char *name;
    MqttOptions::Kind kind;
    const char *argument; // for the usage text
    const char *help;
};

// Every key of the MQTT output, as the command line and the configuration
// file spell it.
constexpr OptionRow OptionTable[] = {
    {"mqtt", MqttOptions::Kind::Value, "URL", "publish to the broker mqtt://host[:port] or mqtts://host[:port]"},
    {"mqtt-ca-file", MqttOptions::Kind::Value, "FILE", "certificate authorities for mqtts:// (default: the system's)"},
    {"mqtt-cert-file", MqttOptions::Kind::Value, "FILE", "client certificate for mqtts:// (with --mqtt-key-file)"},
    {"mqtt-key-file", MqttOptions::Kind::Value, "FILE", "client key for mqtts://"},
    {"mqtt-tls-insecure", MqttOptions::Kind::Flag, nullptr, "do not verify the broker's certificate (testing only)"},
    {"mqtt-username", MqttOptions::Kind::Value, "NAME", "user name at the broker"},
    {"mqtt-password-file", MqttOptions::Kind::Value, "FILE",
     "file holding the password (first line); or set KV3917_MQTT_PASSWORD"},
    {"mqtt-password", MqttOptions::Kind::Value, "", nullptr}, // refused: see set()
    {"mqtt-client-id", MqttOptions::Kind::Value, "ID", "client id (default: derived from host and configuration)"},
    {"mqtt-version", MqttOptions::Kind::Value, "3.1.1|5", "MQTT protocol version (default 3.1.1)"},
    {"mqtt-topic-prefix", MqttOptions::Kind::Value, "PREFIX", "first topic levels (default kv3917)"},
    {"mqtt-discovery-prefix", MqttOptions::Kind::Value, "PREFIX",
     "Home Assistant discovery prefix (default homeassistant)"},
    {"mqtt-qos", MqttOptions::Kind::Value, "0|1|2", "quality of service of every message (default 1)"},
    {"mqtt-period", MqttOptions::Kind::Value, "SECONDS", "publish a meter's reading at most this often (default 0: every reading)"},
    {"mqtt-queue", MqttOptions::Kind::Value, "N", "readings kept while the broker is away (default 10000)"},
    {"ha-discovery", MqttOptions::Kind::Value, "device|entity|off",
     "Home Assistant discovery: one message per meter, one per entity (older versions), none"},
    {"ha-remove", MqttOptions::Kind::Flag, nullptr,
     "remove the meters found from Home Assistant (empty retained discovery configs)"},
};

const OptionRow *findOption(const QString &name)
{
    for (const OptionRow &row : OptionTable)
        if (name == QLatin1String(row.name))
            return &row;
    return nullptr;
}

bool parseFlag(const QString &value, bool *flag)
{
    const QString v = value.trimmed().toLower();
    if (v.isEmpty() || v == u"1" || v == u"true" || v == u"yes" || v == u"on") {
        *flag = true;
        return true;
    }
    if (v == u"0" || v == u"false" || v == u"no" || v == u"off") {
        *flag = false;
        return true;
    }
    return false;
}

// A topic prefix: one or more non-empty levels, no wildcards, no NUL.
bool validPrefix(const QString &prefix)
{
    if (prefix.isEmpty() || prefix.toUtf8().size() > 200)
        return false;
    for (const QString &level : prefix.split(u'/'))
        if (level.isEmpty())
            return false;
    for (QChar c : prefix)
        if (c == u'+' || c == u'#' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    return true;
}

bool readable(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}

} // namespace

MqttOptions::Kind MqttOptions::kind(const QString &name)
{
    const OptionRow *row = findOption(name);
    return row ? row->kind : Kind::Unknown;
}

bool MqttOptions::set(const QString &name, const QString &value, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("--%1: %2").arg(name, why);
        return false;
    };
    if (name == u"mqtt") {
        if (!ParseBrokerUrl(value, *this, error))
            return false;
        enabled = true;
        brokerUrl = value.trimmed();
    } else if (name == u"mqtt-ca-file") {
        caFile = value;
    } else if (name == u"mqtt-cert-file") {
        certFile = value;
    } else if (name == u"mqtt-key-file") {
        keyFile = value;
    } else if (name == u"mqtt-tls-insecure") {
        if (!parseFlag(value, &tlsInsecure))
            return fail(QStringLiteral("expects true or false"));
    } else if (name == u"mqtt-username") {
        username = value;
    } else if (name == u"mqtt-password-file") {
        passwordFile = value;
    } else if (name == u"mqtt-password") {
        return fail(QStringLiteral("a password is never given as an option; use --mqtt-password-file FILE or "
                                   "the environment variable %1")
                        .arg(QLatin1String(MqttPasswordVariable)));
    } else if (name == u"mqtt-client-id") {
        const QString id = value.trimmed();
        if (id.isEmpty() || id.size() > MqttClientIdMaxLength)
            return fail(QStringLiteral("1 to %1 characters").arg(MqttClientIdMaxLength));
        for (QChar c : id)
            if (c.unicode() <= 0x20 || c.unicode() >= 0x7f)
                return fail(QStringLiteral("printable ASCII without spaces"));
        clientId = id;
    } else if (name == u"mqtt-version") {
        const QString v = value.trimmed();
        if (v == u"3.1.1" || v == u"4")
            protocolVersion = 4;
        else if (v == u"5")
            protocolVersion = 5;
        else
            return fail(QStringLiteral("3.1.1 or 5"));
    } else if (name == u"mqtt-topic-prefix" || name == u"mqtt-discovery-prefix") {
        const QString prefix = value.trimmed();
        if (!validPrefix(prefix))
            return fail(QStringLiteral("topic levels without +, #, empty levels or control characters"));
        (name == u"mqtt-topic-prefix" ? topicPrefix : discoveryPrefix) = prefix;
    } else if (name == u"mqtt-qos") {
        bool ok = false;
        const int q = value.trimmed().toInt(&ok);
        if (!ok || q < 0 || q > 2)
            return fail(QStringLiteral("0, 1 or 2"));
        qos = q;
    } else if (name == u"mqtt-period") {
        bool ok = false;
        const double seconds = value.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 86400)
            return fail(QStringLiteral("seconds from 0 (every reading) to 86400"));
        publishPeriodMs = int(std::lround(seconds * 1000));
    } else if (name == u"mqtt-queue") {
        bool ok = false;
        const int n = value.trimmed().toInt(&ok);
        if (!ok || n < 1 || n > MqttMaxQueueSize)
            return fail(QStringLiteral("1 to %1 readings").arg(MqttMaxQueueSize));
        queueSize = n;
    } else if (name == u"ha-discovery") {
        const QString v = value.trimmed().toLower();
        if (v == u"device")
            discovery = HaDiscoveryStyle::Device;
        else if (v == u"entity")
            discovery = HaDiscoveryStyle::Entity;
        else if (v == u"off")
            discovery = HaDiscoveryStyle::Off;
        else
            return fail(QStringLiteral("device, entity or off"));
    } else if (name == u"ha-remove") {
        if (!parseFlag(value, &haRemove))
            return fail(QStringLiteral("expects true or false"));
    } else {
        return fail(QStringLiteral("not an MQTT option"));
    }
    return true;
}

bool MqttOptions::finish(const QProcessEnvironment &environment, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!enabled) {
        if (haRemove)
            return fail(QStringLiteral("--ha-remove needs a broker (--mqtt URL)"));
        return true;
    }
    if (!tls && (!caFile.isEmpty() || !certFile.isEmpty() || !keyFile.isEmpty() || tlsInsecure))
        return fail(QStringLiteral("TLS options need an mqtts:// broker URL"));
    if (certFile.isEmpty() != keyFile.isEmpty())
        return fail(QStringLiteral("--mqtt-cert-file and --mqtt-key-file go together"));
    for (const QString *path : {&caFile, &certFile, &keyFile})
        if (!path->isEmpty() && !readable(*path))
            return fail(QStringLiteral("cannot read %1").arg(*path));

    hasPassword = false;
    password.clear();
    if (!passwordFile.isEmpty()) {
        QFile file(passwordFile);
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read the MQTT password file %1").arg(passwordFile));
        QByteArray line = file.readLine(4096);
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        password = QString::fromUtf8(line);
        hasPassword = true;
    } else if (environment.contains(QLatin1String(MqttPasswordVariable))) {
        password = environment.value(QLatin1String(MqttPasswordVariable));
        hasPassword = true;
    }
    if (hasPassword && username.isEmpty())
        return fail(QStringLiteral("an MQTT password needs --mqtt-username"));

    if (haRemove && discovery == HaDiscoveryStyle::Off)
        discovery = HaDiscoveryStyle::Device;
    if (clientId.isEmpty())
        clientId = DeriveMqttClientId(QSysInfo::machineHostName(), *this);
    return true;
}

QString MqttOptions::usage()
{
    QString text;
    for (const OptionRow &row : OptionTable) {
        if (!row.help)
            continue;
        QString left = QStringLiteral("  --%1").arg(QLatin1String(row.name));
        if (row.argument)
            left += u' ' + QLatin1String(row.argument);
        text += left.leftJustified(34) + u' ' + QLatin1String(row.help) + u'\n';
    }
    return text;
}

bool ParseBrokerUrl(const QString &text, MqttOptions &options, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("--mqtt %1: %2").arg(text, why);
        return false;
    };
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid())
        return fail(QStringLiteral("not a URL"));
    const QString scheme = url.scheme().toLower();
    if (scheme != u"mqtt" && scheme != u"mqtts")
        return fail(QStringLiteral("expected mqtt://host[:port] or mqtts://host[:port]"));
    if (!url.userInfo().isEmpty())
        return fail(QStringLiteral("no user or password in the URL; use --mqtt-username and "
                                   "--mqtt-password-file"));
    if (url.host().isEmpty())
        return fail(QStringLiteral("no host"));
    if ((!url.path().isEmpty() && url.path() != u"/") || url.hasQuery() || url.hasFragment())
        return fail(QStringLiteral("no path, query or fragment"));
    options.tls = scheme == u"mqtts";
    options.host = url.host();
    options.port = url.port(options.tls ? MqttDefaultTlsPort : MqttDefaultPort);
    if (options.port < 1 || options.port > 65535)
        return fail(QStringLiteral("port out of range"));
    return true;
}

QString DeriveMqttClientId(const QString &hostName, const MqttOptions &options)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString &part : {hostName, options.host, QString::number(options.port), options.username,
                                options.topicPrefix, options.discoveryPrefix}) {
        hash.addData(part.toUtf8());
        hash.addData(QByteArrayView("\0", 1));
    }
    const QLatin1String stem("kv3917d");
    return stem + QString::fromLatin1(hash.result().toHex().left(MqttClientIdMaxLength - stem.size()));
}

} // namespace kv::service
