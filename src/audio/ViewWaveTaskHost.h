#pragma once
// The view's side of the WAV routines: their messages in the view's message boxes and
// their progress in the modeless progress dialog.

#include <functional>
#include <memory>

#include "audio/WaveTaskHost.h"

class CProgressDlg;
class wxWindow;

class CViewWaveTaskHost : public CWaveTaskHost {
public:
    // `owner` is the window the boxes and the dialog belong to; null for a view without
    // a window.
    explicit CViewWaveTaskHost(wxWindow* owner);
    // Closes a progress dialog that is still open, which enables the main window again.
    ~CViewWaveTaskHost() override;
    CViewWaveTaskHost(const CViewWaveTaskHost&) = delete;
    CViewWaveTaskHost& operator=(const CViewWaveTaskHost&) = delete;

    void ShowError(const CString& text) override;
    bool AskYesNo(const CString& text) override;
    void BeginProgress(const CString& caption, const CString& text, int range) override;
    void SetProgress(int position) override;
    bool CheckCancel() override;
    void EndProgress() override;

    CProgressDlg* GetProgressDlg() const { return m_progress.get(); }

    // Called with the dialog after each new position, as a person watching it would see
    // it; tests press Cancel from here (CProgressDlg::OnCancel). Returns the previous hook.
    using ProgressHook = std::function<void(CProgressDlg&)>;
    static ProgressHook SetProgressHook(ProgressHook hook);

private:
    wxWindow* m_pOwner;
    std::unique_ptr<CProgressDlg> m_progress;
};
