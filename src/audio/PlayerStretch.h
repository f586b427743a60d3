#pragma once
// The time stretch between a player's buffers and the device, shared by the WAV and MP3
// players: the speed table, stretching a filled buffer in place, and playing out what the
// stretch still holds once the range's data has run out.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/WaveOut.h"

class CTimeStretch;

class CPlayerStretch {
public:
    // `bufferBytes` is the capacity of the players' buffers.
    explicit CPlayerStretch(uint32_t bufferBytes);
    ~CPlayerStretch();
    CPlayerStretch(const CPlayerStretch&) = delete;
    CPlayerStretch& operator=(const CPlayerStretch&) = delete;

    void Initialize();
    void SetSampleRate(uint32_t rate);
    // 1 to 8 (x0.75 .. x3.00); false for any other index.
    bool SetSpeed(int index);
    void Reset();

    // Stretches the 16-bit mono samples of a filled header in place (nothing at x1.00).
    void Stretch(WAVEHDR* header);
    // Once the data has run out: fills the header with what the stretch still holds;
    // false when it holds nothing (or plays at normal speed).
    bool Drain(WAVEHDR* header);

private:
    void PutSamples(WAVEHDR* header, uint32_t count);

    uint32_t m_nBufferBytes;
    std::unique_ptr<CTimeStretch> m_stretch;
    std::vector<float> m_in;   // one buffer's samples
    std::vector<float> m_out;  // what the stretch may hand out in one call
};
