#include "app/transport.h"

#include "link/hidtransfer.h"

#include <QString>

namespace kv {
namespace {

// Until a device backend is attached: no meter is ever present.
class NoDeviceTransfer : public UsbTransfer {
public:
    int OpenDevice(std::uint16_t, std::uint16_t) override { return 1; }
    int SetDeviceTimeouts(int, int) override { return 1; }
    int WriteCommand(int, const std::uint8_t *) override { return 1; }
    int WriteData(int, const std::uint8_t *) override { return 1; }
    int AfterWrite() override { return 0; }
    int ReadReply(int, std::uint8_t *) override { return 1; }
    int ReadSerialText(int, std::uint8_t *, int) override { return 1; }
    int CloseDevice() override { return 0; }
};

} // namespace

bool DemoModeRequested() { return qEnvironmentVariable("KV3917_DEMO") == QLatin1String("1"); }

std::unique_ptr<UsbTransfer> CreateUsbTransfer(bool demo)
{
    if (demo)
        return std::make_unique<NoDeviceTransfer>();
    return std::make_unique<HidTransfer>();
}

} // namespace kv
