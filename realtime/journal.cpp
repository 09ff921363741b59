#include "realtime/journal.h"

#include "realtime/crc32.h"
#include "realtime/datetime.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtEndian>

#include <cerrno>
#include <cmath>
#include <cstring>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kv {

namespace {

constexpr char Magic[8] = {'K', 'V', '3', '9', '1', '7', 'R', 'J'};
constexpr std::uint16_t Version = 1;
constexpr int HeaderChecksumOffset = 60;
constexpr int RecordChecksumOffset = 36;
constexpr const char *JournalFileName = "recording.journal";

template <typename T>
void Put(char *at, T value)
{
    qToLittleEndian<T>(value, at);
}

template <typename T>
T Get(const char *at)
{
    return qFromLittleEndian<T>(at);
}

// Floating-point numbers travel as their IEEE bits (Bits: the unsigned
// integer of the same size).
template <typename Bits, typename Value>
void PutBits(char *at, Value value)
{
    static_assert(sizeof(Bits) == sizeof(Value));
    Bits bits;
    std::memcpy(&bits, &value, sizeof bits);
    Put<Bits>(at, bits);
}

template <typename Value, typename Bits>
Value GetBits(const char *at)
{
    static_assert(sizeof(Bits) == sizeof(Value));
    const Bits bits = Get<Bits>(at);
    Value value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void EncodeRecordInto(char *r, std::uint32_t index, const JournalRecord &record)
{
    std::memset(r, 0, JournalRecordSize);
    Put<std::uint32_t>(r, index);
    PutBits<std::uint64_t>(r + 4, record.time);
    for (int c = 0; c < JournalChannelCount; ++c)
        PutBits<std::uint32_t>(r + 12 + 4 * c, record.values[size_t(c)]);
    r[32] = char(record.status);
    r[33] = char(record.unitCode);
    Put<std::uint32_t>(r + RecordChecksumOffset, RecordCrc32(r, RecordChecksumOffset));
}

} // namespace

JournalRecord JournalRecord::fromReading(const LiveReading &reading, double time)
{
    JournalRecord r;
    r.time = time;
    r.values = {reading.Rh, reading.T1, reading.T2, reading.WetBulb, reading.DewPoint};
    r.status = reading.StatusByte;
    r.unitCode = reading.UnitCode;
    return r;
}

LiveReading JournalRecord::toReading() const
{
    LiveReading reading;
    reading.Rh = values[0];
    reading.T1 = values[1];
    reading.T2 = values[2];
    reading.WetBulb = values[3];
    reading.DewPoint = values[4];
    reading.StatusByte = status;
    reading.UnitCode = unitCode;
    return reading;
}

bool JournalRecord::operator==(const JournalRecord &other) const
{
    // Bitwise, so that a value that is not a number equals itself.
    return std::memcmp(&time, &other.time, sizeof time) == 0
        && std::memcmp(values.data(), other.values.data(), sizeof(float) * values.size()) == 0
        && status == other.status && unitCode == other.unitCode;
}

QByteArray EncodeJournalHeader(const JournalHeader &header)
{
    QByteArray bytes(JournalHeaderSize, '\0');
    char *h = bytes.data();
    std::memcpy(h, Magic, sizeof Magic);
    Put<std::uint16_t>(h + 8, Version);
    Put<std::uint16_t>(h + 10, JournalHeaderSize);
    Put<std::uint16_t>(h + 12, JournalRecordSize);
    h[14] = char(JournalChannelCount);
    h[15] = char(header.unitCode);
    PutBits<std::uint64_t>(h + 16, header.start);
    Put<std::uint32_t>(h + 24, header.periodSeconds);
    Put<std::uint32_t>(h + 28, header.requestedCount);
    Put<std::uint32_t>(h + HeaderChecksumOffset, RecordCrc32(h, HeaderChecksumOffset));
    return bytes;
}

QByteArray EncodeJournalRecord(std::uint32_t index, const JournalRecord &record)
{
    QByteArray bytes(JournalRecordSize, '\0');
    EncodeRecordInto(bytes.data(), index, record);
    return bytes;
}

bool ReadJournal(const QByteArray &bytes, JournalContents *contents, QString *error)
{
    *contents = JournalContents();
    const char *h = bytes.constData();
    if (bytes.size() < JournalHeaderSize || std::memcmp(h, Magic, sizeof Magic) != 0) {
        *error = QStringLiteral("not a recording journal");
        return false;
    }
    if (Get<std::uint32_t>(h + HeaderChecksumOffset) != RecordCrc32(h, HeaderChecksumOffset)) {
        *error = QStringLiteral("the journal's header is damaged");
        return false;
    }
    if (Get<std::uint16_t>(h + 8) != Version || Get<std::uint16_t>(h + 10) != JournalHeaderSize
        || Get<std::uint16_t>(h + 12) != JournalRecordSize || h[14] != char(JournalChannelCount)) {
        *error = QStringLiteral("the journal was written in another format");
        return false;
    }
    JournalHeader &header = contents->header;
    header.unitCode = std::uint8_t(h[15]);
    header.start = GetBits<double, std::uint64_t>(h + 16);
    header.periodSeconds = Get<std::uint32_t>(h + 24);
    header.requestedCount = Get<std::uint32_t>(h + 28);

    const qsizetype body = bytes.size() - JournalHeaderSize;
    const qsizetype complete = body / JournalRecordSize;
    contents->trailingBytes = int(body % JournalRecordSize);
    contents->records.reserve(size_t(complete));
    for (qsizetype i = 0; i < complete; ++i) {
        const char *r = h + JournalHeaderSize + i * JournalRecordSize;
        JournalRecord record;
        record.time = GetBits<double, std::uint64_t>(r + 4);
        const bool sound = Get<std::uint32_t>(r + RecordChecksumOffset) == RecordCrc32(r, RecordChecksumOffset)
                        && Get<std::uint32_t>(r) == std::uint32_t(i) && std::isfinite(record.time);
        if (!sound) {
            ++contents->damagedRecords;
            continue;
        }
        for (int c = 0; c < JournalChannelCount; ++c)
            record.values[size_t(c)] = GetBits<float, std::uint32_t>(r + 12 + 4 * c);
        record.status = std::uint8_t(r[32]);
        record.unitCode = std::uint8_t(r[33]);
        contents->records.push_back(record);
    }
    return true;
}

bool ReadJournalFile(const QString &path, JournalContents *contents, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *contents = JournalContents();
        *error = file.errorString();
        return false;
    }
    return ReadJournal(file.readAll(), contents, error);
}

