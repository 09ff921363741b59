#pragma once
// Simulated USB meters behind the service's USB enumeration, plugged in and
// pulled out by the test in-process.  Each meter is touched only by the
// session that has it (and by the test before it is first plugged in).

#include "service/usbsource.h"
#include "sim/simmeter.h"
#include "sim/simusbtransfer.h"
#include "tests/support/ptymeter.h"

#include <atomic>
#include <memory>
#include <vector>

namespace kvtest {

struct SimUsbPlug {
    kv::SimMeter meter{nullptr, QuietMeter()};
    kv::SimUsbTransfer usb{meter};
    std::atomic<bool> present{false};
    QString path;
    QString serial;
};

// Answers as no device at all while its meter is pulled out.
class SimUsbPlugTransfer : public kv::UsbTransfer {
public:
    explicit SimUsbPlugTransfer(std::shared_ptr<SimUsbPlug> plug) : m_plug(std::move(plug)) {}
    int OpenDevice(std::uint16_t v, std::uint16_t p) override { return here() ? m_plug->usb.OpenDevice(v, p) : kv::SimUsbNoDevice; }
    int SetDeviceTimeouts(int r, int w) override { return here() ? m_plug->usb.SetDeviceTimeouts(r, w) : kv::SimUsbNoDevice; }
    int WriteCommand(int n, const std::uint8_t *f) override { return here() ? m_plug->usb.WriteCommand(n, f) : kv::SimUsbNoDevice; }
    int WriteData(int n, const std::uint8_t *d) override { return here() ? m_plug->usb.WriteData(n, d) : kv::SimUsbNoDevice; }
    int AfterWrite() override { return here() ? m_plug->usb.AfterWrite() : kv::SimUsbNoDevice; }
    int ReadReply(int n, std::uint8_t *b) override { return here() ? m_plug->usb.ReadReply(n, b) : kv::SimUsbNoDevice; }
    int ReadSerialText(int i, std::uint8_t *b, int n) override { return here() ? m_plug->usb.ReadSerialText(i, b, n) : kv::SimUsbNoDevice; }
    int CloseDevice() override { return m_plug->usb.CloseDevice(); }

private:
    bool here() const { return m_plug->present.load(); }
    std::shared_ptr<SimUsbPlug> m_plug;
};

class SimUsbSource : public kv::service::UsbMeterSource {
public:
    // A meter not yet plugged in, reading the given set points.  Add every
    // meter before the service starts: sessions look them up on their threads.
    std::shared_ptr<SimUsbPlug> add(const QString &serial, double rh, double t1, double t2)
    {
        auto plug = std::make_shared<SimUsbPlug>();
        plug->serial = serial;
        plug->path = QStringLiteral("/dev/sim-hidraw%1").arg(m_plugs.size());
        plug->meter.setSerialText(serial);
        plug->meter.setReading(rh, t1, t2);
        m_plugs.push_back(plug);
        return plug;
    }
    void plug(const std::shared_ptr<SimUsbPlug> &p)
    {
        p->present.store(true);
        emit changed();
    }
    void unplug(const std::shared_ptr<SimUsbPlug> &p)
    {
        p->present.store(false);
        emit changed();
    }

    QList<kv::service::UsbMeterEntry> meters() override
    {
        QList<kv::service::UsbMeterEntry> list;
        for (const auto &p : m_plugs)
            if (p->present.load())
                list.append({p->path, p->serial});
        return list;
    }
    std::unique_ptr<kv::UsbTransfer> open(const kv::service::UsbMeterEntry &meter) override
    {
        for (const auto &p : m_plugs)
            if (p->path == meter.path)
                return std::make_unique<SimUsbPlugTransfer>(p);
        return nullptr;
    }

private:
    std::vector<std::shared_ptr<SimUsbPlug>> m_plugs;
};

} // namespace kvtest
