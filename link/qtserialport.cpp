#include "link/qtserialport.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QThread>

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdint>

#ifdef Q_OS_LINUX
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

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

#ifdef Q_OS_LINUX
namespace {

// Character device majors of Linux (Documentation/admin-guide/devices.txt).
constexpr unsigned TtyMajor = 4;             // tty0..63 virtual consoles, ttyS serial ports
constexpr unsigned FirstSerialMinor = 64;
constexpr unsigned AltTtyMajor = 5;          // /dev/tty, /dev/console, /dev/ptmx
constexpr unsigned LegacyPtySlaveMajor = 3;  // ttyp*
constexpr unsigned FirstPtsMajor = 136;      // /dev/pts/* (136..143)
constexpr unsigned LastPtsMajor = 143;
constexpr unsigned RfcommMajor = 216;        // Bluetooth serial, rfcomm*

// The device number of the process's controlling terminal, 0 without one
// (the tty_nr field of /proc/self/stat; read, never opened).
dev_t ControllingTerminal()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // The command name in parentheses may hold spaces: count from its end.
    const int close = line.lastIndexOf(')');
    if (close < 0)
        return 0;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    // After the name: state, ppid, pgrp, session, tty_nr.
    if (fields.size() < 5)
        return 0;
    bool ok = false;
    const qlonglong ttyNr = fields[4].toLongLong(&ok);
    if (!ok || ttyNr <= 0)
        return 0;
    const unsigned major = (unsigned(ttyNr) >> 8) & 0xfff;
    const unsigned minor = (unsigned(ttyNr) & 0xff) | ((unsigned(ttyNr) >> 12) & 0xfff00);
    return makedev(major, minor);
}

// A tty backed by hardware (a UART, a USB serial adapter) has a device in
// sysfs; consoles and /dev/tty do not.
bool IsHardwareTty(unsigned major, unsigned minor)
{
    const QString base = QStringLiteral("/sys/dev/char/%1:%2/").arg(major).arg(minor);
    return QFileInfo(base + QStringLiteral("subsystem")).canonicalFilePath().endsWith(QLatin1String("/tty")) &&
           QFileInfo::exists(base + QStringLiteral("device"));
}

} // namespace
#endif

bool IsMeterPortDevice(const QString &deviceName, QString *why)
{
    const auto refuse = [why](const QString &text) {
        if (why)
            *why = text;
        return false;
    };
#ifdef Q_OS_LINUX
    struct stat info {};
    if (::stat(QFile::encodeName(deviceName).constData(), &info) != 0)
        return refuse(QStringLiteral("no such device"));
    if (!S_ISCHR(info.st_mode))
        return refuse(QStringLiteral("not a character device"));
    if (info.st_rdev == ControllingTerminal())
        return refuse(QStringLiteral("the controlling terminal"));
    const unsigned major = ::major(info.st_rdev);
    const unsigned minor = ::minor(info.st_rdev);
    if ((major >= FirstPtsMajor && major <= LastPtsMajor) || major == LegacyPtySlaveMajor || major == RfcommMajor)
        return true;
    if (major == TtyMajor && minor < FirstSerialMinor)
        return refuse(QStringLiteral("a virtual console"));
    if (major == AltTtyMajor)
        return refuse(QStringLiteral("a terminal or the console"));
    if (IsHardwareTty(major, minor))
        return true;
    return refuse(QStringLiteral("not a serial port"));
#else
    if (!QFileInfo::exists(deviceName) && !deviceName.startsWith(QLatin1String("\\\\.\\")))
        return refuse(QStringLiteral("no such device"));
    return true;
#endif
}

QtSerialPort::QtSerialPort() : m_port(std::make_unique<QSerialPort>()) {}

QtSerialPort::~QtSerialPort() { close(); }

void QtSerialPort::setDeviceName(const QString &name) { m_deviceName = name; }

bool QtSerialPort::open()
{
    if (m_port->isOpen())
        return true;
    QString why;
    if (!IsMeterPortDevice(m_deviceName, &why)) {
        m_error = why;
        return false;
    }
    QString holder;
    if (!m_lock.acquire(m_deviceName, &holder)) {
        m_error = QStringLiteral("in use by %1").arg(holder);
        // Said once per device and holder, not on every attempt of a search.
        const QString warning = m_deviceName + QStringLiteral(" is ") + m_error;
        if (warning != m_lastWarning)
            qWarning("%s", qPrintable(warning));
        m_lastWarning = warning;
        return false;
    }
    m_port->setPortName(m_deviceName);
    m_port->setBaudRate(SerialBaudRate);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    // DTR and RTS are raised for the meter; output is never held back
    // waiting for CTS.
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    const bool opened = m_port->open(QIODevice::ReadWrite);
    const QString openError = m_port->errorString();
    m_port->clearError();
    if (!opened || !m_port->isOpen()) {
        m_error = openError;
        m_lock.release();
        return false;
    }
    m_error.clear();
    // A pseudo-terminal or a Bluetooth port may refuse the modem lines; the
    // port is usable all the same.
    m_port->setDataTerminalReady(true);
    m_port->setRequestToSend(true);
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
    m_lock.release();
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
        if (arrived) {
            if (m_gatherMs > 0)
                SleepRest(clock, static_cast<int>(std::min<qint64>(ms, clock.elapsed() + m_gatherMs)));
            return;
        }
    }
    // A closed port, or one whose device has gone away (the system then
    // reports at once, again and again): sleep the rest rather than spin.
    SleepRest(clock, ms);
}

} // namespace kv
