#include "audio/WaveFile.h"

#include <gtest/gtest.h>

#include <string>

#include "audio/WaveTestSupport.h"

using namespace wavetest;

namespace {

class WaveHeaderTest : public ::testing::Test {
protected:
    // Writes `bytes` and reads its header.
    int Read(const std::string& bytes) {
        WriteBytes(m_folder.Path("t.wav"), bytes);
        m_format = WaveFormatEx{};
        m_dataSize = 0xDEAD;
        m_dataOffset = 0xBEEF;
        return ReadWaveHeader(m_folder.CPath("t.wav"), m_format, m_dataSize, m_dataOffset);
    }

    ScratchFolder m_folder;
    WaveFormatEx m_format{};
    uint32_t m_dataSize = 0;
    uint32_t m_dataOffset = 0;
};

const std::string kSamples = SamplesToBytes({1, -2, 3, -4});

}  // namespace

TEST_F(WaveHeaderTest, SixteenByteFormat) {
    ASSERT_EQ(Read(RiffWave(Chunk("fmt ", PcmFmt(1, 22050, 16)) + Chunk("data", kSamples))), kWaveHeaderOk);
    EXPECT_EQ(m_format.wFormatTag, 1);
    EXPECT_EQ(m_format.nChannels, 1);
    EXPECT_EQ(m_format.nSamplesPerSec, 22050u);
    EXPECT_EQ(m_format.nAvgBytesPerSec, 44100u);
    EXPECT_EQ(m_format.nBlockAlign, 2);
    EXPECT_EQ(m_format.wBitsPerSample, 16);
    EXPECT_EQ(m_format.cbSize, 0);
    EXPECT_EQ(m_dataSize, 8u);
    EXPECT_EQ(m_dataOffset, 44u);
}

