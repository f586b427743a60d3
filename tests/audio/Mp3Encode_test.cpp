// Encoding WAV files whose data chunk ends inside a sample frame: what the encoder cannot
// take must not be offered to it for ever.
#include <gtest/gtest.h>

#include <string>

#include "audio/Mp3Encode.h"
#include "audio/WaveTestSupport.h"

using namespace wavetest;

namespace {

// Presses cancel once the encoding has gone round far longer than any of these files
// needs, so that an encoding that no longer moves ends as cancelled instead of hanging.
class PatientHost : public RecordingHost {
public:
    bool CheckCancel() override { return ++rounds > 100000; }
    long rounds = 0;
};

TEST(Mp3EncodePartSample, ATrailingPartOfASampleFrameIsLeftOut) {
    ScratchFolder folder;
    const struct {
        uint16_t channels;
        uint32_t rate;
        int bitRate;
        uint32_t extra;  // bytes past the last whole frame
    } rows[] = {
        {1, 22050, 32000, 1},  // 44,101 bytes: an odd count
        {2, 44100, 64000, 2},  // half of a stereo pair
        {2, 44100, 64000, 3},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.channels << " channels, " << r.extra << " bytes over");
        std::string data = SamplesToBytes(Noise16(22050 * r.channels));
        data += std::string(r.extra, '\x11');
        WriteBytes(folder.Path("odd.wav"), WaveBytes(PcmFmt(r.channels, r.rate, 16), data));
        PatientHost host;
        EXPECT_EQ(0, EncodeWaveToMp3(host, folder.CPath("odd.wav"), folder.CPath("odd.mp3"), r.bitRate, 1, "c", "t"));
        EXPECT_EQ(0u, host.errors.size());
        EXPECT_TRUE(host.questions.empty());  // finished on its own, never cancelled
        EXPECT_GT(ReadBytes(folder.Path("odd.mp3")).size(), 1000u);
    }
}

}  // namespace
