#pragma once
// The meter's setup and service exchanges over USB, shared by the setup
// window and the command-line tool.  UI-free: the steps around every
// operation (waiting for the poll tick, stopping and restarting polling, the
// busy cursor, pauses that keep handling events) go through ServiceHost.
//
// Each operation:  pause 500 ms (clock, erase and defaults: after taking the
// link) -> take the link -> busy -> exchanges -> not busy -> give the link
// back.  The link is always given back, whatever the outcome.
//
// Exchanges
//   SendSetupCommand: up to 3 attempts.  One attempt opens the device, sets
//   the time-outs, writes the frame, for 't'/'s' writes the 32-byte report
//   100 ms later, waits the command's pause and reads the reply.  No step
//   stops the attempt; the code is that of the last step that failed.
//   WriteMeterCell / ReadMeterCell: up to 5 attempts, 300 ms pauses and the
//   recovery command 'Q' after a wrong echo.
//   WriteCellOnce (test data set): up to 5 writes, then up to 5 reads.
//
// State that outlives any window (SetupState): the persistent command frame,
// the 32-byte setup exchange buffer (reports are built in it, replies read
// into it, so unset report bytes carry the last reply's bytes), and the last
// information read.

#include "link/commandframe.h"
#include "link/usbtransfer.h"
#include "setup/setupreplies.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

namespace kv {

class MeterLink;

// Pauses of the operations.
constexpr int OperationStartPauseMs = 500;
constexpr int ReportPauseMs = 100;      // between the frame and the 't'/'s' report
constexpr int CellRetryPauseMs = 300;   // memory cell exchanges
constexpr int SetupAllStepPauseMs = 500;
constexpr int SetupCommandAttempts = 3;
constexpr int CellAttempts = 5;

// Failure code of an operation stopped before any exchange ("Invalid Input").
constexpr int InvalidInputCode = -1;
// Failure code of an operation refused because another operation holds the
// link (nothing was sent).
constexpr int LinkHeldCode = -2;

struct ServiceResult {
    bool ok = false;
    int code = 0; // the failure code; 0 on success
};

// Failure codes of one command exchange, by step.
struct SetupCodes {
    int open = 0;
    int timeouts = 0;
    int write = 0;
    int report = 0; // 't' and 's' only
    int read = 0;
    int ack = 0;
};

enum class SetupReport { None, Clock, Defaults };

// One command exchange in the manner of the setup window.
struct SetupRequest {
    char letter = 0;
    std::uint8_t param2 = 0;         // frame bytes 2, 3 (4, 5 keep their values)
    std::uint8_t param3 = 0;
    SetupReport report = SetupReport::None;
    int replyLength = SetupBlockLength;
    std::uint8_t *reply = nullptr;   // nullptr: the setup exchange buffer
    int okAt = 2;                    // "OK" expected here; -1: no test
    int pauseMs = 0;                 // before reading
    SetupCodes codes;
};

// The requests of every setup command, with their codes and pauses.
SetupRequest ClockRequest();
SetupRequest DefaultsRequest();
SetupRequest EraseRequest();
SetupRequest IntervalRequest(IntervalBytes interval);
SetupRequest InformationRequest(std::uint8_t *reply);
SetupRequest CalibrationRequest(bool first, std::uint8_t *reply);
SetupRequest SensorModuleRequest(std::uint8_t *reply);
SetupRequest EraseLocationsRequest();

// What the program around the service provides.
class ServiceHost {
public:
    virtual ~ServiceHost() = default;
    // Waits until no poll tick holds the link, then stops polling.  False
    // while another operation holds the link: the operation does not run.
    virtual bool acquireLink() = 0;
    // Starts polling again.
    virtual void releaseLink() = 0;
    // The busy (hourglass) cursor on or off.
    virtual void setBusy(bool busy) = 0;
    // A pause that keeps handling events (timers, repaint).
    virtual void pause(int ms) = 0;
};

// The host over the main window's link: the link's hold (refused while
// another operation holds it), WaitPumping.  No cursor.  Holds of its own
// nest; a release without a hold of its own starts polling only while no
// other operation holds the link.
class LinkServiceHost : public ServiceHost {
public:
    explicit LinkServiceHost(MeterLink &link) : m_link(link) {}
    ~LinkServiceHost() override;
    LinkServiceHost(const LinkServiceHost &) = delete;
    LinkServiceHost &operator=(const LinkServiceHost &) = delete;
    bool acquireLink() override;
    void releaseLink() override;
    void setBusy(bool) override {}
    void pause(int ms) override;

private:
    MeterLink &m_link;
    int m_holds = 0;
};

// Lives as long as the program, not as a window.
struct SetupState {
    CommandFrame frame;        // 02 00 00 00 00 00 03 at start
    SetupBlock exchange{};     // setup exchange buffer
    InformationReply information{};
    SetupBlock calibrationFirst{};
    SetupBlock calibrationSecond{};
    SetupBlock sensorModule{};
    QString serialText;
    // Data sets the meter held at the last successful information read.
    std::optional<int> knownDataSets;
};

enum class SetupStep { Defaults, Bluetooth, Clock, Interval, Erase, Information };

class MeterService {
public:
    MeterService(UsbTransfer &usb, SetupState &state, ServiceHost &host);

