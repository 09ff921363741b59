#pragma once
// The serial port of the meter link over QSerialPort: 9600 baud, 8N1, DTR and
// RTS raised for the meter, no flow control (a cable or Bluetooth link that
// leaves CTS low must still receive our frames).  Every call swallows the port's errors; a failed
// call leaves the port's error set, so nothing here decides on error(): the
// open state and the byte counts are what the callers see.

#include "link/devicelock.h"
#include "link/serialport.h"

#include <QString>
#include <QStringList>

#include <memory>

class QSerialPort;

namespace kv {

constexpr int SerialBaudRate = 9600;

// The device name of a listed or typed port: "\\.\" + name on Windows; on
// other systems a bare name lies in /dev and a path is used as it stands.
QString SerialDeviceName(const QString &portName);

// The serial ports of the system, in the order the system lists them.
QStringList SerialPortNames();

// Whether a device may be opened as the meter's port: an existing serial
// port, pseudo-terminal or Bluetooth serial device, never the program's
// controlling terminal, the console or a virtual console.  Opening nothing
// else keeps a half-typed name ("tty", "tty1") from reconfiguring a
// terminal.  When refused, *why says why.
bool IsMeterPortDevice(const QString &deviceName, QString *why = nullptr);

class QtSerialPort : public SerialPort {
public:
    QtSerialPort();
    ~QtSerialPort() override;
    QtSerialPort(const QtSerialPort &) = delete;
    QtSerialPort &operator=(const QtSerialPort &) = delete;

    void setDeviceName(const QString &name) override;
    QString deviceName() const override { return m_deviceName; }
    // Opens only what IsMeterPortDevice allows, and only while no other
    // program holds the device's lock (held until close()).
    bool open() override;
    void close() override;
    bool isOpen() const override;
    int write(const std::uint8_t *data, int count) override;
    int waitingCount() override;
    int read(std::uint8_t *buffer, int count) override;
    void clearInput() override;
    void waitForInput(int ms) override;

    // After input arrives, waitForInput sleeps up to `ms` more (never past
    // its own time) so that the bytes following it arrive in the same
    // wake-up: a line at 9600 baud delivers about one byte a millisecond, and
    // a caller that waits for a whole reply need not wake for each.  0 (the
    // default) returns at the first byte.
    void setInputGatherMs(int ms) { m_gatherMs = ms > 0 ? ms : 0; }

    // Why the last open() failed ("in use by kv3917d (pid 1234)", "not a
    // serial port", ...); empty after a successful one.
    QString errorString() const { return m_error; }

private:
    std::unique_ptr<QSerialPort> m_port;
    QString m_deviceName;
    QString m_error;
    QString m_lastWarning;
    int m_gatherMs = 0;
    DeviceLock m_lock;
};

} // namespace kv
