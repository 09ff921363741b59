#pragma once
// The meter link: the persistent frames, the reply buffer, the connection
// flags and the exchanges of the main window over USB or a serial port.
// UI-free; the poll timer is reached through LinkTimer.

#include "link/commandframe.h"
#include "link/serialport.h"
#include "link/usbtransfer.h"

#include <array>
#include <cstdint>
#include <functional>

namespace kv {

// Result codes of ReadMemoryPage.
enum MemoryPageResult {
    PageOk = 0,
    PageOpenFailed = 1002,
    PageTimeoutsFailed = 1003,
    PageWriteFailed = 1004,
    PageReadFailed = 1005,
    PageBadMarker = 1006,
    PageBadEcho = 1007,
};

// Pauses between the steps of ReadMemoryPage.
constexpr int MemoryPageStepPauseMs = 100;
// Serial live exchange: how long the reply is given to arrive.
constexpr int SerialLiveWaitMs = 200;
// Serial identification time limit, counted from the write.
constexpr int SerialIdentifyWaitMs = 500;

// What answered the identification on a serial port.
enum class SerialAnswer {
    Silent,  // fewer than 32 bytes within the time limit
    Other,   // 32 bytes or more, but not this meter's identification
    Meter,   // "522" at bytes 23..25
};

// The link a meter was found on.
enum class LinkKind { None, Usb, Serial };

// Upper bound for waiting on LinkBusy: a tick never pumps messages, so the
// flag can only be found set by code running inside a nested wait.
constexpr int LinkBusyWaitLimitMs = 3000;

// The poll timer (MainTimer), stopped while an operation holds the link, and
// whoever shows that the link is held (windows disable their link controls).
class LinkTimer {
public:
    virtual ~LinkTimer() = default;
    virtual void stopPolling() = 0;
    virtual void startPolling() = 0;
    // An operation took the link (true) or the outermost hold ended (false).
    virtual void linkHeldChanged(bool held) { (void)held; }
};

// Waits of the link, measured on a monotonic clock.
// WaitPumping handles pending events (timers, repaint) while it waits.
void WaitPumping(int ms);
// WaitSpinning blocks the thread without handling events; it sleeps, it
// does not burn CPU.
void WaitSpinning(int ms);

class MeterLink {
public:
    explicit MeterLink(UsbTransfer &usb, SerialPort *serial = nullptr);

    UsbTransfer &usb() { return m_usb; }
    SerialPort *serial() { return m_serial; }
    void setSerialPort(SerialPort *serial) { m_serial = serial; }
    void setTimer(LinkTimer *timer) { m_timer = timer; }
    // The pauses between the steps of ReadMemoryPage: WaitPumping unless
    // replaced (a download on a simulated clock pauses on that clock).
    void setPause(std::function<void(int)> pause) { m_pause = std::move(pause); }
    const std::function<void(int)> &pause() const { return m_pause; }

    // The connection state of the poll loop: which link a meter answered
    // on, if any.
    LinkKind Kind = LinkKind::None;
    bool isConnected() const { return Kind != LinkKind::None; }
    bool isUsb() const { return Kind == LinkKind::Usb; }
    bool isSerial() const { return Kind == LinkKind::Serial; }
    bool LinkBusy = false; // a poll tick is running

    CommandFrame UsbFrame;    // main window's USB frame
    CommandFrame SerialFrame; // main window's serial frame (starts as 'K')
    ReplyBuffer Reply{};      // receives every reply of these exchanges
    // The serial identification's own buffer.
    std::array<std::uint8_t, ShortReplyLength> IdentifyReply{};
    std::uint8_t LiveSequence = 0;

    // One 32-byte exchange over USB into Reply (identification 'K').
    bool QueryUsb(char command);
    // One live exchange on the current link.  USB: true when 64 bytes were
    // read (markers are the caller's); serial: true only for a complete reply
    // with correct markers and checksum.  No link: does nothing, true.
    bool ReadLiveReply();
    // The identification exchange on the open serial port: writes 'K',
    // watches the waiting count (without handling events) until 32 bytes or
    // the time limit, and reads them into IdentifyReply.
    SerialAnswer IdentifySerial();
    // Selects a 32-byte logger page (0..65535); leaves the device open.
    int ReadMemoryPage(int page);

    // Waits (at most LinkBusyWaitLimitMs) for a poll tick running below a
    // nested wait to finish.
    void WaitLinkIdle(bool pumping);

    // Ownership of the link outside the poll tick: one operation holds it at
    // a time (through LinkLease).  Taking it waits for a running tick and
    // stops polling; while it is held every other user is refused, no poll
    // tick runs, and polling starts again only when the outermost hold ends.
    // The steps of the holding operation (a download's pages, its resume,
    // the drop after it) join the hold instead of taking one of their own.
    bool isHeld() const { return m_holds > 0; }
    // False, and nothing changes, while another operation holds the link.
    bool acquire(bool pumping);
    // Nests in the current hold, or takes the link when nobody holds it.
    void join(bool pumping);
    // Ends one hold; the outermost starts polling again.
    void release();
    // Starts polling unless an operation holds the link.
    void resumePolling();

private:
    void StopPolling();
    void StartPolling();
    void takeLink(bool pumping);
    bool readLiveUsb();
    bool readLiveSerial();
    // Reads `waiting` counted bytes: the first `capacity` into `buffer`, the
    // rest are dropped.
    void readWaiting(std::uint8_t *buffer, int capacity, int waiting);
    void pauseFor(int ms);

    UsbTransfer &m_usb;
    SerialPort *m_serial = nullptr;
    LinkTimer *m_timer = nullptr;
    std::function<void(int)> m_pause;
    int m_holds = 0;
};

// Holds the link for one operation, or for one step of the operation that
// holds it (Join), until it goes out of scope or release().  An exclusive
// lease is refused (false) while another operation holds the link: its
// user must then leave the meter alone.  `pumping`: whether the wait for a
// running poll tick handles events.
class LinkLease {
public:
    enum Kind { Exclusive, Join };
    LinkLease(MeterLink &link, bool pumping, Kind kind = Exclusive);
    ~LinkLease() { release(); }
    LinkLease(const LinkLease &) = delete;
    LinkLease &operator=(const LinkLease &) = delete;

    bool held() const { return m_held; }
    explicit operator bool() const { return m_held; }
    // Gives the link back before the end of the scope.
    void release();

private:
    MeterLink &m_link;
    bool m_held = false;
};

} // namespace kv
