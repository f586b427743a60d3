// One phrase of an MP3 project: decoded into a WAV file for the phrase split, and its
// trailing silence measured in memory.
#include <gtest/gtest.h>

#include <string>

#include "audio/Mp3Decode.h"
#include "audio/Mp3Encode.h"
#include "audio/WaveTestSupport.h"

using namespace wavetest;

namespace {

const CString kProgramFolder(KORVANE_BUILD_DIR "/");  // the priming streams

class Mp3Phrase : public ::testing::Test {
protected:
    // A 22050 Hz, 32 kbit/s project file of `script` (100 ms blocks, see Blocks).
    CString Mp3(const std::string& script) {
        WriteWav(folder.Path("p.wav"), 22050, 1, Blocks(22050, script));
        RecordingHost host;
        EXPECT_EQ(0, EncodeWaveToMp3(host, folder.CPath("p.wav"), folder.CPath("p.mp3"), 32000, 1, "c", "t"));
        return folder.CPath("p.mp3");
    }
    ScratchFolder folder;
};

constexpr uint32_t kBlock = 4410;  // 100 ms of the decoded 22050 Hz stream

TEST_F(Mp3Phrase, DecodedPartHasItsLengthAndSilenceBeyondTheStream) {
    const CString mp3 = Mp3("S10");  // one second of tone
    RecordingHost host;
    const uint32_t length = 30 * kBlock;  // three seconds asked of a one-second stream
    ASSERT_EQ(0, DecodeMp3PhraseToWave(host, mp3, folder.CPath("part.wav"), length, 2 * kBlock, kProgramFolder));
    uint32_t rate = 0;
    const std::vector<int16_t> part = ReadCanonicalWav(folder.Path("part.wav"), rate);
    EXPECT_EQ(22050u, rate);
    ASSERT_EQ(length / 2, part.size());
    EXPECT_GT(ToneAmplitude(part, 1000.0, 22050, 1000, 4410), 0.3);  // the tone where the part begins
    for (size_t i = part.size() - 11025; i < part.size(); ++i) ASSERT_EQ(0, part[i]) << i;
    EXPECT_TRUE(host.errors.empty());
}

TEST_F(Mp3Phrase, TrailingSilenceCountsTheQuietBlocksAtItsEnd) {
    const CString mp3 = Mp3("S10 Q8 S10");
    const struct {
        uint32_t start, length;
        uint32_t minBlocks, maxBlocks;
    } rows[] = {
        {0, 18 * kBlock, 6, 8},           // tone then 0.8 s of silence (the codec smears an edge)
        {0, 10 * kBlock, 0, 0},           // ends in the tone
        {20 * kBlock, 8 * kBlock, 0, 0},  // starts and ends in the second tone
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.start << "+" << r.length);
        RecordingHost host;
        uint32_t silence = 12345;
        ASSERT_EQ(0, MeasureMp3TrailingSilence(host, mp3, r.start, r.length, -35, kProgramFolder, silence));
        EXPECT_EQ(0u, silence % kBlock);
        EXPECT_GE(silence / kBlock, r.minBlocks);
        EXPECT_LE(silence / kBlock, r.maxBlocks);
    }
    RecordingHost host;
    uint32_t silence = 7;
    EXPECT_EQ(1, MeasureMp3TrailingSilence(host, folder.CPath("none.mp3"), 0, kBlock, -35, kProgramFolder, silence));
    EXPECT_EQ(7u, silence);
    ASSERT_EQ(1u, host.errors.size());
    EXPECT_NE(-1, host.errors[0].Find("none.mp3"));
}

}  // namespace
