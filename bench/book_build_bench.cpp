// Building a book of 10 hours of 22050 Hz audio in 500 sections, beside cp copying
// the same recordings on the same disk: the build should be limited by the copy.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/KorvaneView.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kBytesPerSec = 44100;          // 22050 Hz, 16-bit mono
constexpr int kRecordings = 10;                   // one hour each
constexpr uint32_t kRecordingBytes = 3600u * kBytesPerSec;
constexpr int kSections = 500;                    // 72 s each
constexpr uint32_t kSectionBytes = kRecordingBytes * kRecordings / kSections;
constexpr uint32_t kPhraseBytes = 6u * kBytesPerSec;

std::string Le32(uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

void WriteRecording(const fs::path& path, unsigned seed) {
    std::ofstream out(path, std::ios::binary);
    out << "RIFF" << Le32(36 + kRecordingBytes) << "WAVEfmt " << Le32(16) << std::string("\x01\x00\x01\x00", 4)
        << Le32(22050) << Le32(kBytesPerSec) << std::string("\x02\x00\x10\x00", 4) << "data" << Le32(kRecordingBytes);
    std::vector<char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    for (uint32_t left = kRecordingBytes; left > 0;) {
        const uint32_t n = std::min<uint32_t>(left, static_cast<uint32_t>(block.size()));
        out.write(block.data(), n);
        left -= n;
    }
}

struct Fixture {
    fs::path root = fs::temp_directory_path() / ("korvane-book-bench-" + std::to_string(::getpid()));
    fs::path project = root / "Book";
    CKorvaneView view;
    CRecordList<CSectionInformation> original;

    Fixture() {
        fs::remove_all(root);
        fs::create_directories(project);
        for (int r = 1; r <= kRecordings; ++r)
            WriteRecording(project / CString::Formatted("A%06d.wav", r).str(), static_cast<unsigned>(r));
        view.SetProjectFormat(1);
        view.m_strProjectFolder = CString(project.string());
        view.m_strProjectFile = view.m_strProjectFolder + "/Korvane.ncc";
        view.m_bookInfo.m_strTitle = "Bench";
        view.m_bProjectOpen = 1;
        for (int s = 0; s < kSections; ++s) {
            auto* section = view.m_lstSection.Add(std::make_unique<CSectionInformation>());
            section->m_nLevel = s == 0 ? 0 : 1;
            const int perRecording = kSections / kRecordings;
            const CString file = CString::Formatted("A%06d.wav", s / perRecording + 1);
            uint32_t start = static_cast<uint32_t>(s % perRecording) * kSectionBytes;
            for (uint32_t done = 0; done < kSectionBytes; done += kPhraseBytes) {
                auto* p = section->m_lstPhrase.Add(std::make_unique<CPhraseInformation>());
                p->m_nStart = start + done;
                p->m_nLength = std::min(kPhraseBytes, kSectionBytes - done);
                p->m_strFileName = file;
                p->m_nBytesPerSec = kBytesPerSec;
                section->m_nSectionTime += p->m_nLength;
            }
        }
        view.SaveProject();
        for (const auto& s : view.m_lstSection) original.Add(CKorvaneView::CopySection(*s));
    }
    ~Fixture() {
        SetCurrentFolder("/");
        fs::remove_all(root);
    }
    // Back to the project before the build: the book files go, the recordings come back.
    void Reset() {
        for (const auto& e : fs::directory_iterator(project))
            if (e.is_regular_file()) fs::remove(e.path());
        for (const auto& e : fs::directory_iterator(project / "Backup"))
            if (e.is_regular_file()) fs::rename(e.path(), project / e.path().filename());
        view.m_lstSection.RemoveAll();
        for (const auto& s : original) view.m_lstSection.Add(CKorvaneView::CopySection(*s));
    }
};

Fixture& TheFixture() {
    static Fixture fixture;
    return fixture;
}

void BM_BuildTenHourBook(benchmark::State& state) {
    Fixture& f = TheFixture();
    for (auto _ : state) {
        CUiScript script;
        script.AnswerBox(IDYES).AnswerBox(IDOK);
        f.view.OnDaisyBuild();
        state.PauseTiming();
        if (script.BoxTexts().back() != "完了しました。") state.SkipWithError("the build failed");
        f.Reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kRecordingBytes} * kRecordings);
}

void BM_CpSameRecordings(benchmark::State& state) {
    Fixture& f = TheFixture();
    const fs::path copy = f.root / "copy";
    const std::string command = "cp " + (f.project / "A0000*.wav").string() + " " + copy.string();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(copy);
        fs::create_directories(copy);
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
    }
    fs::remove_all(copy);
    state.SetBytesProcessed(state.iterations() * int64_t{kRecordingBytes} * kRecordings);
}

}  // namespace

BENCHMARK(BM_CpSameRecordings)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_BuildTenHourBook)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
