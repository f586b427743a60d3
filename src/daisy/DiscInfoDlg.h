#pragma once
// "ディスク情報": the project's audio format, its recording time, the space its folder
// takes, and the free space and remaining recording time of the drive that holds it.

#include <cstdint>

#include <wx/dialog.h>

#include "platform/CString.h"

class CKorvaneView;
class wxButton;
class wxStaticText;
class wxTextCtrl;

class CDiscInfoDlg : public wxDialog {
public:
    enum { IDD = 152 };
    CDiscInfoDlg(wxWindow* parent, const CKorvaneView& view);

    // Fills the five texts from the folder, the view's sections and the drive, and
    // shows them.
    void ComputeDiscInfo();

    CString m_strDriveSpace;    // 1104
    CString m_strDriveTime;     // 1102
    CString m_strFormat;        // 1097
    CString m_strProjectSize;   // 1100
    CString m_strRecordTime;    // 1098
    CString m_strProjectFolder;
    uint32_t m_nProjectBytesPerSec = 0;  // of the 16-bit PCM audio, MP3 projects too
    uint32_t m_nOutputBytesPerSec = 0;   // of the files on disc

    // "1.50KB", "0 KB" ...; the bytes are counted in 64 bits.
    static CString SizeText(uint64_t bytes);
    // "hh：mm：ss" with full-width colons.
    static CString TimeText(uint64_t seconds);

private:
    void LayoutControls();
    const CKorvaneView& m_view;
    wxStaticText* m_label[5] = {};
    wxTextCtrl* m_edit[5] = {};
    wxButton* m_btnOk = nullptr;
};
