// The DAISY import: a built book comes back into another project as it was written,
// sections whose clips lie in several files are joined, and a damaged book is refused
// with the open project left exactly as it was.

#include <gtest/gtest.h>

#include "DaisyTestSupport.h"
#include "app/ControlIds.h"
#include "app/AppProfile.h"
#include "app/ProgressDlg.h"
#include "audio/ViewWaveTaskHost.h"
#include "daisy/DaisyBookReader.h"
#include "daisy/DaisyImportDlg.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

using namespace daisytest;

namespace {

constexpr uint32_t k100ms = 4410;  // at 22050 Hz

// A 22050 Hz project with six sections at levels 1 to 6, every page kind, groups and
// marks, built into a DAISY book in its folder.
class BuiltSource : public ::testing::Test {
protected:
    void SetUp() override {
        source.AttachLists(&sourceSections, &sourcePhrases);
        SetUpProject(source, sourceFolder.Root());
        source.m_bookInfo.m_strTitle = "表とソフトの本";
        source.m_bookInfo.m_strAuthor = "著者";
        WriteWav(sourceFolder.Path("A000001.wav"), 22050, Pattern(60 * k100ms, 1));
        WriteWav(sourceFolder.Path("A000002.wav"), 22050, Pattern(40 * k100ms, 2));
        const struct {
            const char* heading;
            const char* file;
            std::vector<uint32_t> tenths;
            uint32_t first;
        } sections[] = {
            {"表紙", "A000001.wav", {10, 8}, 0},          {"第1章　ソフト", "A000001.wav", {12, 20}, 18},
            {"1.1 表", "A000002.wav", {15, 15, 10}, 0},   {"レベル4", "A000001.wav", {5}, 50},
            {"レベル5", "A000001.wav", {3, 2}, 55},       {"レベル6", "A000002.wav", {0}, 0},
        };
        int level = 0;
        for (const auto& s : sections) {
            std::vector<uint32_t> lengths;
            for (uint32_t t : s.tenths) lengths.push_back(t * k100ms);
            AddClipSection(source, level++, s.heading, s.file, lengths, s.first * k100ms);
        }
        // A section of one empty phrase has nothing to say; give the last one audio.
        source.m_lstSection.GetAt(5)->m_lstPhrase.GetAt(0)->m_nLength = 4 * k100ms;
        source.m_lstSection.GetAt(5)->m_nSectionTime = 4 * k100ms;
        auto phrase = [&](int s, int p) { return source.m_lstSection.GetAt(s)->m_lstPhrase.GetAt(p); };
        phrase(0, 1)->m_nPageKind = 3, phrase(0, 1)->m_strPageText = "i";
        phrase(1, 1)->m_nPageKind = 2, phrase(1, 1)->m_strPageText = "1";
        phrase(2, 1)->m_nPageKind = 2, phrase(2, 1)->m_strPageText = "2";
        phrase(2, 2)->m_nPageKind = 4, phrase(2, 2)->m_strPageText = "付録";
        phrase(2, 2)->m_nGroup = 1;
        phrase(4, 1)->m_nGroup = 1;
        phrase(1, 0)->m_nMark = 1;
        source.m_bSuppressPlay = 1;
        source.RefreshSectionList(0);
        source.m_bSuppressPlay = 0;
        ASSERT_EQ(source.SaveProject(), 0);
        {
            CUiScript script;
            script.AnswerBox(IDYES).AnswerBox(IDOK);
            source.OnDaisyBuild();
            ASSERT_EQ(script.BoxTexts().back(), "完了しました。");
        }

        target.AttachLists(&targetSections, &targetPhrases);
        SetUpProject(target, targetFolder.Root());
        target.m_bookInfo.m_strTitle = "元の題";
        WriteWav(targetFolder.Path("A000001.wav"), 22050, Pattern(20 * k100ms, 9));
        AddClipSection(target, 0, "既存", "A000001.wav", {10 * k100ms, 10 * k100ms});
        AddClipSection(target, 1, "既存2", "A000001.wav", {5 * k100ms}, 5 * k100ms);
        target.m_nWaveImportCount = 1;
        target.m_bSuppressPlay = 1;
        target.RefreshSectionList(0);
        target.m_bSuppressPlay = 0;
        ASSERT_EQ(target.SaveProject(), 0);
    }
    void TearDown() override { SetCurrentFolder("/"); }

    // Runs the import with the boxes answered in turn; returns what the boxes said.
    std::vector<CString> Import(const std::string& nccFolder, std::vector<int> answers, int autoPage = 0,
                                int* result = nullptr) {
        CUiScript script;
        for (int a : answers) script.AnswerBox(a);
        const int r = target.ImportDaisyBook(CString(nccFolder + "/NCC.html"), autoPage);
        if (result) *result = r;
        return script.BoxTexts();
    }

    ScratchFolder sourceFolder{"source"};
    ScratchFolder targetFolder{"target"};
    ScopedClock clock;
    CFakeListView sourceSections{IDC_LIST_SECTION}, sourcePhrases{IDC_LIST_PHRASE};
    CFakeListView targetSections{IDC_LIST_SECTION}, targetPhrases{IDC_LIST_PHRASE};
    CKorvaneView source;
    CKorvaneView target;
};

TEST_F(BuiltSource, ComesBackAsItWasBuilt) {
    // The new sections go in front of the selected one.
    targetSections.SetItemState(0, 0, LVIS_SELECTED);
    targetSections.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
    int result = -1;
    EXPECT_EQ(Import(sourceFolder.Root(), {IDYES}, 0, &result), std::vector<CString>{"書誌情報を上書きしますか？"});
    EXPECT_EQ(result, 0);
    EXPECT_EQ(target.m_bookInfo.m_strTitle, "表とソフトの本");
    EXPECT_EQ(target.m_bookInfo.m_strAuthor, "著者");
    EXPECT_EQ(target.m_nSectionUndoKind, 0);
    EXPECT_TRUE(targetSections.IsRedrawOn());

    ASSERT_EQ(target.m_lstSection.GetCount(), 8);
    EXPECT_EQ(target.m_lstSection.GetAt(0)->m_strHeading, "既存");
    EXPECT_EQ(target.m_lstSection.GetAt(7)->m_strHeading, "既存2");
    for (int s = 0; s < 6; ++s) {
        const CSectionInformation* want = source.m_lstSection.GetAt(s);
        const CSectionInformation* got = target.m_lstSection.GetAt(s + 1);
        const std::string where = "section " + std::to_string(s);
        EXPECT_EQ(got->m_nLevel, s) << where;
        EXPECT_EQ(got->m_strHeading, want->m_strHeading) << where;
        EXPECT_EQ(got->m_nSectionTime, want->m_nSectionTime) << where;
        ASSERT_EQ(got->m_lstPhrase.GetCount(), want->m_lstPhrase.GetCount()) << where;
        const CString file = got->m_lstPhrase.GetAt(0)->m_strFileName;
        // The target held A000001.wav; the count moves on from there.
        EXPECT_EQ(file, CString::Formatted("A%06d.wav", s + 2)) << where;
        for (int p = 0; p < got->m_lstPhrase.GetCount(); ++p) {
            const CPhraseInformation* w = want->m_lstPhrase.GetAt(p);
            const CPhraseInformation* g = got->m_lstPhrase.GetAt(p);
            EXPECT_EQ(g->m_strFileName, file);
            EXPECT_EQ(g->m_nStart, w->m_nStart) << where << " phrase " << p;
            EXPECT_EQ(g->m_nLength, w->m_nLength) << where << " phrase " << p;
            EXPECT_EQ(g->m_nBytesPerSec, 44100u);
            EXPECT_EQ(g->m_nPageKind, w->m_nPageKind) << where << " phrase " << p;
            EXPECT_EQ(g->m_strPageText, w->m_strPageText) << where << " phrase " << p;
            EXPECT_EQ(g->m_nGroup, p == 0 ? 0u : w->m_nGroup) << where << " phrase " << p;
            // Marks are the editor's own notes; a DAISY book has no place for them.
            EXPECT_EQ(g->m_nMark, 0u);
        }
        // The section's audio is the built section's, sample for sample.
        EXPECT_EQ(WavData(targetFolder.Path(file.str())),
                  WavData(sourceFolder.Path(CString::Formatted("A%06d.wav", s + 1).str())))
            << where;
    }
    EXPECT_EQ(target.m_nWaveImportCount, 7);
    for (const char* temp : {"DaisyJoinTemp.wav", "ReSamplingTemp.wav", "TempSmil.smil"})
        EXPECT_FALSE(FileExists(CString(targetFolder.Path(temp)))) << temp;

    // The imported project builds a book that passes the schemas too.
    CUiScript script;
    script.AnswerBox(IDYES).AnswerBox(IDOK);
    target.OnDaisyBuild();
    EXPECT_EQ(script.BoxTexts().back(), "完了しました。");
}

TEST_F(BuiltSource, IntoAnotherRateEveryTimeScalesToWholeTenths) {
    target.SetProjectFormat(2);  // 44100 Hz
    targetSections.SetItemState(0, 0, LVIS_SELECTED);
    EXPECT_EQ(Import(sourceFolder.Root(), {IDNO}, 1).size(), 1u);
    EXPECT_EQ(target.m_bookInfo.m_strTitle, "元の題");  // No: the record stays
    ASSERT_EQ(target.m_lstSection.GetCount(), 8);  // no selection: after the last section
    for (int s = 0; s < 6; ++s) {
        const CSectionInformation* want = source.m_lstSection.GetAt(s);
        const CSectionInformation* got = target.m_lstSection.GetAt(s + 2);
        for (int p = 0; p < got->m_lstPhrase.GetCount(); ++p) {
            EXPECT_EQ(got->m_lstPhrase.GetAt(p)->m_nStart, 2 * want->m_lstPhrase.GetAt(p)->m_nStart);
            EXPECT_EQ(got->m_lstPhrase.GetAt(p)->m_nLength, 2 * want->m_lstPhrase.GetAt(p)->m_nLength);
            // Automatic pages: every page mark, without its text.
            EXPECT_EQ(got->m_lstPhrase.GetAt(p)->m_nPageKind, want->m_lstPhrase.GetAt(p)->m_nPageKind ? 1u : 0u);
        }
        uint32_t rate = 0;
        const std::string data = WavData(targetFolder.Path(got->m_lstPhrase.GetAt(0)->m_strFileName.str()), &rate);
        EXPECT_EQ(rate, 44100u);
        EXPECT_EQ(data.size(), 2u * want->m_nSectionTime);
    }
}

TEST_F(BuiltSource, ASectionWithClipsInOtherFilesJoinsThemIntoItsOne) {
    // Point the second section's first clip into the third section's recording, as books
    // with note bodies do, and give it another rate.
    std::string smil = ReadBytes(sourceFolder.Path("A000002.smil"));
    const std::string from = "<audio src=\"A000002.wav\" clip-begin=\"npt=0.000s\" clip-end=\"npt=1.200s\"";
    ASSERT_NE(smil.find(from), std::string::npos);
    smil.replace(smil.find(from), from.size(),
                 "<audio src=\"other.wav\" clip-begin=\"npt=0.500s\" clip-end=\"npt=1.700s\"");
    WriteBytes(sourceFolder.Path("A000002.smil"), smil);
    const std::string other = Pattern(2 * 32000, 7);
    WriteWav(sourceFolder.Path("other.wav"), 16000, other);

    const auto boxes = Import(sourceFolder.Root(), {IDNO});
    EXPECT_EQ(boxes.size(), 1u) << boxes.back().str();
    ASSERT_EQ(target.m_lstSection.GetCount(), 8);
    const CSectionInformation* joined = target.m_lstSection.GetAt(1);  // in front of the selected row 0
    ASSERT_EQ(joined->m_lstPhrase.GetCount(), 2);
    EXPECT_EQ(joined->m_lstPhrase.GetAt(0)->m_nLength, 12 * k100ms);
    EXPECT_EQ(joined->m_lstPhrase.GetAt(1)->m_nStart, 12 * k100ms);
    const std::string data = WavData(targetFolder.Path(joined->m_lstPhrase.GetAt(0)->m_strFileName.str()));
    const std::string built = WavData(sourceFolder.Path("A000002.wav"));
    ASSERT_EQ(data.size(), built.size());
    // The second clip is the built section's own audio; the first came from elsewhere.
    EXPECT_EQ(data.substr(12 * k100ms), built.substr(12 * k100ms));
    EXPECT_NE(data.substr(0, 12 * k100ms), built.substr(0, 12 * k100ms));
}

TEST_F(BuiltSource, ADamagedBookIsRefusedAndTheProjectStaysAsItWas) {
    struct Case {
        const char* what;
        const char* file;
        std::string from, to;  // "" as `to` with "" as `from`: the file is deleted
        const char* message;   // the reader's box, before the import's own
    };
    const Case cases[] = {
        {"missing SMIL", "A000003.smil", "", "", "A000003.smil が存在しません。"},
        {"missing audio", "A000004.wav", "", "", "A000004.wav の音声形式が読み取れません。"},
        {"bad clip times", "A000002.smil", "npt=1.200s", "npt=1,2s", "クリップ時間が正しくありません。"},
        {"end before begin", "A000003.smil", "clip-end=\"npt=3.000s\"", "clip-end=\"npt=0.500s\"",
         "クリップの終了時間が開始時間より前です。"},
        {"unknown encoding", "NCC.html", "Shift_JIS", "x-nowhere", "には対応していません。"},
        {"huge numbers", "A000005.smil", "npt=0.300s", "npt=4294967296.300s", "クリップ時間が正しくありません。"},
        {"a clip far past its audio", "A000005.smil", "clip-end=\"npt=0.500s\"", "clip-end=\"npt=90000.500s\"",
         "の長さを超えています。"},
        {"a clip 0.4 s past its audio", "A000005.smil", "clip-end=\"npt=0.500s\"", "clip-end=\"npt=0.900s\"",
         "A000005.smil のクリップ（npt=0.300s - npt=0.900s）が A000005.wav の長さを超えています。"},
        {"a clip out of the book", "A000002.smil", "src=\"A000002.wav\"", "src=\"../A000002.wav\"",
         "A000002.smil のリンク「../A000002.wav」が図書のフォルダの外を指しているためインポート出来ません。"},
        {"truncated NCC", "NCC.html", "</body>", "", "NCC.htmlのドキュメント情報の取得に失敗しました。"},
        {"truncated SMIL", "A000006.smil", "</seq>", "", "："},
        {"a raw ampersand", "A000001.smil", "</head>", "&</head>", "不正な文字"},
    };
    const auto files = FolderFiles(targetFolder.Root());
    const std::string book = DescribeBook(target.m_lstSection);
    for (const Case& c : cases) {
        ScratchFolder damaged("damaged");
        for (const auto& [name, bytes] : FolderFiles(sourceFolder.Root())) WriteBytes(damaged.Path(name), bytes);
        if (c.from.empty()) {
            ASSERT_TRUE(DeleteFileAt(CString(damaged.Path(c.file))));
        } else {
            std::string bytes = ReadBytes(damaged.Path(c.file));
            const size_t at = c.to.empty() ? bytes.find(c.from) : bytes.find(c.from);
            ASSERT_NE(at, std::string::npos) << c.what;
            // Cutting keeps what comes before only: the file ends there.
            bytes = c.to.empty() ? bytes.substr(0, at) : bytes.replace(at, c.from.size(), c.to);
            WriteBytes(damaged.Path(c.file), bytes);
        }
        int result = 0;
        const std::vector<CString> boxes = Import(damaged.Root(), {IDYES, IDOK, IDOK}, 0, &result);
        EXPECT_EQ(result, 1) << c.what;
        ASSERT_EQ(boxes.size(), 3u) << c.what;
        EXPECT_NE(boxes[1].str().find(c.message), std::string::npos) << c.what << ": " << boxes[1].str();
        EXPECT_EQ(boxes[2], "Daisy図書インポートでエラーが発生しました。") << c.what;
        EXPECT_EQ(DiffFiles(FolderFiles(targetFolder.Root()), files), "") << c.what;
        EXPECT_EQ(DescribeBook(target.m_lstSection), book) << c.what;
        EXPECT_EQ(target.m_bookInfo.m_strTitle, "元の題") << c.what;
        EXPECT_EQ(target.m_bookInfo.m_strAuthor, "") << c.what;
        EXPECT_EQ(target.m_nWaveImportCount, 1) << c.what;
    }
}

TEST_F(BuiltSource, ACancelledConversionKeepsTheSectionsBeforeIt) {
    // Cancel is pressed while the second section's audio is copied.
    CViewWaveTaskHost::SetProgressHook([&](CProgressDlg& dlg) {
        if (dlg.GetMessage().Find("(2/6)") >= 0) dlg.OnCancel();
    });
    int result = 0;
    const auto boxes = Import(sourceFolder.Root(), {IDNO, IDYES}, 0, &result);
    CViewWaveTaskHost::SetProgressHook(nullptr);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(boxes, (std::vector<CString>{"書誌情報を上書きしますか？", "キャンセルしますか？"}));
    ASSERT_EQ(target.m_lstSection.GetCount(), 3);
    EXPECT_EQ(target.m_lstSection.GetAt(0)->m_strHeading, "表紙");
    EXPECT_EQ(target.m_lstSection.GetAt(1)->m_strHeading, "既存");
    EXPECT_FALSE(FileExists(CString(targetFolder.Path("DaisyJoinTemp.wav"))));
}

TEST_F(BuiltSource, WavClipsAreNamedAfterTheCountAndOnlyMonoSixteenBitIsTaken) {
    WriteWav(targetFolder.Path("A000003.wav"), 22050, "");
    WriteWav(targetFolder.Path("A000004.wav"), 22050, "");
    target.m_nWaveImportCount = 3;
    CString name;
    ASSERT_EQ(target.ImportDaisyWavClip(CString(sourceFolder.Path("A000001.wav")), &name, "(1/1)"), 0);
    EXPECT_EQ(name, "A000005.wav");
    EXPECT_EQ(target.m_nWaveImportCount, 5);
    EXPECT_EQ(WavData(targetFolder.Path("A000005.wav")), WavData(sourceFolder.Path("A000001.wav")));

    // A 44100 Hz source becomes one second of 22050 Hz output per second.
    WriteWav(sourceFolder.Path("fast.wav"), 44100, Pattern(88200 * 2, 3));
    ASSERT_EQ(target.ImportDaisyWavClip(CString(sourceFolder.Path("fast.wav")), &name, "(1/1)"), 0);
    EXPECT_EQ(WavData(targetFolder.Path(name.str())).size(), 88200u);

    // Stereo: the header says two channels of 16 bits.
    std::string stereo = ReadBytes(sourceFolder.Path("fast.wav"));
    stereo[22] = 2;
    stereo[32] = 4;
    stereo[28] = static_cast<char>(0x10), stereo[29] = static_cast<char>(0xB1), stereo[30] = 2;  // 176400
    WriteBytes(sourceFolder.Path("stereo.wav"), stereo);
    CUiScript script;
    script.AnswerBox(IDOK).AnswerBox(IDOK).AnswerBox(IDOK);
    EXPECT_EQ(target.ImportDaisyWavClip(CString(sourceFolder.Path("stereo.wav")), &name, "(1/1)"), 8);
    EXPECT_EQ(target.ImportDaisyWavClip(CString(sourceFolder.Path("none.wav")), &name, "(1/1)"), 5);
    EXPECT_EQ(target.ImportDaisyWavClip("", &name, "(1/1)"), 11);
    EXPECT_EQ(script.BoxTexts(), (std::vector<CString>{"このファイルはインポート出来ません。", "ファイルが存在しません。",
                                                       "ファイルパスが設定されていません。"}));
}

// Phrases cut at whole tenths of a second keep their audio through an export to another
// rate: the new project's phrases point at exactly the audio the export wrote, so that a
// build of it joins the same samples again.
TEST_F(BuiltSource, AnExportedProjectBuildsTheAudioItWasGiven) {
    ScratchFolder exported("exported");
    const std::string newFolder = exported.Path("Wide");
    {
        CUiScript script;
        script.AnswerBox(IDNO);
        source.m_bSuppressPlay = 1;
        ASSERT_EQ(source.ExportDaisyBook(2, CString(newFolder)), 0);
    }
    CFakeListView sections{IDC_LIST_SECTION}, phrases{IDC_LIST_PHRASE};
    CKorvaneView opened;
    opened.AttachLists(&sections, &phrases);
    SetUpProject(opened, newFolder);
    TheAppProfile().SetProfileFile(opened.m_strProjectFile);
    opened.LoadProject();
    opened.SetProjectFormat(opened.m_nCompression);
    const auto before = FolderFiles(newFolder);
    CUiScript build;
    build.AnswerBox(IDYES).AnswerBox(IDOK);
    opened.OnDaisyBuild();
    ASSERT_EQ(build.BoxTexts().back(), "完了しました。");
    for (int n = 1; n <= 6; ++n) {
        const std::string name = CString::Formatted("A%06d.wav", n).str();
        EXPECT_EQ(ReadBytes(newFolder + "/" + name), before.at(name)) << name;
    }
}

TEST(DaisyImportDlg, OnlyAnNccFileIsTaken) {
    for (const char* path : {"/b/ncc.html", "/b/NCC.HTM", "ncc.Htm", "/表/NCC.html"})
        EXPECT_TRUE(CDaisyImportDlg::IsNccFileName(path)) << path;
    for (const char* path : {"/b/index.html", "/b/ncc.html.bak", "/ncc.html/x", "/b/xncc.html", ""})
        EXPECT_FALSE(CDaisyImportDlg::IsNccFileName(path)) << path;
}

}  // namespace
