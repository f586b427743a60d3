// Encoding WAV files into the MP3 files of MP3 projects: the formats taken, the stream's
// format, validity for outside decoders, and the audio kept.
#include <gtest/gtest.h>

#include <string>

#include "audio/Mp3Decode.h"
#include "audio/Mp3Encode.h"
#include "audio/WaveTestSupport.h"

using namespace wavetest;

namespace {

class Mp3EncodeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("ffmpeg") || !HaveTool("ffprobe")) GTEST_SKIP() << "ffmpeg is needed";
    }
    std::string Wav(const std::string& name, uint32_t rate, uint16_t channels, double seconds) {
        std::vector<int16_t> mono = TonePcm(440.0, rate, long(rate * seconds), 0.5), pcm;
        for (int16_t v : mono)
            for (int c = 0; c < channels; ++c) pcm.push_back(v);
        WriteWav(folder.Path(name), rate, channels, pcm);
        return folder.Path(name);
    }
    ScratchFolder folder;
};

std::string Probe(const std::string& mp3, const std::string& entry) {
    std::string out;
    RunCommand("ffprobe -v error -select_streams a:0 -show_entries stream=" + entry + " -of csv=p=0 " + mp3, out);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

TEST_F(Mp3EncodeTest, ProjectStreamsFromEveryRateAndLayoutTheEncoderTakes) {
    struct row {
        uint32_t rate;
        uint16_t channels;
        int bitRate;
        const char* outRate;
    } rows[] = {
        {22050, 1, 32000, "22050"},
        {44100, 1, 64000, "44100"},
        {44100, 1, 32000, "22050"},  // the encoder converts the rate itself
        {44100, 2, 64000, "44100"},  // and mixes two channels down
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.rate << " " << r.channels << " " << r.bitRate);
        const std::string wav = Wav("in.wav", r.rate, r.channels, 2.0), mp3 = folder.Path("out.mp3");
        RecordingHost host;
        ASSERT_EQ(0, EncodeWaveToMp3(host, CString(wav), CString(mp3), r.bitRate, 1, "c", "t"));
        EXPECT_TRUE(host.errors.empty());
        EXPECT_EQ(1, host.begun);
        std::string err;
        EXPECT_TRUE(RunCommand("ffmpeg -v error -err_detect crccheck+bitstream+buffer+explode -xerror -i " + mp3 +
                                   " -f null - 2>&1",
                               err));
        EXPECT_EQ("", err);
        EXPECT_EQ(r.outRate, Probe(mp3, "sample_rate"));
        EXPECT_EQ("1", Probe(mp3, "channels"));
        EXPECT_EQ(std::to_string(r.bitRate), Probe(mp3, "bit_rate"));
        // the tone comes back at its level through our own decoder
        ASSERT_EQ(0, DecodeMp3FileToWave(host, CString(mp3), folder.CPath("back.wav"), "c", "t", 44100, CString()));
        uint32_t rate = 0;
        const std::vector<int16_t> back = ReadCanonicalWav(folder.Path("back.wav"), rate);
        ASSERT_GT(back.size(), size_t(44100));
        EXPECT_NEAR(0.5, ToneAmplitude(back, 440.0, rate, 22050, 22050), 0.03);
    }
}

TEST_F(Mp3EncodeTest, RefusedSourcesAndSettings) {
    struct row {
        std::string source;
        int bitRate, quality, result;
        const char* message;  // null: none
    } rows[] = {
        {"", 32000, 1, 11, "ファイルパスが設定されていません。"},
        {Wav("a16k.wav", 16000, 1, 0.5), 32000, 1, 8, "このファイルはインポート出来ません。"},
        {Wav("a22k.wav", 22050, 1, 0.5), 64000, 1, 1, "MP3出力フォーマットの設定に失敗しました。"},
        {Wav("b22k.wav", 22050, 1, 0.5), 48000, 1, 1, "MP3フォーマットエラー"},
        {Wav("c22k.wav", 22050, 1, 0.5), 32000, 3, 1, "エンコーダーの設定に失敗しました。"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.message);
        RecordingHost host;
        EXPECT_EQ(r.result, EncodeWaveToMp3(host, CString(r.source), folder.CPath("x.mp3"), r.bitRate, r.quality, "c", "t"));
        ASSERT_EQ(1u, host.errors.size());
        EXPECT_EQ(CString(r.message), host.errors[0]);
    }
    RecordingHost host;
    EXPECT_EQ(5, EncodeWaveToMp3(host, folder.CPath("none.wav"), folder.CPath("x.mp3"), 32000, 1, "c", "t"));
    EXPECT_EQ(1, EncodeWaveToMp3(host, CString(Wav("d.wav", 22050, 1, 0.5)), folder.CPath("no/such/x.mp3"), 32000, 1,
                                 "c", "t"));
    ASSERT_EQ(2u, host.errors.size());
    EXPECT_NE(-1, host.errors[1].Find("no/such/x.mp3"));  // the target that could not be made is named
}

// An empty data chunk gives only what the flush returns; a cancel keeps what was written.
TEST_F(Mp3EncodeTest, EmptySourceAndCancel) {
    RecordingHost host;
    ASSERT_EQ(0, EncodeWaveToMp3(host, CString(Wav("empty.wav", 22050, 1, 0.0)), folder.CPath("e.mp3"), 32000, 1, "c", "t"));
    EXPECT_TRUE(host.errors.empty());
    RecordingHost cancelling;
    cancelling.cancelAfter = 2;
    EXPECT_EQ(2, EncodeWaveToMp3(cancelling, CString(Wav("long.wav", 44100, 1, 20.0)), folder.CPath("l.mp3"), 64000, 0,
                                 "c", "t"));
    EXPECT_EQ(1u, cancelling.questions.size());
}

}  // namespace
