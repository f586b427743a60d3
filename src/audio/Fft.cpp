#include "audio/Fft.h"

#include <cmath>
#include <new>
#include <numbers>

int CFft::Init(int order) {
    if (order < 1 || order > 24) return 0;
    const int n = 1 << order;
    try {
        m_cos.assign(n, 0.0);
        m_sin.assign(n, 0.0);
        m_work.assign(n, 0.0);
        m_reversed.assign(n, 0);
    } catch (const std::bad_alloc&) {
        m_order = m_size = 0;
        return 0;
    }
    for (int s = 0; s < order; ++s) {
        const int half = n >> (s + 1);
        const int base = n - (n >> s);
        for (int j = 0; j < half; ++j) {
            const double angle = 2.0 * std::numbers::pi * (static_cast<double>(j) * (1 << s)) / n;
            m_cos[base + j] = std::cos(angle);
            m_sin[base + j] = -std::sin(angle);
        }
    }
    for (int k = 0; k < n; ++k) {
        uint32_t r = 0;
        for (int b = 0; b < order; ++b) r |= ((static_cast<uint32_t>(k) >> b) & 1u) << (order - 1 - b);
        m_reversed[k] = r;
    }
    m_order = order;
    m_size = n;
    return 1;
}

namespace {

// Four doubles at a time; GCC builds the stages twice, for AVX2 and for the plain x86-64
// set (where a four-double vector is two SSE2 registers), and picks one when the program
// loads. The butterflies of a stage are independent along j.
typedef double Quad __attribute__((vector_size(32), aligned(8), may_alias));
#define KORVANE_QUAD(p) (*reinterpret_cast<Quad*>(p))
#define KORVANE_CQUAD(p) (*reinterpret_cast<const Quad*>(p))

// Decimation in frequency: stage by stage, pairs `half` apart become their sum and their
// difference turned by the stage's twiddle (conjugated for the inverse).
__attribute__((target_clones("avx2", "default"))) void DifStages(double* re, double* im, int n, int order,
                                                                  const double* cosTable, const double* sinTable,
                                                                  double sign) {
    for (int s = 0; s < order; ++s) {
        const int half = n >> (s + 1);
        const double* c = cosTable + (n - (n >> s));
        const double* sn = sinTable + (n - (n >> s));
        if (half < 4) {
            // The last stages, whose pairs sit closer than one vector.
            for (int group = 0; group < n; group += 2 * half) {
                for (int j = 0; j < half; ++j) {
                    const int a = group + j, b = a + half;
                    const double pr = re[a], pi = im[a], qr = re[b], qi = im[b];
                    const double xr = pr - qr, xi = pi - qi;
                    re[a] = pr + qr;
                    im[a] = pi + qi;
                    if (half == 1) {  // the last stage's twiddle is 1
                        re[b] = xr;
                        im[b] = xi;
                    } else {
                        const double wc = c[j], ws = sign * sn[j];
                        re[b] = xr * wc - xi * ws;
                        im[b] = xr * ws + xi * wc;
                    }
                }
            }
            continue;
        }
        const Quad signs = {sign, sign, sign, sign};
        for (int group = 0; group < n; group += 2 * half) {
            double* ar = re + group;
            double* ai = im + group;
            double* br = ar + half;
            double* bi = ai + half;
            for (int j = 0; j < half; j += 4) {
                const Quad pr = KORVANE_QUAD(ar + j), pi = KORVANE_QUAD(ai + j);
                const Quad qr = KORVANE_QUAD(br + j), qi = KORVANE_QUAD(bi + j);
                const Quad xr = pr - qr, xi = pi - qi;
                KORVANE_QUAD(ar + j) = pr + qr;
                KORVANE_QUAD(ai + j) = pi + qi;
                const Quad wc = KORVANE_CQUAD(c + j), ws = signs * KORVANE_CQUAD(sn + j);
                KORVANE_QUAD(br + j) = xr * wc - xi * ws;
                KORVANE_QUAD(bi + j) = xr * ws + xi * wc;
            }
        }
    }
}

// Decimation in time run backwards through the stages: each butterfly undoes one of the
// forward transform's with the conjugate twiddle, which is the inverse DFT up to the
// factor N (divided out at the end).
__attribute__((target_clones("avx2", "default"))) void DitStagesInverse(double* re, double* im, int n, int order,
                                                                         const double* cosTable,
                                                                         const double* sinTable) {
    for (int s = order - 1; s >= 0; --s) {
        const int half = n >> (s + 1);
        const double* c = cosTable + (n - (n >> s));
        const double* sn = sinTable + (n - (n >> s));
        if (half < 4) {
            for (int group = 0; group < n; group += 2 * half) {
                for (int j = 0; j < half; ++j) {
                    const int a = group + j, b = a + half;
                    double tr = re[b], ti = im[b];
                    if (half > 1) {  // t = b * conj(w); the last stage's twiddle is 1
                        const double wc = c[j], ws = sn[j];
                        tr = re[b] * wc + im[b] * ws;
                        ti = im[b] * wc - re[b] * ws;
                    }
                    re[b] = re[a] - tr;
                    im[b] = im[a] - ti;
                    re[a] += tr;
                    im[a] += ti;
                }
            }
            continue;
        }
        for (int group = 0; group < n; group += 2 * half) {
            double* ar = re + group;
            double* ai = im + group;
            double* br = ar + half;
            double* bi = ai + half;
            for (int j = 0; j < half; j += 4) {
                const Quad qr = KORVANE_QUAD(br + j), qi = KORVANE_QUAD(bi + j);
                const Quad wc = KORVANE_CQUAD(c + j), ws = KORVANE_CQUAD(sn + j);
                const Quad tr = qr * wc + qi * ws;
                const Quad ti = qi * wc - qr * ws;
                const Quad pr = KORVANE_QUAD(ar + j), pi = KORVANE_QUAD(ai + j);
                KORVANE_QUAD(br + j) = pr - tr;
                KORVANE_QUAD(bi + j) = pi - ti;
                KORVANE_QUAD(ar + j) = pr + tr;
                KORVANE_QUAD(ai + j) = pi + ti;
            }
        }
    }
    const double scale = 1.0 / n;
    for (int k = 0; k < n; ++k) {
        re[k] *= scale;
        im[k] *= scale;
    }
}

#undef KORVANE_QUAD
#undef KORVANE_CQUAD

}  // namespace

void CFft::Transform(double* re, double* im, int direction) {
    const int n = m_size;
    if (n == 0) return;
    const bool forward = direction == 1;
    DifStages(re, im, n, m_order, m_cos.data(), m_sin.data(), forward ? 1.0 : -1.0);
    BitReverseCopy(re);
    BitReverseCopy(im);
    if (!forward) {
        const double scale = 1.0 / n;
        for (int k = 0; k < n; ++k) {
            re[k] *= scale;
            im[k] *= scale;
        }
    }
}

void CFft::ForwardUnordered(double* re, double* im) const {
    if (m_size == 0) return;
    DifStages(re, im, m_size, m_order, m_cos.data(), m_sin.data(), 1.0);
}

void CFft::InverseUnordered(double* re, double* im) const {
    if (m_size == 0) return;
    DitStagesInverse(re, im, m_size, m_order, m_cos.data(), m_sin.data());
}

void CFft::BitReverseCopy(double* data) {
    const int n = m_size;
    for (int k = 0; k < n; ++k) m_work[m_reversed[k]] = data[k];
    for (int k = 0; k < n; ++k) data[k] = m_work[k];
}
