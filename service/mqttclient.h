#pragma once
// A publishing MQTT client on libmosquitto, driven from the Qt event loop of
// the thread that owns it: the broker's socket sits on socket notifiers, a
// timer calls libmosquitto's housekeeping (keep-alive), and every callback
// runs on that thread.  No thread of its own, so no locks.  The broker's name
// is looked up with QHostInfo, so an unreachable name never blocks the loop.
//
// Two lanes of messages:
//   publishSession(): what describes the present (availability, discovery);
//     sent only while connected, never dropped, forgotten when the
//     connection drops: the owner publishes it again on connected().
//   enqueue(): readings; kept in a bounded queue across outages (the oldest
//     dropped first when full, counted and logged) and delivered in order
//     once connected again.  A message leaves the queue when the broker
//     acknowledges it; unacknowledged ones go back to its front on a drop.
// At most `inflightWindow` messages are unacknowledged at a time.
//
// Each attempt starts a fresh libmosquitto session (clean session), so
// libmosquitto never resends on its own and the queue alone decides order.
// Reconnects back off from backoffMinMs to backoffMaxMs with jitter; refused
// credentials are logged once and retried at the slowest rate.

#include "service/mqttbackoff.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <deque>

struct mosquitto;
struct mosquitto_message;
class QHostInfo;
class QSocketNotifier;

namespace kv::service {

Q_DECLARE_LOGGING_CATEGORY(lcMqtt)

struct MqttClientSettings {
    QString host;
    int port = 1883;
    bool tls = false;
    QString caFile;
    QString certFile;
    QString keyFile;
    bool tlsInsecure = false;
    QString username;
    QString password;
    bool hasPassword = false;
    QString clientId;
    int protocolVersion = 4; // 4 = 3.1.1, 5
    int keepAliveSeconds = 30;
    QString willTopic;       // empty: no last will
    QByteArray willPayload;
    int willQos = 1;
    bool willRetain = true;
    int queueSize = 10000;
    int inflightWindow = 100;
    int backoffMinMs = 1000;
    int backoffMaxMs = 60000;
    int connectTimeoutMs = 10000;
    std::uint32_t seed = 0;  // of the back-off jitter
};

struct MqttCounters {
    std::uint64_t sent = 0;           // acknowledged by the broker (QoS 0: written)
    std::uint64_t dropped = 0;        // readings dropped from a full queue
    std::uint64_t queued = 0;         // waiting now: in the queue or unacknowledged
    std::uint64_t connects = 0;       // connections accepted by the broker
    std::uint64_t connectAttempts = 0;
    bool connected = false;
};

class MqttClient : public QObject {
    Q_OBJECT
public:
    explicit MqttClient(const MqttClientSettings &settings, QObject *parent = nullptr);
    ~MqttClient() override;

    void start();
    // Sends what is waiting in the session lane and on the wire for at most
    // flushMs, then disconnects (no last will) and stays stopped.
    void stop(int flushMs);

    bool isConnected() const { return m_state == State::Connected; }
    void setSubscriptions(const QStringList &topics, int qos);
    void publishSession(const QString &topic, const QByteArray &payload, int qos, bool retain);
    void enqueue(const QString &topic, const QByteArray &payload, int qos, bool retain);

    MqttCounters counters() const;
    const MqttClientSettings &settings() const { return m_settings; }

signals:
    void connected();
    void connectionLost();
    void messageReceived(const QString &topic, const QByteArray &payload);

private:
    enum class State { Idle, Resolving, Connecting, Connected, Waiting, Stopped };
    struct Message {
        QByteArray topic;
        QByteArray payload;
        int qos = 1;
        bool retain = false;
        bool durable = false; // from the queue lane
        std::uint64_t seq = 0;
    };

    void attempt();
    void hostLookedUp(const QHostInfo &info);
    void connectTo(const QString &address);
    bool createHandle();
    void destroyHandle();
    void syncNotifiers();
    void dropNotifiers();
    void readable();
    void writable();
    void housekeeping();
    // Handles what the callbacks recorded during a libmosquitto call.
    void afterLoop();
    void connectionDown(const QString &reason);
    void pump();
    bool publishOne(Message &message);
    void trimQueue();

    static void onConnect(mosquitto *, void *self, int rc);
    static void onDisconnect(mosquitto *, void *self, int rc);
    static void onPublish(mosquitto *, void *self, int mid);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *message);

    MqttClientSettings m_settings;
    MqttBackoff m_backoff;
    State m_state = State::Idle;
    mosquitto *m_mosq = nullptr;
    int m_fd = -1;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer m_housekeeping;
    QTimer m_retry;
    QTimer m_connectTimeout;
    QList<QHostAddress> m_addresses;
    int m_lookupId = -1;
    QStringList m_subscriptions;
    int m_subscriptionQos = 1;

    std::deque<Message> m_session;
    std::deque<Message> m_queue;
    QHash<int, Message> m_inflight;
    std::uint64_t m_nextSeq = 0;
    MqttCounters m_counters;

    // Recorded by the callbacks, handled by afterLoop().
    bool m_connackSeen = false;
    int m_connackRc = 0;
    int m_refusedRc = 0;   // of this attempt
    bool m_lost = false;
    int m_lostRc = 0;
    QString m_lostReason;
    QList<QPair<QString, QByteArray>> m_received;
    // Publishing: libmosquitto may report a QoS 0 message written before
    // mosquitto_publish() returns.
    bool m_inPublish = false;
    int m_publishMid = 0;
    bool m_publishDone = false;

    // Logged once per outage.
    bool m_outageLogged = false;
    bool m_refusalLogged = false;
    bool m_dropLogged = false;
    std::uint64_t m_droppedInOutage = 0;
};

} // namespace kv::service
