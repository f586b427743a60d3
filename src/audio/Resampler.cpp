#include "audio/Resampler.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <numbers>
#include <numeric>

#include "audio/FftFilter.h"
#include "audio/SincInterpolator.h"

namespace {

// The filter is designed by frequency sampling on a grid of 2^16 points.
constexpr int kDesignOrder = 16;
constexpr int kDesignSize = 1 << kDesignOrder;
// The filter runs on transforms of the same size: one block covers a whole second at
// twice the highest project rate, context included.
constexpr int kFilterOrder = 13;
// Above this many weights a phase table is not worth keeping; weights are then
// computed for each output.
constexpr long kMaxBankWeights = 1L << 21;

// Weights of every fractional position that a rate pair produces. Positions repeat
// with a period of streamRate / gcd(inRate, streamRate), so a conversion computes each
// weight once instead of once per output.
struct PhaseBank {
    long inRate = 0;
    long streamRate = 0;
    int windowType = -1;
    int taps = -1;
    long step = 1;  // gcd: every phase remainder is a multiple of it
    std::vector<double> weights;
};

// The low-pass filter with its spectrum, ready to run, for one window type.
struct PreparedFilter {
    int windowType = -1;
    std::unique_ptr<CFftFilter> filter;
};

// The editor converts on one thread; tests and benchmarks may use several.
thread_local PhaseBank t_bank;
thread_local PreparedFilter t_filter;

long FloorDiv(long long a, long long b) {
    long long q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return static_cast<long>(q);
}

double FilterWindow(int windowType, int n) {
    const double pi = std::numbers::pi;
    const double length = CResampler::kFilterLength;
    switch (windowType) {
    case 0: return 0.5 - 0.5 * std::cos(2.0 * pi * n / length);
    case 1: return 0.54 - 0.46 * std::cos(2.0 * pi * n / length);
    case 2: return 0.42 - 0.5 * std::cos(2.0 * pi * n / length) + 0.08 * std::cos(4.0 * pi * n / length);
    case 3: {
        const double x = 2.0 * (n - CResampler::kFilterCentre) / (length - 1);
        return std::exp(-4.5 * x * x);
    }
    default: return 1.0;
    }
}

}  // namespace

double CResampler::TargetResponse(double frequency) const {
    static constexpr double kEdges[] = {0.0, 0.225, 0.25, 0.5};
    static constexpr double kGains[] = {1.0, 1.0, 0.0, 0.0};
    if (frequency < 0.0 || frequency > 0.5) return 0.0;
    for (int i = 0; i < 3; ++i) {
        if (frequency >= kEdges[i] && frequency < kEdges[i + 1]) {
            const double phase = std::numbers::pi * (frequency - kEdges[i]) / (kEdges[i + 1] - kEdges[i]);
            return 0.5 * (kGains[i] + kGains[i + 1]) - 0.5 * (kGains[i + 1] - kGains[i]) * std::cos(phase);
        }
    }
    return kGains[3];
}

