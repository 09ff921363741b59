// Reading the logger memory from the simulated meter over USB and over its
// serial side: transfer sizes, bad and lost pages, resuming, and a seeded
// run of downloads with random faults where every image is either exact or
// refused.

#include "link/commands.h"
#include "logger/download.h"
#include "logger/downloadcommand.h"
#include "sim/simdownloadrig.h"

#include <QtTest>

#include <optional>

using namespace kv;

Q_DECLARE_METATYPE(kv::SimLink)

namespace {

// Frames the meter received with `letter`, in order.
QList<QByteArray> framesWith(const SimMeter &meter, char letter)
{
    QList<QByteArray> frames;
    for (const SimLogEntry &e : meter.log())
        if (e.letter() == letter)
            frames << e.bytes;
    return frames;
}

// The window's side of the command, recorded.
struct FakeView : LoggerDownloadView {
    QString dataFolder;
    bool recording = false;
    QStringList messages;
    QStringList errors;
    int graphs = 0;
    QList<QByteArray> shown;
    bool unsaved = false;
    int pollResets = 0;
    int reconnects = 0;
    int drops = 0;
    SimRecordingProgress progress;

    bool meterRecording() const override { return recording; }
    void showMessage(const QString &text) override { messages << text; }
    void showErrorReport(const QString &text) override { errors << text; }
    void ensureLoggerGraph() override { ++graphs; }
    int showLoggerImage(const QByteArray &image, QString &workingFolderError) override
    {
        const int code = CheckLoggerDataSetCount(image);
        if (code == 0) {
            shown << image;
            workingFolderError = WriteWorkingCopy(dataFolder, QString(), image).folderError;
        }
        return code;
    }
    void markLoggerDataUnsaved() override { unsaved = true; }
    void resetPollFailures() override { ++pollResets; }
    void connectSelectedPort() override { ++reconnects; }
    void dropLink() override { ++drops; }
    DownloadProgress &downloadProgress() override { return progress; }
};

// Counts the poll timer's stops and starts.
struct CountingTimer : LinkTimer {
    int stops = 0;
    int starts = 0;
    void stopPolling() override { ++stops; }
    void startPolling() override { ++starts; }
};

} // namespace

class TestDownload : public QObject {
    Q_OBJECT

private slots:
    void transferSize_data();
    void transferSize();
    void badPageIsAskedForAgain_data();
    void badPageIsAskedForAgain();
    void usbResumesAtTheNextPage_data();
    void usbResumesAtTheNextPage();
    void failures_data();
    void failures();
    void cancelStops();
    void countAndWorkingCopy();
    void command_data();
    void command();
    void secondStartDoesNothing();
    void workingFolderFailureHandsTheLinkBack();
    void soak_data();
    void soak();
};

void TestDownload::transferSize_data()
{
    QTest::addColumn<SimLink>("link");
    QTest::addColumn<int>("announced");
    QTest::addColumn<int>("transfer");

    for (SimLink link : {SimLink::Usb, SimLink::Serial}) {
        const char *l = link == SimLink::Usb ? "usb" : "serial";
        QTest::addRow("%s 1000 bytes", l) << link << 1000 << 1024;
        QTest::addRow("%s 256 bytes", l) << link << 256 << 256;
        QTest::addRow("%s 255 bytes", l) << link << 255 << LoggerFullSize;
        QTest::addRow("%s 262145 bytes", l) << link << LoggerFullSize + 1 << LoggerFullSize;
    }
    QTest::addRow("usb whole memory") << SimLink::Usb << LoggerFullSize << LoggerFullSize;
}

void TestDownload::transferSize()
{
    QFETCH(SimLink, link);
    QFETCH(int, announced);
    QFETCH(int, transfer);
    SimDownloadRig rig(link);
    rig.fillMemory(announced);

    QCOMPARE(rig.download(), int(DownloadOk));
    QCOMPARE(rig.progress.total, transfer);
    QCOMPARE(rig.image, rig.meter.memory().left(transfer));
    // One page from 'P', the rest from 'p'; the progress counts each stored page.
    const int pages = transfer / LoggerPageSize;
    QCOMPARE(rig.meter.frameCount(cmd::PageStart), 1);
    QCOMPARE(rig.meter.frameCount(cmd::PageNext), pages - 1);
    QCOMPARE(rig.progress.steps.size(), pages - 1);
    QCOMPARE(rig.progress.steps.last(), transfer);
    QVERIFY(rig.progress.done);
    QCOMPARE(rig.meter.lastFrame().at(1), cmd::PageEnd);
    // USB asks for page 1; the serial frame's page bytes stay at 0 (the
    // frame log keeps the last 4096 frames: look only at short downloads).
    if (pages < SimFrameLogLimit) {
        const QByteArray start = framesWith(rig.meter, cmd::PageStart).value(0);
        QCOMPARE(start.mid(2, 2), link == SimLink::Usb ? QByteArray::fromHex("0001") : QByteArray::fromHex("0000"));
    }
}

