// Speed of the MP3 import into a PCM project: one hour of 64 kbit/s 44100 Hz mono speech
// MP3 into a 22050 Hz project (decoding, rate conversion, cutting at silences, writing the
// project's file), beside "mpg123 -w" followed by "sox -r 22050" doing the same
// conversion. The ratio (ours / peers) is printed after both have run.

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
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

#include "SpeechHour.h"

namespace {


bool Have(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

// The hour as MP3 (lame makes it, as any outside producer would), written once.
class SourceFile {
public:
    SourceFile() {
        if (!Have("lame")) return;
        char pattern[] = "/tmp/korvane-mp3-import-bench-XXXXXX";
        if (!::mkdtemp(pattern)) return;
        m_folder = pattern;
        std::filesystem::create_directory(m_folder + "/prj");
        const std::string wav = m_folder + "/in.wav";
        m_ok = WriteSpeechHour(wav) &&
               std::system(("lame --silent --cbr -b 64 -m m '" + wav + "' '" + Source() + "'").c_str()) == 0;
        std::filesystem::remove(wav);
    }
    ~SourceFile() {
        std::error_code ec;
        if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ec);
    }
    bool Ok() const { return m_ok; }
    std::string Folder() const { return m_folder; }
    std::string Source() const { return m_folder + "/in.mp3"; }
    std::string Project() const { return m_folder + "/prj"; }

private:
    std::string m_folder;
    bool m_ok = false;
};

SourceFile& TheSource() {
    static SourceFile file;
    return file;
}

double g_oursSeconds = 0;

void BM_ImportOneHourMp3Into22050(benchmark::State& state) {
    SourceFile& file = TheSource();
    if (!file.Ok()) {
        state.SkipWithError("no source file (lame missing?)");
        return;
    }
    size_t phrases = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto view = std::make_unique<CKorvaneView>();
        view->m_strProjectFolder = CString(file.Project());
        view->m_strExeFolder = CString(KORVANE_SOURCE_DIR "/build/");  // the priming streams
        view->SetProjectFormat(1);
        view->m_bProjectOpen = 1;
        view->m_nPhrasePause = 2;
        view->m_nSectionPause = 1;
        view->m_nSilenceDb = -35;
        view->m_nWaveImportCount = 1;
        view->m_lstSection.Add(std::make_unique<CSectionInformation>());
        std::filesystem::remove(file.Project() + "/A000001.wav");
        int index = 0;
        const auto start = std::chrono::steady_clock::now();
        state.ResumeTiming();
        if (view->ImportMp3IntoPcmProject(&index, CString(file.Source()), "(1/1)") != kImportOk) {
            state.SkipWithError("import failed");
            break;
        }
        state.PauseTiming();
        g_oursSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        phrases = 0;
        for (const auto& s : view->m_lstSection) phrases += static_cast<size_t>(s->m_lstPhrase.GetCount());
        view.reset();
        std::filesystem::remove(file.Project() + "/Mp3DecodeTemp.wav");
        state.ResumeTiming();
    }
    state.counters["phrases"] = static_cast<double>(phrases);
    state.counters["audio_s_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kSpeechSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ImportOneHourMp3Into22050)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// mpg123 decodes the hour to WAV, sox brings it to 22050 Hz; then the ratio is printed.
void BM_Mpg123AndSoxOneHourTo22050(benchmark::State& state) {
    SourceFile& file = TheSource();
    if (!file.Ok() || !Have("mpg123") || !Have("sox")) {
        state.SkipWithError("no source file, mpg123 or sox");
        return;
    }
    const std::string decoded = file.Folder() + "/mpg123.wav", target = file.Folder() + "/sox.wav";
    const std::string command = "mpg123 -q -w '" + decoded + "' '" + file.Source() + "' && sox -R '" + decoded +
                                "' -r 22050 '" + target + "'";
    double peerSeconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("mpg123 or sox failed");
            break;
        }
        peerSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["audio_s_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kSpeechSeconds, benchmark::Counter::kIsRate);
    if (g_oursSeconds > 0 && peerSeconds > 0) {
        state.counters["ours_over_peers"] = g_oursSeconds / peerSeconds;
        std::printf("MP3 import of one hour: ours %.2f s, mpg123 + sox %.2f s, ratio %.2f\n", g_oursSeconds, peerSeconds,
                    g_oursSeconds / peerSeconds);
    }
}
BENCHMARK(BM_Mpg123AndSoxOneHourTo22050)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace
