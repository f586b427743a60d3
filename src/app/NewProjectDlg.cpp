#include "app/NewProjectDlg.h"

#include <algorithm>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/stattext.h>

#include "platform/AccessibleName.h"
#include "platform/CodePage.h"
#include "platform/DialogKeys.h"
#include "platform/DropDown.h"
#include "platform/FontMap.h"

CNewProjectDlg::CNewProjectDlg(wxWindow* parent) : wxDialog(parent, 142, ToWx("新規作成")) {
    wxFont font = KvCreateFont(15, FW_NORMAL, "ＭＳＰ ゴシック");
    m_stcLabel = new wxStaticText(this, 1038, ToWx("音声フォーマット"));
    m_cmbFormat = new wxChoice(this, 1042);
    for (const char* item : {"PCM （16.00KHz、Mono）", "PCM （22.05KHz、Mono）", "PCM （44.10KHz、Mono）",
                             "MP3  （32Kbps、Mono）", "MP3  （64Kbps、Mono）"})
        m_cmbFormat->Append(ToWx(item));
    m_cmbFormat->SetSelection(1);
    SetAccessibleLabel(*m_stcLabel, *m_cmbFormat);
    m_btnOk = new wxButton(this, wxID_OK, wxASCII_STR("OK"));
    m_btnCancel = new wxButton(this, wxID_CANCEL, ToWx("キャンセル"));
    for (wxWindow* w : {static_cast<wxWindow*>(m_stcLabel), static_cast<wxWindow*>(m_cmbFormat),
                        static_cast<wxWindow*>(m_btnOk), static_cast<wxWindow*>(m_btnCancel)})
        w->SetFont(font);
    m_btnOk->SetDefault();
    m_nComboWidth = FitDropDownWidth(*m_cmbFormat, 208);
    SetClientSize(std::max(346, 120 + m_nComboWidth + 18), 78);
    LayoutControls();
    // Enter chooses OK (or the focused button) rather than opening the drop-down.
    BindDialogKeys(*this, [this](int vk, const wxKeyEvent&) { return PressButtonForEnter(*this, vk); });
    Bind(wxEVT_BUTTON, &CNewProjectDlg::OnOK, this, wxID_OK);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) { e.Skip(); LayoutControls(); });
}

void CNewProjectDlg::OnOK(wxCommandEvent& event) {
    m_nFormat = m_cmbFormat->GetSelection();
    event.Skip();  // the dialog ends with OK
}

void CNewProjectDlg::LayoutControls() {
    m_stcLabel->SetSize(10, 9, 104, 23);
    m_cmbFormat->SetSize(FitDropDown(*m_cmbFormat, wxRect(120, 9, 208, 23)));
    m_btnOk->SetSize(124, 41, 100, 26);
    m_btnCancel->SetSize(228, 41, 100, 26);
}
