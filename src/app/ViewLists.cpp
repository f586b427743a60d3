// The view's two lists: the section list (one row per section) and the phrase list (the
// phrases of the selected section). Both are virtual lists with one extra row after the
// last record, which stands for the place after the end: paste and add insert before
// the selected row, so selecting the extra row appends.

#include <memory>

#include "app/BookLimits.h"
#include "app/CommandIds.h"
#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "platform/KeyMap.h"
#include "platform/MessageBox.h"
#include "platform/WaitCursor.h"

namespace {

constexpr unsigned kSelectedFocused = LVIS_SELECTED | LVIS_FOCUSED;

struct ColumnSpec {
    const char* caption;
    int format;
};

const ColumnSpec kSectionColumns[7] = {
    {"セクション", LVCFMT_LEFT}, {"レベル", LVCFMT_CENTER}, {"見出し", LVCFMT_LEFT}, {"フレーズ", LVCFMT_RIGHT},
    {"長さ", LVCFMT_CENTER},     {"ページ", LVCFMT_LEFT},   {"コメント", LVCFMT_LEFT},
};

const ColumnSpec kPhraseColumns[8] = {
    {"フレーズ", LVCFMT_LEFT},   {"長さ", LVCFMT_RIGHT},  {"無音", LVCFMT_RIGHT},     {"グループ", LVCFMT_CENTER},
    {"ページ", LVCFMT_CENTER},   {"マーク", LVCFMT_CENTER}, {"ファイル", LVCFMT_LEFT}, {"コメント", LVCFMT_LEFT},
};

CString Number(int value) { return CString::Formatted("%d", value); }

// The selection of either list is one block of adjacent rows. When a change leaves a
// gap, only the row that changed stays selected.
void KeepSelectionContiguous(IListView& list, int changedItem) {
    if (list.GetSelectedCount() <= 1) return;
    int previous = list.GetNextItem(-1, LVNI_SELECTED);
    for (int next = list.GetNextItem(previous, LVNI_SELECTED); next != -1;
         previous = next, next = list.GetNextItem(next, LVNI_SELECTED)) {
        if (next - previous > 1) {
            list.SetItemState(-1, 0, LVIS_SELECTED);
            if (changedItem >= 0) list.SetItemState(changedItem, kSelectedFocused, kSelectedFocused);
            return;
        }
    }
}

// A click never builds a scattered selection (Ctrl starts afresh) and never leaves the
// list without a selection (a click beside the rows selects the selection mark again).
void SelectClickedRow(IListView& list) {
    const int mark = list.GetSelectionMark();
    if (list.IsControlDown()) list.SetItemState(-1, 0, LVIS_SELECTED);
    int x = 0, y = 0;
    list.GetCursorPos(x, y);
    const int row = list.HitTestItem(x, y);
    const int target = row != -1 ? row : mark;
    if (target >= 0) list.SetItemState(target, kSelectedFocused, kSelectedFocused);
}

void SelectMarkRow(IListView& list) {
    const int mark = list.GetSelectionMark();
    if (mark >= 0) list.SetItemState(mark, kSelectedFocused, kSelectedFocused);
}

int RowUnderCursor(const IListView& list) {
    int x = 0, y = 0;
    list.GetCursorPos(x, y);
    return list.HitTestItem(x, y);
}

void SelectOnly(IListView* list, int row) {
    if (!list) return;
    list->SetItemState(-1, 0, kSelectedFocused);
    if (row < 0) return;
    list->SetItemState(row, kSelectedFocused, kSelectedFocused);
    list->EnsureVisible(row, false);
}

void SelectAllButLast(IListView& list) {
    const int count = list.GetItemCount();
    if (count <= 0) return;
    list.SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED);
    list.SetItemState(count - 1, 0, kSelectedFocused);
}

}  // namespace

CString CKorvaneView::GetHeadingIndent(int level, const CString& heading) {
    CString text;
    if (level >= 1 && level <= 5)
        for (int i = 0; i < level; ++i) text += "　";
    return text + heading;
}

void CKorvaneView::CreateListColumns() {
    if (m_listSection && m_listSection->GetColumnCount() == 0)
        for (int i = 0; i < 7; ++i)
            m_listSection->InsertColumn(i, kSectionColumns[i].caption, kSectionColumns[i].format, m_anSectionColumn[i]);
    if (m_listPhrase && m_listPhrase->GetColumnCount() == 0)
        for (int i = 0; i < 8; ++i)
            m_listPhrase->InsertColumn(i, kPhraseColumns[i].caption, kPhraseColumns[i].format, m_anPhraseColumn[i]);
}

// --- display texts

CString CKorvaneView::OnGetItemText(IListView& list, int item, int column) {
    if (&list == m_listSection) return OnGetDispInfoSectionList(item, column);
    if (&list == m_listPhrase) return OnGetDispInfoPhraseList(item, column);
    return CString();
}

