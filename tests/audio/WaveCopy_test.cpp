#include "audio/WaveCopy.h"

#include <gtest/gtest.h>

#include <numeric>

#include "audio/WaveTestSupport.h"

using namespace wavetest;

namespace {

std::vector<int16_t> Ramp(int count) {
    std::vector<int16_t> out(count);
    std::iota(out.begin(), out.end(), int16_t{-5000});
    return out;
}

}  // namespace

TEST(CopyWaveRange, CopiesTheRangeInManySteps) {
    ScratchFolder folder;
    const std::vector<int16_t> ramp = Ramp(10000);  // 16000 Hz: 3200-byte steps
    WriteWav(folder.Path("src.wav"), 16000, 1, ramp);
    RecordingHost host;
    ASSERT_EQ(CopyWaveRange(host, folder.CPath("src.wav"), folder.CPath("dst.wav"), 8000, 2000), 0);
    EXPECT_TRUE(host.errors.empty());
    uint32_t rate = 0;
    const std::vector<int16_t> copied = ReadCanonicalWav(folder.Path("dst.wav"), rate);
    EXPECT_EQ(rate, 16000u);
    EXPECT_EQ(copied, std::vector<int16_t>(ramp.begin() + 1000, ramp.begin() + 5000));
}

TEST(CopyWaveRange, EmptyRangeGivesAnEmptyValidFile) {
    ScratchFolder folder;
    WriteWav(folder.Path("src.wav"), 22050, 1, Ramp(100));
    RecordingHost host;
    ASSERT_EQ(CopyWaveRange(host, folder.CPath("src.wav"), folder.CPath("dst.wav"), 0, 10), 0);
    EXPECT_EQ(ReadBytes(folder.Path("dst.wav")), RiffWave(Chunk("fmt ", PcmFmt(1, 22050, 16)) + Chunk("data", "")));
}

TEST(CopyWaveRange, StopsAtTheEndOfTheSamples) {
    ScratchFolder folder;
    const std::vector<int16_t> ramp = Ramp(50);
    // A chunk after "data" is not audio; a range past the data ends there.
    WriteBytes(folder.Path("src.wav"), RiffWave(Chunk("fmt ", PcmFmt(1, 22050, 16)) +
                                                Chunk("data", SamplesToBytes(ramp)) + Chunk("LIST", "INFOjunk")));
    RecordingHost host;
    ASSERT_EQ(CopyWaveRange(host, folder.CPath("src.wav"), folder.CPath("dst.wav"), 1000, 60), 0);
    uint32_t rate = 0;
    EXPECT_EQ(ReadCanonicalWav(folder.Path("dst.wav"), rate), std::vector<int16_t>(ramp.begin() + 30, ramp.end()));
    ASSERT_EQ(CopyWaveRange(host, folder.CPath("src.wav"), folder.CPath("dst2.wav"), 10, 5000), 0);
    EXPECT_TRUE(ReadCanonicalWav(folder.Path("dst2.wav"), rate).empty());

    // A data chunk that claims more than the file holds is copied as far as it goes.
    WriteBytes(folder.Path("cut.wav"),
               RiffWave(Chunk("fmt ", PcmFmt(1, 22050, 16)) + Chunk("data", SamplesToBytes(ramp), 100000)));
    ASSERT_EQ(CopyWaveRange(host, folder.CPath("cut.wav"), folder.CPath("dst3.wav"), 50000, 0), 0);
    EXPECT_EQ(ReadCanonicalWav(folder.Path("dst3.wav"), rate), ramp);
    EXPECT_TRUE(host.errors.empty());
}

TEST(CopyWaveRange, Failures) {
    ScratchFolder folder;
    RecordingHost host;
    EXPECT_EQ(CopyWaveRange(host, folder.CPath("missing.wav"), folder.CPath("dst.wav"), 10, 0), 8);
    WriteWav(folder.Path("src.wav"), 22050, 1, Ramp(100));
    EXPECT_EQ(CopyWaveRange(host, folder.CPath("src.wav"), folder.CPath("none/dst.wav"), 10, 0), 5);
    ASSERT_EQ(host.errors.size(), 2u);
    EXPECT_EQ(host.errors[0], CString("Waveヘッダ情報の取得に失敗しました。"));
    EXPECT_EQ(host.errors[1], CString("ファイルが開けません。"));
}
