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

std::string Changed(int item, unsigned before, unsigned after) {
    return "changed " + std::to_string(item) + " " + std::to_string(before) + ">" + std::to_string(after);
}

// Everything the list tells its owner, in order, as short words.
class CLoggingOwner : public IListViewOwner {
public:
    CString OnGetItemText(IListView&, int item, int column) override {
        return column == 1 ? longText : CString::Formatted("%d", item + 1);
    }
    void OnItemChanged(IListView&, int item, unsigned oldState, unsigned newState) override {
        log.push_back(Changed(item, oldState, newState));
    }
    void OnClick(IListView& list) override { log.push_back("click" + Where(list)); }
    void OnDblClk(IListView& list) override { log.push_back("dblclk" + Where(list)); }
    void OnRClick(IListView& list) override { log.push_back("rclick" + Where(list)); }
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

    // Ten rows, row 2 selected and focused by the program, the log empty.
    void SetUp() override {
        frame = new wxFrame(nullptr, wxID_ANY, wxASCII_STR("list"), wxPoint(0, 0), wxSize(500, 500));
        list = new CReportList(frame, 1000);
        list->SetSize(0, 0, 400, 400);
        list->SetOwner(&owner);
        list->InsertColumn(0, "番号", LVCFMT_LEFT, 100);
        list->InsertColumn(1, "文", LVCFMT_RIGHT, 200);
        list->SetItemCountEx(10);
        // The toolkit's own selection events must never get past the list.
        for (wxEventType type : {wxEVT_LIST_ITEM_SELECTED, wxEVT_LIST_ITEM_DESELECTED, wxEVT_LIST_ITEM_FOCUSED,
                                 wxEVT_LIST_ITEM_ACTIVATED})
            frame->Bind(wxEventTypeTag<wxListEvent>(type), [this](wxListEvent&) { ++leaked; });
        frame->Show();
        WaitUntilPainted(*list->GetRowsWindow());
        list->SetItemState(2, SF, SF);
        RunQueuedEvents();
        owner.log.clear();
    }
    void TearDown() override {
        EXPECT_EQ(leaked, 0);
        frame->Destroy();
        WaitUntilGone(frame);
    }

