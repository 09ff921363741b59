#pragma once
// The service core: one Session per meter (every USB meter, each configured
// port, the demo meters), the status of every meter, and the sinks fed from
// them.  Lives on the main thread; sinks are called there, in the order they
// were added, in the order things happened for each meter.

#include "service/channels.h"
#include "service/config.h"
#include "service/session.h"
#include "service/sink.h"
#include "service/usbsource.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

namespace kv::service {

// Polling makes progress while every session ended a tick within this time
// (or four periods, if longer): a session stuck in an exchange stops the
// watchdog and the health check.
constexpr int ProgressLimitMs = 10000;

class Service : public QObject, public StatusSource {
    Q_OBJECT
public:
    explicit Service(QObject *parent = nullptr);
    ~Service() override; // stop()

    // Replaces the HID enumeration (tests plug in simulated USB meters);
    // before start().
    void setUsbSource(std::unique_ptr<UsbMeterSource> source);
    // Not owned; must outlive the service or be removed first.
    void addSink(Sink *sink);
    void removeSink(Sink *sink);

    void start(const ServiceConfig &config);
    // Applies new settings while running (SIGHUP): ports and demo meters
    // added or removed, the period, USB on or off.  The meters that stay
    // keep their sessions.
    void reconfigure(const ServiceConfig &config);
    // Stops every session (ports closed), tells the sinks; bounded by
    // SessionStopWaitMs as the sessions stop together.
    void stop();
    bool isRunning() const { return m_running; }
    const ServiceConfig &config() const { return m_config; }

    // StatusSource
    QList<MeterStatus> meters() const override;
    bool pollingProgresses() const override;
    int metersUp() const;
    int meterCount() const { return int(m_entries.size()); }

    // The running sessions (for jobs: Session::runExclusive).
    QList<Session *> sessions() const;
    Session *sessionForSerial(const QString &serial) const;

    // Enumerates the USB meters now (also every usbScanMs and on a change).
    void scanUsb();

signals:
    void meterUp(const kv::service::MeterInfo &meter);
    void readingTaken(const kv::service::MeterInfo &meter, const kv::service::MeterReading &reading);
    void meterDown(const kv::service::MeterInfo &meter);
    // Any change of meters() (state, reading, counters, meters added or gone).
    void statusChanged();

private:
    struct Entry {
        QString key;
        MeterStatus status;
        QElapsedTimer lastReading;
        std::unique_ptr<Session> session;
        bool everUp = false;
    };

    Entry *find(const QString &key);
    Entry *entryOf(const Session *session);
    void addMeter(const QString &key, MeterEndpoint endpoint);
    // Stops the session; the entry stays as down (kept) or goes (removed).
    void stopMeter(Entry &entry, bool keep);
    void removeMeter(const QString &key);
    void markDown(Entry &entry);
    void applyMeters();

    void onUp(Session *session, const MeterInfo &info);
    void onReading(Session *session, const MeterInfo &info, const MeterReading &reading);
    void onDown(Session *session);
    void onNotAnswering(Session *session);
    void onPolled(Session *session, bool ok);

    ServiceConfig m_config;
    bool m_running = false;
    std::unique_ptr<UsbMeterSource> m_usbSource;
    std::vector<Sink *> m_sinks;
    std::vector<std::unique_ptr<Entry>> m_entries; // in the order the meters were found
    QTimer m_scanTimer;
    QTimer m_changeDelay;
};

} // namespace kv::service
