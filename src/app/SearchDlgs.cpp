#include "app/SearchDlgs.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "app/KorvaneView.h"
#include "platform/AccessibleName.h"
#include "platform/CodePage.h"
#include "platform/DialogKeys.h"
#include "platform/DropDown.h"
#include "platform/EditText.h"
#include "platform/FontMap.h"
#include "platform/InputMethod.h"
#include "platform/KeyMap.h"
#include "platform/MessageBox.h"

namespace {

// The first section after `selected` (wrapping, the selected one last) that `matches`.
template <typename Match>
int FindSection(const CRecordList<CSectionInformation>& book, int selected, Match matches) {
    const int count = book.GetCount();
    if (count == 0) return -1;
    // Nothing selected, or the extra row after the last section: from the first section.
    int s = selected + 1;
    if (s < 0 || s >= count) s = 0;
    for (int tested = 0; tested < count; ++tested, s = (s + 1) % count)
        if (matches(*book.GetAt(s))) return s;
    return -1;
}

void ShowError(wxWindow* parent, const char* text) { KvMessageBox(parent, text, "エラー", MB_OK | MB_ICONSTOP); }

}  // namespace

int FindSectionByHeading(const CRecordList<CSectionInformation>& book, int selected, const CString& text) {
    return FindSection(book, selected,
                       [&](const CSectionInformation& s) { return s.m_strHeading.Find(text) >= 0; });
}

int FindSectionByLevel(const CRecordList<CSectionInformation>& book, int selected, int level) {
    return FindSection(book, selected, [&](const CSectionInformation& s) { return s.m_nLevel == level; });
}

bool FindPhraseByPage(const CRecordList<CSectionInformation>& book, int section, int phrase, const CString& text,
                      int& foundSection, int& foundPhrase) {
    const int count = book.GetCount();
    if (count == 0) return false;
    int s = section;
    int j = phrase + 1;
    if (s < 0 || s >= count) {
        s = 0;
        j = 0;
    }
    if (j < 0) j = 0;
    // The start section, the others in turn, then the start section again from its top.
    for (int visit = 0; visit <= count; ++visit) {
        const CSectionInformation& current = *book.GetAt(s);
        for (int p = j; p < current.m_lstPhrase.GetCount(); ++p) {
            const CPhraseInformation& candidate = *current.m_lstPhrase.GetAt(p);
            if (candidate.m_nPageKind != 0 && candidate.m_strPageText.Find(text) >= 0) {
                foundSection = s;
                foundPhrase = p;
                return true;
            }
        }
        s = (s + 1) % count;
        j = 0;
    }
    return false;
}

// ---------------------------------------------------------------------------------

CSearchDlgBase::CSearchDlgBase(CKorvaneView* view, int id, const char* title, const char* label,
                               const Layout& layout)
    : wxDialog(view && view->HasWindow() ? view : nullptr, id, ToWx(title)), m_pView(view), m_layout(layout) {
    SetFont(KvCreateFont(15, FW_NORMAL, "ＭＳＰ ゴシック"));
    m_stcLabel = new wxStaticText(this, IDC_LABEL, ToWx(label));
}

void CSearchDlgBase::Finish(wxWindow* input) {
    m_input = input;
    if (input) SetAccessibleLabel(*m_stcLabel, *input);
    m_btnSearch = new wxButton(this, IDC_SEARCH, ToWx("検索"));
    m_btnCancel = new wxButton(this, wxID_CANCEL, ToWx("キャンセル"));
    for (wxWindow* w : GetChildren()) w->SetFont(GetFont());
    SetClientSize(m_layout.width, m_layout.height);
    LayoutControls();
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnSearch(); }, IDC_SEARCH);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
        e.Skip();
        LayoutControls();
    });
    // Enter searches again and again; with キャンセル focused it closes the dialog.
    BindDialogKeys(*this, [this](int vk, const wxKeyEvent&) {
        if (vk != VK_RETURN) return false;
        if (wxWindow::FindFocus() == m_btnCancel) EndModal(wxID_CANCEL);
        else OnSearch();
        return true;
    });
}

