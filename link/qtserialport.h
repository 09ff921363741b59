#pragma once
// The serial port of the meter link over QSerialPort: 9600 baud, 8N1, RTS/CTS
// handshake, XON/XOFF off.  Every call swallows the port's errors; a failed
// call leaves the port's error set, so nothing here decides on error(): the
// open state and the byte counts are what the callers see.

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

class QtSerialPort : public SerialPort {
public:
    QtSerialPort();
    ~QtSerialPort() override;
    QtSerialPort(const QtSerialPort &) = delete;
    QtSerialPort &operator=(const QtSerialPort &) = delete;

    void setDeviceName(const QString &name) override;
    QString deviceName() const override { return m_deviceName; }
    bool open() override;
    void close() override;
    bool isOpen() const override;
    int write(const std::uint8_t *data, int count) override;
    int waitingCount() override;
    int read(std::uint8_t *buffer, int count) override;
    void clearInput() override;
    void waitForInput(int ms) override;

private:
    std::unique_ptr<QSerialPort> m_port;
    QString m_deviceName;
};

} // namespace kv
