// One phrase of an MP3 project: decoded into a WAV file for the phrase split, and its
// trailing silence measured in memory.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "audio/Mp3Decode.h"
#include "audio/Mp3Encode.h"
#include "audio/Mp3Part.h"
#include "platform/Riff.h"
#include "audio/WaveTestSupport.h"

using namespace wavetest;

namespace {

const CString kProgramFolder(KORVANE_BUILD_DIR "/");  // the priming streams

class Mp3Phrase : public ::testing::Test {
protected:
    // A 22050 Hz, 32 kbit/s (or 44100 Hz, 64 kbit/s) project file of `script` (100 ms
    // blocks, see Blocks).
    CString Mp3(const std::string& script, uint32_t rate = 22050) {
        WriteWav(folder.Path("p.wav"), rate, 1, Blocks(rate, script));
        RecordingHost host;
        EXPECT_EQ(0, EncodeWaveToMp3(host, folder.CPath("p.wav"), folder.CPath("p.mp3"), rate == 44100 ? 64000 : 32000,
                                     1, "c", "t"));
        return folder.CPath("p.mp3");
    }
    ScratchFolder folder;
};

constexpr uint32_t kBlock = 4410;  // 100 ms of the decoded 22050 Hz stream

// A part of the stream is decoded to its length; one whose end lies within a frame past
// the stream's end is the rounding of a length, filled with silence; one that runs further
// is a recording cut short: neither decoded nor measured, and without a box (the caller
// names the phrase).
TEST_F(Mp3Phrase, APartThatRunsPastTheStreamByMoreThanAFrameIsCut) {
    for (const uint32_t rate : {22050u, 44100u}) {  // a frame of MPEG-2 or of MPEG-1
        SCOPED_TRACE(rate);
        const CString mp3 = Mp3("S10", rate);  // one second of tone
        const uint32_t block = rate / 5;       // 100 ms of the decoded stream
        uint64_t stream = 0;
        uint32_t frame = 0;
        {
            int error = 0;
            std::unique_ptr<CRiffFile> file = CRiffFile::Open(mp3, RiffOpenMode::Read, error);
            ASSERT_TRUE(file && MeasureMp3Frames(*file, stream, frame));
        }
        ASSERT_EQ(rate == 44100 ? 2304u : 1152u, frame);
        const uint32_t start = 2 * block, held = static_cast<uint32_t>(stream) - start;
        const struct {
            uint32_t start, length;
            int result;
        } rows[] = {
            {start, 5 * block, 0},
            {start, held, 0},                                  // to the stream's last sample
            {start, held + frame, 0},                          // a frame past it: rounding
            {start, held + frame + 2, kMp3DecodeCut},          // one sample more
            {start, 30 * block, kMp3DecodeCut},                // three seconds asked of a one-second stream
            {start + held + frame, 3 * block, kMp3DecodeCut},  // wholly past it
        };
        for (const auto& r : rows) {
            SCOPED_TRACE(testing::Message() << r.start << "+" << r.length);
            RecordingHost host;
            std::remove(folder.Path("part.wav").c_str());
            EXPECT_EQ(r.result, DecodeMp3PhraseToWave(host, mp3, folder.CPath("part.wav"), r.length, r.start, kProgramFolder));
            uint32_t silence = 777;
            EXPECT_EQ(r.result, MeasureMp3TrailingSilence(host, mp3, r.start, r.length, -35, kProgramFolder, silence));
            EXPECT_TRUE(host.errors.empty());
            if (r.result != 0) {
                EXPECT_EQ(777u, silence);
                continue;
            }
            uint32_t got = 0;
            const std::vector<int16_t> part = ReadCanonicalWav(folder.Path("part.wav"), got);
            EXPECT_EQ(rate, got);
            ASSERT_EQ(r.length / 2, part.size());
            EXPECT_GT(ToneAmplitude(part, 1000.0, rate, 1000, 4410), 0.3);  // the tone where the part begins
            for (size_t i = held / 2; i < part.size(); ++i) ASSERT_EQ(0, part[i]) << i;
        }
        // A disk that fills while the part is written is said once: the part, short of its
        // length, is not called cut as well.
        RecordingHost host;
        rlimit was{};
        ASSERT_EQ(0, ::getrlimit(RLIMIT_FSIZE, &was));
        const rlimit small{4096, was.rlim_max};
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead
        ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &small));
        const int full = DecodeMp3PhraseToWave(host, mp3, folder.CPath("part.wav"), held, start, kProgramFolder);
        ::setrlimit(RLIMIT_FSIZE, &was);
        std::signal(SIGXFSZ, handler);
        EXPECT_EQ(1, full);
        EXPECT_EQ(1u, host.errors.size());
    }
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
