#pragma once
// "フレーズ分割": the user finds the split point of one phrase by eye and ear. The dialog
// shows five seconds of the phrase's audio (a copy in a temporary WAV file) at a time,
// moves a split cursor in 100 ms steps, plays from the cursor with a player of its own,
// and returns the split point in bytes, a whole number of 100 ms blocks.

#include <cstdint>
#include <vector>

#include <wx/dialog.h>

#include "audio/WavePlayOperation.h"
#include "platform/CString.h"
#include "platform/ScrollBarAdapter.h"
#include "platform/WaveOut.h"

class CKorvaneView;
class CTimeScaleStatic;
class CWaveViewStatic;
class wxButton;

class CPhraseSplitDlg : public wxDialog, public IWaveOutOwner {
public:
    enum { IDD = 151, IDC_SCROLL = 1091, IDC_WAVE = 1089, IDC_SCALE = 1090, IDC_PLAY = 1008 };
    // The scroll code the dialog sends itself after each played buffer.
    static constexpr int kPlayStep = 9;
    // The window buffer holds five seconds at the highest rate the split takes.
    static constexpr uint32_t kMaxBytesPerSec = 88200;
    static constexpr uint32_t kMinBytesPerSec = 100;

    explicit CPhraseSplitDlg(CKorvaneView* view);
    ~CPhraseSplitDlg() override;

    void OnHScroll(int code, int trackPosition);
    void OnButtonPlay();
    // Reads the window's samples from `byteOffset` of the temporary file's samples into
    // the buffer; 0, or 5 or 10 after the message.
    int ReadWaveWindow(uint32_t byteOffset);
    void OnWaveOutDone(HWAVEOUT device, WAVEHDR* header) override;

    // Set by the command.
    CString m_strPath;
    uint32_t m_nPhraseStart = 0;
    uint32_t m_nPhraseLength = 0;
    uint32_t m_nBytesPerSec = 0;
    int m_nAudioKind = 1;
    // Set by OK.
    uint32_t m_nResult = 0;

    // The state, in 10 ms units from the phrase's start.
    int GetWindowStart() const { return m_nWindowStart; }
    int GetCursor() const { return m_nCursor; }
    int GetPlayPosition() const { return m_nPlayPosition; }
    CScrollBarAdapter& GetScrollBar() { return m_scroll; }
    CWaveViewStatic* GetWaveView() const { return m_wave; }
    CTimeScaleStatic* GetTimeScale() const { return m_scale; }
    CWavePlayOperation& GetWavePlayer() { return m_wavePlayer; }

private:
    void OnInit();
    void OnOK(wxCommandEvent& event);
    void OnCancel(wxCommandEvent& event);
    bool OnKey(int virtualKey);
    void Play();
    void StopPlay();
    void ShowWindow();  // scroll bar, samples, ruler and waveform follow the window start
    void LayoutControls();
    uint32_t BytesPer10ms() const { return m_nBytesPerSec / 100; }

    CKorvaneView* m_pView;
    CScrollBarAdapter m_scroll;
    CWaveViewStatic* m_wave = nullptr;
    CTimeScaleStatic* m_scale = nullptr;
    wxButton* m_btnPlay = nullptr;
    CWavePlayOperation m_wavePlayer;
    int m_nWindowStart = 0;
    int m_nCursor = 0;
    int m_nPlayPosition = 0;
    uint32_t m_nBytesPer100ms = 0;
    int m_nSavedWindowStart = 0;
    int m_nSavedCursor = 0;
    std::vector<int16_t> m_samples;
};
