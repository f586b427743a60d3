#include "app/PhraseSplitDlg.h"

#include <algorithm>
#include <memory>

#include <wx/button.h>
#include <wx/scrolbar.h>

#include "app/KorvaneView.h"
#include "audio/LevelMeter.h"
#include "audio/WaveFile.h"
#include "audio/WaveformDisplays.h"
#include "platform/CodePage.h"
#include "platform/DialogHost.h"
#include "platform/DialogKeys.h"
#include "platform/FontMap.h"
#include "platform/InputMethod.h"
#include "platform/KeyMap.h"
#include "platform/MessageBox.h"
#include "platform/Riff.h"

namespace {

constexpr int kWindowPixels = 500;  // five seconds at 10 ms a pixel
constexpr int kHalfWindow = 250;

}  // namespace

CPhraseSplitDlg::CPhraseSplitDlg(CKorvaneView* view)
    : wxDialog(view && view->HasWindow() ? view : nullptr, IDD, ToWx("フレーズ分割")),
      m_pView(view),
      m_samples(5 * kMaxBytesPerSec / 2) {
    SetFont(KvCreateFont(15, FW_NORMAL, "ＭＳＰ ゴシック"));
    m_scale = new CTimeScaleStatic(this, IDC_SCALE);
    m_wave = new CWaveViewStatic(this, IDC_WAVE);
    auto* bar = new wxScrollBar(this, IDC_SCROLL, wxDefaultPosition, wxDefaultSize, wxSB_HORIZONTAL);
    m_btnPlay = new wxButton(this, IDC_PLAY, wxASCII_STR("PLAY"));
    auto* ok = new wxButton(this, wxID_OK, wxASCII_STR("OK"));
    new wxButton(this, wxID_CANCEL, ToWx("キャンセル"));
    for (wxWindow* w : GetChildren())
        if (w != m_scale) w->SetFont(GetFont());
    ok->SetDefault();
    DetachInputMethod(bar);
    m_scroll.Attach(bar, [this](int code, int track) { OnHScroll(code, track); });
    SetClientSize(530 - 6, 268 - 3);
    LayoutControls();
    m_wave->m_pSamples = m_samples.data();

    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnButtonPlay(); }, IDC_PLAY);
    Bind(wxEVT_BUTTON, &CPhraseSplitDlg::OnOK, this, wxID_OK);
    Bind(wxEVT_BUTTON, &CPhraseSplitDlg::OnCancel, this, wxID_CANCEL);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) {
        wxCommandEvent cancel;
        OnCancel(cancel);
    });
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
        e.Skip();
        LayoutControls();
    });
    Bind(wxEVT_INIT_DIALOG, [this](wxInitDialogEvent& e) {
        e.Skip();
        OnInit();
    });
    BindDialogKeys(*this, [this](int vk, const wxKeyEvent& e) {
        if (e.ControlDown() || e.AltDown()) return false;
        return OnKey(vk);
    });
}

CPhraseSplitDlg::~CPhraseSplitDlg() {
    if (m_wavePlayer.GetDeviceState() == kAudioDeviceOpen) {
        m_wavePlayer.Stop();
        m_wavePlayer.CloseFile();
        m_wavePlayer.CloseDevice();
    }
    m_wavePlayer.FreeBuffers();
}

void CPhraseSplitDlg::OnInit() {
    const uint32_t per10ms = std::max<uint32_t>(BytesPer10ms(), 1);
    const int pixels = static_cast<int>(std::min<uint64_t>(m_nPhraseLength / per10ms, INT32_MAX / 2));
    m_scroll.SetScrollRange(0, std::max(0, pixels - kWindowPixels));
    m_scroll.SetScrollPos(0);
    m_nWindowStart = m_nCursor = m_nPlayPosition = 0;
    m_nSavedWindowStart = m_nSavedCursor = 0;
    m_wave->m_bFullWidth = 0;
    ReadWaveWindow(0);
    m_wave->SetOffset(0);
    m_wave->SetCursor(0);
    m_wave->SetPlayPosition(0);
    m_wavePlayer.Initialize();
}

int CPhraseSplitDlg::ReadWaveWindow(uint32_t byteOffset) {
    WaveFormatEx format{};
    uint32_t dataSize = 0, dataOffset = 0;
    int error = 0;
    std::unique_ptr<CRiffFile> file;
    if (ReadWaveHeader(m_strPath, format, dataSize, dataOffset) == kWaveHeaderOk)
        file = CRiffFile::Open(m_strPath, RiffOpenMode::Read, error);
    if (!file) {
        KvMessageBox(this, "ファイルが開けません。\n" + m_strPath, "エラー", MB_OK | MB_ICONSTOP);
        return 5;
    }
    // Samples are counted from the data chunk: the header is never drawn as audio.
    if (file->Seek(static_cast<int64_t>(dataOffset) + byteOffset, SEEK_SET) < 0) {
        file->Close();
        KvMessageBox(this, "ファイルポインタを移動できません。\n" + m_strPath, "エラー", MB_OK | MB_ICONSTOP);
        return 5;
    }
    m_nBytesPer100ms = m_nBytesPerSec / 10;
    m_wave->m_nBase = static_cast<int>(m_nBytesPer100ms);
    const uint64_t left = byteOffset < dataSize ? dataSize - byteOffset : 0;
    uint64_t n = std::min<uint64_t>(5ull * m_nBytesPerSec, m_nPhraseLength);
    n = std::min<uint64_t>({n, left, m_samples.size() * 2});
    const int64_t got = n > 0 ? file->Read(m_samples.data(), static_cast<int64_t>(n)) : 0;
    if (got < 0) {
        file->Close();
        KvMessageBox(this, "Waveファイル読込時にエラーが発生しました。\n" + m_strPath, "エラー", MB_OK | MB_ICONSTOP);
        return 10;
    }
    m_wave->m_pSamples = m_samples.data();
    m_wave->m_nByteCount = static_cast<int>(got);
    file->Close();
    return 0;
}

