// The serial port itself: which devices it opens and how it sets the line.
#include "link/qtserialport.h"

#include <QtTest>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A pseudo-terminal pair; the slave's path is what a user would type.
struct Pty {
    int master = -1;
    QString slave;
    Pty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            slave = QString::fromLocal8Bit(ptsname(master));
    }
    ~Pty()
    {
        if (master >= 0)
            ::close(master);
    }
};

} // namespace

class TestSerialPort : public QObject {
    Q_OBJECT
private slots:
    void meterPortDevices_data();
    void meterPortDevices();
    void controllingTerminalIsNeverOpened();
    void portOpensWithoutWaitingForCts();
};

void TestSerialPort::meterPortDevices_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("pseudo-terminal") << QStringLiteral("<pty>") << true;
    QTest::newRow("half-typed tty") << kv::SerialDeviceName(QStringLiteral("tty")) << false;
    QTest::newRow("console") << QStringLiteral("/dev/console") << false;
    QTest::newRow("virtual console") << kv::SerialDeviceName(QStringLiteral("tty1")) << false;
    QTest::newRow("virtual console 0") << QStringLiteral("/dev/tty0") << false;
    QTest::newRow("pty multiplexer") << QStringLiteral("/dev/ptmx") << false;
    QTest::newRow("not a terminal") << QStringLiteral("/dev/null") << false;
    QTest::newRow("regular file") << QStringLiteral("/etc/hostname") << false;
    QTest::newRow("missing") << kv::SerialDeviceName(QStringLiteral("ttyKV9")) << false;
    QTest::newRow("half-typed missing") << kv::SerialDeviceName(QStringLiteral("t")) << false;
}

void TestSerialPort::meterPortDevices()
{
    QFETCH(QString, device);
    QFETCH(bool, allowed);
    Pty pty;
    QVERIFY(!pty.slave.isEmpty());
    if (device == QLatin1String("<pty>"))
        device = pty.slave;
    else if (!QFileInfo::exists(device) && allowed)
        QSKIP("no such device here");
    QString why;
    QCOMPARE(kv::IsMeterPortDevice(device, &why), allowed);
    QCOMPARE(why.isEmpty(), allowed);

    // The port opens exactly what the rule allows.
    kv::QtSerialPort port;
    port.setDeviceName(device);
    QCOMPARE(port.open(), allowed);
}

void TestSerialPort::controllingTerminalIsNeverOpened()
{
    // A child in a session of its own takes the pseudo-terminal as its
    // controlling terminal; from then on the port refuses it.
    Pty pty;
    QVERIFY(!pty.slave.isEmpty());
    const QByteArray slave = QFile::encodeName(pty.slave);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (setsid() < 0)
            _exit(10);
        const int fd = ::open(slave.constData(), O_RDWR); // no O_NOCTTY: becomes the controlling terminal
        if (fd < 0)
            _exit(11);
        _exit(kv::IsMeterPortDevice(QString::fromLocal8Bit(slave)) ? 1 : 0);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

void TestSerialPort::portOpensWithoutWaitingForCts()
{
    Pty pty;
    QVERIFY(!pty.slave.isEmpty());
    kv::QtSerialPort port;
    port.setDeviceName(pty.slave);
    QVERIFY(port.open());

    const int fd = ::open(QFile::encodeName(pty.slave).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    termios line {};
    QCOMPARE(tcgetattr(fd, &line), 0);
    ::close(fd);
    QCOMPARE(line.c_cflag & CRTSCTS, tcflag_t(0));
    QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));
    QCOMPARE(cfgetospeed(&line), speed_t(B9600));

    // A frame written reaches the other end at once.
    const std::uint8_t frame[] = {0x02, 'K', 0, 0, 0, 0, 0x03};
    QCOMPARE(port.write(frame, int(sizeof frame)), int(sizeof frame));
    char got[sizeof frame] = {};
    QCOMPARE(::read(pty.master, got, sizeof got), ssize_t(sizeof frame));
    QCOMPARE(got[1], 'K');
}

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
