#include <gtest/gtest.h>

#include "WaveTestSupport.h"
#include "audio/TrailingSilence.h"

using namespace wavetest;

namespace {

constexpr uint32_t kRate = 16000;
constexpr uint32_t kBytesPerSec = kRate * 2;

TEST(TrailingSilence, CountsTheSilentBlocksAtTheEndAPartialOneWhole) {
    const struct {
        const char* script;  // the phrase's audio, in 100 ms blocks (Blocks in WaveTestSupport)
        size_t zeros;        // then this many silent samples
        int threshold;
        uint32_t blocks;
    } cases[] = {
        {"S5 Q3 +800", 0, -35, 0},  // ends on a loud part-block
        {"S5 Q3", 0, -35, 3},
        {"S12 Q3", 800, -35, 4},    // 0.35 s of silence: the partial last block counts whole
        {"Q30", 0, -35, 30},        // silent across three one-second portions
        {"Q5 S1 Q25", 0, -35, 25},  // the run starts again after sound in an earlier portion
        {"S5 Q2", 0, -3, 7},        // half scale (-6 dB) is silent under -3 dB
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        std::vector<int16_t> samples = Blocks(kRate, c.script);
        samples.resize(samples.size() + c.zeros);
        CTrailingSilenceMeter meter(kBytesPerSec, c.threshold);
        const std::string bytes = SamplesToBytes(samples);
        for (size_t pos = 0; pos < bytes.size(); pos += kBytesPerSec)
            meter.Measure(bytes.data() + pos, std::min<size_t>(kBytesPerSec, bytes.size() - pos));
        EXPECT_EQ(meter.GetSilentBlocks(), c.blocks);
        EXPECT_EQ(meter.GetSilenceBytes(), c.blocks * 3200);
    }
}

TEST(TrailingSilence, MeasuresFromTheDataChunkAndSaysWhenTheFileEndsBeforeThePhrase) {
    ScratchFolder folder;
    // A "LIST" chunk before the samples: whatever it holds is never measured.
    const std::vector<int16_t> samples = Blocks(kRate, "S10 Q4");
    const std::string list = Chunk("LIST", std::string(3000, '\x7f'));
    WriteBytes(folder.Path("a.wav"),
               RiffWave(Chunk("fmt ", PcmFmt(1, kRate, 16)) + list + Chunk("data", SamplesToBytes(samples))));
    RecordingHost host;
    uint32_t silence = 99;
    // The last 0.2 s of sound and the silence; then only the silence.
    EXPECT_EQ(MeasureWaveTrailingSilence(host, folder.CPath("a.wav"), 8 * 3200, 6 * 3200, kBytesPerSec, -35, silence), 0);
    EXPECT_EQ(silence, 4u * 3200);
    EXPECT_EQ(MeasureWaveTrailingSilence(host, folder.CPath("a.wav"), 10 * 3200, 4 * 3200, kBytesPerSec, -35, silence), 0);
    EXPECT_EQ(silence, 4u * 3200);
    EXPECT_TRUE(host.errors.empty());

    silence = 99;
    EXPECT_EQ(MeasureWaveTrailingSilence(host, folder.CPath("a.wav"), 10 * 3200, 5 * 3200, kBytesPerSec, -35, silence), 5);
    EXPECT_EQ(MeasureWaveTrailingSilence(host, folder.CPath("none.wav"), 0, 3200, kBytesPerSec, -35, silence), 5);
    EXPECT_EQ(silence, 99u);
    ASSERT_EQ(host.errors.size(), 2u);
    EXPECT_EQ(host.errors[0], "Waveファイルがフレーズの途中で終わっています。\n" + folder.CPath("a.wav"));
    EXPECT_EQ(host.errors[1], "ファイルが開けません。\n" + folder.CPath("none.wav"));
}

}  // namespace
