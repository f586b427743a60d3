#include "audio/WaveCopy.h"

#include <gtest/gtest.h>

#include "audio/WaveTestSupport.h"

using namespace wavetest;

TEST(CopyWaveRange, CopiesTheRangeAsFarAsTheSamplesGo) {
    ScratchFolder folder;
    const std::vector<int16_t> noise = Noise16(10000);  // at 16000 Hz: 3200-byte steps
    const std::vector<int16_t> few(noise.begin(), noise.begin() + 50);
    WriteWav(folder.Path("src.wav"), 16000, 1, noise);
    // A chunk after "data" is not audio.
    WriteBytes(folder.Path("tagged.wav"),
               RiffWave(Chunk("fmt ", PcmFmt(1, 16000, 16)) + Chunk("data", SamplesToBytes(few)) + Chunk("LIST", "INFOjunk")));
    // A data chunk that claims more than the file holds is copied as far as it goes.
    WriteBytes(folder.Path("cut.wav"), RiffWave(Chunk("fmt ", PcmFmt(1, 16000, 16)) + Chunk("data", SamplesToBytes(few), 100000)));
    const struct {
        const char* source;
        uint32_t length, start;
        std::vector<int16_t> expected;
    } cases[] = {
        {"src.wav", 8000, 2000, std::vector<int16_t>(noise.begin() + 1000, noise.begin() + 5000)},
        {"src.wav", 0, 10, {}},
        {"tagged.wav", 1000, 60, std::vector<int16_t>(few.begin() + 30, few.end())},
        {"tagged.wav", 10, 5000, {}},
        {"cut.wav", 50000, 0, few},
    };
    RecordingHost host;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.source << " " << c.length << " from " << c.start);
        ASSERT_EQ(CopyWaveRange(host, folder.CPath(c.source), folder.CPath("dst.wav"), c.length, c.start), 0);
        uint32_t rate = 0;
        EXPECT_EQ(ReadCanonicalWav(folder.Path("dst.wav"), rate), c.expected);
        EXPECT_EQ(rate, 16000u);
    }
    EXPECT_TRUE(host.errors.empty());

    EXPECT_EQ(CopyWaveRange(host, folder.CPath("missing.wav"), folder.CPath("dst.wav"), 10, 0), 8);
    EXPECT_EQ(CopyWaveRange(host, folder.CPath("src.wav"), folder.CPath("none/dst.wav"), 10, 0), 5);
    EXPECT_EQ(host.errors, (std::vector<CString>{"Waveヘッダ情報の取得に失敗しました。", "ファイルが開けません。"}));
}
