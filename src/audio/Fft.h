#pragma once
// Radix-2 complex FFT of a fixed size, in place. The twiddle factors are tabulated once
// per size, so a transform costs no trigonometry. Besides the ordinary transform, a
// pair of unordered transforms serves fast convolution: the forward one leaves the
// spectrum in bit-reversed order and the inverse one takes it so, which saves both
// reorderings (a product of two spectra does not care about the order of the bins).

#include <cstdint>
#include <vector>

class CFft {
public:
    CFft() = default;
    ~CFft() = default;
    CFft(const CFft&) = delete;
    CFft& operator=(const CFft&) = delete;

    // Prepares transforms of 2^order points (order 1 to 24); 1, or 0 when the tables
    // cannot be allocated or the order is out of range.
    int Init(int order);

    // Transforms `re` and `im` (each GetSize() values) in place, in natural order:
    // forward for direction 1, inverse (scaled by 1/N) for any other value.
    void Transform(double* re, double* im, int direction);

    // Forward transform whose result is in bit-reversed order.
    void ForwardUnordered(double* re, double* im) const;
    // Inverse transform (scaled by 1/N) of a spectrum in bit-reversed order; the result
    // is in natural order.
    void InverseUnordered(double* re, double* im) const;

    // Puts the N values of `data` in bit-reversed index order.
    void BitReverseCopy(double* data);

    int GetOrder() const { return m_order; }
    int GetSize() const { return m_size; }

private:
    int m_order = 0;
    int m_size = 0;
    // Twiddles e^(-2πi k/N) of each stage, stage after stage: stage s (pairs N/2^(s+1)
    // apart) uses k = j * 2^s for j below N/2^(s+1), stored from offset N - N/2^s.
    std::vector<double> m_cos, m_sin;
    std::vector<double> m_work;
    std::vector<uint32_t> m_reversed;  // bit-reversed index of each index
};
