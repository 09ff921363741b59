#include "service/mqttclient.h"

#include <QDeadlineTimer>
#include <QHostInfo>
#include <QSocketNotifier>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace kv::service {

Q_LOGGING_CATEGORY(lcMqtt, "kv3917d.mqtt", QtInfoMsg)

namespace {

constexpr int HousekeepingMs = 1000; // keep-alive checks; well below the keep-alive
constexpr int StopPollMs = 50;
constexpr const char *SystemCaFolder = "/etc/ssl/certs";

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString errorText(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

// CONNACK codes that say the broker will not take these credentials (or this
// client) however often it is asked.
bool credentialsRefused(int rc)
{
    switch (rc) {
    case 2: // identifier rejected (3.1.1)
    case 4: // bad user name or password
    case 5: // not authorised
    case MQTT_RC_CLIENTID_NOT_VALID:
    case MQTT_RC_BAD_USERNAME_OR_PASSWORD:
    case MQTT_RC_NOT_AUTHORIZED:
    case MQTT_RC_BANNED:
    case MQTT_RC_BAD_AUTHENTICATION_METHOD:
        return true;
    default:
        return false;
    }
}

} // namespace

MqttClient::MqttClient(const MqttClientSettings &settings, QObject *parent)
    : QObject(parent), m_settings(settings),
      m_backoff(settings.backoffMinMs, settings.backoffMaxMs, settings.seed)
{
    initLibrary();
    m_housekeeping.setInterval(HousekeepingMs);
    connect(&m_housekeeping, &QTimer::timeout, this, &MqttClient::housekeeping);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &MqttClient::attempt);
    m_connectTimeout.setSingleShot(true);
    connect(&m_connectTimeout, &QTimer::timeout, this, [this] {
        if (m_state == State::Connecting)
            connectionDown(QStringLiteral("no answer within %1 s").arg(m_settings.connectTimeoutMs / 1000.0));
    });
}

MqttClient::~MqttClient()
{
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    destroyHandle();
}

void MqttClient::start()
{
    if (m_state == State::Idle)
        attempt();
}

void MqttClient::setSubscriptions(const QStringList &topics, int qos)
{
    m_subscriptions = topics;
    m_subscriptionQos = qos;
}

void MqttClient::attempt()
{
    if (m_state == State::Stopped)
        return;
    QHostAddress literal;
    if (literal.setAddress(m_settings.host)) {
        connectTo(m_settings.host);
        return;
    }
    m_state = State::Resolving;
    m_lookupId = QHostInfo::lookupHost(m_settings.host, this, &MqttClient::hostLookedUp);
}

void MqttClient::hostLookedUp(const QHostInfo &info)
{
    m_lookupId = -1;
    if (m_state != State::Resolving)
        return;
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        connectionDown(QStringLiteral("cannot resolve %1: %2").arg(m_settings.host, info.errorString()));
        return;
    }
    m_addresses = info.addresses();
    // TLS checks the certificate against the name, so it connects by name
    // (just resolved, so the resolver answers at once); plain connections
    // take the addresses in turn.
    if (m_settings.tls)
        connectTo(m_settings.host);
    else
        connectTo(m_addresses.at(int(m_counters.connectAttempts % std::uint64_t(m_addresses.size()))).toString());
}

