#include "platform/ReportList.h"

#include <algorithm>
#include <memory>

#include <wx/event.h>
#include <wx/utils.h>

#include "platform/CodePage.h"
#include "platform/KeyMap.h"
#include "platform/ListAccessible.h"
#include "platform/ListStateModel.h"

namespace {

long ToWxStates(unsigned states) {
    return ((states & LVIS_SELECTED) ? wxLIST_STATE_SELECTED : 0) | ((states & LVIS_FOCUSED) ? wxLIST_STATE_FOCUSED : 0);
}

int ToWxFormat(int format) {
    switch (format) {
    case LVCFMT_RIGHT: return wxLIST_FORMAT_RIGHT;
    case LVCFMT_CENTER: return wxLIST_FORMAT_CENTRE;
    default: return wxLIST_FORMAT_LEFT;
    }
}

// The original copies a cell's text into a buffer of kListTextMax bytes; a double-byte
// character that would not fit whole is left out rather than split.
CString CutToDisplayBuffer(const CString& text) {
    const int limit = kListTextMax - 1;
    if (text.GetLength() <= limit) return text;
    int end = 0;
    while (end < text.GetLength()) {
        const int width = CString::IsLeadByte(static_cast<unsigned char>(text[end])) ? 2 : 1;
        if (end + width > limit) break;
        end += width;
    }
    return text.Left(end);
}

}  // namespace

// The toolkit control as the store of the rows' real states, and the input handling.
// It is an event handler of its own so that its bindings and pending calls end with it.
struct CReportList::Impl : public wxEvtHandler, public IListStateStore, public IListAccessSource {
    enum class EClick { Left, LeftDouble, Right, RightDouble };

    Impl(CReportList& owner, wxWindow* rowsWindow)
        : list(owner),
          rows(rowsWindow),
          model(owner, *this),
          // The list's own widget stands for it among its neighbours, the rows' widget
          // takes the keyboard focus: both are the table.
          access(std::make_unique<CListAccessible>(
              *this, std::vector<void*>{owner.m_widget, rowsWindow->m_wxwindow ? rowsWindow->m_wxwindow
                                                                                 : rowsWindow->m_widget})) {}

    CReportList& list;
    wxWindow* rows;
    CListStateModel model;
    int suppress = 0;          // > 0 while the program changes the control
    int focus = -1;            // the toolkit's focused row, followed through its events
    bool frozen = false;
    bool mergePending = false;
    bool leftPending = false;  // a button went down on the rows and has not come up
    bool rightPending = false;
    int clickDepth = 0;        // > 0 while a click notification runs
    wxPoint clickPos;          // list client coordinates
    bool clickCtrl = false;
    std::unique_ptr<CListAccessible> access;
    bool accessPending = false;

    // --- what assistive technology reads (only once it has asked for the list)
    void ScheduleAccessUpdate() {
        if (accessPending || !access || !access->IsInUse()) return;
        accessPending = true;
        CallAfter([this] {
            accessPending = false;
            access->Update();
        });
    }
    int AccRowCount() const override { return StateRowCount(); }
    int AccColumnCount() const override { return list.wxListCtrl::GetColumnCount(); }
    std::string AccCellText(int row, int column) const override {
        return std::string(list.OnGetItemText(row, column).utf8_str());
    }
    std::string AccColumnCaption(int column) const override {
        wxListItem item;
        item.SetMask(wxLIST_MASK_TEXT);
        if (!list.wxListCtrl::GetColumn(column, item)) return std::string();
        return std::string(item.GetText().utf8_str());
    }
    bool AccIsSelected(int row) const override { return (StateOf(row) & LVIS_SELECTED) != 0; }
    int AccFocusedRow() const override { return FocusedRow(); }
    int AccNextSelected(int after) const override { return NextSelectedRow(after); }
    int AccSelectedCount() const override { return SelectedRowCount(); }
    bool AccHasFocus() const override { return list.HasFocus(); }
    bool AccIsShown() const override { return list.IsShownOnScreen(); }
    bool AccIsEnabled() const override { return list.IsEnabled(); }
    wxRect AccListRect() const override { return list.IsShownOnScreen() ? list.GetScreenRect() : wxRect(); }
    wxRect AccCellRect(int row, int column) const override {
        const int top = static_cast<int>(list.GetTopItem());
        if (!list.IsShownOnScreen() || row < top || row > top + list.wxListCtrl::GetCountPerPage() ||
            row >= StateRowCount() || column < 0 || column >= AccColumnCount())
            return wxRect();
        wxRect cell;
        if (!list.wxListCtrl::GetSubItemRect(row, column, cell)) return wxRect();
        cell.SetPosition(list.ClientToScreen(cell.GetPosition()));
        return cell.Intersect(rows->GetScreenRect());
    }
    wxRect AccHeaderRect(int column) const override {
        if (!list.IsShownOnScreen() || column < 0 || column >= AccColumnCount()) return wxRect();
        const wxRect rowsRect = rows->GetScreenRect();
        wxRect header;
        for (wxWindow* child : list.GetChildren())
            if (child != rows && child->IsShown()) header = child->GetScreenRect();
        if (header.IsEmpty()) return wxRect();
        int unitX = 0, unitY = 0;
        list.GetScrollPixelsPerUnit(&unitX, &unitY);
        int x = rowsRect.x - list.GetViewStart().x * unitX;
        for (int c = 0; c < column; ++c) x += list.wxListCtrl::GetColumnWidth(c);
        return wxRect(x, header.y, list.wxListCtrl::GetColumnWidth(column), header.height).Intersect(header);
    }

