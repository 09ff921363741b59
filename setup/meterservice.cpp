#include "setup/meterservice.h"

#include "link/commands.h"
#include "link/meterlink.h"

namespace kv {
namespace {

constexpr int CellEchoLength = 2; // reply bytes 0, 1 echo frame bytes 0, 1
constexpr int CellValueByte = 5;  // 'r' reply: the value read

// Codes of the memory cell exchanges.
constexpr int CellOpenFailed = 9000;
constexpr int CellTimeoutsFailed = 9001;
constexpr int CellWriteFailed = 9002;
constexpr int CellReadFailed = 9003;
constexpr int CellBadEcho = 9004;
constexpr int ReadCellOpenFailed = 8000;
constexpr int ReadCellTimeoutsFailed = 8001;
constexpr int ReadCellWriteFailed = 8002;
constexpr int ReadCellReadFailed = 8003;
constexpr int ReadCellBadEcho = 8004;

// Pauses before reading, per command.
constexpr int ClockPauseMs = 100;
constexpr int DefaultsPauseMs = 100;
constexpr int ErasePauseMs = 10;
constexpr int SecondCalibrationPauseMs = 100;

// Reply positions of "OK" for the coefficient and sensor replies.
constexpr int FirstCalibrationOkAt = 28;
constexpr int SecondCalibrationOkAt = 30;
constexpr int SensorOkAt = 30;

SetupRequest Request(char letter, SetupCodes codes, int pauseMs)
{
    SetupRequest r;
    r.letter = letter;
    r.codes = codes;
    r.pauseMs = pauseMs;
    return r;
}

void SetAddress(CommandFrame &frame, int address)
{
    frame[2] = std::uint8_t((address >> 16) & 0xFF);
    frame[3] = std::uint8_t((address >> 8) & 0xFF);
    frame[4] = std::uint8_t(address & 0xFF);
}

} // namespace

// ---- requests -------------------------------------------------------------------

SetupRequest ClockRequest()
{
    SetupRequest r = Request(cmd::SetClock, {401, 402, 403, 404, 405, 406}, ClockPauseMs);
    r.report = SetupReport::Clock;
    return r;
}

SetupRequest DefaultsRequest()
{
    SetupRequest r = Request(cmd::WriteDefaults, {401, 402, 403, 404, 405, 406}, DefaultsPauseMs);
    r.report = SetupReport::Defaults;
    return r;
}

SetupRequest EraseRequest() { return Request(cmd::EraseMemory, {501, 502, 503, 0, 505, 506}, ErasePauseMs); }

SetupRequest IntervalRequest(IntervalBytes interval)
{
    SetupRequest r = Request(cmd::SetInterval, {600, 602, 603, 0, 604, 605}, 0);
    r.param2 = interval.minutes;
    r.param3 = interval.seconds;
    return r;
}

SetupRequest InformationRequest(std::uint8_t *reply)
{
    // The 64-byte reply carries no acknowledgement: only transport steps fail.
    SetupRequest r = Request(cmd::ReadInfo, {201, 202, 203, 0, 204, 205}, 0);
    r.replyLength = InformationReplyLength;
    r.reply = reply;
    r.okAt = -1;
    return r;
}

SetupRequest CalibrationRequest(bool first, std::uint8_t *reply)
{
    SetupRequest r = first ? Request(cmd::ReadCalibration1, {701, 702, 703, 0, 704, 705}, 0)
                           : Request(cmd::ReadCalibration2, {705, 706, 707, 0, 708, 705}, SecondCalibrationPauseMs);
    r.reply = reply;
    r.okAt = first ? FirstCalibrationOkAt : SecondCalibrationOkAt;
    return r;
}

SetupRequest SensorModuleRequest(std::uint8_t *reply)
{
    SetupRequest r = Request(cmd::ReadSensor, {701, 702, 703, 0, 704, 705}, 0);
    r.reply = reply;
    r.okAt = SensorOkAt;
    return r;
}

SetupRequest EraseLocationsRequest() { return Request(cmd::EraseLow, {501, 502, 503, 0, 505, 506}, ErasePauseMs); }

// ---- host over the main window's link -------------------------------------

LinkServiceHost::~LinkServiceHost()
{
    while (m_holds > 0)
        releaseLink();
}

bool LinkServiceHost::acquireLink()
{
    if (m_holds == 0 && !m_link.acquire(true))
        return false;
    ++m_holds;
    return true;
}

void LinkServiceHost::releaseLink()
{
    // Without a hold of its own (the window closing): polling runs again,
    // unless another operation holds the link and restarts it itself.
    if (m_holds == 0) {
        m_link.resumePolling();
        return;
    }
    --m_holds;
    if (m_holds == 0)
        m_link.release();
}

void LinkServiceHost::pause(int ms) { WaitPumping(ms); }

// ---- exchanges --------------------------------------------------------------

MeterService::MeterService(UsbTransfer &usb, SetupState &state, ServiceHost &host)
    : m_usb(usb), m_state(state), m_host(host), m_now([] { return QDateTime::currentDateTime(); })
{
}

int MeterService::SetupAttempt(const SetupRequest &request)
{
    const SetupCodes &c = request.codes;
    CommandFrame &frame = m_state.frame;
    int code = 0;
    if (m_usb.OpenDevice(MeterVendorId, MeterProductId) != 0)
        code = c.open;
    if (m_usb.SetDeviceTimeouts(LinkReadTimeoutMs, LinkWriteTimeoutMs) != 0)
        code = c.timeouts;
    frame.setCommand(request.letter);
    frame[2] = request.param2;
    frame[3] = request.param3;
    if (m_usb.WriteCommand(FrameLength, frame.data()) != 0)
        code = c.write;
    if (request.report != SetupReport::None) {
        m_usb.AfterWrite();
        m_host.pause(ReportPauseMs);
        if (request.report == SetupReport::Clock)
            BuildClockReport(m_state.exchange, m_now());
        else
            BuildDefaultReport(m_state.exchange);
        if (m_usb.WriteData(SetupBlockLength, m_state.exchange.data()) != 0)
            code = c.report;
    }
    m_usb.AfterWrite();
    if (request.pauseMs > 0)
        m_host.pause(request.pauseMs);
    std::uint8_t *reply = request.reply ? request.reply : m_state.exchange.data();
    if (m_usb.ReadReply(request.replyLength, reply) != 0)
        code = c.read;
    else if (request.okAt >= 0 && !HasOkAt(reply, request.okAt))
        code = c.ack;
    return code;
}

ServiceResult MeterService::SendSetupCommand(const SetupRequest &request)
{
    int code = 0;
    for (int attempt = 0; attempt < SetupCommandAttempts; ++attempt) {
        code = SetupAttempt(request);
        if (code == 0)
            return {true, 0};
    }
    return {false, code};
}

void MeterService::SendRecovery()
{
    m_state.frame.setCommand(cmd::Recover);
    m_usb.WriteCommand(FrameLength, m_state.frame.data()); // no reply is read
}

ServiceResult MeterService::WriteMeterCell(int address, std::uint8_t value)
{
    CommandFrame &frame = m_state.frame;
    int attempts = 0;
    int code = 0;
    while (attempts < CellAttempts) {
        code = 0;
        if (m_usb.OpenDevice(MeterVendorId, MeterProductId) != 0) {
            code = CellOpenFailed;
        } else if (m_usb.SetDeviceTimeouts(LinkReadTimeoutMs, LinkWriteTimeoutMs) != 0) {
            code = CellTimeoutsFailed;
        } else {
            frame.setCommand(cmd::WriteCell);
            SetAddress(frame, address);
            frame[5] = value;
            if (m_usb.WriteCommand(FrameLength, frame.data()) != 0)
                code = CellWriteFailed;
        }
        if (code == 0) {
            m_usb.AfterWrite();
            if (m_usb.ReadReply(SetupBlockLength, m_state.exchange.data()) != 0)
                code = CellReadFailed;
        }
        if (code != 0) {
            m_host.setBusy(false);
            m_host.pause(CellRetryPauseMs);
            ++attempts;
            continue;
        }
        int wrong = 0;
        for (int i = 0; i < CellEchoLength; ++i)
            wrong += m_state.exchange[std::size_t(i)] != frame[i] ? 1 : 0;
        if (wrong == 0)
            return {true, 0};
        code = CellBadEcho;
        for (int i = 0; i < wrong; ++i) {
            ++attempts;
            m_host.pause(CellRetryPauseMs);
        }
        m_host.pause(CellRetryPauseMs);
        SendRecovery();
        m_host.pause(CellRetryPauseMs);
    }
    return {false, code};
}

std::optional<std::uint8_t> MeterService::ReadMeterCell(int address)
{
    CommandFrame &frame = m_state.frame;
    for (int attempt = 0; attempt < CellAttempts; ++attempt) {
        int code = 0;
        if (m_usb.OpenDevice(MeterVendorId, MeterProductId) != 0) {
            code = ReadCellOpenFailed;
        } else if (m_usb.SetDeviceTimeouts(LinkReadTimeoutMs, LinkWriteTimeoutMs) != 0) {
            code = ReadCellTimeoutsFailed;
        } else {
            frame.setCommand(cmd::ReadCell);
            SetAddress(frame, address); // byte 5 keeps its last value
            if (m_usb.WriteCommand(FrameLength, frame.data()) != 0)
                code = ReadCellWriteFailed;
        }
        if (code == 0) {
            m_usb.AfterWrite();
            if (m_usb.ReadReply(SetupBlockLength, m_state.exchange.data()) != 0)
                code = ReadCellReadFailed;
            else if (m_state.exchange[0] != frame[0] || m_state.exchange[1] != frame[1])
                code = ReadCellBadEcho;
        }
        if (code == 0)
            return m_state.exchange[CellValueByte];
        m_host.pause(CellRetryPauseMs);
        SendRecovery();
        m_host.pause(CellRetryPauseMs);
    }
    return std::nullopt;
}

bool MeterService::WriteCellOnce(int address, std::uint8_t value)
{
    CommandFrame &frame = m_state.frame;
    frame.setCommand(cmd::WriteCell);
    SetAddress(frame, address);
    frame[5] = value;
    bool written = false;
    for (int i = 0; i < CellAttempts && !written; ++i) {
        if (i > 0)
            m_host.pause(CellRetryPauseMs);
        written = m_usb.WriteCommand(FrameLength, frame.data()) == 0;
    }
    if (!written)
        return false;
    m_usb.AfterWrite();
    bool read = false;
    for (int i = 0; i < CellAttempts && !read; ++i) {
        if (i > 0)
            m_host.pause(CellRetryPauseMs);
        read = m_usb.ReadReply(SetupBlockLength, m_state.exchange.data()) == 0;
    }
    return read && m_state.exchange[0] == frame[0] && m_state.exchange[1] == frame[1];
}

QString MeterService::ReadSerialText()
{
    std::uint8_t text[SerialTextLength] = {};
    m_usb.ReadSerialText(0, text, SerialTextLength); // result ignored: an empty text shows
    return SerialTextFromBuffer(text, SerialTextLength);
}

bool MeterService::openForCells(int &code)
{
    for (int attempt = 0; attempt < CellAttempts; ++attempt) {
        code = 0;
        if (m_usb.OpenDevice(MeterVendorId, MeterProductId) != 0)
            code = CellOpenFailed;
        else if (m_usb.SetDeviceTimeouts(LinkReadTimeoutMs, LinkWriteTimeoutMs) != 0)
            code = CellTimeoutsFailed;
        if (code == 0)
            return true;
        m_host.pause(CellRetryPauseMs);
    }
    return false;
}

// ---- operations ----------------------------------------------------------------

ServiceResult MeterService::runOperation(StartPause pause, const std::function<ServiceResult()> &exchange)
{
    // Polling comes back and the cursor is restored whatever the exchange does.
    struct Release {
        ServiceHost &host;
        ~Release()
        {
            host.setBusy(false);
            host.releaseLink();
        }
    };
    if (pause == StartPause::Before)
        m_host.pause(OperationStartPauseMs);
    if (!m_host.acquireLink())
        return ServiceResult{false, LinkHeldCode};
    const Release release{m_host};
    m_host.setBusy(true);
    if (pause == StartPause::AfterLink)
        m_host.pause(OperationStartPauseMs);
    return exchange();
}

ServiceResult MeterService::setMeterClock()
{
    return runOperation(StartPause::AfterLink, [this] { return SendSetupCommand(ClockRequest()); });
}

ServiceResult MeterService::setRecordingInterval(IntervalBytes interval)
{
    return runOperation(StartPause::Before, [&] { return SendSetupCommand(IntervalRequest(interval)); });
}

ServiceResult MeterService::eraseMemory()
{
    return runOperation(StartPause::AfterLink, [this] {
        const ServiceResult r = SendSetupCommand(EraseRequest());
        if (r.ok)
            m_state.knownDataSets = 0;
        return r;
    });
}

ServiceResult MeterService::writeDefaults()
{
    return runOperation(StartPause::AfterLink, [this] {
        const ServiceResult r = SendSetupCommand(DefaultsRequest());
        if (r.ok)
            m_state.knownDataSets = 0; // the report sets count 0 and an empty pointer
        return r;
    });
}

ServiceResult MeterService::readInformation()
{
    return runOperation(StartPause::Before, [this] {
        const ServiceResult r = SendSetupCommand(InformationRequest(m_state.information.data()));
        if (r.ok) {
            m_state.knownDataSets = (m_state.information[setupcell::DataSetCount] << 8)
                                  | m_state.information[setupcell::DataSetCount + 1];
            m_state.serialText = ReadSerialText();
        }
        return r;
    });
}

ServiceResult MeterService::switchBluetoothOn()
{
    return runOperation(StartPause::None, [this] { return WriteMeterCell(setupcell::Bluetooth, 1); });
}

ServiceResult MeterService::readCalibration()
{
    return runOperation(StartPause::Before, [this] {
        const SetupRequest first = CalibrationRequest(true, m_state.calibrationFirst.data());
        const SetupRequest second = CalibrationRequest(false, m_state.calibrationSecond.data());
        int code = 0;
        for (int attempt = 0; attempt < SetupCommandAttempts; ++attempt) {
            const int firstCode = SetupAttempt(first);
            const int secondCode = SetupAttempt(second);
            code = secondCode != 0 ? secondCode : firstCode;
            if (code == 0)
                return ServiceResult{true, 0};
        }
        return ServiceResult{false, code};
    });
}

ServiceResult MeterService::readSensorModule()
{
    return runOperation(StartPause::Before,
                        [this] { return SendSetupCommand(SensorModuleRequest(m_state.sensorModule.data())); });
}

ServiceResult MeterService::eraseLocations()
{
    return runOperation(StartPause::Before, [this] { return SendSetupCommand(EraseLocationsRequest()); });
}

ServiceResult MeterService::writeCell(int address, std::uint8_t value)
{
    if (address < 0 || address > MaxCellAddress)
        return {false, InvalidInputCode};
    return runOperation(StartPause::None, [&] { return WriteMeterCell(address, value); });
}

std::optional<std::uint8_t> MeterService::readCell(int address)
{
    if (address < 0 || address > MaxCellAddress)
        return std::nullopt;
    std::optional<std::uint8_t> value;
    runOperation(StartPause::Before, [&] {
        value = ReadMeterCell(address);
        return ServiceResult{value.has_value(), value ? 0 : ReadCellBadEcho};
    });
    return value;
}

ServiceResult MeterService::writeTestDataSet(int intervalSeconds, int records)
{
    if (QuickRecCells(QDateTime::currentDateTime(), intervalSeconds, records).empty())
        return {false, InvalidInputCode};
    return runOperation(StartPause::Before, [&] {
        int code = 0;
        if (!openForCells(code))
            return ServiceResult{false, code};
        ServiceResult result{true, 0};
        for (const CellWrite &cell : QuickRecCells(m_now(), intervalSeconds, records)) {
            if (!WriteCellOnce(cell.address, cell.value)) {
                result = {false, CellWriteFailed};
                break;
            }
        }
        SendRecovery();
        if (result.ok)
            m_state.knownDataSets = 1;
        return result;
    });
}

ServiceResult MeterService::setupAll(std::optional<IntervalBytes> interval, const StepReport &report)
{
    ServiceResult overall{true, 0};
    const auto step = [&](SetupStep s, const std::function<ServiceResult()> &run) {
        if (report)
            report(s, nullptr);
        const ServiceResult r = run();
        if (report)
            report(s, &r);
        if (!r.ok)
            overall = r;
        return r;
    };
    step(SetupStep::Defaults, [this] { return writeDefaults(); });
    m_host.pause(SetupAllStepPauseMs);
    const ServiceResult bluetooth = step(SetupStep::Bluetooth, [this] { return switchBluetoothOn(); });
    if (!bluetooth.ok)
        return bluetooth;
    step(SetupStep::Clock, [this] { return setMeterClock(); });
    m_host.pause(SetupAllStepPauseMs);
    step(SetupStep::Interval, [&] {
        return interval ? setRecordingInterval(*interval) : ServiceResult{false, InvalidInputCode};
    });
    m_host.pause(SetupAllStepPauseMs);
    step(SetupStep::Erase, [this] { return eraseMemory(); });
    m_host.pause(SetupAllStepPauseMs);
    step(SetupStep::Information, [this] { return readInformation(); });
    return overall;
}

} // namespace kv
