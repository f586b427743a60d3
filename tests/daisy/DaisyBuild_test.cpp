// The build command as a whole, on a small generated PCM project with the lists
// attached: the book it makes, and the project it leaves when any step fails.

#include <gtest/gtest.h>

#include <filesystem>

#include "../app/FakeListView.h"
#include "DaisyTestSupport.h"
#include "app/ControlIds.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

using namespace daisytest;
namespace fs = std::filesystem;

namespace {

const char kAsk[] = "Daisy図書を生成しますか？";
const char kDone[] = "完了しました。";

// Several steps failing at once, by step and file name.
class ScopedFaults {
public:
    explicit ScopedFaults(std::vector<std::pair<EBookFileStep, std::string>> faults) {
        m_previous = SetBookFileFault([faults](EBookFileStep step, const CString& path) {
            for (const auto& f : faults)
                if (f.first == step && (f.second.empty() || path.str().ends_with("/" + f.second))) return true;
            return false;
        });
    }
    ~ScopedFaults() { SetBookFileFault(m_previous); }

private:
    BookFileFault m_previous;
};

class DaisyBuild : public ::testing::Test {
protected:
    void SetUp() override {
        view.AttachLists(&sectionList, &phraseList);
        SetUpProject(view, folder.Root());
        view.m_bookInfo.m_strTitle = "表とソフト";
        rec1 = Pattern(60000, 1);
        rec2 = Pattern(40000, 2);
        WriteWav(folder.Path("A000001.wav"), 22050, rec1);
        WriteWav(folder.Path("A000002.wav"), 22050, rec2);
        WriteBytes(folder.Path("memo.txt"), "not part of the book");
        fs::create_directories(folder.Path("sub"));
        WriteBytes(folder.Path("sub/keep.txt"), "a folder of the user's");
        AddClipSection(view, 0, "表紙", "A000001.wav", {10000, 8000});
        CSectionInformation* s2 = AddClipSection(view, 1, "ソフト", "A000001.wav", {12000, 20000}, 18000);
        s2->m_lstPhrase.GetAt(1)->m_nPageKind = 1;
        s2->m_lstPhrase.GetAt(1)->m_strPageText = "1";
        CSectionInformation* s3 = AddClipSection(view, 2, "表", "A000002.wav", {15000, 15000, 10000});
        s3->m_lstPhrase.GetAt(2)->m_nGroup = 1;
        // Selecting a row plays it; no player is wanted here.
        view.m_bSuppressPlay = 1;
        view.RefreshSectionList(0);
        view.m_bSuppressPlay = 0;
        ASSERT_EQ(view.SaveProject(), 0);
        before = FolderFiles(folder.Root());
        book = DescribeBook(view.m_lstSection);
    }
    // The build leaves its project folder current; it is removed after the test.
    void TearDown() override { SetCurrentFolder("/"); }
    std::vector<CString> Run(std::vector<int> answers) {
        CUiScript script;
        for (int a : answers) script.AnswerBox(a);
        view.OnDaisyBuild();
        return script.BoxTexts();
    }
    // The project folder and the book are exactly as before the build.
    void ExpectUntouched(const char* what, bool backedUp = true) {
        EXPECT_EQ(DiffFiles(FolderFiles(folder.Root()), before), "") << what;
        EXPECT_EQ(DescribeBook(view.m_lstSection), book) << what;
        EXPECT_EQ(view.m_bSuppressPlay, 0) << what;
        // Once the backup was reached, the project folder is the current folder again.
        if (backedUp) {
            EXPECT_EQ(GetCurrentFolder().str(), folder.Root()) << what;
        }
        EXPECT_EQ(ReadBytes(folder.Path("sub/keep.txt")), "a folder of the user's") << what;
    }

