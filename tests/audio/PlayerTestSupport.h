#pragma once
// Helpers of the player tests: a virtual sound card with a manual report pump, an owner
// that hands every finished buffer back to the player, a script that answers and records
// the player's message boxes, and the stretch's output table.

#include <memory>
#include <vector>

#include "audio/WavePlayOperation.h"
#include "platform/DialogHost.h"
#include "platform/WaveOutDispatcher.h"
#include "platform/WaveOutVirtual.h"

namespace playertest {

// Samples handed out per 100 ms buffer, by speed index 1..8 (x0.75 .. x3.00), at the project rates.
inline constexpr uint32_t kStretchRates[3] = {16000, 22050, 44100};
inline constexpr uint32_t kStretchTable[8][3] = {
    {2133, 2940, 5880}, {1600, 2205, 4410}, {1280, 1764, 3528}, {1066, 1470, 2940},
    {914, 1260, 2520},  {800, 1102, 2205},  {640, 882, 1764},   {533, 735, 1470},
};

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

    std::vector<CString> TakeBoxTexts();  // box texts shown since the last call

private:
    CUiScript::FaultReporter m_previousReporter;
    size_t m_seenBoxes = 0;
};

// The owner window's part: every finished buffer goes back to the player; the results are kept.
class PlayerOwner : public IWaveOutOwner {
public:
    explicit PlayerOwner(CWavePlayOperation& player) : m_player(&player) {}
    void OnWaveOutDone(HWAVEOUT device, WAVEHDR* header) override {
        results.push_back(m_player->OnBufferDone(device, header));
    }

    std::vector<int> results;

private:
    CWavePlayOperation* m_player;
};

// Plays the card one header at a time and delivers each report, until nothing is
// queued on the card; how many headers were played.
size_t PlayOut(VirtualAudio& audio, size_t limit = 100000);

}  // namespace playertest