void TestDownload::badPageIsAskedForAgain_data()
{
    QTest::addColumn<SimLink>("link");
    QTest::addColumn<int>("fault");
    QTest::addColumn<char>("askedAgainWith");

    QTest::newRow("usb wrong check byte") << SimLink::Usb << int(SimFault::WrongChecksum) << cmd::PageRetry;
    QTest::newRow("usb page number wrong") << SimLink::Usb << int(SimFault::WrongMarkers) << cmd::PageRetry;
    QTest::newRow("usb no reply") << SimLink::Usb << int(SimFault::NoReply) << cmd::PageRetry;
    QTest::newRow("usb short reply") << SimLink::Usb << int(SimFault::ShortReply) << cmd::PageRetry;
    QTest::newRow("serial wrong check byte") << SimLink::Serial << int(SimFault::WrongChecksum) << cmd::PageBad;
    QTest::newRow("serial stray bytes in front") << SimLink::Serial << int(SimFault::StrayBytes) << cmd::PageBad;
    QTest::newRow("serial short reply") << SimLink::Serial << int(SimFault::ShortReply) << cmd::PageBad;
    QTest::newRow("serial no reply") << SimLink::Serial << int(SimFault::NoReply) << cmd::PageBad;
    QTest::newRow("serial late reply") << SimLink::Serial << int(SimFault::LateReply) << cmd::PageBad;
    QTest::newRow("serial junk") << SimLink::Serial << int(SimFault::Garbage) << cmd::PageBad;
}

void TestDownload::badPageIsAskedForAgain()
{
    QFETCH(SimLink, link);
    QFETCH(int, fault);
    QFETCH(char, askedAgainWith);
    SimDownloadRig rig(link);
    rig.fillMemory(1000);
    rig.meter.faults().setShortLength(20);
    rig.meter.faults().setLateDelayMs(2000);
    // The reply to the fifth 'p' (page 5) goes wrong once.
    rig.meter.faults().inject(SimFault(fault), 1, cmd::PageNext, 4);

    QCOMPARE(rig.download(), int(DownloadOk));
    QCOMPARE(rig.image, rig.meter.memory().left(1024));
    QCOMPARE(rig.meter.frameCount(askedAgainWith), 1);
    // The bad page was never counted: the progress moves by one page at a time.
    for (int i = 0; i < rig.progress.steps.size(); ++i)
        QCOMPARE(rig.progress.steps.at(i), (i + 2) * LoggerPageSize);
    QCOMPARE(rig.progress.rejected, link == SimLink::Serial ? 1 : 0);
}

void TestDownload::usbResumesAtTheNextPage_data()
{
    QTest::addColumn<int>("k");
    QTest::addColumn<int>("plan");

    // 0: the page and its retry are lost; 1: the device is gone for three
    // opening attempts; 2: the page and its retry come late, each in the
    // window of the next read.
    QTest::newRow("lost page 7 and its retry") << 7 << 0;
    QTest::newRow("device away after 12 pages") << 12 << 1;
    QTest::newRow("late replies after page 20") << 20 << 2;
}

void TestDownload::usbResumesAtTheNextPage()
{
    QFETCH(int, k);
    QFETCH(int, plan);
    SimDownloadRig rig(SimLink::Usb);
    rig.fillMemory(2000);
    SimFaults &faults = rig.meter.faults();
    if (plan == 0) {
        faults.inject(SimFault::NoReply, 1, cmd::PageNext, k - 1);
        faults.inject(SimFault::NoReply, 1, cmd::PageRetry);
    } else if (plan == 1) {
        faults.vanishAfter(k, 3); // 'P' and k - 1 'p': k pages stored
    } else {
        faults.setLateDelayMs(UsbRetryPauseMs + LinkReadTimeoutMs / 2);
        faults.inject(SimFault::LateReply, 1, cmd::PageNext, k - 1);
        faults.inject(SimFault::LateReply, 1, cmd::PageRetry);
    }

    QCOMPARE(rig.download(), int(DownloadOk));
    QCOMPARE(rig.image, rig.meter.memory().left(2016));
    // The resume selects page k; the 'p' after it brings bytes 32 k.
    const QList<QByteArray> starts = framesWith(rig.meter, cmd::PageStart);
    QVERIFY(starts.size() >= 2);
    QCOMPARE(starts.last().mid(2, 2), QByteArray::fromHex(QByteArray::number(k, 16).rightJustified(4, '0')));
    if (plan != 1) // one 'A' before the page selection (the device was away in plan 1)
        QCOMPARE(rig.meter.frameCount(cmd::Live), 1);
}