void CPhraseSplitDlg::OnHScroll(int code, int trackPosition) {
    if (code == SB_ENDSCROLL) return;
    const int pos = m_scroll.GetScrollPos();
    const int len = m_nBytesPer100ms ? static_cast<int>(m_nPhraseLength / m_nBytesPer100ms) * 10 : 0;
    const bool idle = m_wavePlayer.GetDeviceState() != kAudioDeviceOpen;
    m_nWindowStart = pos;
    switch (code) {
    case SB_LINELEFT:
        if (!idle) break;
        if (m_nCursor - m_nWindowStart < kHalfWindow + 1) m_nWindowStart -= 10;
        m_nCursor -= 10;
        break;
    case SB_LINERIGHT:
        if (!idle) break;
        if (m_nCursor - m_nWindowStart >= kHalfWindow) m_nWindowStart += 10;
        m_nCursor += 10;
        break;
    case SB_PAGELEFT:
        if (idle) m_nWindowStart -= 50;
        break;
    case SB_PAGERIGHT:
        if (idle) m_nWindowStart += 50;
        break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        if (!idle) StopPlay();
        // The window starts on whole 20 ms so that the cursor's 100 ms steps stay aligned.
        m_nWindowStart = trackPosition + (trackPosition % 2 != 0 ? 1 : 0);
        break;
    case SB_LEFT: {
        if (!idle) StopPlay();
        int minimum = 0, maximum = 0;
        m_scroll.GetScrollRange(minimum, maximum);
        m_nWindowStart = m_nCursor = minimum;
        break;
    }
    case SB_RIGHT:
        if (!idle) StopPlay();
        m_nWindowStart = m_nCursor = len;
        break;
    case kPlayStep:
        if (m_nPlayPosition - pos >= kHalfWindow) m_nWindowStart = pos + 10;
        m_nPlayPosition += 10;
        break;
    default:
        break;
    }
    int minimum = 0, maximum = 0;
    m_scroll.GetScrollRange(minimum, maximum);
    m_nWindowStart = std::clamp(m_nWindowStart, minimum, maximum);
    m_nCursor = std::clamp(m_nCursor, 0, len);
    m_nPlayPosition = std::clamp(m_nPlayPosition, 0, len);
    if (code == SB_LINELEFT || code == SB_LINERIGHT || code == SB_LEFT || code == SB_RIGHT) {
        m_nSavedWindowStart = m_nWindowStart;
        m_nSavedCursor = m_nCursor;
    }
    ShowWindow();
}

void CPhraseSplitDlg::ShowWindow() {
    m_scale->SetStart(m_nWindowStart);
    ReadWaveWindow(static_cast<uint32_t>(m_nWindowStart) * BytesPer10ms());
    m_wave->SetCursor(m_nCursor);
    m_wave->SetPlayPosition(m_nPlayPosition);
    m_wave->SetOffset(m_nWindowStart);
    m_wave->Refresh();
    m_scroll.SetScrollPos(m_nWindowStart);
}

void CPhraseSplitDlg::OnButtonPlay() {
    if (m_wavePlayer.GetDeviceState() == kAudioDeviceOpen) {
        // Stopping leaves the split cursor where playback was.
        m_nSavedWindowStart = m_nWindowStart;
        m_nSavedCursor = m_nPlayPosition;
        StopPlay();
    } else {
        Play();
    }
}

