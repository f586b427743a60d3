// Speed of the audio import: one hour of 44100 Hz mono speech into a 22050 Hz project
// (reading, rate conversion, cutting at silences and writing the project file), beside
// "sox in.wav -r 22050 out.wav" on the same file. Compare the two real times.

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "app/KorvaneView.h"
#include "app/SectionInformation.h"
#include "audio/SilenceSplitter.h"

#include "SoxRun.h"

namespace {

constexpr int kSeconds = 3600;
constexpr int kRate = 44100;

// Speech-like audio: 2.4 s of voiced sound (a few partials under a syllable-rate swell),
// then a pause; every tenth pause is long enough to start a section.
int16_t SpeechSample(long i) {
    const double pi = std::numbers::pi;
    const long period = kRate * 3;  // 2.4 s of sound, 0.6 s of pause
    const long within = i % period;
    const bool longPause = (i / period) % 10 == 9;
    if (within >= kRate * 24 / 10 || (longPause && within >= kRate / 2)) return 0;
    const double t = static_cast<double>(i) / kRate;
    const double v = (0.3 * std::sin(2 * pi * 180 * t) + 0.1 * std::sin(2 * pi * 1270 * t) +
                      0.04 * std::sin(2 * pi * 3400 * t)) *
                     (0.55 + 0.45 * std::sin(2 * pi * 4 * t));
    return static_cast<int16_t>(std::lround(v * 32767));
}

// The hour in a scratch folder, written once for both benchmarks and removed at the end.
class SourceFile {
public:
    SourceFile() {
        char pattern[] = "/tmp/korvane-import-bench-XXXXXX";
        if (!::mkdtemp(pattern)) return;
        m_folder = pattern;
        std::filesystem::create_directory(m_folder + "/prj");
        std::ofstream out(Source(), std::ios::binary);
        auto le = [&](uint32_t v, int n) {
            for (int k = 0; k < n; ++k) out.put(static_cast<char>((v >> (8 * k)) & 0xFF));
        };
        const uint32_t dataSize = static_cast<uint32_t>(kSeconds) * kRate * 2;
        out.write("RIFF", 4);
        le(36 + dataSize, 4);
        out.write("WAVEfmt ", 8);
        le(16, 4);
        le(1, 2);
        le(1, 2);
        le(kRate, 4);
        le(kRate * 2, 4);
        le(2, 2);
        le(16, 2);
        out.write("data", 4);
        le(dataSize, 4);
        std::vector<char> block(kRate * 2);
        for (long second = 0; second < kSeconds; ++second) {
            for (long j = 0; j < kRate; ++j) {
                const uint16_t v = static_cast<uint16_t>(SpeechSample(second * kRate + j));
                block[2 * j] = static_cast<char>(v & 0xFF);
                block[2 * j + 1] = static_cast<char>(v >> 8);
            }
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
        m_ok = static_cast<bool>(out);
    }
    ~SourceFile() {
        std::error_code ec;
        if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ec);
    }
    bool Ok() const { return m_ok; }
    std::string Source() const { return m_folder + "/in.wav"; }
    std::string Project() const { return m_folder + "/prj"; }
    std::string SoxTarget() const { return m_folder + "/sox.wav"; }

private:
    std::string m_folder;
    bool m_ok = false;
};

SourceFile& TheSource() {
    static SourceFile file;
    return file;
}

void BM_ImportOneHour44100Into22050(benchmark::State& state) {
    SourceFile& file = TheSource();
    if (!file.Ok()) {
        state.SkipWithError("no source file");
        return;
    }
    size_t phrases = 0, sections = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto view = std::make_unique<CKorvaneView>();
        view->m_strProjectFolder = CString(file.Project());
        view->SetProjectFormat(1);
        view->m_bProjectOpen = 1;
        view->m_nPhrasePause = 2;
        view->m_nSectionPause = 1;
        view->m_nSilenceDb = -35;
        view->m_nWaveImportCount = 1;
        view->m_lstSection.Add(std::make_unique<CSectionInformation>());
        std::filesystem::remove(file.Project() + "/A000001.wav");
        int index = 0;
        state.ResumeTiming();
        if (view->ImportWaveFile(&index, CString(file.Source()), CString(), "(1/1)") != kImportOk) {
            state.SkipWithError("import failed");
            break;
        }
        state.PauseTiming();
        sections = static_cast<size_t>(view->m_lstSection.GetCount());
        phrases = 0;
        for (const auto& s : view->m_lstSection) phrases += static_cast<size_t>(s->m_lstPhrase.GetCount());
        view.reset();
        state.ResumeTiming();
    }
    state.counters["sections"] = static_cast<double>(sections);
    state.counters["phrases"] = static_cast<double>(phrases);
    state.counters["audio_s_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ImportOneHour44100Into22050)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// The same hour through "sox in.wav -r 22050 out.wav", for the ratio; skipped without sox.
void BM_SoxOneHour44100To22050(benchmark::State& state) {
    SourceFile& file = TheSource();
    if (!file.Ok()) {
        state.SkipWithError("no source file");
        return;
    }
    RunSoxTo22050(state, file.Source(), file.SoxTarget(), kSeconds);
}
BENCHMARK(BM_SoxOneHour44100To22050)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace
