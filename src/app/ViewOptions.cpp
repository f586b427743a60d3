// Commands that change settings rather than the book: silence detection, speed,
// volume, MP3 quality, list font, help.

#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "app/PauseSetDlg.h"
#include "audio/VolumeMixer.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"

namespace {
// The output volume of the machine, shared by everything that plays.
CVolumeMixer g_volumeMixer;
constexpr int kVolumeStep = 3276;

CString VolumeText(int volume) { return CString::Formatted("%2d", volume / kVolumeStep); }
}  // namespace

void CKorvaneView::InitOutputVolume() {
    if (g_volumeMixer.Open()) {
        g_volumeMixer.Unmute();
        uint32_t volume = 0;
        if (g_volumeMixer.GetVolume(&volume)) {
            m_nVolume = static_cast<int>(volume);
            SetControlText(IDC_STATIC_VOLUME, VolumeText(m_nVolume));
        } else {
            m_nVolume = 32767;
            if (!g_volumeMixer.SetVolume(static_cast<uint32_t>(m_nVolume))) SetControlText(IDC_STATIC_VOLUME, "－");
        }
    }
}

void CKorvaneView::OnPauseSetting() {
    OnButtonStop();
    RunPauseSetDlg();
}

int CKorvaneView::RunPauseSetDlg() {
    CPauseSetDlg dlg(m_bHasWindow ? this : nullptr);
    dlg.m_nPhrasePause = m_nPhrasePause;
    dlg.m_nSectionPause = m_nSectionPause;
    dlg.m_nNoiseLevel = m_nNoiseLevel;
    if (RunModal(dlg) != IDOK) return 2;
    m_nPhrasePause = dlg.m_nPhrasePause;
    m_nSectionPause = dlg.m_nSectionPause;
    m_nNoiseLevel = dlg.m_nNoiseLevel;
    switch (m_nNoiseLevel) {
    case 0: m_nSilenceDb = -25; break;
    case 1: m_nSilenceDb = -35; break;
    case 2: m_nSilenceDb = -45; break;
    default: m_nNoiseLevel = 0; m_nSilenceDb = -25; break;
    }
    return 0;
}

void CKorvaneView::OnPlaySpeedUp() {
    int speed = (m_nPlaySpeed >= 2 && m_nPlaySpeed <= 7) ? m_nPlaySpeed + 1 : m_nPlaySpeed == 8 ? 8 : 2;
    if (speed != m_nPlaySpeed) {
        m_nPlaySpeed = speed;
        SetControlText(IDC_STATIC_SPEED, GetSpeedLabel(speed));
    }
    m_wavePlayer.SetSpeed(m_nPlaySpeed);
}

void CKorvaneView::OnPlaySpeedDown() {
    int speed = (m_nPlaySpeed >= 2 && m_nPlaySpeed <= 8 && m_nPlaySpeed != 3) ? m_nPlaySpeed - 1
                : m_nPlaySpeed == 1                                             ? 1
                                                                                : 2;
    // 3 goes to 2 by the rule "any other value becomes 2", which is also one step down.
    if (speed != m_nPlaySpeed) {
        m_nPlaySpeed = speed;
        SetControlText(IDC_STATIC_SPEED, GetSpeedLabel(speed));
    }
    m_wavePlayer.SetSpeed(m_nPlaySpeed);
}

void CKorvaneView::OnVolumeUp() {
    if (m_nVolume >= 65535) return;
    m_nVolume = std::min(65535, m_nVolume + kVolumeStep);
    if (g_volumeMixer.SetVolume(static_cast<uint32_t>(m_nVolume))) SetControlText(IDC_STATIC_VOLUME, VolumeText(m_nVolume));
}

void CKorvaneView::OnVolumeDown() {
    if (m_nVolume <= 0) return;
    m_nVolume = std::max(0, m_nVolume - kVolumeStep);
    if (g_volumeMixer.SetVolume(static_cast<uint32_t>(m_nVolume))) SetControlText(IDC_STATIC_VOLUME, VolumeText(m_nVolume));
}

void CKorvaneView::OnMp3QualitySpeed() { m_nMp3Quality = 0; }
void CKorvaneView::OnMp3QualityStandard() { m_nMp3Quality = 1; }
void CKorvaneView::OnMp3QualityHigh() { m_nMp3Quality = 2; }

void CKorvaneView::SetListFont(int size) {
    if (m_nListFont == size) return;
    m_nListFont = size;
    ApplyListFont();
}

void CKorvaneView::OnListFontLarge() { SetListFont(2); }
void CKorvaneView::OnListFontStandard() { SetListFont(1); }
void CKorvaneView::OnListFontSmall() { SetListFont(0); }