    ScratchFolder folder;
    ScopedClock clock{FixedTime()};
    CFakeListView sectionList{IDC_LIST_SECTION};
    CFakeListView phraseList{IDC_LIST_PHRASE};
    CKorvaneView view;
    std::string rec1, rec2;
    std::map<std::string, std::string> before;
    std::string book;
};

TEST_F(DaisyBuild, BuildsTheBookAndKeepsTheRecordingsInTheBackup) {
    EXPECT_EQ(Run({IDYES, IDOK}), (std::vector<CString>{kAsk, kDone}));

    // One audio file per section, joined from its clips, and the phrases point into it.
    EXPECT_EQ(WavData(folder.Path("A000001.wav")), rec1.substr(0, 18000));
    EXPECT_EQ(WavData(folder.Path("A000002.wav")), rec1.substr(18000, 32000));
    EXPECT_EQ(WavData(folder.Path("A000003.wav")), rec2);
    const CSectionInformation* s2 = view.m_lstSection.GetAt(1);
    EXPECT_EQ(s2->m_lstPhrase.GetAt(0)->m_nStart, 0u);
    EXPECT_EQ(s2->m_lstPhrase.GetAt(1)->m_nStart, 12000u);
    EXPECT_EQ(s2->m_lstPhrase.GetAt(1)->m_strFileName, "A000002.wav");

    for (const char* name : {"NCC.html", "A000001.smil", "A000002.smil", "A000003.smil", "DiscInfo.html", "Korvane.ncc",
                             "SEC000001.sec", "SEC000002.sec", "SEC000003.sec"})
        EXPECT_TRUE(fs::is_regular_file(folder.Path(name))) << name;
    // Every file of the folder went into the backup, the user's own among them.
    EXPECT_FALSE(fs::exists(folder.Path("memo.txt")));
    EXPECT_TRUE(CheckBookLinks(folder.Root()).empty());
    // The backup holds every file the folder held.
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Path("Backup")), before), "");
    // The identifier the NCC gave the book is saved with the project.
    EXPECT_NE(ReadBytes(folder.Path("Korvane.ncc")).find("Discrimination=240315093005\r\n"), std::string::npos);
    const std::string disc = ReadBytes(folder.Path("DiscInfo.html"));
    EXPECT_NE(disc.find("<a href=\"./" + fs::path(folder.Root()).filename().string() + "/NCC.html\">"), std::string::npos);

    // The recordings the undo would point at are in the backup now: no undo.
    EXPECT_EQ(view.m_nSectionUndoKind, 0);
    EXPECT_EQ(view.m_nPhraseUndoKind, 0);
    EXPECT_EQ(view.m_bSuppressPlay, 0);
    EXPECT_EQ(sectionList.SelectedRows(), std::vector<int>{0});
}

TEST_F(DaisyBuild, ASecondBuildEmptiesTheBackupFirst) {
    fs::create_directories(folder.Path("Backup"));
    WriteBytes(folder.Path("Backup/stale.txt"), "from last time");
    WriteBytes(folder.Path("Backup/locked.txt"), "read-only");
    ASSERT_TRUE(SetFileReadOnly(CString(folder.Path("Backup/locked.txt")), true));
    EXPECT_EQ(Run({IDYES, IDOK}), (std::vector<CString>{kAsk, kDone}));
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Path("Backup")), before), "");

    const auto built = FolderFiles(folder.Root());
    EXPECT_EQ(Run({IDYES, IDOK}), (std::vector<CString>{kAsk, kDone}));
    // The second backup is the first book; building it again gives the same files.
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Path("Backup")), built), "");
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Root()), built), "");
}

TEST_F(DaisyBuild, EachFailingStepLeavesTheProjectAsItWas) {
    struct Case {
        EBookFileStep step;
        int occurrence;
        const char* message;
    };
    const Case cases[] = {
        {EBookFileStep::BackupMove, 1, "バックアップ作成時にエラーが発生しました。\nA000001.wav"},
        {EBookFileStep::BackupMove, 4, "バックアップ作成時にエラーが発生しました。\nmemo.txt"},
        {EBookFileStep::BackupSave, 1, "バックアップへのプロジェクト保存時にエラーが発生しました。"},
        {EBookFileStep::SectionWrite, 1, "Waveファイル書込み時にエラーが発生しました。"},
        {EBookFileStep::SectionClose, 3, "Waveファイル書込み時にエラーが発生しました。"},
        {EBookFileStep::Ncc, 1, "NCC.htmlの作成時にエラーが発生しました。"},
        {EBookFileStep::Smil, 2, "Smilファイルの作成時にエラーが発生しました。"},
        {EBookFileStep::DiscInfo, 1, "DiscInfo.htmlの作成時にエラーが発生しました。"},
        {EBookFileStep::ProjectSave, 1, "プロジェクトファイルの保存時にエラーが発生しました。"},
    };
    for (const Case& c : cases) {
        // The identifier a failed build gave the book stays with the book; start afresh.
        view.m_bookInfo.m_strDiscrimination.Empty();
        {
            ScopedFault fault(c.step, c.occurrence);
            EXPECT_EQ(Run({IDYES, IDOK}), (std::vector<CString>{kAsk, c.message})) << c.message;
            EXPECT_TRUE(fault.Fired()) << c.message;
        }
        ExpectUntouched(c.message);
        // A failed backup leaves nothing of the project in the backup folder.
        if (c.step == EBookFileStep::BackupMove || c.step == EBookFileStep::BackupSave)
            EXPECT_TRUE(FolderFiles(folder.Path("Backup")).empty()) << c.message;
        else
            EXPECT_EQ(DiffFiles(FolderFiles(folder.Path("Backup")), before), "") << c.message;
    }
    // Nothing of the failures stays behind: the project still builds.
    EXPECT_EQ(Run({IDYES, IDOK}), (std::vector<CString>{kAsk, kDone}));
}

