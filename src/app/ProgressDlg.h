#pragma once
// The modeless progress dialog of every long operation. The operation runs on the
// user-interface thread; between its steps it sets the position (which lets pending
// events through) and asks whether the user pressed Cancel. While the dialog stands
// the main window is disabled.
//
// Without a toolkit (the window-less tests) the dialog keeps its numbers and texts
// without a window, so the operations run unchanged.

#include <memory>

#include <wx/dialog.h>

#include "platform/CString.h"

class CFocusKeeper;
class wxStaticText;
class wxGauge;
class wxButton;

class CProgressDlg {
public:
    explicit CProgressDlg(unsigned captionId = 0);
    ~CProgressDlg();
    CProgressDlg(const CProgressDlg&) = delete;
    CProgressDlg& operator=(const CProgressDlg&) = delete;

    // Disables the owner (the main window when none is given) and builds the dialog, which
    // comes on the screen at the first pump (SetPos, CheckCancel), once the caller has
    // given it its caption and message.
    bool Create(wxWindow* parent = nullptr);
    bool DestroyWindow();

    void SetRange(int lower, int upper);
    // Lets pending events through, moves the bar, updates the percentage; returns the
    // previous position.
    int SetPos(int position);
    // Lets pending events through; returns 1 once for each press of Cancel (or Esc).
    int CheckCancel();
    void PumpMessages();

    void SetWindowText(const CString& caption);
    void SetMessage(const CString& message);
    void ShowCancelButton(bool show);

    // The cancel button and Esc; Enter does nothing.
    void OnCancel() { m_bCancel = 1; }
    void OnOK() {}

    const CString& GetPercentText() const { return m_strPercent; }
    const CString& GetMessage() const { return m_strMessage; }
    const CString& GetCaption() const { return m_strCaption; }
    int GetPos() const { return m_nPos; }
    bool IsCancelShown() const { return m_bCancelShown; }
    wxDialog* GetDialog() const { return m_pDialog; }

    // The percentage text shown for a position: 37% ; a position past the end wraps.
    static CString PercentText(int position, int lower, int upper);

    unsigned m_nCaptionId;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nStep = 10;
    int m_bCancel = 0;
    int m_bParentDisabled = 0;
    wxWindow* m_pParent = nullptr;

private:
    void Layout();
    void ShowOnce();
    void NameProgressBar();

    wxDialog* m_pDialog = nullptr;
    wxStaticText* m_stcMessage = nullptr;
    wxStaticText* m_stcPercent = nullptr;
    wxGauge* m_progress = nullptr;
    wxButton* m_btnCancel = nullptr;
    CString m_strCaption;
    CString m_strMessage;
    CString m_strPercent = " 0 %";
    int m_nPos = 0;
    bool m_bCancelShown = true;
    std::unique_ptr<CFocusKeeper> m_focusKeeper;
};
