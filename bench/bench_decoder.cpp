// Decoding one live reply, as the poll tick does twice a second.
#include "link/commandframe.h"
#include "live/decoder.h"

#include <benchmark/benchmark.h>

#include <array>

namespace {

// A typical reply: 54.0 %RH, 23.4 C, 80.0 F, display in degrees F with digits
// and symbols lit.
std::array<std::uint8_t, 64> TypicalReply()
{
    std::array<std::uint8_t, 64> r{};
    r[0] = kv::FrameStart;
    r[63] = kv::FrameEnd;
    r[2] = 0x00;
    r[9] = 0x02; r[10] = 0x1C;
    r[11] = 0x00; r[12] = 0xEA;
    r[13] = 0x03; r[14] = 0x20;
    r[41] = 0x07;
    r[42] = 0x00; r[43] = 0x6B; r[44] = 0x2E; r[45] = 0xF7;
    r[46] = 0x02;
    r[47] = 0xFF; r[48] = 0x74; r[49] = 0xBA; r[50] = 0x00;
    r[51] = 0x40;
    r[52] = 0x46;
    r[53] = 0x00; r[54] = 0x7F; r[55] = 0x77; r[56] = 0xF7;
    r[57] = 0x04;
    return r;
}

void BM_DecodeLiveReply(benchmark::State &state)
{
    const auto reply = TypicalReply();
    kv::LiveReading reading;
    for (auto _ : state) {
        benchmark::DoNotOptimize(reply.data());
        kv::DecodeLiveReply(reply.data(), reading);
        benchmark::DoNotOptimize(reading);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DecodeLiveReply);

} // namespace
