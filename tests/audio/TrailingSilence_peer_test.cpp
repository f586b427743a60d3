// The trailing silence of a real speech recording, against the block rule worked out
// here from the samples themselves.

#include <gtest/gtest.h>

#include <cmath>

#include "WaveTestSupport.h"
#include "audio/TrailingSilence.h"

using namespace wavetest;

namespace {

// The rule, written out independently: whole dB of the block's peak, truncated toward
// zero (-96 without signal); silent below the threshold; the run at the end counts.
uint32_t ExpectedSilence(const std::vector<int16_t>& samples, size_t first, size_t count, uint32_t rate, int threshold) {
    const size_t block = rate / 10;
    uint32_t run = 0;
    for (size_t b = first; b < first + count; b += block) {
        int lo = 0, hi = 0;
        for (size_t i = b; i < std::min(b + block, first + count); ++i) {
            lo = std::min<int>(lo, samples[i]);
            hi = std::max<int>(hi, samples[i]);
        }
        const double p = -lo > hi ? -lo / 32768.0 : hi / 32767.0;
        const int db = p > 0 ? static_cast<int>(std::trunc(20 * std::log10(p))) : -96;
        run = db < threshold ? run + 1 : 0;
    }
    return static_cast<uint32_t>(run * block * 2);
}

TEST(TrailingSilencePeer, SpeechRecordingMatchesTheBlockRule) {
    if (!HaveTool("espeak-ng") || !HaveTool("sox")) GTEST_SKIP() << "espeak-ng and sox are needed";
    ScratchFolder folder;
    std::string out;
    ASSERT_TRUE(RunCommand("espeak-ng -w '" + folder.Path("raw.wav") +
                               "' 'The phrase ends here, and then the reader pauses for a while.'",
                           out));
    // A canonical 22050 Hz file with a third of a second of silence after the speech.
    ASSERT_TRUE(RunCommand("sox -R '" + folder.Path("raw.wav") + "' -b 16 -c 1 -r 22050 '" + folder.Path("speech.wav") +
                               "' pad 0.2 0.37",
                           out));
    uint32_t rate = 0;
    const std::vector<int16_t> samples = ReadCanonicalWav(folder.Path("speech.wav"), rate);
    ASSERT_EQ(rate, 22050u);
    ASSERT_GT(samples.size(), 22050u);
    const uint32_t bytesPerSec = rate * 2;
    // The whole recording, and a phrase cut inside it (ending in the middle of a word or a pause).
    const std::pair<size_t, size_t> ranges[] = {{0, samples.size()}, {11025, 30000}, {4410, samples.size() - 4410 - 777}};
    for (const auto& [first, count] : ranges) {
        for (int threshold : {-25, -35, -45}) {
            SCOPED_TRACE(std::to_string(first) + "+" + std::to_string(count) + " at " + std::to_string(threshold));
            RecordingHost host;
            uint32_t silence = 0;
            ASSERT_EQ(MeasureWaveTrailingSilence(host, folder.CPath("speech.wav"), static_cast<uint32_t>(first * 2),
                                                 static_cast<uint32_t>(count * 2), bytesPerSec, threshold, silence),
                      0);
            EXPECT_EQ(silence, ExpectedSilence(samples, first, count, rate, threshold));
        }
    }
    // The padded end is silent at every threshold: a real measure, not 0.
    RecordingHost host;
    uint32_t silence = 0;
    MeasureWaveTrailingSilence(host, folder.CPath("speech.wav"), 0, static_cast<uint32_t>(samples.size() * 2),
                               bytesPerSec, -45, silence);
    EXPECT_GE(silence, 3u * 4410);
}

}  // namespace
