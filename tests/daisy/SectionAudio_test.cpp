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
        WriteWav(folder.Path("Backup/A000001.wav"), 22050, source);
    }

    ScratchFolder folder;
    CKorvaneView view;
    std::string source = Pattern(20000, 1);
};

TEST_F(SectionAudio, ClipsAreJoinedBackToBackAndPhrasesPointIntoTheJoin) {
    // A chunk after the data is not audio and must not be copied.
    std::string bytes = ReadBytes(folder.Path("Backup/A000001.wav")) + std::string("LIST\x04\0\0\0INFO", 12);
    const uint32_t riff = static_cast<uint32_t>(bytes.size() - 8);
    bytes.replace(4, 4, std::string{static_cast<char>(riff), static_cast<char>(riff >> 8), static_cast<char>(riff >> 16), 0});
    WriteBytes(folder.Path("Backup/A000001.wav"), bytes);
    // The third clip ends exactly at the recording's end.
    CSectionInformation* s = AddClipSection(view, 0, "a", "A000001.wav", {1000, 2000, 2000, 500});
    const uint32_t sources[] = {500, 4000, 18000, 0}, starts[] = {0, 1000, 3000, 5000};
    for (int j = 0; j < 4; ++j) s->m_lstPhrase.GetAt(j)->m_nStart = sources[j];
    s->m_nSectionTime = 1;  // stale: the build sets it from the joined file
    ASSERT_EQ(view.BuildSectionWav(1, view.m_strProjectFolder, "A000007.wav", s), 0);

    uint32_t rate = 0;
    EXPECT_EQ(WavData(folder.Path("A000007.wav"), &rate), source.substr(500, 1000) + source.substr(4000, 2000) +
                                                              source.substr(18000) + source.substr(0, 500));
    EXPECT_EQ(rate, 22050u);
    for (int j = 0; j < 4; ++j) {
        EXPECT_EQ(s->m_lstPhrase.GetAt(j)->m_nStart, starts[j]);
        EXPECT_EQ(s->m_lstPhrase.GetAt(j)->m_strFileName, "A000007.wav");
    }
    EXPECT_EQ(s->m_nSectionTime, 5500u);
}

// A recording shorter than its phrases (cut short on the disk, or its header claiming
// more than the file holds) is no book of silence: the section is refused, naming it.
TEST_F(SectionAudio, ARecordingShorterThanItsPhrasesIsRefused) {
    const std::string whole = ReadBytes(folder.Path("Backup/A000001.wav"));
    const std::pair<std::string, int> cases[] = {{whole, 3}, {whole.substr(0, whole.size() - 3000), 2}};
    for (const auto& [bytes, phrase] : cases) {
        WriteBytes(folder.Path("Backup/A000001.wav"), bytes);
        CSectionInformation* s = AddClipSection(view, 0, "a", "A000001.wav", {9000, 9000, 3000});
        CUiScript script;
        script.AnswerBox(IDOK);
        EXPECT_EQ(view.BuildSectionWav(2, view.m_strProjectFolder, "A000002.wav", s), 10);
        EXPECT_EQ(script.BoxTexts(), std::vector<CString>{"セクション2の音声ファイルA000001.wavが途中で切れています。" +
                                                          CString::Formatted("（フレーズ%d）", phrase)});
    }
}

TEST_F(SectionAudio, EveryFailureIsAnErrorBoxAndAResult) {
    CSectionInformation* s = AddClipSection(view, 0, "a", "A000001.wav", {1000, 1000});
    const std::string missingFolder = folder.Path("missing");
    struct Case {
        EBookFileStep step;
        int occurrence;  // 0: no fault
        const char* folder;  // nullptr: the project folder
        const char* name;
        const char* file;
        int result;
        const char* message;
    };
    const Case cases[] = {
        {EBookFileStep::SectionWrite, 1, nullptr, "A000001.wav", "A000001.wav", 5, "Waveファイル書込み時にエラーが発生しました。"},
        {EBookFileStep::SectionClose, 1, nullptr, "A000001.wav", "A000001.wav", 5, "Waveファイル書込み時にエラーが発生しました。"},
        {EBookFileStep::SectionWrite, 0, "", "A000001.wav", "A000001.wav", 11, "保存先パスが設定されていません。"},
        {EBookFileStep::SectionWrite, 0, nullptr, "", "A000001.wav", 11, "ファイル名が設定されていません。"},
        {EBookFileStep::SectionWrite, 0, missingFolder.c_str(), "A000001.wav", "A000001.wav", 5, "ファイルが開けません。"},
        {EBookFileStep::SectionWrite, 0, nullptr, "A000001.wav", "A000009.wav", 8, "Waveヘッダ情報の取得に失敗しました。"},
    };
    for (const Case& c : cases) {
        for (const auto& p : s->m_lstPhrase) p->m_strFileName = c.file;
        ScopedFault fault(c.step, c.occurrence);
        CUiScript script;
        script.AnswerBox(IDOK);
        EXPECT_EQ(view.BuildSectionWav(1, c.folder ? CString(c.folder) : view.m_strProjectFolder, c.name, s), c.result)
            << c.message;
        ASSERT_EQ(script.Records().size(), 1u) << c.message;
        EXPECT_EQ(script.BoxTexts()[0], c.message);
        EXPECT_EQ(script.Records()[0].caption, "エラー");
        EXPECT_EQ(script.Records()[0].style, MB_OK | MB_ICONSTOP);
    }
    // MP3 projects cannot join sections yet: refused, and nothing is written.
    view.SetProjectFormat(3);
    fs::remove(folder.Path("A000001.wav"));
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
