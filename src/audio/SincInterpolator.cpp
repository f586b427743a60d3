#include "audio/SincInterpolator.h"

#include <cmath>
#include <numbers>

namespace {

// Two doubles at a time (SSE2 on every x86-64 processor).
typedef double Pair __attribute__((vector_size(16), aligned(8), may_alias));
inline Pair Load(const double* p) { return *reinterpret_cast<const Pair*>(p); }

}  // namespace

int CSincInterpolator::Setup(const double* source, long count, int windowType, int taps) {
    return Setup(source, count, 0, 0, windowType, taps);
}

int CSincInterpolator::Setup(const double* source, long count, long before, long after, int windowType,
                             int taps) {
    m_source = source;
    m_count = count < 0 ? 0 : count;
    m_before = before < 0 ? 0 : before;
    m_after = after < 0 ? 0 : after;
    m_windowType = windowType;
    m_taps = taps < 0 ? 0 : taps & ~1;
    return 1;
}

double CSincInterpolator::Sinc(double x) {
    if (std::fabs(x) <= 1e-10) return 1.0;
    // sin(πx) from the distance to the nearest whole number, so that whole numbers
    // give exactly 0 and large arguments lose no precision.
    const double n = std::nearbyint(x);
    const double r = x - n;
    if (r == 0.0) return 0.0;
    double s = std::sin(std::numbers::pi * r);
    if (std::fmod(n, 2.0) != 0.0) s = -s;
    return s / (std::numbers::pi * x);
}

double CSincInterpolator::Window(double d) const {
    const double u = d / (m_taps / 2);  // -1 .. 1 across the taps
    const double pi = std::numbers::pi;
    switch (m_windowType) {
    case 0: return 0.5 + 0.5 * std::cos(pi * u);
    case 1: return 0.54 + 0.46 * std::cos(pi * u);
    case 2: return 0.42 + 0.5 * std::cos(pi * u) + 0.08 * std::cos(2.0 * pi * u);
    case 3: return std::exp(-4.5 * u * u);
    default: return 1.0;
    }
}

double CSincInterpolator::Kernel(double d) const {
    const int half = m_taps / 2;
    if (half == 0 || std::fabs(d) >= half) return 0.0;
    return Sinc(d) * Window(d);
}

double CSincInterpolator::SampleAt(long k) const {
    if (k < -m_before || k >= m_count + m_after) return 0.0;
    return m_source[k];
}

double CSincInterpolator::Interpolate(double x) const {
    const int half = m_taps / 2;
    if (half == 0) return 0.0;
    const double p = std::floor(x);
    const long whole = static_cast<long>(p);
    if (x == p) return SampleAt(whole);
    double sum = 0.0;
    for (long k = whole - half + 1; k <= whole + half; ++k) sum += SampleAt(k) * Kernel(x - k);
    return sum;
}

double CSincInterpolator::WeightedSum(long first, const double* weights) const {
    const long last = first + m_taps;  // one past
    double sum = 0.0;
    if (first >= -m_before && last <= m_count + m_after) {
        // Two running sums of two products each; the tap count is even.
        const double* s = m_source + first;
        Pair a = {0.0, 0.0}, b = {0.0, 0.0};
        int t = 0;
        for (; t + 4 <= m_taps; t += 4) {
            a += Load(s + t) * Load(weights + t);
            b += Load(s + t + 2) * Load(weights + t + 2);
        }
        for (; t < m_taps; t += 2) a += Load(s + t) * Load(weights + t);
        a += b;
        sum = a[0] + a[1];
    } else {
        for (int t = 0; t < m_taps; ++t) sum += SampleAt(first + t) * weights[t];
    }
    return sum;
}
