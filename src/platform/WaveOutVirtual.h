#pragma once
// A sound card for tests. Nothing plays by itself: the test says when headers are
// finished, and every byte "played" is kept, in order, for the test to compare.
//
//   CVirtualWaveOut card;
//   SetWaveOutBackend(&card);
//   CManualWaveOutDispatcher ui;
//   SetWaveOutDispatcher(&ui);
//   ... open, write ...
//   card.Complete(2);  // the two oldest headers have been played
//   ui.Pump();         // their reports reach the owner

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/WaveOutDevice.h"

class CVirtualWaveOutDevice;

class CVirtualWaveOut : public IWaveOutBackend {
public:
    CVirtualWaveOut();
    ~CVirtualWaveOut() override;

    // The machine: how many devices it has (0: none, like a machine without a sound
    // card), and which formats they play (default: all that WaveOutCheckFormat lets by).
    void SetDeviceCount(unsigned count);
    void SetFormatFilter(std::function<bool(const WaveOutFormat&)> accepts);

    MMRESULT Query(unsigned deviceId, const WaveOutFormat& format) override;
    MMRESULT Open(unsigned deviceId, const WaveOutFormat& format, std::unique_ptr<CWaveOutDevice>& device) override;

    // Plays the oldest `count` queued headers of all open devices, in the order they
    // were written, and posts their reports; how many there were.
    size_t Complete(size_t count = SIZE_MAX);
    // Headers written and neither played nor reset.
    size_t QueuedCount() const;

    // Every byte played, and the length of each header played, in playing order.
    std::vector<uint8_t> Played() const;
    std::vector<size_t> PlayedSizes() const;
    void ClearPlayed();

    unsigned OpenDevices() const;  // open now
    unsigned OpensSoFar() const;   // successful opens since construction
    WaveOutFormat LastFormat() const;

private:
    friend class CVirtualWaveOutDevice;
    void Forget(CVirtualWaveOutDevice* device);
    void Record(const char* data, size_t size);

    mutable std::mutex m_mutex;
    unsigned m_deviceCount = 1;
    std::function<bool(const WaveOutFormat&)> m_accepts;
    std::vector<CVirtualWaveOutDevice*> m_open;
    unsigned m_opens = 0;
    WaveOutFormat m_lastFormat;
    std::vector<uint8_t> m_played;
    std::vector<size_t> m_playedSizes;
};
