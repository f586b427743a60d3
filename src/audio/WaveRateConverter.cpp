#include "audio/WaveRateConverter.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

constexpr double kFromPcm = 3.0517578125e-05;  // 1 / 32768
constexpr double kToPcm = 32768.0;

int16_t ToPcm(double value) {
    const double scaled = std::clamp(value * kToPcm, -32768.0, 32767.0);
    return static_cast<int16_t>(std::trunc(scaled));
}

}  // namespace

void CWaveRateConverter::Begin(int inRate, int outRate) {
    m_inRate = inRate;
    m_outRate = outRate;
    m_context = CResampler::ContextNeeded(outRate, inRate, kTaps);
    m_history.clear();
}

long CWaveRateConverter::OutputCount(long inCount, int inRate, int outRate) {
    if (inCount <= 0 || inRate <= 0 || outRate <= 0) return 0;
    return static_cast<long>(static_cast<long long>(inCount) * outRate / inRate);
}

bool CWaveRateConverter::s_bFailNextConvert = false;

bool CWaveRateConverter::Convert(const int16_t* chunk, long count, const int16_t* ahead, long aheadCount,
                                 std::vector<int16_t>& out) {
    out.clear();
    if (s_bFailNextConvert) {
        s_bFailNextConvert = false;
        return false;
    }
    if (count < 0) count = 0;
    const long before = static_cast<long>(m_history.size());
    const long after = std::clamp(aheadCount, 0L, m_context);
    const long outCount = OutputCount(count, m_inRate, m_outRate);
    try {
        m_input.resize(before + count + after);
        std::copy(m_history.begin(), m_history.end(), m_input.begin());
        for (long i = 0; i < count; ++i) m_input[before + i] = chunk[i] * kFromPcm;
        for (long i = 0; i < after; ++i) m_input[before + count + i] = ahead[i] * kFromPcm;
        m_output.resize(outCount);
        if (!m_resampler.ResampleWithContext(m_output.data(), outCount, m_outRate, m_input.data() + before, count,
                                             before, after, m_inRate, kWindowType, kTaps))
            return false;
        out.resize(outCount);
        for (long i = 0; i < outCount; ++i) out[i] = ToPcm(m_output[i]);
        // The next chunk looks back as far as this one looks ahead.
        const long kept = std::min(m_context, before + count);
        m_history.assign(m_input.begin() + (before + count - kept), m_input.begin() + (before + count));
    } catch (const std::bad_alloc&) {
        out.clear();
        return false;
    }
    return true;
}
