#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <wx/frame.h>

#include "WxTestApp.h"
#include "platform/CodePage.h"
#include "platform/KeyMap.h"
#include "platform/ReportList.h"

namespace {

constexpr unsigned S = LVIS_SELECTED;
constexpr unsigned F = LVIS_FOCUSED;
constexpr unsigned SF = LVIS_SELECTED | LVIS_FOCUSED;

// Everything the list tells its owner, in order, as short words.
class CLoggingOwner : public IListViewOwner {
public:
    CString OnGetItemText(IListView&, int item, int column) override {
        if (column == 1) return longText;
        return CString::Formatted("%d", item + 1);
    }
    void OnItemChanged(IListView&, int item, unsigned oldState, unsigned newState) override {
        log.push_back("changed " + std::to_string(item) + " " + std::to_string(oldState) + ">" + std::to_string(newState));
    }
    void OnClick(IListView& list) override { log.push_back("click" + Where(list)); }
    void OnDblClk(IListView& list) override { log.push_back("dblclk" + Where(list)); }
    void OnRClick(IListView& list) override { log.push_back("rclick" + Where(list)); }
    void OnRDblClk(IListView& list) override { log.push_back("rdblclk" + Where(list)); }
    // Kept apart from the log: on a shared display the window may gain the focus late.
    void OnSetFocus(IListView&) override { ++focusNotifications; }

    // The row under the pointer and the Ctrl state, as a click handler asks for them.
    static std::string Where(IListView& list) {
        int x = 0, y = 0;
        list.GetCursorPos(x, y);
        return " " + std::to_string(list.HitTestItem(x, y)) + (list.IsControlDown() ? " ctrl" : "");
    }

    std::vector<std::string> log;
    int focusNotifications = 0;
    CString longText;
};

class ReportListGui : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(EnsureWxApp()); }

    void SetUp() override {
        frame = new wxFrame(nullptr, wxID_ANY, wxASCII_STR("list"), wxPoint(0, 0), wxSize(500, 500));
        list = new CReportList(frame, 1000);
        list->SetSize(0, 0, 400, 400);
        list->SetOwner(&owner);
        list->InsertColumn(0, "番号", LVCFMT_LEFT, 100);
        list->InsertColumn(1, "文", LVCFMT_RIGHT, 200);
        list->DeleteAllItems();
        list->SetItemCountEx(10);
        // The toolkit's own selection events must never get past the list.
        for (wxEventType type : {wxEVT_LIST_ITEM_SELECTED, wxEVT_LIST_ITEM_DESELECTED, wxEVT_LIST_ITEM_FOCUSED,
                                 wxEVT_LIST_ITEM_ACTIVATED})
            frame->Bind(wxEventTypeTag<wxListEvent>(type), [this](wxListEvent&) { ++leaked; });
        frame->Show();
        PumpEvents();
        list->SetItemState(2, SF, SF);
        PumpEvents(5);
        owner.log.clear();
    }
    void TearDown() override {
        frame->Destroy();
        PumpEvents(5);
    }

    // A mouse event on the rows window, at the middle of `row` (or below the rows).
    void Mouse(wxEventType type, int row, bool ctrl = false, bool shift = false) {
        wxWindow* rows = list->GetRowsWindow();
        wxPoint at;
        if (row >= 0) {
            wxRect rect;
            ASSERT_TRUE(list->GetItemRect(row, rect));
            at = rect.GetPosition() + wxPoint(20, rect.height / 2) - rows->GetPosition();
        } else {
            at = wxPoint(20, rows->GetClientSize().y - 5);
        }
        wxMouseEvent event(type);
        event.SetPosition(at);
        event.SetControlDown(ctrl);
        event.SetShiftDown(shift);
        event.SetEventObject(rows);
        rows->GetEventHandler()->ProcessEvent(event);
    }
    void Click(int row, bool ctrl = false, bool shift = false) {
        Mouse(wxEVT_LEFT_DOWN, row, ctrl, shift);
        Mouse(wxEVT_LEFT_UP, row, ctrl, shift);
    }
    void Key(wxEventType type, int keyCode, wxChar unicode = WXK_NONE) {
        wxWindow* rows = list->GetRowsWindow();
        wxKeyEvent event(type);
        event.m_keyCode = keyCode;
        event.m_uniChar = unicode;
        event.SetEventObject(rows);
        rows->GetEventHandler()->ProcessEvent(event);
    }
    std::vector<int> Selected() const {
        std::vector<int> rows;
        for (int r = list->GetNextItem(-1, LVNI_SELECTED); r != -1; r = list->GetNextItem(r, LVNI_SELECTED))
            rows.push_back(r);
        return rows;
    }

    wxFrame* frame = nullptr;
    CReportList* list = nullptr;
    CLoggingOwner owner;
    int leaked = 0;
};

