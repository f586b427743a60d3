// Saving and loading a large project: 20000 sections and 200000 phrases.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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
BENCHMARK(BM_SaveLargeProject)->Unit(benchmark::kMillisecond)->Iterations(1);

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
BENCHMARK(BM_LoadLargeProject)->Unit(benchmark::kMillisecond)->Iterations(1);

// The peer of the two benchmarks above: the same files with the same bytes, written and
// read back by a plain loop over standard streams, with nothing else to do.
std::vector<std::pair<std::string, std::string>> SavedFiles(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    CKorvaneView view;
    OpenLargeProject(view, dir);
    view.SaveProject();
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(e.path(), std::ios::binary);
        files.emplace_back(e.path().filename().string(),
                           std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    return files;
}

void BM_PlainLoopWriteSameFiles(benchmark::State& state) {
    auto dir = BenchFolder();
    const auto files = SavedFiles(dir / "project");
    const auto target = dir / "plain";
    std::filesystem::create_directories(target);
    for (auto _ : state) {
        for (const auto& [name, bytes] : files) {
            std::ofstream out(target / name, std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
    }
    state.counters["files"] = static_cast<double>(files.size());
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_PlainLoopWriteSameFiles)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PlainLoopReadSameFiles(benchmark::State& state) {
    auto dir = BenchFolder();
    const auto files = SavedFiles(dir);
    size_t total = 0;
    for (auto _ : state) {
        total = 0;
        for (const auto& f : files) {
            std::ifstream in(dir / f.first, std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            total += bytes.size();
        }
        benchmark::DoNotOptimize(total);
    }
    state.counters["files"] = static_cast<double>(files.size());
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_PlainLoopReadSameFiles)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
