// One level of undo for the section list and one for the phrases of a section, and the
// internal clipboard of sections or phrases. Everything kept here is a deep copy, so
// that later edits of the book never reach into a snapshot or the clipboard.

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "app/BookLimits.h"
#include "app/KorvaneView.h"
#include "app/RecordBlock.h"
#include "app/ViewEditCommon.h"
#include "platform/WaitCursor.h"

namespace {

void AssignPhrase(CPhraseInformation& to, const CPhraseInformation& from) {
    to.m_nStart = from.m_nStart;
    to.m_nLength = from.m_nLength;
    to.m_nPause = from.m_nPause;
    to.m_strFileName = from.m_strFileName;
    to.m_nPageKind = from.m_nPageKind;
    to.m_strPageText = from.m_strPageText;
    to.m_nGroup = from.m_nGroup;
    to.m_nMark = from.m_nMark;
    to.m_strComment = from.m_strComment;
    to.m_nBytesPerSec = from.m_nBytesPerSec;
}

// The section fields a level or property undo puts back; the phrases stay as they are.
void AssignSectionFields(CSectionInformation& to, const CSectionInformation& from) {
    to.m_nLevel = from.m_nLevel;
    to.m_strHeading = from.m_strHeading;
    to.m_nPhraseCount = from.m_nPhraseCount;
    to.m_nSectionTime = from.m_nSectionTime;
    to.m_strStartPage = from.m_strStartPage;
    to.m_strEndPage = from.m_strEndPage;
    to.m_strComment = from.m_strComment;
}

template <typename T, typename Copy>
std::vector<std::unique_ptr<T>> CopyAll(const CRecordList<T>& list, Copy copy) {
    std::vector<std::unique_ptr<T>> out;
    out.reserve(static_cast<size_t>(list.GetCount()));
    for (const auto& item : list) out.push_back(copy(*item));
    return out;
}

}  // namespace

std::unique_ptr<CPhraseInformation> CKorvaneView::CopyPhrase(const CPhraseInformation& source) {
    auto copy = std::make_unique<CPhraseInformation>();
    AssignPhrase(*copy, source);
    return copy;
}

std::unique_ptr<CSectionInformation> CKorvaneView::CopySection(const CSectionInformation& source) {
    auto copy = std::make_unique<CSectionInformation>();
    AssignSectionFields(*copy, source);
    for (const auto& phrase : source.m_lstPhrase) copy->m_lstPhrase.Add(CopyPhrase(*phrase));
    return copy;
}

void CKorvaneView::SubtractSectionTime(CSectionInformation& section, uint32_t bytes) {
    section.m_nSectionTime = section.m_nSectionTime > bytes ? section.m_nSectionTime - bytes : 0;
}

void CKorvaneView::AddSectionTime(CSectionInformation& section, uint32_t bytes) {
    const uint32_t room = std::numeric_limits<uint32_t>::max() - section.m_nSectionTime;
    section.m_nSectionTime = bytes > room ? std::numeric_limits<uint32_t>::max() : section.m_nSectionTime + bytes;
}

IListView* CKorvaneView::GetFocusedList() const {
    if (m_hFocusList && (m_hFocusList == m_listSection || m_hFocusList == m_listPhrase)) return m_hFocusList;
    return nullptr;
}

int CKorvaneView::GetFirstSelectedSection() const {
    return m_listSection ? m_listSection->GetNextItem(-1, LVNI_SELECTED) : -1;
}

int CKorvaneView::GetFirstSelectedPhrase() const {
    return m_listPhrase ? m_listPhrase->GetNextItem(-1, LVNI_SELECTED) : -1;
}

int CKorvaneView::CountSelectedRecords(const IListView* list, int first, int recordCount) {
    if (!list || first < 0 || first >= recordCount) return 0;
    int n = list->GetSelectedCount();
    // Shift+End takes the trailing extra row into the selection; it stands for no record.
    if (list->GetItemState(recordCount, LVIS_SELECTED) & LVIS_SELECTED) --n;
    // The selection is one block from `first` on; it cannot reach past the records.
    return std::clamp(n, 1, recordCount - first);
}

int CKorvaneView::GetShownSection() const {
    if (!m_listSection) return -1;
    const int row = m_listSection->GetNextItem(-1, LVNI_SELECTED | LVNI_FOCUSED);
    return m_lstSection.GetAt(row) ? row : -1;
}

CSectionInformation* CKorvaneView::GetShownSectionRecord() const { return m_lstSection.GetAt(GetShownSection()); }

void CKorvaneView::ClearSectionUndo() {
    m_nSectionUndoKind = 0;
    m_nSectionUndoFirst = -1;
    m_nSectionUndoCount = 0;
    m_lstSectionUndo.RemoveAll();
}