std::string Changed(int item, unsigned before, unsigned after) {
    return "changed " + std::to_string(item) + " " + std::to_string(before) + ">" + std::to_string(after);
}

}  // namespace

TEST_F(ReportListGui, ProgramChangesNotifyOnceAndAtOnce) {
    list->SetItemState(5, SF, SF);
    EXPECT_EQ(owner.log, (std::vector<std::string>{Changed(2, SF, S), Changed(5, 0, SF)}));
    list->SetItemState(5, SF, SF);
    list->SetItemState(-1, 0, SF);
    EXPECT_EQ(owner.log.back(), Changed(-1, SF, 0));
    EXPECT_EQ(owner.log.size(), 3u);
    EXPECT_EQ(list->GetSelectedCount(), 0);
    PumpEvents();
    EXPECT_EQ(owner.log.size(), 3u);
    EXPECT_EQ(leaked, 0);
    // The toolkit draws what the program set.
    list->SetItemState(7, SF, SF);
    EXPECT_TRUE(list->wxListCtrl::GetItemState(7, wxLIST_STATE_SELECTED) & wxLIST_STATE_SELECTED);
}

TEST_F(ReportListGui, RebuildingTheRowsNotifiesNothing) {
    list->SetItemState(8, S, S);
    owner.log.clear();
    list->SetRedraw(false);
    EXPECT_TRUE(list->IsFrozen());
    list->DeleteAllItems();
    EXPECT_EQ(list->GetSelectionMark(), -1);
    list->SetItemCountEx(4);
    list->SetRedraw(false);
    list->SetRedraw(true);
    EXPECT_FALSE(list->IsFrozen());
    PumpEvents();
    EXPECT_TRUE(owner.log.empty());
    EXPECT_EQ(list->GetItemCount(), 4);
    EXPECT_EQ(list->GetSelectedCount(), 0);
    EXPECT_EQ(list->GetNextItem(-1, LVNI_FOCUSED), -1);
    EXPECT_EQ(leaked, 0);
}

TEST_F(ReportListGui, ClickIsToldAfterTheToolkitHasFinished) {
    Mouse(wxEVT_LEFT_DOWN, 5);
    EXPECT_TRUE(owner.log.empty());
    Mouse(wxEVT_LEFT_UP, 5);
    EXPECT_TRUE(owner.log.empty());
    PumpEvents();
    EXPECT_EQ(owner.log, (std::vector<std::string>{Changed(2, SF, 0), Changed(5, 0, SF), "click 5"}));
    EXPECT_EQ(list->GetSelectionMark(), 5);
    EXPECT_EQ(leaked, 0);
}

TEST_F(ReportListGui, CtrlClickAddsARowAndTheHandlerSeesCtrl) {
    Click(6, true);
    PumpEvents();
    EXPECT_EQ(owner.log, (std::vector<std::string>{Changed(2, SF, S), Changed(6, 0, SF), "click 6 ctrl"}));
    EXPECT_EQ(Selected(), (std::vector<int>{2, 6}));
}

TEST_F(ReportListGui, ShiftClickSelectsTheRangeFromTheMarkOnly) {
    Click(8, true);  // a stray row the Shift range must drop
    Click(3);
    Click(6, false, true);
    PumpEvents();
    EXPECT_EQ(Selected(), (std::vector<int>{3, 4, 5, 6}));
    EXPECT_EQ(list->GetNextItem(-1, LVNI_FOCUSED), 6);
    EXPECT_EQ(list->GetSelectionMark(), 3);
    owner.log.clear();
    Click(1, false, true);
    PumpEvents();
    // One notification per changed row, in row order, then the click.
    EXPECT_EQ(owner.log, (std::vector<std::string>{Changed(1, 0, SF), Changed(2, 0, S), Changed(4, S, 0),
                                                   Changed(5, S, 0), Changed(6, SF, 0), "click 1"}));
}

TEST_F(ReportListGui, ClickBesideTheRowsClearsTheSelection) {
    Click(-1);
    PumpEvents();
    EXPECT_EQ(owner.log, (std::vector<std::string>{Changed(2, SF, F), "click -1"}));
}

