// Saving and loading a large project: 20000 sections and 200000 phrases.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <memory>

#include "app/AppProfile.h"
#include "app/KorvaneView.h"

namespace {

std::filesystem::path BenchFolder() {
    auto dir = std::filesystem::temp_directory_path() / ("korvane-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

void FillBook(CKorvaneView& view) {
    view.m_lstSection.RemoveAll();
    for (int s = 0; s < 20000; ++s) {
        auto* section = view.m_lstSection.Add(std::make_unique<CSectionInformation>());
        section->m_strHeading = CString::Formatted("第%d章　見出し", s + 1);
        section->m_nLevel = s % 3;
        for (int p = 0; p < 10; ++p) {
            auto* phrase = section->m_lstPhrase.Add(std::make_unique<CPhraseInformation>());
            phrase->m_nStart = static_cast<uint32_t>(p) * 88200u;
            phrase->m_nLength = 80000;
            phrase->m_nPause = 8200;
            phrase->m_strFileName = CString::Formatted("A%06d.wav", s + 1);
            phrase->m_nPageKind = p == 0 ? 1 : 0;
            phrase->m_nBytesPerSec = 88200;
        }
    }
}

// A 44.1 kHz project in `dir` holding the large book.
void OpenLargeProject(CKorvaneView& view, const std::filesystem::path& dir) {
    view.m_strProjectFolder = CString(dir.string());
    view.m_strProjectFile = view.m_strProjectFolder + "/Korvane.ncc";
    view.SetProjectFormat(2);
    FillBook(view);
}

void BM_SaveLargeProject(benchmark::State& state) {
    auto dir = BenchFolder();
    CKorvaneView view;
    OpenLargeProject(view, dir);
    for (auto _ : state) benchmark::DoNotOptimize(view.SaveProject());
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SaveLargeProject)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LoadLargeProject(benchmark::State& state) {
    auto dir = BenchFolder();
    CKorvaneView view;
    OpenLargeProject(view, dir);
    view.SaveProject();
    for (auto _ : state) {
        view.m_lstSection.RemoveAll();
        TheAppProfile().SetProfileFile(view.m_strProjectFile);
        view.LoadProject();
        benchmark::DoNotOptimize(view.m_lstSection.GetCount());
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LoadLargeProject)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
