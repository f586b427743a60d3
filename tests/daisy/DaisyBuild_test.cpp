// The build command as a whole, on a small generated PCM project with the lists
// attached: the book it makes, and the project it leaves when any step fails.

#include <gtest/gtest.h>

#include <filesystem>

#include "DaisyTestSupport.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

using namespace daisytest;
namespace fs = std::filesystem;

namespace {

const char kAsk[] = "Daisy図書を生成しますか？";
const char kDone[] = "完了しました。";

class DaisyBuild : public SmallProject {
protected:
    // The project folder and the book are exactly as before the build; once the backup
    // was reached, the project folder is the current folder again.
    void ExpectUntouched(const char* what, bool backedUp) {
        EXPECT_EQ(DiffFiles(FolderFiles(folder.Root()), before), "") << what;
        EXPECT_EQ(DescribeBook(view.m_lstSection), book) << what;
        EXPECT_EQ(view.m_bSuppressPlay, 0) << what;
        if (backedUp) {
            EXPECT_EQ(GetCurrentFolder().str(), folder.Root()) << what;
        }
        EXPECT_EQ(ReadBytes(folder.Path("sub/keep.txt")), "a folder of the user's") << what;
    }
};

TEST_F(DaisyBuild, BuildsTheBookKeepsTheRecordingsInTheBackupAndBuildsAgain) {
    // A backup left by an earlier build is emptied first, read-only files too.
    fs::create_directories(folder.Path("Backup"));
    WriteBytes(folder.Path("Backup/stale.txt"), "from last time");
    WriteBytes(folder.Path("Backup/locked.txt"), "read-only");
    ASSERT_TRUE(SetFileReadOnly(CString(folder.Path("Backup/locked.txt")), true));
    EXPECT_EQ(Build({IDYES, IDOK}), (std::vector<CString>{kAsk, kDone}));
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Path("Backup")), before), "");

    // One audio file per section, joined from its clips, and the phrases point into it.
    EXPECT_EQ(WavData(folder.Path("A000001.wav")), rec1.substr(0, 18000));
    EXPECT_EQ(WavData(folder.Path("A000002.wav")), rec1.substr(18000, 32000));
    EXPECT_EQ(WavData(folder.Path("A000003.wav")), rec2);
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_lstPhrase.GetAt(1)->m_nStart, 12000u);
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_lstPhrase.GetAt(1)->m_strFileName, "A000002.wav");
    EXPECT_TRUE(fs::is_regular_file(folder.Path("DiscInfo.html")));
    EXPECT_FALSE(fs::exists(folder.Path("memo.txt")));
    EXPECT_EQ(CheckBookLinks(folder.Root()), std::vector<std::string>{});
    // The identifier the NCC gave the book is saved with the project.
    EXPECT_NE(ReadBytes(folder.Path("Korvane.ncc")).find("Discrimination=240315093005\r\n"), std::string::npos);
    // The recordings the undo would point at are in the backup now: no undo.
    EXPECT_EQ(view.m_nSectionUndoKind, 0);
    EXPECT_EQ(view.m_nPhraseUndoKind, 0);
    EXPECT_EQ(view.m_bSuppressPlay, 0);
    EXPECT_EQ(sectionList.SelectedRows(), std::vector<int>{0});

    // The backup of the first build cannot be set aside once the second book stands: the
    // second build gives everything back and names it.
    const auto built = FolderFiles(folder.Root());
    const auto firstBackup = FolderFiles(folder.Path("Backup"));
    const std::string firstBook = DescribeBook(view.m_lstSection);
    {
        ScopedFault fault(EBookFileStep::BackupDiscard);
        EXPECT_EQ(Build({IDYES, IDOK}),
                  (std::vector<CString>{kAsk, CString("前回のBackupフォルダが削除できません。\n" + folder.Path("Backup.earlier"))}));
        EXPECT_TRUE(fault.Fired());
    }
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Root()), built), "");
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Path("Backup")), firstBackup), "");
    EXPECT_EQ(DescribeBook(view.m_lstSection), firstBook);
    // The mark cannot go, and the roll-back cannot give the first backup its place again
    // (a folder appeared in the new one): it waits under the name that brings it back at
    // the next build, never under the one that discards it.
    {
        ScopedFault fault([&](EBookFileStep step, const CString&) {
            if (step != EBookFileStep::BackupRelease) return false;
            fs::create_directories(folder.Path("Backup/new"));
            return true;
        });
        EXPECT_EQ(Build({IDYES, IDOK, IDOK}),
                  (std::vector<CString>{kAsk,
                                        CString("Backupフォルダを元に戻せませんでした。\n前回のBackupフォルダの内容は次の"
                                                "フォルダに残っています。\n" + folder.Path("Backup.earlier")),
                                        CString("Daisy図書作成の完了時にエラーが発生しました。次のファイルが削除できません。\n" +
                                                folder.Path("Backup/Korvane.backup"))}));
    }
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Root()), built), "");
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Path("Backup.earlier")), firstBackup), "");
    EXPECT_EQ(DescribeBook(view.m_lstSection), firstBook);
    fs::remove(folder.Path("Backup/new"));

    // The second backup is the first book; building it again gives the same files, and
    // the first backup is gone at once.
    EXPECT_EQ(Build({IDYES, IDOK}), (std::vector<CString>{kAsk, kDone}));
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Path("Backup")), built), "");
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Root()), built), "");
    EXPECT_FALSE(fs::exists(folder.Path("Backup.discard")));
    EXPECT_FALSE(fs::exists(folder.Path("Backup.earlier")));
}

