#include "service/spool.h"

#include "realtime/crc32.h"

#include <QDir>
#include <QSaveFile>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace kv::service {

namespace {

constexpr char Magic[4] = {'K', 'V', 'S', 'P'};
constexpr int HeaderSize = 24;
constexpr int AckSize = 12;
const QString AckName = QStringLiteral("ack");
const QString SegmentSuffix = QStringLiteral(".spool");
// First read of a peek: this many bytes per point wanted; the rest of the
// segment only when that was not enough.
constexpr qint64 PeekBytesPerPoint = 512;

QString SegmentName(std::uint64_t first)
{
    return QStringLiteral("%1").arg(qulonglong(first), 16, 16, QLatin1Char('0')) + SegmentSuffix;
}

bool ReadAll(const QString &path, QByteArray *bytes, qint64 from = 0, qint64 size = -1)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(from))
        return false;
    *bytes = size < 0 ? file.readAll() : file.read(size);
    return true;
}

} // namespace

QByteArray EncodeSpoolRecord(std::uint64_t sequence, std::int64_t timeMs, const QByteArray &line)
{
    QByteArray r(HeaderSize + line.size() + 4, Qt::Uninitialized);
    char *p = r.data();
    std::memcpy(p, Magic, sizeof Magic);
    qToLittleEndian<std::uint32_t>(std::uint32_t(line.size()), p + 4);
    qToLittleEndian<std::uint64_t>(sequence, p + 8);
    qToLittleEndian<std::int64_t>(timeMs, p + 16);
    std::memcpy(p + HeaderSize, line.constData(), size_t(line.size()));
    qToLittleEndian<std::uint32_t>(RecordCrc32(p, HeaderSize + line.size()), p + HeaderSize + line.size());
    return r;
}

SpoolScan ScanSpool(const QByteArray &bytes, std::uint64_t after, int limit)
{
    SpoolScan scan;
    const char *b = bytes.constData();
    const qint64 size = bytes.size();
    std::uint64_t previous = 0;
    qint64 at = 0;
    qint64 skipping = 0;   // bytes passed over since the last sound record
    while (at < size) {
        if (limit >= 0 && int(scan.records.size()) >= limit)
            break;
        if (size - at < HeaderSize + 4) {
            // Too short for any record: a torn tail if it starts like one.
            if (std::memcmp(b + at, Magic, size_t(std::min<qint64>(size - at, 4))) == 0) {
                scan.tornBytes = size - at;
                break;
            }
            skipping += size - at;
            break;
        }
        if (std::memcmp(b + at, Magic, sizeof Magic) != 0) {
            ++at;
            ++skipping;
            continue;
        }
        const qint64 n = qFromLittleEndian<std::uint32_t>(b + at + 4);
        if (n < 1 || n > SpoolMaxPayload) {
            ++at;
            ++skipping;
            continue;
        }
        if (at + HeaderSize + n + 4 > size) {
            // Runs past the end: torn, unless a sound record follows inside.
            const qint64 next = bytes.indexOf(QByteArray(Magic, 4), at + 1);
            if (next < 0) {
                scan.tornBytes = size - at;
                break;
            }
            skipping += next - at;
            at = next;
            continue;
        }
        const char *payload = b + at + HeaderSize;
        const bool sound = qFromLittleEndian<std::uint32_t>(payload + n) == RecordCrc32(b + at, HeaderSize + n)
                        && std::memchr(payload, '\n', size_t(n)) == nullptr;
        if (!sound) {
            ++at;
            ++skipping;
            continue;
        }
        scan.damagedBytes += skipping;
        skipping = 0;
        const std::uint64_t sequence = qFromLittleEndian<std::uint64_t>(b + at + 8);
        const qint64 end = at + HeaderSize + n + 4;
        if (sequence <= previous) {
            ++scan.duplicates;
        } else {
            previous = sequence;
            if (sequence > after) {
                SpoolRecord record;
                record.sequence = sequence;
                record.timeMs = qFromLittleEndian<std::int64_t>(b + at + 16);
                record.line = QByteArray(payload, n);
                record.end = end;
                scan.records.push_back(std::move(record));
            }
        }
        at = end;
    }
    scan.damagedBytes += skipping;
    return scan;
}

Spool::Spool(QString folder, std::chrono::milliseconds syncInterval, qint64 segmentBytes)
    : m_folder(std::move(folder)), m_syncInterval(syncInterval), m_segmentBytes(segmentBytes),
      m_segmentLimitBytes(segmentBytes)
{
}

Spool::~Spool() { close(); }

