// Any 64 bytes through the live reply marker check and the decoder.
#include "link/commandframe.h"
#include "live/decoder.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    kv::ReplyBuffer reply{};
    std::memcpy(reply.data(), data, size < reply.size() ? size : reply.size());
    kv::LiveReading reading;
    // Feed the decoder both the reply as it came and one with its markers
    // set, so every byte pattern reaches it.
    if (kv::HasLiveMarkers(reply.data()))
        kv::DecodeLiveReply(reply.data(), reading);
    reply[0] = kv::FrameStart;
    reply[63] = kv::FrameEnd;
    if (kv::HasLiveMarkers(reply.data()))
        kv::DecodeLiveReply(reply.data(), reading);
    return 0;
}
