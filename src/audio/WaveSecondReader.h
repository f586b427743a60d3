#pragma once
// Reads 16-bit samples of a WAV file's data chunk one second at a time, up to the size
// the chunk claims or the end of the file, whichever comes first.

#include <cstdint>
#include <vector>

class CRiffFile;

class CWaveSecondReader {
public:
    CWaveSecondReader(CRiffFile& file, uint32_t dataSize, uint32_t bytesPerSecond);

    // 1 with the next second in `samples`, 0 at the end, -1 on a read error.
    int Next(std::vector<int16_t>& samples);
    int64_t BytesRead() const { return m_nDone; }

private:
    CRiffFile& m_file;
    uint32_t m_nDataSize;
    uint32_t m_nBytesPerSecond;
    std::vector<unsigned char> m_bytes;
    int64_t m_nDone = 0;
};
