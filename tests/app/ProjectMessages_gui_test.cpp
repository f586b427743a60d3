// The real message boxes of a failed save, a damaged project and a read-only project, as
// the user sees them: each is shown on the virtual screen, a picture of it is kept in the
// build folder for a person to look at, and then it is closed.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <wx/dialog.h>
#include <wx/timer.h>

#include "WxTestApp.h"
#include "platform/MessageBox.h"

namespace {

class ProjectMessages : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(EnsureWxApp()); }
};

// Shows the box; once it is up, takes the picture and presses Return. The box's answer.
int ShowAndPicture(const CString& text, const CString& caption, long style, const std::string& name) {
    const std::filesystem::path dir = std::filesystem::path(KORVANE_BUILD_DIR) / "screenshots";
    std::filesystem::create_directories(dir);
    const std::filesystem::path png = dir / (name + ".png");
    std::filesystem::remove(png);
    wxTimer timer;
    int ticks = 0;
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (++ticks == 1) {
            std::system(("import -window root '" + png.string() + "' 2>/dev/null").c_str());
            return;
        }
        // Without a window manager a key press goes wherever the pointer is: close the box
        // itself, as the answer is not what is looked at here.
        for (wxWindow* w : wxTopLevelWindows)
            if (auto* dialog = dynamic_cast<wxDialog*>(w); dialog && dialog->IsModal()) {
                dialog->EndModal(wxID_CANCEL);
                break;
            }
    });
    timer.Start(700);
    const int answer = KvMessageBox(nullptr, text, caption, style);
    timer.Stop();
    EXPECT_TRUE(std::filesystem::exists(png)) << name;
    if (std::filesystem::exists(png)) {
        EXPECT_GT(std::filesystem::file_size(png), 2000u) << name;
    }
    return answer;
}

TEST_F(ProjectMessages, TheBoxesOfFailedSavesAndDamagedProjects) {
    ShowAndPicture("プロジェクトファイルが壊れているため開けません。\n/home/user/録音/第一巻\n\n"
                   "Korvane.ncc：セクション数12に対して7個しか読み込めません。\n"
                   "SEC000003.sec：フレーズ数40に対して12個しか読み込めません。\nSEC000009.sec：ファイルがありません。",
                   "エラー", MB_OK | MB_ICONSTOP, "damaged_project");
    ShowAndPicture("プロジェクトの保存時にエラーが発生しました。\n/home/user/録音/第一巻\n\n保存せずに終了しますか？", "確認",
                   MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, "quit_without_saving");
    ShowAndPicture("このプロジェクトの変更は保存できません。\nプロジェクトファイルが読み取り専用です。\n/home/user/録音/第一巻",
                   "確認", MB_OK | MB_ICONWARNING, "read_only_project");
}

}  // namespace
