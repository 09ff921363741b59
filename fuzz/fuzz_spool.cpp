// Reads fuzzed spool segments.  Whatever the bytes, only whole records come
// out: each one is exactly the bytes its encoding gives, at the place the
// reader says, with a line and numbers rising strictly; every byte is either
// in a record, skipped as damaged, a duplicate or the torn tail.

#include "service/spool.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const kv::service::SpoolScan scan = kv::service::ScanSpool(bytes);
    std::uint64_t previous = 0;
    qint64 inRecords = 0;
    for (const kv::service::SpoolRecord &r : scan.records) {
        if (r.sequence <= previous || r.line.isEmpty() || r.line.contains('\n')
            || r.line.size() > kv::service::SpoolMaxPayload)
            std::abort();
        previous = r.sequence;
        const QByteArray encoded = kv::service::EncodeSpoolRecord(r.sequence, r.timeMs, r.line);
        if (r.end < encoded.size() || r.end > bytes.size() || bytes.mid(r.end - encoded.size(), encoded.size()) != encoded)
            std::abort();
        inRecords += encoded.size();
    }
    if (scan.damagedBytes < 0 || scan.tornBytes < 0 || scan.duplicates < 0
        || inRecords + scan.damagedBytes + scan.tornBytes > bytes.size())
        std::abort();
    // Reading on from a number and with a limit gives a part of the same records.
    if (!scan.records.empty()) {
        const std::uint64_t after = scan.records.front().sequence;
        const kv::service::SpoolScan rest = kv::service::ScanSpool(bytes, after, 2);
        if (rest.records.size() != std::min<size_t>(2, scan.records.size() - 1))
            std::abort();
        for (size_t i = 0; i < rest.records.size(); ++i)
            if (rest.records[i].sequence != scan.records[i + 1].sequence
                || rest.records[i].line != scan.records[i + 1].line)
                std::abort();
    }
    return 0;
}
