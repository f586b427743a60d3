// The layer's pieces for dialogs: key hook and Enter, multi-line edit text, the scroll
// bar adapter, focus across modal windows, and message boxes with their icons.

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/frame.h>
#include <wx/msgdlg.h>
#include <wx/generic/msgdlgg.h>
#include <wx/scrolbar.h>
#include <wx/textctrl.h>

#include "Screenshot.h"
#include "TestModalHook.h"
#include "WxTestApp.h"
#include "platform/CodePage.h"
#include "platform/DialogHost.h"
#include "platform/DialogKeys.h"
#include "platform/DropDown.h"
#include "platform/EditText.h"
#include "platform/FocusKeeper.h"
#include "platform/FontMap.h"
#include "platform/KeyMap.h"
#include "platform/MessageBox.h"
#include "platform/ScrollBarAdapter.h"

namespace {

class DialogPieces : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(EnsureWxApp()); }
};

void PressKey(wxWindow& target, int keyCode) {
    wxKeyEvent event(wxEVT_CHAR_HOOK);
    event.m_keyCode = keyCode;
    event.SetEventObject(&target);
    target.ProcessWindowEvent(event);
}

TEST_F(DialogPieces, EnterPressesTheFocusedButtonElseTheDefaultOne) {
    wxDialog dlg(nullptr, wxID_ANY, wxASCII_STR("t"));
    auto* choice = new wxChoice(&dlg, 100);
    choice->Append(wxASCII_STR("a"));
    auto* ok = new wxButton(&dlg, wxID_OK, wxASCII_STR("OK"));
    auto* other = new wxButton(&dlg, 200, wxASCII_STR("X"));
    ok->SetDefault();
    std::vector<int> pressed;
    dlg.Bind(wxEVT_BUTTON, [&](wxCommandEvent& e) { pressed.push_back(e.GetId()); });
    BindDialogKeys(dlg, [&](int vk, const wxKeyEvent&) { return PressButtonForEnter(dlg, vk); });
    dlg.Show();
    WaitUntilPainted(dlg);
    choice->SetFocus();
    WaitUntil([&] { return wxWindow::FindFocus() == choice; });
    PressKey(dlg, WXK_RETURN);
    other->SetFocus();
    WaitUntil([&] { return wxWindow::FindFocus() == other; });
    PressKey(dlg, WXK_RETURN);
    PressKey(dlg, WXK_NUMPAD_ENTER);
    PressKey(dlg, 'A');  // other keys go on to the focused control
    EXPECT_EQ(pressed, (std::vector<int>{wxID_OK, 200, 200}));
    dlg.Hide();
}

TEST_F(DialogPieces, MultiLineEditsHandOutCrLfAndSingleLineEditsPlainText) {
    wxFrame frame(nullptr, wxID_ANY, wxASCII_STR("t"));
    auto* multi = new wxTextCtrl(&frame, 1, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxTE_MULTILINE);
    auto* single = new wxTextCtrl(&frame, 2);
    SetEditText(*multi, "一\r\n二");
    EXPECT_EQ(FromWx(multi->GetValue()), "一\n二");
    EXPECT_EQ(GetEditText(*multi), "一\r\n二");
    EXPECT_EQ(GetEditText(*multi).GetLength(), 6);  // the line end counts two bytes
    SetEditText(*single, "表");
    EXPECT_EQ(GetEditText(*single), "表");
}

TEST_F(DialogPieces, ScrollBarReportsCodesWithThePositionFromBeforeAndShowsWhatTheOwnerSets) {
    wxFrame frame(nullptr, wxID_ANY, wxASCII_STR("t"));
    auto* bar = new wxScrollBar(&frame, 1, wxDefaultPosition, wxSize(300, 20));
    CScrollBarAdapter adapter;
    std::vector<std::tuple<int, int, int>> seen;  // code, track position, position during the handler
    adapter.Attach(bar, [&](int code, int track) {
        seen.emplace_back(code, track, adapter.GetScrollPos());
        if (code == SB_LINERIGHT) adapter.SetScrollPos(adapter.GetScrollPos() + 10);
    });
    adapter.SetScrollRange(0, 1000);
    adapter.SetScrollPos(40);
    const struct {
        wxEventType type;
        int code;
    } events[] = {
        {wxEVT_SCROLL_LINEUP, SB_LINELEFT},        {wxEVT_SCROLL_LINEDOWN, SB_LINERIGHT},
        {wxEVT_SCROLL_PAGEUP, SB_PAGELEFT},        {wxEVT_SCROLL_PAGEDOWN, SB_PAGERIGHT},
        {wxEVT_SCROLL_THUMBRELEASE, SB_THUMBPOSITION}, {wxEVT_SCROLL_THUMBTRACK, SB_THUMBTRACK},
        {wxEVT_SCROLL_TOP, SB_LEFT},               {wxEVT_SCROLL_BOTTOM, SB_RIGHT},
        {wxEVT_SCROLL_CHANGED, SB_ENDSCROLL},
    };
    for (const auto& e : events) {
        // The toolkit has moved the thumb already; the owner must not see that.
        bar->SetThumbPosition(777);
        wxScrollEvent event(e.type, bar->GetId(), 333, wxHORIZONTAL);
        event.SetEventObject(bar);
        bar->ProcessWindowEvent(event);
        EXPECT_EQ(bar->GetThumbPosition(), adapter.GetScrollPos()) << e.code;
    }
    ASSERT_EQ(seen.size(), 9u);
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(std::get<0>(seen[i]), events[i].code);
        EXPECT_EQ(std::get<1>(seen[i]), 333);
        EXPECT_EQ(std::get<2>(seen[i]), i <= 1 ? 40 : 50);  // line right moved it on by 10
    }
    frame.SetSize(0, 100, 400, 80);
    frame.Show();
    adapter.SetScrollPos(980);
    EXPECT_TRUE(SaveScreenshot(frame, "scrollbar_980"));
    frame.Hide();
    adapter.SetScrollPos(5000);
    EXPECT_EQ(adapter.GetScrollPos(), 1000);
    adapter.SetScrollRange(0, 0);
    EXPECT_EQ(adapter.GetScrollPos(), 0);
}

