#include "FakeListView.h"

#include "platform/KeyMap.h"

namespace {
// The fake list that has the keyboard focus.
CFakeListView* g_focused = nullptr;
}  // namespace

CFakeListView::CFakeListView(int id) : m_id(id), m_model(*this, m_states) {}

CFakeListView::~CFakeListView() {
    if (g_focused == this) g_focused = nullptr;
}

void CFakeListView::PointAtRow(int row) {
    m_cursorX = 0;
    m_cursorY = row >= 0 ? row : GetItemCount();
}

void CFakeListView::UserClick(int row, bool ctrl, bool shift) {
    SetFocus();
    m_model.UserButtonDown(row, ctrl, shift);
    m_model.ReportUserChanges();
    const bool ctrlBefore = m_ctrlDown;
    PointAtRow(row);
    m_ctrlDown = ctrl;
    if (IListViewOwner* owner = m_model.GetOwner()) owner->OnClick(*this);
    m_ctrlDown = ctrlBefore;
}

void CFakeListView::UserDoubleClick(int row) {
    UserClick(row);
    PointAtRow(row);
    if (IListViewOwner* owner = m_model.GetOwner()) owner->OnDblClk(*this);
}

void CFakeListView::UserRightClick(int row, bool ctrl) {
    SetFocus();
    m_model.UserRightButtonDown(row, ctrl, false);
    m_model.ReportUserChanges();
    const bool ctrlBefore = m_ctrlDown;
    PointAtRow(row);
    m_ctrlDown = ctrl;
    if (IListViewOwner* owner = m_model.GetOwner()) owner->OnRClick(*this);
    m_ctrlDown = ctrlBefore;
}

void CFakeListView::UserKey(int virtualKey, bool ctrl, bool shift) {
    if (!CListStateModel::IsNavigationKey(virtualKey)) return;
    const int row = m_model.UserKey(virtualKey, ctrl, shift, GetTopIndex(), m_countPerPage);
    if (row >= 0) m_lastVisible = row;
    m_model.ReportUserChanges();
}

int CFakeListView::UntoldRows() const {
    int untold = 0;
    for (int row = 0; row < GetItemCount(); ++row)
        if (m_states.StateOf(row) != m_model.ToldState(row)) ++untold;
    return untold;
}

std::vector<int> CFakeListView::SelectedRows() const {
    std::vector<int> rows;
    for (int row = m_states.NextSelectedRow(-1); row != -1; row = m_states.NextSelectedRow(row)) rows.push_back(row);
    return rows;
}

CString CFakeListView::CellText(int item, int column) {
    IListViewOwner* owner = m_model.GetOwner();
    return owner ? owner->OnGetItemText(*this, item, column) : CString();
}

void CFakeListView::SetItemCountEx(int count) {
    m_states.Resize(count);
    m_model.RowCountChanged();
}

bool CFakeListView::DeleteAllItems() {
    m_states.Resize(0);
    m_model.AllRowsDeleted();
    return true;
}

bool CFakeListView::EnsureVisible(int item, bool) {
    if (item < 0 || item >= GetItemCount()) return false;
    m_lastVisible = item;
    return true;
}

int CFakeListView::HitTestItem(int x, int y) const { return (y >= 0 && y < GetItemCount()) ? y : -1; }

void CFakeListView::GetCursorPos(int& x, int& y) const {
    x = m_cursorX;
    y = m_cursorY;
}

int CFakeListView::InsertColumn(int column, const CString& caption, int format, int width) {
    if (column < 0 || column > GetColumnCount()) column = GetColumnCount();
    m_columns.insert(m_columns.begin() + column, Column{caption, format, width});
    return column;
}

int CFakeListView::GetColumnWidth(int column) const {
    return (column >= 0 && column < GetColumnCount()) ? m_columns[static_cast<size_t>(column)].width : 0;
}

void CFakeListView::SetFocus() {
    if (g_focused == this) return;
    CFakeListView* previous = g_focused;
    g_focused = this;
    if (previous)
        if (IListViewOwner* owner = previous->m_model.GetOwner()) owner->OnKillFocus(*previous);
    if (IListViewOwner* owner = m_model.GetOwner()) owner->OnSetFocus(*this);
}

bool CFakeListView::HasFocus() const { return g_focused == this; }
