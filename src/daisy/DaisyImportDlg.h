#pragma once
// "Daisy図書インポート": the NCC file of the book to import, and whether its page marks
// become automatic page numbers.

#include <wx/dialog.h>

#include "platform/CString.h"

class wxButton;
class wxChoice;
class wxStaticText;
class wxTextCtrl;

class CDaisyImportDlg : public wxDialog {
public:
    enum { IDD = 153 };
    explicit CDaisyImportDlg(wxWindow* parent);

    bool TransferDataToWindow() override;
    bool TransferDataFromWindow() override;

    int m_nAutoPage = 0;  // 0 "なし": the book's page kinds; 1 "あり": automatic pages
    CString m_strNccPath;

    // True when the name part of `path` is "ncc.html" or "ncc.htm", without case.
    static bool IsNccFileName(const CString& path);

private:
    void OnOK(wxCommandEvent& event);
    void OnBrowse(wxCommandEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void LayoutControls();

    wxStaticText* m_stcPathLabel = nullptr;  // 1038
    wxTextCtrl* m_editPath = nullptr;        // 1099
    wxButton* m_btnBrowse = nullptr;         // 1101
    wxStaticText* m_stcAutoLabel = nullptr;  // 1041
    wxChoice* m_cmbAutoPage = nullptr;       // 1103
    wxButton* m_btnOk = nullptr;
    wxButton* m_btnCancel = nullptr;
};
