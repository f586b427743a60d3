#pragma once
// Sample-rate conversion of one block of mono samples (doubles in -1..1).
//
// Raising the rate (or keeping it) is band-limited interpolation at the output
// positions. Lowering it interpolates at twice the output rate, low-passes that stream
// below the output's Nyquist frequency with a long FIR filter and keeps every second
// value. A block may be given with context on both sides, so that a stream converted
// block by block comes out as if it had been converted in one piece.

#include <vector>

class CFftFilter;

class CResampler {
public:
    CResampler() = default;

    // Fills output[0 .. outCount-1]; output i lies at input position
    // i * inRate / outRate. `taps` is the interpolator's length (rounded down to even)
    // and `windowType` the window of its sinc and of the low-pass filter (0 Hann,
    // 1 Hamming, 2 Blackman, 3 Gauss, other values none). Returns 1, or 0 when memory
    // runs out; the output is then not written.
    int Resample(double* output, long outCount, int outRate, const double* input, long inCount, int inRate,
                 int windowType, int taps);

    // As Resample, with input[-before .. -1] and input[inCount .. inCount+after-1]
    // readable as the stream around the block.
    int ResampleWithContext(double* output, long outCount, int outRate, const double* input, long inCount,
                            long before, long after, int inRate, int windowType, int taps);

    // Input samples of context on each side that make a block's conversion seamless.
    static long ContextNeeded(int outRate, int inRate, int taps);

    // Designs the low-pass filter (for the current window type) and runs it over
    // `count` values; 1, or 0 when memory runs out.
    int DesignLowPass(double* output, const double* input, long count);

    // Gain of the wanted low-pass at a frequency in cycles per sample: 1 up to 0.225,
    // a raised-cosine fall to 0 at 0.25, 0 above.
    double TargetResponse(double frequency) const;

    // The filter's length and centre tap.
    static constexpr int kFilterLength = 1024;
    static constexpr int kFilterCentre = 512;

private:
    // Interpolates stream values first .. first+count-1 of a stream whose value i lies
    // at input position i * inRate / streamRate.
    bool InterpolateStream(double* stream, long first, long count, long streamRate);
    // The filter taps for the current window type (designed once per thread and type).
    bool DesignTaps(std::vector<double>& taps);
    // The low-pass filter for the current window type, ready to run (made once per thread
    // and type); null when memory runs out.
    CFftFilter* PreparedLowPass();

    long m_outCount = 0;
    const double* m_input = nullptr;
    long m_inCount = 0;
    long m_before = 0;
    long m_after = 0;
    int m_inRate = 0;
    int m_windowType = 0;
    int m_taps = 0;
};