CString CKorvaneView::OnGetDispInfoSectionList(int item, int column) {
    const CSectionInformation* section = m_lstSection.GetAt(item);
    if (!section) return CString();
    switch (column) {
    case 0: return Number(item + 1);
    case 1: return section->GetLevelText();
    case 2: return GetHeadingIndent(section->m_nLevel, section->m_strHeading);
    case 3: return section->GetPhraseCountText();
    case 4: return section->GetTimeText();
    case 5: return section->GetPageText();
    case 6: return section->m_strComment;
    default: return CString();
    }
}

CString CKorvaneView::OnGetDispInfoPhraseList(int item, int column) {
    if (!m_listSection) return CString();
    const CSectionInformation* section = m_lstSection.GetAt(m_listSection->GetNextItem(-1, LVNI_FOCUSED | LVNI_SELECTED));
    const CPhraseInformation* phrase = section ? section->m_lstPhrase.GetAt(item) : nullptr;
    if (!phrase) return CString();
    switch (column) {
    case 0: return Number(item + 1);
    case 1: return phrase->GetLengthText();
    case 2: return phrase->GetPauseText();
    case 3: return phrase->GetGroupText();
    case 4: return phrase->GetPageText();
    case 5: return phrase->GetMarkText();
    case 6: return phrase->m_strFileName;
    case 7: return phrase->m_strComment;
    default: return CString();
    }
}

// --- refresh and selection

void CKorvaneView::RefreshSectionList(int row) {
    if (!m_listSection) return;
    CWaitCursor wait;
    m_listSection->SetRedraw(false);
    m_listSection->DeleteAllItems();
    const int count = m_lstSection.GetCount();
    m_listSection->SetItemCountEx(count + 1);
    // The selection makes the list notify, and that rebuilds the phrase list.
    const bool selected = row >= 0 && m_listSection->SetItemState(row, kSelectedFocused, kSelectedFocused);
    m_listSection->EnsureVisible(row, false);
    SetControlText(IDC_STATIC_SECTION_COUNT, Number(count));
    m_listSection->SetRedraw(true);
    // Without a selected section nothing notifies; the phrase list must not go on showing
    // the rows of a section that is no longer selected.
    if (!selected) RefreshPhraseList(0);
}

void CKorvaneView::RefreshPhraseList(int row) {
    if (!m_listPhrase || !m_listSection) return;
    CWaitCursor wait;
    m_listPhrase->SetRedraw(false);
    const CSectionInformation* section = m_lstSection.GetAt(m_listSection->GetNextItem(-1, LVNI_FOCUSED | LVNI_SELECTED));
    m_listPhrase->DeleteAllItems();
    if (section) {
        const int count = section->m_lstPhrase.GetCount();
        m_listPhrase->SetItemCountEx(count + 1);
        if (row >= 0) m_listPhrase->SetItemState(row, kSelectedFocused, kSelectedFocused);
        m_listPhrase->EnsureVisible(row, false);
        SetControlText(IDC_STATIC_PHRASE_COUNT, Number(count));
        m_listPhrase->SetRedraw(true);
    } else {
        m_listPhrase->SetRedraw(true);
        SetControlText(IDC_STATIC_PHRASE_NO, "0");
        SetControlText(IDC_STATIC_PHRASE_COUNT, "0");
    }
}

void CKorvaneView::SelectSection(int row) { SelectOnly(m_listSection, row); }

void CKorvaneView::SelectPhrase(int row) { SelectOnly(m_listPhrase, row); }

void CKorvaneView::ApplyListFont() {
    if (!m_listSection || !m_listPhrase) return;
    const bool sectionRows = m_listSection->GetItemCount() > 0;
    const bool phraseRows = m_listPhrase->GetItemCount() > 0;
    const int sectionRow = sectionRows ? m_listSection->GetNextItem(-1, LVNI_SELECTED) : -1;
    const int phraseRow = phraseRows ? m_listPhrase->GetNextItem(-1, LVNI_SELECTED) : -1;
    m_listSection->ShowList(false);
    m_listPhrase->ShowList(false);
    const wxFont& font = m_nListFont == 2 ? m_fontListLarge : m_nListFont == 0 ? m_fontListSmall : m_fontListStandard;
    m_listSection->SetListFont(font);
    m_listPhrase->SetListFont(font);
    // The section refresh rebuilds the phrase list at row 0; the phrase row comes after.
    if (sectionRows) RefreshSectionList(sectionRow);
    if (phraseRows) RefreshPhraseList(phraseRow);
    m_listSection->ShowList(true);
    m_listPhrase->ShowList(true);
    if (m_bHasWindow) Refresh(false);
}

// --- notifications

void CKorvaneView::OnItemChanged(IListView& list, int item, unsigned oldState, unsigned newState) {
    if (&list == m_listSection)
        OnItemChangedSectionList(item, oldState, newState);
    else if (&list == m_listPhrase)
        OnItemChangedPhraseList(item, oldState, newState);
}

