#pragma once
// A report list with owner-supplied rows, with the semantics the editor was written
// for: every state change the program makes yields exactly one item-changed
// notification, synchronously; a change the user makes with mouse or keyboard yields
// its notifications once the toolkit has finished, followed by the click notifications.
// The editor talks to this interface only, so that its commands can run against a
// fake list in tests, without a window.

#include "platform/CString.h"

class wxFont;
class wxWindow;

// Item states and search flags, numbered as on the original platform.
enum : unsigned {
    LVIS_FOCUSED = 0x0001,
    LVIS_SELECTED = 0x0002,
};
enum : unsigned {
    LVNI_ALL = 0x0000,
    LVNI_FOCUSED = 0x0001,
    LVNI_SELECTED = 0x0002,
};

class IListView;

// Size of the original's display-text buffer, terminator included.
constexpr int kListTextMax = 260;

// What a list tells its owner. `list` identifies the sender.
class IListViewOwner {
public:
    virtual ~IListViewOwner() = default;
    // Text of one cell of a row; the list shows at most kListTextMax - 1 bytes of it.
    virtual CString OnGetItemText(IListView& list, int item, int column) = 0;
    // One state change of one row (item -1: every row, after SetItemState(-1, ...)).
    virtual void OnItemChanged(IListView& list, int item, unsigned oldState, unsigned newState) = 0;
    // The click notifications come after the item-changed notifications of the same
    // click; while they run, GetCursorPos and IsControlDown answer for that click.
    virtual void OnClick(IListView& list) {}
    virtual void OnDblClk(IListView& list) {}
    virtual void OnRClick(IListView& list) {}
    virtual void OnRDblClk(IListView& list) {}
    virtual void OnSetFocus(IListView& list) {}
    virtual void OnKillFocus(IListView& list) {}
};

class IListView {
public:
    virtual ~IListView() = default;

    virtual int GetDlgCtrlID() const = 0;
    virtual void SetOwner(IListViewOwner* owner) = 0;

    // Rows.
    virtual int GetItemCount() const = 0;
    // Sets the number of rows without invalidating those on screen; row states beyond the
    // new count are dropped.
    virtual void SetItemCountEx(int count) = 0;
    virtual bool DeleteAllItems() = 0;

    // States; item -1 in SetItemState means every row.
    virtual unsigned GetItemState(int item, unsigned mask) const = 0;
    virtual bool SetItemState(int item, unsigned state, unsigned mask) = 0;
    // The next row after `start` (-1: from the top) that has all states of `flags`.
    virtual int GetNextItem(int start, unsigned flags) const = 0;
    virtual int GetSelectedCount() const = 0;
    // The anchor of Shift selections: the row the user last clicked or reached with a key
    // without Shift, or the row that SetItemState last turned from unselected to selected.
    virtual int GetSelectionMark() const = 0;
    virtual int SetSelectionMark(int item) = 0;

    // Display.
    virtual bool EnsureVisible(int item, bool partialOK) = 0;
    virtual bool RedrawItems(int first, int last) = 0;
    virtual void SetRedraw(bool redraw) = 0;
    virtual void Invalidate() = 0;
    virtual int GetTopIndex() const = 0;
    virtual int GetCountPerPage() const = 0;
    // The row under a point in the list's client coordinates; -1 when none. (Not named
    // HitTest: the toolkit's windows have a virtual HitTest(x, y) of another type.)
    virtual int HitTestItem(int x, int y) const = 0;
    // The mouse position in client coordinates, as the click handlers ask for it; during
    // a click notification, where that click happened.
    virtual void GetCursorPos(int& x, int& y) const = 0;
    // Whether Ctrl is held down; during a click notification, whether it was for that click.
    virtual bool IsControlDown() const = 0;

    // Columns.
    virtual int InsertColumn(int column, const CString& caption, int format, int width) = 0;
    virtual int GetColumnCount() const = 0;
    virtual int GetColumnWidth(int column) const = 0;

    // Window.
    virtual void SetFocus() = 0;
    virtual bool HasFocus() const = 0;
    virtual void ShowList(bool show) = 0;
    virtual void SetListFont(const wxFont& font) = 0;
    // Delivers a key-down as if the user pressed it (virtual-key code), with the
    // list's own handling of it (the arrows move the selection).
    virtual void SendKeyDown(int virtualKey) = 0;
    // The window behind the list; null for a list without one.
    virtual wxWindow* GetWindow() const = 0;
};

// Column alignment for InsertColumn.
enum : int {
    LVCFMT_LEFT = 0,
    LVCFMT_RIGHT = 1,
    LVCFMT_CENTER = 2,
};
