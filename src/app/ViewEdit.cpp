// Delete, delete all, join and section split: the edits that change the structure of
// the book. Each records its undo before it changes anything and ends by rebuilding
// the list it changed.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "app/BookLimits.h"
#include "app/KorvaneView.h"
#include "app/RecordBlock.h"
#include "app/ViewEditCommon.h"
#include "platform/WaitCursor.h"

namespace {

uint32_t ClampToU32(uint64_t value) {
    return value > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                        : static_cast<uint32_t>(value);
}

// Whether each selected phrase continues the one before it in the same audio file, so
// that the whole run can become one phrase.
bool CanJoinPhrases(const CRecordList<CPhraseInformation>& phrases, int first, int count) {
    const CPhraseInformation* target = phrases.GetAt(first);
    uint64_t end = static_cast<uint64_t>(target->m_nStart) + target->m_nLength;
    for (int k = 1; k < count; ++k) {
        const CPhraseInformation* next = phrases.GetAt(first + k);
        if (target->m_strFileName.CompareNoCase(next->m_strFileName) != 0 || end != next->m_nStart) return false;
        end += next->m_nLength;
    }
    return true;
}

}  // namespace

std::vector<std::unique_ptr<CSectionInformation>> CKorvaneView::TakeUndoSections(int first) {
    CWaitCursor wait;
    m_listSection->SetRedraw(false);
    auto taken = TakeRecordBlock(m_lstSection, first, m_nSectionUndoCount);
    // A book always holds a section; the undo then has to take the fresh one away again.
    if (m_lstSection.IsEmpty()) {
        m_lstSection.Add(std::make_unique<CSectionInformation>());
        m_nSectionUndoKind = 8;
    }
    m_listSection->SetRedraw(true);
    return taken;
}

std::vector<std::unique_ptr<CPhraseInformation>> CKorvaneView::TakeUndoPhrases(CSectionInformation& section, int first) {
    CWaitCursor wait;
    m_listPhrase->SetRedraw(false);
    auto taken = TakeRecordBlock(section.m_lstPhrase, first, m_nPhraseUndoCount);
    for (const auto& phrase : taken) SubtractSectionTime(section, phrase->m_nLength);
    m_listPhrase->SetRedraw(true);
    return taken;
}

void CKorvaneView::OnEditDelete() {
    IListView* list = GetFocusedList();
    if (!list) return;
    OnButtonStop();
    if (list == m_listSection) {
        const int first = GetFirstSelectedSection();
        if (!m_lstSection.GetAt(first)) return;
        if (!AskEditQuestion(*this, "選択されているセクションを削除しますか？")) return;
        m_nSectionUndoKind = 3;
        SaveUndoSections();
        TakeUndoSections(first);
        RefreshSectionList(first);
        return;
    }
    const int sectionRow = GetShownSection();
    CSectionInformation* section = m_lstSection.GetAt(sectionRow);
    const int first = GetFirstSelectedPhrase();
    if (!section || !section->m_lstPhrase.GetAt(first)) return;
    if (!AskEditQuestion(*this, "選択されているフレーズを削除しますか？")) return;
    m_nPhraseUndoKind = 2;
    SaveUndoPhrases();
    TakeUndoPhrases(*section, first);
    m_listSection->RedrawItems(sectionRow, sectionRow);
    RefreshPhraseList(first);
}

void CKorvaneView::OnEditDeleteAll() {
    IListView* list = GetFocusedList();
    if (!list) return;
    OnButtonStop();
    if (list == m_listSection) {
        if (!AskEditQuestion(*this, "全セクションを削除しますか？")) return;
        if (m_lstSection.IsEmpty()) return;
        const int total = m_lstSection.GetCount();
        m_listSection->SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED);
        m_listSection->SetItemState(total, 0, LVIS_SELECTED | LVIS_FOCUSED);
        m_nSectionUndoKind = 3;
        SaveUndoAllSections();
        {
            CWaitCursor wait;
            m_listSection->SetRedraw(false);
            m_lstSection.RemoveAll();
            m_lstSection.Add(std::make_unique<CSectionInformation>());
            m_nSectionUndoKind = 8;
            m_listSection->SetRedraw(true);
        }
        RefreshSectionList(0);
        return;
    }
    if (!AskEditQuestion(*this, "全フレーズを削除しますか？")) return;
    const int sectionRow = GetShownSection();
    CSectionInformation* section = m_lstSection.GetAt(sectionRow);
    if (!section) return;
    const int total = section->m_lstPhrase.GetCount();
    m_listPhrase->SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED);
    m_listPhrase->SetItemState(total, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (total == 0) return;
    m_nPhraseUndoKind = 2;
    SaveUndoPhrases();
    {
        CWaitCursor wait;
        m_listPhrase->SetRedraw(false);
        for (const auto& phrase : TakeRecordBlock(section->m_lstPhrase, 0, total))
            SubtractSectionTime(*section, phrase->m_nLength);
        m_listPhrase->SetRedraw(true);
    }
    m_listSection->RedrawItems(sectionRow, sectionRow);
    RefreshPhraseList(0);
}