void TestDownload::failures_data()
{
    QTest::addColumn<SimLink>("link");
    QTest::addColumn<int>("fault");
    QTest::addColumn<char>("letter");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("code");

    QTest::newRow("usb no device") << SimLink::Usb << -1 << '\0' << 0 << int(DownloadOpenFailed);
    QTest::newRow("usb first page lost") << SimLink::Usb << int(SimFault::NoReply) << cmd::PageStart << 1
                                         << int(DownloadFirstPageFailed);
    QTest::newRow("usb first page marker") << SimLink::Usb << int(SimFault::WrongMarkers) << cmd::PageStart << 1
                                           << int(DownloadFirstPageBad);
    QTest::newRow("usb first page check byte") << SimLink::Usb << int(SimFault::WrongChecksum) << cmd::PageStart
                                               << 1 << int(DownloadFirstPageFailed);
    QTest::newRow("usb device gone for good") << SimLink::Usb << -2 << '\0' << 6 << int(DownloadResumeSelectFailed);
    QTest::newRow("usb every page lost") << SimLink::Usb << int(SimFault::NoReply) << cmd::PageNext << 1000
                                         << int(DownloadResumeReadFailed);
    QTest::newRow("serial three bad first pages") << SimLink::Serial << int(SimFault::WrongChecksum) << cmd::PageStart
                                                  << 3 << int(DownloadSerialNoFirstPage);
    QTest::newRow("serial two bad first pages") << SimLink::Serial << int(SimFault::StrayBytes) << cmd::PageStart << 2
                                                << int(DownloadOk);
    QTest::newRow("serial device gone") << SimLink::Serial << -2 << '\0' << 6 << int(DownloadSerialShort);
    QTest::newRow("serial 21 bad pages") << SimLink::Serial << int(SimFault::WrongChecksum) << '\0' << 1000
                                         << int(DownloadSerialShort);
}

void TestDownload::failures()
{
    QFETCH(SimLink, link);
    QFETCH(int, fault);
    QFETCH(char, letter);
    QFETCH(int, count);
    QFETCH(int, code);
    SimDownloadRig rig(link);
    rig.fillMemory(1000);
    if (fault == -1)
        rig.meter.faults().setDeviceAbsent(true);
    else if (fault == -2)
        rig.meter.faults().vanishAfter(count);
    else
        rig.meter.faults().inject(SimFault(fault), count, letter, letter == '\0' ? 3 : 0);

    QCOMPARE(rig.download(), code);
    if (code == DownloadOk)
        QCOMPARE(rig.image, rig.meter.memory().left(1024));
    else
        QVERIFY(rig.image.size() < 1024); // a short image is never reported as a success
}

void TestDownload::cancelStops()
{
    for (SimLink link : {SimLink::Usb, SimLink::Serial}) {
        SimDownloadRig rig(link);
        rig.fillMemory(4000);
        rig.progress.cancelAfter = 10;
        QCOMPARE(rig.download(), int(DownloadCancelled));
        QCOMPARE(rig.meter.lastFrame().at(1), cmd::PageEnd);
        QCOMPARE(rig.progress.steps.size(), 10);
    }
}

