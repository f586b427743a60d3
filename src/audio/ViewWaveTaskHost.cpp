#include "audio/ViewWaveTaskHost.h"

#include <utility>

#include "app/ProgressDlg.h"
#include "platform/MessageBox.h"

namespace {
CViewWaveTaskHost::ProgressHook& Hook() {
    static CViewWaveTaskHost::ProgressHook hook;
    return hook;
}
}  // namespace

CViewWaveTaskHost::CViewWaveTaskHost(wxWindow* owner) : m_pOwner(owner) {}

CViewWaveTaskHost::~CViewWaveTaskHost() = default;

void CViewWaveTaskHost::ShowError(const CString& text) { KvMessageBox(m_pOwner, text, "エラー", MB_OK | MB_ICONSTOP); }

bool CViewWaveTaskHost::AskYesNo(const CString& text) {
    return KvMessageBox(m_pOwner, text, "確認", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void CViewWaveTaskHost::BeginProgress(const CString& caption, const CString& text, int range) {
    m_progress = std::make_unique<CProgressDlg>();
    m_progress->Create(m_pOwner);
    // Every position is divided by the range's length.
    m_progress->SetRange(0, range > 0 ? range : 1);
    m_progress->SetWindowText(caption);
    m_progress->SetMessage(text);
}

void CViewWaveTaskHost::SetProgress(int position) {
    if (!m_progress) return;
    m_progress->SetPos(position);
    if (Hook()) Hook()(*m_progress);
}

bool CViewWaveTaskHost::CheckCancel() { return m_progress && m_progress->CheckCancel() == 1; }

void CViewWaveTaskHost::EndProgress() { m_progress.reset(); }

CViewWaveTaskHost::ProgressHook CViewWaveTaskHost::SetProgressHook(ProgressHook hook) {
    return std::exchange(Hook(), std::move(hook));
}
