#pragma once
// A list without a window for the editor's tests. Its row states and notifications come
// from the same CListStateModel as the real list's, so commands see the same item-changed
// notifications; user actions are played through the same path (the states change, then
// the changes are told row by row, then the click notification).
//
// Rows are one unit high: the point (x, row) hits `row`; anything outside the rows hits
// nothing. The keyboard focus is shared by all fake lists: SetFocus takes it from the
// fake list that had it, with the focus notifications.

#include <vector>

#include "platform/ListStateModel.h"
#include "platform/ListView.h"

class CFakeListView : public IListView {
public:
    struct Column {
        CString caption;
        int format = LVCFMT_LEFT;
        int width = 0;
    };

    explicit CFakeListView(int id);
    ~CFakeListView() override;
    CFakeListView(const CFakeListView&) = delete;
    CFakeListView& operator=(const CFakeListView&) = delete;

    // --- what a user does
    // Left click on `row` (-1: below the last row), with the notifications that follow.
    void UserClick(int row, bool ctrl = false, bool shift = false);
    void UserDoubleClick(int row);
    void UserRightClick(int row, bool ctrl = false);
    // A key pressed in the list (virtual-key code). Navigation keys move the selection;
    // every other key, digits and letters included, leaves it alone.
    void UserKey(int virtualKey, bool ctrl = false, bool shift = false);

    // --- script
    void SetCursorPos(int x, int y) { m_cursorX = x; m_cursorY = y; }
    void SetControlDown(bool down) { m_ctrlDown = down; }
    void SetCountPerPage(int rows) { m_countPerPage = rows; }

    // --- what the list was asked
    const std::vector<Column>& Columns() const { return m_columns; }
    bool IsRedrawOn() const { return m_redraw; }
    bool IsShown() const { return m_shown; }
    int LastEnsuredVisible() const { return m_lastVisible; }
    int FontChanges() const { return m_fontChanges; }
    // Rows whose state differs from what the owner was told (0 after every notification).
    int UntoldRows() const;
    // The selected rows, in order.
    std::vector<int> SelectedRows() const;
    // The text the owner gives for a cell, as the list would show it.
    CString CellText(int item, int column);

    // --- IListView
    int GetDlgCtrlID() const override { return m_id; }
    void SetOwner(IListViewOwner* owner) override { m_model.SetOwner(owner); }
    int GetItemCount() const override { return m_states.StateRowCount(); }
    void SetItemCountEx(int count) override;
    bool DeleteAllItems() override;
    unsigned GetItemState(int item, unsigned mask) const override { return m_model.GetItemState(item, mask); }
    bool SetItemState(int item, unsigned state, unsigned mask) override { return m_model.SetItemState(item, state, mask); }
    int GetNextItem(int start, unsigned flags) const override { return m_model.GetNextItem(start, flags); }
    int GetSelectedCount() const override { return m_model.GetSelectedCount(); }
    int GetSelectionMark() const override { return m_model.GetSelectionMark(); }
    int SetSelectionMark(int item) override { return m_model.SetSelectionMark(item); }
    bool EnsureVisible(int item, bool partialOK) override;
    bool RedrawItems(int first, int last) override { return first <= last; }
    void SetRedraw(bool redraw) override { m_redraw = redraw; }
    void Invalidate() override {}
    int GetTopIndex() const override { return 0; }
    int GetCountPerPage() const override { return m_countPerPage; }
    int HitTestItem(int x, int y) const override;
    void GetCursorPos(int& x, int& y) const override;
    bool IsControlDown() const override { return m_ctrlDown; }
    int InsertColumn(int column, const CString& caption, int format, int width) override;
    int GetColumnCount() const override { return static_cast<int>(m_columns.size()); }
    int GetColumnWidth(int column) const override;
    void SetFocus() override;
    bool HasFocus() const override;
    void ShowList(bool show) override { m_shown = show; }
    void SetListFont(const wxFont&) override { ++m_fontChanges; }
    void SendKeyDown(int virtualKey) override { UserKey(virtualKey); }
    wxWindow* GetWindow() const override { return nullptr; }

private:
    void PointAtRow(int row);

    int m_id;
    CListStateArray m_states;
    CListStateModel m_model;
    std::vector<Column> m_columns;
    int m_cursorX = 0;
    int m_cursorY = -1;
    bool m_ctrlDown = false;
    int m_countPerPage = 10;
    bool m_redraw = true;
    bool m_shown = true;
    int m_lastVisible = -1;
    int m_fontChanges = 0;
};
