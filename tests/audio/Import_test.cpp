// The audio import on a view without a window: generated recordings of known tones and
// silences, imported into a 22050 Hz project, must give the sections and phrases that the
// pause settings call for, and the project's audio file must hold the recording.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../app/FakeListView.h"
#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "app/ProgressDlg.h"
#include "audio/SilenceSplitter.h"
#include "audio/ViewWaveTaskHost.h"
#include "audio/WaveTestSupport.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"

using namespace wavetest;

namespace {

// 22050 Hz project: a block is 100 ms, 4410 bytes.
constexpr uint32_t kB = 4410;

// Runs of 100 ms blocks: "S5" five blocks of a 1 kHz tone at half scale, "Q3" three blocks
// of digital silence.
std::vector<int16_t> Recording(uint32_t rate, const std::string& script) {
    std::vector<int16_t> out;
    size_t i = 0;
    while (i < script.size()) {
        const char kind = script[i++];
        if (kind == ' ') continue;
        size_t used = 0;
        const long blocks = std::stol(script.substr(i), &used);
        i += used;
        const long count = blocks * static_cast<long>(rate) / 10;
        if (kind == 'Q') {
            out.insert(out.end(), static_cast<size_t>(count), 0);
        } else {
            const std::vector<int16_t> tone = TonePcm(1000.0, rate, count, 0.5);
            out.insert(out.end(), tone.begin(), tone.end());
        }
    }
    return out;
}

// Silences of 3, 12, 25 and 75 blocks between five sounds of 5 blocks: 14 seconds.
const char kScript[] = "S5 Q3 S5 Q12 S5 Q25 S5 Q75 S5";

struct Phrase {
    uint32_t start, length, pause;
    bool operator==(const Phrase&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Phrase& p) {
    return os << "{" << p.start / kB << ", " << p.length / kB << ", " << p.pause / kB << "}";
}
Phrase P(uint32_t start, uint32_t length, uint32_t pause) { return {start * kB, length * kB, pause * kB}; }
using Sections = std::vector<std::vector<Phrase>>;

class Import : public ::testing::Test {
protected:
    void SetUp() override {
        m_previousReporter = CUiScript::SetFaultReporter([](const std::string& m) { ADD_FAILURE() << m; });
        std::filesystem::create_directory(folder.Path("prj"));
        view.AttachLists(&sectionList, &phraseList);
        view.m_strProjectFolder = folder.CPath("prj");
        view.SetProjectFormat(1);
        view.m_bProjectOpen = 1;
        view.m_lstSection.Add(std::make_unique<CSectionInformation>());
        view.m_nWaveImportCount = 1;  // the command counts the file before it imports it
        view.m_nSilenceDb = -35;
    }
    void TearDown() override {
        CViewWaveTaskHost::SetProgressHook(nullptr);
        CUiScript::SetFaultReporter(m_previousReporter);
    }

    CString Source(const std::string& name, uint32_t rate, const std::string& script) {
        WriteWav(folder.Path(name), rate, 1, Recording(rate, script));
        return folder.CPath(name);
    }
    int ImportOne(const CString& path, int phrasePause, int sectionPause, int index = 0) {
        view.m_nPhrasePause = phrasePause;
        view.m_nSectionPause = sectionPause;
        return view.ImportWaveFile(&index, path, CString(), "(1/1)");
    }
    Sections Shape() const {
        Sections out;
        for (const auto& s : view.m_lstSection) {
            std::vector<Phrase> phrases;
            for (const auto& p : s->m_lstPhrase) phrases.push_back({p->m_nStart, p->m_nLength, p->m_nPause});
            out.push_back(phrases);
        }
        return out;
    }
    std::vector<int16_t> ProjectSamples(const char* name, uint32_t& rate) {
        return ReadCanonicalWav(folder.Path(std::string("prj/") + name), rate);
    }

