// Joining a section's clips into one audio file, for the build and the export.

#include <gtest/gtest.h>

#include <filesystem>

#include "DaisyTestSupport.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"

using namespace daisytest;
namespace fs = std::filesystem;

namespace {

class SectionAudio : public ::testing::Test {
protected:
    void SetUp() override {
        SetUpProject(view, folder.Root());
        fs::create_directories(folder.Path("Backup"));
        source = Pattern(20000, 1);
        WriteWav(folder.Path("Backup/A000001.wav"), 22050, source);
    }
    int Build(CSectionInformation* s, const char* name = "A000001.wav") {
        return view.BuildSectionWav(1, view.m_strProjectFolder, name, s);
    }

    ScratchFolder folder;
    CKorvaneView view;
    std::string source;
};

TEST_F(SectionAudio, ClipsAreJoinedBackToBackAndPhrasesPointIntoTheJoin) {
    CSectionInformation* s = AddClipSection(view, 0, "a", "A000001.wav", {1000, 2000, 3000});
    s->m_lstPhrase.GetAt(0)->m_nStart = 500;
    s->m_lstPhrase.GetAt(1)->m_nStart = 4000;
    s->m_lstPhrase.GetAt(2)->m_nStart = 10000;
    s->m_nSectionTime = 1;  // stale: the build sets it from the joined file
    ASSERT_EQ(Build(s, "A000007.wav"), 0);

    uint32_t rate = 0;
    EXPECT_EQ(WavData(folder.Path("A000007.wav"), &rate), source.substr(500, 1000) + source.substr(4000, 2000) +
                                                                 source.substr(10000, 3000));
    EXPECT_EQ(rate, 22050u);
    const uint32_t starts[] = {0, 1000, 3000};
    for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(s->m_lstPhrase.GetAt(j)->m_nStart, starts[j]);
        EXPECT_EQ(s->m_lstPhrase.GetAt(j)->m_strFileName, "A000007.wav");
    }
    EXPECT_EQ(s->m_nSectionTime, 6000u);
}

TEST_F(SectionAudio, ClipPastTheDataIsFilledWithSilence) {
    // A chunk after the data is not audio and must not be copied.
    std::string bytes = ReadBytes(folder.Path("Backup/A000001.wav"));
    bytes += std::string("LIST\x04\0\0\0INFO", 12);
    const uint32_t riff = static_cast<uint32_t>(bytes.size() - 8);
    bytes.replace(4, 4, std::string{static_cast<char>(riff), static_cast<char>(riff >> 8), static_cast<char>(riff >> 16), 0});
    WriteBytes(folder.Path("Backup/A000001.wav"), bytes);

    CSectionInformation* s = AddClipSection(view, 0, "a", "A000001.wav", {3000, 500});
    s->m_lstPhrase.GetAt(0)->m_nStart = 18000;
    s->m_lstPhrase.GetAt(1)->m_nStart = 0;
    ASSERT_EQ(Build(s), 0);
    // The second phrase starts at the recorded length, and its audio is there.
    EXPECT_EQ(WavData(folder.Path("A000001.wav")), source.substr(18000) + std::string(1000, '\0') + source.substr(0, 500));
    EXPECT_EQ(s->m_lstPhrase.GetAt(1)->m_nStart, 3000u);
}

