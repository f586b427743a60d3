#pragma once
// "区切り設定": the three silence-detection settings of the import.

#include <wx/dialog.h>

class wxChoice;

class CPauseSetDlg : public wxDialog {
public:
    explicit CPauseSetDlg(wxWindow* parent);
    bool TransferDataToWindow() override;
    bool TransferDataFromWindow() override;

    int m_nPhrasePause = -1;
    int m_nSectionPause = -1;
    int m_nNoiseLevel = -1;
    wxChoice* m_cmbPhrasePause = nullptr;   // 1069
    wxChoice* m_cmbSectionPause = nullptr;  // 1070
    wxChoice* m_cmbNoiseLevel = nullptr;    // 1071

private:
    void LayoutControls();
    int m_nWiden = 0;  // what the widest drop-down needs beyond the layout's width
};
