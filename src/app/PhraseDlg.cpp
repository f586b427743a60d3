#include "app/PhraseDlg.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

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

wxChoice* MakeChoice(wxWindow* parent, int id, std::initializer_list<const char*> items) {
    auto* choice = new wxChoice(parent, id);
    for (const char* item : items) choice->Append(ToWx(item));
    return choice;
}

}  // namespace

CPhraseDlg::CPhraseDlg(wxWindow* parent) : wxDialog(parent, IDD, ToWx("フレーズプロパティ")) {
    SetFont(KvCreateFont(15, FW_NORMAL, "ＭＳＰ ゴシック"));
    new wxStaticText(this, 1080, ToWx("ページ"));
    m_cmbPageKind = MakeChoice(this, IDC_PAGE_KIND, {"なし", "自動", "手動", "前付", "特殊"});
    m_edtPageText = new wxTextCtrl(this, IDC_PAGE_TEXT);
    new wxStaticText(this, 1085, ToWx("グループ"));
    m_cmbGroup = MakeChoice(this, IDC_GROUP, {"なし", "あり"});
    new wxStaticText(this, 1088, ToWx("マーク"));
    m_cmbMark = MakeChoice(this, IDC_MARK, {"なし", "あり"});
    new wxStaticText(this, 1068, ToWx("コメント"));
    m_edtComment = CreateMultiLineEdit(this, IDC_COMMENT);
    auto* ok = new wxButton(this, wxID_OK, wxASCII_STR("OK"));
    new wxButton(this, wxID_CANCEL, ToWx("キャンセル"));
    SetAccessibleLabels(*this, {{1080, IDC_PAGE_KIND}, {1085, IDC_GROUP}, {1088, IDC_MARK}, {1068, IDC_COMMENT}});
    // The page text stands beside the page kind without a label of its own.
    SetAccessibleName(*m_edtPageText, "ページ番号");
    for (wxWindow* w : GetChildren()) w->SetFont(GetFont());
    ok->SetDefault();
    SetClientSize(330 - 6, 250 - 3);
    LayoutControls();

    for (wxChoice* combo : {m_cmbPageKind, m_cmbGroup, m_cmbMark}) DetachInputMethod(combo);
    m_edtPageText->Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& e) {
        e.Skip();
        CloseInputMethod(m_edtPageText);
    });
    m_edtComment->Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& e) {
        e.Skip();
        OpenInputMethodNative(m_edtComment);
    });
    m_cmbPageKind->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { UpdatePageTextState(); });
    Bind(wxEVT_BUTTON, &CPhraseDlg::OnOK, this, wxID_OK);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
        e.Skip();
        LayoutControls();
    });
    // Enter is OK, except in the comment, where it starts a new line.
    BindDialogKeys(*this, [this](int vk, const wxKeyEvent&) {
        if (wxWindow::FindFocus() == m_edtComment) return false;
        return PressButtonForEnter(*this, vk);
    });
}

bool CPhraseDlg::TransferDataToWindow() {
    m_cmbPageKind->SetSelection(m_nPageKind);
    m_cmbGroup->SetSelection(m_nGroup);
    m_cmbMark->SetSelection(m_nMark);
    SetEditText(*m_edtComment, m_strComment);
    SetEditText(*m_edtPageText, m_strPageText);
    UpdatePageTextState();
    return true;
}

bool CPhraseDlg::TransferDataFromWindow() {
    m_nPageKind = m_cmbPageKind->GetSelection();
    m_nGroup = m_cmbGroup->GetSelection();
    m_nMark = m_cmbMark->GetSelection();
    m_strComment = GetEditText(*m_edtComment);
    m_strPageText = GetEditText(*m_edtPageText);
    return true;
}

void CPhraseDlg::UpdatePageTextState() {
    const int kind = m_cmbPageKind->GetSelection();
    m_edtPageText->Enable(kind != 0 && kind != 1);
}

void CPhraseDlg::Refuse(const char* text, const char* caption, wxWindow* field) {
    KvMessageBox(this, text, caption, MB_OK | MB_ICONSTOP);
    field->SetFocus();
}

void CPhraseDlg::OnOK(wxCommandEvent&) {
    TransferDataFromWindow();
    if ((m_nPageKind == 3 || m_nPageKind == 4) && m_strPageText.IsEmpty())
        return Refuse("ページを入力して下さい。", "エラー", m_edtPageText);
    if (m_strPageText.GetLength() >= 11) return Refuse("入力桁数を超えています。", "エラー", m_edtPageText);
    if (m_strComment.GetLength() >= 501) return Refuse("入力桁数を超えています。", "エラー", m_edtComment);
    if (m_nPageKind == 2 && !m_strPageText.IsEmpty()) {
        long value = 0;
        for (int i = 0; i < m_strPageText.GetLength(); ++i) {
            const char c = m_strPageText[i];
            if (c < '0' || c > '9') return Refuse("数値以外が入力されています。", kAppTitle, m_edtPageText);
            value = value * 10 + (c - '0');
        }
        if (m_strPageText.GetLength() >= 7 || value < 1 || value > 999999)
            return Refuse("1～999,999の範囲で入力して下さい。", kAppTitle, m_edtPageText);
    }
    EndModal(wxID_OK);
}

void CPhraseDlg::LayoutControls() {
    const struct { int id, x, y, w, h; } rects[] = {
        {1080, 8, 15, 68, 23},         {1085, 8, 49, 68, 23},        {1088, 8, 83, 68, 23},
        {1068, 8, 120, 68, 23},        {IDC_PAGE_KIND, 80, 15, 96, 23}, {IDC_GROUP, 80, 49, 96, 23},
        {IDC_MARK, 80, 83, 96, 23},    {IDC_PAGE_TEXT, 184, 15, 128, 23}, {IDC_COMMENT, 80, 116, 236, 90},
        {wxID_OK, 112, 214, 100, 26},  {wxID_CANCEL, 216, 214, 100, 26},
    };
    for (const auto& r : rects)
        if (auto* choice = wxDynamicCast(FindWindow(r.id), wxChoice))
            choice->SetSize(FitDropDown(*choice, wxRect(r.x, r.y, r.w, r.h)));
        else if (wxWindow* w = FindWindow(r.id))
            w->SetSize(r.x, r.y, r.w, r.h);
}
