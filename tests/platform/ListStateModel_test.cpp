#include "platform/ListStateModel.h"

#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "platform/KeyMap.h"

namespace {

constexpr unsigned S = LVIS_SELECTED;
constexpr unsigned F = LVIS_FOCUSED;
constexpr unsigned SF = LVIS_SELECTED | LVIS_FOCUSED;

// Only the sender's identity matters to the model.
class CSenderStub : public IListView {
public:
    int GetDlgCtrlID() const override { return 1; }
    void SetOwner(IListViewOwner*) override {}
    int GetItemCount() const override { return 0; }
    void SetItemCountEx(int) override {}
    bool DeleteAllItems() override { return true; }
    unsigned GetItemState(int, unsigned) const override { return 0; }
    bool SetItemState(int, unsigned, unsigned) override { return false; }
    int GetNextItem(int, unsigned) const override { return -1; }
    int GetSelectedCount() const override { return 0; }
    int GetSelectionMark() const override { return -1; }
    int SetSelectionMark(int) override { return -1; }
    bool EnsureVisible(int, bool) override { return false; }
    bool RedrawItems(int, int) override { return false; }
    void SetRedraw(bool) override {}
    void Invalidate() override {}
    int GetTopIndex() const override { return 0; }
    int GetCountPerPage() const override { return 0; }
    int HitTestItem(int, int) const override { return -1; }
    void GetCursorPos(int& x, int& y) const override { x = y = 0; }
    bool IsControlDown() const override { return false; }
    int InsertColumn(int, const CString&, int, int) override { return -1; }
    int GetColumnCount() const override { return 0; }
    int GetColumnWidth(int) const override { return 0; }
    void SetFocus() override {}
    bool HasFocus() const override { return false; }
    void ShowList(bool) override {}
    void SetListFont(const wxFont&) override {}
    void SendKeyDown(int) override {}
    wxWindow* GetWindow() const override { return nullptr; }
};

struct Change {
    int item;
    unsigned oldState;
    unsigned newState;
    bool operator==(const Change&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Change& c) {
    return out << "{" << c.item << ", " << c.oldState << " -> " << c.newState << "}";
}

class CRecordingOwner : public IListViewOwner {
public:
    CString OnGetItemText(IListView&, int, int) override { return CString(); }
    void OnItemChanged(IListView& list, int item, unsigned oldState, unsigned newState) override {
        EXPECT_EQ(&list, sender);
        changes.push_back({item, oldState, newState});
        if (onChange) onChange(item, oldState, newState);
    }
    IListView* sender = nullptr;
    std::vector<Change> changes;
    std::function<void(int, unsigned, unsigned)> onChange;
};

class ListStateModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner.sender = &sender;
        model.SetOwner(&owner);
        rows.Resize(10);
        model.RowCountChanged();
    }
    // Row 2 selected and focused by the program; the record starts empty after it.
    void SelectRowTwo() {
        model.SetItemState(2, SF, SF);
        owner.changes.clear();
    }
    std::vector<int> Selected() const {
        std::vector<int> out;
        for (int r = rows.NextSelectedRow(-1); r != -1; r = rows.NextSelectedRow(r)) out.push_back(r);
        return out;
    }

    CSenderStub sender;
    CListStateArray rows;
    CListStateModel model{sender, rows};
    CRecordingOwner owner;
};

TEST_F(ListStateModelTest, ChangesOfAllRowsAreOneNotificationAndMissingRowsNone) {
    SelectRowTwo();
    EXPECT_FALSE(model.SetItemState(10, SF, SF));
    EXPECT_FALSE(model.SetItemState(-2, SF, SF));
    model.SetItemState(-1, 0, SF);
    EXPECT_TRUE(model.SetItemState(-1, 0, S));     // already empty: nothing told
    EXPECT_FALSE(model.SetItemState(-1, SF, SF));  // no list focuses every row
    EXPECT_EQ(owner.changes, (std::vector<Change>{{-1, SF, 0}}));
    // Selecting all tells no old selection, even where rows were selected before.
    model.SetItemState(3, S, S);
    owner.changes.clear();
    model.SetItemState(-1, S, S);
    EXPECT_EQ(owner.changes, (std::vector<Change>{{-1, 0, S}}));
    EXPECT_EQ(model.ToldState(9), S);
}

TEST_F(ListStateModelTest, UserChangesAreToldLaterOnceAndHandlersSeeTheListAsTheUserLeftIt) {
    SelectRowTwo();
    std::vector<int> focusSeen;
    owner.onChange = [&](int, unsigned, unsigned) { focusSeen.push_back(model.GetNextItem(-1, LVNI_FOCUSED)); };
    model.UserButtonDown(7, false, false);
    EXPECT_TRUE(owner.changes.empty());
    model.ReportUserChanges();
    model.ReportUserChanges();
    EXPECT_EQ(owner.changes, (std::vector<Change>{{2, SF, 0}, {7, 0, SF}}));
    EXPECT_EQ(focusSeen, (std::vector<int>{7, 7}));
}

