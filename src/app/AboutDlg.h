#pragma once
// "バージョン情報": the product title and a few lines about the program.

#include <wx/dialog.h>

#include "platform/CString.h"

class wxStaticText;
class wxStaticBitmap;
class wxButton;

class CAboutDlg : public wxDialog {
public:
    explicit CAboutDlg(wxWindow* parent);
    CString m_strTitle;  // shown in control 1107
    bool TransferDataToWindow() override;

private:
    void LayoutControls();
    wxStaticBitmap* m_icon = nullptr;     // 1108
    wxStaticText* m_title = nullptr;      // 1107
    wxStaticText* m_line2 = nullptr;      // 1105
    wxStaticBitmap* m_picture = nullptr;  // 1109
    wxStaticText* m_notice = nullptr;     // 1106
    wxButton* m_ok = nullptr;
};
