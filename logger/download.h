#pragma once
// Reading the meter's logger memory into an image, page by page, over the
// USB link or the serial/Bluetooth port.  UI-free: progress, cancelling,
// pauses and elapsed time go through two small interfaces, so the window, the
// command-line tool and the tests drive the same code.
//
// A page reply is 36 bytes: 32 bytes of memory, the page number (high, low),
// a check byte (sum of the 32 data bytes modulo 256) and 5.  The first page
// announces the used size in bytes 10..12 (big-endian, size - 1).
//
// No fault of the link leaves a wrong image behind: a page is stored only
// when its reply is complete, its check byte and its page number are right
// and it is the page that comes next; anything else is asked for again or
// ends the download with a non-zero code.  Page numbers run one ahead of the
// page index over USB ('P' n answers with page n - 1 and the number n); over
// the serial port the numbering is taken from the first 'p' reply.

#include "link/meterlink.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace kv {

// Result codes of a download (0 = success).
enum DownloadResult : int {
    DownloadOk = 0,
    DownloadCountOutOfRange = 2,    // the data set count is above 4000
    DownloadSerialShort = 3,        // serial: fewer bytes than the transfer size
    DownloadNoDataSet = 6,          // the memory holds no data set
    DownloadCancelled = 8,          // stopped through the progress interface
    DownloadSerialNoFirstPage = 9,  // serial: no valid first page after 3 requests
    DownloadWriteFailed = 123,      // USB: writing a 'p' or 'r' request failed
    DownloadEndFailed = 125,        // USB: writing the closing 'q' failed
    DownloadOpenFailed = PageOpenFailed,         // 1002
    DownloadTimeoutsFailed = PageTimeoutsFailed, // 1003
    DownloadStartFailed = PageWriteFailed,       // 1004: writing 'P'
    DownloadFirstPageFailed = PageReadFailed,    // 1005: reading the first page
    DownloadFirstPageBad = PageBadMarker,        // 1006: byte 35 is not 5
    DownloadFirstPageNumber = PageBadEcho,       // 1007: the first page's number
    DownloadResumeSelectFailed = 1260,  // USB resume: ReadMemoryPage failed
    DownloadResumeWriteFailed = 1261,   // USB resume: writing 'p' failed
    DownloadResumeReadFailed = 1263,    // USB resume: reading a page failed
    // The working folder can be neither found nor created (not a meter code:
    // the message carries the folder path).
    DownloadWorkingFolderFailed = -1,
};

constexpr int LoggerPageSize = 32;
constexpr int LoggerFullSize = 0x40000;     // the whole memory, 262144 bytes
constexpr int LoggerSmallestSize = 0x100;   // a smaller announced size is not believed
constexpr int LoggerMaxDataSetCount = 4000;
constexpr int LoggerSizeOffset = 10;        // first page: size - 1, bytes 10..12
constexpr int LoggerCountByte = 8;          // data set count, bytes 8..9

// USB: pauses of the download.
constexpr int UsbFirstPagePauseMs = 100;    // after the 'P' request
constexpr int UsbRetryPauseMs = 1000;       // before the 'r' after a failed page
constexpr int UsbResumePauseMs = 300;       // between the steps of a resume
constexpr int UsbResumeAttempts = 5;        // failed resume attempts in a row
// Failed pages in a row in the first phase before the resume takes over
// (each costs a 1-second pause and an 'r').
constexpr int UsbPageFailuresLimit = 10;
// Serial: waits and retries.
constexpr int SerialFirstPageAttempts = 3;
constexpr int SerialFirstPageWaitMs = 3000;
constexpr int SerialPageWaitMs = 1500;      // a reply not complete by then is asked for again
constexpr int SerialSilenceLimitMs = 5000;  // no reply at all for this long ends the read
constexpr int SerialRetryLimit = 20;        // bad pages in a row
// Bytes still arriving after a reply was rejected are dropped until the
// line has been quiet this long (a few character times at 9600 baud).
constexpr int SerialQuietMs = 5;
constexpr int SerialDrainLimitMs = 500;
// One character on the line at 9600 baud (start, 8 data, stop bits): the
// rest of a reply that has begun to arrive is slept through, not woken for
// byte by byte.
constexpr int SerialCharUs = 1042;

// What the download shows and asks while it runs.
class DownloadProgress {
public:
    virtual ~DownloadProgress() = default;
    // The first page has arrived: `transferSize` bytes will be read.
    virtual void started(int transferSize) { (void)transferSize; }
    // A page was stored; `bytesReceived` counts the stored bytes.
    virtual void advanced(int bytesReceived) { (void)bytesReceived; }
    // A serial page was rejected (the window repaints its dialog).
    virtual void pageRejected() {}
    // The read has ended, whatever its result.
    virtual void finished() {}
    // Looked at before every request; true stops the download (code 8).
    virtual bool cancelRequested() { return false; }
};

