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

// Two doubles at a time: every x86-64 processor has the SSE2 registers for it, and the
// butterflies of a stage are independent along j.
typedef double Pair __attribute__((vector_size(16), aligned(8), may_alias));

inline Pair Load(const double* p) { return *reinterpret_cast<const Pair*>(p); }
inline void Store(double* p, Pair v) { *reinterpret_cast<Pair*>(p) = v; }

// Decimation in frequency: stage by stage, pairs `half` apart become their sum and their
// difference turned by the stage's twiddle (conjugated for the inverse).
void DifStages(double* re, double* im, int n, int order, const double* cosTable, const double* sinTable, double sign) {
    for (int s = 0; s < order; ++s) {
        const int half = n >> (s + 1);
        if (half == 1) {
            // The last stage's twiddle is 1.
            for (int a = 0; a < n; a += 2) {
                const double xr = re[a] - re[a + 1], xi = im[a] - im[a + 1];
                re[a] += re[a + 1];
                im[a] += im[a + 1];
                re[a + 1] = xr;
                im[a + 1] = xi;
            }
            continue;
        }
        const double* c = cosTable + (n - (n >> s));
        const double* sn = sinTable + (n - (n >> s));
        const Pair signs = {sign, sign};
        for (int group = 0; group < n; group += 2 * half) {
            double* ar = re + group;
            double* ai = im + group;
            double* br = ar + half;
            double* bi = ai + half;
            for (int j = 0; j < half; j += 2) {
                const Pair pr = Load(ar + j), pi = Load(ai + j), qr = Load(br + j), qi = Load(bi + j);
                const Pair xr = pr - qr, xi = pi - qi;
                Store(ar + j, pr + qr);
                Store(ai + j, pi + qi);
                const Pair wc = Load(c + j), ws = signs * Load(sn + j);
                Store(br + j, xr * wc - xi * ws);
                Store(bi + j, xr * ws + xi * wc);
            }
        }
    }
}

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
    const int n = m_size;
    if (n == 0) return;
    // Decimation in time run backwards through the stages: each butterfly undoes one of
    // the forward transform's with the conjugate twiddle, which is the inverse DFT up to
    // the factor N.
    for (int s = m_order - 1; s >= 0; --s) {
        const int half = n >> (s + 1);
        if (half == 1) {
            for (int a = 0; a < n; a += 2) {
                const double tr = re[a + 1], ti = im[a + 1];
                re[a + 1] = re[a] - tr;
                im[a + 1] = im[a] - ti;
                re[a] += tr;
                im[a] += ti;
            }
            continue;
        }
        const double* c = m_cos.data() + (n - (n >> s));
        const double* sn = m_sin.data() + (n - (n >> s));
        for (int group = 0; group < n; group += 2 * half) {
            double* ar = re + group;
            double* ai = im + group;
            double* br = ar + half;
            double* bi = ai + half;
            for (int j = 0; j < half; j += 2) {
                // t = b * conj(w)
                const Pair qr = Load(br + j), qi = Load(bi + j), wc = Load(c + j), ws = Load(sn + j);
                const Pair tr = qr * wc + qi * ws;
                const Pair ti = qi * wc - qr * ws;
                const Pair pr = Load(ar + j), pi = Load(ai + j);
                Store(br + j, pr - tr);
                Store(bi + j, pi - ti);
                Store(ar + j, pr + tr);
                Store(ai + j, pi + ti);
            }
        }
    }
    const double scale = 1.0 / n;
    for (int k = 0; k < n; ++k) {
        re[k] *= scale;
        im[k] *= scale;
    }
}

void CFft::BitReverseCopy(double* data) {
    const int n = m_size;
    for (int k = 0; k < n; ++k) m_work[m_reversed[k]] = data[k];
    for (int k = 0; k < n; ++k) data[k] = m_work[k];
}
