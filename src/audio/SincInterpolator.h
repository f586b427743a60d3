#pragma once
// Band-limited interpolation of a block of samples at any fractional position: a sum
// of the neighbouring samples weighted by a windowed sinc. The block may come with
// context on both sides (samples that belong to the stream but not to the block), so
// that a stream converted block by block shows no seams; beyond the context the
// stream counts as silent.

class CSincInterpolator {
public:
    CSincInterpolator() = default;

    // `source[0 .. count-1]` is the block; `taps` is rounded down to an even count
    // (0 or 1 gives silence). Returns 1.
    int Setup(const double* source, long count, int windowType, int taps);
    // As above, with `source[-before .. -1]` and `source[count .. count+after-1]`
    // readable as context.
    int Setup(const double* source, long count, long before, long after, int windowType, int taps);

    // The value at position x (in samples of the source). At a whole position it is
    // that sample exactly.
    double Interpolate(double x) const;

    // Sum of the samples from `first` on (taps of them) weighted by `weights`: the
    // value at a position whose weights were computed once and are used again.
    double WeightedSum(long first, const double* weights) const;

    // Weight of a sample at distance d from the position: the windowed sinc, 0 at or
    // beyond half the tap count.
    double Kernel(double d) const;

    // sin(πx)/(πx), exactly 1 at 0 and exactly 0 at other whole numbers.
    static double Sinc(double x);
    // The source sample k, or 0 outside the block and its context.
    double SampleAt(long k) const;

    int GetTaps() const { return m_taps; }

private:
    double Window(double d) const;

    const double* m_source = nullptr;
    long m_count = 0;
    long m_before = 0;
    long m_after = 0;
    int m_windowType = 0;
    int m_taps = 0;
};