bool CResampler::DesignTaps(std::vector<double>& taps) {
    try {
        std::vector<double> re(kDesignSize, 0.0), im(kDesignSize, 0.0);
        CFft fft;
        if (!fft.Init(kDesignOrder)) return false;
        const int half = kDesignSize / 2;
        // A unit impulse in the middle of the grid: its spectrum, shaped by the wanted
        // response (mirrored above half the grid), comes back as a linear-phase filter
        // centred on the same point.
        re[half] = 1.0;
        fft.Transform(re.data(), im.data(), 1);
        for (int k = 0; k < half; ++k) {
            const double gain = TargetResponse(static_cast<double>(k) / kDesignSize);
            re[k] *= gain;
            im[k] *= gain;
        }
        for (int j = 0; j < half; ++j) {
            const double gain = TargetResponse(static_cast<double>(half - j) / kDesignSize);
            re[half + j] *= gain;
            im[half + j] *= gain;
        }
        fft.Transform(re.data(), im.data(), -1);
        taps.assign(kFilterLength + 1, 0.0);
        for (int n = 0; n <= kFilterLength; ++n)
            taps[n] = re[half - kFilterCentre + n] * FilterWindow(m_windowType, n);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// The prepared filter for the current window type, designed on first use; null when memory
// runs out.
CFftFilter* CResampler::PreparedLowPass() {
    if (t_filter.windowType != m_windowType || !t_filter.filter) {
        t_filter.filter.reset();
        std::vector<double> taps;
        if (!DesignTaps(taps)) return nullptr;
        std::unique_ptr<CFftFilter> filter(new (std::nothrow) CFftFilter);
        if (!filter || !filter->Init(kFilterOrder) || !filter->SetKernel(taps.data(), kFilterLength, kFilterCentre))
            return nullptr;
        t_filter.filter = std::move(filter);
        t_filter.windowType = m_windowType;
    }
    return t_filter.filter.get();
}

int CResampler::DesignLowPass(double* output, const double* input, long count) {
    CFftFilter* filter = PreparedLowPass();
    return filter ? filter->Filter(output, input, count) : 0;
}

bool CResampler::InterpolateStream(double* stream, long first, long count, long streamRate) {
    CSincInterpolator source;
    source.Setup(m_input, m_inCount, m_before, m_after, m_windowType, m_taps);
    const int taps = m_taps;
    const int half = taps / 2;
    if (half == 0) {
        std::fill(stream, stream + count, 0.0);
        return true;
    }

    const long step = std::gcd(static_cast<long>(m_inRate), streamRate);
    const long phases = streamRate / step;
    PhaseBank& bank = t_bank;
    const bool banked = phases * taps <= kMaxBankWeights;
    try {
        if (banked && (bank.inRate != m_inRate || bank.streamRate != streamRate || bank.windowType != m_windowType ||
                       bank.taps != taps)) {
            bank.inRate = 0;
            bank.weights.assign(static_cast<size_t>(phases) * taps, 0.0);
            for (long q = 1; q < phases; ++q) {
                const double fraction = static_cast<double>(q) / phases;
                double* w = &bank.weights[static_cast<size_t>(q) * taps];
                for (int t = 0; t < taps; ++t) w[t] = source.Kernel(fraction + half - 1 - t);
            }
            bank.inRate = m_inRate;
            bank.streamRate = streamRate;
            bank.windowType = m_windowType;
            bank.taps = taps;
            bank.step = step;
        }
        std::vector<double> scratch(banked ? 0 : taps);
        // Position of value i: whole + remainder / streamRate input samples, stepped on
        // by inRate / streamRate without a division per value.
        const long long start = static_cast<long long>(m_inRate) * first;
        long whole = FloorDiv(start, streamRate);
        long remainder = static_cast<long>(start - static_cast<long long>(whole) * streamRate);
        const long wholeStep = m_inRate / streamRate;
        const long remainderStep = m_inRate % streamRate;
        if (remainder == 0 && remainderStep == 0 && wholeStep == 1) {
            // The stream is the input itself (lowering by two): a copy, zeros outside.
            const long lo = std::max(whole, -m_before), hi = std::min(whole + count, m_inCount + m_after);
            std::fill(stream, stream + count, 0.0);
            if (lo < hi) std::copy(m_input + lo, m_input + hi, stream + (lo - whole));
            return true;
        }
        for (long i = 0; i < count; ++i) {
            if (remainder == 0) {
                stream[i] = source.SampleAt(whole);
            } else {
                const double* w;
                if (banked) {
                    w = &bank.weights[static_cast<size_t>(remainder / step) * taps];
                } else {
                    const double fraction = static_cast<double>(remainder) / streamRate;
                    for (int t = 0; t < taps; ++t) scratch[t] = source.Kernel(fraction + half - 1 - t);
                    w = scratch.data();
                }
                stream[i] = source.WeightedSum(whole - half + 1, w);
            }
            whole += wholeStep;
            remainder += remainderStep;
            if (remainder >= streamRate) {
                remainder -= streamRate;
                ++whole;
            }
        }
    } catch (const std::bad_alloc&) {
        bank.inRate = 0;
        return false;
    }
    return true;
}

long CResampler::ContextNeeded(int outRate, int inRate, int taps) {
    long needed = taps / 2 + 1;
    if (outRate > 0 && outRate < inRate)
        needed += (static_cast<long long>(kFilterCentre) * inRate + 2LL * outRate - 1) / (2LL * outRate);
    return needed;
}

int CResampler::Resample(double* output, long outCount, int outRate, const double* input, long inCount, int inRate,
                         int windowType, int taps) {
    return ResampleWithContext(output, outCount, outRate, input, inCount, 0, 0, inRate, windowType, taps);
}

int CResampler::ResampleWithContext(double* output, long outCount, int outRate, const double* input, long inCount,
                                    long before, long after, int inRate, int windowType, int taps) {
    m_outCount = outCount < 0 ? 0 : outCount;
    m_input = input;
    m_inCount = inCount < 0 ? 0 : inCount;
    m_before = before < 0 ? 0 : before;
    m_after = after < 0 ? 0 : after;
    m_inRate = inRate;
    m_windowType = windowType;
    m_taps = taps < 0 ? 0 : taps & ~1;
    if (outRate <= 0 || inRate <= 0) return 0;
    if (m_outCount == 0) return 1;

    if (outRate >= inRate) return InterpolateStream(output, 0, m_outCount, outRate) ? 1 : 0;

    // Lowering: the stream at twice the output rate, with room on both sides for the
    // filter's reach, so that the block's edges are filtered with their neighbours.
    // Only the even values of the filtered stream are kept, so only they are computed.
    const long margin = kFilterCentre;
    static_assert(kFilterCentre % 2 == 0);
    const long streamCount = 2 * m_outCount + 2 * margin;
    std::vector<double> stream, filtered;
    try {
        stream.resize(streamCount);
        filtered.resize(streamCount / 2);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (!InterpolateStream(stream.data(), -margin, streamCount, 2L * outRate)) return 0;
    CFftFilter* filter = PreparedLowPass();
    if (!filter || !filter->FilterEven(filtered.data(), stream.data(), streamCount)) return 0;
    std::copy(filtered.begin() + margin / 2, filtered.begin() + margin / 2 + m_outCount, output);
    return 1;
}
