#pragma once
// A logger download against the simulated meter on a manual clock, over its
// USB transport or its serial side, and a seeded run of many downloads with
// random page faults (the soak run).  Shared by the tests and the
// benchmarks; waits cost nothing, so thousands of downloads take seconds.

#include "link/meterlink.h"
#include "logger/download.h"
#include "sim/simdownloadclock.h"
#include "sim/simmeter.h"
#include "sim/simserial.h"
#include "sim/simusbtransfer.h"

#include <QByteArray>
#include <QList>
#include <QMap>

#include <cstdint>

namespace kv {

// Records what a download shows; can ask it to stop after some pages.
struct SimRecordingProgress : DownloadProgress {
    int total = -1;
    QList<int> steps;
    int rejected = 0;
    bool done = false;
    int cancelAfter = -1; // stored pages after the first

    void started(int transferSize) override { total = transferSize; }
    void advanced(int bytesReceived) override { steps << bytesReceived; }
    void pageRejected() override { ++rejected; }
    void finished() override { done = true; }
    bool cancelRequested() override { return cancelAfter >= 0 && steps.size() >= cancelAfter; }
};

class SimDownloadRig {
public:
    // `options` defaults to frozen readings, an empty logger and a fixed
    // meter clock.
    explicit SimDownloadRig(SimLink link, const SimOptions &options = DefaultOptions(),
                            SimSerialPacing pacing = SimSerialPacing::Baud9600);

    static SimOptions DefaultOptions();

    // A memory of seeded random bytes whose first page announces `announced`
    // bytes and one data set.
    void fillMemory(int announced, std::uint32_t seed = 1);

    // Runs LoggerDownload::run(); the image is kept in `image`.
    int download();

    ManualSimClock simClock;
    SimMeter meter;
    SimUsbTransfer usb;
    SimSerialPort port;
    MeterLink link;
    SimDownloadClock clock;
    SimRecordingProgress progress;
    QByteArray image;
};

struct SimSoakTally {
    int exact = 0;          // code 0 and the image equals the memory
    int refused = 0;        // a non-zero code
    int wrong = 0;          // code 0 with an image that differs
    int faultsInjected = 0;
    QMap<int, int> codes;   // result code -> runs
};

// `runs` downloads over `link`, each of a memory of 256 .. maxSize bytes
// with up to five random page faults (lost, late, short, wrong check byte,
// wrong number and marker, stray bytes, junk) on random pages and now and
// then the device going away for a while or for good.  Seeded: the same
// seed gives the same run.
SimSoakTally RunSimDownloadSoak(SimLink link, int runs, std::uint32_t seed, int maxSize = 4096);

} // namespace kv
