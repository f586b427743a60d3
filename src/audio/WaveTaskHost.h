#pragma once
// What the WAV copy and conversion need from the window that runs them: its message
// boxes and its progress dialog. The view provides them; tests record them.

#include "platform/CString.h"

class CWaveTaskHost {
public:
    virtual ~CWaveTaskHost() = default;

    // An error message (caption "エラー", stop icon).
    virtual void ShowError(const CString& text) = 0;
    // A question (caption "確認", Yes and No, question icon); true for Yes.
    virtual bool AskYesNo(const CString& text) = 0;

    // The modeless progress dialog: opened with a range of 0 .. range steps, moved on
    // after each step, asked whether cancel was pressed since the last time, closed.
    virtual void BeginProgress(const CString& caption, const CString& text, int range) = 0;
    virtual void SetProgress(int position) = 0;
    virtual bool CheckCancel() = 0;
    virtual void EndProgress() = 0;
};