TEST_F(DaisyBuild, EachFailingStepLeavesTheProjectAsItWas) {
    struct Case {
        EBookFileStep step;
        int occurrence;
        CString message;
    };
    const Case cases[] = {
        {EBookFileStep::BackupMove, 1, "バックアップ作成時にエラーが発生しました。\nA000001.wav"},
        {EBookFileStep::BackupMove, 7, "バックアップ作成時にエラーが発生しました。\nmemo.txt"},
        {EBookFileStep::BackupSave, 1, "バックアップへのプロジェクト保存時にエラーが発生しました。"},
        {EBookFileStep::SectionWrite, 1, "Waveファイル書込み時にエラーが発生しました。"},
        {EBookFileStep::SectionClose, 3, "Waveファイル書込み時にエラーが発生しました。"},
        {EBookFileStep::Ncc, 1, "NCC.htmlの作成時にエラーが発生しました。"},
        {EBookFileStep::Smil, 2, "Smilファイルの作成時にエラーが発生しました。"},
        {EBookFileStep::DiscInfo, 1, "DiscInfo.htmlの作成時にエラーが発生しました。"},
        {EBookFileStep::ProjectSave, 1, "プロジェクトファイルの保存時にエラーが発生しました。"},
        // With the mark the next open would take the book apart: no book is reported.
        {EBookFileStep::BackupRelease, 1,
         CString("Daisy図書作成の完了時にエラーが発生しました。次のファイルが削除できません。\n" +
                 folder.Path("Backup/Korvane.backup"))},
    };
    for (const Case& c : cases) {
        // The identifier a failed build gave the book stays with the book; start afresh.
        view.m_bookInfo.m_strDiscrimination.Empty();
        {
            ScopedFault fault(c.step, c.occurrence);
            EXPECT_EQ(Build({IDYES, IDOK}), (std::vector<CString>{kAsk, c.message})) << c.message.str();
            EXPECT_TRUE(fault.Fired()) << c.message.str();
        }
        ExpectUntouched(c.message.c_str(), true);
        // Every file moved back, and the backup folder the build made is gone again.
        EXPECT_FALSE(fs::exists(folder.Path("Backup"))) << c.message.str();
    }
    // A recording that cannot be read refuses the build before anything moves.
    view.m_bookInfo.m_strDiscrimination.Empty();
    fs::rename(folder.Path("A000002.wav"), folder.Path("A000002.bak"));
    before = FolderFiles(folder.Root());
    EXPECT_EQ(Build({IDYES, IDOK}),
              (std::vector<CString>{kAsk, "セクション3の音声ファイルA000002.wavが読み込めません。（フレーズ1）"}));
    ExpectUntouched("missing recording", false);
    // Nothing of the failures stays behind: the project still builds.
    fs::rename(folder.Path("A000002.bak"), folder.Path("A000002.wav"));
    EXPECT_EQ(Build({IDYES, IDOK}), (std::vector<CString>{kAsk, kDone}));

    // The roll-back cannot remove its mark either (a folder in its place: not even root can
    // unlink that): the files are back and the mark is named. Once the disk lets the mark
    // go, the next open finishes the restore, the backup of the build before in its place.
    const auto built = FolderFiles(folder.Root());
    const auto firstBackup = FolderFiles(folder.Path("Backup"));
    const std::string mark = folder.Path("Backup/Korvane.backup");
    std::string marked;
    {
        ScopedFault fault([&](EBookFileStep step, const CString&) {
            if (step == EBookFileStep::RestoreMove && marked.empty()) {
                marked = ReadBytes(mark);
                fs::remove(mark);
                fs::create_directory(mark);
            }
            return step == EBookFileStep::Ncc;
        });
        EXPECT_EQ(Build({IDYES, IDOK, IDOK}),
                  (std::vector<CString>{kAsk,
                                        CString("Backupフォルダの後始末ができませんでした。次回プロジェクトを開くときに"
                                                "片付けます。\n" + mark),
                                        "NCC.htmlの作成時にエラーが発生しました。"}));
    }
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Root()), built), "");
    fs::remove(mark);
    WriteBytes(mark, marked);
    CUiScript script;
    script.AnswerFile({CString(folder.Path("Korvane.ncc"))});
    view.m_bSuppressPlay = 1;  // the open selects a phrase; no player is wanted
    view.OnProjectOpen();
    EXPECT_EQ(script.BoxTexts(), std::vector<CString>{});
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Root()), built), "");
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Path("Backup")), firstBackup), "");
    EXPECT_FALSE(fs::exists(folder.Path("Backup.earlier")));
}

