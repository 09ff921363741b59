#pragma once
// The recording journal: every sample of a real-time recording is appended to
// a file as it arrives, so that a crash, a killed session or a power cut
// loses at most the samples the operating system had not yet written.
//
// File layout (little-endian):
//   header, 64 bytes
//     0  8  magic "KV3917RJ"
//     8  2  version (1)
//    10  2  header size (64)
//    12  2  record size (40)
//    14  1  channel count (5: RH, T1, T2, wet bulb, dew point, in that order)
//    15  1  unit code of the temperatures at the start (LiveReading::UnitCode)
//    16  8  start of the recording, date-time (days since 30 December 1899)
//    24  4  sampling period in seconds at the start
//    28  4  requested number of samples
//    32 28  zero
//    60  4  CRC-32 of bytes 0..59
//   records, 40 bytes each, record i at 64 + 40 i
//     0  4  index i
//     4  8  time of the sample, date-time
//    12 20  RH, T1, T2, wet bulb, dew point as read (float; no range markers)
//    32  1  status byte (the reading's range flags)
//    33  1  unit code of the temperatures
//    34  2  zero
//    36  4  CRC-32 of bytes 0..35
// A record counts only when its checksum, its index and its numbers are
// sound: a torn or damaged record is dropped, the others are kept.

#include "live/livereading.h"
#include "realtime/channels.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

namespace kv {

constexpr int JournalHeaderSize = 64;
constexpr int JournalRecordSize = 40;
constexpr int JournalChannelCount = 5;
static_assert(JournalChannelCount == GraphChannelCount, "a record holds one value per graph channel");
// How often at most the journal is forced to the disk while recording.
constexpr std::chrono::milliseconds JournalSyncInterval{10000};

struct JournalHeader {
    double start = 0;              // date-time
    std::uint32_t periodSeconds = 0;
    std::uint32_t requestedCount = 0;
    std::uint8_t unitCode = UnitCelsius;
};

struct JournalRecord {
    double time = 0;               // date-time
    // The reading's own values in channel order; the range markers are
    // derived from the status byte when the record is drawn.
    std::array<float, JournalChannelCount> values{};
    std::uint8_t status = 0;
    std::uint8_t unitCode = UnitCelsius;

    static JournalRecord fromReading(const LiveReading &reading, double time);
    LiveReading toReading() const;
    bool operator==(const JournalRecord &other) const;
};

struct JournalContents {
    JournalHeader header;
    std::vector<JournalRecord> records;
    int damagedRecords = 0;        // complete records refused (checksum, index, numbers)
    int trailingBytes = 0;         // an incomplete last record
};

QByteArray EncodeJournalHeader(const JournalHeader &header);
QByteArray EncodeJournalRecord(std::uint32_t index, const JournalRecord &record);

// Restores every sound record.  Refuses (false, with the reason) only bytes
// whose header is missing or damaged: then nothing can be trusted.
bool ReadJournal(const QByteArray &bytes, JournalContents *contents, QString *error);
bool ReadJournalFile(const QString &path, JournalContents *contents, QString *error);

// The journal of the real-time recording in the program's data folder
// (QStandardPaths::AppDataLocation).
QString DefaultJournalPath();

// The question asked at start-up when a journal was left behind: when the
// recording started and how many samples it holds.
QString RestoreJournalQuestion(const JournalContents &contents);

// Writes one journal.  Every record goes to the operating system at once (an
// unbuffered write); the file is forced to the disk when the journal starts,
// at most every syncInterval while records arrive, and when it finishes.
// A failed write closes the journal: the records written so far stay
// readable, and the caller learns it from the result.
//
// The writer holds a lock file beside the journal from start (or claim)
// until discard or its end, so that a second instance of the program neither
// overwrites nor offers to restore a journal whose data are still in use.
class JournalWriter {
public:
    explicit JournalWriter(QString path, std::chrono::milliseconds syncInterval = JournalSyncInterval);
    ~JournalWriter();
    JournalWriter(const JournalWriter &) = delete;
    JournalWriter &operator=(const JournalWriter &) = delete;

    // Replaces any journal at the path with a new one holding only the header.
    // Fails while another process holds the journal.
    bool start(const JournalHeader &header, QString *error = nullptr);
    // Takes the lock of a journal left behind, whose data this process takes
    // over (restores or deletes); false while another process holds it.
    bool claim();
    bool append(const JournalRecord &record, QString *error = nullptr);
    // Forces what was written to the disk and closes; the file stays.
    bool finish(QString *error = nullptr);
    // Closes and deletes the file (the data were saved or dropped), and
    // releases the lock.
    bool discard();

    bool isOpen() const { return m_file.isOpen(); }
    std::uint32_t count() const { return m_count; }
    const QString &path() const { return m_path; }

private:
    bool sync(QString *error);
    bool fail(QString *error, const QString &what, const QString &reason);

    QString m_path;
    std::chrono::milliseconds m_syncInterval;
    QFile m_file;
    QLockFile m_lock;
    QElapsedTimer m_sinceSync;
    std::uint32_t m_count = 0;
};

} // namespace kv
