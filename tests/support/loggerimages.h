#pragma once
// Logger memory images built byte by byte, for tests and benchmarks that
// need headers the simulated meter never writes (bad BCD, odd intervals,
// unknown unit codes, counts that do not match the memory).

#include "logger/loggerimage.h"

#include <QByteArray>

#include <array>
#include <cstdint>
#include <vector>

namespace kvtest {

struct RawSample {
    int rh10 = 500;
    int t1C10 = 200;
    int t2F10 = 700;
};

struct RawSet {
    std::array<std::uint8_t, 6> start = {0x25, 0x03, 0x31, 0x23, 0x59, 0x58};
    std::uint8_t intervalMinutes = 0;
    std::uint8_t intervalSeconds = 2;
    std::uint8_t unit = 1;
    std::uint8_t couple = 0;
    std::int8_t rhOffset = 0;
    std::int8_t t1Offset = 0;
    std::int8_t t2Offset = 0;
    std::vector<RawSample> samples;
    int countOverride = -1;   // N written in the header instead of samples.size()
};

class LoggerImageBuilder {
public:
    LoggerImageBuilder() : m_bytes(kv::LoggerFirstSetOffset, char(0)) {}

    LoggerImageBuilder &add(const RawSet &set)
    {
        const int n = set.countOverride >= 0 ? set.countOverride : int(set.samples.size());
        put(0xA5);
        put(0x5A);
        put(0x00);
        for (std::uint8_t b : set.start)
            put(b);
        put(set.intervalMinutes);
        put(set.intervalSeconds);
        put(std::uint8_t((set.unit << 4) | (set.couple & 0x0F)));
        putWord(n);
        put(std::uint8_t(set.rhOffset));
        put(std::uint8_t(set.t1Offset));
        put(std::uint8_t(set.t2Offset));
        put(0x00);
        for (const RawSample &s : set.samples) {
            putWord(s.rh10);
            putWord(s.t1C10);
            putWord(s.t2F10);
            putWord(0);
        }
        put(0x5A);
        put(0xA5);
        ++m_sets;
        return *this;
    }

    // The image with the count of data sets added (or `count` instead) and
    // padded to whole 32-byte pages, as a download delivers it.
    QByteArray image(int count = -1, bool pad = true) const
    {
        QByteArray bytes = m_bytes;
        const int n = count >= 0 ? count : m_sets;
        bytes[kv::LoggerCountOffset] = char(n >> 8);
        bytes[kv::LoggerCountOffset + 1] = char(n & 0xFF);
        const int used = int(bytes.size()) - 1;
        bytes[10] = char(used >> 16);
        bytes[11] = char(used >> 8);
        bytes[12] = char(used);
        if (pad && bytes.size() % 32)
            bytes.append(QByteArray(32 - bytes.size() % 32, char(0xFF)));
        return bytes;
    }

private:
    void put(std::uint8_t b) { m_bytes.append(char(b)); }
    void putWord(int w)
    {
        put(std::uint8_t((w >> 8) & 0xFF));
        put(std::uint8_t(w & 0xFF));
    }

    QByteArray m_bytes;
    int m_sets = 0;
};

// One data set of `n` samples with the given values.
inline RawSet SetOf(int n, RawSample sample = {})
{
    RawSet set;
    set.samples.assign(size_t(n), sample);
    return set;
}

} // namespace kvtest
