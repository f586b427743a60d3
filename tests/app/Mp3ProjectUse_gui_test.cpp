// An MP3 project as a user goes through it, on a real main window: a new project of each
// MP3 format, a spoken WAV file and a spoken MP3 file imported and cut at their silences,
// a phrase played faster on the virtual sound card, the book built with F6; the book
// passes the schemas and ffmpeg decodes every section file strictly.

#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <sys/wait.h>

#include <wx/stattext.h>

#include "EditorWindowFixture.h"
#include "app/ControlIds.h"
#include "audio/Mp3Part.h"
#include "platform/CodePage.h"
#include "platform/Riff.h"
#include "platform/WaveOutDispatcher.h"
#include "platform/WaveOutVirtual.h"

namespace {

int Shell(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    const int status = ::pclose(pipe);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Mp3ProjectUse : public EditorWindow {
protected:
    void SetUp() override {
        if (Shell("command -v espeak-ng && command -v sox && command -v lame && command -v ffmpeg") != 0)
            GTEST_SKIP() << "espeak-ng, sox, lame and ffmpeg are needed";
        SetWaveOutBackend(&card);
        SetWaveOutDispatcher(&reports);
        EditorWindow::SetUp();
    }
    void TearDown() override {
        if (!root.empty()) EditorWindow::TearDown();
        SetWaveOutDispatcher(nullptr);
        SetWaveOutBackend(nullptr);
    }
    // Two spoken sentences with a second of silence between them, as 22050 Hz WAV.
    std::string Speech(const std::string& name, const std::string& first, const std::string& second) {
        const std::string a = (root / (name + "-a.wav")).string(), b = (root / (name + "-b.wav")).string();
        const std::string gap = (root / (name + "-gap.wav")).string(), out = (root / (name + ".wav")).string();
        EXPECT_EQ(Shell("espeak-ng -w '" + a + "' '" + first + "'"), 0);
        EXPECT_EQ(Shell("espeak-ng -w '" + b + "' '" + second + "'"), 0);
        EXPECT_EQ(Shell("sox -R -n -r 22050 -c 1 -b 16 '" + gap + "' trim 0 1.2"), 0);
        EXPECT_EQ(Shell("sox -R '" + a + "' '" + gap + "' '" + b + "' -r 22050 -c 1 -b 16 '" + out + "'"), 0);
        return out;
    }

    // Selects phrase `p` of section `s`; a selection made by the user starts its play.
    void Select(int s, int p, bool play) {
        view->m_bSuppressPlay = 1;
        view->RefreshSectionList(s);
        view->m_bSuppressPlay = play ? 0 : 1;
        view->RefreshPhraseList(p);
        view->m_bSuppressPlay = 0;
        Focus(view->m_listPhrase);
    }
    // The first recording cut short on the disk, as a failing disk or copy leaves it: its
    // first 6,000 bytes (1.49 s). Shift+H on a phrase past the cut names file and phrase
    // and shows no dialog; the player plays what the file holds and ends there. The
    // recording is then put back whole.
    void CutRecording(const fs::path& folder) {
        const fs::path recording = folder / "A000001.mp3";
        const std::string whole = ReadFile(recording);
        WriteFile(recording, whole.substr(0, 6000));
        uint64_t held = 0;
        uint32_t frame = 0;
        {
            int error = 0;
            std::unique_ptr<CRiffFile> file = CRiffFile::Open(CString(recording.string()), RiffOpenMode::Read, error);
            ASSERT_TRUE(file && MeasureMp3Frames(*file, held, frame));
        }
        // A phrase that runs past the cut, and one wholly behind it.
        int s = -1, across = -1, past = -1;
        for (int i = 0; i < view->m_lstSection.GetCount() && s < 0; ++i) {
            const auto& phrases = view->m_lstSection.GetAt(i)->m_lstPhrase;
            for (int j = 0; j < phrases.GetCount(); ++j) {
                const CPhraseInformation* ph = phrases.GetAt(j);
                if (ph->m_strFileName != "A000001.mp3") continue;
                s = i;
                if (ph->m_nStart < held && ph->m_nStart + ph->m_nLength > held + frame && across < 0) across = j;
                if (ph->m_nStart >= held && past < 0) past = j;
            }
        }
        ASSERT_GE(across, 0);
        ASSERT_GT(past, across);
        const std::string named = "セクション" + std::to_string(s + 1) + "の音声ファイルA000001.mp3が途中で切れています。（フレーズ";
        for (int p : {across, past}) {
            SCOPED_TRACE(p);
            Select(s, p, false);
            CUiScript script;  // a split dialog would be a fault of the script
            script.AnswerBox(IDOK);
            Press('H', false, true);
            EXPECT_EQ(script.BoxTexts(), std::vector<CString>{CString(named + std::to_string(p + 1) + "）")});
            EXPECT_EQ(script.Records().size(), 1u);
            EXPECT_FALSE(fs::exists(folder / "PhraseTemp.wav"));
        }
        // Played by a click at x1.00: what the file holds from the phrase's start, then the end.
        ASSERT_EQ(FromWx(view->m_staticSpeed->GetLabel()), "x1.00");
        for (int p : {across, past}) {
            SCOPED_TRACE(p);
            card.ClearPlayed();
            CUiScript quiet;  // no box
            Select(s, p, true);
            for (int i = 0; i < 1000 && card.QueuedCount() > 0; ++i) {
                card.Complete(1);
                reports.Pump();
                RunQueuedEvents();
            }
            const uint32_t start = view->m_lstSection.GetAt(s)->m_lstPhrase.GetAt(p)->m_nStart;
            EXPECT_EQ(card.Played().size(), held - std::min<uint64_t>(start, held));
            EXPECT_EQ(view->GetActiveDeviceState(), kAudioNoDevice);
        }
        // Not an MP3 at all: the split names the file it could not read.
        std::mt19937 random(34);
        std::string noise(whole.size(), '\0');
        for (char& c : noise) c = static_cast<char>(random() & 0xFF);
        WriteFile(recording, noise);
        {
            Select(s, across, false);
            CUiScript script;
            script.AnswerBox(IDOK);
            Press('H', false, true);
            EXPECT_EQ(script.BoxTexts(), std::vector<CString>{"MP3DecoderInfoオブジェクトの初期化に失敗しました。\n" +
                                                              view->m_strProjectFolder + "/A000001.mp3"});
        }
        WriteFile(recording, whole);
    }
    static std::string ReadFile(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void WriteFile(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }

    CVirtualWaveOut card;
    CManualWaveOutDispatcher reports;
};

TEST_F(Mp3ProjectUse, NewProjectImportPlayAndBuildInEachMp3Format) {
    const std::string wav = Speech("speech", "The first chapter begins here.", "It ends with this sentence.");
    const std::string spoken = Speech("other", "A second recording follows.", "And then it stops.");
    const std::string mp3 = (root / "other.mp3").string();
    ASSERT_EQ(Shell("lame --silent --cbr -b 32 -m m '" + spoken + "' '" + mp3 + "'"), 0);

    for (int format : {3, 4}) {
        SCOPED_TRACE(format);
        const fs::path folder = root / ("book" + std::to_string(format));
        NewProject(format, folder);
        ASSERT_EQ(view->m_nAudioKind, 2);
        view->m_strExeFolder = CString(std::string(KORVANE_BUILD_DIR) + "/");  // the priming streams
        {
            CUiScript script;
            script.AnswerBox(IDOK);
            EXPECT_EQ(view->ImportAudioFiles({CString(wav), CString(mp3)}), 0);
        }
        // Each recording is cut at its silence into two phrases at least.
        int phrases = 0;
        for (const auto& section : view->m_lstSection) phrases += section->m_lstPhrase.GetCount();
        EXPECT_GE(phrases, 4);
        for (const char* temp : {"Mp3DecodeTemp.wav", "ReSamplingTemp.wav", "Mp3EecodeTemp.mp3"})
            EXPECT_FALSE(fs::exists(folder / temp)) << temp;

        // A phrase played a step faster on the virtual card.
        view->m_bSuppressPlay = 1;
        view->RefreshSectionList(view->m_lstSection.GetCount() - 1);
        view->m_bSuppressPlay = 0;
        Focus(view->m_listPhrase);
        Press(WXK_F10);
        EXPECT_EQ(FromWx(view->m_staticSpeed->GetLabel()), "x1.25");
        card.ClearPlayed();
        Press(WXK_SPACE);
        EXPECT_EQ(view->GetActiveDeviceState(), kAudioDeviceOpen);
        card.Complete(3);
        reports.Pump();
        EXPECT_GT(card.Played().size(), 0u);
        Press(WXK_SPACE);
        Press(WXK_F9);
        if (format == 3) CutRecording(folder);

        // F6 builds the book.
        view->m_bookInfo.m_strTitle = "話す本";
        CUiScript build;
        build.AnswerBox(IDYES).AnswerBox(IDOK);
        Press(WXK_F6);
        ASSERT_FALSE(build.BoxTexts().empty());
        EXPECT_EQ(build.BoxTexts().back(), "完了しました。");
        std::string report;
        EXPECT_EQ(Shell(std::string(KORVANE_SHARED_DIR) + "/daisy202/validate '" + folder.string() + "'", &report), 0)
            << report;
        for (int s = 1; s <= view->m_lstSection.GetCount(); ++s) {
            char name[32];
            std::snprintf(name, sizeof name, "A%06d.mp3", s);
            std::string errors;
            EXPECT_EQ(Shell("ffmpeg -v error -xerror -i '" + (folder / name).string() + "' -f null -", &errors), 0) << name;
            EXPECT_EQ(errors, "") << name;
        }
    }
}

}  // namespace
