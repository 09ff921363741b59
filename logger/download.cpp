#include "logger/download.h"

#include "link/commands.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

namespace kv {
namespace {

constexpr int PageNumberByte = 32;
constexpr int PageCheckByte = 34;
constexpr int PageMarkerByte = 35;
constexpr std::uint8_t FirstPageMarker = 5;
constexpr int UsbFirstPageNumber = 1;
constexpr int DrainChunk = 64;

int PageNumber(const std::uint8_t *reply) { return (reply[PageNumberByte] << 8) | reply[PageNumberByte + 1]; }

bool CheckByteRight(const std::uint8_t *reply) { return PageChecksum(reply) == reply[PageCheckByte]; }

// Swaps the link's pauses to the download's clock for as long as it runs.
class PauseOnClock {
public:
    PauseOnClock(MeterLink &link, DownloadClock &clock) : m_link(link), m_saved(link.pause())
    {
        link.setPause([&clock](int ms) { clock.pause(ms); });
    }
    ~PauseOnClock() { m_link.setPause(m_saved); }
    PauseOnClock(const PauseOnClock &) = delete;
    PauseOnClock &operator=(const PauseOnClock &) = delete;

private:
    MeterLink &m_link;
    std::function<void(int)> m_saved;
};

} // namespace

// ---- clock -----------------------------------------------------------------

DownloadClock::DownloadClock()
    : m_startNs(std::chrono::duration_cast<std::chrono::nanoseconds>(
                    std::chrono::steady_clock::now().time_since_epoch())
                    .count())
{
}

std::int64_t DownloadClock::elapsedMs()
{
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    return (now - m_startNs) / 1000000;
}

void DownloadClock::pause(int ms) { WaitPumping(ms); }

void DownloadClock::sleep(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void DownloadClock::letEventsRun()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void DownloadClock::letWindowSystemRun()
{
    // User input stays queued until the download is over; timers run, and
    // each user of the link they start finds it held.
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
}

// ---- sizes -----------------------------------------------------------------

int LoggerAnnouncedSize(const std::uint8_t *firstPage)
{
    return ((firstPage[LoggerSizeOffset] << 16) | (firstPage[LoggerSizeOffset + 1] << 8)
            | firstPage[LoggerSizeOffset + 2])
         + 1;
}

int LoggerTransferSize(int expectedSize)
{
    const int size = (expectedSize > LoggerFullSize || expectedSize < LoggerSmallestSize) ? LoggerFullSize : expectedSize;
    return (size + LoggerPageSize - 1) / LoggerPageSize * LoggerPageSize;
}

int LoggerImageDataSetCount(const QByteArray &image)
{
    if (image.size() < LoggerCountByte + 2)
        return -1;
    return (std::uint8_t(image.at(LoggerCountByte)) << 8) | std::uint8_t(image.at(LoggerCountByte + 1));
}

int CheckLoggerDataSetCount(const QByteArray &image)
{
    const int count = LoggerImageDataSetCount(image);
    if (count <= 0)
        return DownloadNoDataSet;
    if (count > LoggerMaxDataSetCount)
        return DownloadCountOutOfRange;
    return DownloadOk;
}

void SendDownloadRecovery(MeterLink &link)
{
    link.usb().AfterWrite();
    link.UsbFrame.setCommand(cmd::Recover);
    link.usb().WriteCommand(FrameLength, link.UsbFrame.data());
}

QString WorkingFolderPath(const QString &dataFolder, const QString &programFolder)
{
    return QDir(dataFolder.isEmpty() ? programFolder : dataFolder).filePath(QStringLiteral("temp"));
}

WorkingCopyOutcome WriteWorkingCopy(const QString &dataFolder, const QString &programFolder, const QByteArray &image)
{
    WorkingCopyOutcome out;
    const QString folder = WorkingFolderPath(dataFolder, programFolder);
    if (!QDir().mkpath(folder)) {
        out.folderError = folder;
        return out;
    }
    QSaveFile file(QDir(folder).filePath(QLatin1String(WorkingCopyName)));
    if (file.open(QIODevice::WriteOnly) && file.write(image) == image.size() && file.commit())
        out.path = file.fileName();
    return out;
}

// ---- common ------------------------------------------------------------------

LoggerDownload::LoggerDownload(MeterLink &link, DownloadProgress &progress, DownloadClock &clock)
    : m_link(link), m_progress(progress), m_clock(clock)
{
}

int LoggerDownload::run() { return m_link.isSerial() ? DownloadOverSerial() : DownloadOverUsb(); }

void LoggerDownload::begin()
{
    m_image.clear();
    m_expected = 0;
    m_transfer = 0;
    m_cancelled = false;
    m_serialNumberBase.reset();
}

bool LoggerDownload::cancelled()
{
    if (!m_cancelled && m_progress.cancelRequested())
        m_cancelled = true;
    return m_cancelled;
}

void LoggerDownload::firstPageArrived(const std::uint8_t *reply)
{
    m_expected = LoggerAnnouncedSize(reply);
    m_transfer = LoggerTransferSize(m_expected);
    m_image.reserve(m_transfer);
    m_progress.started(m_transfer);
    m_image.append(reinterpret_cast<const char *>(reply), LoggerPageSize);
}

void LoggerDownload::store(const std::uint8_t *reply)
{
    m_image.append(reinterpret_cast<const char *>(reply), LoggerPageSize);
    m_progress.advanced(bytesReceived());
}

// ---- USB -------------------------------------------------------------------

bool LoggerDownload::usbSend(char letter)
{
    m_link.UsbFrame.setCommand(letter);
    return m_link.usb().WriteCommand(FrameLength, m_link.UsbFrame.data()) == 0;
}

// The page that comes next: complete, its check byte right and numbered one
// ahead of its index.  Anything else (a reply of another request, arriving
// late or after its retry) is not stored.
bool LoggerDownload::usbPageValid(const std::uint8_t *reply) const
{
    return CheckByteRight(reply) && PageNumber(reply) == bytesReceived() / LoggerPageSize + UsbFirstPageNumber;
}

int LoggerDownload::DownloadOverUsb()
{
    begin();
    PauseOnClock pauses(m_link, m_clock);
    const LinkLease lease(m_link, true, LinkLease::Join);
    UsbTransfer &usb = m_link.usb();
    std::array<std::uint8_t, PageReplyLength> reply{};

    int code = DownloadOk;
    if (usb.OpenDevice(MeterVendorId, MeterProductId) != 0)
        code = DownloadOpenFailed;
    else if (usb.SetDeviceTimeouts(LinkReadTimeoutMs, LinkWriteTimeoutMs) != 0)
        code = DownloadTimeoutsFailed;
    if (code != DownloadOk)
        return code; // nothing was read: no resume, no dialog

    m_link.UsbFrame.setCommand(cmd::PageStart);
    m_link.UsbFrame[2] = 0x00;
    m_link.UsbFrame[3] = UsbFirstPageNumber;
    if (usb.WriteCommand(FrameLength, m_link.UsbFrame.data()) != 0)
        return DownloadStartFailed;
    usb.AfterWrite();
    m_clock.pause(UsbFirstPagePauseMs);
    if (usb.ReadReply(PageReplyLength, reply.data()) != 0 || !CheckByteRight(reply.data()))
        return DownloadFirstPageFailed;
    if (reply[PageMarkerByte] != FirstPageMarker)
        return DownloadFirstPageBad;
    if (PageNumber(reply.data()) != UsbFirstPageNumber)
        return DownloadFirstPageNumber;
    firstPageArrived(reply.data());

    // First phase: 'p' after 'p'; a failed page gets one 'r' (whose reply,
    // the page before, is dropped) and is asked for again.
    int failures = 0;
    while (bytesReceived() < m_transfer && !cancelled()) {
        if (!usbSend(cmd::PageNext)) {
            usb.CloseDevice();
            code = DownloadWriteFailed;
            break;
        }
        usb.AfterWrite();
        if (usb.ReadReply(PageReplyLength, reply.data()) == 0 && usbPageValid(reply.data())) {
            failures = 0;
            store(reply.data());
            m_clock.letEventsRun();
            continue;
        }
        if (++failures > UsbPageFailuresLimit)
            break;
        m_clock.pause(UsbRetryPauseMs);
        if (!usbSend(cmd::PageRetry)) {
            usb.CloseDevice();
            code = DownloadWriteFailed;
            break;
        }
        usb.AfterWrite();
        if (usb.ReadReply(PageReplyLength, reply.data()) != 0)
            break; // the resume takes over
    }
    if (bytesReceived() >= m_transfer && !usbSend(cmd::PageEnd))
        code = DownloadEndFailed;

    if (bytesReceived() < m_transfer && !cancelled())
        usbResume(code);

    if (cancelled()) {
        usbSend(cmd::PageEnd);
        code = DownloadCancelled;
    }
    m_progress.finished();
    return code;
}

// Resume attempts: select the next page with ReadMemoryPage and go on with
// 'p' from there, until the image is complete or five attempts in a row
// failed.  Resuming is bounded by the transfer size alone, so a download
// never ends short with code 0.
void LoggerDownload::usbResume(int &code)
{
    UsbTransfer &usb = m_link.usb();
    std::array<std::uint8_t, PageReplyLength> reply{};
    int failedAttempts = 0;
    while (bytesReceived() < m_transfer && failedAttempts < UsbResumeAttempts && !cancelled()) {
        code = DownloadOk;
        m_link.UsbFrame.setCommand(cmd::Live);
        ++m_link.LiveSequence;
        m_link.UsbFrame[5] = m_link.LiveSequence;
        usb.WriteCommand(FrameLength, m_link.UsbFrame.data());
        usb.AfterWrite();
        usb.ReadReply(ShortReplyLength, reply.data()); // dropped
        m_clock.pause(UsbResumePauseMs);

        const int page = bytesReceived() / LoggerPageSize;
        m_link.ReadMemoryPage(page);
        m_clock.pause(UsbResumePauseMs);
        if (m_link.ReadMemoryPage(page) != PageOk) {
            code = DownloadResumeSelectFailed;
            ++failedAttempts;
            continue;
        }
        while (bytesReceived() < m_transfer && !cancelled()) {
            if (!usbSend(cmd::PageNext)) {
                usb.CloseDevice();
                code = DownloadResumeWriteFailed;
                ++failedAttempts;
                break;
            }
            usb.AfterWrite();
            if (usb.ReadReply(PageReplyLength, reply.data()) != 0 || !usbPageValid(reply.data())) {
                code = DownloadResumeReadFailed;
                ++failedAttempts;
                break;
            }
            failedAttempts = 0;
            store(reply.data());
            m_clock.letEventsRun();
        }
        if (code == DownloadOk && !cancelled())
            usbSend(cmd::PageEnd);
    }
}

// ---- serial ----------------------------------------------------------------

bool LoggerDownload::serialSend(char letter)
{
    SerialPort *port = m_link.serial();
    m_link.SerialFrame.setCommand(letter);
    return port->write(m_link.SerialFrame.data(), FrameLength) == FrameLength;
}

// Waits (blocking on the port, never spinning) until a whole reply is there
// or `waitMs` pass.  Exactly 36 bytes are a reply; more are a reply that
// cannot be framed (stray or late bytes in front of it) and are dropped with
// whatever still arrives right behind them.
LoggerDownload::Frame LoggerDownload::serialReadReply(std::uint8_t *reply, int waitMs)
{
    SerialPort *port = m_link.serial();
    const std::int64_t start = m_clock.elapsedMs();
    int waiting = port->waitingCount();
    while (waiting < PageReplyLength) {
        const std::int64_t left = waitMs - (m_clock.elapsedMs() - start);
        if (left <= 0)
            break;
        if (cancelled())
            return Frame::Cancelled;
        if (waiting > 0)
            m_clock.sleep(int(std::min<std::int64_t>(left, ((PageReplyLength - waiting) * SerialCharUs + 999) / 1000)));
        else
            port->waitForInput(int(left));
        waiting = port->waitingCount();
    }
    if (waiting == 0)
        return Frame::Silent;
    if (waiting != PageReplyLength) {
        serialDrain();
        return waiting < PageReplyLength ? Frame::Short : Frame::Misframed;
    }
    if (port->read(reply, PageReplyLength) != PageReplyLength) {
        serialDrain();
        return Frame::Short;
    }
    return Frame::Page;
}

// Drops what is waiting and what follows until the line is quiet.
void LoggerDownload::serialDrain()
{
    SerialPort *port = m_link.serial();
    std::array<std::uint8_t, DrainChunk> scratch{};
    const std::int64_t start = m_clock.elapsedMs();
    for (;;) {
        while (port->waitingCount() > 0)
            if (port->read(scratch.data(), DrainChunk) <= 0)
                break;
        if (m_clock.elapsedMs() - start >= SerialDrainLimitMs)
            return;
        port->waitForInput(SerialQuietMs);
        if (port->waitingCount() == 0)
            return;
    }
}

int LoggerDownload::DownloadOverSerial()
{
    begin();
    SerialPort *port = m_link.serial();
    if (!port)
        return DownloadSerialNoFirstPage;
    const LinkLease lease(m_link, false, LinkLease::Join);
    port->clearInput();
    std::array<std::uint8_t, PageReplyLength> reply{};

    bool firstPage = false;
    for (int attempt = 0; attempt < SerialFirstPageAttempts && !firstPage; ++attempt) {
        if (cancelled())
            break;
        serialSend(cmd::PageStart);
        const Frame frame = serialReadReply(reply.data(), SerialFirstPageWaitMs);
        firstPage = frame == Frame::Page && CheckByteRight(reply.data()) && reply[PageMarkerByte] == FirstPageMarker;
        if (frame == Frame::Page && !firstPage)
            serialDrain();
    }
    if (cancelled()) {
        serialSend(cmd::PageEnd);
        return DownloadCancelled;
    }
    if (!firstPage)
        return DownloadSerialNoFirstPage;
    serialSend(cmd::PageNext);
    firstPageArrived(reply.data());
    m_clock.letWindowSystemRun();

    // A good page is stored and the next asked for; a bad one is asked for
    // again with 'n'.  A good reply of the page before is a late copy when
    // 'p' was the last request (the reply asked for may follow it), and
    // means the meter missed the request when it answers an 'n'.
    int retries = 0;
    char lastRequest = cmd::PageNext;
    const auto request = [&](char letter) {
        lastRequest = letter;
        serialSend(letter);
    };
    std::int64_t lastReply = m_clock.elapsedMs();
    while (bytesReceived() < m_transfer) {
        if (cancelled())
            break;
        if (retries > SerialRetryLimit || m_clock.elapsedMs() - lastReply >= SerialSilenceLimitMs)
            break;
        const Frame frame = serialReadReply(reply.data(), SerialPageWaitMs);
        if (frame == Frame::Cancelled)
            break;
        if (frame != Frame::Silent)
            lastReply = m_clock.elapsedMs();
        if (frame == Frame::Page && CheckByteRight(reply.data())) {
            const int index = bytesReceived() / LoggerPageSize;
            const int number = PageNumber(reply.data());
            if (!m_serialNumberBase)
                m_serialNumberBase = number - index;
            if (number == *m_serialNumberBase + index) {
                retries = 0;
                store(reply.data());
                if (bytesReceived() < m_transfer)
                    request(cmd::PageNext);
                m_clock.letWindowSystemRun();
                continue;
            }
            if (number == *m_serialNumberBase + index - 1) {
                ++retries;
                if (lastRequest == cmd::PageBad) {
                    serialDrain();
                    request(cmd::PageNext);
                }
                continue;
            }
        }
        // Bytes of a rejected reply may still be arriving: let the line go
        // quiet first, so the page sent again starts on an empty queue.
        if (frame == Frame::Page)
            serialDrain();
        ++retries;
        m_progress.pageRejected();
        request(cmd::PageBad);
        m_clock.letWindowSystemRun();
    }
    serialSend(cmd::PageEnd);
    m_progress.finished();
    if (cancelled())
        return DownloadCancelled;
    return bytesReceived() < m_transfer ? DownloadSerialShort : DownloadOk;
}

// ---- the whole download ------------------------------------------------------

LoggerDownloadOutcome DownloadLoggerMemory(MeterLink &link, DownloadProgress &progress, DownloadClock &clock,
                                           const LoggerDownloadSteps &steps)
{
    LoggerDownloadOutcome out;
    LoggerDownload download(link, progress, clock);
    out.code = download.run();
    if (out.code != DownloadOk)
        return out;
    QByteArray image = download.takeImage();
    out.code = steps.parse ? steps.parse(image) : CheckLoggerDataSetCount(image);
    if (out.code != DownloadOk)
        return out;
    out.image = std::move(image);
    if (steps.writeWorkingCopy) {
        const WorkingCopyOutcome copy = WriteWorkingCopy(steps.dataFolder, steps.programFolder, out.image);
        out.workingCopy = copy.path;
        if (!copy.folderError.isEmpty()) {
            out.code = DownloadWorkingFolderFailed;
            out.message = copy.folderError;
        }
    }
    return out;
}

} // namespace kv