TEST_F(DaisyBuild, AFailedRollBackKeepsTheBackupUntilTheNextBuildPutsItBack) {
    {
        ScopedFault faults({{EBookFileStep::Ncc, ""}, {EBookFileStep::RestoreMove, "A000002.wav"},
                            {EBookFileStep::RestoreDelete, "A000003.wav"}});
        EXPECT_EQ(Build({IDYES, IDOK, IDOK}),
                  (std::vector<CString>{kAsk,
                                        "プロジェクトフォルダを元に戻せませんでした。\n元のファイルはBackupフォルダに"
                                        "残っています。\nA000002.wav\nA000003.wav",
                                        "NCC.htmlの作成時にエラーが発生しました。"}));
    }
    // The recording that could not move back is still in the backup, marked as such; the
    // section file the build wrote under its name is in the project folder.
    EXPECT_EQ(ReadBytes(folder.Path("Backup/A000002.wav")), before["A000002.wav"]);
    EXPECT_TRUE(fs::exists(folder.Path("Backup/Korvane.backup")));
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Root()), before), " ~A000002.wav +A000003.wav");
    EXPECT_EQ(DescribeBook(view.m_lstSection), book);

    // A mark that does not name the project's files (one of an older version) cannot tell
    // the build's file from the user's: the next build says so and changes nothing.
    const std::string mark = ReadBytes(folder.Path("Backup/Korvane.backup"));
    WriteBytes(folder.Path("Backup/Korvane.backup"), "");
    const auto project = FolderFiles(folder.Root());
    const auto backup = FolderFiles(folder.Path("Backup"));
    EXPECT_EQ(Build({IDYES, IDOK}),
              (std::vector<CString>{kAsk, "前回のDaisy図書作成で元に戻せなかったファイルがBackupフォルダにあります。\n"
                                          "プロジェクトフォルダにも同じ名前のファイルがあるため、Backupフォルダを空にできません。"
                                          "確認してから、もう一度実行して下さい。\nA000002.wav"}));
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Root()), project), "");
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Path("Backup")), backup), "");
    // The mark names the project's files, so what the build wrote under a recording's
    // name is the build's: the next build puts the recording back over it first, removes
    // what the build added, and builds.
    WriteBytes(folder.Path("Backup/Korvane.backup"), mark);
    view.m_bookInfo.m_strDiscrimination.Empty();  // the failed build gave the book its identifier
    EXPECT_EQ(Build({IDYES, IDOK}), (std::vector<CString>{kAsk, kDone}));
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Path("Backup")), before), "");
}