    // --- IListStateStore over the toolkit control
    int StateRowCount() const override { return list.wxListCtrl::GetItemCount(); }
    unsigned StateOf(int row) const override {
        if (row < 0 || row >= StateRowCount()) return 0;
        const long wx = list.wxListCtrl::GetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
        return ((wx & wxLIST_STATE_SELECTED) ? LVIS_SELECTED : 0u) | ((wx & wxLIST_STATE_FOCUSED) ? LVIS_FOCUSED : 0u);
    }
    int FocusedRow() const override {
        // The toolkit finds its focused row only by walking all rows; its focus events keep
        // this copy, which the phrase list's every cell asks the section list for.
        if (focus >= 0 && focus < StateRowCount()) return focus;
        return -1;
    }
    int NextSelectedRow(int after) const override {
        return static_cast<int>(list.wxListCtrl::GetNextItem(after, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED));
    }
    int SelectedRowCount() const override { return list.wxListCtrl::GetSelectedItemCount(); }
    void ChangeState(int row, unsigned state, unsigned mask) override {
        if (row < 0 || row >= StateRowCount() || !(mask & kListStateBits)) return;
        ++suppress;
        list.wxListCtrl::SetItemState(row, ToWxStates(state & mask), ToWxStates(mask));
        --suppress;
        if (mask & LVIS_FOCUSED) {
            if (state & LVIS_FOCUSED)
                focus = row;
            else if (focus == row)
                focus = -1;
        }
        ScheduleAccessUpdate();
    }
    void SelectAllRows(bool select) override {
        if (StateRowCount() == 0) return;
        ++suppress;
        list.wxListCtrl::SetItemState(-1, select ? wxLIST_STATE_SELECTED : 0, wxLIST_STATE_SELECTED);
        --suppress;
        ScheduleAccessUpdate();
    }

