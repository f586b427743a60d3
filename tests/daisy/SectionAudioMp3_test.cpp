// Section audio of MP3 projects: clips decoded out of their MP3 files and joined. Every
// clip gives exactly what decoding the whole file gives there; a clip past the end of its
// recording is refused; every failure names what failed.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "DaisyTestSupport.h"
#include "Id3Tag.h"
#include "audio/Mp3Decode.h"
#include "audio/Mp3Encode.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

using namespace daisytest;
namespace fs = std::filesystem;

namespace {

class QuietHost : public CWaveTaskHost {
public:
    void ShowError(const CString& text) override { ADD_FAILURE() << text.str(); }
    bool AskYesNo(const CString&) override { return false; }
    void BeginProgress(const CString&, const CString&, int) override {}
    void SetProgress(int) override {}
    bool CheckCancel() override { return false; }
    void EndProgress() override {}
};

class SectionAudioMp3 : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(folder.Path("Backup"));
        SetUpProject(view, folder.Root());
        view.SetProjectFormat(3);  // 32 kbit/s, 22050 Hz
        view.m_strExeFolder = CString(std::string(KORVANE_BUILD_DIR) + "/");
        // Three seconds of a gliding tone, encoded by our encoder, and what our decoder
        // makes of the whole file.
        std::string pcm;
        for (int i = 0; i < 3 * 22050; ++i) {
            const int16_t v = static_cast<int16_t>(8000 * std::sin(2 * M_PI * (200 + i / 100.0) * i / 22050.0));
            pcm.push_back(static_cast<char>(v & 0xFF));
            pcm.push_back(static_cast<char>((v >> 8) & 0xFF));
        }
        WriteWav(folder.Path("tone.wav"), 22050, pcm);
        QuietHost host;
        ASSERT_EQ(EncodeWaveToMp3(host, CString(folder.Path("tone.wav")), CString(folder.Path("Backup/A000001.mp3")),
                                  32000, 1, "c", "t"),
                  0);
        ASSERT_EQ(DecodeMp3FileToWave(host, CString(folder.Path("Backup/A000001.mp3")), CString(folder.Path("whole.wav")),
                                      "c", "t", 22050, view.m_strExeFolder),
                  0);
        whole = WavData(folder.Path("whole.wav"));
    }
    void TearDown() override { SetCurrentFolder("/"); }

    ScratchFolder folder;
    CFakeListView sections{IDC_LIST_SECTION}, phrases{IDC_LIST_PHRASE};
    CKorvaneView view;
    std::string whole;
};

TEST_F(SectionAudioMp3, FollowingClipsJoinToTheDecodedFileToItsLastSample) {
    // Clips of 1.0 s, 0.5 s and 1.2 s one after the other from the start, and the rest.
    const uint32_t total = static_cast<uint32_t>(whole.size());
    CSectionInformation* s = AddClipSection(view, 1, "一", "A000001.mp3", {44100, 22050, 52920});
    CPhraseInformation* tail = s->m_lstPhrase.Add(std::make_unique<CPhraseInformation>());
    tail->m_strFileName = "A000001.mp3";
    tail->m_nStart = 44100 + 22050 + 52920;
    tail->m_nLength = total - tail->m_nStart;
    for (const auto& p : s->m_lstPhrase) p->m_nBytesPerSec = 44100;

    CUiScript script;
    ASSERT_EQ(view.BuildSectionMp3(1, CString(folder.Root()), "joined.wav", s, false), 0);
    EXPECT_EQ(script.BoxTexts(), std::vector<CString>{});
    EXPECT_TRUE(WavData(folder.Path("joined.wav")) == whole);
    // The phrases point into the joined file.
    EXPECT_EQ(s->m_lstPhrase.GetAt(2)->m_nStart, 66150u);
    EXPECT_EQ(s->m_lstPhrase.GetAt(3)->m_strFileName, "joined.wav");
    EXPECT_EQ(s->m_nSectionTime, total);
}

// A recording cut short on the disk is refused, naming section, file and phrase; a clip
// that ends less than a frame after its audio is only rounding and is filled.
TEST_F(SectionAudioMp3, AClipPastTheEndOfItsRecordingIsRefusedUnlessWithinAFrame) {
    const uint32_t total = static_cast<uint32_t>(whole.size());
    const struct {
        uint32_t past;
        int result;
    } rows[] = {{44100, 10}, {1200, 10}, {1000, 0}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.past);
        CSectionInformation* s = AddClipSection(view, 1, "一", "A000001.mp3", {44100, total - 44100 + r.past});
        CUiScript script;
        if (r.result != 0) script.AnswerBox(IDOK);
        EXPECT_EQ(r.result, view.BuildSectionMp3(1, CString(folder.Root()), "A000001.mp3", s, true));
        EXPECT_FALSE(fs::exists(folder.Path("TempSection.wav")));
        if (r.result == 0) {
            EXPECT_EQ(script.BoxTexts(), std::vector<CString>{});
            EXPECT_TRUE(fs::exists(folder.Path("A000001.mp3")));
            fs::remove(folder.Path("A000001.mp3"));
        } else {
            EXPECT_EQ(script.BoxTexts(),
                      std::vector<CString>{"セクション1の音声ファイルA000001.mp3が途中で切れています。（フレーズ2）"});
            EXPECT_FALSE(fs::exists(folder.Path("A000001.mp3")));
        }
    }
}

