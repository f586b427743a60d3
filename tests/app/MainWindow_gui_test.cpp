#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <wx/button.h>
#include <wx/listctrl.h>
#include <wx/stattext.h>

#include "Accessibility.h"
#include "WxTestApp.h"
#include "app/AboutDlg.h"
#include "app/AppStrings.h"
#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "app/MainFrame.h"
#include "platform/CodePage.h"

namespace {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(EnsureWxApp());
        frame = new CMainFrame();
        view = frame->GetView();
        view->OnInitialUpdate();
        frame->Centre();
        frame->Maximize(true);
        frame->Show(true);
        WaitUntilPainted(*view);
    }
    void TearDown() override {
        if (frame) frame->Destroy();
        WaitUntilGone(frame);
    }
    CMainFrame* frame = nullptr;
    CKorvaneView* view = nullptr;
};

TEST_F(MainWindow, TitleButtonsListsAndTheBlackStatusArea) {
    EXPECT_EQ(FromWx(frame->GetTitle()), "Tolvane Zavi");
    view->m_strProjectFile = "/home/user/本/Korvane.ncc";
    // The title follows at the next painting, which the window system does in its own
    // time (and only once the window is on the screen).
    const CString titled = "Tolvane Zavi - /home/user/本/Korvane.ncc";
    WaitUntil([&] {
        view->Refresh();
        view->Update();
        return FromWx(frame->GetTitle()) == titled;
    });
    EXPECT_EQ(FromWx(frame->GetTitle()), titled);
    EXPECT_FALSE(frame->HasFlag(wxRESIZE_BORDER));
    EXPECT_TRUE(frame->HasFlag(wxMINIMIZE_BOX) && frame->HasFlag(wxMAXIMIZE_BOX));

    const char* keys[11] = {"(Q)", "(W)", "(G)", "(P)", "(M)", "(E)", "(R)", "(D)", "(H)", "(C)", "(V)"};
    for (int i = 0; i < 11; ++i) {
        auto* button = wxDynamicCast(view->FindWindow(IDC_BUTTON_LEVELUP + i), wxButton);
        auto* key = wxDynamicCast(view->FindWindow(IDC_STATIC_KEY_FIRST + i), wxStaticText);
        ASSERT_TRUE(button && key) << i;
        EXPECT_FALSE(button->IsEnabled()) << i;
        EXPECT_TRUE(button->GetBitmap().IsOk()) << i;
        EXPECT_EQ(FromWx(key->GetLabel()), keys[i]);
    }
    view->EnableButtons();
    EXPECT_TRUE(view->FindWindow(IDC_BUTTON_TAIL)->IsEnabled());

    auto* sections = wxDynamicCast(view->FindWindow(IDC_LIST_SECTION), wxListCtrl);
    auto* phrases = wxDynamicCast(view->FindWindow(IDC_LIST_PHRASE), wxListCtrl);
    ASSERT_TRUE(sections && phrases);
    EXPECT_TRUE(sections->HasFlag(wxLC_VIRTUAL));
    EXPECT_EQ(sections->GetColumnCount(), 7);
    EXPECT_EQ(phrases->GetColumnCount(), 8);

    for (int id : {1020, 1013, 1014, 1034, 1021, 1015, 1016, 1035, 1022, 1017, 1036, 1037, 1040, 1039}) {
        wxWindow* w = view->FindWindow(id);
        ASSERT_NE(w, nullptr) << id;
        EXPECT_EQ(w->GetBackgroundColour(), *wxBLACK) << id;
        EXPECT_EQ(w->GetForegroundColour(), *wxWHITE) << id;
    }
}

