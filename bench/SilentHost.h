#pragma once
// A task host for benchmarks: no window, no questions, nothing cancelled.

#include "audio/WaveTaskHost.h"

class SilentHost : public CWaveTaskHost {
public:
    void ShowError(const CString&) override {}
    bool AskYesNo(const CString&) override { return false; }
    void BeginProgress(const CString&, const CString&, int) override {}
    void SetProgress(int) override {}
    bool CheckCancel() override { return false; }
    void EndProgress() override {}
};
