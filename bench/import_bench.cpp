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
#include <string>
#include <vector>

#include "app/KorvaneView.h"
#include "app/SectionInformation.h"
#include "audio/SilenceSplitter.h"

#include "SoxRun.h"

#include "SpeechHour.h"

namespace {


// The hour in a scratch folder, written once for both benchmarks and removed at the end.
class SourceFile {
public:
    SourceFile() {
        char pattern[] = "/tmp/korvane-import-bench-XXXXXX";
        if (!::mkdtemp(pattern)) return;
        m_folder = pattern;
        std::filesystem::create_directory(m_folder + "/prj");
        m_ok = WriteSpeechHour(Source());
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
        benchmark::Counter(static_cast<double>(state.iterations()) * kSpeechSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ImportOneHour44100Into22050)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// The same hour through "sox in.wav -r 22050 out.wav", for the ratio; skipped without sox.
void BM_SoxOneHour44100To22050(benchmark::State& state) {
    SourceFile& file = TheSource();
    if (!file.Ok()) {
        state.SkipWithError("no source file");
        return;
    }
    RunSoxTo22050(state, file.Source(), file.SoxTarget(), kSpeechSeconds);
}
BENCHMARK(BM_SoxOneHour44100To22050)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace
