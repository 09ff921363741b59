#include "service/usbsource.h"

#include "link/hidtransfer.h"

#include <QFileSystemWatcher>

namespace kv::service {

HidMeterSource::HidMeterSource(QObject *parent) : UsbMeterSource(parent), m_watcher(new QFileSystemWatcher(this))
{
    m_watcher->addPath(QStringLiteral("/dev"));
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &UsbMeterSource::changed);
}

QList<UsbMeterEntry> HidMeterSource::meters()
{
    QList<UsbMeterEntry> list;
    for (const HidDeviceEntry &device : EnumerateHidDevices(MeterVendorId, MeterProductId))
        list.append({device.path, device.serial});
    return list;
}

std::unique_ptr<UsbTransfer> HidMeterSource::open(const UsbMeterEntry &meter)
{
    auto transfer = std::make_unique<HidTransfer>();
    // Binds the transfer to the meter; the lock is taken here and kept.
    transfer->OpenDevicePath(meter.path.toLocal8Bit().constData());
    transfer->CloseDevice();
    return transfer;
}

} // namespace kv::service