// Time as the download sees it.  The default runs on the system's monotonic
// clock, pauses with WaitPumping, lets pending events run after each USB
// page and lets the window system's own events (repaints, expose) run after
// each serial page; tests and benchmarks put the simulated meter's clock
// behind it.
class DownloadClock {
public:
    DownloadClock();
    virtual ~DownloadClock() = default;
    virtual std::int64_t elapsedMs();     // monotonic
    virtual void pause(int ms);           // handles events while it waits
    virtual void sleep(int ms);           // handles none; sleeps, never spins
    virtual void letEventsRun();
    // Repaints and the window system's events, no user input and no socket
    // notifiers: the serial download keeps the program answering the
    // desktop and its progress painted without letting the user in.
    virtual void letWindowSystemRun();

private:
    std::int64_t m_startNs;
};

class LoggerDownload {
public:
    LoggerDownload(MeterLink &link, DownloadProgress &progress, DownloadClock &clock);

    // Over the serial port when the link's isSerial() is set, else over USB.
    int run();
    int DownloadOverUsb();
    int DownloadOverSerial();

    // Memory bytes 0 .. bytesReceived() - 1.
    const QByteArray &image() const { return m_image; }
    QByteArray takeImage() { return std::move(m_image); }
    int bytesReceived() const { return int(m_image.size()); }
    int expectedSize() const { return m_expected; }
    int transferSize() const { return m_transfer; }

private:
    enum class Frame { Page, Misframed, Short, Silent, Cancelled };

    void begin();
    void firstPageArrived(const std::uint8_t *reply);
    void store(const std::uint8_t *reply);
    bool usbPageValid(const std::uint8_t *reply) const;
    bool cancelled();

    void usbResume(int &code);
    bool usbSend(char letter);

    bool serialSend(char letter);
    Frame serialReadReply(std::uint8_t *reply, int waitMs);
    void serialDrain();

    MeterLink &m_link;
    DownloadProgress &m_progress;
    DownloadClock &m_clock;
    QByteArray m_image;
    int m_expected = 0;
    int m_transfer = 0;
    bool m_cancelled = false;
    std::optional<int> m_serialNumberBase; // page number minus page index
};

// The transfer size for the size a first page announces: the whole memory
// when it is below 256 or above 262144 bytes, rounded up to whole pages.
int LoggerTransferSize(int expectedSize);
// The size announced by a first page (bytes 10..12 + 1).
int LoggerAnnouncedSize(const std::uint8_t *firstPage);
// The data set count at bytes 8..9 of an image; -1 when the image is shorter.
int LoggerImageDataSetCount(const QByteArray &image);
// 0, DownloadNoDataSet or DownloadCountOutOfRange for an image's count.
int CheckLoggerDataSetCount(const QByteArray &image);

// After a failed download: a 'Q' frame on the USB frame (whichever link
// ran the download), so the meter leaves its download state.
void SendDownloadRecovery(MeterLink &link);

// The folder of the working copy: `dataFolder` + "temp", or the program's
// folder + "temp" when `dataFolder` is empty.
QString WorkingFolderPath(const QString &dataFolder, const QString &programFolder);
constexpr const char *WorkingCopyName = "DataSetsTemp.tmp";

struct WorkingCopyOutcome {
    QString path;         // the file written; empty when it could not be
    QString folderError;  // the folder's path when it can be neither found nor created
};
// Writes `image` as the working copy, WorkingFolderPath(...)/DataSetsTemp.tmp,
// in one step.  A file that cannot be written is skipped.
WorkingCopyOutcome WriteWorkingCopy(const QString &dataFolder, const QString &programFolder, const QByteArray &image);

struct LoggerDownloadOutcome {
    int code = DownloadOk;
    QByteArray image;      // the memory read (also with DownloadWorkingFolderFailed)
    QString message;       // the folder path, for DownloadWorkingFolderFailed
    QString workingCopy;   // the working copy written (empty when skipped)
};

// Steps of DownloadLoggerMemory around the link: `parse` checks the image
// and returns 0 or its code (by default CheckLoggerDataSetCount); the working
// copy goes to WorkingFolderPath(...)/DataSetsTemp.tmp when `writeWorkingCopy`.
struct LoggerDownloadSteps {
    std::function<int(const QByteArray &)> parse;
    bool writeWorkingCopy = false;
    QString dataFolder;
    QString programFolder;
};

// The download, the parse and the working copy.  A working copy that cannot
// be written is skipped; a working folder that can be neither found nor
// created gives DownloadWorkingFolderFailed with the folder path as message.
LoggerDownloadOutcome DownloadLoggerMemory(MeterLink &link, DownloadProgress &progress, DownloadClock &clock,
                                           const LoggerDownloadSteps &steps = {});

} // namespace kv
