#pragma once
// The channels of every graph and the marker values of sample data, shared by
// everything that writes, shows or reads samples.

namespace kv {

// Channels of every graph, in subset order.
enum GraphChannel { ChannelRh = 0, ChannelT1 = 1, ChannelT2 = 2, ChannelWetBulb = 3, ChannelDewPoint = 4 };
constexpr int GraphChannelCount = 5;

// Marker values in sample data.
constexpr float OverRangeValue = 9000.0f;    // shown "OL"
constexpr float UnderRangeValue = -9000.0f;  // shown "-OL"
constexpr float NoValue = 9999.0f;           // the chart's null value: not drawn

} // namespace kv