TEST_F(SectionAudio, EveryFailureIsAMessageAndAResult) {
    CSectionInformation* s = AddClipSection(view, 0, "a", "A000001.wav", {1000, 1000});
    struct Case {
        const char* what;
        EBookFileStep step;
        int occurrence;
        int result;
        const char* message;
    };
    const Case cases[] = {
        {"short write", EBookFileStep::SectionWrite, 1, 5, "Waveファイル書込み時にエラーが発生しました。"},
        {"short write, second clip", EBookFileStep::SectionWrite, 2, 5, "Waveファイル書込み時にエラーが発生しました。"},
        {"failed close", EBookFileStep::SectionClose, 1, 5, "Waveファイル書込み時にエラーが発生しました。"},
    };
    for (const Case& c : cases) {
        ScopedFault fault(c.step, c.occurrence);
        CUiScript script;
        script.AnswerBox(IDOK);
        EXPECT_EQ(Build(s), c.result) << c.what;
        ASSERT_EQ(script.BoxTexts().size(), 1u) << c.what;
        EXPECT_EQ(script.BoxTexts()[0], c.message) << c.what;
        EXPECT_EQ(script.Records()[0].caption, "エラー");
        EXPECT_EQ(script.Records()[0].style, MB_OK | MB_ICONSTOP);
    }

    struct Plain {
        const char* folder;
        const char* name;
        const char* file;
        int result;
        const char* message;
    };
    const std::string missingFolder = folder.Path("missing");
    const Plain plain[] = {
        {"", "A000001.wav", "A000001.wav", 11, "保存先パスが設定されていません。"},
        {nullptr, "", "A000001.wav", 11, "ファイル名が設定されていません。"},
        {missingFolder.c_str(), "A000001.wav", "A000001.wav", 5, "ファイルが開けません。"},
        {nullptr, "A000001.wav", "A000009.wav", 8, "Waveヘッダ情報の取得に失敗しました。"},
    };
    for (const Plain& c : plain) {
        for (const auto& p : s->m_lstPhrase) p->m_strFileName = c.file;
        CUiScript script;
        script.AnswerBox(IDOK);
        EXPECT_EQ(view.BuildSectionWav(1, c.folder ? CString(c.folder) : view.m_strProjectFolder, c.name, s), c.result)
            << c.message;
        ASSERT_EQ(script.BoxTexts().size(), 1u);
        EXPECT_EQ(script.BoxTexts()[0], c.message);
    }
}

TEST_F(SectionAudio, Mp3ProjectsAreRefusedWithAMessage) {
    CSectionInformation* s = AddClipSection(view, 0, "a", "A000001.wav", {1000});
    view.SetProjectFormat(3);
    CUiScript script;
    script.AnswerBox(IDOK);
    EXPECT_NE(view.BuildSectionAudio(1, view.m_strProjectFolder, s), 0);
    EXPECT_EQ(script.BoxTexts().size(), 1u);
    EXPECT_FALSE(fs::exists(folder.Path("A000001.wav")));
}

TEST_F(SectionAudio, ExportRenamesAtTheSameRateAndConvertsOtherwise) {
    WriteWav(folder.Path("A000001.wav"), 22050, source);
    ScratchFolder target("export");
    CSectionInformation* s = AddClipSection(view, 0, "a", "A000001.wav", {4410, 4410});
    s->m_lstPhrase.GetAt(1)->m_nStart = 10000;
    ASSERT_EQ(view.ExportSectionFromWav(1, CString(target.Root()), "A000001.wav", s, 22050), 0);
    EXPECT_EQ(WavData(target.Path("A000001.wav")), source.substr(0, 4410) + source.substr(10000, 4410));
    EXPECT_FALSE(fs::exists(target.Path("ExportTempWave.wav")));
    // The export names the phrases' files itself.
    EXPECT_EQ(s->m_lstPhrase.GetAt(1)->m_strFileName, "A000001.wav");
    EXPECT_EQ(s->m_lstPhrase.GetAt(1)->m_nStart, 4410u);

    ASSERT_EQ(view.ExportSectionFromWav(2, CString(target.Root()), "A000002.wav", s, 16000), 0);
    uint32_t rate = 0;
    const std::string converted = WavData(target.Path("A000002.wav"), &rate);
    EXPECT_EQ(rate, 16000u);
    EXPECT_NEAR(static_cast<double>(converted.size()), 8820.0 * 16000 / 22050, 8);
    EXPECT_FALSE(fs::exists(target.Path("ExportTempWave.wav")));

    // A failure removes the temporary file too.
    s->m_lstPhrase.GetAt(1)->m_strFileName = "A000009.wav";
    CUiScript script;
    script.AnswerBox(IDOK);
    EXPECT_EQ(view.ExportSectionFromWav(3, CString(target.Root()), "A000003.wav", s, 22050), 8);
    EXPECT_FALSE(fs::exists(target.Path("ExportTempWave.wav")));
    EXPECT_FALSE(fs::exists(target.Path("A000003.wav")));
}

}  // namespace
