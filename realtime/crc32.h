#pragma once
// CRC-32 (IEEE 802.3, reflected, as zlib computes it) of the records of the
// recording journal and of the service's spool.

#include <cstdint>

namespace kv {

namespace crc32detail {
struct Table {
    std::uint32_t entries[256];
    constexpr Table() : entries()
    {
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[n] = c;
        }
    }
};
inline constexpr Table Entries;
} // namespace crc32detail

inline std::uint32_t RecordCrc32(const char *data, std::int64_t size)
{
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::int64_t i = 0; i < size; ++i)
        c = crc32detail::Entries.entries[(c ^ std::uint8_t(data[i])) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

} // namespace kv
