#pragma once
// Helpers of the player and level-meter tests: a virtual sound card with a manual
// report pump, an owner that hands every finished buffer back to the player, a
// script that answers and records the player's message boxes, and the toolkit for
// the window tests.

#include <memory>
#include <vector>

#include "audio/WavePlayOperation.h"
#include "platform/DialogHost.h"
#include "platform/WaveOutDispatcher.h"
#include "platform/WaveOutVirtual.h"

namespace playertest {

// Starts the toolkit once per test program; true when it is up (needs a display).
bool EnsureWxApp();

// Installs a virtual card and a manual dispatcher for the life of the object, and a
// script for the boxes whose faults fail the running test instead of aborting.
class VirtualAudio {
public:
    VirtualAudio();
    ~VirtualAudio();
    VirtualAudio(const VirtualAudio&) = delete;
    VirtualAudio& operator=(const VirtualAudio&) = delete;

    CVirtualWaveOut card;
    CManualWaveOutDispatcher ui;
    std::unique_ptr<CUiScript> script;

    // Box texts shown since the last call.
    std::vector<CString> TakeBoxTexts();

private:
    CUiScript::FaultReporter m_previousReporter;
    size_t m_seenBoxes = 0;
};

// The owner window's part: every finished buffer goes back to the player, and the
// results and peak levels are kept.
class PlayerOwner : public IWaveOutOwner {
public:
    explicit PlayerOwner(CWavePlayOperation& player) : m_player(&player) {}
    void OnWaveOutDone(HWAVEOUT device, WAVEHDR* header) override;

    std::vector<int> results;
    std::vector<int> levels;
    std::vector<WAVEHDR*> headers;

private:
    CWavePlayOperation* m_player;
};

// Plays the card one header at a time and delivers each report, until nothing is
// queued on the card; how many headers were played.
size_t PlayOut(VirtualAudio& audio, size_t limit = 100000);

}  // namespace playertest
