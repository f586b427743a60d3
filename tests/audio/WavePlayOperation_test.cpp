#include "audio/WavePlayOperation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "audio/PlayerTestSupport.h"
#include "audio/WaveTestSupport.h"
#include "platform/MessageBox.h"

using namespace playertest;
using namespace wavetest;

namespace {

class WavePlayTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(m_player.Initialize(), kAudioOk); }

    // A mono 16-bit file of `seconds` at `rate`, with `after` behind its data; the data bytes are kept.
    std::string MakeWav(uint32_t rate, double seconds, const std::string& after = "") {
        m_data = SamplesToBytes(Noise16(static_cast<size_t>(rate * seconds)));
        WriteBytes(m_folder.Path("p.wav"), RiffWave(Chunk("fmt ", PcmFmt(1, rate, 16)) + Chunk("data", m_data) + after));
        return m_folder.Path("p.wav");
    }

    // The owner's full start sequence; the result of the first step that fails, or Start's.
    int Play(const std::string& path, uint32_t rate, int speed, uint32_t start, uint32_t length) {
        if (int r = m_player.SetSampleRate(rate)) return r;
        if (int r = m_player.SetSpeed(speed)) return r;
        if (int r = m_player.SetRange(start, length)) return r;
        if (int r = m_player.OpenFile(path.c_str())) return r;
        if (int r = m_player.QueryDevice(WAVE_MAPPER)) return r;
        if (int r = m_player.OpenDevice(WAVE_MAPPER, &m_owner)) return r;
        return m_player.Start();
    }

    std::vector<uint8_t> DataBytes(size_t start, size_t length) const {
        return std::vector<uint8_t>(m_data.begin() + static_cast<std::ptrdiff_t>(start),
                                    m_data.begin() + static_cast<std::ptrdiff_t>(start + length));
    }

    void StopAndClose() {
        EXPECT_EQ(m_player.Stop(), kAudioOk);
        EXPECT_EQ(m_player.CloseFile(), kAudioOk);
        EXPECT_EQ(m_player.CloseDevice(), kAudioOk);
    }

    // Opening `path` fails with `result` and shows `message`.
    void ExpectOpenFailure(const char* path, int result, const char* message) {
        SCOPED_TRACE(path);
        m_audio.script->AnswerBox(IDOK);
        EXPECT_EQ(m_player.OpenFile(path), result);
        EXPECT_EQ(m_audio.TakeBoxTexts(), std::vector<CString>{CString(message)});
        EXPECT_EQ(m_player.CloseFile(), kAudioOk);
    }

    ScratchFolder m_folder;
    VirtualAudio m_audio;
    CWavePlayOperation m_player;
    PlayerOwner m_owner{m_player};
    std::string m_data;
};

// Output duration / input duration of the eight speeds.
constexpr double kSpeedRatios[8] = {1.3333333333333, 1.0, 0.8, 0.66666666666667, 0.57142857142857, 0.49977324263038,
                                    0.4, 0.33333333333333};

}  // namespace

TEST_F(WavePlayTest, APhrasePlaysByteExactlyAtNormalSpeed) {
    for (uint32_t rate : {16000u, 22050u, 44100u}) {
        SCOPED_TRACE(rate);
        m_audio.card.ClearPlayed();
        m_owner.results.clear();
        const uint32_t perBuffer = rate / 5;  // 100 ms of 16-bit mono
        const uint32_t start = 2 * 1237, length = 14 * perBuffer + 1234;
        ASSERT_EQ(Play(MakeWav(rate, 3.0), rate, 2, start, length), kAudioOk);
        EXPECT_EQ(m_audio.card.QueuedCount(), 10u);
        PlayOut(m_audio);
        EXPECT_EQ(m_audio.card.Played(), DataBytes(start, length));
        std::vector<size_t> sizes(14, perBuffer);
        sizes.push_back(1234);
        EXPECT_EQ(m_audio.card.PlayedSizes(), sizes);
        // Five refills, then the range is used up for each of the ten buffers.
        EXPECT_EQ(std::count(m_owner.results.begin(), m_owner.results.end(), kAudioOk), 5);
        EXPECT_EQ(std::count(m_owner.results.begin(), m_owner.results.end(), kAudioNothingQueued), 10);
        // Used up, but the file and the device stay open for the next range.
        EXPECT_EQ(m_player.GetPlayState(), kAudioNothingQueued);
        EXPECT_EQ(m_player.GetDeviceState(), kAudioDeviceOpen);
        StopAndClose();
        EXPECT_TRUE(m_player.GetPath().IsEmpty());
    }
    EXPECT_TRUE(m_audio.TakeBoxTexts().empty());
}

