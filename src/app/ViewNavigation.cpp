// Moving through the book by group, page, mark or any of them. The move is a change of
// the phrase selection, so it plays the phrase found; playback is not stopped here.

#include <algorithm>

#include "app/KorvaneView.h"
#include "platform/MessageBox.h"

namespace {

using PhraseTest = bool (*)(const CPhraseInformation&);

bool HasGroup(const CPhraseInformation& p) { return p.m_nGroup == 1; }
bool HasPage(const CPhraseInformation& p) { return p.m_nPageKind != 0; }
bool HasMark(const CPhraseInformation& p) { return p.m_nMark == 1; }
bool HasEvent(const CPhraseInformation& p) { return HasGroup(p) || HasPage(p) || HasMark(p); }

struct Found {
    int section = -1;
    int phrase = -1;
};

// From the phrase after the selected one to the end of the book; no wrap-around.
Found SearchForward(const CKorvaneView& view, int section, int fromPhrase, PhraseTest test) {
    for (int s = section; s < view.m_lstSection.GetCount(); ++s) {
        const CSectionInformation* record = view.m_lstSection.GetAt(s);
        const int start = s == section ? fromPhrase : 0;
        for (int p = start; p < record->m_lstPhrase.GetCount(); ++p)
            if (test(*record->m_lstPhrase.GetAt(p))) return {s, p};
    }
    return {};
}

// From the phrase before the selected one back to the start of the book; sections
// without phrases are passed over.
Found SearchBackward(const CKorvaneView& view, int section, int selectedPhrase, PhraseTest test) {
    // kLast: start at the section's last phrase.
    constexpr int kLast = 0x7FFFFFFF;
    int s = selectedPhrase > 0 ? section : section - 1;
    int from = selectedPhrase > 0 ? selectedPhrase - 1 : kLast;
    for (; s >= 0; --s, from = kLast) {
        const CSectionInformation* record = view.m_lstSection.GetAt(s);
        for (int p = std::min(from, record->m_lstPhrase.GetCount() - 1); p >= 0; --p)
            if (test(*record->m_lstPhrase.GetAt(p))) return {s, p};
    }
    return {};
}

void MoveToFlaggedPhrase(CKorvaneView& view, bool forward, PhraseTest test, const char* notFound) {
    if (!view.m_listSection || !view.m_listPhrase) return;
    const int section = view.GetFirstSelectedSection();
    if (!view.m_lstSection.GetAt(section)) return;
    const int phrase = view.GetFirstSelectedPhrase();
    const Found found = forward ? SearchForward(view, section, phrase + 1, test)
                                : SearchBackward(view, section, phrase, test);
    if (found.section < 0) {
        KvMessageBox(view.HasWindow() ? &view : nullptr, notFound, "エラー", MB_OK | MB_ICONSTOP);
        return;
    }
    // Compared with the section the phrase list shows, not with the first selected one:
    // with several sections selected they differ, and the phrase row must belong to the
    // section it was found in.
    if (found.section != view.GetShownSection()) view.SelectSection(found.section);
    view.SelectPhrase(found.phrase);
    view.m_listPhrase->SetFocus();
}

}  // namespace

void CKorvaneView::OnPrevGroup() { MoveToFlaggedPhrase(*this, false, HasGroup, "グループがありません。"); }
void CKorvaneView::OnNextGroup() { MoveToFlaggedPhrase(*this, true, HasGroup, "グループがありません。"); }
void CKorvaneView::OnPrevPage() { MoveToFlaggedPhrase(*this, false, HasPage, "ページがありません。"); }
void CKorvaneView::OnNextPage() { MoveToFlaggedPhrase(*this, true, HasPage, "ページがありません。"); }
void CKorvaneView::OnPrevMark() { MoveToFlaggedPhrase(*this, false, HasMark, "マークがありません。"); }
void CKorvaneView::OnNextMark() { MoveToFlaggedPhrase(*this, true, HasMark, "マークがありません。"); }
void CKorvaneView::OnPrevEvent() { MoveToFlaggedPhrase(*this, false, HasEvent, "移動出来ません。"); }
void CKorvaneView::OnNextEvent() { MoveToFlaggedPhrase(*this, true, HasEvent, "移動出来ません。"); }
