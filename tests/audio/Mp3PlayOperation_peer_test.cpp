// The MP3 player on the virtual card: what it plays is what the decoder gives, in buffers
// of 100 ms; streams it cannot prime are refused with their messages.
#include "audio/Mp3PlayOperation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/Mp3Decode.h"
#include "audio/PlayerTestSupport.h"
#include "audio/WaveTestSupport.h"
#include "platform/MessageBox.h"

using namespace playertest;
using namespace wavetest;

namespace {

class Mp3Owner : public IWaveOutOwner {
public:
    explicit Mp3Owner(CMp3PlayOperation& player) : m_player(player) {}
    void OnWaveOutDone(HWAVEOUT device, WAVEHDR* header) override {
        results.push_back(m_player.OnBufferDone(device, header));
    }
    std::vector<int> results;

private:
    CMp3PlayOperation& m_player;
};

class Mp3PlayTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("lame")) GTEST_SKIP() << "lame is needed to make the streams";
        ASSERT_EQ(kAudioOk, m_player.Initialize());
        MakeMp3("mp3_32k.data", 22050, 32, 0.5);
        MakeMp3("mp3_64k.data", 44100, 64, 0.5);
        m_player.SetDataFolder(CString(m_folder.Path("")));
    }

    std::string MakeMp3(const std::string& name, uint32_t rate, int kbps, double seconds) {
        const std::string wav = m_folder.Path(name + ".wav"), mp3 = m_folder.Path(name);
        WriteWav(wav, rate, 1, TonePcm(330.0, rate, long(rate * seconds), 0.3));
        std::string out;
        EXPECT_TRUE(RunCommand("lame --silent --cbr -m m -b " + std::to_string(kbps) + " " + wav + " " + mp3, out));
        return mp3;
    }

    int Play(const std::string& path, uint32_t rate, uint32_t startMs, uint32_t length) {
        if (int r = m_player.SetSampleRate(rate)) return r;
        if (int r = m_player.SetSpeed(2)) return r;
        if (int r = m_player.SetRange(startMs, length)) return r;
        if (int r = m_player.OpenFile(path.c_str())) return r;
        if (int r = m_player.QueryDevice(WAVE_MAPPER)) return r;
        if (int r = m_player.OpenDevice(WAVE_MAPPER, &m_owner)) return r;
        return m_player.Start();
    }

    void StopAndClose() {
        EXPECT_EQ(kAudioOk, m_player.Stop());
        EXPECT_EQ(kAudioOk, m_player.CloseFile());
        EXPECT_EQ(kAudioOk, m_player.CloseDevice());
    }

    ScratchFolder m_folder;
    VirtualAudio m_audio;
    CMp3PlayOperation m_player;
    Mp3Owner m_owner{m_player};
};

TEST_F(Mp3PlayTest, PlaysWhatTheDecoderGivesIn100MsBuffers) {
    for (auto [rate, kbps] : {std::pair{22050u, 32}, std::pair{44100u, 64}}) {
        SCOPED_TRACE(rate);
        m_audio.card.ClearPlayed();
        const std::string mp3 = MakeMp3("p.mp3", rate, kbps, 3.0);
        RecordingHost host;
        ASSERT_EQ(0, DecodeMp3FileToWave(host, CString(mp3), m_folder.CPath("ref.wav"), "c", "t", 22050,
                                         CString(m_folder.Path(""))));
        uint32_t refRate = 0;
        const std::string ref = SamplesToBytes(ReadCanonicalWav(m_folder.Path("ref.wav"), refRate));
        const uint32_t perBuffer = rate / 5, length = 12 * perBuffer + 778;
        ASSERT_EQ(kAudioOk, Play(mp3, rate, 0, length));
        PlayOut(m_audio);
        const std::vector<uint8_t> played = m_audio.card.Played();
        ASSERT_EQ(size_t(length), played.size());
        EXPECT_EQ(std::vector<uint8_t>(ref.begin(), ref.begin() + long(length)), played);
        std::vector<size_t> sizes(12, perBuffer);
        sizes.push_back(778);
        EXPECT_EQ(sizes, m_audio.card.PlayedSizes());
        EXPECT_EQ(kAudioNothingQueued, m_player.GetPlayState());
        StopAndClose();
    }
    EXPECT_TRUE(m_audio.TakeBoxTexts().empty());
}

// A part that runs past the end of the stream plays the stream's last frame and ends
// there, from the very sample its start names; one that starts past it queues nothing.
TEST_F(Mp3PlayTest, PartsEndWithTheStream) {
    const std::string mp3 = MakeMp3("short.mp3", 22050, 32, 1.0);
    RecordingHost host;
    ASSERT_EQ(0, DecodeMp3FileToWave(host, CString(mp3), m_folder.CPath("ref.wav"), "c", "t", 22050,
                                     CString(m_folder.Path(""))));
    uint32_t refRate = 0;
    const std::string ref = SamplesToBytes(ReadCanonicalWav(m_folder.Path("ref.wav"), refRate));
    ASSERT_EQ(kAudioNothingQueued, Play(mp3, 22050, 500, 10 * 44100));  // fewer than ten buffers to fill
    PlayOut(m_audio);
    const std::vector<uint8_t> played = m_audio.card.Played();
    EXPECT_EQ(std::vector<uint8_t>(ref.begin() + 22050, ref.end()), played);  // 500 ms: 22050 bytes
    EXPECT_EQ(kAudioNothingQueued, m_player.GetPlayState());
    m_player.Stop();
    m_player.CloseFile();
    m_player.CloseDevice();
    m_audio.card.ClearPlayed();
    EXPECT_EQ(kAudioNothingQueued, Play(mp3, 22050, 5000, 44100));
    EXPECT_EQ(0u, m_audio.card.QueuedCount());
    StopAndClose();
}

TEST_F(Mp3PlayTest, AStreamOfAnotherBitRateCannotBePrimed) {
    const std::string mp3 = MakeMp3("other.mp3", 44100, 128, 1.0);
    m_audio.script->AnswerBox(IDOK).AnswerBox(IDOK);
    EXPECT_EQ(kAudioFailed, Play(mp3, 44100, 0, 1000));
    EXPECT_EQ((std::vector<CString>{CString("ＭＰ３ファイルオープンＮＧ"), CString("MP3Decoderの初期化に失敗しました。")}),
              m_audio.TakeBoxTexts());
    EXPECT_EQ(kAudioOk, m_player.CloseFile());
}

}  // namespace