TEST_F(DaisyBuild, AMissingRecordingRollsBackAfterTheSectionsMessage) {
    fs::remove(folder.Path("A000002.wav"));
    before.erase("A000002.wav");
    EXPECT_EQ(Run({IDYES, IDOK}), (std::vector<CString>{kAsk, "Waveヘッダ情報の取得に失敗しました。"}));
    ExpectUntouched("missing recording");
}

TEST_F(DaisyBuild, AFailedRestoreSaysWhatAndLeavesTheBackupAlone) {
    {
        ScopedFaults faults({{EBookFileStep::Ncc, ""}, {EBookFileStep::RestoreCopy, "A000001.wav"},
                             {EBookFileStep::RestoreDelete, "A000003.wav"}});
        const std::vector<CString> boxes = Run({IDYES, IDOK, IDOK});
        ASSERT_EQ(boxes.size(), 3u);
        EXPECT_EQ(boxes[1], "プロジェクトフォルダを元に戻せませんでした。\n元のファイルはBackupフォルダに残っています。"
                            "\nA000001.wav\nA000003.wav");
        EXPECT_EQ(boxes[2], "NCC.htmlの作成時にエラーが発生しました。");
    }
    // The originals are all in the backup, untouched.
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Path("Backup")), before), "");
    // Everything else came back, and what the build added is gone.
    auto now = FolderFiles(folder.Root());
    EXPECT_EQ(now.count("NCC.html"), 0u);
    EXPECT_EQ(now.count("A000003.wav"), 1u);
    now.erase("A000003.wav");
    // The file that could not be copied back is not deleted either.
    ASSERT_EQ(now.count("A000001.wav"), 1u);
    now["A000001.wav"] = before["A000001.wav"];
    EXPECT_EQ(now, before);
    EXPECT_EQ(DescribeBook(view.m_lstSection), book);
}

TEST_F(DaisyBuild, AFailedMoveBackNamesTheFilesLeftInTheBackup) {
    {
        ScopedFaults faults({{EBookFileStep::BackupSave, ""}, {EBookFileStep::MoveBack, "memo.txt"}});
        const std::vector<CString> boxes = Run({IDYES, IDOK});
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[1], "バックアップへのプロジェクト保存時にエラーが発生しました。\n\n"
                            "次のファイルはBackupフォルダに残っています。\nmemo.txt");
    }
    EXPECT_EQ(ReadBytes(folder.Path("Backup/memo.txt")), before["memo.txt"]);
    EXPECT_FALSE(fs::exists(folder.Path("memo.txt")));
    EXPECT_EQ(DescribeBook(view.m_lstSection), book);
}

TEST_F(DaisyBuild, NothingChangesBeforeTheBackup) {
    // No to the question.
    EXPECT_EQ(Run({IDNO}), std::vector<CString>{kAsk});
    ExpectUntouched("no", false);
    EXPECT_FALSE(fs::exists(folder.Path("Backup")));

    // A file named "Backup" is no backup folder.
    WriteBytes(folder.Path("Backup"), "a file");
    before = FolderFiles(folder.Root());
    EXPECT_EQ(Run({IDYES, IDOK}), (std::vector<CString>{kAsk, "フォルダ作成時にエラーが発生しました。"}));
    ExpectUntouched("Backup is a file", false);
    fs::remove(folder.Path("Backup"));
    before = FolderFiles(folder.Root());

    // A file left in the backup that cannot be deleted stops the build before any move.
    fs::create_directories(folder.Path("Backup"));
    WriteBytes(folder.Path("Backup/stale.txt"), "x");
    {
        ScopedFault fault(EBookFileStep::BackupClear);
        EXPECT_EQ(Run({IDYES, IDOK}),
                  (std::vector<CString>{kAsk, "バックアップフォルダのファイルが削除できません。\nstale.txt"}));
    }
    ExpectUntouched("stale backup file");

    // MP3 projects wait for the encoder.
    view.SetProjectFormat(3);
    EXPECT_EQ(Run({IDYES, IDOK}), (std::vector<CString>{kAsk, "MP3形式のDaisy図書作成にはまだ対応していません。"}));
    ExpectUntouched("mp3", false);
}

TEST_F(DaisyBuild, TheBookCheckCanStopTheBuild) {
    view.m_lstSection.GetAt(1)->m_nLevel = 3;
    book = DescribeBook(view.m_lstSection);
    const std::vector<CString> boxes = Run({IDYES, IDOK});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], "セクション2のレベルが正しくありません。");
    ExpectUntouched("levels", false);
    EXPECT_FALSE(fs::exists(folder.Path("Backup")));
}

}  // namespace
