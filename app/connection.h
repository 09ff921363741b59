#pragma once
// The connection to the meter: the serial port, the link (USB or serial), the
// poll loop and its timer, and the operations that change the link (connect
// to a named port, search the ports, drop the link).  UI-free: windows watch
// its signals and call its operations.
//
// One operation owns the link at a time: every user of the link outside a
// poll tick holds it through kv::LinkLease (waits for a running tick, stops
// the timer).  While it is held no tick runs and every other user is refused
// (the operations below do nothing, windows disable their link controls on
// linkHeld); polling starts again when the outermost hold ends.  After
// close() nothing starts polling again.

#include "link/meterlink.h"
#include "link/qtserialport.h"
#include "live/poll.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

namespace kv {

class RealTimeRecorder;

// What a port search shows while it runs.
class PortSearchView {
public:
    virtual ~PortSearchView() = default;
    // The search moved on to port `index` of the list, opened as `device`.
    virtual void searchingOn(int index, const QString &device) = 0;
};

class Connection : public QObject, private PollView, private LinkTimer {
    Q_OBJECT
public:
    // `usb` is the USB transfer (a HID device or the simulated meter) and
    // `recorder` decides whether a poll tick hands over a sample; both must
    // outlive the connection.
    Connection(UsbTransfer &usb, const RealTimeRecorder &recorder, QObject *parent = nullptr);

    MeterLink &link() { return m_link; }
    const MeterLink &link() const { return m_link; }
    PollLoop &poll() { return m_poll; }
    QtSerialPort &serialPort() { return m_serialPort; }
    // The last decoded reading.
    const LiveReading &reading() const { return m_poll.Reading; }
    LinkKind kind() const { return m_link.Kind; }
    bool isConnected() const { return m_link.isConnected(); }
    bool isSerial() const { return m_link.isSerial(); }
    bool isClosed() const { return m_closed; }
    // The local time of the poll loop's clock.
    QDateTime now() const { return m_poll.Clock(); }

    // The poll timer: one PollTick every kv::PollIntervalMs while running.
    // It does not start while an operation holds the link.
    bool isPolling() const { return m_timer.isActive(); }
    void startPolling() override;
    void stopPolling() override;
    // An operation holds the link (a download, a key, a port change, a
    // setup operation, a search): other users are refused until it ends.
    bool isLinkHeld() const { return m_link.isHeld(); }

    // Names the serial port the next connection or search uses, without
    // opening it.
    void selectPort(const QString &portName);
    // Identifies a meter on the serial port `portName`; a port that opens but
    // where no meter answers is left open.  Ends with connectionFound or
    // connectionLost.  False (nothing done) while the link is held or after
    // close().
    bool connectPort(const QString &portName);
    // Tries each port of `portNames` in turn, with a pause before and after
    // naming it; the port where a meter answered stays open.  A port where
    // something other than this meter answered is asked again in the next
    // pass.  True when a meter was found (connectionFound follows); false,
    // with nothing done, while the link is held.
    bool searchPorts(const QStringList &portNames, PortSearchView &view);
    // Closes the serial port and forgets the link; the next tick looks for a
    // USB meter again.  False (nothing done) while the link is held.
    bool dropLink();
    // Waits (without handling input) for a tick running below a nested wait
    // to finish, at most `limitMs`.
    void waitForTick(int limitMs);
    // The program is closing: waits for the link, stops polling, forgets the
    // link and closes the port.  Nothing restarts polling afterwards, and an
    // operation that was waiting returns without touching the link.
    void close();

signals:
    // An operation took the link (true) or the outermost hold ended (false).
    void linkHeld(bool held);
    void connectionFound();
    void connectionLost();
    void linkDropped();
    // The USB identification succeeded: the serial link picture goes.
    void linkPictureHidden();
    // A decoded reply carried display memory.
    void readingDecoded(const kv::LiveReading &reading);
    // A real-time sample is due (the recorder is recording and its period
    // has passed).
    void sampleDue(const kv::LiveReading &reading, const QDateTime &stamp);

private:
    // kv::LinkTimer
    void linkHeldChanged(bool held) override { emit linkHeld(held); }
    // kv::PollView
    void ShowConnectionFound() override { emit connectionFound(); }
    void ShowConnectionLost() override { emit connectionLost(); }
    void ShowLinkDropped() override { emit linkDropped(); }
    void HideLinkPicture() override { emit linkPictureHidden(); }
    void UpdatePanel(const LiveReading &reading) override { emit readingDecoded(reading); }
    bool IsRecordingRealTime() const override;
    int RealTimeSamplingPeriod() const override;
    void AddRealTimeSample(const LiveReading &reading, const QDateTime &stamp) override { emit sampleDue(reading, stamp); }

    QtSerialPort m_serialPort; // declared first: outlives the link
    MeterLink m_link;
    PollLoop m_poll;
    const RealTimeRecorder &m_recorder;
    QTimer m_timer;
    bool m_closed = false;
};

} // namespace kv