// The buttons show pictures only: a screen reader reads each by its caption.
TEST_F(MainWindow, ScreenReaderReadsEachButtonByItsCaption) {
    if (!OnPrivateAccessibilityBus()) return;
    constexpr const char* kButtons = R"PY(
for node in walk(application(int(sys.argv[1]))):
    if node.get_role() == Atspi.Role.PUSH_BUTTON:
        print("button=" + (node.get_name() or ""))
    elif node.get_name() in sys.argv[2:]:
        focusable = node.get_state_set().contains(Atspi.StateType.FOCUSABLE)
        print("picture=" + node.get_name() + ("|focusable" if focusable else ""))
)PY";
    // The level meter and its scale are pictures: named, and no stop for Tab.
    const std::vector<std::string> pictures = {Cp932ToUtf8("レベルスケール"), Cp932ToUtf8("レベルメーター")};
    const std::string output =
        RunAccessibilityScriptPumping(kButtons, {std::to_string(::getpid()), pictures[0], pictures[1]});
    EXPECT_EQ(AccessibilityValues(output, "picture"), pictures) << output;
    std::vector<std::string> expected;
    for (const char* caption : {"レベルUp", "レベルDown", "グループ", "ページ", "マーク", "BACK", "NEXT", "Play", "Stop",
                                "Head", "Tail"})
        expected.push_back(Cp932ToUtf8(caption));
    EXPECT_EQ(AccessibilityValues(output, "button"), expected) << output;
}

TEST_F(MainWindow, LayoutFollowsTheClientSize) {
    auto rect = [&](int id) { return view->FindWindow(id)->GetRect(); };
    for (wxSize size : {wxSize(800, 555), wxSize(1234, 901)}) {
        view->LayoutControls(size.x, size.y);
        const int W = size.x, H = size.y, h2 = H / 2;
        EXPECT_EQ(rect(IDC_LIST_SECTION), wxRect(5, 5, W - 10, h2 - 65));
        EXPECT_EQ(rect(IDC_LIST_PHRASE), wxRect(5, h2 + 15, W - 10, h2 - 65));
        EXPECT_EQ(rect(IDC_BUTTON_TAIL), wxRect(7 + 47 * 10, h2 - 55, 44, 41));
        EXPECT_EQ(rect(IDC_STATIC_SECTION_COUNT), wxRect(W - 68, h2 - 53, 60, 26));
        EXPECT_EQ(rect(IDC_STATIC_LEVEL_METER), wxRect(36, H - 26, 324, 15));
    }
}

// The picture is kept in the build folder for a person to look at; the test only checks
// that it was taken and is not empty.
TEST_F(MainWindow, ScreenshotOfTheEmptyEditor) {
    const std::filesystem::path dir = std::filesystem::path(KORVANE_BUILD_DIR) / "screenshots";
    const std::filesystem::path png = dir / "main_window.png";
    std::filesystem::create_directories(dir);
    std::filesystem::remove(png);
    frame->Raise();
    WaitUntilPainted(*frame);
    ASSERT_EQ(std::system(("import -window root '" + png.string() + "' 2>/dev/null").c_str()), 0);
    ASSERT_TRUE(std::filesystem::exists(png));
    EXPECT_GT(std::filesystem::file_size(png), 2000u);
}

// The About box says only what is so: the MP3 coding is the program's own and complete.
TEST_F(MainWindow, TheAboutBoxAndItsPicture) {
    CAboutDlg dlg(frame);
    dlg.m_strTitle = g_strProductTitle;
    dlg.TransferDataToWindow();
    dlg.Show();
    dlg.Raise();
    WaitUntilPainted(dlg);
    const wxString notice = wxStaticCast(dlg.FindWindow(1106), wxStaticText)->GetLabel();
    EXPECT_EQ(notice.Find(ToWx("まだ")), wxNOT_FOUND) << notice.utf8_str();
    EXPECT_EQ(FromWx(wxStaticCast(dlg.FindWindow(1107), wxStaticText)->GetLabel()), g_strProductTitle);
    const std::filesystem::path dir = std::filesystem::path(KORVANE_BUILD_DIR) / "screenshots";
    std::filesystem::create_directories(dir);
    const std::filesystem::path png = dir / "about_box.png";
    std::filesystem::remove(png);
    const wxRect r = dlg.GetScreenRect();
    const std::string crop = std::to_string(r.width) + "x" + std::to_string(r.height) + "+" + std::to_string(r.x) + "+" +
                             std::to_string(r.y);
    EXPECT_EQ(std::system(("import -window root -crop " + crop + " '" + png.string() + "' 2>/dev/null").c_str()), 0);
    EXPECT_TRUE(std::filesystem::exists(png));
    dlg.Hide();
}

}  // namespace
