#pragma once
// Playing speed without a change of pitch, by synchronised overlap-add: segments of
// 1200 input samples are laid down every 1000 output samples, each shifted by up to
// 100 samples to where its signs agree best with what is already there, and faded in
// over the overlap. The input advances by 1000 / ratio per segment, so the output
// lasts `ratio` times as long as the input.
//
// Mono float samples. Input and output are buffered across calls, so the output lags
// the input by a few thousand samples (at first: silence); each call hands out a fixed
// number of samples chosen by sample rate and speed index (OutputCount).

#include <cstdint>
#include <vector>

class CTimeStretch {
public:
    static constexpr int kBufferSamples = 40000;  // each of the input and output buffers
    static constexpr int kSynthesisHop = 1000;
    static constexpr int kSegment = 1200;
    static constexpr int kLagMin = -100;
    static constexpr int kLagMax = 99;
    static constexpr int kStartPosition = 5000;  // output end and anchor after a reset

    CTimeStretch();

    int Reset();
    // +1 for x >= 0 (zero counts as positive), else -1.
    static int Sign(float x);

    // The rate selects the row of output counts; 16000, 22050 and 44100 Hz have theirs.
    int SetSampleRate(uint32_t rate);
    // Output duration / input duration; 1.0 is normal speed.
    int SetRatio(double ratio);
    double GetRatio() const { return m_dRatio; }
    // 1 to 8, the speed steps x0.75 .. x3.00.
    int SetSpeedIndex(int index);

    // Takes `n` samples and writes *outCount samples to `out`. The count is
    // OutputCount(n) while enough output is ready, which full 100 ms buffers always
    // keep; a short last buffer of a range may get fewer. Every sample handed out is
    // final, so the outputs of successive calls join without a seam. `out` must have
    // room for kBufferSamples samples; at the three project rates no call writes more
    // than OutputCount(n) + kMaxCatchUp.
    int Process(const float* in, float* out, uint32_t n, uint32_t* outCount);

    // The end of the input: the input still held goes out as a last segment, and the
    // output still held is handed out, at most `capacity` samples a call, until a call
    // writes none; the stretch is then as after Reset. Without it the end of every
    // range would stay unheard (at x3.00 the last 0.8 s of a phrase). Nothing is handed
    // out when nothing was fed since the last Reset.
    int Drain(float* out, uint32_t capacity, uint32_t* outCount);

    // The number of samples a call with `n` input samples hands out: the table value
    // of the rate and speed index; at other rates, what the input yields.
    uint32_t OutputCount(uint32_t n) const;

    // The output counts of the table fall a little short of what the input yields at
    // some speeds (up to 2 samples per call), so the retained output would grow over a
    // long play until the buffer overflowed. Steady play leaves between about 4300 and
    // 6100 final samples after a call; once more than kBacklogLimit are left, up to
    // kMaxCatchUp extra samples go out with the call, which nobody hears, where
    // dropping input would lose a syllable.
    static constexpr int kBacklogLimit = 6500;
    static constexpr int kMaxCatchUp = 8;

private:
    int Hop() const;
    void RunPasses(int hop);
    int BestLag() const;
    void PlaceSegment(int lag);
    void DropInput(int count);

    uint32_t m_nSampleRate = 0;
    std::vector<float> m_input;
    std::vector<float> m_output;
    uint32_t m_nInputCount = 0;
    int m_nOutputEnd = kStartPosition;
    int m_nAnchor = kStartPosition;
    double m_dRatio = 1.0;
    int m_nSpeedIndex = 0;
    bool m_bFed = false;  // input came in since the last Reset
};
