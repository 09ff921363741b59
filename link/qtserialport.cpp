#include "link/qtserialport.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QThread>

#include <algorithm>
#include <cstdint>

namespace kv {
namespace {

// Pulls at most this many chunks from the system per call, so that a device
// streaming without end cannot hold a caller.
constexpr int PullChunkLimit = 16;

void SleepRest(const QElapsedTimer &clock, int ms)
{
    const qint64 rest = ms - clock.elapsed();
    if (rest > 0)
        QThread::msleep(static_cast<unsigned long>(rest));
}

} // namespace

QString SerialDeviceName(const QString &portName)
{
#ifdef Q_OS_WIN
    return QStringLiteral("\\\\.\\") + portName;
#else
    if (portName.contains(QLatin1Char('/')))
        return portName;
    return QStringLiteral("/dev/") + portName;
#endif
}

QStringList SerialPortNames()
{
    QStringList names;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts())
        names << port.portName();
    return names;
}

QtSerialPort::QtSerialPort() : m_port(std::make_unique<QSerialPort>()) {}

QtSerialPort::~QtSerialPort() { close(); }

void QtSerialPort::setDeviceName(const QString &name) { m_deviceName = name; }

bool QtSerialPort::open()
{
    if (m_port->isOpen())
        return true;
    m_port->setPortName(m_deviceName);
    m_port->setBaudRate(SerialBaudRate);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::HardwareControl);
    const bool opened = m_port->open(QIODevice::ReadWrite);
    // A pseudo-terminal or a Bluetooth port may refuse the modem lines; the
    // port is usable all the same.
    m_port->clearError();
    if (!opened || !m_port->isOpen())
        return false;
    // A session starts with an empty input queue, as on a serial line that
    // receives nothing while closed (a pseudo-terminal keeps what was sent to
    // it meanwhile).
    m_port->clear(QSerialPort::Input);
    m_port->clearError();
    return true;
}

void QtSerialPort::close()
{
    if (m_port->isOpen())
        m_port->close();
    m_port->clearError();
}

bool QtSerialPort::isOpen() const { return m_port->isOpen(); }

int QtSerialPort::write(const std::uint8_t *data, int count)
{
    if (!m_port->isOpen() || count <= 0)
        return 0;
    const qint64 queued = m_port->write(reinterpret_cast<const char *>(data), count);
    // QSerialPort sends from the event loop; hand the bytes to the system now,
    // since the callers wait without handling events.
    const bool sent = queued == count && m_port->flush();
    m_port->clearError();
    return sent ? count : 0;
}

int QtSerialPort::waitingCount()
{
    if (!m_port->isOpen())
        return 0;
    // Received bytes reach the port's buffer only through the event loop or a
    // wait; a wait of 0 ms moves what the system holds without blocking.
    for (int i = 0; i < PullChunkLimit && m_port->waitForReadyRead(0); ++i) {
    }
    m_port->clearError();
    return static_cast<int>(std::min<qint64>(m_port->bytesAvailable(), INT32_MAX));
}

int QtSerialPort::read(std::uint8_t *buffer, int count)
{
    if (!m_port->isOpen() || count <= 0)
        return 0;
    if (m_port->bytesAvailable() < count)
        waitingCount();
    const qint64 got = m_port->read(reinterpret_cast<char *>(buffer), count);
    m_port->clearError();
    return got > 0 ? static_cast<int>(got) : 0;
}

void QtSerialPort::clearInput()
{
    if (!m_port->isOpen())
        return;
    m_port->clear(QSerialPort::Input);
    m_port->clearError();
}

void QtSerialPort::waitForInput(int ms)
{
    QElapsedTimer clock;
    clock.start();
    if (ms <= 0)
        return;
    if (m_port->isOpen()) {
        const bool arrived = m_port->waitForReadyRead(ms);
        m_port->clearError();
        if (arrived)
            return;
    }
    // A closed port, or one whose device has gone away (the system then
    // reports at once, again and again): sleep the rest rather than spin.
    SleepRest(clock, ms);
}

} // namespace kv
