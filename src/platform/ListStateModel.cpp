#include "platform/ListStateModel.h"

#include <algorithm>

#include "platform/KeyMap.h"

// --- CListStateArray

void CListStateArray::Resize(int count) {
    count = std::max(0, count);
    for (int row = count; row < StateRowCount(); ++row)
        if (m_selected[static_cast<size_t>(row)]) --m_selectedCount;
    m_selected.resize(static_cast<size_t>(count), 0);
    if (m_focused >= count) m_focused = -1;
}

unsigned CListStateArray::StateOf(int row) const {
    if (row < 0 || row >= StateRowCount()) return 0;
    return (m_selected[static_cast<size_t>(row)] ? LVIS_SELECTED : 0u) | (row == m_focused ? LVIS_FOCUSED : 0u);
}

int CListStateArray::NextSelectedRow(int after) const {
    for (int row = std::max(0, after + 1); row < StateRowCount(); ++row)
        if (m_selected[static_cast<size_t>(row)]) return row;
    return -1;
}

void CListStateArray::ChangeState(int row, unsigned state, unsigned mask) {
    if (row < 0 || row >= StateRowCount()) return;
    if (mask & LVIS_SELECTED) {
        uint8_t& selected = m_selected[static_cast<size_t>(row)];
        const uint8_t want = (state & LVIS_SELECTED) ? 1 : 0;
        if (selected != want) m_selectedCount += want ? 1 : -1;
        selected = want;
    }
    if (mask & LVIS_FOCUSED) {
        if (state & LVIS_FOCUSED)
            m_focused = row;
        else if (m_focused == row)
            m_focused = -1;
    }
}

void CListStateArray::SelectAllRows(bool select) {
    std::fill(m_selected.begin(), m_selected.end(), select ? 1 : 0);
    m_selectedCount = select ? StateRowCount() : 0;
}

// --- CListStateModel

CListStateModel::CListStateModel(IListView& list, IListStateStore& store) : m_list(list), m_store(store) {
    m_told.resize(static_cast<size_t>(std::max(0, m_store.StateRowCount())), 0);
}

unsigned CListStateModel::GetItemState(int item, unsigned mask) const {
    if (item < 0 || item >= m_store.StateRowCount()) return 0;
    return m_store.StateOf(item) & mask;
}

int CListStateModel::GetNextItem(int start, unsigned flags) const {
    const int count = m_store.StateRowCount();
    const int after = std::max(-1, start);
    flags &= LVNI_SELECTED | LVNI_FOCUSED;
    if (flags & LVNI_FOCUSED) {
        // Only one row can have the focus: no search through the rows.
        const int focused = m_store.FocusedRow();
        if (focused > after && focused < count && (m_store.StateOf(focused) & flags) == flags) return focused;
        return -1;
    }
    if (flags & LVNI_SELECTED) return m_store.NextSelectedRow(after);
    return after + 1 < count ? after + 1 : -1;
}

int CListStateModel::SetSelectionMark(int item) {
    const int previous = m_mark;
    m_mark = item;
    return previous;
}

unsigned CListStateModel::ToldState(int row) const {
    return (row >= 0 && row < static_cast<int>(m_told.size())) ? m_told[static_cast<size_t>(row)] : 0u;
}

void CListStateModel::Notify(int item, unsigned oldState, unsigned newState) {
    if (m_owner) m_owner->OnItemChanged(m_list, item, oldState, newState);
}

void CListStateModel::TellRow(int row) {
    if (row < 0 || row >= m_store.StateRowCount()) return;
    if (row >= static_cast<int>(m_told.size())) m_told.resize(static_cast<size_t>(m_store.StateRowCount()), 0);
    const unsigned now = m_store.StateOf(row) & kListStateBits;
    const unsigned before = m_told[static_cast<size_t>(row)];
    if (now == before) return;
    // Recorded before the owner hears of it: a handler that looks again sees it as told.
    m_told[static_cast<size_t>(row)] = static_cast<uint8_t>(now);
    Notify(row, before, now);
}