    // A mouse event on the rows window, at the middle of `row` (or below the rows).
    void Mouse(wxEventType type, int row, bool ctrl = false, bool shift = false) {
        wxWindow* rows = list->GetRowsWindow();
        wxPoint at(20, rows->GetClientSize().y - 5);
        if (row >= 0) {
            wxRect rect;
            ASSERT_TRUE(list->GetItemRect(row, rect));
            at = rect.GetPosition() + wxPoint(20, rect.height / 2) - rows->GetPosition();
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

}  // namespace

TEST_F(ReportListGui, ProgramChangesNotifyOnceAndAtOnce) {
    list->SetItemState(5, SF, SF);
    EXPECT_EQ(owner.log, (std::vector<std::string>{Changed(2, SF, S), Changed(5, 0, SF)}));
    list->SetItemState(5, SF, SF);
    list->SetItemState(-1, 0, SF);
    EXPECT_EQ(owner.log.back(), Changed(-1, SF, 0));
    EXPECT_EQ(owner.log.size(), 3u);
    RunQueuedEvents();
    EXPECT_EQ(owner.log.size(), 3u);
    // The toolkit draws what the program set.
    list->SetItemState(7, SF, SF);
    EXPECT_TRUE(list->wxListCtrl::GetItemState(7, wxLIST_STATE_SELECTED) & wxLIST_STATE_SELECTED);

    // Rebuilding the rows tells nothing.
    owner.log.clear();
    list->SetRedraw(false);
    list->DeleteAllItems();
    EXPECT_EQ(list->GetSelectionMark(), -1);
    list->SetItemCountEx(4);
    list->SetRedraw(true);
    RunQueuedEvents();
    EXPECT_TRUE(owner.log.empty());
    EXPECT_EQ(list->GetSelectedCount(), 0);
    EXPECT_EQ(list->GetNextItem(-1, LVNI_FOCUSED), -1);
}

TEST_F(ReportListGui, MouseChangesAreToldAfterTheToolkitHasFinishedThenTheClick) {
    const struct {
        char kind;  // L: left click, D: double click, R: right click
        int row;
        bool ctrl;
        std::vector<std::string> log;
    } cases[] = {
        {'L', 5, false, {Changed(2, SF, 0), Changed(5, 0, SF), "click 5"}},
        {'L', 6, true, {Changed(2, SF, S), Changed(6, 0, SF), "click 6 ctrl"}},  // Ctrl adds the row
        {'L', -1, false, {Changed(2, SF, F), "click -1"}},                       // beside the rows
        {'D', 4, false, {Changed(2, SF, 0), Changed(4, 0, SF), "click 4", "dblclk 4"}},
        {'R', 7, false, {Changed(2, SF, 0), Changed(7, 0, SF), "rclick 7"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.kind << c.row);
        list->SetItemState(-1, 0, SF);
        list->SetItemState(2, SF, SF);
        owner.log.clear();
        if (c.kind == 'R') {
            Mouse(wxEVT_RIGHT_DOWN, c.row);
            Mouse(wxEVT_RIGHT_UP, c.row);
        } else {
            Click(c.row, c.ctrl);
        }
        if (c.kind == 'D') {
            Mouse(wxEVT_LEFT_DCLICK, c.row);
            Mouse(wxEVT_LEFT_UP, c.row);
        }
        EXPECT_TRUE(owner.log.empty());
        RunQueuedEvents();
        EXPECT_EQ(owner.log, c.log);
    }
    EXPECT_EQ(list->GetSelectionMark(), 7);
}

TEST_F(ReportListGui, ShiftClickSelectsTheRangeFromTheMarkOnly) {
    Click(8, true);  // a stray row the Shift range must drop
    Click(3);
    Click(6, false, true);
    RunQueuedEvents();
    EXPECT_EQ(Selected(), (std::vector<int>{3, 4, 5, 6}));
    EXPECT_EQ(list->GetNextItem(-1, LVNI_FOCUSED), 6);
    EXPECT_EQ(list->GetSelectionMark(), 3);
    owner.log.clear();
    Click(1, false, true);
    RunQueuedEvents();
    // One notification per changed row, in row order, then the click.
    EXPECT_EQ(owner.log, (std::vector<std::string>{Changed(1, 0, SF), Changed(2, 0, S), Changed(4, S, 0),
                                                   Changed(5, S, 0), Changed(6, SF, 0), "click 1"}));
}

TEST_F(ReportListGui, TypedCharactersDoNotJumpAndArrowKeysAreToldAfterwardsButSentKeysAtOnce) {
    // Row 7 shows "8": the toolkit on its own would jump there.
    Key(wxEVT_CHAR, '8', '8');
    Key(wxEVT_CHAR, 'A', 'A');
    RunQueuedEvents();
    EXPECT_TRUE(owner.log.empty());
    EXPECT_EQ(list->GetNextItem(-1, LVNI_FOCUSED | LVNI_SELECTED), 2);

    Key(wxEVT_KEY_DOWN, WXK_DOWN);
    EXPECT_TRUE(owner.log.empty());
    RunQueuedEvents();
    EXPECT_EQ(owner.log, (std::vector<std::string>{Changed(2, SF, 0), Changed(3, 0, SF)}));
    EXPECT_EQ(list->GetSelectionMark(), 3);

    owner.log.clear();
    list->SendKeyDown(VK_UP);
    EXPECT_EQ(owner.log, (std::vector<std::string>{Changed(2, 0, SF), Changed(3, SF, 0)}));
    list->SendKeyDown(VK_END);
    list->SendKeyDown(VK_DOWN);  // nothing below the last row
    EXPECT_EQ(Selected(), (std::vector<int>{9}));
    const size_t told = owner.log.size();
    RunQueuedEvents();
    EXPECT_EQ(owner.log.size(), told);
}

TEST_F(ReportListGui, CellTextIsCutWithoutSplittingACharacterAndFocusIsTheRowsWindows) {
    for (int i = 0; i < 150; ++i) owner.longText += "あ";  // 300 bytes
    EXPECT_EQ(FromWx(list->GetItemText(0, 1)).GetLength(), 258);
    EXPECT_EQ(FromWx(list->GetItemText(3, 0)), "4");

    const int before = owner.focusNotifications;
    wxFocusEvent focus(wxEVT_SET_FOCUS, list->GetRowsWindow()->GetId());
    focus.SetEventObject(list->GetRowsWindow());
    list->GetRowsWindow()->GetEventHandler()->ProcessEvent(focus);
    EXPECT_EQ(owner.focusNotifications, before + 1);
    EXPECT_TRUE(owner.log.empty());
}