    ScratchFolder folder;
    CFakeListView sectionList{IDC_LIST_SECTION};
    CFakeListView phraseList{IDC_LIST_PHRASE};
    CKorvaneView view;

private:
    CUiScript::FaultReporter m_previousReporter;
};

}  // namespace

TEST_F(Import, SectionsAndPhrasesForEachPauseSetting) {
    // The five sounds start at blocks 0, 8, 25, 55 and 135; a phrase begins one block
    // before its sound and keeps the silence after it.
    const Phrase a0(P(0, 7, 3)), b(P(7, 17, 12)), c(P(24, 30, 25)), d(P(54, 80, 75)), e(P(134, 6, 0));
    const Phrase a2(P(0, 24, 12)), a10(P(0, 54, 25));
    struct Case {
        int phrasePause, sectionPause;
        Sections expected;
    };
    const Case cases[] = {
        {0, 0, {{a0, b, c, d, e}}},
        {2, 0, {{a2, c, d, e}}},
        {10, 0, {{a10, d, e}}},
        {0, 1, {{a0, b}, {c}, {d}, {e}}},
        {2, 1, {{a2}, {c}, {d}, {e}}},
        // 12 silent blocks open a section but no phrase; the first phrase ends in the first
        // section at the 25-block silence, and the next one begins the second.
        {10, 1, {{a10}, {d}, {e}}},
        {0, 7, {{a0, b, c, d}, {e}}},
        {2, 7, {{a2, c, d}, {e}}},
        {10, 7, {{a10, d}, {e}}},
    };
    const CString source = Source("rec.wav", 22050, kScript);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "PhrasePause " << c.phrasePause << ", SectionPause " << c.sectionPause);
        view.m_lstSection.RemoveAll();
        view.m_lstSection.Add(std::make_unique<CSectionInformation>());
        CUiScript script;
        ASSERT_EQ(ImportOne(source, c.phrasePause, c.sectionPause), kImportOk);
        EXPECT_EQ(Shape(), c.expected);
        for (const auto& s : view.m_lstSection) {
            uint32_t sum = 0;
            for (const auto& p : s->m_lstPhrase) sum += p->m_nLength;
            EXPECT_EQ(s->m_nSectionTime, sum);
            EXPECT_EQ(s->m_strComment, "rec.wav");
        }
    }
}

TEST_F(Import, ProjectFileHoldsTheRecording) {
    const CString source = Source("rec.wav", 22050, kScript);
    CUiScript script;
    ASSERT_EQ(ImportOne(source, 0, 0), kImportOk);
    uint32_t rate = 0;
    EXPECT_EQ(ProjectSamples("A000001.wav", rate), Recording(22050, kScript));
    EXPECT_EQ(rate, 22050u);
    EXPECT_EQ(view.m_nWaveImportCount, 1);
    for (const auto& p : view.m_lstSection.GetAt(0)->m_lstPhrase) {
        EXPECT_EQ(p->m_strFileName, "A000001.wav");
        EXPECT_EQ(p->m_nBytesPerSec, 44100u);
    }
}

TEST_F(Import, OtherRatesAreConvertedAndCutAlike) {
    const Sections expected = {{P(0, 7, 3), P(7, 17, 12)}, {P(24, 30, 25)}, {P(54, 80, 75)}, {P(134, 6, 0)}};
    for (uint32_t rate : {44100u, 16000u}) {
        SCOPED_TRACE(rate);
        view.m_lstSection.RemoveAll();
        view.m_lstSection.Add(std::make_unique<CSectionInformation>());
        const CString source = Source("rec" + std::to_string(rate) + ".wav", rate, kScript);
        view.m_nWaveImportCount = static_cast<int>(rate);  // a file of its own
        CUiScript script;
        ASSERT_EQ(ImportOne(source, 0, 1), kImportOk);
        EXPECT_EQ(Shape(), expected);
        uint32_t outRate = 0;
        const std::vector<int16_t> out =
            ProjectSamples(CString::Formatted("A%06d.wav", static_cast<int>(rate)).c_str(), outRate);
        EXPECT_EQ(outRate, 22050u);
        EXPECT_EQ(out.size(), 14u * 22050u);
        // The tone keeps its level through the conversion (within 0.1 dB of half scale).
        EXPECT_NEAR(ToneAmplitude(out, 1000.0, 22050, 2205, 6615), 0.5, 0.006);
    }
}

TEST_F(Import, TakesTheFirstFreeNumberFromTheCount) {
    const CString source = Source("rec.wav", 22050, "S3");
    WriteBytes(folder.Path("prj/A000005.wav"), "x");
    WriteBytes(folder.Path("prj/A000006.wav"), "x");
    view.m_nWaveImportCount = 5;
    CUiScript script;
    ASSERT_EQ(ImportOne(source, 0, 0), kImportOk);
    EXPECT_EQ(view.m_nWaveImportCount, 7);
    EXPECT_TRUE(std::filesystem::exists(folder.Path("prj/A000007.wav")));
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_lstPhrase.GetHead()->m_strFileName, "A000007.wav");
}

