#include "audio/WaveFileWriter.h"

#include <gtest/gtest.h>

#include "audio/WaveFile.h"
#include "audio/WaveTestSupport.h"

using namespace wavetest;

TEST(WaveFileWriter, EmptyFileIsTheCanonical44ByteHeader) {
    ScratchFolder folder;
    CWaveFileWriter writer;
    std::unique_ptr<CRiffFile> file;
    ASSERT_EQ(writer.Create(folder.CPath("e.wav"), MakePcmMono16Format(22050), file), 0);
    ASSERT_TRUE(file);
    EXPECT_EQ(writer.Close(file), 0);
    EXPECT_FALSE(file);
    EXPECT_EQ(ReadBytes(folder.Path("e.wav")), RiffWave(Chunk("fmt ", PcmFmt(1, 22050, 16)) + Chunk("data", "")));
    EXPECT_EQ(ReadBytes(folder.Path("e.wav")).size(), 44u);
    // Closing again has nothing to do.
    EXPECT_EQ(writer.Close(file), 0);
}

TEST(WaveFileWriter, SamplesAndOddLengthsReadBack) {
    ScratchFolder folder;
    CWaveFileWriter writer;
    std::unique_ptr<CRiffFile> file;
    ASSERT_EQ(writer.Create(folder.CPath("s.wav"), MakePcmMono16Format(16000), file), 0);
    const std::string samples = SamplesToBytes({100, -100, 32767});
    ASSERT_EQ(file->Write(samples.data(), 6), 6);
    ASSERT_EQ(file->Write("\x7F", 1), 1);
    ASSERT_EQ(writer.Close(file), 0);
    // The odd data length is kept in the chunk; the pad byte follows it.
    EXPECT_EQ(ReadBytes(folder.Path("s.wav")),
              RiffWave(Chunk("fmt ", PcmFmt(1, 16000, 16)) + Chunk("data", samples + "\x7F")));

    WaveFormatEx format{};
    uint32_t size = 0, offset = 0;
    ASSERT_EQ(ReadWaveHeader(folder.CPath("s.wav"), format, size, offset), kWaveHeaderOk);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(offset, 44u);
}

TEST(WaveFileWriter, WritesAConsistentPcmRecordWhateverItIsGiven) {
    ScratchFolder folder;
    WaveFormatEx lying = MakePcmMono16Format(44100);
    lying.wFormatTag = kWaveFormatExtensible;
    lying.nChannels = 2;
    lying.nAvgBytesPerSec = 0;
    lying.nBlockAlign = 7;
    lying.cbSize = 22;
    CWaveFileWriter writer;
    std::unique_ptr<CRiffFile> file;
    ASSERT_EQ(writer.Create(folder.CPath("l.wav"), lying, file), 0);
    ASSERT_EQ(writer.Close(file), 0);
    EXPECT_EQ(ReadBytes(folder.Path("l.wav")), RiffWave(Chunk("fmt ", PcmFmt(2, 44100, 16)) + Chunk("data", "")));
}

TEST(WaveFileWriter, CreateFailures) {
    ScratchFolder folder;
    CWaveFileWriter writer;
    std::unique_ptr<CRiffFile> file;
    EXPECT_EQ(writer.Create(folder.CPath("none/x.wav"), MakePcmMono16Format(22050), file), kRiffErrPathNotFound);
    EXPECT_FALSE(file);
    EXPECT_NE(writer.Create(CString(folder.Path("")), MakePcmMono16Format(22050), file), 0);
    EXPECT_FALSE(file);
}
