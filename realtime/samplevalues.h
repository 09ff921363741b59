#pragma once
// The five channel values one live reading becomes in sample data, with the
// range markers in place of flagged channels.  Shared by the real-time graph
// and every other writer of live samples, so they all store the same thing.

#include "live/livereading.h"
#include "realtime/channels.h"

#include <array>

namespace kv {

using SampleValues = std::array<float, GraphChannelCount>;

// RH and T1 flagged: over range.  T2 flagged: over or under range by the sign
// of the value (0 stays 0).  Wet bulb and dew point have no value when RH or
// T1 is flagged.
SampleValues LiveSampleValues(const LiveReading &reading);

} // namespace kv