void CKorvaneView::ClearPhraseUndo() {
    m_nPhraseUndoKind = 0;
    m_nPhraseUndoSection = -1;
    m_nPhraseUndoFirst = -1;
    m_nPhraseUndoCount = 0;
    m_lstPhraseUndo.RemoveAll();
    m_bPhraseUndoHasSectionTime = false;
}

void CKorvaneView::SaveUndoSections() {
    const int first = GetFirstSelectedSection();
    if (!m_lstSection.GetAt(first)) {
        // Only the trailing row, or nothing: there is nothing that could be put back, so
        // no undo may stay recorded with an older snapshot.
        ClearSectionUndo();
        return;
    }
    m_nSectionUndoFirst = first;
    m_nSectionUndoCount = CountSelectedRecords(m_listSection, first, m_lstSection.GetCount());
    m_lstSectionUndo.RemoveAll();
    for (int i = 0; i < m_nSectionUndoCount; ++i) m_lstSectionUndo.Add(CopySection(*m_lstSection.GetAt(first + i)));
    ClearPhraseUndo();
}

void CKorvaneView::SaveUndoAllSections() {
    m_nSectionUndoFirst = 0;
    m_nSectionUndoCount = m_lstSection.GetCount();
    m_lstSectionUndo.RemoveAll();
    for (const auto& section : m_lstSection) m_lstSectionUndo.Add(CopySection(*section));
    ClearPhraseUndo();
}

void CKorvaneView::SaveUndoPhrases() {
    m_lstPhraseUndo.RemoveAll();
    const int sectionRow = GetShownSection();
    CSectionInformation* section = m_lstSection.GetAt(sectionRow);
    const int first = GetFirstSelectedPhrase();
    if (!section || !section->m_lstPhrase.GetAt(first)) {
        ClearPhraseUndo();
        return;
    }
    m_nPhraseUndoSection = sectionRow;
    m_nPhraseUndoFirst = first;
    m_nPhraseUndoCount = CountSelectedRecords(m_listPhrase, first, section->m_lstPhrase.GetCount());
    for (int i = 0; i < m_nPhraseUndoCount; ++i)
        m_lstPhraseUndo.Add(CopyPhrase(*section->m_lstPhrase.GetAt(first + i)));
    m_nPhraseUndoSectionTime = section->m_nSectionTime;
    m_bPhraseUndoHasSectionTime = true;
    ClearSectionUndo();
    m_nPhraseUndoSeenSectionKind = m_nSectionUndoKind;
    m_nPhraseUndoSeenSectionFirst = m_nSectionUndoFirst;
    m_nPhraseUndoSeenSectionCount = m_nSectionUndoCount;
    m_nPhraseUndoSeenBookSize = m_lstSection.GetCount();
}

void CKorvaneView::RestoreUndoSections() {
    const int kind = m_nSectionUndoKind;
    if (kind == 0) return;
    const int first = m_nSectionUndoFirst;
    const int count = m_nSectionUndoCount;
    int row = first;
    {
        CWaitCursor wait;
        if (m_listSection) m_listSection->SetRedraw(false);
        switch (kind) {
        case 1:  // section added
        case 5:  // sections pasted
            TakeRecordBlock(m_lstSection, first, count);
            break;
        case 2:  // levels or section properties
            for (int i = 0; i < count && i < m_lstSectionUndo.GetCount(); ++i)
                if (CSectionInformation* section = m_lstSection.GetAt(first + i))
                    AssignSectionFields(*section, *m_lstSectionUndo.GetAt(i));
            break;
        case 3:  // sections deleted
        case 4:  // sections cut
            InsertRecordBlock(m_lstSection, first, CopyAll(m_lstSectionUndo, CopySection));
            break;
        case 6:  // section split in two
            if (!m_lstSectionUndo.IsEmpty()) {
                TakeRecordBlock(m_lstSection, first, 2);
                m_lstSection.InsertAt(first, CopySection(*m_lstSectionUndo.GetHead()));
            }
            break;
        case 7:   // sections joined
        case 8:   // the book was emptied and one fresh section added
        case 10:  // a whole-book change
            m_lstSection.RemoveAll();
            for (auto& copy : CopyAll(m_lstSectionUndo, CopySection)) m_lstSection.Add(std::move(copy));
            if (kind != 8) row = 0;
            break;
        case 9:  // pages renumbered
            for (int i = 0; i < m_lstSection.GetCount(); ++i) {
                for (const auto& phrase : m_lstSection.GetAt(i)->m_lstPhrase)
                    if (phrase->m_nPageKind == 1) phrase->m_strPageText.Empty();
                if (m_listSection) m_listSection->RedrawItems(i, i);
            }
            row = 0;
            break;
        default:
            break;
        }
        if (m_listSection) m_listSection->SetRedraw(true);
    }
    RefreshSectionList(std::clamp(row, 0, m_lstSection.GetCount()));
    ClearSectionUndo();
}

