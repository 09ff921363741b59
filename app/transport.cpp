#include "app/transport.h"

#include "link/hidtransfer.h"
#include "sim/simmeter.h"
#include "sim/simusbtransfer.h"

#include <QString>

namespace kv {
namespace {

struct DemoMeter {
    SimMeter meter; // real time, drifting readings, a few logged data sets
};

// The simulated meter behind the USB transfer, owned together.
class DemoUsbTransfer : private DemoMeter, public SimUsbTransfer {
public:
    DemoUsbTransfer() : SimUsbTransfer(DemoMeter::meter) {}
};

} // namespace

bool DemoModeRequested() { return qEnvironmentVariable("KV3917_DEMO") == QLatin1String("1"); }

std::unique_ptr<UsbTransfer> CreateUsbTransfer(bool demo)
{
    if (demo)
        return std::make_unique<DemoUsbTransfer>();
    return std::make_unique<HidTransfer>();
}

} // namespace kv
