#include "audio/WaveFileWriter.h"

#include <gtest/gtest.h>

#include "audio/WaveFile.h"
#include "audio/WaveTestSupport.h"

using namespace wavetest;

TEST(WaveFileWriter, WritesTheCanonicalHeaderWithOddLengthsAndAConsistentRecord) {
    ScratchFolder folder;
    CWaveFileWriter writer;
    std::unique_ptr<CRiffFile> file;
    // An empty file is the 44-byte header.
    ASSERT_EQ(writer.Create(folder.CPath("e.wav"), MakePcmMono16Format(22050), file), 0);
    EXPECT_EQ(writer.Close(file), 0);
    EXPECT_FALSE(file);
    EXPECT_EQ(writer.Close(file), 0);  // closing again has nothing to do
    EXPECT_EQ(ReadBytes(folder.Path("e.wav")), WaveBytes(PcmFmt(1, 22050, 16), ""));
    EXPECT_EQ(ReadBytes(folder.Path("e.wav")).size(), 44u);

    // The odd data length is kept in the chunk; the pad byte follows it.
    ASSERT_EQ(writer.Create(folder.CPath("s.wav"), MakePcmMono16Format(16000), file), 0);
    const std::string samples = SamplesToBytes({100, -100, 32767});
    ASSERT_EQ(file->Write(samples.data(), 6), 6);
    ASSERT_EQ(file->Write("\x7F", 1), 1);
    ASSERT_EQ(writer.Close(file), 0);
    EXPECT_EQ(ReadBytes(folder.Path("s.wav")), WaveBytes(PcmFmt(1, 16000, 16), samples + "\x7F"));

    // A record that is not plain PCM, or whose derived fields lie, is written consistent.
    WaveFormatEx lying = MakePcmMono16Format(44100);
    lying.wFormatTag = kWaveFormatExtensible;
    lying.nChannels = 2;
    lying.nAvgBytesPerSec = 0;
    lying.nBlockAlign = 7;
    lying.cbSize = 22;
    ASSERT_EQ(writer.Create(folder.CPath("l.wav"), lying, file), 0);
    ASSERT_EQ(writer.Close(file), 0);
    EXPECT_EQ(ReadBytes(folder.Path("l.wav")), WaveBytes(PcmFmt(2, 44100, 16), ""));

    EXPECT_EQ(writer.Create(folder.CPath("none/x.wav"), MakePcmMono16Format(22050), file), kRiffErrPathNotFound);
    EXPECT_NE(writer.Create(CString(folder.Path("")), MakePcmMono16Format(22050), file), 0);
    EXPECT_FALSE(file);
}
