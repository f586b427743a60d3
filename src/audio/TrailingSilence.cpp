#include "audio/TrailingSilence.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/SilenceSplitter.h"
#include "audio/WaveFile.h"
#include "platform/Riff.h"

CTrailingSilenceMeter::CTrailingSilenceMeter(uint32_t bytesPerSecond, int thresholdDb)
    : m_nBlock(std::max<uint32_t>(bytesPerSecond / 10, 2)), m_nThreshold(thresholdDb) {}

void CTrailingSilenceMeter::Measure(const char* data, size_t bytes) {
    std::vector<int16_t> samples;
    for (size_t pos = 0; pos < bytes; pos += m_nBlock) {
        const size_t n = std::min<size_t>(m_nBlock, bytes - pos);
        samples.resize(n / 2);
        if (!samples.empty()) std::memcpy(samples.data(), data + pos, samples.size() * 2);
        const int level = BlockLevelDb(samples.data(), samples.size());
        m_nRun = level < m_nThreshold ? m_nRun + 1 : 0;
    }
}

int MeasureWaveTrailingSilence(CWaveTaskHost& host, const CString& path, uint32_t start, uint32_t length,
                               uint32_t bytesPerSecond, int thresholdDb, uint32_t& silence) {
    // The samples are counted from the "data" chunk, so that the header is never taken
    // for audio.
    WaveFormatEx format{};
    uint32_t dataSize = 0, dataOffset = 0;
    int error = 0;
    std::unique_ptr<CRiffFile> file;
    if (ReadWaveHeader(path, format, dataSize, dataOffset) == kWaveHeaderOk)
        file = CRiffFile::Open(path, RiffOpenMode::Read, error);
    if (!file || file->Seek(static_cast<int64_t>(dataOffset) + start, SEEK_SET) < 0) {
        host.ShowError("ファイルが開けません。\n" + path);
        return 5;
    }
    const uint32_t second = std::max<uint32_t>(bytesPerSecond, 2);
    CTrailingSilenceMeter meter(second, thresholdDb);
    std::vector<char> portion(second);
    // A phrase that runs past the end of the samples would be measured on what is not
    // its audio's end: that is a damaged book, not a silence of 0.
    const uint64_t available = start < dataSize ? static_cast<uint64_t>(dataSize) - start : 0;
    for (uint64_t pos = 0; pos < length;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(second, length - pos));
        const int64_t got = pos + n <= available ? file->Read(portion.data(), static_cast<int64_t>(n)) : 0;
        if (got < 0) {
            file->Close();
            host.ShowError("Waveファイル読込時にエラーが発生しました。\n" + path);
            return 10;
        }
        if (static_cast<size_t>(got) < n) {
            file->Close();
            host.ShowError("Waveファイルがフレーズの途中で終わっています。\n" + path);
            return 5;
        }
        meter.Measure(portion.data(), n);
        pos += n;
    }
    file->Close();
    silence = meter.GetSilenceBytes();
    return 0;
}
