#include "service/demometer.h"

#include "sim/simmeter.h"
#include "sim/simusbtransfer.h"

namespace kv::service {
namespace {

// Set points of demo meter n: RH, T1 and T2 stepped apart so that the meters
// are told apart at a glance.
constexpr double DemoRhBase = 40.0, DemoRhStep = 3.0;
constexpr double DemoT1Base = 21.0, DemoT1Step = 0.7;
constexpr double DemoT2Base = 24.0, DemoT2Step = 1.5;
constexpr int DemoCycle = 10; // set points repeat after this many meters

class DemoTransfer final : public UsbTransfer {
public:
    explicit DemoTransfer(int index) : m_meter(nullptr, Options(index)), m_usb(m_meter)
    {
        const int step = (index - 1) % DemoCycle;
        m_meter.setReading(DemoRhBase + DemoRhStep * step, DemoT1Base + DemoT1Step * step,
                           DemoT2Base + DemoT2Step * step);
        m_meter.setSerialText(DemoSerial(index));
    }

    int OpenDevice(std::uint16_t v, std::uint16_t p) override { return m_usb.OpenDevice(v, p); }
    int SetDeviceTimeouts(int r, int w) override { return m_usb.SetDeviceTimeouts(r, w); }
    int WriteCommand(int n, const std::uint8_t *f) override { return m_usb.WriteCommand(n, f); }
    int WriteData(int n, const std::uint8_t *d) override { return m_usb.WriteData(n, d); }
    int AfterWrite() override { return m_usb.AfterWrite(); }
    int ReadReply(int n, std::uint8_t *b) override { return m_usb.ReadReply(n, b); }
    int ReadSerialText(int i, std::uint8_t *b, int n) override { return m_usb.ReadSerialText(i, b, n); }
    int CloseDevice() override { return m_usb.CloseDevice(); }

private:
    static SimOptions Options(int index)
    {
        SimOptions options;
        options.seed = SimDefaultSeed + std::uint32_t(index);
        return options;
    }

    SimMeter m_meter;
    SimUsbTransfer m_usb;
};

} // namespace

QString DemoSerial(int index) { return QStringLiteral("KV3917-DEMO-%1").arg(index, 4, 10, QLatin1Char('0')); }

std::unique_ptr<UsbTransfer> CreateDemoTransfer(int index) { return std::make_unique<DemoTransfer>(index); }

} // namespace kv::service
