#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <wx/button.h>
#include <wx/listctrl.h>
#include <wx/stattext.h>

#include "WxTestApp.h"
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
        PumpEvents(30);
    }
    void TearDown() override {
        if (frame) frame->Destroy();
        PumpEvents(5);
    }
    wxRect RectOf(int id) const {
        wxWindow* w = view->FindWindow(id);
        return w ? w->GetRect() : wxRect();
    }
    CMainFrame* frame = nullptr;
    CKorvaneView* view = nullptr;
};

TEST_F(MainWindow, TitleFollowsTheProjectFile) {
    EXPECT_EQ(FromWx(frame->GetTitle()), "Tolvane Zavi");
    view->m_strProjectFile = "/home/user/本/Korvane.ncc";
    view->Refresh();
    view->Update();
    PumpEvents(10);
    EXPECT_EQ(FromWx(frame->GetTitle()), "Tolvane Zavi - /home/user/本/Korvane.ncc");
}

TEST_F(MainWindow, NoSizingBorder) {
    EXPECT_FALSE(frame->HasFlag(wxRESIZE_BORDER));
    EXPECT_TRUE(frame->HasFlag(wxMINIMIZE_BOX));
    EXPECT_TRUE(frame->HasFlag(wxMAXIMIZE_BOX));
}

TEST_F(MainWindow, ElevenButtonsWithKeyLabelsStartDisabled) {
    const char* keys[11] = {"(Q)", "(W)", "(G)", "(P)", "(M)", "(E)", "(R)", "(D)", "(H)", "(C)", "(V)"};
    for (int i = 0; i < 11; ++i) {
        auto* button = wxDynamicCast(view->FindWindow(IDC_BUTTON_LEVELUP + i), wxButton);
        ASSERT_NE(button, nullptr) << i;
        EXPECT_FALSE(button->IsEnabled()) << i;
        EXPECT_TRUE(button->GetBitmap().IsOk()) << i;
        auto* key = wxDynamicCast(view->FindWindow(IDC_STATIC_KEY_FIRST + i), wxStaticText);
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(FromWx(key->GetLabel()), keys[i]);
    }
    view->EnableButtons();
    EXPECT_TRUE(view->FindWindow(IDC_BUTTON_TAIL)->IsEnabled());
}

TEST_F(MainWindow, LayoutFollowsTheClientSize) {
    for (wxSize size : {wxSize(800, 555), wxSize(1234, 901)}) {
        view->LayoutControls(size.x, size.y);
        const int W = size.x, H = size.y, h2 = H / 2;
        EXPECT_EQ(RectOf(IDC_LIST_SECTION), wxRect(5, 5, W - 10, h2 - 65));
        EXPECT_EQ(RectOf(IDC_LIST_PHRASE), wxRect(5, h2 + 15, W - 10, h2 - 65));
        EXPECT_EQ(RectOf(IDC_BUTTON_TAIL), wxRect(7 + 47 * 10, h2 - 55, 44, 41));
        EXPECT_EQ(RectOf(IDC_STATIC_KEY_LAST), wxRect(7 + 47 * 10, h2 - 10, 44, 16));
        EXPECT_EQ(RectOf(IDC_STATIC_SECTION_COUNT), wxRect(W - 68, h2 - 53, 60, 26));
        EXPECT_EQ(RectOf(IDC_STATIC_PHRASE_NO), wxRect(W - 140, h2 - 22, 60, 26));
        EXPECT_EQ(RectOf(IDC_STATIC_LEVEL_METER), wxRect(36, H - 26, 324, 15));
        EXPECT_EQ(RectOf(IDC_STATIC_VOLUME), wxRect(735, H - 22, 45, 17));
    }
}

TEST_F(MainWindow, StatusLabelsAreWhiteOnBlack) {
    for (int id : {1020, 1013, 1014, 1034, 1021, 1015, 1016, 1035, 1022, 1017, 1036, 1037, 1040, 1039}) {
        wxWindow* w = view->FindWindow(id);
        ASSERT_NE(w, nullptr) << id;
        EXPECT_EQ(w->GetBackgroundColour(), *wxBLACK) << id;
        EXPECT_EQ(w->GetForegroundColour(), *wxWHITE) << id;
    }
    EXPECT_NE(view->FindWindow(IDC_STATIC_KEY_FIRST)->GetBackgroundColour(), *wxBLACK);
}

TEST_F(MainWindow, ListsAreVirtualReportListsWithTheirColumns) {
    auto* sections = wxDynamicCast(view->FindWindow(IDC_LIST_SECTION), wxListCtrl);
    auto* phrases = wxDynamicCast(view->FindWindow(IDC_LIST_PHRASE), wxListCtrl);
    ASSERT_TRUE(sections && phrases);
    EXPECT_TRUE(sections->HasFlag(wxLC_VIRTUAL));
    EXPECT_EQ(sections->GetColumnCount(), 7);
    EXPECT_EQ(phrases->GetColumnCount(), 8);
    EXPECT_EQ(sections->GetColumnWidth(2), 200);
    EXPECT_EQ(phrases->GetColumnWidth(7), 200);
}

TEST_F(MainWindow, ScreenshotOfTheEmptyEditor) {
    // Kept in the build folder for a person to look at; the test only checks that the
    // picture was taken and is not empty.
    std::filesystem::path dir = std::filesystem::path(KORVANE_BUILD_DIR) / "screenshots";
    std::filesystem::create_directories(dir);
    std::filesystem::path png = dir / "main_window.png";
    std::filesystem::remove(png);
    frame->Raise();
    PumpEvents(30);
    std::string cmd = "import -window root '" + png.string() + "' 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    ASSERT_TRUE(std::filesystem::exists(png));
    EXPECT_GT(std::filesystem::file_size(png), 2000u);
}

}  // namespace
