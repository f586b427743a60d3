// Quick edits of the selected records (heading levels; group, page and mark flags) and
// the commands that clear one flag in the whole book. The quick edits ask nothing and
// let playback go on: they are pressed while listening.

#include "app/KorvaneView.h"
#include "app/ViewEditCommon.h"

namespace {

enum class EFlag { Group, Page, Mark };

// Level up lowers the stored level (0 shows as level 1), level down raises it; each
// selected section moves on its own and stops at its bound.
void ChangeLevels(CKorvaneView& view, bool up) {
    const int first = view.GetFirstSelectedSection();
    if (!view.m_lstSection.GetAt(first)) return;
    view.m_nSectionUndoKind = 2;
    view.SaveUndoSections();
    const int n = view.m_nSectionUndoCount;
    for (int i = 0; i < n; ++i) {
        CSectionInformation* section = view.m_lstSection.GetAt(first + i);
        if (up) {
            if (section->m_nLevel > 0) --section->m_nLevel;
        } else {
            if (section->m_nLevel < 5) ++section->m_nLevel;
        }
    }
    view.m_listSection->RedrawItems(first, first + n - 1);
    view.m_listSection->SetFocus();
}

void ToggleFlags(CKorvaneView& view, EFlag flag) {
    const int sectionRow = view.GetShownSection();
    CSectionInformation* section = view.m_lstSection.GetAt(sectionRow);
    const int first = view.GetFirstSelectedPhrase();
    if (!section || !section->m_lstPhrase.GetAt(first)) return;
    view.m_nPhraseUndoKind = 1;
    view.SaveUndoPhrases();
    const int n = view.m_nPhraseUndoCount;
    for (int i = 0; i < n; ++i) {
        CPhraseInformation* phrase = section->m_lstPhrase.GetAt(first + i);
        switch (flag) {
        case EFlag::Group:
            phrase->m_nGroup = phrase->m_nGroup == 0 ? 1 : 0;
            break;
        case EFlag::Mark:
            phrase->m_nMark = phrase->m_nMark == 0 ? 1 : 0;
            break;
        case EFlag::Page:
            // Any page goes; only a phrase without one gets an automatic page, whose number
            // comes with the next renumbering.
            phrase->m_nPageKind = phrase->m_nPageKind == 0 ? 1 : 0;
            phrase->m_strPageText.Empty();
            break;
        }
    }
    view.m_listPhrase->RedrawItems(first, first + n - 1);
    if (flag == EFlag::Page) view.m_listSection->RedrawItems(sectionRow, sectionRow);
    view.m_listPhrase->SetFocus();
}

void ClearFlagInBook(CKorvaneView& view, EFlag flag, const char* question) {
    view.OnButtonStop();
    if (!AskEditQuestion(view, question)) return;
    view.m_nSectionUndoKind = 10;
    view.SaveUndoAllSections();
    for (int i = 0; i < view.m_lstSection.GetCount(); ++i) {
        for (const auto& phrase : view.m_lstSection.GetAt(i)->m_lstPhrase) {
            switch (flag) {
            case EFlag::Group:
                if (phrase->m_nGroup == 1) phrase->m_nGroup = 0;
                break;
            case EFlag::Mark:
                if (phrase->m_nMark == 1) phrase->m_nMark = 0;
                break;
            case EFlag::Page:
                if (phrase->m_nPageKind != 0) {
                    phrase->m_nPageKind = 0;
                    phrase->m_strPageText.Empty();
                }
                break;
            }
        }
        if (flag == EFlag::Page && view.m_listSection) view.m_listSection->RedrawItems(i, i);
    }
    view.RefreshPhraseList(0);
}

}  // namespace

void CKorvaneView::OnButtonLevelUp() {
    if (m_listSection) ChangeLevels(*this, true);
}

void CKorvaneView::OnButtonLevelDown() {
    if (m_listSection) ChangeLevels(*this, false);
}

void CKorvaneView::OnButtonGroup() {
    if (m_listSection && m_listPhrase) ToggleFlags(*this, EFlag::Group);
}

void CKorvaneView::OnButtonPage() {
    if (m_listSection && m_listPhrase) ToggleFlags(*this, EFlag::Page);
}

void CKorvaneView::OnButtonMark() {
    if (m_listSection && m_listPhrase) ToggleFlags(*this, EFlag::Mark);
}

void CKorvaneView::OnLevelUp() { OnButtonLevelUp(); }
void CKorvaneView::OnLevelDown() { OnButtonLevelDown(); }
void CKorvaneView::OnGroup() { OnButtonGroup(); }
void CKorvaneView::OnPage() { OnButtonPage(); }
void CKorvaneView::OnMark() { OnButtonMark(); }

void CKorvaneView::OnDeleteAllGroups() { ClearFlagInBook(*this, EFlag::Group, "全グループを削除しますか？"); }
void CKorvaneView::OnDeleteAllPages() { ClearFlagInBook(*this, EFlag::Page, "全ページを削除しますか？"); }
void CKorvaneView::OnDeleteAllMarks() { ClearFlagInBook(*this, EFlag::Mark, "全マークを削除しますか？"); }
