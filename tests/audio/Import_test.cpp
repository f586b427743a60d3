// The audio import on a view without a window: generated recordings of known tones and
// silences, imported into a 22050 Hz project, must give the sections and phrases that the
// pause settings call for, and the project's audio file must hold the recording.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/ProgressDlg.h"
#include "audio/ImportTestSupport.h"
#include "audio/SilenceSplitter.h"
#include "audio/ViewWaveTaskHost.h"
#include "platform/MessageBox.h"

using namespace importtest;
using namespace wavetest;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kB = 4410;  // a 100 ms block of the 22050 Hz project
Phrase P(uint32_t start, uint32_t length, uint32_t pause) { return {start * kB, length * kB, pause * kB}; }

// Silences of 3, 12, 25 and 75 blocks between five sounds of 5 blocks: 14 seconds.
const char kScript[] = "S5 Q3 S5 Q12 S5 Q25 S5 Q75 S5";

class Import : public ImportView {
protected:
    void TearDown() override {
        CViewWaveTaskHost::SetProgressHook(nullptr);
        ImportView::TearDown();
    }
    CString Source(const std::string& name, uint32_t rate, const std::string& script) {
        WriteWav(folder.Path(name), rate, 1, Blocks(rate, script));
        return folder.CPath(name);
    }
    // Runs the command on `paths`; the boxes it showed.
    std::vector<CUiRecord> Command(const std::vector<CString>& paths, int expected, int answer = IDOK) {
        CUiScript script;
        script.AnswerBox(answer);
        EXPECT_EQ(view.ImportAudioFiles(paths), expected);
        return script.Records();
    }
};

}  // namespace

TEST_F(Import, SectionsAndPhrasesForEachPauseSetting) {
    // The five sounds start at blocks 0, 8, 25, 55 and 135; a phrase begins one block
    // before its sound and keeps the silence after it.
    const Phrase a0(P(0, 7, 3)), b(P(7, 17, 12)), c(P(24, 30, 25)), d(P(54, 80, 75)), e(P(134, 6, 0));
    const Phrase a2(P(0, 24, 12)), a10(P(0, 54, 25));
    const struct {
        int phrasePause, sectionPause;
        Sections expected;
    } cases[] = {
        {0, 0, {{a0, b, c, d, e}}}, {2, 0, {{a2, c, d, e}}}, {10, 0, {{a10, d, e}}},
        {0, 1, {{a0, b}, {c}, {d}, {e}}}, {2, 1, {{a2}, {c}, {d}, {e}}},
        // 12 silent blocks open a section but no phrase; the first phrase ends in the first
        // section at the 25-block silence, and the next one begins the second.
        {10, 1, {{a10}, {d}, {e}}},
        {0, 7, {{a0, b, c, d}, {e}}}, {2, 7, {{a2, c, d}, {e}}}, {10, 7, {{a10, d}, {e}}},
    };
    const CString source = Source("rec.wav", 22050, kScript);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "PhrasePause " << c.phrasePause << ", SectionPause " << c.sectionPause);
        Restart(1);
        CUiScript script;
        ASSERT_EQ(ImportOne(source, c.phrasePause, c.sectionPause), kImportOk);
        EXPECT_EQ(Shape(view.m_lstSection), c.expected);
        for (const auto& s : view.m_lstSection) {
            uint32_t sum = 0;
            for (const auto& p : s->m_lstPhrase) sum += p->m_nLength;
            EXPECT_EQ(s->m_nSectionTime, sum);
            EXPECT_EQ(s->m_strComment, "rec.wav");
        }
    }
}

TEST_F(Import, EveryRateIsBroughtToTheProjectsAndCutAlike) {
    const Sections expected = {{P(0, 7, 3), P(7, 17, 12)}, {P(24, 30, 25)}, {P(54, 80, 75)}, {P(134, 6, 0)}};
    for (int rate : {22050, 44100, 16000}) {
        SCOPED_TRACE(rate);
        Restart(rate);  // a file of its own
        CUiScript script;
        ASSERT_EQ(ImportOne(Source("rec" + std::to_string(rate) + ".wav", rate, kScript), 0, 1), kImportOk);
        EXPECT_EQ(Shape(view.m_lstSection), expected);
        EXPECT_EQ(view.m_lstSection.GetAt(0)->m_lstPhrase.GetHead()->m_strFileName, CString::Formatted("A%06d.wav", rate));
        uint32_t outRate = 0;
        const std::vector<int16_t> out = ReadCanonicalWav(Written(), outRate);
        EXPECT_EQ(outRate, 22050u);
        if (rate == 22050) {
            EXPECT_EQ(out, Blocks(22050, kScript));
        } else {
            // The tone keeps its level through the conversion (within 0.1 dB of half scale).
            ASSERT_EQ(out.size(), 14u * 22050u);
            EXPECT_NEAR(ToneAmplitude(out, 1000.0, 22050, 2205, 6615), 0.5, 0.006);
        }
    }
}