void CKorvaneView::OnEditJoin() {
    IListView* list = GetFocusedList();
    if (!list) return;
    OnButtonStop();
    if (list == m_listSection) {
        const int first = GetFirstSelectedSection();
        const int n = CountSelectedRecords(m_listSection, first, m_lstSection.GetCount());
        if (n < 2) return;
        if (!AskEditQuestion(*this, "選択されているセクションを結合しますか？")) return;
        m_nSectionUndoKind = 7;
        SaveUndoAllSections();
        CSectionInformation* target = m_lstSection.GetAt(first);
        // Sections join one after the other until one would take the target past the
        // phrase limit; those before it stay joined.
        int joinable = 0;
        int phrases = target->m_lstPhrase.GetCount();
        for (int k = 1; k < n; ++k) {
            const int more = m_lstSection.GetAt(first + k)->m_lstPhrase.GetCount();
            if (phrases + more > kMaxPhrasesPerSection) break;
            phrases += more;
            ++joinable;
        }
        {
            CWaitCursor wait;
            m_listSection->SetRedraw(false);
            for (const auto& next : TakeRecordBlock(m_lstSection, first + 1, joinable)) {
                target->m_nPhraseCount += next->m_nPhraseCount;
                AddSectionTime(*target, next->m_nSectionTime);
                InsertRecordBlock(target->m_lstPhrase, target->m_lstPhrase.GetCount(),
                                  TakeRecordBlock(next->m_lstPhrase, 0, next->m_lstPhrase.GetCount()));
            }
            m_listSection->SetRedraw(true);
        }
        if (joinable < n - 1) ShowEditError(*this, kMsgSectionJoinFull);
        RefreshSectionList(first);
        return;
    }
    const int sectionRow = GetShownSection();
    CSectionInformation* section = m_lstSection.GetAt(sectionRow);
    if (!section) return;
    const int first = GetFirstSelectedPhrase();
    const int n = CountSelectedRecords(m_listPhrase, first, section->m_lstPhrase.GetCount());
    if (n < 2) return;
    if (!AskEditQuestion(*this, "選択されているフレーズを結合しますか？")) return;
    // Every pair is checked before anything changes: a join refused half-way would leave
    // phrases joined that no undo could separate.
    if (!CanJoinPhrases(section->m_lstPhrase, first, n)) {
        ShowEditError(*this, "結合出来ません。");
        return;
    }
    m_nPhraseUndoKind = 6;
    SaveUndoPhrases();
    {
        CWaitCursor wait;
        m_listPhrase->SetRedraw(false);
        CPhraseInformation* target = section->m_lstPhrase.GetAt(first);
        for (const auto& next : TakeRecordBlock(section->m_lstPhrase, first + 1, n - 1)) {
            target->m_nLength = ClampToU32(static_cast<uint64_t>(target->m_nLength) + next->m_nLength);
            // A next phrase that is silence from start to end lengthens the pause instead.
            target->m_nPause = next->m_nLength == next->m_nPause
                                   ? ClampToU32(static_cast<uint64_t>(target->m_nPause) + next->m_nPause)
                                   : next->m_nPause;
        }
        m_listPhrase->SetRedraw(true);
    }
    m_listSection->RedrawItems(sectionRow, sectionRow);
    RefreshPhraseList(first);
}

void CKorvaneView::OnSectionSplit() {
    if (!GetFocusedList()) return;
    OnButtonStop();
    const int sectionRow = GetShownSection();
    CSectionInformation* section = m_lstSection.GetAt(sectionRow);
    const int p = GetFirstSelectedPhrase();
    if (!section || !section->m_lstPhrase.GetAt(p)) return;
    if (p == 0) {
        ShowEditError(*this, "先頭フレーズのため分割出来ません。");
        return;
    }
    if (m_lstSection.GetCount() >= kMaxSections) {
        ShowEditError(*this, kMsgSectionSplitFull);
        return;
    }
    if (!AskEditQuestion(*this, "選択されているフレーズからセクションを分割しますか？")) return;
    // The snapshot is the section that is split, which is the one whose phrases are
    // shown, even when a block of sections is selected above it.
    ClearPhraseUndo();
    m_lstSectionUndo.RemoveAll();
    m_lstSectionUndo.Add(CopySection(*section));
    m_nSectionUndoKind = 6;
    m_nSectionUndoFirst = sectionRow;
    m_nSectionUndoCount = 1;
    auto fresh = std::make_unique<CSectionInformation>();
    {
        CWaitCursor wait;
        m_listPhrase->SetRedraw(false);
        auto moved = TakeRecordBlock(section->m_lstPhrase, p, section->m_lstPhrase.GetCount() - p);
        for (const auto& phrase : moved) {
            SubtractSectionTime(*section, phrase->m_nLength);
            AddSectionTime(*fresh, phrase->m_nLength);
        }
        InsertRecordBlock(fresh->m_lstPhrase, 0, std::move(moved));
        m_listPhrase->SetRedraw(true);
    }
    m_lstSection.InsertAt(sectionRow + 1, std::move(fresh));
    RefreshSectionList(sectionRow + 1);
}
