#include "audio/WaveFile.h"

#include <algorithm>
#include <cstring>

#include "platform/Riff.h"

namespace {

constexpr uint32_t kFormWave = RiffFourCC('W', 'A', 'V', 'E');
constexpr uint32_t kChunkFmt = RiffFourCC('f', 'm', 't', ' ');
constexpr uint32_t kChunkData = RiffFourCC('d', 'a', 't', 'a');

// An extensible record names its real format in a sub-format GUID after the 18 bytes;
// only integer PCM is ours.
constexpr uint32_t kExtensibleFmtSize = 40;
constexpr int64_t kSubFormatOffset = 24;

bool IsPcmSubFormat(CRiffFile& file, const RiffChunk& fmt) {
    if (fmt.size < kExtensibleFmtSize) return false;
    unsigned char tag[2];
    if (file.Seek(fmt.dataOffset + kSubFormatOffset, SEEK_SET) < 0 || file.Read(tag, 2) != 2) return false;
    return (tag[0] | tag[1] << 8) == kWaveFormatPcm;
}

}  // namespace

int ReadWaveHeader(const CString& path, WaveFormatEx& format, uint32_t& dataSize, uint32_t& dataOffset) {
    int error = 0;
    std::unique_ptr<CRiffFile> file = CRiffFile::Open(path, RiffOpenMode::Read, error);
    if (!file) return kWaveHeaderCannotOpen;

    RiffChunk riff;
    riff.formType = kFormWave;
    if (file->Descend(riff, nullptr, kRiffFindRiff) != kRiffOk) return kWaveHeaderNoRiff;

    RiffChunk fmt;
    fmt.id = kChunkFmt;
    if (file->Descend(fmt, &riff, kRiffFindChunk) != kRiffOk) return kWaveHeaderNoFmt;

    WaveFormatEx read{};
    const int64_t wanted = std::min<uint32_t>(fmt.size, sizeof read);
    if (file->Read(&read, wanted) != wanted) return kWaveHeaderBadFormat;
    // Without its 16 leading bytes the record says nothing reliable.
    if (wanted < 16 || !IsSupportedWaveFormat(read)) return kWaveHeaderCannotOpen;
    if (read.wFormatTag == kWaveFormatExtensible && !IsPcmSubFormat(*file, fmt)) return kWaveHeaderCannotOpen;

    if (file->Ascend(fmt) != kRiffOk) return kWaveHeaderNoData;
    RiffChunk data;
    data.id = kChunkData;
    if (file->Descend(data, &riff, kRiffFindChunk) != kRiffOk) return kWaveHeaderNoData;
    if (data.dataOffset > UINT32_MAX) return kWaveHeaderNoData;

    format = read;
    dataSize = data.size;
    dataOffset = static_cast<uint32_t>(data.dataOffset);
    return kWaveHeaderOk;
}
