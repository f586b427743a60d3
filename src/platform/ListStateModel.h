#pragma once
// Row states of a report list with the original platform's rules, and the item-changed
// notifications that go with them. The toolkit adapter (CReportList) and the window-less
// list of the tests both keep their states through this class, so that a command behaves
// the same against either.
//
// Two sets of states are kept apart: the list's real states (in an IListStateStore: the
// toolkit's control, or a plain array) and the states the owner has been told about. A
// change the program makes is applied and told at once, one notification per row that
// changed. A change the user makes (a click, a key) is applied to the real states only;
// ReportUserChanges tells it later, by comparing the two sets row by row in row order.
//
// Rules taken from the original:
// - SetItemState(-1, ...) changes every row and sends a single notification with item -1
//   (old state: selected when rows were deselected, focused when a row had the focus).
//   Clearing the selection when nothing is selected sends nothing; focusing every row is
//   refused.
// - Giving a row the focus takes it from the row that had it; that row is told first.
// - A row whose state does not change is not told.
// - The selection mark is the anchor of Shift selections. It moves to a row that the user
//   clicks or reaches with a key without Shift, and to a row that the program selects
//   with SetItemState when that row was not selected; deleting all rows clears it.

#include <cstdint>
#include <vector>

#include "platform/ListView.h"

constexpr unsigned kListStateBits = LVIS_SELECTED | LVIS_FOCUSED;

// Where a list's rows really keep their states. Changes made here notify nobody.
class IListStateStore {
public:
    virtual ~IListStateStore() = default;
    virtual int StateRowCount() const = 0;
    virtual unsigned StateOf(int row) const = 0;  // LVIS_SELECTED | LVIS_FOCUSED
    virtual int FocusedRow() const = 0;           // -1: none
    virtual int NextSelectedRow(int after) const = 0;  // -1: none
    virtual int SelectedRowCount() const = 0;
    // A row that takes the focus takes it from the row that had it.
    virtual void ChangeState(int row, unsigned state, unsigned mask) = 0;
    virtual void SelectAllRows(bool select) = 0;
};

// The states in a plain array: the window-less list's rows.
class CListStateArray : public IListStateStore {
public:
    // Rows beyond `count` are dropped with their states; new rows start clear.
    void Resize(int count);

    int StateRowCount() const override { return static_cast<int>(m_selected.size()); }
    unsigned StateOf(int row) const override;
    int FocusedRow() const override { return m_focused; }
    int NextSelectedRow(int after) const override;
    int SelectedRowCount() const override { return m_selectedCount; }
    void ChangeState(int row, unsigned state, unsigned mask) override;
    void SelectAllRows(bool select) override;

private:
    std::vector<uint8_t> m_selected;
    int m_focused = -1;
    int m_selectedCount = 0;
};

class CListStateModel {
public:
    // `list` is the sender named in the notifications.
    CListStateModel(IListView& list, IListStateStore& store);

    void SetOwner(IListViewOwner* owner) { m_owner = owner; }
    IListViewOwner* GetOwner() const { return m_owner; }

    // Queries answer from the real states.
    unsigned GetItemState(int item, unsigned mask) const;
    int GetNextItem(int start, unsigned flags) const;
    int GetSelectedCount() const { return m_store.SelectedRowCount(); }
    int GetSelectionMark() const { return m_mark; }
    int SetSelectionMark(int item);  // returns the previous mark

    // A change by the program, told at once. False for a row that does not exist and for
    // focusing every row.
    bool SetItemState(int item, unsigned state, unsigned mask);

    // The store has lost all its rows: nothing is told, the mark is cleared.
    void AllRowsDeleted();
    // The store's row count changed: states of rows beyond it are forgotten untold.
    void RowCountChanged();
    // Puts the states the owner knows back into the store, undoing what the store changed
    // on its own (the toolkit may move its focus when the row count changes).
    void ImposeToldStates();

    // What the user does, by the original's rules. The store changes at once; the owner
    // hears of it from ReportUserChanges.
    // Left button down on `row` (-1: below or beside the rows).
    void UserButtonDown(int row, bool ctrl, bool shift);
    // Right button down on `row` (-1: no row).
    void UserRightButtonDown(int row, bool ctrl, bool shift);
    // A navigation key: VK_UP, VK_DOWN, VK_HOME, VK_END, VK_PRIOR, VK_NEXT or VK_SPACE.
    // `topRow` and `pageRows` are the first of the rows shown whole and their number: the
    // page of the page keys. Returns the row that the key selected or focused, -1 when it
    // changed nothing.
    int UserKey(int virtualKey, bool ctrl, bool shift, int topRow, int pageRows);
    static bool IsNavigationKey(int virtualKey);

    // Tells the owner of every row whose real state differs from what it was told, one
    // notification per row in row order. Handlers may change states meanwhile; those
    // changes are told as they happen and not again here.
    void ReportUserChanges();
    // The state the owner was last told for `row` (0 for rows it never heard of).
    unsigned ToldState(int row) const;

private:
    bool SetAllItemStates(unsigned state, unsigned mask);
    // Tells the owner when `row` differs from what it was told.
    void TellRow(int row);
    void Notify(int item, unsigned oldState, unsigned newState);
    void SelectOnly(int row);        // the only selected row, focused, and the mark
    void SelectFromMark(int row, bool keepOthers);  // Shift: the rows from the mark to `row`

    IListView& m_list;
    IListStateStore& m_store;
    IListViewOwner* m_owner = nullptr;
    std::vector<uint8_t> m_told;
    int m_mark = -1;
};
