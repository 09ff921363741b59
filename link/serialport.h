#pragma once
// The operations the program needs of a serial port.  Every error is caught
// and ignored by the implementation: calls never throw and a failed call
// leaves the port usable for the next one.

#include <QString>
#include <QStringList>
#include <cstdint>

namespace kv {

class SerialPort {
public:
    virtual ~SerialPort() = default;

    virtual void setDeviceName(const QString &name) = 0; // takes effect at the next open
    virtual QString deviceName() const = 0;
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual int write(const std::uint8_t *data, int count) = 0;
    // Received bytes waiting in the input queue.
    virtual int waitingCount() = 0;
    // Moves at most `count` waiting bytes into `buffer`; returns how many.
    virtual int read(std::uint8_t *buffer, int count) = 0;
    virtual void clearInput() = 0;
    // Blocks (without handling window messages, without spinning) until
    // input beyond what is already waiting arrives or `ms` pass.  It does not
    // return early otherwise, also not on a closed or failed port: callers
    // loop on it until their time is up.
    virtual void waitForInput(int ms) = 0;
};

} // namespace kv
