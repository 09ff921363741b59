#pragma once
// The 7-byte command frame and the reply buffer shared by the exchanges.

#include <array>
#include <cstdint>

namespace kv {

constexpr std::uint8_t FrameStart = 0x02;
constexpr std::uint8_t FrameEnd = 0x03;
constexpr int FrameLength = 7;
constexpr int ReplyBufferLength = 64;

// Reply lengths on the USB link.
constexpr int LiveReplyLength = 64;
constexpr int ShortReplyLength = 32;   // identification, acknowledgements
constexpr int PageReplyLength = 36;    // logger memory pages

// A persistent frame: bytes a command does not set keep what the previous
// command left in the same frame (all zero at start).
struct CommandFrame {
    std::array<std::uint8_t, FrameLength> bytes{FrameStart, 0, 0, 0, 0, 0, FrameEnd};

    // Sets bytes 0, 1 and 6; parameters stay as they are.
    void setCommand(char letter)
    {
        bytes[0] = FrameStart;
        bytes[1] = static_cast<std::uint8_t>(letter);
        bytes[6] = FrameEnd;
    }
    const std::uint8_t *data() const { return bytes.data(); }
    std::uint8_t &operator[](int i) { return bytes[static_cast<std::size_t>(i)]; }
    std::uint8_t operator[](int i) const { return bytes[static_cast<std::size_t>(i)]; }
};

using ReplyBuffer = std::array<std::uint8_t, ReplyBufferLength>;

// True when reply bytes 23..25 read "522" (the identification of this meter).
inline bool IsMeterIdentification(const std::uint8_t *reply)
{
    return reply[23] == '5' && reply[24] == '2' && reply[25] == '2';
}

// True when bytes at and after `offset` read "OK".
inline bool HasOkAt(const std::uint8_t *reply, int offset)
{
    return reply[offset] == 'O' && reply[offset + 1] == 'K';
}

// Live reply markers and checksum (sum of bytes 1..61 modulo 256 in byte 62).
inline bool HasLiveMarkers(const std::uint8_t *reply)
{
    return reply[0] == FrameStart && reply[63] == FrameEnd;
}
inline std::uint8_t LiveChecksum(const std::uint8_t *reply)
{
    unsigned sum = 0;
    for (int i = 1; i <= 61; ++i)
        sum += reply[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

// Memory page check byte: sum of bytes 0..31 modulo 256.
inline std::uint8_t PageChecksum(const std::uint8_t *page)
{
    unsigned sum = 0;
    for (int i = 0; i < 32; ++i)
        sum += page[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

} // namespace kv
