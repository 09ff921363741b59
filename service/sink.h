#pragma once
// An output of the service.  The service calls every sink on its main thread,
// in the order things happened for each meter; a sink never blocks (network
// outputs queue and report through their own counters).

#include "service/channels.h"

namespace kv::service {

class Sink {
public:
    virtual ~Sink() = default;
    // A meter answered its identification (again).
    virtual void meterUp(const MeterInfo &meter) = 0;
    // One good reading of an up meter.
    virtual void reading(const MeterInfo &meter, const MeterReading &reading) = 0;
    // The meter stopped answering or was unplugged; no value of it is current.
    virtual void meterDown(const MeterInfo &meter) = 0;
    // The service is stopping: flush what can be flushed without waiting long.
    virtual void stop() {}
};

} // namespace kv::service
