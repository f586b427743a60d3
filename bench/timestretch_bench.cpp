// The time stretch runs on the user-interface thread for every 100 ms buffer that
// comes back from the device, so one call must take a small fraction of 100 ms.
// Reports the time per call and how many times faster than real time that is.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "audio/TimeStretch.h"

namespace {

constexpr double kRatio[9] = {0, 1.3333333333333, 1.0, 0.8, 0.66666666666667, 0.57142857142857,
                              0.49977324263038, 0.4, 0.33333333333333};

void BM_TimeStretchBuffer(benchmark::State& state) {
    const auto rate = static_cast<uint32_t>(state.range(0));
    const int index = static_cast<int>(state.range(1));
    CTimeStretch ts;
    ts.SetSampleRate(rate);
    ts.SetSpeedIndex(index);
    ts.SetRatio(kRatio[index]);

    // Ten seconds of a voice-like mixture, fed round and round in 100 ms buffers.
    const uint32_t n = rate / 10;
    std::vector<float> input(static_cast<size_t>(n) * 100);
    for (size_t i = 0; i < input.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        input[i] = static_cast<float>(8000 * std::sin(2 * M_PI * 180 * t) * (1 + std::sin(2 * M_PI * 3 * t)) +
                                      3000 * std::sin(2 * M_PI * 1230 * t));
    }
    std::vector<float> out(CTimeStretch::kBufferSamples);
    size_t call = 0;
    for (auto _ : state) {
        uint32_t m = 0;
        ts.Process(input.data() + (call++ % 100) * n, out.data(), n, &m);
        benchmark::DoNotOptimize(out.data());
    }
    // Each call covers 100 ms of input.
    state.counters["x_realtime"] = benchmark::Counter(0.1 * static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}

BENCHMARK(BM_TimeStretchBuffer)
    ->ArgsProduct({{16000, 22050, 44100}, {1, 4, 6, 8}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