bool CListStateModel::SetItemState(int item, unsigned state, unsigned mask) {
    mask &= kListStateBits;
    state &= mask;
    if (item == -1) return SetAllItemStates(state, mask);
    if (item < 0 || item >= m_store.StateRowCount()) return false;
    if (state & LVIS_FOCUSED) {
        const int focused = m_store.FocusedRow();
        if (focused != -1 && focused != item) {
            m_store.ChangeState(focused, 0, LVIS_FOCUSED);
            TellRow(focused);
        }
    }
    const bool wasSelected = (m_store.StateOf(item) & LVIS_SELECTED) != 0;
    m_store.ChangeState(item, state, mask);
    // Only a row that becomes selected takes the mark: the click handlers select the
    // clicked row again, and that must not move the anchor of a Shift range.
    if (!wasSelected && (state & LVIS_SELECTED)) m_mark = item;
    TellRow(item);
    return true;
}

bool CListStateModel::SetAllItemStates(unsigned state, unsigned mask) {
    if (state & LVIS_FOCUSED) return false;
    const int selectedBefore = m_store.SelectedRowCount();
    if (mask == LVIS_SELECTED && state == 0 && selectedBefore == 0) return true;
    unsigned oldState = 0;
    if (!(state & LVIS_SELECTED) && selectedBefore > 0) oldState |= LVIS_SELECTED;
    if (m_store.FocusedRow() != -1) oldState |= LVIS_FOCUSED;
    if (mask & LVIS_SELECTED) m_store.SelectAllRows((state & LVIS_SELECTED) != 0);
    if (mask & LVIS_FOCUSED) {
        const int focused = m_store.FocusedRow();
        if (focused != -1) m_store.ChangeState(focused, 0, LVIS_FOCUSED);
    }
    // The one notification stands for every row, but only for the bits it changed: a
    // user change of the other bit that was not told yet is still told later.
    const int count = m_store.StateRowCount();
    m_told.resize(static_cast<size_t>(count), 0);
    for (int row = 0; row < count; ++row) {
        uint8_t& told = m_told[static_cast<size_t>(row)];
        told = static_cast<uint8_t>((told & ~mask) | (m_store.StateOf(row) & mask));
    }
    Notify(-1, oldState & mask, state & mask);
    return true;
}

void CListStateModel::AllRowsDeleted() {
    m_told.clear();
    m_told.resize(static_cast<size_t>(std::max(0, m_store.StateRowCount())), 0);
    m_mark = -1;
}

void CListStateModel::RowCountChanged() {
    m_told.resize(static_cast<size_t>(std::max(0, m_store.StateRowCount())), 0);
}

void CListStateModel::ImposeToldStates() {
    const int count = std::min(m_store.StateRowCount(), static_cast<int>(m_told.size()));
    int toldFocus = -1;
    for (int row = 0; row < count; ++row)
        if (m_told[static_cast<size_t>(row)] & LVIS_FOCUSED) toldFocus = row;
    const int focused = m_store.FocusedRow();
    if (focused != toldFocus) {
        if (toldFocus != -1)
            m_store.ChangeState(toldFocus, LVIS_FOCUSED, LVIS_FOCUSED);
        else
            m_store.ChangeState(focused, 0, LVIS_FOCUSED);
    }
    for (int row = 0; row < count; ++row) {
        const unsigned told = m_told[static_cast<size_t>(row)];
        if ((m_store.StateOf(row) ^ told) & LVIS_SELECTED) m_store.ChangeState(row, told, LVIS_SELECTED);
    }
}

void CListStateModel::ReportUserChanges() {
    // The count is read again on every row: a handler may rebuild the list.
    for (int row = 0; row < m_store.StateRowCount(); ++row) TellRow(row);
}

void CListStateModel::SelectOnly(int row) {
    m_store.SelectAllRows(false);
    m_store.ChangeState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    m_mark = row;
}