void CPhraseSplitDlg::Play() {
    m_nWindowStart = m_nSavedWindowStart;
    m_nCursor = m_nSavedCursor;
    m_nPlayPosition = m_nSavedCursor;
    ShowWindow();
    const uint64_t start = static_cast<uint64_t>(BytesPer10ms()) * static_cast<uint32_t>(m_nPlayPosition);
    if (start >= m_nPhraseLength) return;
    const uint32_t length = m_nPhraseLength - static_cast<uint32_t>(start);
    if (m_pView) m_wavePlayer.SetSampleRate(static_cast<uint32_t>(m_pView->m_nSamplePerSec));
    int r = m_wavePlayer.SetSpeed(2);
    if (r == kAudioOk) r = m_wavePlayer.SetRange(static_cast<uint32_t>(start), length);
    if (r == kAudioOk) r = m_wavePlayer.OpenFile(m_strPath.c_str());
    if (r == kAudioOk) r = m_wavePlayer.QueryDevice(WAVE_MAPPER);
    if (r == kAudioOk) r = m_wavePlayer.OpenDevice(WAVE_MAPPER, this);
    if (r == kAudioOk) r = m_wavePlayer.Start();
    if (r != kAudioOk && r != kAudioNothingQueued) {
        KvMessageBox(this, "再生処理でエラーが発生しました", "エラー", MB_OK | MB_ICONSTOP);
        StopPlay();
        return;
    }
    m_wave->m_bShowPlayPosition = 1;
    m_wave->Refresh();
    m_btnPlay->SetLabel(wxASCII_STR("STOP"));
    // Nothing was there to queue: no buffer would ever come back to end it.
    if (m_wavePlayer.GetPlayState() == kAudioNothingQueued) StopPlay();
}

void CPhraseSplitDlg::StopPlay() {
    if (m_wavePlayer.Stop() != kAudioOk || m_wavePlayer.CloseFile() != kAudioOk ||
        m_wavePlayer.CloseDevice() != kAudioOk)
        KvMessageBox(this, "再生処理でエラーが発生しました", "エラー", MB_OK | MB_ICONSTOP);
    m_btnPlay->SetLabel(wxASCII_STR("PLAY"));
    m_nWindowStart = m_nSavedWindowStart;
    m_nCursor = m_nSavedCursor;
    m_wave->m_bShowPlayPosition = 0;
    m_nPlayPosition = 0;
    ShowWindow();
    if (m_pView && m_pView->m_staticLevelMeter) m_pView->m_staticLevelMeter->SetLevel(-96);
}

void CPhraseSplitDlg::OnWaveOutDone(HWAVEOUT device, WAVEHDR* header) {
    const int level = CWavePlayOperation::GetPeakLevel(header);
    const int r = m_wavePlayer.OnBufferDone(device, header);
    if (r == kAudioOk || r == kAudioNothingQueued) {
        if (m_pView && m_pView->m_staticLevelMeter) m_pView->m_staticLevelMeter->SetLevel(level);
        if (m_wavePlayer.GetDeviceState() == kAudioDeviceOpen) m_scroll.Send(kPlayStep);
    } else if (r == 10 || r == 26 || r == 27 || r == 28 || r == 31) {
        StopPlay();
        return;
    }
    if (m_wavePlayer.GetDeviceState() == kAudioDeviceOpen && m_wavePlayer.GetPlayState() == kAudioNothingQueued)
        StopPlay();
}

void CPhraseSplitDlg::OnOK(wxCommandEvent&) {
    if (m_wavePlayer.GetDeviceState() == kAudioDeviceOpen) StopPlay();
    m_nResult = static_cast<uint32_t>(m_nCursor / 10) * m_nBytesPer100ms;
    EndModal(wxID_OK);
}

void CPhraseSplitDlg::OnCancel(wxCommandEvent&) {
    if (m_wavePlayer.GetDeviceState() == kAudioDeviceOpen) StopPlay();
    if (IsModal()) EndModal(wxID_CANCEL);
}

bool CPhraseSplitDlg::OnKey(int vk) {
    wxWindow* focus = wxWindow::FindFocus();
    switch (vk) {
    // The scroll bar takes no focus and has no arrows: its keys work anywhere.
    case VK_LEFT: m_scroll.Send(SB_LINELEFT); return true;
    case VK_RIGHT: m_scroll.Send(SB_LINERIGHT); return true;
    case VK_PRIOR: m_scroll.Send(SB_PAGELEFT); return true;
    case VK_NEXT: m_scroll.Send(SB_PAGERIGHT); return true;
    case VK_HOME: m_scroll.Send(SB_LEFT); return true;
    case VK_END: m_scroll.Send(SB_RIGHT); return true;
    case VK_SPACE: {
        if (focus == m_btnPlay) return false;
        if (focus && focus->GetId() == wxID_OK) CUiScript::ClickButton(*this, wxID_OK);
        else if (focus && focus->GetId() == wxID_CANCEL) CUiScript::ClickButton(*this, wxID_CANCEL);
        else OnButtonPlay();
        return true;
    }
    default:
        return PressButtonForEnter(*this, vk);
    }
}

void CPhraseSplitDlg::LayoutControls() {
    const struct { int id, x, y, w, h; } rects[] = {
        {IDC_SCALE, 12, 11, 500, 31},  {IDC_WAVE, 12, 42, 500, 150},    {IDC_SCROLL, 12, 192, 500, 26},
        {IDC_PLAY, 12, 229, 100, 26},  {wxID_OK, 308, 229, 100, 26},   {wxID_CANCEL, 412, 229, 100, 26},
    };
    for (const auto& r : rects)
        if (wxWindow* w = FindWindow(r.id)) w->SetSize(r.x, r.y, r.w, r.h);
}
