#include "audio/FftFilter.h"

#include <algorithm>
#include <new>

int CFftFilter::Init(int order) {
    if (!m_fft.Init(order) || (order > 1 && !m_halfFft.Init(order - 1))) return 0;
    const int n = m_fft.GetSize();
    try {
        m_memory.assign(4 * static_cast<size_t>(n), 0.0);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    m_size = n;
    m_length = 0;
    m_kernelRe = m_memory.data();
    m_kernelIm = m_kernelRe + n;
    m_blockRe = m_kernelIm + n;
    m_blockIm = m_blockRe + n;
    return 1;
}

int CFftFilter::SetKernel(const double* kernel, int length, int centre) {
    // A segment must leave room for the kernel's spread on both sides.
    if (m_size == 0 || length < 1 || centre < 0 || centre >= length || length >= m_size) return 0;
    const int n = m_size;
    // Taps from the centre on go to 0, 1, ...; those before it wrap round to the end.
    std::fill(m_kernelRe, m_kernelRe + n, 0.0);
    std::fill(m_kernelIm, m_kernelIm + n, 0.0);
    for (int t = 0; t < length; ++t) m_kernelRe[(t - centre + n) % n] = kernel[t];
    m_fft.ForwardUnordered(m_kernelRe, m_kernelIm);
    m_length = length;
    m_centre = centre;
    return 1;
}

int CFftFilter::Run(double* output, const double* input, long count, const double* kernel, int length,
                    int centre) {
    if (!SetKernel(kernel, length, centre)) return 0;
    return Filter(output, input, count);
}

void CFftFilter::LoadSegment(double* block, long first) {
    const int n = m_size;
    const long segment = n - m_length;
    std::fill(block, block + n, 0.0);
    // Input values first .. first+segment-1 that exist; the others stay 0.
    const long lo = std::max(first, 0L), hi = std::min(first + segment, m_input ? m_count : 0L);
    if (lo < hi) std::copy(m_input + lo, m_input + hi, block + m_centre + (lo - first));
}

void CFftFilter::StoreSegment(const double* block, long o) {
    // The first `length` values overlap the previous segment's result and are added;
    // the rest is this segment's alone. Indices outside the output are left out.
    if (!m_output) return;
    const long addEnd = std::min(o + m_length, m_count), setEnd = std::min(o + m_size, m_count);
    for (long index = std::max(o, 0L); index < addEnd; ++index) m_output[index] += block[index - o];
    for (long index = std::max(o + m_length, 0L); index < setEnd; ++index) m_output[index] = block[index - o];
}

int CFftFilter::Filter(double* output, const double* input, long count) {
    if (m_length == 0) return 0;
    const int n = m_size;
    const long segment = n - m_length;  // input values per block
    m_input = input;
    m_output = output;
    m_count = count;
    m_outCount = count;
    std::fill(output, output + std::max(count, 0L), 0.0);

    // Each block holds `centre` zeros, one segment of input and zeros after it, so that
    // its linear convolution fits the block without wrapping round; block value i is
    // output o + i. The kernel is real, so two blocks travel together as the real and
    // the imaginary part of one transform and come back apart.
    for (long o = -m_centre; o < count; o += 2 * segment) {
        LoadSegment(m_blockRe, o + m_centre);
        const bool pair = o + segment < count;
        if (pair)
            LoadSegment(m_blockIm, o + segment + m_centre);
        else
            std::fill(m_blockIm, m_blockIm + n, 0.0);
        m_fft.ForwardUnordered(m_blockRe, m_blockIm);
        for (int k = 0; k < n; ++k) {
            const double re = m_blockRe[k] * m_kernelRe[k] - m_blockIm[k] * m_kernelIm[k];
            const double im = m_blockRe[k] * m_kernelIm[k] + m_blockIm[k] * m_kernelRe[k];
            m_blockRe[k] = re;
            m_blockIm[k] = im;
        }
        m_fft.InverseUnordered(m_blockRe, m_blockIm);
        StoreSegment(m_blockRe, o);
        if (pair) StoreSegment(m_blockIm, o + segment);
    }
    m_input = nullptr;
    m_output = nullptr;
    return 1;
}

int CFftFilter::FilterEven(double* output, const double* input, long count) {
    const int n = m_size;
    if (m_length == 0 || n < 4 || m_length % 2 != 0 || m_centre % 2 != 0) return 0;
    const long segment = n - m_length;
    const int half = n / 2;
    m_input = input;
    m_output = output;
    m_count = count;
    m_outCount = count > 0 ? (count + 1) / 2 : 0;
    std::fill(output, output + m_outCount, 0.0);
    // As in Filter; block starts o stay even (centre and segment are even), so block value
    // 2i is output o + 2i, even value o/2 + i. The forward transform leaves bin k at the
    // bit-reversed position of k, so bins k and k + n/2 sit side by side (2r, 2r + 1), and
    // the folded spectrum comes out in the bit-reversed order of the half-size transform.
    for (long o = -m_centre; o < count; o += 2 * segment) {
        LoadSegment(m_blockRe, o + m_centre);
        const bool pair = o + segment < count;
        if (pair)
            LoadSegment(m_blockIm, o + segment + m_centre);
        else
            std::fill(m_blockIm, m_blockIm + n, 0.0);
        m_fft.ForwardUnordered(m_blockRe, m_blockIm);
        for (int r = 0; r < half; ++r) {
            const int a = 2 * r, b = 2 * r + 1;
            const double reA = m_blockRe[a] * m_kernelRe[a] - m_blockIm[a] * m_kernelIm[a];
            const double imA = m_blockRe[a] * m_kernelIm[a] + m_blockIm[a] * m_kernelRe[a];
            const double reB = m_blockRe[b] * m_kernelRe[b] - m_blockIm[b] * m_kernelIm[b];
            const double imB = m_blockRe[b] * m_kernelIm[b] + m_blockIm[b] * m_kernelRe[b];
            m_blockRe[r] = 0.5 * (reA + reB);
            m_blockIm[r] = 0.5 * (imA + imB);
        }
        m_halfFft.InverseUnordered(m_blockRe, m_blockIm);
        StoreEvenSegment(m_blockRe, o);
        if (pair) StoreEvenSegment(m_blockIm, o + segment);
    }
    m_input = nullptr;
    m_output = nullptr;
    return 1;
}

void CFftFilter::StoreEvenSegment(const double* block, long o) {
    const long first = o / 2;
    const long addEnd = std::min(first + m_length / 2, m_outCount), setEnd = std::min(first + m_size / 2, m_outCount);
    for (long index = std::max(first, 0L); index < addEnd; ++index) m_output[index] += block[index - first];
    for (long index = std::max(first + m_length / 2, 0L); index < setEnd; ++index) m_output[index] = block[index - first];
}

double CFftFilter::GetSample(long index) const {
    if (!m_input || index < 0 || index >= m_count) return 0.0;
    return m_input[index];
}

void CFftFilter::AddOutput(long index, double value) {
    if (m_output && index >= 0 && index < m_count) m_output[index] += value;
}

void CFftFilter::SetOutput(long index, double value) {
    if (m_output && index >= 0 && index < m_count) m_output[index] = value;
}
