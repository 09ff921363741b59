#pragma once
// One program at a time on a meter: an advisory lock (flock) on a file named
// after the device, taken by whoever opens a serial port or a HID device of
// the meter.  The file holds the holder's pid and program name, so the one
// refused can say who has the meter.
//
// The lock files live in one folder shared by every user of the machine:
// /run/lock when it is writable, otherwise $XDG_RUNTIME_DIR, otherwise the
// temporary folder; KV3917_LOCK_DIR overrides (tests).  A lock is released
// when its DeviceLock is released or destroyed, or when the process ends.
// The files are left in place (removing one could let two programs lock two
// different files of the same name).

#include <QString>

namespace kv {

QString DeviceLockFolder();
// The lock file of a device: symbolic links are resolved, so
// /dev/serial/by-id/... and /dev/ttyUSB0 share one lock.
QString DeviceLockPath(const QString &device);

class DeviceLock {
public:
    DeviceLock() = default;
    ~DeviceLock();
    DeviceLock(const DeviceLock &) = delete;
    DeviceLock &operator=(const DeviceLock &) = delete;

    // Takes the lock of `device` (releasing any other this object holds).
    // False when someone else holds it: *holder then names them, e.g.
    // "kv3917d (pid 1234)".  A lock folder that cannot be used does not keep
    // anyone from the meter: true, without a lock.
    bool acquire(const QString &device, QString *holder = nullptr);
    void release();
    bool isHeld() const { return m_fd >= 0; }
    const QString &device() const { return m_device; }

private:
    int m_fd = -1;
    QString m_device;
};

} // namespace kv
