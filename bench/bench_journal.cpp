// Appending one sample to the recording journal, as every real-time sample
// does: one unbuffered write to the operating system, without the periodic
// forcing to the disk (the interval is far away).
#include "realtime/journal.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

void BM_JournalAppend(benchmark::State &state)
{
    QTemporaryDir dir;
    kv::JournalWriter writer(dir.filePath(QStringLiteral("bench.journal")), std::chrono::hours(24));
    kv::JournalHeader header;
    header.start = 46000.5;
    header.periodSeconds = 1;
    header.requestedCount = 99999;
    if (!writer.start(header)) {
        state.SkipWithError("cannot write the journal");
        return;
    }
    kv::LiveReading reading;
    reading.Rh = 45.2f;
    reading.T1 = 23.5f;
    reading.T2 = 24.1f;
    reading.WetBulb = 16.0f;
    reading.DewPoint = 11.0f;
    double t = header.start;
    constexpr std::uint32_t RecordsPerFile = 100000;   // keeps the file small
    for (auto _ : state) {
        if (writer.count() == RecordsPerFile) {
            state.PauseTiming();
            writer.start(header);
            state.ResumeTiming();
        }
        t += 1.0 / 86400.0;
        if (!writer.append(kv::JournalRecord::fromReading(reading, t))) {
            state.SkipWithError("append failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_JournalAppend);