TEST_F(WavePlayTest, FurtherRangesOfTheFilePlayWithoutReopeningAndEndWithTheData) {
    // 32000 bytes of samples, then a chunk that is not audio.
    const std::string path = MakeWav(16000, 1.0, Chunk("LIST", "INFOISFT" + Le32(6) + std::string("tool\0\0", 6)));
    ASSERT_EQ(Play(path, 16000, 2, 0, 20000), kAudioNothingQueued);
    PlayOut(m_audio);
    const struct {
        uint32_t start, length, playedLength;
    } ranges[] = {
        {100, 7000, 7000},     // fewer than ten buffers: Start queues what there is and says the range ended
        {30000, 50000, 2000},  // past the end of the data: ends with the data
        {40000, 100, 0},       // beyond the data: nothing
    };
    for (const auto& r : ranges) {
        SCOPED_TRACE(r.start);
        m_audio.card.ClearPlayed();
        ASSERT_EQ(m_player.SetRange(r.start, r.length), kAudioOk);
        EXPECT_EQ(m_player.Start(), kAudioNothingQueued);
        PlayOut(m_audio);
        EXPECT_EQ(m_audio.card.Played(), DataBytes(r.start, r.playedLength));
    }
    EXPECT_EQ(m_audio.card.OpensSoFar(), 1u);
    StopAndClose();
}

TEST_F(WavePlayTest, EachSpeedPlaysTheStretchTableCountPerBuffer) {
    for (int column = 0; column < 3; ++column) {
        const uint32_t rate = kStretchRates[column];
        const std::string path = MakeWav(rate, 4.0);
        for (int speed = 1; speed <= 8; ++speed) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, speed " << speed);
            m_audio.card.ClearPlayed();
            ASSERT_EQ(Play(path, rate, speed, 0, static_cast<uint32_t>(m_data.size())), kAudioOk);
            PlayOut(m_audio);
            // One buffer per 100 ms read; behind them, what the stretch still held when the
            // data ran out, so that the whole range is heard: the lead-in silence (up to the
            // first segment's place, 6000 samples) and the input stretched, to within one
            // segment.
            std::vector<size_t> sizes = m_audio.card.PlayedSizes();
            ASSERT_GE(sizes.size(), 40u);
            EXPECT_EQ(std::vector<size_t>(sizes.begin(), sizes.begin() + 40),
                      std::vector<size_t>(40, 2 * kStretchTable[speed - 1][column]));
            if (speed == 2) {
                EXPECT_EQ(sizes.size(), 40u);
            } else {
                const double hop = std::floor(1000.0 / kSpeedRatios[speed - 1]);
                const double expected = 6000.0 + static_cast<double>(m_data.size() / 2) * 1000.0 / hop;
                const double played = static_cast<double>(std::accumulate(sizes.begin(), sizes.end(), size_t{0}) / 2);
                EXPECT_NEAR(played, expected, 1200.0);
            }
            StopAndClose();
        }
    }
}

