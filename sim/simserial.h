#pragma once
// The serial side of the simulated meter.
//
// SimSerialLink is a byte stream: write() takes the bytes the computer sends
// to the port (frames may arrive in pieces or with junk between them; a
// frame is 02, letter, four bytes, 03), and read() gives the bytes the meter
// has sent back by now.  Replies leave the meter after a short turnaround and,
// when paced, one character time (10 bits at 9600 baud) apart, so a reader
// that looks after 200 ms sees what a real port would hold.  A pty server
// polls available()/read() and sleeps until nextArrivalUs().  The serial side
// answers 'A', 'K', 'P', 'p', 'n', 'q' only ('n' resends the last page of a
// download; 'r' and the panel and setup commands go unanswered).
//
// SimSerialPort is a kv::SerialPort over such a link, for tests of the serial
// exchanges without a pseudo-terminal.
//
// One thread owns a link together with its meter.

#include "link/serialport.h"
#include "sim/simmeter.h"

#include <QByteArray>

#include <climits>
#include <cstdint>
#include <deque>

namespace kv {

constexpr int SimSerialBaud = 9600;
constexpr int SimSerialBitsPerChar = 10; // start, 8 data, stop
constexpr std::int64_t SimSerialCharUs = (1000000LL * SimSerialBitsPerChar + SimSerialBaud - 1) / SimSerialBaud;

enum class SimSerialPacing : std::uint8_t {
    Baud9600, // one character time per byte, in both directions
    Burst,    // a whole reply arrives at once after the turnaround
};

class SimSerialLink {
public:
    explicit SimSerialLink(SimMeter &meter, SimSerialPacing pacing = SimSerialPacing::Baud9600);

    void write(const std::uint8_t *data, int count);
    void write(const QByteArray &bytes);

    int available();                 // bytes arrived by now
    int read(std::uint8_t *buffer, int count);
    QByteArray read(int count = INT_MAX);
    void discardArrived();           // a port's "clear input"
    void reset();                    // drops everything in both directions
    int inFlight() const { return int(m_output.size()); } // arrived or not
    std::int64_t nextArrivalUs() const; // next byte not yet arrived, -1 if none

    void setPacing(SimSerialPacing pacing) { m_pacing = pacing; }
    SimSerialPacing pacing() const { return m_pacing; }
    SimMeter &meter() { return m_meter; }

private:
    struct OutByte {
        std::int64_t dueUs;
        std::uint8_t value;
    };

    void parseInput();

    SimMeter &m_meter;
    SimSerialPacing m_pacing;
    QByteArray m_input;
    std::deque<OutByte> m_output;
    std::int64_t m_lineFreeUs = 0;
};

class SimSerialPort : public SerialPort {
public:
    // The port opens when its device name ends with `portName`.
    explicit SimSerialPort(SimMeter &meter, const QString &portName = QStringLiteral("SIM"),
                           SimSerialPacing pacing = SimSerialPacing::Baud9600);

    void setDeviceName(const QString &name) override { m_device = name; }
    QString deviceName() const override { return m_device; }
    bool open() override;
    void close() override;
    bool isOpen() const override { return m_open; }
    int write(const std::uint8_t *data, int count) override;
    int waitingCount() override;
    int read(std::uint8_t *buffer, int count) override;
    void clearInput() override;
    // Sleeps on the meter's clock until the next byte arrives (bytes already
    // waiting do not count) or `ms` pass.
    void waitForInput(int ms) override;

    SimSerialLink &link() { return m_link; }
    void setPortName(const QString &name) { m_portName = name; }

private:
    SimSerialLink m_link;
    QString m_portName;
    QString m_device;
    bool m_open = false;
};

} // namespace kv