void CKorvaneView::OnItemChangedSectionList(int item, unsigned, unsigned newState) {
    if (!(newState & kSelectedFocused)) return;
    const int row = m_listSection->GetNextItem(-1, LVNI_FOCUSED | LVNI_SELECTED);
    if (row != -1) {
        if (m_bContinuousPlay != 1) OnButtonStop();
        // The extra row shows its own row number: the number of sections.
        SetControlText(IDC_STATIC_SECTION_NO, Number(row < m_lstSection.GetCount() ? row + 1 : row));
        m_listSection->EnsureVisible(row, false);
        RefreshPhraseList(0);
    }
    KeepSelectionContiguous(*m_listSection, item);
}

void CKorvaneView::OnItemChangedPhraseList(int item, unsigned, unsigned newState) {
    if (!(newState & kSelectedFocused)) return;
    const int row = m_listPhrase->GetNextItem(-1, LVNI_SELECTED);
    if (row != -1) {
        const int phrases = m_listPhrase->GetItemCount() - 1;
        SetControlText(IDC_STATIC_PHRASE_NO, Number(row < phrases ? row + 1 : row));
        m_listPhrase->EnsureVisible(row, false);
    }
    KeepSelectionContiguous(*m_listPhrase, item);
    PlaySelectedPhrase();
}

void CKorvaneView::OnClick(IListView& list) {
    if (&list == m_listSection)
        OnClickSectionList();
    else if (&list == m_listPhrase)
        OnClickPhraseList();
}

void CKorvaneView::OnDblClk(IListView& list) {
    if (&list == m_listSection)
        OnDblClkSectionList();
    else if (&list == m_listPhrase)
        OnDblClkPhraseList();
}

void CKorvaneView::OnRClick(IListView& list) {
    if (&list == m_listSection)
        OnRClickSectionList();
    else if (&list == m_listPhrase)
        OnRClickPhraseList();
}

void CKorvaneView::OnRDblClk(IListView& list) {
    if (&list == m_listSection)
        OnRDblClkSectionList();
    else if (&list == m_listPhrase)
        OnRDblClkPhraseList();
}

void CKorvaneView::OnSetFocus(IListView& list) {
    if (&list == m_listSection)
        OnSetFocusSectionList();
    else if (&list == m_listPhrase)
        OnSetFocusPhraseList();
}

void CKorvaneView::OnClickSectionList() { SelectClickedRow(*m_listSection); }

void CKorvaneView::OnDblClkSectionList() {
    if (RowUnderCursor(*m_listSection) == -1) SelectMarkRow(*m_listSection);
    else RunCommand(ID_PROPERTIES);
}

void CKorvaneView::OnRClickSectionList() { SelectClickedRow(*m_listSection); }

void CKorvaneView::OnRDblClkSectionList() { SelectMarkRow(*m_listSection); }

// The input method needs no detaching here: the toolkit gives it no hold on the lists.
void CKorvaneView::OnSetFocusSectionList() { m_hFocusList = m_listSection; }

void CKorvaneView::OnClickPhraseList() { SelectClickedRow(*m_listPhrase); }

void CKorvaneView::OnDblClkPhraseList() {
    if (RowUnderCursor(*m_listPhrase) == -1) SelectMarkRow(*m_listPhrase);
    else RunCommand(ID_PROPERTIES);
}

void CKorvaneView::OnRClickPhraseList() { SelectClickedRow(*m_listPhrase); }

void CKorvaneView::OnRDblClkPhraseList() { SelectMarkRow(*m_listPhrase); }

void CKorvaneView::OnSetFocusPhraseList() { m_hFocusList = m_listPhrase; }

// --- commands

void CKorvaneView::OnEditSelectAll() {
    if (m_listSection && m_listSection->HasFocus())
        SelectAllButLast(*m_listSection);
    else if (m_listPhrase && m_listPhrase->HasFocus())
        SelectAllButLast(*m_listPhrase);
}

void CKorvaneView::OnButtonBack() {
    m_listPhrase->SendKeyDown(VK_UP);
    m_listPhrase->SetFocus();
}

void CKorvaneView::OnButtonNext() {
    m_listPhrase->SendKeyDown(VK_DOWN);
    m_listPhrase->SetFocus();
}

void CKorvaneView::OnSectionAdd() {
    OnButtonStop();
    int row = m_listSection->GetNextItem(-1, LVNI_SELECTED);
    wxWindow* parent = m_bHasWindow ? this : nullptr;
    if (KvMessageBox(parent, "選択されているセクションの前にセクションを追加しますか？", "確認",
                     MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    if (m_lstSection.GetCount() >= kMaxSections) {
        KvMessageBox(parent, kMsgSectionAddFull, "エラー", MB_OK | MB_ICONSTOP);
        return;
    }
    // With no row selected at all the new section goes to the end, as on the extra row,
    // and is selected there.
    if (row < 0 || row > m_lstSection.GetCount()) row = m_lstSection.GetCount();
    m_nSectionUndoKind = 1;
    m_nSectionUndoFirst = row;
    m_nSectionUndoCount = 1;
    auto section = std::make_unique<CSectionInformation>();
    section->Reset();
    if (row < m_lstSection.GetCount())
        m_lstSection.InsertAt(row, std::move(section));
    else
        m_lstSection.Add(std::move(section));
    RefreshSectionList(row);
}