TEST_F(DialogPieces, FocusReturnsAfterAModalWindowAndFallsBackWhenNothingHadIt) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, wxASCII_STR("t"));
    auto* first = new wxTextCtrl(frame, 1, wxEmptyString, wxPoint(0, 0));
    auto* second = new wxTextCtrl(frame, 2, wxEmptyString, wxPoint(0, 40));
    frame->Show();
    WaitUntilPainted(*frame);
    second->SetFocus();
    WaitUntil([&] { return wxWindow::FindFocus() == second; });
    {
        TestModalHook hook([&](wxDialog*) {
            first->SetFocus();  // whatever the modal window did to the focus
            return static_cast<int>(wxID_OK);
        });
        KvMessageBox(frame, "完了しました。", "確認", MB_OK | MB_ICONINFORMATION);
    }
    WaitUntil([&] { return wxWindow::FindFocus() == second; });
    EXPECT_EQ(wxWindow::FindFocus(), second);

    CFocusKeeper::SetFallback(frame, [&]() -> wxWindow* { return first; });
    second->SetFocus();
    WaitUntil([&] { return wxWindow::FindFocus() == second; });
    {
        // A window that had no focused control gets the fallback's.
        frame->SetFocus();
        CFocusKeeper keeper;
    }
    RunQueuedEvents();  // the keeper's own work, before its fallback goes
    CFocusKeeper::ClearFallback(frame);
    frame->Destroy();
    WaitUntilGone(frame);
}

TEST_F(DialogPieces, MessageBoxesDrawTheirIconAndDropDownsFitTheirLongestEntry) {
    for (const auto& [style, name] : {std::pair{MB_OK | MB_ICONSTOP, "box_stop"},
                                      std::pair{MB_YESNO | MB_ICONQUESTION, "box_question"},
                                      std::pair{MB_OK | MB_ICONWARNING, "box_warning"},
                                      std::pair{MB_OK | MB_ICONINFORMATION, "box_information"}}) {
        auto dlg = MakeMessageDialog(nullptr, "ファイルが開けません。\n/tmp/本/A000001.wav", "エラー", style);
        EXPECT_NE(dynamic_cast<wxGenericMessageDialog*>(dlg.get()), nullptr);
        // The generic box builds its window when it is shown modally.
        bool saved = false;
        wxTheApp->CallAfter([&, name = name] {
            saved = SaveScreenshot(*dlg, name);
            dlg->EndModal(wxID_OK);
        });
        dlg->ShowModal();
        EXPECT_TRUE(saved) << name;
    }
    wxFrame frame(nullptr, wxID_ANY, wxASCII_STR("t"));
    auto* choice = new wxChoice(&frame, 1);
    choice->SetFont(KvCreateFont(15, FW_NORMAL, "ＭＳＰ ゴシック"));
    const CString longest = "MP3  （64Kbps、Mono）";
    choice->Append(ToWx("なし"));
    choice->Append(ToWx(longest));
    const int text = choice->GetTextExtent(ToWx(longest)).x;
    EXPECT_GT(FitDropDownWidth(*choice, 60), text);
    EXPECT_EQ(FitDropDownWidth(*choice, 2000), 2000);
}

}  // namespace

namespace {

// The first character's place in a multi-line edit, once the edit has been drawn.
wxPoint FirstCharacter(wxTextCtrl& edit) {
    wxPoint at = wxDefaultPosition;
    WaitUntil([&] {
        at = edit.PositionToCoords(0);
        return at != wxDefaultPosition;
    });
    return at;
}

}  // namespace

TEST_F(DialogPieces, MultiLineEditsKeepTheirTextOffTheBorder) {
    wxDialog dlg(nullptr, wxID_ANY, wxASCII_STR("t"));
    wxTextCtrl* edit = CreateMultiLineEdit(&dlg, 100);
    EXPECT_TRUE(edit->IsMultiLine());
    edit->SetSize(0, 0, 292, 56);
    SetEditText(*edit, "見出し\r\n二行目");
    dlg.SetClientSize(300, 64);
    dlg.Centre();
    dlg.Show();
    const wxPoint at = FirstCharacter(*edit);
    EXPECT_GE(at.x, 4);
    EXPECT_GE(at.y, 2);
    EXPECT_EQ(GetEditText(*edit), "見出し\r\n二行目");
    EXPECT_TRUE(SaveScreenshot(dlg, "multi_line_edit"));
}
