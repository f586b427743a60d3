#pragma once
// "書誌情報": the twelve bibliographic strings of the book. The caller fills the strings,
// runs the dialog and reads them back after OK; OK refuses a field longer than its
// limit, counted in bytes of the stored CP932 text.

#include <wx/dialog.h>

#include "platform/CString.h"

class wxButton;
class wxFocusEvent;
class wxStaticText;
class wxTextCtrl;

class CBookInfoDlg : public wxDialog {
public:
    enum { IDD = 143 };
    static constexpr int kFieldCount = 12;

    explicit CBookInfoDlg(wxWindow* parent);

    bool TransferDataToWindow() override;
    bool TransferDataFromWindow() override;

    // Field i in the order of the book record (Title .. Scheme): its edit and its limit.
    static int GetEditId(int field);
    static int GetMaxBytes(int field);
    CString& FieldText(int field);

    CString m_strTitle;
    CString m_strAuthor;
    CString m_strIsbn;
    CString m_strDiscrimination;
    CString m_strPublisher;
    CString m_strReader;
    CString m_strEditor;
    CString m_strOrgPublisher;
    CString m_strOrgPublishDate;
    CString m_strPublishDate;
    CString m_strGenre;
    CString m_strScheme;

private:
    void OnOK(wxCommandEvent& event);
    void OnEditSetFocus(wxFocusEvent& event);
    void LayoutControls();

    wxTextCtrl* m_edit[kFieldCount] = {};
    wxStaticText* m_label[kFieldCount - 1] = {};  // Genre and Scheme share one label
    wxButton* m_btnOk = nullptr;
    wxButton* m_btnCancel = nullptr;
};