    // Asks the toolkit again, after it may have moved its focus by itself.
    void RereadFocus() {
        focus = StateRowCount() > 0
                    ? static_cast<int>(list.wxListCtrl::GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED))
                    : -1;
    }

    // The rows shown whole below the column header: the original's page.
    int WholeRows() const {
        wxRect line;
        if (StateRowCount() == 0 || !list.wxListCtrl::GetItemRect(0, line) || line.height <= 0) return 1;
        return std::max(1, rows->GetClientSize().y / line.height);
    }
    // Scrolls no further than it takes to show `row` whole. The toolkit alone scrolls a row
    // too far when the rows end exactly at the bottom edge; the page keys would then find
    // the focus above the bottom of the page and move by one row.
    void ShowWhole(int row) {
        const int before = static_cast<int>(list.GetTopItem());
        list.wxListCtrl::EnsureVisible(row);  // lays out rows the list has just been given
        const int top = std::clamp(before, row - WholeRows() + 1, row);
        if (static_cast<int>(list.GetTopItem()) == top) return;
        list.Scroll(-1, top);
        // Told as a scroll bar tells it, so that the toolkit forgets the rows it counted as
        // shown: it would otherwise go on giving the old top row.
        wxScrollWinEvent scrolled(wxEVT_SCROLLWIN_THUMBRELEASE, top, wxVERTICAL);
        scrolled.SetEventObject(&list);
        list.GetEventHandler()->ProcessEvent(scrolled);
    }

    int RowAt(const wxPoint& rowsPoint) const {
        int flags = 0;
        const long row = list.wxListCtrl::HitTest(rowsPoint, flags);
        return (row >= 0 && (flags & wxLIST_HITTEST_ONITEM)) ? static_cast<int>(row) : -1;
    }
    wxPoint RowsToList(const wxPoint& p) const { return p + rows->GetPosition(); }

    // --- the toolkit's list events: none of them goes further
    void OnListEvent(wxListEvent& event) {
        if (event.GetEventType() == wxEVT_LIST_ITEM_FOCUSED) focus = static_cast<int>(event.GetIndex());
        ScheduleAccessUpdate();
        // A change the program did not make (the toolkit's own keys) is told like a user's.
        if (suppress == 0 && (event.GetEventType() == wxEVT_LIST_ITEM_SELECTED ||
                              event.GetEventType() == wxEVT_LIST_ITEM_DESELECTED ||
                              event.GetEventType() == wxEVT_LIST_ITEM_FOCUSED))
            ScheduleMerge();
    }

    // --- user input on the rows
    void OnLeftDown(wxMouseEvent& event) {
        list.SetFocus();
        const int row = RowAt(event.GetPosition());
        model.UserButtonDown(row, event.ControlDown(), event.ShiftDown());
        if (row >= 0) ShowWhole(row);
        leftPending = true;
        ScheduleMerge();
        // Not passed on: the toolkit would apply its own selection rules.
    }
    void OnLeftUp(wxMouseEvent& event) {
        event.Skip();
        if (!leftPending) return;
        leftPending = false;
        QueueClick(EClick::Left, event);
    }
    void OnLeftDClick(wxMouseEvent& event) {
        // The toolkit folds a double click's second press into this event; the click
        // notification came with the first press only, as on the original.
        list.SetFocus();
        leftPending = false;
        QueueClick(EClick::LeftDouble, event);
    }
    void OnRightDown(wxMouseEvent& event) {
        list.SetFocus();
        const int row = RowAt(event.GetPosition());
        model.UserRightButtonDown(row, event.ControlDown(), event.ShiftDown());
        rightPending = true;
        ScheduleMerge();
        // Not passed on either: the toolkit would select by its own rules again.
    }
    void OnRightUp(wxMouseEvent& event) {
        event.Skip();
        if (!rightPending) return;
        rightPending = false;
        QueueClick(EClick::Right, event);
    }
    void OnRightDClick(wxMouseEvent& event) {
        rightPending = false;
        QueueClick(EClick::RightDouble, event);
    }

    void OnKeyDown(wxKeyEvent& event) {
        const int vk = VirtualKeyFromEvent(event);
        if (event.AltDown() || !CListStateModel::IsNavigationKey(vk)) {
            event.Skip();
            return;
        }
        ApplyKey(vk, event.ControlDown(), event.ShiftDown());
        ScheduleMerge();
    }
    // Whatever the rows show anew (texts changed by the program, scrolling) is drawn.
    void OnPaint(wxPaintEvent& event) {
        event.Skip();
        ScheduleAccessUpdate();
    }
    void OnChar(wxKeyEvent& event) {
        // The toolkit would jump to a row whose text starts with the typed character.
        const wxChar ch = event.GetUnicodeKey();
        if (ch != WXK_NONE && ch > WXK_SPACE && ch != WXK_DELETE && !event.ControlDown() && !event.AltDown())
            return;
        event.Skip();
    }
    void ApplyKey(int vk, bool ctrl, bool shift) {
        const int row = model.UserKey(vk, ctrl, shift, static_cast<int>(list.GetTopItem()), WholeRows());
        if (row >= 0) ShowWhole(row);
    }

    void OnSetFocus(wxFocusEvent& event) {
        event.Skip();
        ScheduleAccessUpdate();
        if (IListViewOwner* owner = model.GetOwner()) owner->OnSetFocus(list);
    }
    void OnKillFocus(wxFocusEvent& event) {
        event.Skip();
        ScheduleAccessUpdate();
        if (IListViewOwner* owner = model.GetOwner()) owner->OnKillFocus(list);
    }

    // --- notifications after the toolkit has finished with the input
    void ScheduleMerge() {
        if (mergePending) return;
        mergePending = true;
        CallAfter([this] { Merge(); });
    }
    void Merge() {
        mergePending = false;
        model.ReportUserChanges();
    }
    void QueueClick(EClick kind, const wxMouseEvent& event) {
        const wxPoint at = RowsToList(event.GetPosition());
        const bool ctrl = event.ControlDown();
        CallAfter([this, kind, at, ctrl] {
            Merge();
            RunClick(kind, at, ctrl);
        });
    }
    void RunClick(EClick kind, const wxPoint& at, bool ctrl) {
        IListViewOwner* owner = model.GetOwner();
        if (!owner) return;
        const wxPoint savedPos = clickPos;
        const bool savedCtrl = clickCtrl;
        clickPos = at;
        clickCtrl = ctrl;
        ++clickDepth;
        switch (kind) {
        case EClick::Left: owner->OnClick(list); break;
        case EClick::LeftDouble: owner->OnDblClk(list); break;
        case EClick::Right: owner->OnRClick(list); break;
        case EClick::RightDouble: owner->OnRDblClk(list); break;
        }
        --clickDepth;
        clickPos = savedPos;
        clickCtrl = savedCtrl;
    }
};