bool Spool::open(QString *error)
{
    close();
    m_segments.clear();
    m_readOffset = 0;
    QDir dir(m_folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        if (error)
            *error = QStringLiteral("cannot create the spool folder %1").arg(m_folder);
        return false;
    }
    m_ack = 0;
    QByteArray ack;
    if (ReadAll(dir.filePath(AckName), &ack) && ack.size() == AckSize
        && qFromLittleEndian<std::uint32_t>(ack.constData() + 8) == RecordCrc32(ack.constData(), 8))
        m_ack = qFromLittleEndian<std::uint64_t>(ack.constData());

    std::uint64_t highest = m_ack;
    std::uint64_t seen = 0;
    const QStringList names = dir.entryList({QStringLiteral("*") + SegmentSuffix}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        const QString path = dir.filePath(name);
        QByteArray bytes;
        if (!ReadAll(path, &bytes))
            continue;
        const SpoolScan scan = ScanSpool(bytes);
        m_damaged += scan.damagedBytes + scan.tornBytes;
        m_duplicates += std::uint64_t(scan.duplicates);
        Segment segment;
        segment.path = path;
        segment.bytes = bytes.size();
        for (const SpoolRecord &r : scan.records) {
            if (r.sequence <= seen) {
                ++m_duplicates;   // a record another segment already holds
                continue;
            }
            seen = r.sequence;
            if (!segment.firstSequence)
                segment.firstSequence = r.sequence;
            segment.lastSequence = r.sequence;
            if (r.sequence > m_ack)
                ++segment.pending;
        }
        highest = std::max(highest, seen);
        if (segment.pending == 0)
            QFile::remove(path);
        else
            m_segments.push_back(segment);
    }
    m_next = highest + 1;
    m_open = true;
    enforceLimits();
    return true;
}

void Spool::close()
{
    if (m_file.isOpen()) {
        sync();
        m_file.close();
    }
    m_open = false;
}

bool Spool::startSegment(QString *error)
{
    if (m_file.isOpen()) {
        sync();
        m_file.close();
    }
    Segment segment;
    segment.path = QDir(m_folder).filePath(SegmentName(m_next));
    segment.firstSequence = m_next;
    m_file.setFileName(segment.path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        if (error)
            *error = QStringLiteral("cannot write the spool %1: %2").arg(segment.path, m_file.errorString());
        return false;
    }
    m_segments.push_back(segment);
    m_sinceSync.start();
    return true;
}

bool Spool::append(const std::vector<SpoolPoint> &points, QString *error)
{
    if (points.empty())
        return true;
    if (!m_open) {
        m_dropped += points.size();
        if (error)
            *error = QStringLiteral("the spool is not open");
        return false;
    }
    const bool full = m_file.isOpen()
                   && (m_segments.back().bytes >= m_segmentLimitBytes
                       || (m_segmentLimitPoints > 0 && m_segments.back().pending >= m_segmentLimitPoints));
    if ((!m_file.isOpen() || full) && !startSegment(error)) {
        m_dropped += points.size();
        return false;
    }
    QByteArray bytes;
    std::uint64_t sequence = m_next;
    int taken = 0;
    for (const SpoolPoint &p : points) {
        if (p.line.isEmpty() || p.line.size() > SpoolMaxPayload || p.line.contains('\n')) {
            ++m_dropped;   // not a point any database would take
            continue;
        }
        bytes += EncodeSpoolRecord(sequence++, p.timeMs, p.line);
        ++taken;
    }
    if (taken == 0)
        return true;
    if (m_file.write(bytes) != bytes.size()) {
        if (error)
            *error = QStringLiteral("cannot write the spool %1: %2").arg(m_file.fileName(), m_file.errorString());
        // What reached the file is whole records or a torn tail the reader
        // drops; the next append starts a fresh segment.
        m_file.close();
        m_dropped += std::uint64_t(taken);
        return false;
    }
    Segment &segment = m_segments.back();
    segment.lastSequence = sequence - 1;
    segment.pending += taken;
    segment.bytes += bytes.size();
    m_next = sequence;
    m_unsynced = true;
    bool ok = true;
    if (m_sinceSync.hasExpired(m_syncInterval.count()))
        ok = sync(error);
    enforceLimits();
    return ok;
}

bool Spool::sync(QString *error)
{
    if (!m_file.isOpen() || !m_unsynced)
        return true;
    m_unsynced = false;
    m_sinceSync.start();
    if (::fsync(m_file.handle()) != 0) {
        if (error)
            *error = QStringLiteral("cannot force the spool %1 to the disk: %2")
                         .arg(m_file.fileName(), qt_error_string(errno));
        return false;
    }
    return true;
}

SpoolBatch Spool::peek(int maxPoints) { return peekFrom(0, m_readOffset, m_ack, maxPoints); }

SpoolBatch Spool::peekAfter(const SpoolBatch &previous, int maxPoints)
{
    if (previous.empty() || previous.lastSequence <= m_ack)
        return peek(maxPoints);
    const SpoolBatch::Taken &last = previous.taken.back();
    for (size_t s = 0; s < m_segments.size(); ++s)
        if (m_segments[s].firstSequence == last.segmentFirst)
            return peekFrom(s, last.endOffset, previous.lastSequence, maxPoints);
    // Its segment was dropped meanwhile: whatever follows it.
    return peekFrom(0, m_readOffset, previous.lastSequence, maxPoints);
}