// F6 on an MP3 project whose recording was cut short on the disk: the build is refused
// with section, file and phrase named, and the project's files are put back.
TEST_F(SectionAudioMp3, F6OnACutRecordingRollsTheBuildBack) {
    view.AttachLists(&sections, &phrases);
    view.m_bookInfo.m_strTitle = "題";
    // Backup holds the recording whole, as an earlier build left it: the refused build keeps it.
    const std::string audio = ReadBytes(folder.Path("Backup/A000001.mp3"));
    const std::string cut = audio.substr(0, 2 * audio.size() / 3);
    WriteBytes(folder.Path("A000001.mp3"), cut);
    const uint32_t half = static_cast<uint32_t>(whole.size() / 4 * 2);
    CSectionInformation* s = AddClipSection(view, 0, "一", "A000001.mp3", {half, half});
    for (const auto& p : s->m_lstPhrase) p->m_nBytesPerSec = 44100;
    ASSERT_EQ(view.SaveProject(), 0);
    const auto before = FolderFiles(folder.Root());
    CUiScript script;
    script.AnswerBox(IDYES).AnswerBox(IDOK);
    view.OnDaisyBuild();
    EXPECT_EQ(script.BoxTexts(), (std::vector<CString>{"Daisy図書を生成しますか？",
                                                       "セクション1の音声ファイルA000001.mp3が途中で切れています。（フレーズ2）"}));
    EXPECT_TRUE(ReadBytes(folder.Path("A000001.mp3")) == cut);
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Root()), before), "");
    ASSERT_EQ(view.m_lstSection.GetCount(), 1);
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_lstPhrase.GetAt(1)->m_nStart, half);
}

TEST_F(SectionAudioMp3, AClipThatStartsLaterGivesTheWholeFilesSamples) {
    // A clip 1.5 s in, alone, found afresh inside the file; also behind a tag of 40 KB.
    const std::string audio = ReadBytes(folder.Path("Backup/A000001.mp3"));
    WriteBytes(folder.Path("Backup/A000002.mp3"), Id3v2Tag(40 * 1024, audio.substr(0, 3000)) + audio);
    for (const char* file : {"A000001.mp3", "A000002.mp3"}) {
        SCOPED_TRACE(file);
        CSectionInformation* s = AddClipSection(view, 1, "一", file, {22050}, 66150);
        s->m_lstPhrase.GetAt(0)->m_nBytesPerSec = 44100;
        ASSERT_EQ(view.BuildSectionMp3(1, CString(folder.Root()), "later.wav", s, false), 0);
        EXPECT_TRUE(WavData(folder.Path("later.wav")) == whole.substr(66150, 22050));
    }
}

TEST_F(SectionAudioMp3, FailuresAreNamedAndLeaveNoTemporaryFile) {
    WriteBytes(folder.Path("Backup/damaged.mp3"), std::string(20000, 'x'));
    // A project folder where the joined file cannot be made: its name is taken by a folder.
    fs::create_directories(folder.Path("ro/Backup"));
    fs::create_directories(folder.Path("ro/TempSection.wav"));
    fs::copy_file(folder.Path("Backup/A000001.mp3"), folder.Path("ro/Backup/A000001.mp3"));
    const struct {
        const char* what;
        const char* file;
        std::string outFolder;
        const char* message;
    } rows[] = {
        {"missing source", "none.mp3", folder.Root(), "MP3ファイルが開けませんでした。\n"},
        {"damaged stream", "damaged.mp3", folder.Root(), "MP3DecoderInfoオブジェクトの初期化に失敗しました。"},
        {"unwritable target", "A000001.mp3", folder.Path("ro"), "Waveファイルが開けません。\n"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        CSectionInformation* s = AddClipSection(view, 1, "一", r.file, {4410});
        CUiScript script;
        script.AnswerBox(IDOK);
        EXPECT_EQ(view.BuildSectionMp3(1, CString(r.outFolder), "A000001.mp3", s, true), 1);
        ASSERT_EQ(script.BoxTexts().size(), 1u);
        EXPECT_EQ(script.BoxTexts()[0].Left(static_cast<int>(std::strlen(r.message))), r.message);
        EXPECT_FALSE(fs::is_regular_file(r.outFolder + "/TempSection.wav"));
        EXPECT_FALSE(fs::exists(r.outFolder + "/A000001.mp3"));
    }
}

}  // namespace
