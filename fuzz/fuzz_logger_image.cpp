// Splits fuzzed bytes as a logger memory image.  The bytes are handed over
// without a copy, so the sanitizer sees any read beyond the image; every
// data set must lie within the image, the samples may take no more room
// than the image can hold, and every value is a number.

#include "logger/loggerimage.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > size_t(kv::LoggerMaxImageSize))
        return 0;
    const QByteArray image = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const double now = 46000.5;
    const kv::LoggerParse parse = kv::ParseLoggerImage(image, now);

    Check(parse.code == kv::LoggerParseOk || parse.dataSets.empty());
    Check(int(parse.dataSets.size()) <= parse.declaredCount);
    const qsizetype size_ = qsizetype(size);
    qsizetype entries = 0;
    for (const kv::LoggerDataSet &set : parse.dataSets) {
        Check(set.headerOffset + kv::LoggerSetHeaderSize + qsizetype(kv::LoggerSampleSize) * set.count <= size_);
        Check(set.firstEntry == entries);
        Check(set.interval >= 1 && set.interval <= 3660);
        Check(std::isfinite(set.start));
        entries += qsizetype(kv::LoggerValuesPerSample) * set.count;
    }
    const qsizetype room = size_ > kv::LoggerFirstSetOffset ? (size_ - kv::LoggerFirstSetOffset) / kv::LoggerSampleSize : 0;
    Check(entries <= room * kv::LoggerValuesPerSample);
    Check(qsizetype(parse.series.values.size()) == entries && qsizetype(parse.series.times.size()) == entries);
    for (size_t i = 0; i < parse.series.values.size(); ++i)
        Check(std::isfinite(parse.series.values[i]) && std::isfinite(parse.series.times[i]));
    return 0;
}
