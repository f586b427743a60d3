#include "audio/WaveFileWriter.h"

namespace {

constexpr uint32_t kFormWave = RiffFourCC('W', 'A', 'V', 'E');
constexpr uint32_t kChunkFmt = RiffFourCC('f', 'm', 't', ' ');
constexpr uint32_t kChunkData = RiffFourCC('d', 'a', 't', 'a');
constexpr int kFmtBytes = 16;

void Put16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void Put32(unsigned char* p, uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

}  // namespace

int CWaveFileWriter::Create(const CString& path, WaveFormatEx format, std::unique_ptr<CRiffFile>& file) {
    m_riff = RiffChunk{};
    m_chunk = RiffChunk{};
    file.reset();

    int error = kRiffOk;
    std::unique_ptr<CRiffFile> created = CRiffFile::Open(path, RiffOpenMode::Create, error);
    if (!created) return error;

    auto fail = [&](int code) {
        created->Close();
        return code;
    };
    if (created->Seek(0, SEEK_SET) != 0) return fail(kRiffErrCannotSeek);
    m_riff.formType = kFormWave;
    m_riff.size = 0;
    if (int r = created->CreateChunk(m_riff, kRiffCreateRiff); r != kRiffOk) return fail(r);

    m_chunk.id = kChunkFmt;
    m_chunk.size = kFmtBytes;
    if (int r = created->CreateChunk(m_chunk, 0); r != kRiffOk) return fail(r);
    // The 16-byte record describes plain PCM; an extensible tag would promise the
    // extension that is not written.
    unsigned char record[kFmtBytes];
    Put16(record, kWaveFormatPcm);
    Put16(record + 2, format.nChannels);
    Put32(record + 4, format.nSamplesPerSec);
    Put32(record + 8, WaveBytesPerSecond(format));
    Put16(record + 12, WaveBlockAlign(format));
    Put16(record + 14, format.wBitsPerSample);
    if (created->Write(record, kFmtBytes) != kFmtBytes) return fail(kRiffErrCannotWrite);
    if (int r = created->Ascend(m_chunk); r != kRiffOk) return fail(r);

    m_chunk = RiffChunk{};
    m_chunk.id = kChunkData;
    m_chunk.size = 0;
    if (int r = created->CreateChunk(m_chunk, 0); r != kRiffOk) return fail(r);
    file = std::move(created);
    return kRiffOk;
}

int CWaveFileWriter::Close(std::unique_ptr<CRiffFile>& file) {
    if (!file) return kRiffOk;
    int result = file->Ascend(m_chunk);
    const int riff = file->Ascend(m_riff);
    if (result == kRiffOk) result = riff;
    const int closed = file->Close();
    if (result == kRiffOk) result = closed;
    file.reset();
    return result;
}