void CKorvaneView::RestoreUndoPhrases() {
    const int kind = m_nPhraseUndoKind;
    if (kind == 0) return;
    const int sectionRow = m_nPhraseUndoSection;
    const int first = m_nPhraseUndoFirst;
    const int count = m_nPhraseUndoCount;
    CSectionInformation* section = m_lstSection.GetAt(sectionRow);
    if (section) {
        CWaitCursor wait;
        if (m_listPhrase) m_listPhrase->SetRedraw(false);
        CRecordList<CPhraseInformation>& phrases = section->m_lstPhrase;
        switch (kind) {
        case 1:  // flags or phrase properties
            for (int i = 0; i < count && i < m_lstPhraseUndo.GetCount(); ++i)
                if (CPhraseInformation* phrase = phrases.GetAt(first + i)) AssignPhrase(*phrase, *m_lstPhraseUndo.GetAt(i));
            break;
        case 2:  // phrases deleted
        case 3:  // phrases cut
            for (const auto& phrase : m_lstPhraseUndo) AddSectionTime(*section, phrase->m_nLength);
            InsertRecordBlock(phrases, first, CopyAll(m_lstPhraseUndo, CopyPhrase));
            break;
        case 4:  // phrases pasted
            for (const auto& phrase : TakeRecordBlock(phrases, first, count)) SubtractSectionTime(*section, phrase->m_nLength);
            break;
        case 5:  // phrase split in two
            if (CPhraseInformation* phrase = phrases.GetAt(first); phrase && !m_lstPhraseUndo.IsEmpty()) {
                phrase->m_nLength = m_lstPhraseUndo.GetHead()->m_nLength;
                phrase->m_nPause = m_lstPhraseUndo.GetHead()->m_nPause;
                phrases.RemoveAt(first + 1);
            }
            break;
        case 6:  // phrases joined
            if (phrases.GetAt(first)) {
                phrases.RemoveAt(first);
                InsertRecordBlock(phrases, first, CopyAll(m_lstPhraseUndo, CopyPhrase));
            }
            break;
        default:
            break;
        }
        // The length sums above stop at 0 and at the largest value; the length recorded with
        // the snapshot is what the section really held.
        if ((kind == 2 || kind == 3 || kind == 4) && m_bPhraseUndoHasSectionTime)
            section->m_nSectionTime = m_nPhraseUndoSectionTime;
        if (m_listPhrase) m_listPhrase->SetRedraw(true);
        SelectSection(sectionRow);
        if (m_listSection) m_listSection->RedrawItems(sectionRow, sectionRow);
        RefreshPhraseList(std::clamp(first, 0, phrases.GetCount()));
    }
    ClearPhraseUndo();
}

void CKorvaneView::OnEditUndo() {
    // A section paste and a phrase paste can both stay recorded. The one recorded last
    // must go first: only then do the other's indices describe the book again. The phrase
    // undo is the later one exactly when the section undo and the number of sections are
    // still what they were when it was recorded.
    const bool phraseIsLater = m_nSectionUndoKind != 0 && m_nPhraseUndoKind != 0 &&
                               m_nPhraseUndoSeenSectionKind == m_nSectionUndoKind &&
                               m_nPhraseUndoSeenSectionFirst == m_nSectionUndoFirst &&
                               m_nPhraseUndoSeenSectionCount == m_nSectionUndoCount &&
                               m_nPhraseUndoSeenBookSize == m_lstSection.GetCount();
    if (phraseIsLater) {
        RestoreUndoPhrases();
        RestoreUndoSections();
        return;
    }
    if (m_nSectionUndoKind != 0) RestoreUndoSections();
    if (m_nPhraseUndoKind != 0) RestoreUndoPhrases();
}

void CKorvaneView::OnEditCopy() {
    IListView* list = GetFocusedList();
    if (!list) return;
    CWaitCursor wait;
    m_lstSectionClipboard.RemoveAll();
    m_lstPhraseClipboard.RemoveAll();
    if (list == m_listSection) {
        const int first = GetFirstSelectedSection();
        const int n = CountSelectedRecords(m_listSection, first, m_lstSection.GetCount());
        for (int i = 0; i < n; ++i) m_lstSectionClipboard.Add(CopySection(*m_lstSection.GetAt(first + i)));
    } else if (CSectionInformation* section = GetShownSectionRecord()) {
        const int first = GetFirstSelectedPhrase();
        const int n = CountSelectedRecords(m_listPhrase, first, section->m_lstPhrase.GetCount());
        for (int i = 0; i < n; ++i) m_lstPhraseClipboard.Add(CopyPhrase(*section->m_lstPhrase.GetAt(first + i)));
    }
}

