// Decoding MP3 files into WAV files for the import: the formats taken, the rate written,
// priming, and the audio against mpg123's decoding of the same stream.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "audio/Mp3Decode.h"
#include "audio/WaveTestSupport.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"

using namespace wavetest;

namespace {

class Mp3DecodeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("lame") || !HaveTool("mpg123")) GTEST_SKIP() << "lame and mpg123 are needed";
        m_previous = CUiScript::SetFaultReporter([](const std::string& m) { ADD_FAILURE() << m; });
    }
    void TearDown() override { CUiScript::SetFaultReporter(m_previous); }

    // An MP3 file of a tone made by lame from a WAV file of `rate` and `channels`.
    std::string MakeMp3(const std::string& name, uint32_t rate, int channels, int kbps, long samples) {
        const std::string wav = folder.Path(name + ".wav"), mp3 = folder.Path(name);
        std::vector<int16_t> mono = TonePcm(440.0, rate, samples, 0.4);
        std::vector<int16_t> pcm;
        for (int16_t v : mono)
            for (int c = 0; c < channels; ++c) pcm.push_back(v);
        WriteWav(wav, rate, static_cast<uint16_t>(channels), pcm);
        std::string out;
        EXPECT_TRUE(RunCommand("lame --silent --cbr -b " + std::to_string(kbps) + (channels == 1 ? " -m m " : " -m s ") +
                                   wav + " " + mp3,
                               out));
        return mp3;
    }
    // The priming streams in a folder of their own, as beside the program.
    CString PrimingFolder() {
        MakeMp3("mp3_32k.data", 22050, 1, 32, 22050);
        MakeMp3("mp3_64k.data", 44100, 1, 64, 44100);
        return CString(folder.Path(""));
    }

    ScratchFolder folder;
    CUiScript::FaultReporter m_previous;
};

// What mpg123 decodes from `mp3`, at `rate` when given; whole frames, as our decoder keeps
// them when the stream carries no gapless block of its own.
std::vector<int16_t> Mpg123(const std::string& mp3, const std::string& wav, uint32_t rate = 0) {
    std::string out;
    EXPECT_TRUE(RunCommand("mpg123 -q --no-gapless -m " + (rate ? "-r " + std::to_string(rate) + " " : std::string()) + "-w " +
                               wav + " " + mp3,
                           out));
    return SoxDecode(wav);
}

TEST_F(Mp3DecodeTest, StreamRateAfterPrimingOr44100Forced) {
    struct row {
        uint32_t rate;
        int kbps;
        uint32_t projectRate, wavRate;
        bool primingThere;
    } rows[] = {
        {44100, 64, 22050, 44100, true},   // the stream's own rate, after priming
        {22050, 32, 16000, 22050, true},
        {22050, 32, 44100, 44100, false},  // forced to 44100 Hz: no priming asked for
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.rate << " Hz " << r.kbps << " kbit/s into " << r.projectRate);
        const CString programFolder = r.primingThere ? PrimingFolder() : CString(folder.Path("none/"));
        const std::string mp3 = MakeMp3("in.mp3", r.rate, 1, r.kbps, r.rate * 3 + 123);
        RecordingHost host;
        Mp3FileInfo info;
        ASSERT_EQ(0, GetMp3FileInfo(host, CString(mp3), info));
        EXPECT_EQ(uint32_t(r.kbps * 1000), info.bitRate);
        EXPECT_EQ(r.rate, info.sampleRate);
        EXPECT_EQ(1u, info.channels);
        ASSERT_EQ(0, DecodeMp3FileToWave(host, CString(mp3), folder.CPath("out.wav"), "cap", "text", r.projectRate,
                                         programFolder));
        EXPECT_TRUE(host.errors.empty());
        EXPECT_EQ(1, host.begun);
        EXPECT_EQ(1, host.ended);
        uint32_t rate = 0;
        const std::vector<int16_t> ours = ReadCanonicalWav(folder.Path("out.wav"), rate);
        EXPECT_EQ(r.wavRate, rate);
        const std::vector<int16_t> ref = Mpg123(mp3, folder.Path("ref.wav"), r.wavRate == r.rate ? 0 : r.wavRate);
        if (r.wavRate == r.rate) {
            // the same stream decoded by another decoder, equal to rounding; lame's Info frame
            // may decode here as one silent frame that mpg123 drops
            const size_t frame = ours.size() - ref.size();
            ASSERT_TRUE(frame == 0 || frame == (r.rate >= 32000 ? 1152u : 576u)) << frame;
            int worst = 0;
            for (size_t i = 0; i < ref.size(); ++i) worst = std::max(worst, std::abs(ours[i + frame] - ref[i]));
            EXPECT_LE(worst, 2);
        } else {
            EXPECT_NEAR(double(ref.size()), double(ours.size()), 2 * 1152);
        }
    }
}

TEST_F(Mp3DecodeTest, RefusesOtherFormatsAndMissingPriming) {
    struct row {
        uint32_t rate;
        int channels, kbps;
        uint32_t projectRate;
        int result;
        const char* message;
    } rows[] = {
        {44100, 2, 64, 22050, 8, "このファイルはインポート出来ません。"},
        {44100, 1, 128, 22050, 8, "このファイルはインポート出来ません。"},
        {44100, 1, 64, 22050, 1, "MP3Decoderの初期化に失敗しました。"},  // no priming stream beside the program
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.message);
        const std::string mp3 = MakeMp3("bad.mp3", r.rate, r.channels, r.kbps, r.rate);
        RecordingHost host;
        CUiScript script;
        if (r.result == 1) script.AnswerBox(IDOK);  // the players' box about the priming stream
        EXPECT_EQ(r.result, DecodeMp3FileToWave(host, CString(mp3), folder.CPath("bad.wav"), "c", "t", r.projectRate,
                                                CString(folder.Path("none/"))));
        ASSERT_EQ(1u, host.errors.size());
        EXPECT_EQ(CString(r.message), host.errors[0]);
        if (r.result == 1) {
            EXPECT_EQ(std::vector<CString>{CString("ＭＰ３ファイルオープンＮＧ")}, script.BoxTexts());
        }
    }
    RecordingHost host;
    Mp3FileInfo info;
    EXPECT_EQ(1, GetMp3FileInfo(host, folder.CPath("missing.mp3"), info));
    ASSERT_EQ(1u, host.errors.size());
    EXPECT_NE(-1, host.errors[0].Find("missing.mp3"));
}

// Cancelling keeps a valid WAV file of what was decoded so far.
TEST_F(Mp3DecodeTest, CancelKeepsAValidFile) {
    const CString programFolder = PrimingFolder();
    const std::string mp3 = MakeMp3("long.mp3", 22050, 1, 32, 22050 * 10);
    RecordingHost host;
    host.cancelAfter = 3;
    EXPECT_EQ(2, DecodeMp3FileToWave(host, CString(mp3), folder.CPath("part.wav"), "c", "t", 22050, programFolder));
    EXPECT_EQ(1u, host.questions.size());
    uint32_t rate = 0;
    const std::vector<int16_t> part = ReadCanonicalWav(folder.Path("part.wav"), rate);
    EXPECT_EQ(22050u, rate);
    EXPECT_GT(part.size(), 0u);
    EXPECT_LT(part.size(), size_t(22050 * 9));
}

}  // namespace
