#pragma once
// FIR filtering of a block by fast convolution: the kernel's spectrum is computed once
// and each segment of the input is transformed, multiplied and transformed back. The
// kernel is zero-phase around its centre tap, so output i lines up with input i.

#include <memory>
#include <vector>

#include "audio/Fft.h"

class CFftFilter {
public:
    CFftFilter() = default;
    ~CFftFilter() = default;
    CFftFilter(const CFftFilter&) = delete;
    CFftFilter& operator=(const CFftFilter&) = delete;

    // Transforms of 2^order points; 1, or 0 when memory runs out.
    int Init(int order);

    // Filters `count` values of `input` into `output` with the kernel of `length` taps
    // whose centre is tap `centre`; 1, or 0 when the filter is not ready or the kernel
    // does not fit the transform.
    int Run(double* output, const double* input, long count, const double* kernel, int length, int centre);

    // The two halves of Run, for filtering many blocks with one kernel.
    int SetKernel(const double* kernel, int length, int centre);
    int Filter(double* output, const double* input, long count);
    // As Filter, but only the values at even indices: output[i] = filtered value 2i, for
    // i = 0 .. (count-1)/2. Each block's inverse transform then needs half the points (the
    // two halves of its spectrum folded onto each other). Needs an even kernel length
    // and centre; 0 otherwise.
    int FilterEven(double* output, const double* input, long count);

    // Reads, adds into and stores at an index of the current run; indices outside
    // 0 .. count-1 read as 0 and are not written.
    double GetSample(long index) const;
    void AddOutput(long index, double value);
    void SetOutput(long index, double value);

private:
    // One block: zeros, input values from `first` on, zeros.
    void LoadSegment(double* block, long first);
    // A block's result, whose value i is output o + i.
    void StoreSegment(const double* block, long o);

    // A block's even values, value i being output o/2 + i.
    void StoreEvenSegment(const double* block, long o);

    CFft m_fft;
    CFft m_halfFft;  // half the points, for FilterEven
    int m_size = 0;
    int m_length = 0;  // kernel taps of the current kernel; 0 before SetKernel
    int m_centre = 0;
    std::vector<double> m_memory;  // kernel re, kernel im, block re, block im
    double* m_kernelRe = nullptr;
    double* m_kernelIm = nullptr;
    double* m_blockRe = nullptr;
    double* m_blockIm = nullptr;

    const double* m_input = nullptr;
    double* m_output = nullptr;
    long m_count = 0;
    long m_outCount = 0;  // values of m_output that may be written
};