TEST_F(Import, RefusedFilesLeaveTheBookAndTheFolderAlone) {
    WriteBytes(folder.Path("junk.wav"), "not a wave file at all");
    // Header fields that size the buffers must agree with rate, channels and bits.
    WriteBytes(folder.Path("zero.wav"),
               RiffWave(Chunk("fmt ", FmtRecord(1, 1, 22050, 0, 0, 16)) + Chunk("data", std::string(4410, '\1'))));
    WriteBytes(folder.Path("empty.wav"), RiffWave(Chunk("fmt ", PcmFmt(1, 22050, 16)) + Chunk("data", "")));
    WriteWav(folder.Path("stereo.wav"), 22050, 2, std::vector<int16_t>(4410, 1000));
    WriteBytes(folder.Path("eight.wav"),
               RiffWave(Chunk("fmt ", PcmFmt(1, 22050, 8)) + Chunk("data", std::string(2205, '\x90'))));
    WriteWav(folder.Path("rate.wav"), 11025, 1, std::vector<int16_t>(1103, 1000));
    struct Case {
        CString path;
        const char* message;
        int result;
    };
    const Case cases[] = {
        {CString(), "ファイルパスが設定されていません。", kImportNoPath},
        {folder.CPath("missing.wav"), "ファイルが存在しません。", kImportCannotOpen},
        {folder.CPath("junk.wav"), "Waveヘッダ情報の取得に失敗しました。", kImportBadFile},
        {folder.CPath("zero.wav"), "Waveヘッダ情報の取得に失敗しました。", kImportBadFile},
        {folder.CPath("empty.wav"), "録音されていません。", kImportReadError},
        {folder.CPath("stereo.wav"), "このファイルはインポート出来ません。", kImportBadFile},
        {folder.CPath("eight.wav"), "このファイルはインポート出来ません。", kImportBadFile},
        {folder.CPath("rate.wav"), "このファイルはインポート出来ません。", kImportBadFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.c_str());
        CUiScript script;
        script.AnswerBox(IDOK);
        EXPECT_EQ(ImportOne(c.path, 0, 0), c.result);
        ASSERT_EQ(script.Records().size(), 1u);
        EXPECT_EQ(script.Records()[0].text, c.message);
        EXPECT_EQ(script.Records()[0].caption, "エラー");
        EXPECT_EQ(script.Records()[0].style, MB_OK | MB_ICONSTOP);
    }
    EXPECT_EQ(view.m_lstSection.GetCount(), 1);
    EXPECT_TRUE(view.m_lstSection.GetAt(0)->m_lstPhrase.IsEmpty());
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path("prj")));
}

TEST_F(Import, DataChunkLongerThanTheFileIsReadAsFarAsItGoes) {
    // A recorder that never patched its sizes: the chunk claims 10 s, the file holds 2.
    const std::vector<int16_t> samples = Recording(22050, "S20");
    std::string bytes = RiffWave(Chunk("fmt ", PcmFmt(1, 22050, 16)) + "data" + Le32(441000) + SamplesToBytes(samples));
    WriteBytes(folder.Path("open.wav"), bytes);
    int range = -1;
    CViewWaveTaskHost::SetProgressHook([&](CProgressDlg& dlg) { range = dlg.m_nUpper; });
    CUiScript script;
    ASSERT_EQ(ImportOne(folder.CPath("open.wav"), 0, 0), kImportOk);
    EXPECT_EQ(range, 2);
    EXPECT_EQ(Shape(), (Sections{{P(0, 20, 0)}}));
}

TEST_F(Import, ProgressShowsWhatIsDone) {
    const CString source = Source("rec.wav", 22050, "S25");
    std::vector<int> positions;
    CString caption, message;
    CViewWaveTaskHost::SetProgressHook([&](CProgressDlg& dlg) {
        positions.push_back(dlg.GetPos());
        caption = dlg.GetCaption();
        message = dlg.GetMessage();
    });
    CUiScript script;
    ASSERT_EQ(ImportOne(source, 0, 0), kImportOk);
    EXPECT_EQ(positions, (std::vector<int>{1, 2, 2}));
    EXPECT_EQ(caption, "音声インポート");
    EXPECT_EQ(message, "フレーズ情報取得中...　(1/1)");
}

