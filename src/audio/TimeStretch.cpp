#include "audio/TimeStretch.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Samples handed out per call, by speed index 1..8 (row 0: any other index) and rate.
constexpr uint32_t kOutputTable[9][3] = {
    {1600, 2205, 4410},  // other index
    {2133, 2940, 5880},  // x0.75
    {1600, 2205, 4410},  // x1.00
    {1280, 1764, 3528},  // x1.25
    {1066, 1470, 2940},  // x1.50
    {914, 1260, 2520},   // x1.75
    {800, 1102, 2205},   // x2.00
    {640, 882, 1764},    // x2.50
    {533, 735, 1470},    // x3.00
};

// The overlap of a candidate lag is 200 + previous lag - lag: at most 399 samples.
constexpr int kMaxOverlap = 400;
// Longest analysis hop accepted: a ratio near zero must not stall the input buffer.
constexpr int kMaxHop = 30000;

}  // namespace

CTimeStretch::CTimeStretch() : m_input(kBufferSamples, 0.0f), m_output(kBufferSamples, 0.0f) {}

int CTimeStretch::Reset() {
    m_nOutputEnd = kStartPosition;
    m_nAnchor = kStartPosition;
    m_nInputCount = 0;
    m_bFed = false;
    std::fill_n(m_input.begin(), 2 * kStartPosition, 0.0f);
    std::fill_n(m_output.begin(), 2 * kStartPosition, 0.0f);
    return 0;
}

int CTimeStretch::Sign(float x) { return x >= 0.0f ? 1 : -1; }

int CTimeStretch::SetSampleRate(uint32_t rate) {
    m_nSampleRate = rate;
    return 0;
}

int CTimeStretch::SetRatio(double ratio) {
    m_dRatio = ratio;
    return 0;
}

int CTimeStretch::SetSpeedIndex(int index) {
    m_nSpeedIndex = index;
    return 0;
}

int CTimeStretch::Hop() const {
    // 1000 / ratio truncated: 750, 1000, 1250, 1499, 1750, 2000, 2500, 3000 for the
    // eight speeds. A ratio that is not a positive number plays at normal speed.
    if (!(m_dRatio > 0.0) || !std::isfinite(m_dRatio)) return kSynthesisHop;
    const double hop = static_cast<double>(kSynthesisHop) / m_dRatio;
    if (hop >= kMaxHop) return kMaxHop;
    return std::max(1, static_cast<int>(hop));
}

uint32_t CTimeStretch::OutputCount(uint32_t n) const {
    int column;
    switch (m_nSampleRate) {
    case 16000: column = 0; break;
    case 22050: column = 1; break;
    case 44100: column = 2; break;
    default:
        // No table for this rate: hand out what the segments yield, so that the speed
        // is right and the retained output neither grows nor runs dry.
        return static_cast<uint32_t>(static_cast<uint64_t>(n) * kSynthesisHop / static_cast<uint64_t>(Hop()));
    }
    const int row = m_nSpeedIndex >= 1 && m_nSpeedIndex <= 8 ? m_nSpeedIndex : 0;
    return kOutputTable[row][column];
}

int CTimeStretch::Process(const float* in, float* out, uint32_t n, uint32_t* outCount) {
    const int hop = Hop();
    if (n > 0) m_bFed = true;

    // More input than the buffer holds goes in as room is made by the passes.
    uint32_t taken = 0;
    do {
        const uint32_t room = static_cast<uint32_t>(kBufferSamples) - m_nInputCount;
        const uint32_t part = std::min(n - taken, room);
        if (part) std::memcpy(&m_input[m_nInputCount], in + taken, part * sizeof(float));
        m_nInputCount += part;
        taken += part;
        RunPasses(hop);
    } while (taken < n);

    // Only samples before anchor + 1000 - 100 are final: the next segment may still
    // fade into anything from there on. Handing out more would also move the next
    // placement before the start of the buffer.
    const int ready = std::max(0, std::min(m_nOutputEnd, m_nAnchor + kSynthesisHop + kLagMin));
    int m = static_cast<int>(std::min<uint32_t>(OutputCount(n), static_cast<uint32_t>(ready)));
    if (ready - m > kBacklogLimit) m += std::min(ready - m - kBacklogLimit, kMaxCatchUp);

    if (m > 0) {
        std::memcpy(out, m_output.data(), static_cast<size_t>(m) * sizeof(float));
        std::memmove(m_output.data(), m_output.data() + m, static_cast<size_t>(m_nOutputEnd - m) * sizeof(float));
    }
    m_nOutputEnd -= m;
    m_nAnchor -= m;
    *outCount = static_cast<uint32_t>(m);
    return 0;
}

