// Speed of the rate conversion: one second of audio through the resampler, and a
// whole file through the WAV conversion, for the conversions the editor makes.

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "SilentHost.h"
#include "audio/Resampler.h"
#include "audio/WaveConvert.h"
#include "audio/WaveRateConverter.h"
#include "audio/WaveTaskHost.h"

#include "SoxRun.h"

namespace {

std::vector<double> Speech(long count, int rate) {
    // A few partials with a slow swell: enough structure that nothing is trivially zero.
    std::vector<double> out(count);
    const double pi = std::numbers::pi;
    for (long i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate;
        out[i] = 0.3 * std::sin(2 * pi * 220 * t) * (0.6 + 0.4 * std::sin(2 * pi * 3 * t)) +
                 0.1 * std::sin(2 * pi * 1870 * t) + 0.05 * std::sin(2 * pi * 5300 * t);
    }
    return out;
}

void BM_ResampleOneSecond(benchmark::State& state) {
    const int inRate = static_cast<int>(state.range(0));
    const int outRate = static_cast<int>(state.range(1));
    const std::vector<double> in = Speech(inRate, inRate);
    std::vector<double> out(outRate);
    CResampler resampler;
    for (auto _ : state) {
        resampler.Resample(out.data(), outRate, outRate, in.data(), inRate, inRate, CWaveRateConverter::kWindowType,
                           CWaveRateConverter::kTaps);
        benchmark::DoNotOptimize(out.data());
    }
    // Rate as seconds of audio converted per second.
    state.counters["audio_s_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ResampleOneSecond)
    ->Args({44100, 22050})
    ->Args({44100, 16000})
    ->Args({22050, 16000})
    ->Args({22050, 44100})
    ->Args({16000, 44100})
    ->Unit(benchmark::kMillisecond);

constexpr int kFileSeconds = 60;
constexpr int kFileRate = 44100;

// A minute of 44100 Hz mono in a scratch folder, removed with the object.
class SourceFile {
public:
    SourceFile() {
        char pattern[] = "/tmp/korvane-bench-XXXXXX";
        if (!::mkdtemp(pattern)) return;
        m_folder = pattern;
        Write(m_folder + "/in.wav");
    }
    ~SourceFile() {
        std::error_code ec;
        if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ec);
    }
    bool Ok() const { return !m_folder.empty(); }
    std::string Source() const { return m_folder + "/in.wav"; }
    std::string Target() const { return m_folder + "/out.wav"; }

private:
    static void Write(const std::string& source) {
        constexpr int kSeconds = kFileSeconds, kRate = kFileRate;
        const std::vector<double> audio = Speech(static_cast<long>(kSeconds) * kRate, kRate);
        std::string bytes;
        auto le = [&](uint32_t v, int n) {
            for (int i = 0; i < n; ++i) bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
        };
        const uint32_t dataSize = static_cast<uint32_t>(audio.size() * 2);
        bytes += "RIFF";
        le(36 + dataSize, 4);
        bytes += "WAVEfmt ";
        le(16, 4);
        le(1, 2);
        le(1, 2);
        le(kRate, 4);
        le(kRate * 2, 4);
        le(2, 2);
        le(16, 2);
        bytes += "data";
        le(dataSize, 4);
        for (double v : audio) le(static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767))), 2);
        std::ofstream(source, std::ios::binary) << bytes;
    }

    std::string m_folder;
};

// The minute converted to 22050 Hz, file to file.
void BM_ConvertWaveFile(benchmark::State& state) {
    SourceFile file;
    if (!file.Ok()) {
        state.SkipWithError("no scratch folder");
        return;
    }
    SilentHost host;
    for (auto _ : state) {
        if (ConvertWaveFormat(host, CString(file.Source()), CString(file.Target()), 22050, "", "") != 0) {
            state.SkipWithError("conversion failed");
            break;
        }
    }
    state.counters["audio_s_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kFileSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ConvertWaveFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same file through "sox in.wav -r 22050 out.wav", for the ratio; skipped without sox.
void BM_SoxConvertWaveFile(benchmark::State& state) {
    SourceFile file;
    if (!file.Ok()) {
        state.SkipWithError("no scratch folder");
        return;
    }
    RunSoxTo22050(state, file.Source(), file.Target(), kFileSeconds);
}
BENCHMARK(BM_SoxConvertWaveFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