TEST_F(DaisyBuild, AFailedMoveBackNamesTheFilesLeftInTheBackup) {
    {
        ScopedFault faults({{EBookFileStep::BackupSave, ""}, {EBookFileStep::MoveBack, "memo.txt"}});
        EXPECT_EQ(Build({IDYES, IDOK}),
                  (std::vector<CString>{kAsk, "バックアップへのプロジェクト保存時にエラーが発生しました。\n\n"
                                              "次のファイルはBackupフォルダに残っています。\nmemo.txt"}));
    }
    EXPECT_EQ(ReadBytes(folder.Path("Backup/memo.txt")), before["memo.txt"]);
    EXPECT_FALSE(fs::exists(folder.Path("memo.txt")));
    EXPECT_EQ(DescribeBook(view.m_lstSection), book);
}

TEST_F(DaisyBuild, NothingChangesWhenTheBuildStopsBeforeTheBackup) {
    EXPECT_EQ(Build({IDNO}), std::vector<CString>{kAsk});
    ExpectUntouched("no", false);
    EXPECT_FALSE(fs::exists(folder.Path("Backup")));

    // The book check finds a level that skips one.
    view.m_lstSection.GetAt(1)->m_nLevel = 3;
    book = DescribeBook(view.m_lstSection);
    EXPECT_EQ(Build({IDYES, IDOK}), (std::vector<CString>{kAsk, "セクション2のレベルが正しくありません。"}));
    ExpectUntouched("levels", false);
    view.m_lstSection.GetAt(1)->m_nLevel = 1;
    book = DescribeBook(view.m_lstSection);

    // An MP3 project whose recordings are no MP3 streams fails in the section audio and
    // puts everything back.
    view.SetProjectFormat(3);
    ASSERT_EQ(view.SaveProject(), 0);
    before = FolderFiles(folder.Root());
    EXPECT_EQ(Build({IDYES, IDOK}), (std::vector<CString>{kAsk, "MP3DecoderInfoオブジェクトの初期化に失敗しました。"}));
    ExpectUntouched("mp3", true);
    view.SetProjectFormat(1);
    ASSERT_EQ(view.SaveProject(), 0);
    fs::remove_all(folder.Path("Backup"));

    // A file named "Backup" is no backup folder.
    WriteBytes(folder.Path("Backup"), "a file");
    before = FolderFiles(folder.Root());
    EXPECT_EQ(Build({IDYES, IDOK}), (std::vector<CString>{kAsk, "フォルダ作成時にエラーが発生しました。"}));
    ExpectUntouched("Backup is a file", false);
    fs::remove(folder.Path("Backup"));
    before = FolderFiles(folder.Root());

    // A backup of an earlier build that cannot be kept aside stops the build before any
    // move, and stays as it is.
    fs::create_directories(folder.Path("Backup"));
    WriteBytes(folder.Path("Backup/stale.txt"), "x");
    {
        ScopedFault fault(EBookFileStep::BackupClear);
        EXPECT_EQ(Build({IDYES, IDOK}),
                  (std::vector<CString>{kAsk, CString("バックアップ作成時にエラーが発生しました。\n" + folder.Path("Backup"))}));
    }
    ExpectUntouched("earlier backup", true);
    EXPECT_EQ(FolderFiles(folder.Path("Backup")), (std::map<std::string, std::string>{{"stale.txt", "x"}}));
}

}  // namespace

