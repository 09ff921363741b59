#pragma once
// Decodes a 64-byte live reply into LiveReading.  Allocation-free; the caller
// has checked the markers (and the checksum on the serial link).

#include "live/livereading.h"

#include <cstdint>

namespace kv {

// Overwrites every field of `reading` except StatusByte.
void DecodeLiveReply(const std::uint8_t *reply, LiveReading &reading);

} // namespace kv