TEST_F(Import, CancelKeepsWhatWasCut) {
    const CString source = Source("rec.wav", 22050, kScript);
    CViewWaveTaskHost::SetProgressHook([](CProgressDlg& dlg) {
        if (dlg.GetPos() == 5) dlg.OnCancel();
    });
    {
        // "No" goes on to the end.
        CUiScript script;
        script.AnswerBox(IDNO);
        ASSERT_EQ(ImportOne(source, 0, 0), kImportOk);
        EXPECT_EQ(script.BoxTexts(), std::vector<CString>{"キャンセルしますか？"});
        EXPECT_EQ(view.m_lstSection.GetAt(0)->m_lstPhrase.GetCount(), 5);
    }
    view.m_lstSection.RemoveAll();
    view.m_lstSection.Add(std::make_unique<CSectionInformation>());
    view.m_nWaveImportCount = 2;
    CUiScript script;
    script.AnswerBox(IDYES);
    ASSERT_EQ(ImportOne(source, 0, 0), kImportCancelled);
    // Five seconds were judged: the open phrase ends one block before that point.
    EXPECT_EQ(Shape(), (Sections{{P(0, 7, 3), P(7, 17, 12), P(24, 25, 20)}}));
    uint32_t rate = 0;
    EXPECT_EQ(ProjectSamples("A000002.wav", rate).size(), 5u * 22050u);
}

// --- the command's loop

namespace {

class ImportCommand : public Import {
protected:
    void SetUp() override {
        Import::SetUp();
        view.m_nWaveImportCount = 0;
        view.m_nPhrasePause = 0;
        view.m_nSectionPause = 0;
        view.RefreshSectionList(0);
    }
};

}  // namespace

TEST_F(ImportCommand, FilesFollowEachOtherAndEndWithCompletion) {
    const std::vector<CString> paths = {Source("one.wav", 22050, "S3 Q3 S3"), Source("two.WAV", 44100, "S4")};
    CUiScript script;
    script.AnswerBox(IDOK);
    EXPECT_EQ(view.ImportAudioFiles(paths), kImportOk);
    ASSERT_EQ(script.Records().size(), 1u);
    EXPECT_EQ(script.Records()[0].text, "完了しました。");
    EXPECT_EQ(script.Records()[0].caption, "確認");
    EXPECT_EQ(script.Records()[0].style, MB_OK | MB_ICONINFORMATION);
    ASSERT_EQ(view.m_lstSection.GetCount(), 2);
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_strComment, "one.wav");
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_lstPhrase.GetCount(), 2);
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_strComment, "two.WAV");
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_lstPhrase.GetHead()->m_strFileName, "A000002.wav");
    EXPECT_EQ(view.m_nWaveImportCount, 2);
    EXPECT_EQ(view.m_bSuppressPlay, 0);
    EXPECT_EQ(sectionList.GetItemCount(), 3);
    EXPECT_EQ(sectionList.SelectedRows(), std::vector<int>{0});
}

TEST_F(ImportCommand, WithoutSelectionTheFilesGoToTheEnd) {
    view.m_lstSection.GetAt(0)->m_lstPhrase.Add(std::make_unique<CPhraseInformation>());
    view.m_lstSection.Add(std::make_unique<CSectionInformation>());
    view.m_lstSection.GetAt(1)->m_lstPhrase.Add(std::make_unique<CPhraseInformation>());
    view.RefreshSectionList(0);
    sectionList.SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    CUiScript script;
    script.AnswerBox(IDOK);
    EXPECT_EQ(view.ImportAudioFiles({Source("a.wav", 22050, "S3"), Source("b.wav", 22050, "S3")}), kImportOk);
    ASSERT_EQ(view.m_lstSection.GetCount(), 4);
    EXPECT_EQ(view.m_lstSection.GetAt(2)->m_strComment, "a.wav");
    EXPECT_EQ(view.m_lstSection.GetAt(3)->m_strComment, "b.wav");
    EXPECT_EQ(sectionList.SelectedRows(), std::vector<int>{2});
}

TEST_F(ImportCommand, NumberLimitNamesTheFilesLeftOut) {
    const std::vector<CString> paths = {Source("a.wav", 22050, "S3"), Source("b.wav", 22050, "S3"),
                                        Source("c.wav", 22050, "S3")};
    view.m_nWaveImportCount = kMaxImportNumber - 1;
    CUiScript script;
    script.AnswerBox(IDOK);
    EXPECT_EQ(view.ImportAudioFiles(paths), kImportOk);
    EXPECT_TRUE(std::filesystem::exists(folder.Path("prj/A099999.wav")));
    ASSERT_EQ(script.Records().size(), 1u);
    const CString text = script.Records()[0].text;
    EXPECT_EQ(script.Records()[0].style, MB_OK | MB_ICONWARNING);
    EXPECT_EQ(text.Find("完了しました。"), -1);
    EXPECT_NE(text.Find("99999"), -1);
    EXPECT_EQ(text.Find(paths[0]), -1);
    EXPECT_NE(text.Find(paths[1]), -1);
    EXPECT_NE(text.Find(paths[2]), -1);
    EXPECT_EQ(view.m_lstSection.GetCount(), 1);
    EXPECT_EQ(view.m_nWaveImportCount, kMaxImportNumber);
}

