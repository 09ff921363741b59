#pragma once
// The spool: points a database could not take wait here, on disk, until it
// answers again, and are then written oldest first.
//
// A folder of segment files, each named by the sequence number of its first
// record (16 hex digits, ".spool"), plus "ack" holding the sequence number
// of the last record written to the database.  A segment is a run of records
// (little-endian):
//     0  4  magic "KVSP"
//     4  4  payload size n, 1 .. SpoolMaxPayload
//     8  8  sequence number, strictly increasing over the whole spool
//    16  8  time of the point, ms since the epoch
//    24  n  the point's line-protocol line (no line break)
//  24+n  4  CRC-32 of bytes 0 .. 23+n
// Each record goes to the operating system in one write, the file is forced
// to the disk at most every syncInterval while records arrive (and on sync()
// and close), so a crash loses at most the last interval.  Reading keeps
// only sound records: a torn tail is dropped, a damaged record skipped (the
// next one is found by its magic), a record whose sequence number is not
// above the one before is skipped as a duplicate, so no record counts twice.
// Records at or below the acknowledged number are done; a segment wholly
// done is deleted.  A crash between the database's answer and the
// acknowledgement sends those points again, and a point written twice
// overwrites itself (same series and time).
//
// Bounded by points and bytes: past either bound the oldest segments are
// dropped whole and their points counted.

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

namespace kv::service {

constexpr int SpoolRecordOverhead = 28;
constexpr int SpoolMaxPayload = 65536;
constexpr std::chrono::milliseconds SpoolSyncInterval{1000};
constexpr qint64 SpoolSegmentBytes = 4 * 1024 * 1024;
constexpr qint64 SpoolSmallestSegmentBytes = 64 * 1024;

struct SpoolRecord {
    std::uint64_t sequence = 0;
    std::int64_t timeMs = 0;
    QByteArray line;
    qint64 end = 0;          // offset just past the record in its bytes
};

struct SpoolScan {
    std::vector<SpoolRecord> records;
    qint64 damagedBytes = 0; // bytes skipped between sound records
    qint64 tornBytes = 0;    // an incomplete record at the end
    int duplicates = 0;      // sound records whose number was not above the previous
};

QByteArray EncodeSpoolRecord(std::uint64_t sequence, std::int64_t timeMs, const QByteArray &line);
// Every sound record of `bytes` whose number is above `after`, at most
// `limit` of them (-1: all); stops early at the limit.
SpoolScan ScanSpool(const QByteArray &bytes, std::uint64_t after = 0, int limit = -1);

struct SpoolPoint {
    std::int64_t timeMs = 0;
    QByteArray line;
};

// Oldest points not yet written, for one write.
struct SpoolBatch {
    QByteArray body;         // the lines, each ending with a line break
    int points = 0;
    std::uint64_t lastSequence = 0;
    bool empty() const { return points == 0; }
    // Where the points came from, for acknowledge().
    struct Taken {
        std::uint64_t segmentFirst = 0;
        int records = 0;
        qint64 endOffset = 0;
    };
    std::vector<Taken> taken;
};

struct SpoolLimits {
    qint64 maxPoints = -1;   // -1: no bound
    qint64 maxBytes = -1;
};

class Spool {
public:
    explicit Spool(QString folder, std::chrono::milliseconds syncInterval = SpoolSyncInterval,
                   qint64 segmentBytes = SpoolSegmentBytes);
    ~Spool();
    Spool(const Spool &) = delete;
    Spool &operator=(const Spool &) = delete;

    // Reads the folder (creating it); false when it cannot be used.
    bool open(QString *error = nullptr);
    bool isOpen() const { return m_open; }

    // Appends the points in one write; false when the disk refuses them
    // (they are then lost: counted in `dropped`).
    bool append(const std::vector<SpoolPoint> &points, QString *error = nullptr);
    // Forces what was appended to the disk.
    bool sync(QString *error = nullptr);
    void close();

    // The oldest points not yet acknowledged: at most maxPoints, and at least
    // one whatever its size.  Does not change the spool.
    SpoolBatch peek(int maxPoints);
    // The points after `previous` (a batch of peek() or peekAfter() not yet
    // acknowledged), so that several batches can be under way at once.
    SpoolBatch peekAfter(const SpoolBatch &previous, int maxPoints);
    // The database took the batch: its points are done for good.
    bool acknowledge(const SpoolBatch &batch, QString *error = nullptr);

    void setLimits(const SpoolLimits &limits);
    const SpoolLimits &limits() const { return m_limits; }

    qint64 pendingPoints() const;
    qint64 pendingBytes() const;
    bool hasPending() const { return pendingPoints() > 0; }

    std::uint64_t dropped() const { return m_dropped; }     // by the bounds or a failed write
    std::uint64_t duplicates() const { return m_duplicates; }
    qint64 damagedBytes() const { return m_damaged; }
    std::uint64_t acknowledged() const { return m_ack; }
    const QString &folder() const { return m_folder; }

private:
    struct Segment {
        QString path;
        std::uint64_t firstSequence = 0;
        std::uint64_t lastSequence = 0;
        qint64 bytes = 0;
        qint64 pending = 0;  // records above the acknowledged number
    };

    SpoolBatch peekFrom(size_t segment, qint64 offset, std::uint64_t after, int maxPoints);
    bool startSegment(QString *error);
    bool writeAck(std::uint64_t sequence, QString *error);
    void enforceLimits();
    void dropFront();
    void removeDone();

    QString m_folder;
    std::chrono::milliseconds m_syncInterval;
    qint64 m_segmentBytes;
    qint64 m_segmentLimitBytes;     // the size at which a new segment starts
    qint64 m_segmentLimitPoints = -1;
    bool m_open = false;
    std::deque<Segment> m_segments;
    QFile m_file;            // the last segment, appended to
    QElapsedTimer m_sinceSync;
    bool m_unsynced = false;
    std::uint64_t m_next = 1;
    std::uint64_t m_ack = 0;
    // The read position: the first segment's offset past the acknowledged records.
    qint64 m_readOffset = 0;
    SpoolLimits m_limits;
    std::uint64_t m_dropped = 0;
    std::uint64_t m_duplicates = 0;
    qint64 m_damaged = 0;
};

} // namespace kv::service