SpoolBatch Spool::peekFrom(size_t first, qint64 offset, std::uint64_t after, int maxPoints)
{
    SpoolBatch batch;
    maxPoints = std::max(1, maxPoints);
    for (size_t s = first; s < m_segments.size() && batch.points < maxPoints; ++s) {
        const Segment &segment = m_segments[s];
        if (segment.pending == 0)
            continue;
        const qint64 from = s == first ? std::max<qint64>(offset, s == 0 ? m_readOffset : 0) : (s == 0 ? m_readOffset : 0);
        const int wanted = maxPoints - batch.points;
        QByteArray bytes;
        if (!ReadAll(segment.path, &bytes, from, qint64(wanted) * PeekBytesPerPoint))
            continue;
        SpoolScan scan = ScanSpool(bytes, after, wanted);
        if (int(scan.records.size()) < wanted && bytes.size() == qint64(wanted) * PeekBytesPerPoint) {
            if (!ReadAll(segment.path, &bytes, from))
                continue;
            scan = ScanSpool(bytes, after, wanted);
        }
        if (scan.records.empty())
            continue;
        for (const SpoolRecord &r : scan.records) {
            batch.body += r.line;
            batch.body += '\n';
        }
        batch.points += int(scan.records.size());
        batch.lastSequence = after = scan.records.back().sequence;
        batch.taken.push_back({segment.firstSequence, int(scan.records.size()), from + scan.records.back().end});
    }
    return batch;
}

bool Spool::acknowledge(const SpoolBatch &batch, QString *error)
{
    if (batch.empty() || batch.lastSequence <= m_ack)
        return true;
    if (!writeAck(batch.lastSequence, error))
        return false;
    m_ack = batch.lastSequence;
    for (const SpoolBatch::Taken &t : batch.taken) {
        for (size_t s = 0; s < m_segments.size(); ++s) {
            Segment &segment = m_segments[s];
            if (segment.firstSequence != t.segmentFirst)
                continue;   // a segment dropped meanwhile is simply gone
            segment.pending = std::max<qint64>(0, segment.pending - t.records);
            if (s == 0)
                m_readOffset = t.endOffset;
            break;
        }
    }
    removeDone();
    return true;
}

void Spool::removeDone()
{
    while (!m_segments.empty() && m_segments.front().pending == 0) {
        const bool active = m_file.isOpen() && m_segments.size() == 1;
        if (active) {
            // The segment being appended to: start afresh at the next append.
            m_file.close();
            m_unsynced = false;
        }
        QFile::remove(m_segments.front().path);
        m_segments.pop_front();
        m_readOffset = 0;
    }
}

bool Spool::writeAck(std::uint64_t sequence, QString *error)
{
    char bytes[AckSize];
    qToLittleEndian<std::uint64_t>(sequence, bytes);
    qToLittleEndian<std::uint32_t>(RecordCrc32(bytes, 8), bytes + 8);
    QSaveFile file(QDir(m_folder).filePath(AckName));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes, AckSize) != AckSize || !file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    return true;
}

void Spool::setLimits(const SpoolLimits &limits)
{
    m_limits = limits;
    // Segments small enough that dropping the oldest one keeps most of the spool.
    constexpr int SegmentsWithinBound = 16;
    m_segmentLimitBytes = m_segmentBytes;
    if (limits.maxBytes > 0)
        m_segmentLimitBytes = std::clamp(limits.maxBytes / SegmentsWithinBound, std::min(SpoolSmallestSegmentBytes, m_segmentBytes), m_segmentBytes);
    m_segmentLimitPoints = limits.maxPoints > 0 ? std::max<qint64>(1, limits.maxPoints / SegmentsWithinBound) : -1;
    enforceLimits();
}

void Spool::enforceLimits()
{
    const auto over = [this] {
        return (m_limits.maxPoints >= 0 && pendingPoints() > m_limits.maxPoints)
            || (m_limits.maxBytes >= 0 && pendingBytes() > m_limits.maxBytes);
    };
    while (!m_segments.empty() && over())
        dropFront();
}

void Spool::dropFront()
{
    Segment &segment = m_segments.front();
    m_dropped += std::uint64_t(segment.pending);
    segment.pending = 0;
    removeDone();
}

qint64 Spool::pendingPoints() const
{
    qint64 n = 0;
    for (const Segment &s : m_segments)
        n += s.pending;
    return n;
}

qint64 Spool::pendingBytes() const
{
    qint64 n = 0;
    for (const Segment &s : m_segments)
        n += s.bytes;
    return std::max<qint64>(0, n - m_readOffset);
}

} // namespace kv::service