namespace {

// Files the program only moves keep their names, whatever CP932 can spell: a note named
// with a wave dash (U+301C) beside one with a full-width tilde goes into the backup and
// back as itself.
TEST_F(DaisyBuild, NamesCp932CannotHoldGoAndComeBackAsThemselves) {
    const std::string dash = folder.Path("\xE7\xAC\xAC" "1\xE3\x80\x9C" "3\xE7\xAB\xA0.txt");  // 第1〜3章.txt
    const std::string tilde = folder.Path("\xE7\xAC\xAC" "1\xEF\xBD\x9E" "3\xE7\xAB\xA0.txt");  // 第1～3章.txt
    WriteBytes(dash, "dash");
    WriteBytes(tilde, "tilde");
    {
        ScopedFault fault(EBookFileStep::Ncc);
        EXPECT_EQ(Build({IDYES, IDOK}), (std::vector<CString>{kAsk, "NCC.htmlの作成時にエラーが発生しました。"}));
    }
    EXPECT_EQ(ReadBytes(dash), "dash");
    EXPECT_EQ(ReadBytes(tilde), "tilde");
    view.m_bookInfo.m_strDiscrimination.Empty();
    EXPECT_EQ(Build({IDYES, IDOK}), (std::vector<CString>{kAsk, kDone}));
    EXPECT_EQ(ReadBytes(folder.Path("Backup/\xE7\xAC\xAC" "1\xE3\x80\x9C" "3\xE7\xAB\xA0.txt")), "dash");
    EXPECT_EQ(ReadBytes(folder.Path("Backup/\xE7\xAC\xAC" "1\xEF\xBD\x9E" "3\xE7\xAB\xA0.txt")), "tilde");
}

}  // namespace

namespace {

// A recording cut short on the disk: the build says which section and file, and leaves
// the project as it was, instead of a finished book with silence where the narration was.
// The backup of the build before is the last whole copy of the narration: it stays, byte
// for byte.
TEST_F(DaisyBuild, ARecordingCutShortRefusesTheBuildAndKeepsTheBackupOfTheBuildBefore) {
    // The header still claims the whole recording: the check goes by what the file holds
    // and refuses before the backup is touched, not in the section audio after it moved.
    std::vector<EBookFileStep> reached;
    auto watch = std::make_unique<ScopedFault>([&](EBookFileStep step, const CString&) {
        reached.push_back(step);
        return false;
    });
    const std::string bytes = ReadBytes(folder.Path("A000002.wav"));
    WriteBytes(folder.Path("A000002.wav"), bytes.substr(0, bytes.size() - 5000));
    before = FolderFiles(folder.Root());
    EXPECT_EQ(Build({IDYES, IDOK}),
              (std::vector<CString>{kAsk, "セクション3の音声ファイルA000002.wavが途中で切れています。（フレーズ3）"}));
    ExpectUntouched("cut short", false);
    EXPECT_FALSE(fs::exists(folder.Path("Backup")));
    EXPECT_EQ(reached.size(), 0u);

    WriteBytes(folder.Path("A000002.wav"), bytes);
    ASSERT_EQ(Build({IDYES, IDOK}), (std::vector<CString>{kAsk, kDone}));
    reached.clear();
    const std::string built = ReadBytes(folder.Path("A000001.wav"));
    WriteBytes(folder.Path("A000001.wav"), built.substr(0, built.size() - 3000));
    before = FolderFiles(folder.Root());
    book = DescribeBook(view.m_lstSection);
    const auto backup = FolderFiles(folder.Path("Backup"));
    EXPECT_EQ(Build({IDYES, IDOK}),
              (std::vector<CString>{kAsk, "セクション1の音声ファイルA000001.wavが途中で切れています。（フレーズ2）"}));
    ExpectUntouched("built once, then cut short", false);
    EXPECT_EQ(reached.size(), 0u);
    watch.reset();
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Path("Backup")), backup), "");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.Root()), fs::directory_iterator()), std::ssize(before) + 2);
}

}  // namespace

namespace {

// A project opened read-only still gets its project file when the build has turned it
// into a book: the read-only one is in the backup by then.
TEST_F(DaisyBuild, AProjectOpenedReadOnlyKeepsAProjectFileAfterTheBuild) {
    ASSERT_TRUE(SetFileReadOnly(CString(folder.Path("Korvane.ncc")), true));
    before = FolderFiles(folder.Root());
    view.m_strUnsavableFolder = view.m_strProjectFolder;
    EXPECT_EQ(Build({IDYES, IDOK}), (std::vector<CString>{kAsk, kDone}));
    EXPECT_TRUE(fs::is_regular_file(folder.Path("Korvane.ncc")));
    EXPECT_NE(ReadBytes(folder.Path("SEC000003.sec")).find("A000003.wav"), std::string::npos);
    EXPECT_EQ(DiffFiles(FolderFiles(folder.Path("Backup")), before), "");
}

}  // namespace
