#include "audio/WaveSecondReader.h"

#include <algorithm>

#include "platform/Riff.h"

CWaveSecondReader::CWaveSecondReader(CRiffFile& file, uint32_t dataSize, uint32_t bytesPerSecond)
    : m_file(file), m_nDataSize(dataSize), m_nBytesPerSecond(bytesPerSecond), m_bytes(bytesPerSecond) {}

int CWaveSecondReader::Next(std::vector<int16_t>& samples) {
    samples.clear();
    const int64_t remaining = static_cast<int64_t>(m_nDataSize) - m_nDone;
    const int64_t want = std::min<int64_t>(m_nBytesPerSecond, remaining);
    if (want < 1) return 0;
    const int64_t got = m_file.Read(m_bytes.data(), want);
    if (got < 0) return -1;
    if (got == 0) return 0;
    m_nDone += got;
    // A last odd byte is half a sample: it carries nothing to keep.
    samples.resize(static_cast<size_t>(got / 2));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(m_bytes[2 * i] | m_bytes[2 * i + 1] << 8);
    return 1;
}