void TestDownload::countAndWorkingCopy()
{
    SimDownloadRig rig(SimLink::Usb);
    rig.fillMemory(1000);
    QTemporaryDir dir;
    LoggerDownloadSteps steps;
    steps.writeWorkingCopy = true;
    steps.dataFolder = dir.filePath(QStringLiteral("KV3917"));

    // Count 0: nothing written.
    rig.meter.setCell(LoggerCountByte + 1, 0);
    LoggerDownloadOutcome out = DownloadLoggerMemory(rig.link, rig.progress, rig.clock, steps);
    QCOMPARE(out.code, int(DownloadNoDataSet));
    QVERIFY(!QFile::exists(steps.dataFolder));
    // Count 4001: out of range.
    rig.meter.setCell(LoggerCountByte, 0x0F);
    rig.meter.setCell(LoggerCountByte + 1, 0xA1);
    QCOMPARE(DownloadLoggerMemory(rig.link, rig.progress, rig.clock, steps).code, int(DownloadCountOutOfRange));
    // Count 4000: the working copy holds the image.
    rig.meter.setCell(LoggerCountByte + 1, 0xA0);
    out = DownloadLoggerMemory(rig.link, rig.progress, rig.clock, steps);
    QCOMPARE(out.code, int(DownloadOk));
    QCOMPARE(out.workingCopy, steps.dataFolder + QStringLiteral("/temp/DataSetsTemp.tmp"));
    QFile copy(out.workingCopy);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), rig.meter.memory().left(1024));

    // A working folder that cannot be created (a file stands in its way):
    // the folder path comes back as the message, with the image.
    QFile blocker(dir.filePath(QStringLiteral("blocked")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    steps.dataFolder = blocker.fileName();
    out = DownloadLoggerMemory(rig.link, rig.progress, rig.clock, steps);
    QCOMPARE(out.code, int(DownloadWorkingFolderFailed));
    QCOMPARE(out.message, blocker.fileName() + QStringLiteral("/temp"));
    QCOMPARE(out.image, rig.meter.memory().left(1024));
}

void TestDownload::command_data()
{
    QTest::addColumn<SimLink>("link");
    // 0 sound, 1 no meter, 2 recording, 3 empty memory, 4 bad first page,
    // 5 another operation holds the link
    QTest::addColumn<int>("situation");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");

    for (SimLink link : {SimLink::Usb, SimLink::Serial}) {
        const char *l = link == SimLink::Usb ? "usb" : "serial";
        QTest::addRow("%s download", l) << link << 0 << 0 << QString();
        QTest::addRow("%s no meter", l) << link << 1 << int(LoggerDownloadCommand::NotStarted) << NoConnectionMessage;
        QTest::addRow("%s recording", l) << link << 2 << int(LoggerDownloadCommand::NotStarted) << MeterRecordingMessage;
        QTest::addRow("%s empty memory", l) << link << 3 << int(DownloadNoDataSet) << NoDataRecordedMessage;
        QTest::addRow("%s link held", l) << link << 5 << int(LoggerDownloadCommand::NotStarted) << QString();
    }
    QTest::addRow("usb bad first page") << SimLink::Usb << 4 << int(DownloadFirstPageBad)
                                        << QStringLiteral("There was error,please try again!   error code=1006");
    QTest::addRow("serial bad first page") << SimLink::Serial << 4 << int(DownloadSerialNoFirstPage)
                                           << QStringLiteral("There was error,please try again!   error code=9");
}

void TestDownload::command()
{
    QFETCH(SimLink, link);
    QFETCH(int, situation);
    QFETCH(int, code);
    QFETCH(QString, message);
    SimDownloadRig rig(link);
    rig.fillMemory(1000);
    FakeView view;
    QTemporaryDir dir;
    view.dataFolder = dir.path();
    LoggerDownloadCommand command(rig.link, view, rig.clock);
    CountingTimer timer;
    rig.link.setTimer(&timer);
    std::optional<LinkLease> otherOperation;
    if (situation == 5)
        otherOperation.emplace(rig.link, false);
    if (situation == 1)
        rig.link.Kind = kv::LinkKind::None;
    view.recording = situation == 2;
    if (situation == 3)
        rig.meter.setCell(LoggerCountByte + 1, 0);
    if (situation == 4)
        rig.meter.faults().inject(link == SimLink::Usb ? SimFault::WrongMarkers : SimFault::WrongChecksum, 3,
                                  cmd::PageStart);

    const std::int64_t start = rig.simClock.nowMs();
    QCOMPARE(command.loadData(), code);
    QCOMPARE(view.messages, message.isEmpty() ? QStringList() : QStringList{message});
    QVERIFY(!command.downloadInProgress());
    if (code == LoggerDownloadCommand::NotStarted) {
        QCOMPARE(rig.meter.exchangeCount(), 0);
        QCOMPARE(view.graphs + view.drops + view.reconnects, 0);
        QCOMPARE(rig.link.isHeld(), situation == 5); // the other operation's hold stays
        QCOMPARE(timer.starts, 0);
        return;
    }
    // Polling stopped once for the whole command and started again once, by
    // the command's own end: none of its steps (pages, resume) restarts it.
    QCOMPARE(timer.stops, 1);
    QCOMPARE(timer.starts, 1);
    QVERIFY(!rig.link.isHeld());
    QCOMPARE(view.graphs, 1);
    QCOMPARE(view.unsaved, code == 0);
    QCOMPARE(view.shown, code == 0 ? QList<QByteArray>{rig.meter.memory().left(1024)} : QList<QByteArray>{});
    QCOMPARE(QFile::exists(dir.filePath("temp/DataSetsTemp.tmp")), code == 0);
    // A failed download sends 'Q' (on the USB frame, whichever link ran it).
    const bool recovery = rig.meter.lastFrame().at(1) == cmd::Recover;
    QCOMPARE(recovery, code != 0 && code != DownloadNoDataSet && link == SimLink::Usb);
    // The link is handed back: the port connected again after a second, or
    // the USB link dropped for the next poll tick.
    if (link == SimLink::Serial) {
        QCOMPARE(view.pollResets, 1);
        QCOMPARE(view.reconnects, 1);
        QVERIFY(rig.simClock.nowMs() - start >= SerialHandBackPauseMs);
    } else {
        QCOMPARE(view.drops, 1);
    }
}

void TestDownload::secondStartDoesNothing()
{
    SimDownloadRig rig(SimLink::Usb);
    rig.fillMemory(1000);
    struct ClickingView : FakeView {
        LoggerDownloadCommand *command = nullptr;
        QList<int> secondStarts;
        struct Progress : SimRecordingProgress {
            ClickingView *view = nullptr;
            void advanced(int bytes) override
            {
                SimRecordingProgress::advanced(bytes);
                if (steps.size() == 5)
                    view->secondStarts << view->command->loadData();
            }
        } clicking;
        DownloadProgress &downloadProgress() override { return clicking; }
    } view;
    view.clicking.view = &view;
    LoggerDownloadCommand command(rig.link, view, rig.clock);
    view.command = &command;
    QTemporaryDir dir;
    view.dataFolder = dir.path();

    QCOMPARE(command.loadData(), int(DownloadOk));
    QCOMPARE(view.secondStarts, QList<int>{LoggerDownloadCommand::NotStarted});
    QCOMPARE(rig.meter.frameCount(cmd::PageStart), 1);
    QCOMPARE(view.graphs, 1);
    QCOMPARE(view.shown.size(), 1);
    QVERIFY(view.messages.isEmpty());
}

void TestDownload::workingFolderFailureHandsTheLinkBack()
{
    for (SimLink link : {SimLink::Usb, SimLink::Serial}) {
        SimDownloadRig rig(link);
        rig.fillMemory(1000);
        FakeView view;
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("KV3917")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        view.dataFolder = blocker.fileName();
        LoggerDownloadCommand command(rig.link, view, rig.clock);

        QCOMPARE(command.loadData(), int(DownloadWorkingFolderFailed));
        QCOMPARE(view.errors, QStringList{blocker.fileName() + QStringLiteral("/temp")});
        QVERIFY(view.messages.isEmpty());
        QVERIFY(!command.downloadInProgress());
        QCOMPARE(view.drops + view.reconnects, 1);
        QCOMPARE(view.shown.size(), 1); // the data sets stay on show, marked unsaved
        QVERIFY(view.unsaved);
        QVERIFY(rig.meter.lastFrame().at(1) != cmd::Recover);
    }
}

void TestDownload::soak_data()
{
    QTest::addColumn<SimLink>("link");
    QTest::newRow("usb") << SimLink::Usb;
    QTest::newRow("serial") << SimLink::Serial;
}

// A short part of the seeded soak run (kv3917-bench runs the long one).
void TestDownload::soak()
{
    QFETCH(SimLink, link);
    const SimSoakTally tally = RunSimDownloadSoak(link, 30, 20260101u);
    QCOMPARE(tally.wrong, 0);
    QCOMPARE(tally.exact + tally.refused, 30);
    QVERIFY(tally.exact > 0);
    QVERIFY(tally.refused > 0 || tally.faultsInjected > 0);
}

QTEST_GUILESS_MAIN(TestDownload)
#include "tst_download.moc"
