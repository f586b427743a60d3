#pragma once
// "新規作成": the audio format of a new project.

#include <wx/dialog.h>

class wxChoice;
class wxStaticText;
class wxButton;

class CNewProjectDlg : public wxDialog {
public:
    explicit CNewProjectDlg(wxWindow* parent);
    int m_nFormat = 1;  // the chosen format index, set on OK
    wxChoice* GetFormatList() const { return m_cmbFormat; }

private:
    void OnOK(wxCommandEvent& event);
    void LayoutControls();
    wxStaticText* m_stcLabel = nullptr;  // 1038
    wxChoice* m_cmbFormat = nullptr;     // 1042
    wxButton* m_btnOk = nullptr;
    wxButton* m_btnCancel = nullptr;
    int m_nComboWidth = 208;
};
