// Reads fuzzed recording journals.  A refusal must say why; a journal that is
// read gives only records with a date, and writing back what was restored
// must read back to the same header and records with nothing dropped.

#include "realtime/journal.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    kv::JournalContents contents;
    QString error;
    if (!kv::ReadJournal(bytes, &contents, &error)) {
        if (error.isEmpty() || !contents.records.empty())
            std::abort();
        return 0;
    }
    const qsizetype complete = (bytes.size() - kv::JournalHeaderSize) / kv::JournalRecordSize;
    if (qsizetype(contents.records.size()) + contents.damagedRecords != complete
        || contents.trailingBytes != (bytes.size() - kv::JournalHeaderSize) % kv::JournalRecordSize)
        std::abort();   // every complete record is either kept or counted as damaged
    for (const kv::JournalRecord &r : contents.records)
        if (!std::isfinite(r.time))
            std::abort();

    QByteArray again = kv::EncodeJournalHeader(contents.header);
    for (size_t i = 0; i < contents.records.size(); ++i)
        again += kv::EncodeJournalRecord(std::uint32_t(i), contents.records[i]);
    kv::JournalContents reread;
    if (!kv::ReadJournal(again, &reread, &error) || reread.damagedRecords != 0 || reread.trailingBytes != 0
        || reread.records.size() != contents.records.size())
        std::abort();
    for (size_t i = 0; i < reread.records.size(); ++i)
        if (!(reread.records[i] == contents.records[i]))
            std::abort();
    const kv::JournalHeader &a = contents.header, &b = reread.header;
    if (std::memcmp(&a.start, &b.start, sizeof a.start) != 0 || a.periodSeconds != b.periodSeconds
        || a.requestedCount != b.requestedCount || a.unitCode != b.unitCode)
        std::abort();
    return 0;
}
