#pragma once
// A test subscriber on libmosquitto's own thread: connects, subscribes to a
// filter and records every message (topic, payload, retained flag) in order.
// sync() publishes a probe and waits (running the caller's event loop) until
// it comes back, so everything the broker sent before (retained messages
// after subscribing, earlier publications) has arrived: absence can be
// checked without waiting for time.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QTest>
#include <QWaitCondition>

#include <mosquitto.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

namespace kvtest {

constexpr int SubscriberTimeoutMs = 15000;
constexpr int EventWaitStepMs = 5;

struct ReceivedMessage {
    QString topic;
    QByteArray payload;
    bool retained = false;
    std::int64_t receivedNs = 0; // steady clock, for latency measurements
};

class MqttSubscriber {
public:
    MqttSubscriber()
    {
        static std::once_flag once;
        std::call_once(once, [] { mosquitto_lib_init(); });
        m_mosq = mosquitto_new(nullptr, true, this);
        mosquitto_connect_callback_set(m_mosq, [](mosquitto *, void *self, int rc) {
            static_cast<MqttSubscriber *>(self)->signal([&](MqttSubscriber &s) { s.m_connackRc = rc; });
        });
        mosquitto_subscribe_callback_set(m_mosq, [](mosquitto *, void *self, int, int, const int *) {
            static_cast<MqttSubscriber *>(self)->signal([](MqttSubscriber &s) { ++s.m_subacks; });
        });
        mosquitto_message_callback_set(m_mosq, [](mosquitto *, void *self, const mosquitto_message *m) {
            static_cast<MqttSubscriber *>(self)->signal([&](MqttSubscriber &s) {
                s.m_messages.append({QString::fromUtf8(m->topic),
                                     QByteArray(static_cast<const char *>(m->payload), m->payloadlen), m->retain,
                                     std::chrono::duration_cast<std::chrono::nanoseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count()});
            });
        });
    }
    ~MqttSubscriber()
    {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, true);
        mosquitto_destroy(m_mosq);
    }

    // Connects and subscribes (QoS 1); true once the broker confirmed both.
    bool connect(int port, const QString &filter = QStringLiteral("#"), const QString &user = QString(),
                 const QString &password = QString())
    {
        if (!user.isEmpty())
            mosquitto_username_pw_set(m_mosq, user.toUtf8().constData(), password.toUtf8().constData());
        if (mosquitto_connect(m_mosq, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
            return false;
        if (mosquitto_loop_start(m_mosq) != MOSQ_ERR_SUCCESS)
            return false;
        if (!waitFor([](const MqttSubscriber &s) { return s.m_connackRc == 0; }))
            return false;
        m_probePrefix = filter.endsWith(u'#') ? filter.chopped(1) + QStringLiteral("kvtest-probe/") : filter;
        const int subacks = m_subacks;
        mosquitto_subscribe(m_mosq, nullptr, filter.toUtf8().constData(), 1);
        return waitFor([subacks](const MqttSubscriber &s) { return s.m_subacks > subacks; });
    }

    bool publish(const QString &topic, const QByteArray &payload, bool retain = false)
    {
        return mosquitto_publish(m_mosq, nullptr, topic.toUtf8().constData(), int(payload.size()), payload.constData(),
                                 1, retain) == MOSQ_ERR_SUCCESS;
    }

    // Waits until a probe published now (on a topic under the filter) comes
    // back, then drops the probe from the record.
    bool sync()
    {
        const QString topic = m_probePrefix.endsWith(u'/') ? m_probePrefix + QString::number(++m_probes) : m_probePrefix;
        if (!publish(topic, "probe"))
            return false;
        const bool seen = waitWithEvents([&](const MqttSubscriber &s) { return s.count(topic) > 0; });
        QMutexLocker lock(&m_mutex);
        m_messages.removeIf([&](const ReceivedMessage &m) { return m.topic.startsWith(m_probePrefix); });
        return seen;
    }

    QList<ReceivedMessage> messages() const
    {
        QMutexLocker lock(&m_mutex);
        return m_messages;
    }
    QList<ReceivedMessage> messages(const QString &topic) const
    {
        QList<ReceivedMessage> found;
        for (const ReceivedMessage &m : messages())
            if (m.topic == topic)
                found.append(m);
        return found;
    }
    int count(const QString &topic) const { return int(messages(topic).size()); }
    int size() const
    {
        QMutexLocker lock(&m_mutex);
        return int(m_messages.size());
    }
    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_messages.clear();
    }

    // Runs the event loop of this thread (so publishers on it go on) until the
    // record satisfies `condition`, which reads it through the accessors;
    // bounded.
    template <class Condition>
    bool waitWithEvents(Condition condition, int timeoutMs = SubscriberTimeoutMs) const
    {
        const QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            if (condition(*this)) // through the accessors, which lock
                return true;
            if (deadline.hasExpired())
                return false;
            QTest::qWait(EventWaitStepMs);
        }
    }

    // Blocks this thread (bounded) until `condition`, called with the lock
    // held and so reading the members directly, holds.
    template <class Condition>
    bool waitFor(Condition condition, int timeoutMs = SubscriberTimeoutMs) const
    {
        const QDeadlineTimer deadline(timeoutMs);
        QMutexLocker lock(&m_mutex);
        while (!condition(*this)) {
            if (deadline.hasExpired())
                return false;
            m_changed.wait(&m_mutex, deadline);
        }
        return true;
    }

private:
    template <class Change>
    void signal(Change change)
    {
        QMutexLocker lock(&m_mutex);
        change(*this);
        m_changed.wakeAll();
    }

    mosquitto *m_mosq = nullptr;
    mutable QMutex m_mutex;
    mutable QWaitCondition m_changed;
    QList<ReceivedMessage> m_messages;
    int m_connackRc = -1;
    int m_subacks = 0;
    int m_probes = 0;
    QString m_probePrefix;
};

} // namespace kvtest
