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
        {"ﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙ(Korvane.ncc)|Korvane.ncc|", false, "ﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙ(Korvane.ncc)|Korvane.ncc"},
        // A text without a pattern shows every file.
        {"ﾌﾟﾛｼﾞｪｸﾄ", false, "ﾌﾟﾛｼﾞｪｸﾄ|*"},
        // "*.*" matches names without a dot on the original.
        {"Wave(*.wav)|*.wav|すべて(*.*)|*.*||", false, "Wave(*.wav)|*.wav|すべて(*.*)|*"},
        {"音声|*.wav; *.mp3|", true, "音声|*.[wW][aA][vV];*.[mM][pP]3"},
        // "ポ" is 83 7C: its second byte is "|" and must not split the text.
        {"ポップ|*.mp3|", true, "ポップ|*.[mM][pP]3"},
        // "ア" is 83 41: its second byte is "A" and must not become a class.
        {"x|ア*.a|", true, "x|ア*.[aA]"},
    };
    for (const auto& c : cases) EXPECT_EQ(WildcardFromFilter(c.filter, c.fold), c.wildcard) << c.filter;
}

TEST(ChooserScript, ChoosersGetScriptedAnswersAndRecordTheRequest) {
    ScopedFaultLog log;
    CUiScript script;
    script.AnswerFile({"/home/u/録音/a.wav", "/home/u/録音/b.mp3"}).CancelFile();
    script.AnswerFolder("/home/u/図書").CancelFolder();
    CFileChooser request;
    request.title = "音声ファイルの選択";
    request.folder = "/home/u/録音";
    request.multiple = true;
    std::vector<CString> paths{"stale"};
    EXPECT_TRUE(ChooseFile(nullptr, request, paths));
    EXPECT_EQ(paths, (std::vector<CString>{"/home/u/録音/a.wav", "/home/u/録音/b.mp3"}));
    EXPECT_FALSE(ChooseFile(nullptr, request, paths));
    EXPECT_TRUE(paths.empty());
    CString path = "unchanged";
    EXPECT_TRUE(ChooseFolder(nullptr, "フォルダの選択", "/home/u", path));
    EXPECT_EQ(path, "/home/u/図書");
    path = "unchanged";
    EXPECT_FALSE(ChooseFolder(nullptr, "フォルダの選択", "/home/u", path));
    EXPECT_EQ(path, "unchanged");

    const auto& r = script.Records();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].kind, CUiKind::File);
    EXPECT_EQ(r[0].caption, "音声ファイルの選択");
    EXPECT_TRUE(r[0].chooser.multiple);
    EXPECT_EQ(r[0].result, IDOK);
    EXPECT_EQ(r[1].result, IDCANCEL);
    EXPECT_EQ(r[2].chooser.folder, "/home/u");
    EXPECT_TRUE(log.faults.empty());
}

TEST(ChooserScript, UnexpectedChoosersAndSeveralPathsForOneFileAreFaults) {
    ScopedFaultLog log;
    CUiScript script;
    std::vector<CString> paths;
    CString path;
    EXPECT_FALSE(ChooseFile(nullptr, CFileChooser{}, paths));  // counts as cancelled
    EXPECT_FALSE(ChooseFolder(nullptr, "", "", path));
    script.AnswerBox(IDOK);  // of the wrong kind: stays for the box
    EXPECT_FALSE(ChooseFolder(nullptr, "", "", path));
    EXPECT_EQ(KvMessageBox(nullptr, "x", "y", MB_OK), IDOK);
    EXPECT_EQ(log.faults.size(), 3u);

    script.AnswerFile({"/a/Korvane.ncc", "/b/Korvane.ncc"});
    EXPECT_TRUE(ChooseFile(nullptr, CFileChooser{}, paths));
    EXPECT_EQ(paths, std::vector<CString>{"/a/Korvane.ncc"});
    EXPECT_EQ(log.faults.size(), 4u);
}