namespace {

wxWindow* FindRowsWindow(wxListCtrl& list, const void* mainWindow) {
    // The toolkit keeps its rows window's class private; its address identifies it.
    for (wxWindow* child : list.GetChildren())
        if (static_cast<const void*>(child) == mainWindow) return child;
    return &list;
}

}  // namespace

CReportList::CReportList(wxWindow* parent, int id)
    : wxListCtrl(parent, id, wxDefaultPosition, wxDefaultSize,
                 wxLC_REPORT | wxLC_VIRTUAL | wxLC_HRULES | wxLC_VRULES),
      m_impl(new Impl(*this, FindRowsWindow(*this, static_cast<const void*>(m_mainWin)))) {
    for (wxEventType type : {wxEVT_LIST_ITEM_SELECTED, wxEVT_LIST_ITEM_DESELECTED, wxEVT_LIST_ITEM_FOCUSED,
                             wxEVT_LIST_ITEM_ACTIVATED, wxEVT_LIST_ITEM_RIGHT_CLICK, wxEVT_LIST_ITEM_MIDDLE_CLICK,
                             wxEVT_LIST_DELETE_ITEM, wxEVT_LIST_DELETE_ALL_ITEMS, wxEVT_LIST_BEGIN_DRAG,
                             wxEVT_LIST_BEGIN_RDRAG, wxEVT_LIST_CACHE_HINT})
        Bind(wxEventTypeTag<wxListEvent>(type), &Impl::OnListEvent, m_impl);
    wxWindow* rows = m_impl->rows;
    rows->Bind(wxEVT_LEFT_DOWN, &Impl::OnLeftDown, m_impl);
    rows->Bind(wxEVT_LEFT_UP, &Impl::OnLeftUp, m_impl);
    rows->Bind(wxEVT_LEFT_DCLICK, &Impl::OnLeftDClick, m_impl);
    rows->Bind(wxEVT_RIGHT_DOWN, &Impl::OnRightDown, m_impl);
    rows->Bind(wxEVT_RIGHT_UP, &Impl::OnRightUp, m_impl);
    rows->Bind(wxEVT_RIGHT_DCLICK, &Impl::OnRightDClick, m_impl);
    rows->Bind(wxEVT_KEY_DOWN, &Impl::OnKeyDown, m_impl);
    rows->Bind(wxEVT_CHAR, &Impl::OnChar, m_impl);
    rows->Bind(wxEVT_SET_FOCUS, &Impl::OnSetFocus, m_impl);
    rows->Bind(wxEVT_KILL_FOCUS, &Impl::OnKillFocus, m_impl);
    rows->Bind(wxEVT_PAINT, &Impl::OnPaint, m_impl);
}

CReportList::~CReportList() {
    if (m_impl->frozen) Thaw();
    // The table turns defunct while the widgets it stands for are still there.
    m_impl->access.reset();
    // Deleting the handler removes its bindings and its pending calls; the toolkit's
    // events during the rest of the destruction find nobody.
    delete m_impl;
    m_impl = nullptr;
}

wxWindow* CReportList::GetRowsWindow() const { return m_impl->rows; }

int CReportList::GetDlgCtrlID() const { return GetId(); }

void CReportList::SetOwner(IListViewOwner* owner) { m_impl->model.SetOwner(owner); }

int CReportList::GetItemCount() const { return wxListCtrl::GetItemCount(); }

void CReportList::SetItemCountEx(int count) {
    ++m_impl->suppress;
    wxListCtrl::SetItemCount(std::max(0, count));
    m_impl->RereadFocus();
    m_impl->model.RowCountChanged();
    m_impl->model.ImposeToldStates();
    --m_impl->suppress;
    m_impl->ScheduleAccessUpdate();
}

