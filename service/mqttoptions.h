#pragma once
// What the MQTT output is told by the command line and the configuration
// file: the same key names in both (the command line spells them --key), the
// command line winning.  The password never comes from either: it is read
// from the file named by mqtt-password-file, or from the environment
// variable KV3917_MQTT_PASSWORD.

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace kv::service {

constexpr int MqttDefaultPort = 1883;
constexpr int MqttDefaultTlsPort = 8883;
constexpr int MqttDefaultQueueSize = 10000;
constexpr int MqttMaxQueueSize = 1000000;
constexpr int MqttKeepAliveSeconds = 30;
constexpr int MqttClientIdMaxLength = 23; // the length every MQTT 3.1.1 broker accepts
constexpr const char *MqttPasswordVariable = "KV3917_MQTT_PASSWORD";

enum class HaDiscoveryStyle { Device, Entity, Off };

struct MqttOptions {
    bool enabled = false;       // a broker URL was given
    QString brokerUrl;          // as given, for messages and the client id
    QString host;
    int port = MqttDefaultPort;
    bool tls = false;           // mqtts://
    QString caFile;             // empty: the system's certificate authorities
    QString certFile;
    QString keyFile;
    bool tlsInsecure = false;   // no server verification (testing only)
    QString username;
    QString passwordFile;
    QString password;           // filled by finish(), never from an option
    bool hasPassword = false;
    QString clientId;           // empty: derived by finish()
    int protocolVersion = 4;    // 4 = MQTT 3.1.1, 5 = MQTT 5
    QString topicPrefix = QStringLiteral("kv3917");
    QString discoveryPrefix = QStringLiteral("homeassistant");
    int qos = 1;
    int publishPeriodMs = 0;    // 0: every reading
    int queueSize = MqttDefaultQueueSize;
    HaDiscoveryStyle discovery = HaDiscoveryStyle::Device;
    bool haRemove = false;
    // The service's poll period; Home Assistant's expire_after is three of
    // the slower of this and the publish period.  Set by the service.
    int pollPeriodMs = 500;
    // Reconnect back-off bounds (tests shorten them).
    int backoffMinMs = 1000;
    int backoffMaxMs = 60000;
    int connectTimeoutMs = 10000;

    // How an option is given: a flag (--ha-remove), a value (--mqtt URL), or
    // not an MQTT option at all.  `name` is the key without leading dashes.
    enum class Kind { Unknown, Flag, Value };
    static Kind kind(const QString &name);
    // Sets one option; a flag takes "" (given), or true/false/yes/no/1/0 as in
    // the configuration file.  False with a message naming the option.
    bool set(const QString &name, const QString &value, QString *error);
    // Checks what belongs together, reads the password and derives the client
    // id.  Call once after the last set(), before starting the output.
    bool finish(const QProcessEnvironment &environment, QString *error);

    // Lines for --help.
    static QString usage();
};

// Parses mqtt://host[:port] and mqtts://host[:port] (IPv6 as [addr]); no user
// information, path or query.
bool ParseBrokerUrl(const QString &url, MqttOptions &options, QString *error);

// A client id of at most 23 letters and digits that stays the same for the
// same host and configuration.
QString DeriveMqttClientId(const QString &hostName, const MqttOptions &options);

} // namespace kv::service
