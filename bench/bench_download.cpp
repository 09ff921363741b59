// Reading the logger memory from the simulated meter: the whole memory over
// the in-process USB link without latency, a download over a pseudo-terminal
// at the line rate against the line time, the window thread's CPU share
// while the serial download waits, and the long seeded soak run.
#include "link/meterlink.h"
#include "link/qtserialport.h"
#include "logger/download.h"
#include "sim/simdownloadrig.h"
#include "sim/simmeter.h"
#include "sim/simpty.h"
#include "sim/simusbtransfer.h"

#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <ctime>

namespace {

// Bytes on the line per page: a 7-byte request and a 36-byte reply.
constexpr int LineBytesPerPage = 7 + 36;
constexpr double LineBytesPerSecond = 960.0;
// Memory read over the pseudo-terminal (the whole memory would take six
// minutes at the line rate).
constexpr int SerialBenchBytes = 4096;
constexpr int SoakRunsPerLink = 1000;
constexpr std::uint32_t SoakSeed = 3917;

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

kv::SimOptions QuickMeter()
{
    kv::SimOptions o = kv::SimDownloadRig::DefaultOptions();
    o.usbLatencyMs = 0;
    o.serialTurnaroundMs = 0;
    return o;
}

QByteArray MemoryAnnouncing(int size)
{
    QByteArray memory(kv::SimMemorySize, char(0x5A));
    for (int i = 0; i < memory.size(); ++i)
        memory[i] = char((i * 131 + i / 32) & 0xFF);
    const int pointer = size - 1;
    memory[8] = 0;
    memory[9] = 1;
    memory[10] = char((pointer >> 16) & 0xFF);
    memory[11] = char((pointer >> 8) & 0xFF);
    memory[12] = char(pointer & 0xFF);
    return memory;
}

// The whole memory (8192 pages) over the in-process USB transport on real
// time, with the download's real pauses (100 ms after 'P', nothing else on a
// sound link).
void BM_DownloadUsbFullMemory(benchmark::State &state)
{
    kv::SimMeter meter(nullptr, QuickMeter());
    meter.loadLoggerImage(MemoryAnnouncing(kv::LoggerFullSize));
    kv::SimUsbTransfer usb(meter);
    kv::MeterLink link(usb);
    link.Kind = kv::LinkKind::Usb;
    kv::DownloadProgress progress;
    kv::DownloadClock clock;
    for (auto _ : state) {
        kv::LoggerDownload download(link, progress, clock);
        if (download.run() != kv::DownloadOk || download.image() != meter.memory())
            state.SkipWithError("download failed");
    }
    state.counters["pauses_ms"] = kv::UsbFirstPagePauseMs;
}
BENCHMARK(BM_DownloadUsbFullMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// SerialBenchBytes over a pseudo-terminal paced at 9600 baud, through the
// program's QSerialPort.  Reports the wall time over the line time and the
// window thread's CPU share while it waits (the meter runs on its own thread).
void BM_DownloadSerialLineRate(benchmark::State &state)
{
    kv::SimMeter meter(nullptr, QuickMeter());
    meter.loadLoggerImage(MemoryAnnouncing(SerialBenchBytes));
    kv::SimPtyServer server(meter, kv::SimSerialPacing::Baud9600);
    server.start();
    kv::NoDeviceTransfer usb;
    kv::QtSerialPort port;
    port.setDeviceName(server.slavePath());
    if (!port.open()) {
        state.SkipWithError("cannot open the pseudo-terminal");
        server.stop();
        return;
    }
    kv::MeterLink link(usb, &port);
    link.Kind = kv::LinkKind::Serial;
    kv::DownloadProgress progress;
    kv::DownloadClock clock;
    double ratio = 0, share = 0;
    for (auto _ : state) {
        const double cpu0 = ThreadCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        kv::LoggerDownload download(link, progress, clock);
        const int code = download.run();
        const double seconds = double(wall.nsecsElapsed()) * 1e-9;
        share = (ThreadCpuSeconds() - cpu0) / seconds;
        const double lineSeconds = SerialBenchBytes / kv::LoggerPageSize * LineBytesPerPage / LineBytesPerSecond;
        ratio = seconds / lineSeconds;
        if (code != kv::DownloadOk || download.image() != meter.memory().left(SerialBenchBytes))
            state.SkipWithError("download failed");
    }
    state.counters["x_line_time"] = ratio;
    state.counters["cpu_percent_of_core"] = share * 100.0;
    port.close();
    server.stop();
}
BENCHMARK(BM_DownloadSerialLineRate)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The meter goes silent after a few pages: the download waits (1.5 s per
// page asked for again, 5 s in all) and ends with code 3.  The window
// thread's CPU share over that time is what its waits cost.
void BM_DownloadSerialSilentWaitCpu(benchmark::State &state)
{
    kv::SimMeter meter(nullptr, QuickMeter());
    meter.loadLoggerImage(MemoryAnnouncing(SerialBenchBytes));
    meter.faults().vanishAfter(4);
    kv::SimPtyServer server(meter, kv::SimSerialPacing::Baud9600);
    server.start();
    kv::NoDeviceTransfer usb;
    kv::QtSerialPort port;
    port.setDeviceName(server.slavePath());
    if (!port.open()) {
        state.SkipWithError("cannot open the pseudo-terminal");
        server.stop();
        return;
    }
    kv::MeterLink link(usb, &port);
    link.Kind = kv::LinkKind::Serial;
    kv::DownloadProgress progress;
    kv::DownloadClock clock;
    double share = 0;
    for (auto _ : state) {
        const double cpu0 = ThreadCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        kv::LoggerDownload download(link, progress, clock);
        if (download.run() != kv::DownloadSerialShort)
            state.SkipWithError("the download did not end short");
        share = (ThreadCpuSeconds() - cpu0) / (double(wall.nsecsElapsed()) * 1e-9);
    }
    state.counters["cpu_percent_of_core"] = share * 100.0;
    port.close();
    server.stop();
}
BENCHMARK(BM_DownloadSerialSilentWaitCpu)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// SoakRunsPerLink seeded downloads with random faults on each link (on a
// manual clock): every result must be the exact memory or a non-zero code.
void BM_DownloadSoak(benchmark::State &state)
{
    const kv::SimLink link = state.range(0) == 0 ? kv::SimLink::Usb : kv::SimLink::Serial;
    kv::SimSoakTally tally;
    for (auto _ : state)
        tally = kv::RunSimDownloadSoak(link, SoakRunsPerLink, SoakSeed, 16384);
    if (tally.wrong != 0)
        state.SkipWithError("a download ended with code 0 and a wrong image");
    state.counters["exact"] = tally.exact;
    state.counters["refused"] = tally.refused;
    state.counters["wrong"] = tally.wrong;
    state.counters["faults"] = tally.faultsInjected;
}
BENCHMARK(BM_DownloadSoak)->Arg(0)->Arg(1)->ArgNames({"serial"})->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
