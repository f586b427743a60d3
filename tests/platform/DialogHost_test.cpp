#include <gtest/gtest.h>

#include "UiScriptFaults.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"

TEST(Wildcard, OriginalFiltersBecomeToolkitWildcards) {
    const struct {
        const char* filter;
        bool fold;
        const char* wildcard;
    } cases[] = {
        {"", true, ""},
        {"ﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙ(Korvane.ncc)|Korvane.ncc|", false, "ﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙ(Korvane.ncc)|Korvane.ncc"},
        {"ﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙ(Korvane.ncc)|Korvane.ncc|", true,
         "ﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙ(Korvane.ncc)|[kK][oO][rR][vV][aA][nN][eE].[nN][cC][cC]"},
        // A text without a pattern shows every file.
        {"ﾌﾟﾛｼﾞｪｸﾄ", false, "ﾌﾟﾛｼﾞｪｸﾄ|*"},
        // "*.*" matches names without a dot on the original.
        {"Wave(*.wav)|*.wav|すべて(*.*)|*.*||", false, "Wave(*.wav)|*.wav|すべて(*.*)|*"},
        {"音声|*.wav; *.mp3|", true, "音声|*.[wW][aA][vV];*.[mM][pP]3"},
        // "ポ" is 83 7C: its second byte is "|" and must not split the text.
        {"ポップ|*.mp3|", true, "ポップ|*.[mM][pP]3"},
        {"表ソ|*.txt|", false, "表ソ|*.txt"},
    };
    for (const auto& c : cases) EXPECT_EQ(WildcardFromFilter(c.filter, c.fold), c.wildcard) << c.filter;
}

TEST(Wildcard, DoubleByteCharactersInPatternsAreNotFolded) {
    // "ア" is 83 41: its second byte is "A" and must not become a class.
    EXPECT_EQ(WildcardFromFilter("x|ア*.a|", true), "x|ア*.[aA]");
}

TEST(DialogResult, StandardIdsMapBothWaysAndOthersPassThrough) {
    for (int r : {IDOK, IDCANCEL, IDYES, IDNO}) EXPECT_EQ(DialogResultFromWx(WxIdFromDialogResult(r)), r);
    EXPECT_EQ(DialogResultFromWx(3), 3);
    EXPECT_EQ(WxIdFromDialogResult(3), 3);
}

TEST(ChooserScript, FileChooserGetsScriptedPathsAndRecordsTheRequest) {
    ScopedFaultLog log;
    CUiScript script;
    script.AnswerFile({"/home/u/録音/a.wav", "/home/u/録音/b.mp3"}).CancelFile();
    CFileChooser request;
    request.title = "音声ファイルの選択";
    request.folder = "/home/u/録音";
    request.filter = "Wave|*.wav|";
    request.multiple = true;
    request.mustExist = true;
    std::vector<CString> paths{"stale"};
    EXPECT_TRUE(ChooseFile(nullptr, request, paths));
    EXPECT_EQ(paths, (std::vector<CString>{"/home/u/録音/a.wav", "/home/u/録音/b.mp3"}));
    EXPECT_FALSE(ChooseFile(nullptr, request, paths));
    EXPECT_TRUE(paths.empty());

    ASSERT_EQ(script.Records().size(), 2u);
    const CUiRecord& r = script.Records()[0];
    EXPECT_EQ(r.kind, CUiKind::File);
    EXPECT_EQ(r.caption, "音声ファイルの選択");
    EXPECT_EQ(r.chooser.folder, "/home/u/録音");
    EXPECT_TRUE(r.chooser.multiple);
    EXPECT_EQ(r.result, IDOK);
    EXPECT_EQ(script.Records()[1].result, IDCANCEL);
    EXPECT_TRUE(log.faults.empty());
}

TEST(ChooserScript, SeveralPathsForASingleFileChooserIsAFault) {
    ScopedFaultLog log;
    CUiScript script;
    script.AnswerFile({"/a/Korvane.ncc", "/b/Korvane.ncc"});
    std::vector<CString> paths;
    CFileChooser request;
    request.title = "プロジェクトを開く";
    request.fileName = "Korvane.ncc";
    EXPECT_TRUE(ChooseFile(nullptr, request, paths));
    EXPECT_EQ(paths, std::vector<CString>{"/a/Korvane.ncc"});
    EXPECT_EQ(log.faults.size(), 1u);
}

TEST(ChooserScript, FolderChooserAnswersAndCancels) {
    ScopedFaultLog log;
    CUiScript script;
    script.AnswerFolder("/home/u/図書").CancelFolder();
    CString path = "unchanged";
    EXPECT_TRUE(ChooseFolder(nullptr, "フォルダの選択", "/home/u", path));
    EXPECT_EQ(path, "/home/u/図書");
    path = "unchanged";
    EXPECT_FALSE(ChooseFolder(nullptr, "フォルダの選択", "/home/u", path));
    EXPECT_EQ(path, "unchanged");
    ASSERT_EQ(script.Records().size(), 2u);
    EXPECT_EQ(script.Records()[0].chooser.folder, "/home/u");
    EXPECT_TRUE(log.faults.empty());
}

TEST(ChooserScript, UnexpectedChoosersAreFaultsAndCountAsCancelled) {
    ScopedFaultLog log;
    CUiScript script;
    std::vector<CString> paths;
    CString path;
    EXPECT_FALSE(ChooseFile(nullptr, CFileChooser{}, paths));
    EXPECT_FALSE(ChooseFolder(nullptr, "", "", path));
    script.AnswerBox(IDOK);  // of the wrong kind: stays for the box
    EXPECT_FALSE(ChooseFolder(nullptr, "", "", path));
    EXPECT_EQ(KvMessageBox(nullptr, "x", "y", MB_OK), IDOK);
    EXPECT_EQ(log.faults.size(), 3u);
}
