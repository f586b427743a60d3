#include "app/ProgressDlg.h"

#include <memory>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/stattext.h>

#include "platform/AccessibleName.h"
#include "platform/CodePage.h"
#include "platform/FocusKeeper.h"
#include "platform/FontMap.h"

namespace {
enum { IDC_PROGRESS_BAR = 1003, IDC_PROGRESS_PERCENT = 1004, IDC_PROGRESS_MESSAGE = 1005 };
}

CProgressDlg::CProgressDlg(unsigned captionId) : m_nCaptionId(captionId != 0 ? captionId : 103) {}

CProgressDlg::~CProgressDlg() { DestroyWindow(); }

bool CProgressDlg::Create(wxWindow* parent) {
    if (!wxTheApp) return false;  // no toolkit: the numbers are kept without a window
    wxWindow* owner = parent ? wxGetTopLevelParent(parent) : wxTheApp->GetTopWindow();
    // Disabling the window takes the keyboard focus from it; it comes back at the end.
    if (!m_focusKeeper) m_focusKeeper = std::make_unique<CFocusKeeper>();
    if (owner && owner->IsEnabled()) {
        owner->Disable();
        m_pParent = owner;
        m_bParentDisabled = 1;
    }
    // The caller names the window after this call: it is built hidden and comes on the
    // screen at the first pump, under its real title, so that a screen reader never
    // announces a placeholder and the window manager never activates a window that
    // vanishes at once.
    m_pDialog = new wxDialog(owner, 102, ToWx(m_strCaption.IsEmpty() ? CString("1") : m_strCaption), wxDefaultPosition,
                             wxDefaultSize, wxCAPTION);
    if (!m_pDialog) {
        if (m_bParentDisabled) m_pParent->Enable();
        m_bParentDisabled = 0;
        return false;
    }
    SetAccessibleDialogRole(*m_pDialog);
    wxFont font = KvCreateFont(15, FW_NORMAL, "ＭＳＰ ゴシック");
    m_stcMessage = new wxStaticText(m_pDialog, IDC_PROGRESS_MESSAGE, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                    wxST_NO_AUTORESIZE);
    m_stcPercent = new wxStaticText(m_pDialog, IDC_PROGRESS_PERCENT, ToWx(m_strPercent), wxDefaultPosition,
                                    wxDefaultSize, wxST_NO_AUTORESIZE);
    m_stcMessage->SetFont(font);
    m_stcPercent->SetFont(font);
    m_progress = new wxGauge(m_pDialog, IDC_PROGRESS_BAR, std::max(1, m_nUpper - m_nLower));
    m_btnCancel = new wxButton(m_pDialog, wxID_CANCEL, ToWx("キャンセル"));
    // Cancel and Esc only raise the flag; the operation decides. Enter does nothing.
    m_pDialog->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnCancel(); }, wxID_CANCEL);
    m_pDialog->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnOK(); }, wxID_OK);
    m_pDialog->Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& e) {
        if (e.CanVeto()) e.Veto();
        OnCancel();
    });
    m_pDialog->SetEscapeId(wxID_CANCEL);
    m_pDialog->SetAffirmativeId(wxID_NONE);
    m_pDialog->Bind(wxEVT_SIZE, [this](wxSizeEvent& e) { e.Skip(); Layout(); });
    if (!m_strMessage.IsEmpty()) m_stcMessage->SetLabel(ToWx(m_strMessage));
    NameProgressBar();
    m_btnCancel->Show(m_bCancelShown);
    m_pDialog->SetClientSize(378, 150);
    Layout();
    m_pDialog->CentreOnParent();
    return true;
}

void CProgressDlg::ShowOnce() {
    if (!m_pDialog || m_pDialog->IsShown()) return;
    m_pDialog->Show();
}

// The bar shows no text of its own: a screen reader names it after the message line
// beside it.
void CProgressDlg::NameProgressBar() {
    if (m_progress) SetAccessibleName(*m_progress, m_strMessage.IsEmpty() ? m_strCaption : m_strMessage);
}

void CProgressDlg::Layout() {
    if (!m_pDialog) return;
    m_stcMessage->SetSize(12, 11, 316, 15);
    m_stcPercent->SetSize(168, 43, 36, 15);
    m_progress->SetSize(14, 64, 344, 24);
    m_btnCancel->SetSize(134, 105, 102, 26);
}

bool CProgressDlg::DestroyWindow() {
    if (m_bParentDisabled && m_pParent) m_pParent->Enable();
    m_bParentDisabled = 0;
    if (!m_pDialog) {
        m_focusKeeper.reset();
        return false;
    }
    m_pDialog->Hide();
    m_pDialog->Destroy();
    m_pDialog = nullptr;
    m_focusKeeper.reset();
    m_stcMessage = m_stcPercent = nullptr;
    m_progress = nullptr;
    m_btnCancel = nullptr;
    return true;
}

void CProgressDlg::SetRange(int lower, int upper) {
    m_nLower = lower;
    m_nUpper = upper;
    if (m_progress) m_progress->SetRange(std::max(1, upper - lower));
}

CString CProgressDlg::PercentText(int position, int lower, int upper) {
    if (upper == lower) return CString("0%");  // callers never ask with an empty range
    // 64 bits: a long operation's position times 100 must not wrap.
    long long percent = (static_cast<long long>(position) - lower) * 100 / (static_cast<long long>(upper) - lower);
    if (percent != 100) percent %= 100;
    return CString::Formatted("%d%c", static_cast<int>(percent), '%');
}

int CProgressDlg::SetPos(int position) {
    PumpMessages();
    int previous = m_nPos;
    m_nPos = position;
    if (m_progress) m_progress->SetValue(std::clamp(position - m_nLower, 0, m_progress->GetRange()));
    CString text = PercentText(position, m_nLower, m_nUpper);
    if (text != m_strPercent) {
        m_strPercent = text;
        if (m_stcPercent) m_stcPercent->SetLabel(ToWx(text));
    }
    return previous;
}

int CProgressDlg::CheckCancel() {
    PumpMessages();
    int cancel = m_bCancel;
    m_bCancel = 0;
    return cancel;
}

void CProgressDlg::PumpMessages() {
    if (!wxTheApp || !m_pDialog) return;
    ShowOnce();
    m_pDialog->Update();
    // Re-entry is refused by the toolkit's yield itself; a nested long operation just
    // skips pumping.
    wxTheApp->Yield(true);
}

void CProgressDlg::SetWindowText(const CString& caption) {
    m_strCaption = caption;
    if (m_pDialog) m_pDialog->SetLabel(ToWx(caption));
    NameProgressBar();
}

void CProgressDlg::SetMessage(const CString& message) {
    m_strMessage = message;
    if (m_stcMessage) m_stcMessage->SetLabel(ToWx(message));
    NameProgressBar();
}

void CProgressDlg::ShowCancelButton(bool show) {
    m_bCancelShown = show;
    if (m_btnCancel) m_btnCancel->Show(show);
}
