// The view's key filter: which key presses stop playback before they go on.

#include "app/KorvaneView.h"
#include "platform/KeyMap.h"

namespace {

bool InRange(int vk, int lo, int hi) { return vk >= lo && vk <= hi; }

// Extra mouse buttons, undefined and reserved codes, input-method on/off, sleep, the
// browser, volume, media and launch keys, and the punctuation keys. 229 (the input
// method at work) must get through.
bool IsSwallowed(int vk) {
    return InRange(vk, 5, 7) || vk == 10 || vk == 11 || vk == 14 || vk == 15 || vk == 22 || vk == 26 ||
           InRange(vk, 58, 64) || vk == 94 || vk == 95 || InRange(vk, 136, 143) || InRange(vk, 146, 159) ||
           InRange(vk, 166, 228) || InRange(vk, 230, 245) || vk == 255;
}

// Shift, the single-letter shortcuts and the speed and volume keys leave playback running.
bool KeepsPlaying(int vk) {
    switch (vk) {
    case 16:
    case 'C': case 'D': case 'E': case 'G': case 'H': case 'M': case 'P': case 'Q': case 'R': case 'V': case 'W':
    case 114: case 115: case 120: case 121:  // F3, F4, F9, F10
        return true;
    default:
        return false;
    }
}

}  // namespace

EViewKeyAction CKorvaneView::ClassifyKey(int vk) {
    if (IsSwallowed(vk)) return EViewKeyAction::Swallow;
    if (KeepsPlaying(vk)) return EViewKeyAction::Pass;
    if (vk == 32) return EViewKeyAction::PlayOrStop;
    return EViewKeyAction::StopThenPass;
}

bool CKorvaneView::PreTranslateKeyDown(int vk) {
    switch (ClassifyKey(vk)) {
    case EViewKeyAction::Swallow:
        return true;
    case EViewKeyAction::Pass:
        return false;
    case EViewKeyAction::PlayOrStop: {
        int state = m_nAudioKind == 1 ? m_wavePlayer.GetDeviceState() : m_mp3Player.GetDeviceState();
        if (state == kAudioDeviceOpen) {
            if (m_bButtonsEnabled) OnButtonStop();
        } else if (m_bButtonsEnabled) {
            OnButtonPlay();
        }
        return true;
    }
    case EViewKeyAction::StopThenPass:
        // Tab and Shift+Tab walk the form from the control that has the focus: giving the
        // focus back to the list first would start every walk at the list again.
        if (vk == VK_TAB) StopPlayback();
        else OnButtonStop();
        return false;
    }
    return false;
}
