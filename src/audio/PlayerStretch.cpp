#include "audio/PlayerStretch.h"

#include <algorithm>
#include <cstring>

#include "audio/TimeStretch.h"

namespace {

// Output duration / input duration for the speed indices 1..8. x2.00 is a hair short
// of 0.5 on purpose: it is the ratio the stretch's output table was made with.
constexpr double kSpeedRatio[8] = {
    1.3333333333333, 1.0, 0.8, 0.66666666666667, 0.57142857142857, 0.49977324263038, 0.4, 0.33333333333333,
};

}  // namespace

CPlayerStretch::CPlayerStretch(uint32_t bufferBytes) : m_nBufferBytes(bufferBytes) {}

CPlayerStretch::~CPlayerStretch() = default;

void CPlayerStretch::Initialize() {
    m_stretch = std::make_unique<CTimeStretch>();
    m_in.assign(m_nBufferBytes / 2, 0.0f);
    m_out.assign(CTimeStretch::kBufferSamples, 0.0f);
}

void CPlayerStretch::SetSampleRate(uint32_t rate) {
    if (m_stretch) m_stretch->SetSampleRate(rate);
}

bool CPlayerStretch::SetSpeed(int index) {
    if (index < 1 || index > 8) return false;
    if (m_stretch) {
        m_stretch->SetSpeedIndex(index);
        m_stretch->SetRatio(kSpeedRatio[index - 1]);
    }
    return true;
}

void CPlayerStretch::Reset() {
    if (m_stretch) m_stretch->Reset();
}

void CPlayerStretch::Stretch(WAVEHDR* header) {
    if (!m_stretch || m_stretch->GetRatio() == 1.0) return;
    const uint32_t n = std::min<uint32_t>(header->dwBufferLength / 2, static_cast<uint32_t>(m_in.size()));
    for (uint32_t i = 0; i < n; ++i) {
        int16_t sample;
        std::memcpy(&sample, header->lpData + 2 * static_cast<size_t>(i), sizeof sample);
        m_in[i] = sample;
    }
    uint32_t m = 0;
    m_stretch->Process(m_in.data(), m_out.data(), n, &m);
    PutSamples(header, m);
}

bool CPlayerStretch::Drain(WAVEHDR* header) {
    if (!m_stretch || m_stretch->GetRatio() == 1.0) return false;
    uint32_t m = 0;
    m_stretch->Drain(m_out.data(), static_cast<uint32_t>(std::min<size_t>(m_nBufferBytes / 2, m_out.size())), &m);
    if (m == 0) return false;
    PutSamples(header, m);
    return true;
}

void CPlayerStretch::PutSamples(WAVEHDR* header, uint32_t m) {
    m = std::min<uint32_t>(m, m_nBufferBytes / 2);
    for (uint32_t i = 0; i < m; ++i) {
        const float value = std::clamp(m_out[i], -32767.0f, 32767.0f);
        const int16_t sample = static_cast<int16_t>(value);  // truncates toward zero
        std::memcpy(header->lpData + 2 * static_cast<size_t>(i), &sample, sizeof sample);
    }
    header->dwBufferLength = 2 * m;
}
