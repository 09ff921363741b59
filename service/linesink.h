#pragma once
// The line-protocol output of the service: every reading becomes a point
// (service/lineprotocol.h) written to each target in batches of up to
// LineBatchPoints points or LineBatchMs.  A batch a target does not take
// (server down, network cut, an answer other than success) goes to that
// target's spool and is written again, oldest first, once the target answers;
// from then until the spool is empty new points queue behind it in the spool,
// so the order stays and a crash loses none of them.  A batch the database
// refuses as malformed (400, 413) would never be taken: it is dropped and
// counted.  HTTP through QNetworkAccessManager, TLS verified, credentials
// sent only in headers and never logged.  Lives on the main thread.

#include "service/lineoptions.h"
#include "service/lineprotocol.h"
#include "service/sink.h"
#include "service/spool.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QLoggingCategory>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>
#include <cstdint>
#include <memory>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;
class QFile;

namespace kv::service {

Q_DECLARE_LOGGING_CATEGORY(lcLines)

constexpr int LineWriteTimeoutMs = 10000;
constexpr std::chrono::milliseconds LineRetryFirst{1000};
constexpr std::chrono::milliseconds LineRetryMost{30000};
// Points waiting behind a write still under way before they go to the spool.
constexpr int LineQueueLimit = 4 * LineBatchPoints;
// Spool batches under way at once while the spool is written out.
constexpr int LineReplaysInFlight = 2;

struct LineCounters {
    std::uint64_t written = 0;       // points taken at the first try
    std::uint64_t spooled = 0;       // points put in the spool (imports included)
    std::uint64_t replayed = 0;      // points written from the spool
    std::uint64_t dropped = 0;       // lost: spool bounds, a failed spool write, refused by the database
    std::uint64_t rejected = 0;      // of them refused by the database
    std::uint64_t duplicates = 0;    // readings not after the meter's previous; duplicate spool records
    std::uint64_t writeFailures = 0; // write requests that failed
    qint64 spoolPoints = 0;          // waiting in the spool now
    qint64 spoolBytes = 0;
    LineCounters &operator+=(const LineCounters &other);
};

class LineTarget : public QObject {
    Q_OBJECT
public:
    LineTarget(const LineTargetOptions &options, const QString &spoolFolder, QNetworkAccessManager *network,
               QObject *parent = nullptr);
    ~LineTarget() override;

    bool open(QString *error = nullptr);
    void add(std::int64_t timeMs, QByteArray line);
    // Points that must not be lost (a logger import): in the spool and on the
    // disk before this returns true; written from there.
    bool addDurably(const std::vector<SpoolPoint> &points, QString *error = nullptr);
    void setSpoolLimits(const SpoolLimits &limits) { m_spool.setLimits(limits); }
    // Waits between tries while the target does not answer.
    void setRetryDelays(std::chrono::milliseconds first, std::chrono::milliseconds most);
    // Spools what is queued or under way and closes the spool.
    void stop();

    const LineTargetOptions &options() const { return m_options; }
    QString name() const { return m_options.name(); }
    LineCounters counters() const;
    // Nothing queued, under way or spooled.
    bool idle() const;
    Spool &spool() { return m_spool; }

signals:
    void becameIdle();

private:
    enum class Outcome { Written, Refused, Failed };

    struct Replay {
        SpoolBatch batch;
        bool done = false;
    };

    void flushBatch();
    void send(const QByteArray &body, std::function<void(Outcome, const QString &)> done);
    void liveFinished(Outcome outcome, const QString &reason);
    void replayFinished(std::uint64_t generation, std::uint64_t lastSequence, Outcome outcome, const QString &reason);
    void writeFailed(const QString &reason);
    void wroteAgain();
    bool busy() const { return m_liveInflight || !m_replays.empty(); }
    void enterBacklog();
    void replayNext();
    void scheduleRetry();
    bool spoolPoints(std::vector<SpoolPoint> points);
    void checkIdle();
    Outcome writeFile(const QByteArray &body, QString *reason);

    LineTargetOptions m_options;
    QNetworkAccessManager *m_network;
    Spool m_spool;
    std::unique_ptr<QFile> m_file;
    std::vector<SpoolPoint> m_batch;
    std::vector<SpoolPoint> m_inflightLive;  // a live batch under way
    bool m_liveInflight = false;
    std::deque<Replay> m_replays;            // spool batches under way, oldest first
    std::uint64_t m_generation = 0;          // answers of an older generation are ignored
    bool m_backlog = false;
    bool m_stopped = false;
    QList<QPointer<QNetworkReply>> m_replies;
    QTimer m_batchTimer;
    QTimer m_retryTimer;
    QTimer m_syncTimer;
    std::chrono::milliseconds m_retryFirst = LineRetryFirst;
    std::chrono::milliseconds m_retryMost = LineRetryMost;
    std::chrono::milliseconds m_retryDelay{0};
    LineCounters m_counters;
};

class LineSink : public QObject, public Sink {
    Q_OBJECT
public:
    // Each target's spool lies in stateDir/spool/<kind>-<hash of its place>.
    LineSink(const QList<LineTargetOptions> &targets, const QString &stateDir, const LineOptions &options,
             QObject *parent = nullptr);
    ~LineSink() override;

    bool open(QString *error = nullptr);
    // The poll period sets the spool's bound in points.
    void setPollPeriodMs(int ms);

    void meterUp(const MeterInfo &meter) override;
    void reading(const MeterInfo &meter, const MeterReading &reading) override;
    void meterDown(const MeterInfo &meter) override;
    void stop() override;

    // The points of a logger import, in every target's spool and on the disk
    // before this returns true (then the import may be recorded as done).
    bool addImported(const std::vector<TimedLine> &lines, QString *error = nullptr);

    const QList<LineTarget *> &targets() const { return m_targets; }
    LineCounters counters() const;
    bool idle() const;
    // Prometheus text (HELP, TYPE and a sample per target) for /metrics.
    QByteArray metricsText() const;

    static QString spoolFolder(const QString &stateDir, const LineTargetOptions &target);

private:
    void updateLimits();

    QNetworkAccessManager *m_network;
    QList<LineTarget *> m_targets;
    LineOptions m_options;
    QHash<QString, std::int64_t> m_lastTimeMs;
    QHash<QString, bool> m_attached;
    int m_mostMeters = 0;
    int m_pollPeriodMs = 500;
    std::uint64_t m_duplicates = 0;
};

} // namespace kv::service