TEST_F(ImportCommand, NumbersTakenOnDiskAlsoNameTheFilesLeftOut) {
    // The count allows one more file, but its number is taken: the skip runs past the limit.
    WriteBytes(folder.Path("prj/A099999.wav"), "x");
    view.m_nWaveImportCount = kMaxImportNumber - 1;
    const std::vector<CString> paths = {Source("a.wav", 22050, "S3")};
    CUiScript script;
    script.AnswerBox(IDOK);
    EXPECT_EQ(view.ImportAudioFiles(paths), kImportOk);
    ASSERT_EQ(script.Records().size(), 1u);
    EXPECT_NE(script.Records()[0].text.Find(paths[0]), -1);
    EXPECT_TRUE(view.m_lstSection.GetAt(0)->m_lstPhrase.IsEmpty());
    EXPECT_FALSE(std::filesystem::exists(folder.Path("prj/A100000.wav")));
    EXPECT_EQ(view.m_nWaveImportCount, kMaxImportNumber);
}

TEST_F(ImportCommand, FailingFileStopsTheImportWithoutCompletion) {
    const std::vector<CString> paths = {Source("a.wav", 22050, "S3"), folder.CPath("gone.wav"),
                                        Source("c.wav", 22050, "S3")};
    CUiScript script;
    script.AnswerBox(IDOK);
    EXPECT_EQ(view.ImportAudioFiles(paths), kImportCannotOpen);
    EXPECT_EQ(script.BoxTexts(), std::vector<CString>{"ファイルが存在しません。"});
    EXPECT_EQ(view.m_lstSection.GetCount(), 1);  // the first file stays imported
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_strComment, "a.wav");
    EXPECT_EQ(view.m_bSuppressPlay, 0);
}

TEST_F(ImportCommand, Mp3NeedsTheDecoder) {
    WriteBytes(folder.Path("b.mp3"), std::string(1000, '\xff'));
    CUiScript script;
    script.AnswerBox(IDOK);
    EXPECT_EQ(view.ImportAudioFiles({folder.CPath("b.mp3"), Source("c.wav", 22050, "S3")}), kImportBadFile);
    EXPECT_EQ(script.BoxTexts(), std::vector<CString>{"このファイルはインポート出来ません。"});
    EXPECT_TRUE(view.m_lstSection.GetAt(0)->m_lstPhrase.IsEmpty());
}

TEST_F(ImportCommand, CancelEndsTheImportQuietly) {
    CViewWaveTaskHost::SetProgressHook([](CProgressDlg& dlg) { dlg.OnCancel(); });
    CUiScript script;
    script.AnswerBox(IDYES);
    EXPECT_EQ(view.ImportAudioFiles({Source("a.wav", 22050, "S30"), Source("b.wav", 22050, "S30")}), kImportCancelled);
    EXPECT_EQ(script.BoxTexts(), std::vector<CString>{"キャンセルしますか？"});
    EXPECT_EQ(view.m_lstSection.GetCount(), 1);
    EXPECT_FALSE(std::filesystem::exists(folder.Path("prj/A000002.wav")));
}

TEST_F(ImportCommand, LeftoverIntermediateFilesGoButAChosenRecordingStays) {
    WriteBytes(folder.Path("prj/Mp3DecodeTemp.wav"), "left over");
    WriteWav(folder.Path("prj/ReSamplingTemp.wav"), 22050, 1, Recording(22050, "S3"));
    CUiScript script;
    script.AnswerBox(IDOK);
    EXPECT_EQ(view.ImportAudioFiles({folder.CPath("prj/ReSamplingTemp.wav")}), kImportOk);
    EXPECT_FALSE(std::filesystem::exists(folder.Path("prj/Mp3DecodeTemp.wav")));
    EXPECT_TRUE(std::filesystem::exists(folder.Path("prj/ReSamplingTemp.wav")));
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_lstPhrase.GetCount(), 1);
}
