#include "sim/simdownloadrig.h"

#include "link/commands.h"

#include <random>

namespace kv {

SimOptions SimDownloadRig::DefaultOptions()
{
    SimOptions o;
    o.drift = false;
    o.prefillLogger = false;
    o.meterClock = QDateTime(QDate(2025, 3, 31), QTime(12, 0, 0), Qt::LocalTime);
    return o;
}

SimDownloadRig::SimDownloadRig(SimLink linkKind, const SimOptions &options, SimSerialPacing pacing)
    : meter(&simClock, options), usb(meter), port(meter, QStringLiteral("SIM"), pacing), link(usb, &port),
      clock(simClock)
{
    if (linkKind == SimLink::Serial) {
        port.setDeviceName(QStringLiteral("SIM"));
        port.open();
        link.Kind = kv::LinkKind::Serial;
    } else {
        usb.setLateRepliesQueue(true);
        link.Kind = kv::LinkKind::Usb;
    }
}

void SimDownloadRig::fillMemory(int announced, std::uint32_t seed)
{
    std::mt19937 random(seed);
    QByteArray memory(SimMemorySize, 0);
    for (char &c : memory)
        c = char(random() & 0xFF);
    const int pointer = announced - 1;
    memory[8] = 0;
    memory[9] = 1;
    memory[10] = char((pointer >> 16) & 0xFF);
    memory[11] = char((pointer >> 8) & 0xFF);
    memory[12] = char(pointer & 0xFF);
    meter.loadLoggerImage(memory);
}

int SimDownloadRig::download()
{
    const int cancelAfter = progress.cancelAfter;
    progress = SimRecordingProgress();
    progress.cancelAfter = cancelAfter;
    LoggerDownload run(link, progress, clock);
    const int code = run.run();
    image = run.takeImage();
    return code;
}

SimSoakTally RunSimDownloadSoak(SimLink link, int runs, std::uint32_t seed, int maxSize)
{
    static constexpr SimFault Faults[] = {
        SimFault::NoReply,       SimFault::LateReply,  SimFault::ShortReply, SimFault::WrongChecksum,
        SimFault::WrongMarkers, SimFault::StrayBytes, SimFault::Garbage,
    };
    const char retryLetter = link == SimLink::Usb ? cmd::PageRetry : cmd::PageBad;
    const char letters[] = {cmd::PageStart, cmd::PageNext, cmd::PageNext, cmd::PageNext, retryLetter, cmd::Live};

    std::mt19937 random(seed);
    auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    SimSoakTally tally;
    for (int run = 0; run < runs; ++run) {
        SimDownloadRig rig(link);
        const int announced = pick(LoggerSmallestSize, std::max(LoggerSmallestSize, maxSize));
        rig.fillMemory(announced, std::uint32_t(random()));
        const int pages = LoggerTransferSize(announced) / LoggerPageSize;

        SimFaults &faults = rig.meter.faults();
        faults.setLateDelayMs(pick(20, 2500));
        faults.setShortLength(pick(1, PageReplyLength - 1));
        faults.setStrayCount(pick(1, 40));
        const int count = pick(0, 5);
        for (int i = 0; i < count; ++i) {
            const char letter = letters[pick(0, int(sizeof letters) - 1)];
            const int skip = letter == cmd::PageNext ? pick(0, pages) : pick(0, 2);
            faults.inject(Faults[pick(0, int(std::size(Faults)) - 1)], pick(1, 3), letter, skip);
        }
        tally.faultsInjected += count;
        if (pick(0, 9) == 0) {
            faults.vanishAfter(pick(1, pages), pick(-1, 8)); // -1: gone for good
            ++tally.faultsInjected;
        }

        const int code = rig.download();
        ++tally.codes[code];
        if (code != DownloadOk)
            ++tally.refused;
        else if (rig.image == rig.meter.memory().left(LoggerTransferSize(announced)))
            ++tally.exact;
        else
            ++tally.wrong;
    }
    return tally;
}

} // namespace kv