QString DefaultJournalPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QString::fromLatin1(JournalFileName));
}

QString RestoreJournalQuestion(const JournalContents &contents)
{
    const int n = int(contents.records.size());
    const QString samples = n == 1 ? QStringLiteral("1 sample was") : QStringLiteral("%1 samples were").arg(n);
    return QStringLiteral("A real-time recording started on %1 was not saved before the program ended.\n"
                          "%2 kept.\n\n"
                          "Do you want to open them as a graph? (No deletes them.)")
        .arg(DateTimeText(contents.header.start), samples);
}

JournalWriter::JournalWriter(QString path, std::chrono::milliseconds syncInterval)
    : m_path(std::move(path)), m_syncInterval(syncInterval), m_file(m_path), m_lock(m_path + QStringLiteral(".lock"))
{
}

bool JournalWriter::claim()
{
    if (m_lock.isLocked())
        return true;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // A lock left by a process that no longer runs is stale and taken over.
    return m_lock.tryLock(0);
}

JournalWriter::~JournalWriter()
{
    if (m_file.isOpen())
        finish();
}

bool JournalWriter::fail(QString *error, const QString &what, const QString &reason)
{
    if (error)
        *error = QStringLiteral("%1 %2: %3").arg(what, QDir::toNativeSeparators(m_path), reason);
    m_file.close();
    return false;
}

bool JournalWriter::start(const JournalHeader &header, QString *error)
{
    if (m_file.isOpen())
        m_file.close();
    m_count = 0;
    if (!claim()) {
        if (error)
            *error = QStringLiteral("The recording journal %1 is in use by another instance of the program")
                         .arg(QDir::toNativeSeparators(m_path));
        return false;
    }
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return fail(error, QStringLiteral("Cannot write the recording journal"), m_file.errorString());
    const QByteArray bytes = EncodeJournalHeader(header);
    if (m_file.write(bytes) != bytes.size())
        return fail(error, QStringLiteral("Cannot write the recording journal"), m_file.errorString());
    return sync(error);
}

bool JournalWriter::append(const JournalRecord &record, QString *error)
{
    if (!m_file.isOpen()) {
        if (error)
            *error = QStringLiteral("The recording journal is not open");
        return false;
    }
    // One write per record: what reaches the file is a whole record, or a
    // torn one the reader drops.
    char bytes[JournalRecordSize];
    EncodeRecordInto(bytes, m_count, record);
    if (m_file.write(bytes, JournalRecordSize) != JournalRecordSize)
        return fail(error, QStringLiteral("Cannot write the recording journal"), m_file.errorString());
    ++m_count;
    if (m_sinceSync.hasExpired(m_syncInterval.count()))
        return sync(error);
    return true;
}

bool JournalWriter::sync(QString *error)
{
#ifdef Q_OS_WIN
    const bool ok = ::_commit(m_file.handle()) == 0;
#else
    const bool ok = ::fsync(m_file.handle()) == 0;
#endif
    m_sinceSync.start();
    if (!ok)
        return fail(error, QStringLiteral("Cannot force the recording journal to the disk"), qt_error_string(errno));
    return true;
}

bool JournalWriter::finish(QString *error)
{
    if (!m_file.isOpen())
        return true;
    const bool ok = sync(error);
    m_file.close();
    return ok;
}

bool JournalWriter::discard()
{
    m_file.close();
    m_count = 0;
    // Another process's journal is not ours to delete.
    if (!claim())
        return false;
    const bool removed = !QFileInfo::exists(m_path) || QFile::remove(m_path);
    m_lock.unlock();
    return removed;
}

} // namespace kv
