#pragma once
// The peer half of the conversion benchmarks: sox converting the same file to 22050 Hz,
// timed in the same run so that the ratio means something on a shared machine.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

inline void RunSoxTo22050(benchmark::State& state, const std::string& source, const std::string& target,
                          double audioSeconds) {
    if (std::system("command -v sox >/dev/null 2>&1") != 0) {
        state.SkipWithError("sox is not installed");
        return;
    }
    const std::string command = "sox -R '" + source + "' -r 22050 '" + target + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("sox failed");
            break;
        }
    }
    state.counters["audio_s_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * audioSeconds, benchmark::Counter::kIsRate);
}