    SetupState &state() { return m_state; }
    ServiceHost &host() { return m_host; }
    // The computer's local time (replaceable for tests).
    void setTimeSource(std::function<QDateTime()> now) { m_now = std::move(now); }

    // ---- exchanges (no start/end steps) ----------------------------------
    ServiceResult SendSetupCommand(const SetupRequest &request);
    // One attempt; returns its failure code, 0 on success.
    int SetupAttempt(const SetupRequest &request);
    ServiceResult WriteMeterCell(int address, std::uint8_t value);
    std::optional<std::uint8_t> ReadMeterCell(int address);
    bool WriteCellOnce(int address, std::uint8_t value);
    QString ReadSerialText();
    // Frame byte 1 := 'Q', written without reading a reply.
    void SendRecovery();

    // ---- operations (with the start and end steps) --------------------
    ServiceResult setMeterClock();
    ServiceResult setRecordingInterval(IntervalBytes interval);
    ServiceResult eraseMemory();
    ServiceResult writeDefaults();
    // On success the information and the serial text are in state().
    ServiceResult readInformation();
    ServiceResult switchBluetoothOn();
    ServiceResult readCalibration();
    ServiceResult readSensorModule();
    ServiceResult eraseLocations();
    // The memory cell operations; the caller has paused 500 ms and checked
    // the access code (write) first.
    ServiceResult writeCell(int address, std::uint8_t value);
    std::optional<std::uint8_t> readCell(int address);
    // A test data set of `records` empty records; codes 9000/9001 (device),
    // 9002 (a cell write), InvalidInputCode (limits of QuickRecCells).
    ServiceResult writeTestDataSet(int intervalSeconds, int records);

    // Defaults, Bluetooth on, clock, interval, erase, information, with
    // 500 ms between steps.  `report` is called with no result as a step
    // starts and with its result when it ends.  Only a failing Bluetooth
    // write stops the sequence (the result is then that failure); an
    // interval of nullopt makes that step fail with InvalidInputCode.
    using StepReport = std::function<void(SetupStep, const ServiceResult *)>;
    ServiceResult setupAll(std::optional<IntervalBytes> interval, const StepReport &report = {});

private:
    enum class StartPause { Before, AfterLink, None };
    ServiceResult runOperation(StartPause pause, const std::function<ServiceResult()> &exchange);
    bool openForCells(int &code);

    UsbTransfer &m_usb;
    SetupState &m_state;
    ServiceHost &m_host;
    std::function<QDateTime()> m_now;
};

} // namespace kv