TEST_F(Import, TakesTheFirstFreeNumberFromTheCount) {
    WriteBytes(folder.Path("prj/A000005.wav"), "x");
    WriteBytes(folder.Path("prj/A000006.wav"), "x");
    Restart(5);
    CUiScript script;
    ASSERT_EQ(ImportOne(Source("rec.wav", 22050, "S3"), 0, 0), kImportOk);
    EXPECT_EQ(view.m_nWaveImportCount, 7);
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_lstPhrase.GetHead()->m_strFileName, "A000007.wav");
    EXPECT_TRUE(fs::exists(Written()));
}

TEST_F(Import, RefusedFilesLeaveTheBookAndTheFolderAlone) {
    WriteBytes(folder.Path("junk.wav"), "not a wave file at all");
    // Header fields that size the buffers must agree with rate, channels and bits.
    WriteBytes(folder.Path("zero.wav"), WaveBytes(FmtRecord(1, 1, 22050, 0, 0, 16), std::string(4410, '\1')));
    WriteBytes(folder.Path("empty.wav"), WaveBytes(PcmFmt(1, 22050, 16), ""));
    WriteWav(folder.Path("stereo.wav"), 22050, 2, std::vector<int16_t>(4410, 1000));
    WriteWav(folder.Path("rate.wav"), 11025, 1, std::vector<int16_t>(1103, 1000));
    const struct {
        CString path;
        const char* message;
        int result;
    } cases[] = {
        {CString(), "ファイルパスが設定されていません。", kImportNoPath},
        {folder.CPath("missing.wav"), "ファイルが存在しません。", kImportCannotOpen},
        {folder.CPath("junk.wav"), "Waveヘッダ情報の取得に失敗しました。", kImportBadFile},
        {folder.CPath("zero.wav"), "Waveヘッダ情報の取得に失敗しました。", kImportBadFile},
        {folder.CPath("empty.wav"), "録音されていません。", kImportReadError},
        {folder.CPath("stereo.wav"), "このファイルはインポート出来ません。", kImportBadFile},
        {folder.CPath("rate.wav"), "このファイルはインポート出来ません。", kImportBadFile},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.c_str());
        CUiScript script;
        script.AnswerBox(IDOK);
        EXPECT_EQ(ImportOne(c.path, 0, 0), c.result);
        EXPECT_EQ(script.BoxTexts(), std::vector<CString>{c.message});
        EXPECT_EQ(script.Records().at(0).style, MB_OK | MB_ICONSTOP);
    }
    EXPECT_EQ(Shape(view.m_lstSection), Sections{{}});
    EXPECT_TRUE(fs::is_empty(folder.Path("prj")));
}

TEST_F(Import, CommandBringsInTheFilesInOrderAndEndsWithCompletion) {
    Restart(0);
    std::vector<CUiRecord> boxes = Command({Source("one.wav", 22050, "S3 Q3 S3"), Source("two.WAV", 44100, "S4")}, kImportOk);
    EXPECT_EQ(boxes.at(0).text, "完了しました。");
    EXPECT_EQ(boxes.at(0).style, MB_OK | MB_ICONINFORMATION);
    ASSERT_EQ(view.m_lstSection.GetCount(), 2);
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_lstPhrase.GetCount(), 2);
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_strComment, "two.WAV");
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_lstPhrase.GetHead()->m_strFileName, "A000002.wav");
    EXPECT_EQ(view.m_bSuppressPlay, 0);
    EXPECT_EQ(sectionList.SelectedRows(), std::vector<int>{0});

    // Without a selection the files go to the end.
    sectionList.SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    Command({Source("a.wav", 22050, "S3")}, kImportOk);
    ASSERT_EQ(view.m_lstSection.GetCount(), 3);
    EXPECT_EQ(view.m_lstSection.GetAt(2)->m_strComment, "a.wav");
    EXPECT_EQ(sectionList.SelectedRows(), std::vector<int>{2});
}