bool MqttClient::createHandle()
{
    destroyHandle();
    m_mosq = mosquitto_new(m_settings.clientId.toUtf8().constData(), true, this);
    if (!m_mosq) {
        m_lostReason = QStringLiteral("cannot create the MQTT client");
        return false;
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION,
                         m_settings.protocolVersion == 5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    mosquitto_max_inflight_messages_set(m_mosq, unsigned(m_settings.inflightWindow));
    mosquitto_connect_callback_set(m_mosq, &MqttClient::onConnect);
    mosquitto_disconnect_callback_set(m_mosq, &MqttClient::onDisconnect);
    mosquitto_publish_callback_set(m_mosq, &MqttClient::onPublish);
    mosquitto_message_callback_set(m_mosq, &MqttClient::onMessage);
    int rc = MOSQ_ERR_SUCCESS;
    if (!m_settings.willTopic.isEmpty()) {
        rc = mosquitto_will_set(m_mosq, m_settings.willTopic.toUtf8().constData(), int(m_settings.willPayload.size()),
                                m_settings.willPayload.constData(), m_settings.willQos, m_settings.willRetain);
        if (rc != MOSQ_ERR_SUCCESS) {
            m_lostReason = QStringLiteral("last will: %1").arg(errorText(rc));
            return false;
        }
    }
    if (!m_settings.username.isEmpty()) {
        rc = mosquitto_username_pw_set(m_mosq, m_settings.username.toUtf8().constData(),
                                       m_settings.hasPassword ? m_settings.password.toUtf8().constData() : nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            m_lostReason = QStringLiteral("user name: %1").arg(errorText(rc));
            return false;
        }
    }
    if (m_settings.tls) {
        const QByteArray ca = m_settings.caFile.toLocal8Bit();
        const QByteArray cert = m_settings.certFile.toLocal8Bit();
        const QByteArray key = m_settings.keyFile.toLocal8Bit();
        if (ca.isEmpty())
            rc = mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        // mosquitto_tls_set() wants a CA file or folder; without a CA file of
        // our own, a client certificate goes with the system's folder.
        if (rc == MOSQ_ERR_SUCCESS && (!ca.isEmpty() || !cert.isEmpty()))
            rc = mosquitto_tls_set(m_mosq, ca.isEmpty() ? nullptr : ca.constData(),
                                   ca.isEmpty() ? SystemCaFolder : nullptr, cert.isEmpty() ? nullptr : cert.constData(),
                                   key.isEmpty() ? nullptr : key.constData(), nullptr);
        if (rc == MOSQ_ERR_SUCCESS && m_settings.tlsInsecure) {
            rc = mosquitto_tls_opts_set(m_mosq, 0, nullptr, nullptr);
            if (rc == MOSQ_ERR_SUCCESS)
                rc = mosquitto_tls_insecure_set(m_mosq, true);
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            m_lostReason = QStringLiteral("TLS set-up: %1").arg(errorText(rc));
            return false;
        }
    }
    return true;
}

void MqttClient::destroyHandle()
{
    dropNotifiers();
    if (m_mosq) {
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
    }
}

void MqttClient::connectTo(const QString &address)
{
    ++m_counters.connectAttempts;
    m_lost = false;
    m_lostRc = 0;
    m_connackSeen = false;
    m_refusedRc = 0;
    if (!createHandle()) {
        connectionDown(m_lostReason);
        return;
    }
    m_state = State::Connecting;
    errno = 0;
    const int rc = mosquitto_connect_async(m_mosq, address.toUtf8().constData(), m_settings.port,
                                           m_settings.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        connectionDown(errorText(rc));
        return;
    }
    m_connectTimeout.start(m_settings.connectTimeoutMs);
    syncNotifiers();
}

void MqttClient::syncNotifiers()
{
    const int fd = m_mosq ? mosquitto_socket(m_mosq) : -1;
    if (fd != m_fd) {
        dropNotifiers();
        if (fd >= 0) {
            m_fd = fd;
            m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
            connect(m_readNotifier, &QSocketNotifier::activated, this, &MqttClient::readable);
            m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
            connect(m_writeNotifier, &QSocketNotifier::activated, this, &MqttClient::writable);
            m_housekeeping.start();
        }
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(mosquitto_want_write(m_mosq));
}

void MqttClient::dropNotifiers()
{
    // The socket may already be closed: disable at once, delete later (this
    // may run inside one of their own signals).
    for (QSocketNotifier **notifier : {&m_readNotifier, &m_writeNotifier}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
    }
    m_fd = -1;
    m_housekeeping.stop();
}

void MqttClient::readable()
{
    if (!m_mosq)
        return;
    const int rc = mosquitto_loop_read(m_mosq, 1);
    if (rc != MOSQ_ERR_SUCCESS && !m_lost) {
        m_lost = true;
        m_lostRc = rc;
    }
    afterLoop();
}

void MqttClient::writable()
{
    if (!m_mosq)
        return;
    const int rc = mosquitto_loop_write(m_mosq, 1);
    if (rc != MOSQ_ERR_SUCCESS && !m_lost) {
        m_lost = true;
        m_lostRc = rc;
    }
    afterLoop();
}

void MqttClient::housekeeping()
{
    if (!m_mosq)
        return;
    const int rc = mosquitto_loop_misc(m_mosq);
    if (rc != MOSQ_ERR_SUCCESS && !m_lost) {
        m_lost = true;
        m_lostRc = rc;
    }
    afterLoop();
}

void MqttClient::afterLoop()
{
    if (m_connackSeen) {
        m_connackSeen = false;
        if (m_connackRc != 0) {
            m_refusedRc = m_connackRc;
            m_lost = true;
        } else if (m_state == State::Connecting) {
            m_state = State::Connected;
            m_connectTimeout.stop();
            m_backoff.reset();
            ++m_counters.connects;
            if (m_counters.connects == 1 && !m_outageLogged && !m_refusalLogged)
                qCInfo(lcMqtt, "MQTT: connected to %s:%d as %s", qPrintable(m_settings.host), m_settings.port,
                       qPrintable(m_settings.clientId));
            else
                qCInfo(lcMqtt, "MQTT: connected again to %s:%d", qPrintable(m_settings.host), m_settings.port);
            if (m_droppedInOutage > 0)
                qCWarning(lcMqtt, "MQTT: %llu readings were dropped while the broker was unreachable",
                          static_cast<unsigned long long>(m_droppedInOutage));
            m_outageLogged = m_refusalLogged = m_dropLogged = false;
            m_droppedInOutage = 0;
            for (const QString &topic : std::as_const(m_subscriptions))
                mosquitto_subscribe(m_mosq, nullptr, topic.toUtf8().constData(), m_subscriptionQos);
            emit connected();
        }
    }
    if (!m_received.isEmpty() && m_state == State::Connected) {
        const auto received = std::exchange(m_received, {});
        for (const auto &[topic, payload] : received) {
            emit messageReceived(topic, payload);
            if (m_state != State::Connected)
                break;
        }
    }
    m_received.clear();
    if (m_state != State::Connected && m_state != State::Connecting)
        return; // connectionDown() ran from one of the signals
    pump();
    if (m_lost || (m_mosq && mosquitto_socket(m_mosq) < 0)) {
        QString reason;
        if (m_refusedRc != 0)
            reason = QString::fromUtf8(m_settings.protocolVersion == 5 ? mosquitto_reason_string(m_refusedRc)
                                                                       : mosquitto_connack_string(m_refusedRc));
        else
            reason = errorText(m_lostRc ? m_lostRc : MOSQ_ERR_CONN_LOST);
        connectionDown(reason);
        return;
    }
    syncNotifiers();
}

void MqttClient::connectionDown(const QString &reason)
{
    const bool wasConnected = m_state == State::Connected;
    m_connectTimeout.stop();
    destroyHandle();

    // Unacknowledged readings go back to the front of the queue, in order.
    QList<Message> back;
    for (const Message &message : std::as_const(m_inflight))
        if (message.durable)
            back.append(message);
    std::sort(back.begin(), back.end(), [](const Message &a, const Message &b) { return a.seq < b.seq; });
    for (auto it = back.rbegin(); it != back.rend(); ++it)
        m_queue.push_front(*it);
    m_inflight.clear();
    m_session.clear();
    trimQueue();
    m_lost = false;
    m_state = State::Waiting;

    const QString broker = QStringLiteral("%1:%2").arg(m_settings.host).arg(m_settings.port);
    int delay = 0;
    if (credentialsRefused(m_refusedRc)) {
        if (!m_refusalLogged)
            qCWarning(lcMqtt, "MQTT: the broker %s refused the connection of %s (%s); retrying every %s s",
                      qPrintable(broker),
                      m_settings.username.isEmpty() ? "an anonymous client"
                                                    : qPrintable(QStringLiteral("user \"%1\"").arg(m_settings.username)),
                      qPrintable(reason), qPrintable(QString::number(m_backoff.slowestDelayMs() / 1000.0)));
        m_refusalLogged = true;
        delay = m_backoff.slowestDelayMs();
    } else {
        if (wasConnected)
            qCWarning(lcMqtt, "MQTT: lost the connection to %s (%s); reconnecting", qPrintable(broker),
                      qPrintable(reason));
        else if (!m_outageLogged)
            qCWarning(lcMqtt, "MQTT: cannot connect to %s (%s); retrying every %s to %s s", qPrintable(broker),
                      qPrintable(reason), qPrintable(QString::number(m_settings.backoffMinMs / 1000.0)),
                      qPrintable(QString::number(m_settings.backoffMaxMs / 1000.0)));
        m_outageLogged = true;
        delay = m_backoff.nextDelayMs();
    }
    m_retry.start(delay);
    if (wasConnected)
        emit connectionLost();
}

void MqttClient::publishSession(const QString &topic, const QByteArray &payload, int qos, bool retain)
{
    if (m_state != State::Connected)
        return; // published again on connected()
    m_session.push_back({topic.toUtf8(), payload, qos, retain, false, m_nextSeq++});
    pump();
    if (m_lost)
        afterLoop();
    else
        syncNotifiers();
}

void MqttClient::enqueue(const QString &topic, const QByteArray &payload, int qos, bool retain)
{
    if (m_state == State::Stopped)
        return;
    m_queue.push_back({topic.toUtf8(), payload, qos, retain, true, m_nextSeq++});
    trimQueue();
    if (m_state != State::Connected)
        return;
    pump();
    if (m_lost)
        afterLoop();
    else
        syncNotifiers();
}

void MqttClient::trimQueue()
{
    while (m_queue.size() > std::size_t(std::max(1, m_settings.queueSize))) {
        m_queue.pop_front();
        ++m_counters.dropped;
        ++m_droppedInOutage;
        if (!m_dropLogged)
            qCWarning(lcMqtt, "MQTT: the queue is full (%d readings); dropping the oldest", m_settings.queueSize);
        m_dropLogged = true;
    }
}

void MqttClient::pump()
{
    if (m_state != State::Connected || !m_mosq)
        return;
    while (!m_lost && m_inflight.size() < m_settings.inflightWindow) {
        std::deque<Message> &lane = !m_session.empty() ? m_session : m_queue;
        if (lane.empty())
            break;
        Message message = std::move(lane.front());
        lane.pop_front();
        if (!publishOne(message)) {
            if (message.durable)
                m_queue.push_front(std::move(message));
            break;
        }
    }
}

bool MqttClient::publishOne(Message &message)
{
    m_inPublish = true;
    m_publishDone = false;
    m_publishMid = 0;
    const int rc = mosquitto_publish(m_mosq, &m_publishMid, message.topic.constData(), int(message.payload.size()),
                                     message.payload.constData(), message.qos, message.retain);
    m_inPublish = false;
    switch (rc) {
    case MOSQ_ERR_SUCCESS:
        if (m_publishDone)
            ++m_counters.sent;
        else
            m_inflight.insert(m_publishMid, std::move(message));
        return true;
    case MOSQ_ERR_INVAL:
    case MOSQ_ERR_PAYLOAD_SIZE:
    case MOSQ_ERR_MALFORMED_UTF8:
    case MOSQ_ERR_QOS_NOT_SUPPORTED:
    case MOSQ_ERR_OVERSIZE_PACKET:
        // This message can never be sent; the others can.
        qCWarning(lcMqtt, "MQTT: cannot publish to %s: %s", message.topic.constData(), qPrintable(errorText(rc)));
        ++m_counters.dropped;
        return true;
    default:
        m_lost = true;
        m_lostRc = rc;
        return false;
    }
}

void MqttClient::stop(int flushMs)
{
    m_retry.stop();
    m_connectTimeout.stop();
    if (m_lookupId >= 0) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
    if (m_state == State::Connected && m_mosq) {
        const QDeadlineTimer deadline(flushMs);
        pump();
        while (!m_lost && (!m_session.empty() || !m_queue.empty() || !m_inflight.isEmpty()) &&
               !deadline.hasExpired()) {
            const int wait = int(std::clamp<qint64>(deadline.remainingTime(), 1, StopPollMs));
            if (mosquitto_loop(m_mosq, wait, 1) != MOSQ_ERR_SUCCESS)
                break;
            m_received.clear();
            pump();
        }
        mosquitto_disconnect(m_mosq);
    }
    const std::size_t left = m_queue.size() + std::size_t(std::count_if(m_inflight.cbegin(), m_inflight.cend(),
                                                                        [](const Message &m) { return m.durable; }));
    if (left > 0)
        qCWarning(lcMqtt, "MQTT: stopping with %zu readings not delivered", left);
    destroyHandle();
    m_queue.clear();
    m_session.clear();
    m_inflight.clear();
    m_state = State::Stopped;
}

MqttCounters MqttClient::counters() const
{
    MqttCounters counters = m_counters;
    counters.queued = m_queue.size() + m_session.size() + std::size_t(m_inflight.size());
    counters.connected = m_state == State::Connected;
    return counters;
}

void MqttClient::onConnect(mosquitto *, void *self, int rc)
{
    auto *client = static_cast<MqttClient *>(self);
    client->m_connackSeen = true;
    client->m_connackRc = rc;
}

void MqttClient::onDisconnect(mosquitto *, void *self, int rc)
{
    auto *client = static_cast<MqttClient *>(self);
    if (!client->m_lost) {
        client->m_lost = true;
        client->m_lostRc = rc;
    }
}

void MqttClient::onPublish(mosquitto *, void *self, int mid)
{
    auto *client = static_cast<MqttClient *>(self);
    if (client->m_inPublish && mid == client->m_publishMid) {
        client->m_publishDone = true;
        return;
    }
    if (client->m_inflight.remove(mid))
        ++client->m_counters.sent;
}

void MqttClient::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *client = static_cast<MqttClient *>(self);
    client->m_received.append({QString::fromUtf8(message->topic),
                               QByteArray(static_cast<const char *>(message->payload), message->payloadlen)});
}

} // namespace kv::service
