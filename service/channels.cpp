#include "service/channels.h"

namespace kv::service {

const std::array<ChannelInfo, ChannelCount> MeterChannels = {{
    {ChannelId::Rh, "rh", "RH", false, nullptr, "humidity", "%"},
    {ChannelId::T1, "t1", "T1", true, "t1", "temperature", "°C"},
    {ChannelId::T2, "t2", "T2", true, "t2", "temperature", "°C"},
    {ChannelId::WetBulb, "wet_bulb", "Wet bulb", true, "wet_bulb", "temperature", "°C"},
    {ChannelId::DewPoint, "dew_point", "Dew point", true, "dew_point", "temperature", "°C"},
}};

const char *DisplayModeKey(DisplayMode mode)
{
    switch (mode) {
    case DisplayMode::Max:
        return "max";
    case DisplayMode::Min:
        return "min";
    case DisplayMode::Avg:
        return "avg";
    case DisplayMode::Normal:
        break;
    }
    return "normal";
}

} // namespace kv::service
