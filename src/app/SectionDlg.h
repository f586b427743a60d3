#pragma once
// "セクションプロパティ": level, heading, pages and comment of one section. The dialog
// steps to the previous or next section (F2, F3), storing the edits of the one it leaves
// with an undo record, and plays the first phrase of the section it shows (F4) with a
// player of its own, so that the view's playback is left alone.

#include <wx/dialog.h>

#include "audio/Mp3PlayOperation.h"
#include "audio/WavePlayOperation.h"
#include "platform/CString.h"
#include "platform/WaveOut.h"

class CKorvaneView;
class wxButton;
class wxChoice;
class wxTextCtrl;

class CSectionDlg : public wxDialog, public IWaveOutOwner {
public:
    enum {
        IDD = 144,
        IDC_LEVEL = 1051,
        IDC_HEADING = 1053,
        IDC_START_PAGE = 1055,
        IDC_END_PAGE = 1056,
        IDC_COMMENT = 1057,
        IDC_PLAY = 1049,
        IDC_PREV = 1045,
        IDC_NEXT = 1047,
    };

    explicit CSectionDlg(CKorvaneView* view);
    ~CSectionDlg() override;

    bool TransferDataToWindow() override;
    bool TransferDataFromWindow() override;

    void OnButtonPlay();
    void OnButtonPrev();
    void OnButtonNext();
    // 1 when every field fits, else 0 after the message (the field has the focus).
    int CheckInputLength();
    void OnWaveOutDone(HWAVEOUT device, WAVEHDR* header) override;
    // The members from the section at m_nSectionIndex: its fields, and as its pages the
    // first numbered page of its phrases and the last one when there are two or more.
    void LoadFromSection();

    int m_nLevel = 0;
    CString m_strComment;  // CR LF line ends, as typed
    CString m_strHeading;  // CR LF line ends, as typed
    CString m_strEndPage;
    CString m_strStartPage;
    int m_nSectionIndex = 0;
    int m_nAudioKind = 1;
    CString m_strExeFolder;

    CWavePlayOperation& GetWavePlayer() { return m_wavePlayer; }

private:
    void OnOK(wxCommandEvent& event);
    void OnCancel(wxCommandEvent& event);
    bool OnKey(int virtualKey);
    void Step(int delta);
    void UpdateStepButtons();
    // Plays the section's first phrase with the player of the project's audio kind.
    void PlayPhrase();
    void StopPlayer();
    void StopOpenDevice();
    void LayoutControls();

    CKorvaneView* m_pView;
    wxChoice* m_cmbLevel = nullptr;
    wxTextCtrl* m_edtHeading = nullptr;
    wxTextCtrl* m_edtStartPage = nullptr;
    wxTextCtrl* m_edtEndPage = nullptr;
    wxTextCtrl* m_edtComment = nullptr;
    wxButton* m_btnPlay = nullptr;
    wxButton* m_btnPrev = nullptr;
    wxButton* m_btnNext = nullptr;
    CWavePlayOperation m_wavePlayer;
    CMp3PlayOperation m_mp3Player;
};