void CListStateModel::SelectFromMark(int row, bool keepOthers) {
    if (m_mark < 0 || m_mark >= m_store.StateRowCount()) m_mark = row;
    const int first = std::min(m_mark, row), last = std::max(m_mark, row);
    if (!keepOthers) m_store.SelectAllRows(false);
    for (int r = first; r <= last; ++r) m_store.ChangeState(r, LVIS_SELECTED, LVIS_SELECTED);
    m_store.ChangeState(row, LVIS_FOCUSED, LVIS_FOCUSED);
}

void CListStateModel::UserButtonDown(int row, bool ctrl, bool shift) {
    if (row < 0 || row >= m_store.StateRowCount()) {
        // Empty space clears the selection; the focus stays where it was.
        if (!ctrl && !shift) m_store.SelectAllRows(false);
        return;
    }
    if (shift) {
        SelectFromMark(row, ctrl);
    } else if (ctrl) {
        const bool selected = (m_store.StateOf(row) & LVIS_SELECTED) != 0;
        m_store.ChangeState(row, selected ? 0u : LVIS_SELECTED, LVIS_SELECTED);
        m_store.ChangeState(row, LVIS_FOCUSED, LVIS_FOCUSED);
        m_mark = row;
    } else {
        SelectOnly(row);
    }
}

void CListStateModel::UserRightButtonDown(int row, bool ctrl, bool shift) {
    if (row < 0 || row >= m_store.StateRowCount()) {
        m_store.SelectAllRows(false);
        return;
    }
    // A right click on a selected row keeps the selection, so that a command can act on it.
    if (!ctrl && !shift && !(m_store.StateOf(row) & LVIS_SELECTED))
        SelectOnly(row);
    else
        m_store.ChangeState(row, LVIS_FOCUSED, LVIS_FOCUSED);
}

bool CListStateModel::IsNavigationKey(int virtualKey) {
    switch (virtualKey) {
    case VK_UP: case VK_DOWN: case VK_HOME: case VK_END: case VK_PRIOR: case VK_NEXT: case VK_SPACE:
        return true;
    default:
        return false;
    }
}

int CListStateModel::UserKey(int virtualKey, bool ctrl, bool shift, int topRow, int pageRows) {
    const int count = m_store.StateRowCount();
    if (count <= 0) return -1;
    const int focused = m_store.FocusedRow();
    pageRows = std::max(1, pageRows);
    // A page ends on the row it starts from next; a page of one row still moves a row.
    const int pageStep = std::max(1, pageRows - 1);
    int row = -1;
    switch (virtualKey) {
    case VK_UP: row = focused > 0 ? focused - 1 : -1; break;
    case VK_DOWN: row = focused + 1 < count ? focused + 1 : -1; break;
    case VK_HOME: row = 0; break;
    case VK_END: row = count - 1; break;
    case VK_PRIOR: row = std::max(0, focused == topRow ? topRow - pageStep : topRow); break;
    case VK_NEXT: {
        const int bottom = topRow + pageRows - 1;
        row = std::min(count - 1, focused == bottom ? focused + pageStep : bottom);
        break;
    }
    case VK_SPACE: row = focused; break;
    default: return -1;
    }
    if (row < 0 || row >= count) return -1;
    if (row == focused && virtualKey != VK_SPACE) return -1;
    if (shift) {
        SelectFromMark(row, false);
    } else if (ctrl) {
        // Ctrl moves the focus alone; Ctrl+Space toggles the focused row.
        if (virtualKey == VK_SPACE) {
            const bool selected = (m_store.StateOf(row) & LVIS_SELECTED) != 0;
            m_store.ChangeState(row, selected ? 0u : LVIS_SELECTED, LVIS_SELECTED);
            if (!selected) m_mark = row;
        }
        m_store.ChangeState(row, LVIS_FOCUSED, LVIS_FOCUSED);
    } else {
        SelectOnly(row);
    }
    return row;
}