bool CReportList::DeleteAllItems() {
    ++m_impl->suppress;
    const bool done = wxListCtrl::DeleteAllItems();
    --m_impl->suppress;
    m_impl->focus = -1;
    m_impl->model.AllRowsDeleted();
    m_impl->ScheduleAccessUpdate();
    return done;
}

unsigned CReportList::GetItemState(int item, unsigned mask) const { return m_impl->model.GetItemState(item, mask); }

bool CReportList::SetItemState(int item, unsigned state, unsigned mask) {
    return m_impl->model.SetItemState(item, state, mask);
}

int CReportList::GetNextItem(int start, unsigned flags) const { return m_impl->model.GetNextItem(start, flags); }

int CReportList::GetSelectedCount() const { return m_impl->model.GetSelectedCount(); }

int CReportList::GetSelectionMark() const { return m_impl->model.GetSelectionMark(); }

int CReportList::SetSelectionMark(int item) { return m_impl->model.SetSelectionMark(item); }

bool CReportList::EnsureVisible(int item, bool partialOK) {
    if (item < 0 || item >= GetItemCount()) return false;
    m_impl->ShowWhole(item);
    return true;
}

bool CReportList::RedrawItems(int first, int last) {
    const int count = GetItemCount();
    first = std::max(0, first);
    last = std::min(count - 1, last);
    if (first > last) return false;
    RefreshItems(first, last);
    m_impl->ScheduleAccessUpdate();
    return true;
}

void CReportList::SetRedraw(bool redraw) {
    // Like the original's redraw flag, not a counter: one "on" ends any number of "off".
    if (!redraw && !m_impl->frozen) {
        Freeze();
        m_impl->frozen = true;
    } else if (redraw && m_impl->frozen) {
        m_impl->frozen = false;
        Thaw();
    }
}

void CReportList::Invalidate() {
    Refresh(false);
    m_impl->ScheduleAccessUpdate();
}

int CReportList::GetTopIndex() const { return static_cast<int>(GetTopItem()); }

int CReportList::GetCountPerPage() const { return wxListCtrl::GetCountPerPage(); }

int CReportList::HitTestItem(int x, int y) const {
    return m_impl->RowAt(wxPoint(x, y) - m_impl->rows->GetPosition());
}

void CReportList::GetCursorPos(int& x, int& y) const {
    const wxPoint at = m_impl->clickDepth > 0 ? m_impl->clickPos : ScreenToClient(wxGetMousePosition());
    x = at.x;
    y = at.y;
}

bool CReportList::IsControlDown() const {
    return m_impl->clickDepth > 0 ? m_impl->clickCtrl : wxGetKeyState(WXK_CONTROL);
}

int CReportList::InsertColumn(int column, const CString& caption, int format, int width) {
    const int inserted = static_cast<int>(wxListCtrl::InsertColumn(column, ToWx(caption), ToWxFormat(format), width));
    m_impl->ScheduleAccessUpdate();
    return inserted;
}

void CReportList::SetAccessibleName(const CString& name) { m_impl->access->SetName(std::string(ToWx(name).utf8_str())); }

int CReportList::GetColumnCount() const { return wxListCtrl::GetColumnCount(); }

int CReportList::GetColumnWidth(int column) const { return wxListCtrl::GetColumnWidth(column); }

void CReportList::SetFocus() { wxListCtrl::SetFocus(); }

bool CReportList::HasFocus() const {
    const wxWindow* focused = FindFocus();
    return focused && (focused == this || focused == m_impl->rows);
}

void CReportList::ShowList(bool show) { Show(show); }

void CReportList::SetListFont(const wxFont& font) { SetFont(font); }

void CReportList::SendKeyDown(int virtualKey) {
    if (!CListStateModel::IsNavigationKey(virtualKey)) return;
    m_impl->ApplyKey(virtualKey, false, false);
    m_impl->model.ReportUserChanges();
}

wxWindow* CReportList::GetWindow() const { return const_cast<CReportList*>(this); }

wxString CReportList::OnGetItemText(long item, long column) const {
    IListViewOwner* owner = m_impl ? m_impl->model.GetOwner() : nullptr;
    if (!owner) return wxString();
    return ToWx(CutToDisplayBuffer(owner->OnGetItemText(*const_cast<CReportList*>(this), static_cast<int>(item),
                                                        static_cast<int>(column))));
}