TEST_F(WavePlayTest, AnEmptyRangeOrUnknownSpeedIsRefused) {
    EXPECT_EQ(m_player.SetSpeed(9), kAudioFailed);
    EXPECT_EQ(m_player.SetSpeed(0), kAudioFailed);
    // The empty range keeps the previous one.
    ASSERT_EQ(m_player.SetRange(6400, 3200), kAudioOk);
    EXPECT_EQ(m_player.SetRange(100, 0), kAudioNothingQueued);
    const std::string path = MakeWav(16000, 1.0);
    ASSERT_EQ(m_player.OpenFile(path.c_str()), kAudioOk);
    ASSERT_EQ(m_player.OpenDevice(WAVE_MAPPER, &m_owner), kAudioOk);
    EXPECT_EQ(m_player.Start(), kAudioNothingQueued);
    PlayOut(m_audio);
    EXPECT_EQ(m_audio.card.Played(), DataBytes(6400, 3200));
    StopAndClose();
}

TEST_F(WavePlayTest, EveryOpenFailureShowsItsMessage) {
    const std::string fmt = Chunk("fmt ", PcmFmt(1, 16000, 16)), data = Chunk("data", SamplesToBytes(Noise16(100)));
    const struct {
        std::string bytes;
        int result;
        const char* message;
    } cases[] = {
        {"RIFF" + Le32(4 + 8 + 200) + "AVI " + data, kAudioNoRiffChunk, "ＲＩＦＦチャンク検索ＮＧ"},
        {RiffWave(data), kAudioNoFmtChunk, "ＦＭＴチャンク検索ＮＧ"},
        // The format chunk claims 16 bytes, the file ends after 10 of them.
        {"RIFF" + Le32(4 + 8 + 16) + "WAVE" + fmt.substr(0, 18), kAudioCannotReadFormat, "Ｗａｖｅフォーマット読込みＮＧ"},
        {RiffWave(fmt + Chunk("LIST", "INFO")), kAudioNoDataChunk, "ｄａｔａチャンク検索ＮＧ"},
    };
    ExpectOpenFailure("", kAudioEmptyPath, "ファイル名ＮＧ");
    ExpectOpenFailure(m_folder.Path("missing.wav").c_str(), kAudioCannotOpenFile, "ＷａｖｅファイルオープンＮＧ");
    for (const auto& c : cases) {
        WriteBytes(m_folder.Path("bad.wav"), c.bytes);
        ExpectOpenFailure(m_folder.Path("bad.wav").c_str(), c.result, c.message);
    }
    // Formats the buffers cannot hold, whatever the header claims per second.
    for (const std::string& foreign : {PcmFmt(2, 44100, 16), PcmFmt(1, 22050, 8), FmtRecord(3, 1, 44100, 176400, 4, 32),
                                       FmtRecord(1, 1, 600000, 32000, 2, 16), std::string("\1\0\1\0", 4)}) {
        WriteBytes(m_folder.Path("foreign.wav"), RiffWave(Chunk("fmt ", foreign) + data));
        ExpectOpenFailure(m_folder.Path("foreign.wav").c_str(), kAudioCannotOpenFile, "ＷａｖｅファイルオープンＮＧ");
    }
    EXPECT_EQ(m_audio.script->Records().back().style, MB_OK | MB_ICONWARNING);
}

TEST_F(WavePlayTest, BytesPerSecondComesFromTheRateNotTheHeader) {
    m_data = SamplesToBytes(Noise16(44100));
    // Ten megabytes a second would have one read overflow a buffer; nothing a second would play nothing.
    for (uint32_t claimed : {10000000u, 0u}) {
        SCOPED_TRACE(claimed);
        m_audio.card.ClearPlayed();
        WriteBytes(m_folder.Path("lying.wav"), WaveBytes(FmtRecord(1, 1, 44100, claimed, 2, 16), m_data));
        ASSERT_EQ(Play(m_folder.Path("lying.wav"), 44100, 2, 0, 88200), kAudioOk);
        PlayOut(m_audio);
        EXPECT_EQ(m_audio.card.Played(), DataBytes(0, 88200));
        EXPECT_EQ(m_audio.card.PlayedSizes(), std::vector<size_t>(10, 8820));
        StopAndClose();
    }
}