int CTimeStretch::Drain(float* out, uint32_t capacity, uint32_t* outCount) {
    *outCount = 0;
    if (!m_bFed) return 0;
    if (m_nInputCount > 0) {
        // The rest of the input is one more segment, as long as the input lasts; where
        // it ends inside the fade, the output already there stays as it is.
        const int real = static_cast<int>(std::min<uint32_t>(m_nInputCount, kSegment));
        if (m_nAnchor + kSynthesisHop + kLagMax + kSegment <= kBufferSamples) {
            std::fill(m_input.begin() + real, m_input.begin() + kSegment, 0.0f);
            const int start = m_nAnchor + kSynthesisHop + BestLag();
            const int fade = m_nOutputEnd - start;
            float* dst = &m_output[start];
            for (int i = 0; i < real; ++i) {
                const float w = i < fade ? static_cast<float>(i) / static_cast<float>(fade) : 1.0f;
                dst[i] = (1.0f - w) * dst[i] + w * m_input[i];
            }
            m_nOutputEnd = std::max(m_nOutputEnd, start + real);
            m_nAnchor += kSynthesisHop;
        }
        m_nInputCount = 0;
    }
    const int m = std::max(0, std::min(m_nOutputEnd, static_cast<int>(std::min<uint32_t>(capacity, kBufferSamples))));
    if (m > 0) {
        std::memcpy(out, m_output.data(), static_cast<size_t>(m) * sizeof(float));
        std::memmove(m_output.data(), m_output.data() + m, static_cast<size_t>(m_nOutputEnd - m) * sizeof(float));
    }
    m_nOutputEnd -= m;
    m_nAnchor -= m;
    *outCount = static_cast<uint32_t>(m);
    if (m_nOutputEnd <= 0) Reset();
    return 0;
}

void CTimeStretch::RunPasses(int hop) {
    while (m_nInputCount > static_cast<uint32_t>(hop) && m_nInputCount > static_cast<uint32_t>(kSegment)) {
        if (m_nAnchor + kSynthesisHop + kLagMax + kSegment > kBufferSamples) {
            // No room for another segment (only when a caller hands in far more than
            // it takes out): the input is skipped rather than written past the end.
            DropInput(hop);
            continue;
        }
        PlaceSegment(BestLag());
        m_nAnchor += kSynthesisHop;
        DropInput(hop);
    }
}

int CTimeStretch::BestLag() const {
    // Candidate lag L compares output[anchor + 1000 + L + i] with input[i] for
    // i < overlap(L) = outputEnd - anchor - 1000 - L. The signs are taken once.
    const int base = m_nAnchor + kSynthesisHop + kLagMin;
    const int longest = std::min(m_nOutputEnd - base, kMaxOverlap);
    int8_t outSign[kMaxOverlap];
    int8_t inSign[kMaxOverlap];
    for (int i = 0; i < longest; ++i) {
        outSign[i] = static_cast<int8_t>(Sign(m_output[base + i]));
        inSign[i] = static_cast<int8_t>(Sign(m_input[i]));
    }

    int best = kLagMin;
    float bestScore = 0.0f;
    for (int lag = kLagMin; lag <= kLagMax; ++lag) {
        const int shift = lag - kLagMin;
        const int overlap = std::min(m_nOutputEnd - m_nAnchor - kSynthesisHop - lag, longest - shift);
        float score = 0.0f;
        if (overlap > 0) {
            int sum = 0;
            for (int i = 0; i < overlap; ++i) sum += outSign[shift + i] * inSign[i];
            // Sums of +-1 are exact in a float; the score is the float quotient.
            score = static_cast<float>(sum) / static_cast<float>(overlap);
        }
        // Strictly greater: ties keep the smaller lag.
        if (lag == kLagMin || score > bestScore) {
            if (lag != kLagMin) best = lag;
            bestScore = score;
        }
    }
    return best;
}

void CTimeStretch::PlaceSegment(int lag) {
    const int start = m_nAnchor + kSynthesisHop + lag;
    const int fade = m_nOutputEnd - start;
    float* dst = &m_output[start];
    for (int i = 0; i < kSegment; ++i) {
        if (i < fade) {
            const float w = static_cast<float>(i) / static_cast<float>(fade);
            dst[i] = (1.0f - w) * dst[i] + w * m_input[i];
        } else {
            dst[i] = m_input[i];
        }
    }
    m_nOutputEnd = start + kSegment;
}

void CTimeStretch::DropInput(int count) {
    const uint32_t drop = std::min<uint32_t>(static_cast<uint32_t>(count), m_nInputCount);
    std::memmove(m_input.data(), m_input.data() + drop, (m_nInputCount - drop) * sizeof(float));
    m_nInputCount -= drop;
}