TEST_F(WaveHeaderTest, EighteenByteAndExtensibleFormats) {
    ASSERT_EQ(Read(RiffWave(Chunk("fmt ", PcmFmt(2, 44100, 16) + Le16(0)) + Chunk("data", kSamples))), kWaveHeaderOk);
    EXPECT_EQ(m_format.nChannels, 2);
    EXPECT_EQ(m_dataOffset, 46u);

    // 40 bytes: 18 are read; the PCM sub-format makes it acceptable.
    const std::string pcmGuid = Le16(1) + std::string("\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 14);
    const std::string extensible =
        FmtRecord(0xFFFE, 1, 16000, 32000, 2, 16) + Le16(22) + Le16(16) + Le32(4) + pcmGuid;
    ASSERT_EQ(Read(RiffWave(Chunk("fmt ", extensible) + Chunk("data", kSamples))), kWaveHeaderOk);
    EXPECT_EQ(m_format.wFormatTag, 0xFFFE);
    EXPECT_EQ(m_format.cbSize, 22);
    EXPECT_EQ(m_dataOffset, 12u + 8 + 40 + 8);

    // The same record announcing floating-point samples is not ours.
    const std::string floatGuid = Le16(3) + pcmGuid.substr(2);
    const std::string floats = FmtRecord(0xFFFE, 1, 16000, 64000, 4, 32) + Le16(22) + Le16(32) + Le32(4) + floatGuid;
    EXPECT_EQ(Read(RiffWave(Chunk("fmt ", floats) + Chunk("data", kSamples))), kWaveHeaderCannotOpen);
    // An extensible tag without its extension says nothing about the samples.
    EXPECT_EQ(Read(RiffWave(Chunk("fmt ", FmtRecord(0xFFFE, 1, 16000, 32000, 2, 16)) + Chunk("data", kSamples))),
              kWaveHeaderCannotOpen);
}

TEST_F(WaveHeaderTest, OtherChunksAreSkipped) {
    // LIST between "fmt " and "data", an odd-sized chunk (with its pad) before "fmt ".
    const std::string list = Chunk("LIST", "INFO" + Chunk("INAM", "name"));
    ASSERT_EQ(Read(RiffWave(Chunk("junk", "abc") + Chunk("fmt ", PcmFmt(1, 16000, 16)) + list +
                            Chunk("data", kSamples))),
              kWaveHeaderOk);
    EXPECT_EQ(m_format.nSamplesPerSec, 16000u);
    EXPECT_EQ(m_dataOffset, 12u + 12 + 24 + list.size() + 8);
    EXPECT_EQ(m_dataSize, 8u);
}

TEST_F(WaveHeaderTest, OddDataChunkWithPadAndTrailingChunk) {
    const std::string odd = SamplesToBytes({7, 8}) + "\x05";
    ASSERT_EQ(Read(RiffWave(Chunk("fmt ", PcmFmt(1, 16000, 16)) + Chunk("data", odd) + Chunk("LIST", "INFO"))),
              kWaveHeaderOk);
    EXPECT_EQ(m_dataSize, 5u);
    EXPECT_EQ(m_dataOffset, 44u);
}

TEST_F(WaveHeaderTest, TruncatedFiles) {
    const std::string whole = RiffWave(Chunk("fmt ", PcmFmt(1, 16000, 16)) + Chunk("data", SamplesToBytes(
                                                                                               std::vector<int16_t>(100))));
    // Cut inside the samples: the data chunk keeps its claimed size.
    ASSERT_EQ(Read(whole.substr(0, 60)), kWaveHeaderOk);
    EXPECT_EQ(m_dataSize, 200u);
    EXPECT_EQ(m_dataOffset, 44u);
    // Cut inside the data chunk's header, or inside the format record.
    EXPECT_EQ(Read(whole.substr(0, 40)), kWaveHeaderNoData);
    EXPECT_EQ(Read(whole.substr(0, 30)), kWaveHeaderBadFormat);
    // Cut before the format chunk, and before the form type.
    EXPECT_EQ(Read(whole.substr(0, 14)), kWaveHeaderNoFmt);
    EXPECT_EQ(Read(whole.substr(0, 10)), kWaveHeaderNoRiff);
    EXPECT_EQ(Read(""), kWaveHeaderNoRiff);
}

TEST_F(WaveHeaderTest, ChunkOrderAndMissingChunks) {
    const std::string fmt = Chunk("fmt ", PcmFmt(1, 16000, 16)), data = Chunk("data", kSamples);
    EXPECT_EQ(Read(RiffWave(data + fmt)), kWaveHeaderNoData);
    EXPECT_EQ(Read(RiffWave(fmt)), kWaveHeaderNoData);
    EXPECT_EQ(Read(RiffWave(data)), kWaveHeaderNoFmt);
    EXPECT_EQ(Read("RIFF" + Le32(static_cast<uint32_t>(fmt.size() + data.size() + 4)) + "AVI " + fmt + data),
              kWaveHeaderNoRiff);
    EXPECT_EQ(Read("ID3\x03" + std::string(100, '\0')), kWaveHeaderNoRiff);
    // "data" outside the RIFF chunk (the RIFF size stops before it) does not count.
    EXPECT_EQ(Read(RiffWave(fmt, static_cast<int64_t>(fmt.size() + 4)) + data), kWaveHeaderNoData);

    WaveFormatEx format{};
    uint32_t size = 0, offset = 0;
    EXPECT_EQ(ReadWaveHeader(m_folder.CPath("missing.wav"), format, size, offset), kWaveHeaderCannotOpen);
}

TEST_F(WaveHeaderTest, UntrustworthyFormatsAreRefused) {
    auto with = [](const std::string& record) {
        return RiffWave(Chunk("fmt ", record) + Chunk("data", kSamples));
    };
    EXPECT_EQ(Read(with(FmtRecord(1, 1, 22050, 0, 2, 16))), kWaveHeaderCannotOpen);        // no bytes per second
    EXPECT_EQ(Read(with(FmtRecord(1, 1, 22050, 44100, 0, 16))), kWaveHeaderCannotOpen);    // no block align
    EXPECT_EQ(Read(with(FmtRecord(1, 1, 22050, 9999999, 2, 16))), kWaveHeaderCannotOpen);  // too many bytes
    EXPECT_EQ(Read(with(FmtRecord(1, 1, 22050, 44100, 4, 16))), kWaveHeaderCannotOpen);    // align of stereo
    EXPECT_EQ(Read(with(FmtRecord(1, 0, 22050, 0, 0, 16))), kWaveHeaderCannotOpen);        // no channels
    EXPECT_EQ(Read(with(FmtRecord(1, 1, 0, 0, 2, 16))), kWaveHeaderCannotOpen);            // no rate
    EXPECT_EQ(Read(with(FmtRecord(1, 1, 22050, 33075, 2, 12))), kWaveHeaderCannotOpen);   // 12 bits
    EXPECT_EQ(Read(with(FmtRecord(2, 1, 22050, 11155, 512, 4))), kWaveHeaderCannotOpen);  // ADPCM
    EXPECT_EQ(Read(with(FmtRecord(3, 1, 22050, 88200, 4, 32))), kWaveHeaderCannotOpen);   // floats
    EXPECT_EQ(Read(with(PcmFmt(1, 22050, 16).substr(0, 14))), kWaveHeaderCannotOpen);      // record cut short

    // Formats the callers refuse themselves are still read.
    EXPECT_EQ(Read(with(PcmFmt(2, 44100, 8))), kWaveHeaderOk);
    EXPECT_EQ(Read(with(PcmFmt(1, 48000, 24))), kWaveHeaderOk);
}
