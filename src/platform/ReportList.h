#pragma once
// The real list behind IListView: a virtual report list of the toolkit, adapted to the
// original platform's list semantics (see ListView.h and ListStateModel.h).
//
// - The program's state changes notify synchronously, once per changed row (once in
//   all for item -1); the toolkit's own selection events never reach the owner.
// - Clicks and navigation keys on the rows follow the original's selection rules
//   (CListStateModel) rather than the toolkit's, which differ for Shift (the toolkit
//   extends from the last clicked row and keeps the rest selected). Their notifications
//   are sent after the toolkit has finished with the input event, one per changed row in
//   row order, then the click notification.
// - The page keys page by the rows shown whole, and a row is scrolled into view no
//   further than it takes to show it whole.
// - Typed characters do not jump to a row (the toolkit would search the rows' texts).
// - SetRedraw(false) freezes the window until SetRedraw(true).
// - Assistive technology reads the list as a table of its rows and columns (ListAccessible.h),
//   and hears the moves of its selection and focus.

#include <wx/listctrl.h>

#include "platform/ListView.h"

class CReportList : public wxListCtrl, public IListView {
public:
    // Report style, owner-supplied rows, several rows selectable, selection always
    // shown, grid lines and full-row selection.
    CReportList(wxWindow* parent, int id);
    ~CReportList() override;

    int GetDlgCtrlID() const override;
    void SetOwner(IListViewOwner* owner) override;
    int GetItemCount() const override;
    void SetItemCountEx(int count) override;
    bool DeleteAllItems() override;
    unsigned GetItemState(int item, unsigned mask) const override;
    bool SetItemState(int item, unsigned state, unsigned mask) override;
    int GetNextItem(int start, unsigned flags) const override;
    int GetSelectedCount() const override;
    int GetSelectionMark() const override;
    int SetSelectionMark(int item) override;
    bool EnsureVisible(int item, bool partialOK) override;
    bool RedrawItems(int first, int last) override;
    void SetRedraw(bool redraw) override;
    void Invalidate() override;
    int GetTopIndex() const override;
    int GetCountPerPage() const override;
    int HitTestItem(int x, int y) const override;
    void GetCursorPos(int& x, int& y) const override;
    bool IsControlDown() const override;
    int InsertColumn(int column, const CString& caption, int format, int width) override;
    int GetColumnCount() const override;
    int GetColumnWidth(int column) const override;
    void SetFocus() override;
    bool HasFocus() const override;
    void ShowList(bool show) override;
    void SetListFont(const wxFont& font) override;
    // Navigation keys (VK_UP, VK_DOWN, VK_HOME, VK_END, VK_PRIOR, VK_NEXT, VK_SPACE) move
    // the selection as when typed, and their notifications are sent before this returns,
    // as the original list answers a sent key-down. Other keys do nothing.
    void SendKeyDown(int virtualKey) override;
    wxWindow* GetWindow() const override;

    // The inner window that shows the rows and receives the mouse and the keys (below the
    // column header). Its client coordinates are what the toolkit's HitTest takes.
    wxWindow* GetRowsWindow() const;

    // What assistive technology calls the list (its table of rows); by default nothing.
    void SetAccessibleName(const CString& name);

    // Tab reaches the list whenever it is shown and enabled. The toolkit builds the Tab
    // order of the list's parent, once its controls change, from the controls that could
    // take the focus at that moment, and counts a list only while the whole window is
    // enabled: an order built while a progress window or a modal dialog disabled the main
    // window left both lists out until the controls changed again. GTK itself passes over
    // a list that is hidden or disabled when Tab is pressed.
    bool AcceptsFocusFromKeyboard() const override { return true; }

protected:
    wxString OnGetItemText(long item, long column) const override;

private:
    struct Impl;
    Impl* m_impl;
};