TEST_F(ListStateModelTest, RightClickKeepsASelectionItFallsInto) {
    model.SetItemState(2, S, S);
    model.SetItemState(3, SF, SF);
    model.UserRightButtonDown(2, false, false);
    EXPECT_EQ(Selected(), (std::vector<int>{2, 3}));
    EXPECT_EQ(model.GetNextItem(-1, LVNI_FOCUSED), 2);
    model.UserRightButtonDown(6, false, false);
    EXPECT_EQ(Selected(), (std::vector<int>{6}));
    model.UserRightButtonDown(-1, false, false);
    EXPECT_EQ(model.GetSelectedCount(), 0);
}

TEST_F(ListStateModelTest, ProgramChangesDuringTheReportAreNotToldTwice) {
    SelectRowTwo();
    model.UserButtonDown(4, true, false);  // rows 2 and 4 selected, a gap
    owner.onChange = [&](int item, unsigned, unsigned newState) {
        // What the views do with a gap: only the changed row stays selected.
        if (item == 2 && (newState & S) && model.GetSelectedCount() > 1) {
            model.SetItemState(-1, 0, S);
            model.SetItemState(2, SF, SF);
        }
    };
    model.ReportUserChanges();
    EXPECT_EQ(owner.changes, (std::vector<Change>{{2, SF, S}, {-1, S, 0}, {2, 0, SF}}));
    EXPECT_EQ(Selected(), (std::vector<int>{2}));
    EXPECT_EQ(model.ToldState(4), 0u);
}

TEST_F(ListStateModelTest, AllRowChangeLeavesOtherUntoldBitsForLater) {
    SelectRowTwo();
    model.UserKey(VK_DOWN, true, false, 0, 10);  // Ctrl+Down: the focus alone moves to 3
    model.SetItemState(-1, S, S);
    EXPECT_EQ(owner.changes, (std::vector<Change>{{-1, 0, S}}));
    model.ReportUserChanges();
    EXPECT_EQ(owner.changes, (std::vector<Change>{{-1, 0, S}, {2, SF, S}, {3, S, SF}}));
}

TEST_F(ListStateModelTest, NavigationKeys) {
    // Without a focused row Up does nothing.
    EXPECT_EQ(model.UserKey(VK_UP, false, false, 0, 5), -1);
    EXPECT_EQ(model.UserKey(VK_END, false, false, 0, 5), 9);
    EXPECT_EQ(model.UserKey(VK_DOWN, false, false, 0, 5), -1);  // already at the end
    EXPECT_EQ(model.UserKey(VK_UP, false, true, 0, 5), 8);     // Shift extends from the mark
    EXPECT_EQ(model.UserKey(VK_UP, false, true, 0, 5), 7);
    EXPECT_EQ(model.GetSelectionMark(), 9);
    EXPECT_EQ(model.UserKey(VK_HOME, true, false, 0, 5), 0);   // Ctrl moves only the focus
    EXPECT_EQ(model.UserKey(VK_SPACE, true, false, 0, 5), 0);  // Ctrl+Space adds the focused row
    EXPECT_EQ(Selected(), (std::vector<int>{0, 7, 8, 9}));
    // Page down goes to the bottom of the page, then a page further.
    EXPECT_EQ(model.UserKey(VK_NEXT, false, false, 0, 5), 4);
    EXPECT_EQ(model.UserKey(VK_NEXT, false, false, 0, 5), 8);
    EXPECT_EQ(Selected(), (std::vector<int>{8}));
    // A page of one row still moves; a list shorter than a page goes to its ends.
    EXPECT_EQ(model.UserKey(VK_PRIOR, false, false, 8, 1), 7);
    EXPECT_EQ(model.UserKey(VK_NEXT, false, false, 0, 20), 9);
    EXPECT_EQ(model.UserKey(VK_PRIOR, false, false, 0, 20), 0);
    EXPECT_EQ(model.UserKey('7', false, false, 0, 5), -1);  // digits do not navigate
}

TEST_F(ListStateModelTest, MarkFollowsProgramSelectionAndDiesWithTheRows) {
    model.SetItemState(6, SF, SF);
    model.SetItemState(3, F, F);  // focus alone does not move it
    EXPECT_EQ(model.GetSelectionMark(), 6);
    model.UserButtonDown(8, false, true);
    model.SetItemState(8, SF, SF);  // selecting a selected row again keeps the Shift anchor
    EXPECT_EQ(model.GetSelectionMark(), 6);
    rows.Resize(0);
    model.AllRowsDeleted();
    EXPECT_EQ(model.GetSelectionMark(), -1);
}

TEST_F(ListStateModelTest, ShrinkingForgetsRowsAndImposeUndoesForeignChanges) {
    model.SetItemState(8, SF, SF);
    model.SetItemState(1, S, S);
    rows.Resize(5);
    model.RowCountChanged();
    EXPECT_EQ(Selected(), (std::vector<int>{1}));
    EXPECT_EQ(model.GetNextItem(-1, LVNI_FOCUSED), -1);

    // The store moves its focus and selection by itself; the owner never heard of it.
    rows.ChangeState(3, SF, SF);
    rows.ChangeState(1, 0, S);
    model.ImposeToldStates();
    EXPECT_EQ(Selected(), (std::vector<int>{1}));
    EXPECT_EQ(model.GetNextItem(-1, LVNI_FOCUSED), -1);
    owner.changes.clear();
    model.ReportUserChanges();
    EXPECT_TRUE(owner.changes.empty());
}

}  // namespace
