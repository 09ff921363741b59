#pragma once
// The five channel values one live reading becomes in sample data, with the
// range markers in place of flagged channels.  Shared by the real-time graph
// and every other writer of live samples, so they all store the same thing.

#include "live/livereading.h"

#include <array>

namespace kv {

constexpr float OverRangeMark = 9000.0f;   // shown "OL"
constexpr float UnderRangeMark = -9000.0f; // shown "-OL"
constexpr float NoValueMark = 9999.0f;     // no value: not drawn

// Channel order of every graph.
enum SampleChannel { ChannelRh = 0, ChannelT1, ChannelT2, ChannelWetBulb, ChannelDewPoint, SampleChannelCount };

using SampleValues = std::array<float, SampleChannelCount>;

// RH and T1 flagged: over range.  T2 flagged: over or under range by the sign
// of the value (0 stays 0).  Wet bulb and dew point have no value when RH or
// T1 is flagged.
SampleValues LiveSampleValues(const LiveReading &reading);

} // namespace kv