void CSearchDlgBase::LayoutControls() {
    const Layout& l = m_layout;
    m_stcLabel->SetSize(l.label[0], l.label[1], l.label[2], l.label[3]);
    const wxRect input(l.input[0], l.input[1], l.input[2], l.input[3]);
    if (auto* choice = wxDynamicCast(m_input, wxChoice)) choice->SetSize(FitDropDown(*choice, input));
    else if (m_input) m_input->SetSize(input);
    if (m_btnSearch) m_btnSearch->SetSize(l.search[0], l.search[1], 100, 26);
    if (m_btnCancel) m_btnCancel->SetSize(l.cancel[0], l.cancel[1], 100, 26);
}

// The window sizes of the layout include a frame of 3 pixels on each side and at the bottom.
CTitleSearchDlg::CTitleSearchDlg(CKorvaneView* view)
    : CSearchDlgBase(view, IDD, "見出し検索", "検索文字を入力して下さい",
                     {{12, 8, 184, 23}, {12, 34, 364, 23}, {172, 65}, {276, 65}, 394 - 6, 105 - 3}) {
    m_edit = new wxTextCtrl(this, IDC_TEXT);
    m_edit->Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& e) {
        e.Skip();
        OpenInputMethodNative(m_edit);
    });
    Finish(m_edit);
}

void CTitleSearchDlg::OnSearch() {
    m_strText = GetEditText(*m_edit);
    if (m_strText.IsEmpty()) return ShowError(this, "検索文字を入力して下さい。");
    const int found = FindSectionByHeading(m_pView->m_lstSection, m_pView->GetFirstSelectedSection(), m_strText);
    if (found < 0) return ShowError(this, "該当するセクションは見つかりません。");
    m_pView->SelectSection(found);
}

CPageSearchDlg::CPageSearchDlg(CKorvaneView* view)
    : CSearchDlgBase(view, IDD, "ページ番号検索", "ページ番号を入力して下さい",
                     {{12, 8, 188, 23}, {204, 8, 96, 23}, {96, 41}, {200, 41}, 314 - 6, 79 - 3}) {
    m_edit = new wxTextCtrl(this, IDC_TEXT);
    m_edit->Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& e) {
        e.Skip();
        CloseInputMethod(m_edit);
    });
    Finish(m_edit);
}

void CPageSearchDlg::OnSearch() {
    m_strText = GetEditText(*m_edit);
    if (m_strText.IsEmpty()) return ShowError(this, "ページ番号を入力して下さい。");
    const int section = m_pView->GetFirstSelectedSection();
    const int phrase = m_pView->m_listPhrase ? m_pView->m_listPhrase->GetNextItem(-1, LVNI_SELECTED) : -1;
    int foundSection = -1, foundPhrase = -1;
    if (!FindPhraseByPage(m_pView->m_lstSection, section, phrase, m_strText, foundSection, foundPhrase))
        return ShowError(this, "該当するフレーズは見つかりません。");
    if (foundSection != section) m_pView->SelectSection(foundSection);
    m_pView->SelectPhrase(foundPhrase);
}

CSectionSearchDlg::CSectionSearchDlg(CKorvaneView* view)
    : CSearchDlgBase(view, IDD, "セクション検索", "セクションレベルを選択して下さい",
                     {{12, 8, 220, 23}, {236, 8, 120, 23}, {152, 41}, {256, 41}, 374 - 6, 79 - 3}) {
    m_combo = new wxChoice(this, IDC_LEVEL);
    for (const char* item : {"レベル１", "レベル２", "レベル３", "レベル４", "レベル５", "レベル６"})
        m_combo->Append(ToWx(item));
    m_combo->SetSelection(m_nLevel);
    Finish(m_combo);
}

void CSectionSearchDlg::OnSearch() {
    m_nLevel = m_combo->GetSelection();
    if (m_nLevel < 0) return ShowError(this, "セクションレベルを選択して下さい。");
    const int found = FindSectionByLevel(m_pView->m_lstSection, m_pView->GetFirstSelectedSection(), m_nLevel);
    if (found < 0) return ShowError(this, "該当するセクションは見つかりません。");
    m_pView->SelectSection(found);
}