TEST_F(Import, NumberLimitNamesTheFilesLeftOut) {
    const std::vector<CString> paths = {Source("a.wav", 22050, "S3"), Source("b.wav", 22050, "S3")};
    // The count allows one more file; once its number is taken on disk, none.
    for (bool taken : {false, true}) {
        SCOPED_TRACE(taken);
        Restart(kMaxImportNumber - 1);
        if (taken) WriteBytes(folder.Path("prj/A099999.wav"), "x");
        const CUiRecord box = Command(paths, kImportOk).at(0);
        EXPECT_EQ(box.style, MB_OK | MB_ICONWARNING);
        EXPECT_EQ(box.text.Find("完了しました。"), -1);
        EXPECT_NE(box.text.Find("99999"), -1);
        EXPECT_EQ(box.text.Find(paths[0]) != -1, taken);
        EXPECT_NE(box.text.Find(paths[1]), -1);
        EXPECT_EQ(view.m_lstSection.GetAt(0)->m_lstPhrase.IsEmpty(), taken);
        EXPECT_EQ(view.m_nWaveImportCount, kMaxImportNumber);
        EXPECT_FALSE(fs::exists(folder.Path("prj/A100000.wav")));
    }
}

TEST_F(Import, CommandStopsAtAFileItCannotTakeAndNamesIt) {
    WriteBytes(folder.Path("b.mp3"), std::string(1000, '\xff'));  // no MP3 stream in it
    const CString first = Source("a.wav", 22050, "S3"), last = Source("c.wav", 22050, "S3");
    Restart(0);
    auto boxes = [&](const std::vector<CString>& paths, int expected) {
        CUiScript script;
        script.AnswerBox(IDOK).AnswerBox(IDOK);
        EXPECT_EQ(view.ImportAudioFiles(paths), expected);
        return script.BoxTexts();
    };
    // The step's own message, then which file it was and which came in before it.
    EXPECT_EQ(boxes({first, folder.CPath("gone.wav"), last}, kImportCannotOpen),
              (std::vector<CString>{"ファイルが存在しません。", "次のファイルはインポートできませんでした。\n" +
                                                                    folder.CPath("gone.wav") +
                                                                    "\n\nインポートされたファイル：\n" + first}));
    EXPECT_EQ(boxes({folder.CPath("b.mp3"), last}, 1),
              (std::vector<CString>{"MP3DecoderInfoオブジェクトの初期化に失敗しました。",
                                    "次のファイルはインポートできませんでした。\n" + folder.CPath("b.mp3") +
                                        "\n\nインポートされたファイルはありません。"}));
    // The first file stays imported, and no completion is shown.
    ASSERT_EQ(view.m_lstSection.GetCount(), 1);
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_strComment, "a.wav");

    EXPECT_EQ(view.m_bSuppressPlay, 0);
}

// A recording with no sound adds nothing, leaves no audio file behind, and the end of
// the command says which it was.
TEST_F(Import, ARecordingWithoutSoundLeavesNoFileAndIsNamed) {
    Restart(0);
    const CString quiet = Source("quiet.wav", 22050, "Q30"), loud = Source("loud.wav", 22050, "S3");
    std::vector<CUiRecord> boxes = Command({quiet, loud}, kImportOk);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "次のファイルには音声がないため、インポートされませんでした。\n\n" + quiet);
    EXPECT_EQ(boxes[0].style, MB_OK | MB_ICONWARNING);
    EXPECT_FALSE(fs::exists(folder.Path("prj/A000001.wav")));
    EXPECT_TRUE(fs::exists(folder.Path("prj/A000002.wav")));
    ASSERT_EQ(view.m_lstSection.GetCount(), 1);
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_lstPhrase.GetHead()->m_strFileName, "A000002.wav");
}

TEST_F(Import, CancelInTheFirstFileEndsTheCommandThere) {
    Restart(0);
    CViewWaveTaskHost::SetProgressHook([](CProgressDlg& dlg) { dlg.OnCancel(); });
    const std::vector<CString> paths = {Source("a.wav", 22050, "S30"), Source("b.wav", 22050, "S30")};
    EXPECT_EQ(Command(paths, kImportCancelled, IDYES).at(0).text, "キャンセルしますか？");
    EXPECT_EQ(view.m_lstSection.GetCount(), 1);
    EXPECT_FALSE(fs::exists(folder.Path("prj/A000002.wav")));
}
