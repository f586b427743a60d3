// Disc information texts and the checks of the disc-writing hand-off before the
// plug-in is asked.

#include <gtest/gtest.h>

#include <filesystem>

#include "DaisyTestSupport.h"
#include "daisy/DiscInfoDlg.h"
#include "platform/DialogHost.h"
#include "platform/DiscWritePlugin.h"
#include "platform/FileSystem.h"
#include "platform/FolderSize.h"
#include "platform/MessageBox.h"

using namespace daisytest;

namespace {

TEST(DiscInfo, SizeAndTimeTexts) {
    const std::pair<uint64_t, const char*> sizes[] = {
        {0, "0 KB"},          {1000, "0 KB"},           {1023, "0 KB"},
        {1024, "1.00KB"},     {1536, "1.50KB"},         {1048576, "1.00MB"},
        {1610612736, "1.50GB"}, {5ull << 30, "5.00GB"}, {1ull << 42, "4096.00GB"},
    };
    for (const auto& [bytes, text] : sizes) EXPECT_EQ(CDiscInfoDlg::SizeText(bytes), text) << bytes;
    EXPECT_EQ(CDiscInfoDlg::TimeText(3725), "01：02：05");
    EXPECT_EQ(CDiscInfoDlg::TimeText(0), "00：00：00");
    EXPECT_EQ(CDiscInfoDlg::TimeText(360000), "100：00：00");
    // 88200 × 3725 bytes of section audio pass 2^32 bytes after 13.5 hours; in 64 bits
    // fifteen hours of 44.1 kHz audio still read fifteen hours.
    CKorvaneView view;
    SetUpProject(view, "");
    for (int i = 0; i < 3; ++i) view.m_lstSection.Add(std::make_unique<CSectionInformation>())->m_nSectionTime = 5u * 3600u * 88200u;
    EXPECT_EQ(CDiscInfoDlg::TimeText(view.GetTotalBytes() / 88200), "15：00：00");
}

TEST(DiscInfo, FolderSizeCountsFilesOnlyIn64Bits) {
    ScratchFolder folder;
    WriteBytes(folder.Path("a.wav"), std::string(1000, 'a'));
    WriteBytes(folder.Path("b.txt"), std::string(536, 'b'));
    std::filesystem::create_directories(folder.Path("Backup"));
    WriteBytes(folder.Path("Backup/c.wav"), std::string(5000, 'c'));
    // A name CP932 cannot spell still takes space.
    WriteBytes(folder.Path("\xC3\xA9t\xC3\xA9.txt"), std::string(512, 'e'));
    // A link is no file of the book (the disc does not hold it), wherever it points.
    std::filesystem::create_symlink(folder.Path("Backup/c.wav"), folder.Path("link.wav"));
    uint64_t bytes = 0;
    ASSERT_TRUE(GetFolderFilesSize(CString(folder.Root()), bytes));
    EXPECT_EQ(bytes, 2048u);
    EXPECT_FALSE(GetFolderFilesSize(CString(folder.Path("missing")), bytes));
    EXPECT_EQ(bytes, 0u);
}

class DiscWrite : public ::testing::Test {
protected:
    // The scratch folder's name is long; the project is a folder of a usual name in it.
    void SetUp() override {
        std::filesystem::create_directories(project.Path("Book"));
        SetUpProject(view, project.Path("Book"));
        view.m_strExeFolder = CString(std::string(KORVANE_BUILD_DIR) + "/");
    }
    std::vector<CString> Run() {
        CUiScript script;
        script.AnswerBox(IDOK);
        view.OnDiscWrite();
        return script.BoxTexts();
    }
    ScratchFolder project{"project"};
    CKorvaneView view;
};

TEST_F(DiscWrite, ChecksComeBeforeThePlugIn) {
    // Sixteen full-width characters are 32 bytes; fifteen pass.
    CString name16, name15;
    for (int i = 0; i < 16; ++i) name16 += "表";
    for (int i = 0; i < 15; ++i) name15 += "表";
    view.m_strProjectFolder = CString(project.Root()) + "/" + name16;
    EXPECT_EQ(Run(), std::vector<CString>{"プロジェクト名を全角15文字以内、または半角30文字以内に変更して下さい。"});
    view.m_strProjectFolder = CString(project.Root()) + "/" + name15;
    EXPECT_EQ(Run(), std::vector<CString>{"Daisy図書を作成してから実行して下さい。"});
}

TEST_F(DiscWrite, WithoutThePlugInTheDialogCannotOpen) {
    WriteBytes(project.Path("Book/ncc.HTML"), "<html></html>");
    ScratchFolder empty{"empty"};
    view.m_strExeFolder = CString(empty.Root() + "/");
    EXPECT_EQ(Run(), std::vector<CString>{"ダイアログが開けませんでした。"});
    // A library without the function is no plug-in either.
    WriteBytes(empty.Path(kDiscWritePluginFile), "not a library");
    EXPECT_EQ(Run(), std::vector<CString>{"ダイアログが開けませんでした。"});
    EXPECT_EQ(ShowDiscWriteDialog("relative/", CString(project.Root()), "p"), -1);
}

TEST_F(DiscWrite, ThePlugInWithoutAToolkitShowsNothing) {
    WriteBytes(project.Path("Book/NCC.html"), "<html></html>");
    // This program has no toolkit running: the plug-in cannot show its dialog and says so.
    EXPECT_EQ(Run(), std::vector<CString>{"ダイアログが開けませんでした。"});
}

}  // namespace
