#pragma once
// One meter of the service: its link, the desktop's poll loop and decoder on
// a thread of its own.  The exchanges are synchronous (a silent meter holds
// its thread for the reply's time-out), so each meter gets a thread and no
// meter waits for another.  What happens reaches the main thread through
// queued signals of the Session, which lives there.
//
// A tick identifies the meter while it is not connected (USB: the poll loop's
// 'K' exchange; serial: open the port and IdentifySerial) and reads it while
// connected.  PollFailureLimit ticks in a row without a reading mark it down
// (also when replies arrive but carry no reading); the next ticks identify it
// again.

#include "link/meterlink.h"
#include "link/usbtransfer.h"
#include "service/channels.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

namespace kv::service {

// Longest wait of stop() for a tick under way (the longest exchange is the
// serial identification, 500 ms).
constexpr int SessionStopWaitMs = 1500;

struct MeterEndpoint {
    enum class Kind { Usb, Serial, Demo };
    Kind kind = Kind::Usb;
    QString path;   // device path; "demo:N" for demo meter N
    QString serial; // known serial text (USB enumeration, demo); serial ports: made from the path
    // USB and demo: makes the transfer, on the session's thread.
    std::function<std::unique_ptr<UsbTransfer>()> makeUsb;
};

// The key of a meter on a serial port: its path without "/dev/", '/' as '-'
// ("ttyUSB0", "pts-3"), since a serial link carries no serial number.
QString SerialPortMeterName(const QString &path);

class SessionWorker;

class Session : public QObject {
    Q_OBJECT
public:
    Session(MeterEndpoint endpoint, int periodMs, QObject *parent = nullptr);
    ~Session() override; // stop()

    const MeterEndpoint &endpoint() const { return m_endpoint; }
    MeterInfo info() const;

    // Starts the thread; the first tick follows at once.
    void start();
    // Ends polling, closes the port and joins the thread (at most
    // SessionStopWaitMs plus a job still running).  No signal follows.
    void stop();
    // Asks the thread to stop without waiting (stop() then waits); lets
    // many sessions stop together.
    void requestStop();
    bool isRunning() const;

    void setPeriodMs(int periodMs);
    int periodMs() const { return m_periodMs.load(); }

    // Runs `job` on the session's thread with the link to itself: polling is
    // paused before and resumed after it.  The job sees the link as the
    // session left it (Kind None while the meter is not identified) and
    // reports through its own means; jobDone() follows it.
    void runExclusive(std::function<void(kv::MeterLink &, const MeterInfo &)> job);
    // Whether the meter records into its logger (REC), as of its last reading.
    bool isMeterLogging() const { return m_logging.load(); }

    // Monotonic ms (QElapsedTimer's clock) when the last tick ended; the
    // session's start before its first.
    std::int64_t lastTickEndMs() const { return m_lastTickEndMs.load(); }

signals:
    void meterUp(const kv::service::MeterInfo &info);
    void readingTaken(const kv::service::MeterInfo &info, const kv::service::MeterReading &reading);
    void meterDown(const kv::service::MeterInfo &info, const QString &why);
    // An identification failed (the meter is not up).
    void notAnswering(const QString &why);
    // A live exchange of an up meter ended, with or without a reading.
    void polled(bool gotReading);
    void jobDone();

private:
    friend class SessionWorker;

    MeterEndpoint m_endpoint;
    QThread *m_thread = nullptr;
    SessionWorker *m_worker = nullptr;
    bool m_stopRequested = false;
    std::atomic<int> m_periodMs;
    std::atomic<bool> m_logging{false};
    std::atomic<std::int64_t> m_lastTickEndMs{0};
    mutable std::mutex m_infoMutex;
    MeterInfo m_info;
};

} // namespace kv::service

Q_DECLARE_METATYPE(kv::service::MeterInfo)
Q_DECLARE_METATYPE(kv::service::MeterReading)