void CKorvaneView::OnEditCut() {
    IListView* list = GetFocusedList();
    if (!list) return;
    m_lstSectionClipboard.RemoveAll();
    m_lstPhraseClipboard.RemoveAll();
    if (list == m_listSection) {
        const int first = GetFirstSelectedSection();
        if (!m_lstSection.GetAt(first)) return;
        m_nSectionUndoKind = 4;
        SaveUndoSections();
        for (auto& section : TakeUndoSections(first)) m_lstSectionClipboard.Add(std::move(section));
        RefreshSectionList(first);
        return;
    }
    const int sectionRow = GetShownSection();
    CSectionInformation* section = m_lstSection.GetAt(sectionRow);
    const int first = GetFirstSelectedPhrase();
    if (!section || !section->m_lstPhrase.GetAt(first)) return;
    m_nPhraseUndoKind = 3;
    SaveUndoPhrases();
    for (auto& phrase : TakeUndoPhrases(*section, first)) m_lstPhraseClipboard.Add(std::move(phrase));
    m_listSection->RedrawItems(sectionRow, sectionRow);
    RefreshPhraseList(first);
}

void CKorvaneView::OnEditPaste() {
    IListView* list = GetFocusedList();
    if (!list) return;
    CWaitCursor wait;
    if (list == m_listSection) PasteSections();
    else PastePhrases();
}

void CKorvaneView::PasteSections() {
    if (m_lstSectionClipboard.IsEmpty()) {
        RefreshSectionList(0);
        return;
    }
    const int total = m_lstSection.GetCount();
    if (total >= kMaxSections) {
        ShowEditError(*this, kMsgSectionPasteFull);
        return;
    }
    const int selected = GetFirstSelectedSection();
    // The trailing row, or no selection at all, appends. The undo must name the index the
    // block really went to, also when nothing was selected.
    const int at = (selected < 0 || selected > total) ? total : selected;
    const int room = kMaxSections - total;
    std::vector<std::unique_ptr<CSectionInformation>> block;
    bool refused = false;
    for (const auto& section : m_lstSectionClipboard) {
        if (static_cast<int>(block.size()) >= room) {
            refused = true;
            break;
        }
        block.push_back(CopySection(*section));
    }
    const int inserted = static_cast<int>(block.size());
    InsertRecordBlock(m_lstSection, at, std::move(block));
    if (refused) ShowEditError(*this, "貼り付け出来ません。");
    m_lstSectionUndo.RemoveAll();
    m_nSectionUndoKind = 5;
    m_nSectionUndoFirst = at;
    m_nSectionUndoCount = inserted;
    RefreshSectionList(selected < 0 ? 0 : at);
}

void CKorvaneView::PastePhrases() {
    if (m_lstPhraseClipboard.IsEmpty()) {
        RefreshPhraseList(0);
        return;
    }
    const int sectionRow = GetShownSection();
    CSectionInformation* section = m_lstSection.GetAt(sectionRow);
    if (!section) return;
    const int total = section->m_lstPhrase.GetCount();
    if (total >= kMaxPhrasesPerSection) {
        ShowEditError(*this, kMsgPhrasePasteFull);
        return;
    }
    const int selected = GetFirstSelectedPhrase();
    const int at = (selected < 0 || selected > total) ? total : selected;
    const uint32_t timeBefore = section->m_nSectionTime;
    const int room = kMaxPhrasesPerSection - total;
    std::vector<std::unique_ptr<CPhraseInformation>> block;
    bool refused = false;
    for (const auto& phrase : m_lstPhraseClipboard) {
        if (static_cast<int>(block.size()) >= room) {
            refused = true;
            break;
        }
        AddSectionTime(*section, phrase->m_nLength);
        block.push_back(CopyPhrase(*phrase));
    }
    const int inserted = static_cast<int>(block.size());
    InsertRecordBlock(section->m_lstPhrase, at, std::move(block));
    if (refused) ShowEditError(*this, kMsgPhrasePasteFull);
    m_lstPhraseUndo.RemoveAll();
    m_nPhraseUndoKind = 4;
    m_nPhraseUndoSection = sectionRow;
    m_nPhraseUndoFirst = at;
    m_nPhraseUndoCount = inserted;
    m_nPhraseUndoSectionTime = timeBefore;
    m_bPhraseUndoHasSectionTime = true;
    m_nPhraseUndoSeenSectionKind = m_nSectionUndoKind;
    m_nPhraseUndoSeenSectionFirst = m_nSectionUndoFirst;
    m_nPhraseUndoSeenSectionCount = m_nSectionUndoCount;
    m_nPhraseUndoSeenBookSize = m_lstSection.GetCount();
    m_listSection->RedrawItems(sectionRow, sectionRow);
    RefreshPhraseList(selected < 0 ? 0 : at);
}
