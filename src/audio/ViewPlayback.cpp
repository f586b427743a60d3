// The view's side of playback: Play and Stop, the jumps to the first and last row, the
// start of a phrase when its row is selected, continuous play from phrase to phrase
// and section to section, and the finished buffers of the device.

#include "app/KorvaneView.h"
#include "audio/LevelMeter.h"
#include "audio/PlayerRange.h"
#include "platform/MessageBox.h"

namespace {

// The buttons take the focus when clicked; give it back to the list the user was in.
void GiveFocusBack(CKorvaneView& view) {
    if (view.m_hFocusList && (view.m_hFocusList == view.m_listSection || view.m_hFocusList == view.m_listPhrase))
        view.m_hFocusList->SetFocus();
}

int SelectedAndFocused(const IListView* list) {
    return list ? list->GetNextItem(-1, LVNI_SELECTED | LVNI_FOCUSED) : -1;
}

// Clears every row of the list, then gives `row` the selection and the focus.
void MoveSelection(IListView* list, int row) {
    list->SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    list->SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

}  // namespace

int CKorvaneView::GetActiveDeviceState() const {
    return m_nAudioKind == 1 ? m_wavePlayer.GetDeviceState() : m_mp3Player.GetDeviceState();
}

void CKorvaneView::StopActivePlayer() {
    if (m_nAudioKind == 1) StopWavePlay();
    else StopMp3Play();
}

void CKorvaneView::OnButtonPlay() {
    GiveFocusBack(*this);
    if (GetActiveDeviceState() == kAudioDeviceOpen) StopActivePlayer();
    m_bContinuousPlay = 1;
    PlaySelectedPhrase();
}

void CKorvaneView::OnButtonStop() {
    GiveFocusBack(*this);
    StopPlayback();
}

void CKorvaneView::StopPlayback() {
    if (GetActiveDeviceState() == kAudioDeviceOpen) StopActivePlayer();
    m_bContinuousPlay = 0;
}

void CKorvaneView::PlaySelectedPhrase() {
    // Before a project has given the view its format there is no player to use.
    if (m_nAudioKind == 1) PlayWavePhrase();
    else if (m_nAudioKind == 2) PlayMp3Phrase();
}

void CKorvaneView::OnMoveHead() {
    IListView* list = m_hFocusList;
    if (list != m_listSection && list != m_listPhrase) return;
    OnButtonStop();
    MoveSelection(list, 0);
    list->EnsureVisible(0, false);
    list->SetFocus();
}

void CKorvaneView::OnMoveTail() {
    IListView* list = m_hFocusList;
    if (list != m_listSection && list != m_listPhrase) return;
    OnButtonStop();
    if (list == m_listPhrase && list->GetItemCount() <= 1) return;
    int last = list->GetItemCount() - 2;
    if (last < 0) return;
    MoveSelection(list, last);
    list->EnsureVisible(last, false);
    list->SetFocus();
}

void CKorvaneView::StopWavePlay() {
    if (m_wavePlayer.Stop() != kAudioOk || m_wavePlayer.CloseFile() != kAudioOk ||
        m_wavePlayer.CloseDevice() != kAudioOk) {
        KvMessageBox(HasWindow() ? this : nullptr, "再生停止時にエラーが発生しました", "エラー", MB_OK | MB_ICONSTOP);
        return;
    }
    if (m_staticLevelMeter) m_staticLevelMeter->SetLevel(-96);
}

void CKorvaneView::StopMp3Play() {
    if (m_mp3Player.Stop() != kAudioOk || m_mp3Player.CloseFile() != kAudioOk ||
        m_mp3Player.CloseDevice() != kAudioOk) {
        KvMessageBox(HasWindow() ? this : nullptr, "再生停止時にエラーが発生しました", "エラー", MB_OK | MB_ICONSTOP);
        return;
    }
    if (m_staticLevelMeter) m_staticLevelMeter->SetLevel(-96);
}

// Steps common to both players before the phrase record is known. Returns the record,
// or null when there is nothing to start (the state is already settled then).
const CPhraseInformation* CKorvaneView::PhraseToStart(int activeState) {
    if (m_bSuppressPlay == 1) return nullptr;
    if (m_bContinuousPlay != 1 && activeState == kAudioDeviceOpen) StopActivePlayer();
    const int s = SelectedAndFocused(m_listSection);
    if (s < 0 || s >= m_lstSection.GetCount()) {
        m_bContinuousPlay = 0;
        StopActivePlayer();
        return nullptr;
    }
    const int p = SelectedAndFocused(m_listPhrase);
    if (p < 0) {
        m_bContinuousPlay = 0;
        StopActivePlayer();
        return nullptr;
    }
    const CSectionInformation* section = m_lstSection.GetAt(s);
    if (p == section->m_lstPhrase.GetCount()) {
        // Past the last phrase: continuous play goes on with the next section.
        StopActivePlayer();
        if (m_bContinuousPlay == 1) {
            if (s + 1 >= m_lstSection.GetCount()) m_bContinuousPlay = 0;
            MoveSelection(m_listSection, s + 1);
        }
        return nullptr;
    }
    return section->m_lstPhrase.GetAt(p);
}

namespace {

// The start of a phrase, the same for both players but for the MP3 player's extra
// message on a failed start.
template <class Player>
void StartPhrase(CKorvaneView& view, Player& player, const CPhraseInformation* phrase, void (CKorvaneView::*stop)(),
                 bool mp3) {
    const CString path = view.m_strProjectFolder + "/" + phrase->m_strFileName;
    player.SetSampleRate(static_cast<uint32_t>(view.m_nSamplePerSec));
    const bool samePath = player.GetPath().CompareNoCase(path) == 0;
    const bool deviceOpen = player.GetDeviceState() == kAudioDeviceOpen;
    auto fail = [&view, stop] {
        (view.*stop)();
        view.m_bContinuousPlay = 0;
    };
    auto failedStart = [&] {
        if (mp3)
            KvMessageBox(view.HasWindow() ? &view : nullptr, "再生処理でエラーが発生しました", "エラー",
                         MB_OK | MB_ICONSTOP);
        fail();
    };
    if (view.m_bContinuousPlay == 1) {
        if (samePath && deviceOpen && player.GetPlayState() == kAudioNothingQueued) {
            // The next phrase of the same file plays on without reopening anything.
            if (SetPhraseRange(player, phrase->m_nStart, phrase->m_nLength) != kAudioOk) return fail();
            int r = player.Start();
            if (r != kAudioOk && r != kAudioNothingQueued) return failedStart();
            view.AfterStart();
            return;
        }
        if (!(samePath && !deviceOpen)) (view.*stop)();
    }
    if (player.SetSpeed(view.m_nPlaySpeed) != kAudioOk) return fail();
    if (SetPhraseRange(player, phrase->m_nStart, phrase->m_nLength) != kAudioOk) return fail();
    if (player.OpenFile(path.c_str()) != kAudioOk) return fail();
    if (player.QueryDevice(WAVE_MAPPER) != kAudioOk) return fail();
    if (player.OpenDevice(WAVE_MAPPER, &view) != kAudioOk) return fail();
    int r = player.Start();
    if (r != kAudioOk && r != kAudioNothingQueued) return failedStart();
    view.AfterStart();
}

}  // namespace

void CKorvaneView::PlayWavePhrase() {
    const CPhraseInformation* phrase = PhraseToStart(m_wavePlayer.GetDeviceState());
    if (!phrase) return;
    StartPhrase(*this, m_wavePlayer, phrase, &CKorvaneView::StopWavePlay, false);
}

void CKorvaneView::PlayMp3Phrase() {
    const CPhraseInformation* phrase = PhraseToStart(m_mp3Player.GetDeviceState());
    if (!phrase) return;
    m_mp3Player.SetDataFolder(m_strExeFolder);
    StartPhrase(*this, m_mp3Player, phrase, &CKorvaneView::StopMp3Play, true);
}

// A phrase that had nothing to play (its range lies past the end of its file) queues no
// buffer, so no finished buffer would ever move playback on: do what its end would do.
void CKorvaneView::AfterStart() {
    if (GetActivePlayState() != kAudioNothingQueued) return;
    if (m_bContinuousPlay != 1) {
        StopActivePlayer();
        return;
    }
    // Later, so that a run of such phrases does not nest one start inside another.
    if (m_bHasWindow) CallAfter([this] { MoveToNextPhrase(); });
    else MoveToNextPhrase();
}

void CKorvaneView::MoveToNextPhrase() {
    if (m_bContinuousPlay != 1 || GetActivePlayState() != kAudioNothingQueued) return;
    const int n = m_listPhrase->GetNextItem(-1, LVNI_SELECTED);
    // With no row to go to (the user chose the section list's extra row meanwhile) the
    // play ends here instead of waiting with the device open.
    if (n < 0 || n + 1 >= m_listPhrase->GetItemCount()) {
        StopActivePlayer();
        m_bContinuousPlay = 0;
        return;
    }
    MoveSelection(m_listPhrase, n + 1);
}

int CKorvaneView::GetActivePlayState() const {
    return m_nAudioKind == 1 ? m_wavePlayer.GetPlayState() : m_mp3Player.GetPlayState();
}

void CKorvaneView::OnWaveOutDone(HWAVEOUT device, WAVEHDR* header) {
    const int level = CWavePlayOperation::GetPeakLevel(header);
    const int r = m_nAudioKind == 1 ? m_wavePlayer.OnBufferDone(device, header) : m_mp3Player.OnBufferDone(device, header);
    if (r == kAudioOk || r == kAudioNothingQueued) {
        if (m_staticLevelMeter) m_staticLevelMeter->SetLevel(level);
    } else if (r == 10 || r == 26 || r == 27 || r == 28 || r == 31) {
        StopActivePlayer();
        return;
    }
    if (GetActivePlayState() != kAudioNothingQueued) return;
    if (m_bContinuousPlay != 1) {
        StopActivePlayer();
        return;
    }
    MoveToNextPhrase();
}
