#pragma once
// Where the service finds its USB meters: an enumeration of the meters
// plugged in now, and a transfer for each.  The real one enumerates HID
// devices 04D9:E000 through link/ (HidMeterSource); tests plug and unplug
// simulated meters in-process behind the same interface.

#include "link/usbtransfer.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class QFileSystemWatcher;

namespace kv::service {

struct UsbMeterEntry {
    QString path;   // the device path the transfer opens
    QString serial; // the meter's serial-number text
};

class UsbMeterSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // The meters plugged in now (main thread).
    virtual QList<UsbMeterEntry> meters() = 0;
    // A transfer for `meter`, bound to it.  Called on the session's thread;
    // the transfer is used only there.
    virtual std::unique_ptr<UsbTransfer> open(const UsbMeterEntry &meter) = 0;

signals:
    // Something may have been plugged in or pulled out: enumerate now.
    void changed();
};

// The HID meters of the system.  A change in /dev (a hidraw node coming or
// going) announces itself at once; the service enumerates periodically too.
class HidMeterSource : public UsbMeterSource {
    Q_OBJECT
public:
    explicit HidMeterSource(QObject *parent = nullptr);
    QList<UsbMeterEntry> meters() override;
    std::unique_ptr<UsbTransfer> open(const UsbMeterEntry &meter) override;

private:
    QFileSystemWatcher *m_watcher;
};

} // namespace kv::service
