#pragma once
// "フレーズプロパティ": page kind and text, group and mark flags and comment of one phrase.
// The caller fills the members, runs the dialog and stores them after OK; OK refuses
// texts that the book cannot hold.

#include <wx/dialog.h>

#include "platform/CString.h"

class wxButton;
class wxChoice;
class wxTextCtrl;

class CPhraseDlg : public wxDialog {
public:
    enum {
        IDD = 147,
        IDC_PAGE_KIND = 1081,
        IDC_GROUP = 1083,
        IDC_MARK = 1087,
        IDC_COMMENT = 1057,
        IDC_PAGE_TEXT = 1082,
    };

    explicit CPhraseDlg(wxWindow* parent);
    bool TransferDataToWindow() override;
    bool TransferDataFromWindow() override;

    int m_nPageKind = -1;  // 0 なし, 1 自動, 2 手動, 3 前付, 4 特殊
    int m_nGroup = -1;
    int m_nMark = -1;
    CString m_strComment;  // CR LF line ends, as typed
    CString m_strPageText;

private:
    void OnOK(wxCommandEvent& event);
    void UpdatePageTextState();
    void LayoutControls();
    // Shows the error, puts the focus into `field`, and keeps the dialog open.
    void Refuse(const char* text, const char* caption, wxWindow* field);

    wxChoice* m_cmbPageKind = nullptr;
    wxChoice* m_cmbGroup = nullptr;
    wxChoice* m_cmbMark = nullptr;
    wxTextCtrl* m_edtPageText = nullptr;
    wxTextCtrl* m_edtComment = nullptr;
};
