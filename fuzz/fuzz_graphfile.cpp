// Loads fuzzed graph files and chart state blocks.  The first byte picks how
// the rest is used: 0 as a graph file, 1 as a state block, 2 as a state block
// whose header length and checksum are made to fit (so that the fuzzer
// reaches the sections behind the checksum).  A block that loads must store
// again into a block that loads to the same bytes.

#include "chart/model/chartstate.h"
#include "chart/model/graphfile.h"

#include <QtEndian>

#include <cstdint>
#include <cstdlib>

namespace {

void Fit(QByteArray &block)
{
    if (block.size() < kv::ChartStateHeaderSize)
        return;
    const qsizetype body = block.size() - kv::ChartStateHeaderSize;
    qToLittleEndian<quint32>(quint32(body), block.data() + 12);
    qToLittleEndian<quint32>(kv::Crc32(block.constData() + kv::ChartStateHeaderSize, body),
                             block.data() + kv::ChartStateChecksumOffset);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int mode = data[0] % 3;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    QByteArray block;
    if (mode == 0) {
        QString error;
        if (!kv::ParseGraphFile(bytes, &block, &error)) {
            if (error.isEmpty())
                std::abort();
            return 0;
        }
    } else {
        block = bytes;
        if (mode == 2)
            Fit(block);
    }
    QString error;
    kv::ChartState loaded;
    if (!kv::LoadChartState(block, &loaded, &error)) {
        if (error.isEmpty())
            std::abort();   // a refusal always says why
        return 0;
    }
    const QByteArray once = kv::StoreChartState(loaded);
    kv::ChartState reloaded;
    if (!kv::LoadChartState(once, &reloaded, &error) || kv::StoreChartState(reloaded) != once)
        std::abort();       // what the chart stores, it must load unchanged
    return 0;
}
