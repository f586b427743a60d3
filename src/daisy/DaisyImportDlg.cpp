#include "daisy/DaisyImportDlg.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "platform/AccessibleName.h"
#include "platform/CodePage.h"
#include "platform/DialogHost.h"
#include "platform/DropDown.h"
#include "platform/FontMap.h"
#include "platform/MessageBox.h"

CDaisyImportDlg::CDaisyImportDlg(wxWindow* parent) : wxDialog(parent, IDD, ToWx("Daisy図書インポート")) {
    const wxFont font = KvCreateFont(15, FW_NORMAL, "ＭＳＰ ゴシック");
    m_stcPathLabel = new wxStaticText(this, 1038, ToWx("インポートするDaisy図書のNCCファイル"));
    m_editPath = new wxTextCtrl(this, 1099);
    m_btnBrowse = new wxButton(this, 1101, ToWx("参照..."));
    m_stcAutoLabel = new wxStaticText(this, 1041, ToWx("自動ページへ変換"));
    m_cmbAutoPage = new wxChoice(this, 1103);
    m_cmbAutoPage->Append(ToWx("なし"));
    m_cmbAutoPage->Append(ToWx("あり"));
    SetAccessibleLabel(*m_stcPathLabel, *m_editPath);
    SetAccessibleLabel(*m_stcAutoLabel, *m_cmbAutoPage);
    m_btnOk = new wxButton(this, wxID_OK, wxASCII_STR("OK"));
    m_btnCancel = new wxButton(this, wxID_CANCEL, ToWx("キャンセル"));
    for (wxWindow* w : {static_cast<wxWindow*>(m_stcPathLabel), static_cast<wxWindow*>(m_editPath),
                        static_cast<wxWindow*>(m_btnBrowse), static_cast<wxWindow*>(m_stcAutoLabel),
                        static_cast<wxWindow*>(m_cmbAutoPage), static_cast<wxWindow*>(m_btnOk),
                        static_cast<wxWindow*>(m_btnCancel)})
        w->SetFont(font);
    SetClientSize(514, 133);
    LayoutControls();
    Bind(wxEVT_BUTTON, &CDaisyImportDlg::OnOK, this, wxID_OK);
    Bind(wxEVT_BUTTON, &CDaisyImportDlg::OnBrowse, this, 1101);
    Bind(wxEVT_CHAR_HOOK, &CDaisyImportDlg::OnCharHook, this);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
        e.Skip();
        LayoutControls();
    });
}

void CDaisyImportDlg::LayoutControls() {
    m_stcPathLabel->SetSize(10, 9, 280, 15);
    m_editPath->SetSize(10, 28, 420, 23);
    m_btnBrowse->SetSize(432, 28, 64, 23);
    m_stcAutoLabel->SetSize(10, 71, 134, 19);
    m_cmbAutoPage->SetSize(FitDropDown(*m_cmbAutoPage, wxRect(148, 69, 84, 23)));
    m_btnOk->SetSize(296, 94, 100, 26);
    m_btnCancel->SetSize(400, 94, 100, 26);
}

bool CDaisyImportDlg::TransferDataToWindow() {
    m_editPath->ChangeValue(ToWx(m_strNccPath));
    m_cmbAutoPage->SetSelection(m_nAutoPage == 1 ? 1 : 0);
    return true;
}

bool CDaisyImportDlg::TransferDataFromWindow() {
    m_strNccPath = FromWx(m_editPath->GetValue());
    m_nAutoPage = m_cmbAutoPage->GetSelection() == 1 ? 1 : 0;
    return true;
}

bool CDaisyImportDlg::IsNccFileName(const CString& path) {
    const int slash = path.ReverseFind('/');
    const CString name = slash < 0 ? path : path.Mid(slash + 1);
    return name.CompareNoCase("ncc.html") == 0 || name.CompareNoCase("ncc.htm") == 0;
}

void CDaisyImportDlg::OnOK(wxCommandEvent&) {
    TransferDataFromWindow();
    if (m_strNccPath.IsEmpty()) {
        KvMessageBox(this, "NCCファイルの保存先を指定して下さい。", "エラー", MB_OK | MB_ICONSTOP);
        return;
    }
    if (!IsNccFileName(m_strNccPath)) {
        KvMessageBox(this, "NCCファイルを指定して下さい。", "エラー", MB_OK | MB_ICONSTOP);
        return;
    }
    EndModal(wxID_OK);
}

void CDaisyImportDlg::OnBrowse(wxCommandEvent&) {
    TransferDataFromWindow();
    CFileChooser request;
    // Without a title of its own the system's chooser is called "開く".
    request.title = "開く";
    request.filter = "NCCﾌｧｲﾙ(NCC.html, NCC.htm)|NCC.html;NCC.htm|";
    request.mustExist = true;
    request.overwritePrompt = true;
    std::vector<CString> paths;
    if (!ChooseFile(this, request, paths) || paths.empty()) return;
    m_strNccPath = paths.front();
    TransferDataToWindow();
}

void CDaisyImportDlg::OnCharHook(wxKeyEvent& event) {
    if (event.GetKeyCode() != WXK_RETURN && event.GetKeyCode() != WXK_NUMPAD_ENTER) {
        event.Skip();
        return;
    }
    // Enter acts on the button that has the focus, else confirms.
    wxWindow* focus = FindFocus();
    wxCommandEvent none;
    if (focus == m_btnCancel) EndModal(wxID_CANCEL);
    else if (focus == m_btnBrowse) OnBrowse(none);
    else OnOK(none);
}