TEST_F(ReportListGui, DoubleClickGivesOneClickThenTheDoubleClick) {
    Mouse(wxEVT_LEFT_DOWN, 4);
    Mouse(wxEVT_LEFT_UP, 4);
    Mouse(wxEVT_LEFT_DCLICK, 4);
    Mouse(wxEVT_LEFT_UP, 4);
    PumpEvents();
    EXPECT_EQ(owner.log, (std::vector<std::string>{Changed(2, SF, 0), Changed(4, 0, SF), "click 4", "dblclk 4"}));
    EXPECT_EQ(leaked, 0);
}

TEST_F(ReportListGui, RightClickSelectsAnUnselectedRow) {
    Mouse(wxEVT_RIGHT_DOWN, 7);
    Mouse(wxEVT_RIGHT_UP, 7);
    PumpEvents();
    EXPECT_EQ(owner.log, (std::vector<std::string>{Changed(2, SF, 0), Changed(7, 0, SF), "rclick 7"}));
}

TEST_F(ReportListGui, TypedCharactersDoNotJumpToARow) {
    // Row 7 shows "8": the toolkit on its own would jump there.
    Key(wxEVT_CHAR, '8', '8');
    Key(wxEVT_CHAR, 'A', 'A');
    PumpEvents();
    EXPECT_TRUE(owner.log.empty());
    EXPECT_EQ(Selected(), (std::vector<int>{2}));
    EXPECT_EQ(list->GetNextItem(-1, LVNI_FOCUSED), 2);
}

TEST_F(ReportListGui, ArrowKeysMoveTheSelectionAndAreToldAfterwards) {
    Key(wxEVT_KEY_DOWN, WXK_DOWN);
    EXPECT_TRUE(owner.log.empty());
    PumpEvents();
    EXPECT_EQ(owner.log, (std::vector<std::string>{Changed(2, SF, 0), Changed(3, 0, SF)}));
    EXPECT_EQ(list->GetSelectionMark(), 3);
}

TEST_F(ReportListGui, SentKeyDownMovesTheSelectionAtOnce) {
    list->SendKeyDown(VK_DOWN);
    EXPECT_EQ(owner.log, (std::vector<std::string>{Changed(2, SF, 0), Changed(3, 0, SF)}));
    list->SendKeyDown(VK_UP);
    list->SendKeyDown(VK_UP);
    EXPECT_EQ(Selected(), (std::vector<int>{1}));
    list->SendKeyDown(VK_END);
    list->SendKeyDown(VK_DOWN);  // nothing below the last row
    EXPECT_EQ(Selected(), (std::vector<int>{9}));
    const size_t told = owner.log.size();
    PumpEvents();
    EXPECT_EQ(owner.log.size(), told);
    EXPECT_EQ(leaked, 0);
}

TEST_F(ReportListGui, HitTestIsInTheListsClientCoordinates) {
    wxRect rect;
    ASSERT_TRUE(list->GetItemRect(4, rect));
    EXPECT_EQ(list->HitTestItem(rect.x + 20, rect.y + rect.height / 2), 4);
    EXPECT_EQ(list->HitTestItem(20, 2), -1);  // the column header
    ASSERT_TRUE(list->GetItemRect(9, rect));
    EXPECT_EQ(list->HitTestItem(20, rect.GetBottom() + 10), -1);
}

TEST_F(ReportListGui, CellTextIsCutWithoutSplittingACharacter) {
    owner.longText = CString();
    for (int i = 0; i < 150; ++i) owner.longText += "あ";  // 300 bytes
    const CString shown = FromWx(list->GetItemText(0, 1));
    EXPECT_EQ(shown.GetLength(), 258);
    EXPECT_EQ(FromWx(list->GetItemText(3, 0)), "4");
}

TEST_F(ReportListGui, ColumnsAndFocus) {
    EXPECT_EQ(list->GetColumnCount(), 2);
    EXPECT_EQ(list->GetColumnWidth(1), 200);
    wxListItem column;
    column.SetMask(wxLIST_MASK_TEXT | wxLIST_MASK_FORMAT);
    ASSERT_TRUE(list->GetColumn(1, column));
    EXPECT_EQ(FromWx(column.GetText()), "文");
    EXPECT_EQ(column.GetAlign(), wxLIST_FORMAT_RIGHT);

    // The focus notification comes from the rows window taking the focus.
    const int before = owner.focusNotifications;
    wxFocusEvent focus(wxEVT_SET_FOCUS, list->GetRowsWindow()->GetId());
    focus.SetEventObject(list->GetRowsWindow());
    list->GetRowsWindow()->GetEventHandler()->ProcessEvent(focus);
    EXPECT_EQ(owner.focusNotifications, before + 1);
    EXPECT_TRUE(owner.log.empty());
}

