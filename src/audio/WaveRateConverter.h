#pragma once
// Converts 16-bit mono PCM from one rate to another a chunk at a time (the import and
// the conversion read one second at a time). The samples on both sides of a chunk take
// part in its conversion, so that the chunks join without a seam: the converter keeps
// the end of the previous chunk itself, and the caller passes the start of the next
// one. Chunk i of n input samples gives n * outRate / inRate output samples (rounded
// down), which for whole seconds is exactly one second of output.

#include <cstdint>
#include <vector>

#include "audio/Resampler.h"

class CWaveRateConverter {
public:
    // Starts a new stream (nothing before its first chunk).
    void Begin(int inRate, int outRate);

    // Samples after a chunk that its conversion looks at.
    long GetLookAhead() const { return m_context; }

    // Converts `count` samples into `out` (resized); `ahead` holds up to GetLookAhead()
    // samples that follow the chunk in the source (fewer or none at the end of the
    // stream). false when memory runs out; `out` is then empty.
    bool Convert(const int16_t* chunk, long count, const int16_t* ahead, long aheadCount, std::vector<int16_t>& out);

    static long OutputCount(long inCount, int inRate, int outRate);

    // Test hook: when set, the next Convert fails as if memory had run out (and clears
    // the flag); memory cannot be made to run out on purpose.
    static bool s_bFailNextConvert;

    // The interpolator of the conversion: a Blackman-windowed sinc of 32 taps, which
    // keeps images and aliases below -70 dB.
    static constexpr int kWindowType = 2;
    static constexpr int kTaps = 32;

private:
    CResampler m_resampler;
    int m_inRate = 0;
    int m_outRate = 0;
    long m_context = 0;
    std::vector<double> m_history;  // last samples of the previous chunk, scaled
    std::vector<double> m_input;
    std::vector<double> m_output;
};
