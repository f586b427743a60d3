// "プロパティ(&R)... Enter" (also a double click on a row): the properties of the
// selected section or phrase, by the list that has the focus.

#include "app/KorvaneView.h"
#include "app/PhraseDlg.h"
#include "app/SectionDlg.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"

namespace {

// Line breaks typed into a field have no place in the book's one-line texts.
CString WithoutLineBreaks(CString text) {
    text.Replace("\r\n", "");
    return text;
}

}  // namespace

void CKorvaneView::OnProperties() {
    OnButtonStop();
    IListView* list = GetFocusedList();
    if (list && list == m_listSection) SectionProperties();
    else if (list && list == m_listPhrase) PhraseProperties();
}

void CKorvaneView::SectionProperties() {
    const int row = GetFirstSelectedSection();
    if (!m_lstSection.GetAt(row)) return;
    CSectionDlg dlg(this);
    dlg.m_nSectionIndex = row;
    dlg.LoadFromSection();
    dlg.m_strExeFolder = m_strExeFolder;
    dlg.m_nAudioKind = m_nAudioKind;
    // The dialog's stepping selects rows of the section list; nothing may start playing.
    m_bSuppressPlay = 1;
    const int result = RunModal(dlg);
    m_bSuppressPlay = 0;
    if (result != IDOK) return;
    m_nSectionUndoKind = 2;
    SaveUndoSections();
    CSectionInformation* section = m_lstSection.GetAt(dlg.m_nSectionIndex);
    if (!section) return;
    section->m_nLevel = dlg.m_nLevel;
    section->m_strHeading = EscapeMarkup(WithoutLineBreaks(dlg.m_strHeading));
    section->m_strStartPage = dlg.m_strStartPage;
    section->m_strEndPage = dlg.m_strEndPage;
    section->m_strComment = WithoutLineBreaks(dlg.m_strComment);
    if (m_listSection) m_listSection->RedrawItems(dlg.m_nSectionIndex, dlg.m_nSectionIndex);
}

void CKorvaneView::PhraseProperties() {
    const int sectionRow = GetShownSection();
    CSectionInformation* section = m_lstSection.GetAt(sectionRow);
    const int row = GetFirstSelectedPhrase();
    // Nothing selected, or the extra row after the last phrase: there is no phrase.
    if (!section || !section->m_lstPhrase.GetAt(row)) return;
    CPhraseInformation* phrase = section->m_lstPhrase.GetAt(row);
    CPhraseDlg dlg(HasWindow() ? this : nullptr);
    dlg.m_nPageKind = phrase->m_nPageKind == 0 ? 2 : static_cast<int>(phrase->m_nPageKind);
    dlg.m_strPageText = phrase->m_strPageText;
    dlg.m_nGroup = static_cast<int>(phrase->m_nGroup);
    dlg.m_nMark = static_cast<int>(phrase->m_nMark);
    dlg.m_strComment = phrase->m_strComment;
    PlaySelectedPhrase();
    if (RunModal(dlg) != IDOK) return;
    m_nPhraseUndoKind = 1;
    SaveUndoPhrases();
    phrase->m_nPageKind = static_cast<uint32_t>(dlg.m_nPageKind < 0 ? 0 : dlg.m_nPageKind);
    if (phrase->m_nPageKind == 0 || phrase->m_nPageKind == 1) {
        phrase->m_strPageText.Empty();
    } else {
        phrase->m_strPageText = EscapeMarkup(dlg.m_strPageText);
        if (phrase->m_strPageText.IsEmpty()) phrase->m_nPageKind = 0;
    }
    phrase->m_nGroup = static_cast<uint32_t>(dlg.m_nGroup < 0 ? 0 : dlg.m_nGroup);
    phrase->m_nMark = static_cast<uint32_t>(dlg.m_nMark < 0 ? 0 : dlg.m_nMark);
    phrase->m_strComment = WithoutLineBreaks(dlg.m_strComment);
    if (m_listPhrase) m_listPhrase->RedrawItems(row, row);
    if (m_listSection) m_listSection->RedrawItems(sectionRow, sectionRow);
}
