#include "audio/WavePlayOperation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "audio/PlayerTestSupport.h"
#include "audio/WaveTestSupport.h"
#include "platform/MessageBox.h"

using namespace playertest;
using namespace wavetest;

namespace {

// Samples that differ from their neighbours, so that a byte out of place shows.
std::vector<int16_t> Ramp(size_t count) {
    std::vector<int16_t> samples(count);
    uint32_t x = 12345;
    for (size_t i = 0; i < count; ++i) {
        x = x * 1103515245u + 12345u;
        samples[i] = static_cast<int16_t>(x >> 16);
    }
    return samples;
}

class WavePlayTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(m_player.Initialize(), kAudioOk); }

    // A mono 16-bit file of `seconds` at `rate`; its data bytes are kept.
    std::string MakeWav(uint32_t rate, double seconds, const std::string& name = "p.wav") {
        const std::vector<int16_t> samples = Ramp(static_cast<size_t>(rate * seconds));
        m_data = SamplesToBytes(samples);
        WriteWav(m_folder.Path(name), rate, 1, samples);
        return m_folder.Path(name);
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

    ScratchFolder m_folder;
    VirtualAudio m_audio;
    CWavePlayOperation m_player;
    PlayerOwner m_owner{m_player};
    std::string m_data;
};

}  // namespace

TEST_F(WavePlayTest, APhrasePlaysByteExactlyAtNormalSpeed) {
    for (uint32_t rate : {16000u, 22050u, 44100u}) {
        SCOPED_TRACE(rate);
        m_audio.card.ClearPlayed();
        m_owner.results.clear();
        const std::string path = MakeWav(rate, 3.0);
        const uint32_t perBuffer = rate / 5;  // 100 ms of 16-bit mono
        const uint32_t start = 2 * 1237, length = 14 * perBuffer + 1234;
        ASSERT_EQ(Play(path, rate, 2, start, length), kAudioOk);
        EXPECT_EQ(m_player.GetPlayState(), kAudioDeviceOpen);
        EXPECT_EQ(m_audio.card.QueuedCount(), 10u);

        PlayOut(m_audio);
        EXPECT_EQ(m_audio.card.Played(), DataBytes(start, length));
        const std::vector<size_t> sizes = m_audio.card.PlayedSizes();
        ASSERT_EQ(sizes.size(), 15u);
        EXPECT_TRUE(std::all_of(sizes.begin(), sizes.end() - 1, [&](size_t s) { return s == perBuffer; }));
        EXPECT_EQ(sizes.back(), 1234u);
        // Five refills, then the range is used up for each of the ten buffers.
        EXPECT_EQ(std::count(m_owner.results.begin(), m_owner.results.end(), kAudioOk), 5);
        EXPECT_EQ(std::count(m_owner.results.begin(), m_owner.results.end(), kAudioNothingQueued), 10);

        // Used up, but the file and the device stay open for the next range.
        EXPECT_EQ(m_player.GetPlayState(), kAudioNothingQueued);
        EXPECT_EQ(m_player.GetDeviceState(), kAudioDeviceOpen);
        EXPECT_EQ(m_player.GetPath(), CString(path));
        StopAndClose();
        EXPECT_EQ(m_player.GetDeviceState(), kAudioNoDevice);
        EXPECT_TRUE(m_player.GetPath().IsEmpty());
    }
    EXPECT_TRUE(m_audio.TakeBoxTexts().empty());
}

TEST_F(WavePlayTest, ShortRangesAndTheEndOfTheData) {
    const std::string path = MakeWav(16000, 1.0);  // 32000 bytes

    // Fewer than ten buffers: Start queues what there is and says the range ended.
    ASSERT_EQ(Play(path, 16000, 2, 100, 7000), kAudioNothingQueued);
    EXPECT_EQ(m_player.GetPlayState(), kAudioDeviceOpen);
    PlayOut(m_audio);
    EXPECT_EQ(m_audio.card.Played(), DataBytes(100, 7000));
    StopAndClose();

    // A range past the end of the data ends with the data.
    m_audio.card.ClearPlayed();
    ASSERT_EQ(Play(path, 16000, 2, 30000, 50000), kAudioNothingQueued);
    PlayOut(m_audio);
    EXPECT_EQ(m_audio.card.Played(), DataBytes(30000, 2000));
    StopAndClose();

    // A range that starts beyond the data plays nothing.
    m_audio.card.ClearPlayed();
    ASSERT_EQ(Play(path, 16000, 2, 40000, 100), kAudioNothingQueued);
    EXPECT_EQ(m_player.GetPlayState(), kAudioNothingQueued);
    EXPECT_TRUE(m_audio.card.Played().empty());
    StopAndClose();
}

TEST_F(WavePlayTest, ChunksAfterTheDataAreNotPlayed) {
    const std::vector<int16_t> samples = Ramp(1000);
    const std::string list = Chunk("LIST", "INFOISFT" + Le32(6) + std::string("tool\0\0", 6));
    WriteBytes(m_folder.Path("tagged.wav"),
               RiffWave(Chunk("fmt ", PcmFmt(1, 16000, 16)) + Chunk("data", SamplesToBytes(samples)) + list));
    ASSERT_EQ(Play(m_folder.Path("tagged.wav"), 16000, 2, 1000, 5000), kAudioNothingQueued);
    PlayOut(m_audio);
    const std::string bytes = SamplesToBytes(samples).substr(1000);
    EXPECT_EQ(m_audio.card.Played(), std::vector<uint8_t>(bytes.begin(), bytes.end()));
    StopAndClose();
}

TEST_F(WavePlayTest, TheNextRangeOfTheSameFilePlaysWithoutReopening) {
    const std::string path = MakeWav(22050, 2.0);
    ASSERT_EQ(Play(path, 22050, 2, 0, 50000), kAudioOk);
    PlayOut(m_audio);
    ASSERT_EQ(m_player.GetPlayState(), kAudioNothingQueued);

    ASSERT_EQ(m_player.SetRange(60000, 20000), kAudioOk);
    ASSERT_EQ(m_player.Start(), kAudioNothingQueued);  // under ten buffers: all queued at once
    PlayOut(m_audio);
    std::vector<uint8_t> expected = DataBytes(0, 50000);
    const std::vector<uint8_t> second = DataBytes(60000, 20000);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(m_audio.card.Played(), expected);
    EXPECT_EQ(m_audio.card.OpensSoFar(), 1u);
    StopAndClose();
}

TEST_F(WavePlayTest, EachSpeedPlaysTheStretchTableCountPerBuffer) {
    // Samples handed out per 100 ms buffer, by speed index 1..8, at 16000, 22050, 44100 Hz.
    const uint32_t table[8][3] = {
        {2133, 2940, 5880}, {1600, 2205, 4410}, {1280, 1764, 3528}, {1066, 1470, 2940},
        {914, 1260, 2520},  {800, 1102, 2205},  {640, 882, 1764},   {533, 735, 1470},
    };
    const uint32_t rates[3] = {16000, 22050, 44100};
    for (int column = 0; column < 3; ++column) {
        const uint32_t rate = rates[column];
        const std::string path = MakeWav(rate, 4.0);
        for (int speed = 1; speed <= 8; ++speed) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, speed " << speed);
            m_audio.card.ClearPlayed();
            ASSERT_EQ(Play(path, rate, speed, 0, static_cast<uint32_t>(m_data.size())), kAudioOk);
            PlayOut(m_audio);
            const std::vector<size_t> sizes = m_audio.card.PlayedSizes();
            ASSERT_EQ(sizes.size(), 40u);  // one per 100 ms read
            for (size_t i = 0; i < sizes.size(); ++i) ASSERT_EQ(sizes[i], 2 * table[speed - 1][column]) << i;
            StopAndClose();
        }
    }
}

TEST_F(WavePlayTest, StopDuringPlayLeavesLateReportsWithoutEffect) {
    const std::string path = MakeWav(16000, 3.0);
    ASSERT_EQ(Play(path, 16000, 3, 0, static_cast<uint32_t>(m_data.size())), kAudioOk);
    for (int i = 0; i < 3; ++i) {
        m_audio.card.Complete(1);
        m_audio.ui.Pump();
    }
    // Two more are heard, but their reports are still on their way when Stop comes.
    m_audio.card.Complete(2);
    const size_t heard = m_audio.card.Played().size();
    m_owner.results.clear();

    ASSERT_EQ(m_player.Stop(), kAudioOk);
    EXPECT_EQ(m_player.GetPlayState(), kAudioNothingQueued);
    EXPECT_EQ(m_audio.card.QueuedCount(), 0u);
    m_audio.ui.Pump();

    ASSERT_EQ(m_owner.results.size(), 10u);
    EXPECT_TRUE(std::all_of(m_owner.results.begin(), m_owner.results.end(),
                            [](int r) { return r == kAudioHeaderNotDone; }));
    EXPECT_EQ(m_player.GetPlayState(), kAudioNothingQueued);
    EXPECT_EQ(m_audio.card.QueuedCount(), 0u);
    EXPECT_EQ(m_audio.card.Complete(), 0u);
    EXPECT_EQ(m_audio.card.Played().size(), heard);

    // After a stop the same device plays a new range from the start of the stretch.
    ASSERT_EQ(m_player.SetRange(0, 32000), kAudioOk);
    EXPECT_EQ(m_player.Start(), kAudioOk);
    EXPECT_EQ(m_audio.card.QueuedCount(), 10u);
    StopAndClose();
    EXPECT_TRUE(m_audio.TakeBoxTexts().empty());
}

TEST_F(WavePlayTest, AnEmptyRangeIsRefusedAndKeepsThePreviousOne) {
    const std::string path = MakeWav(16000, 1.0);
    ASSERT_EQ(m_player.SetRange(6400, 3200), kAudioOk);
    EXPECT_EQ(m_player.SetRange(100, 0), kAudioNothingQueued);
    ASSERT_EQ(m_player.OpenFile(path.c_str()), kAudioOk);
    ASSERT_EQ(m_player.OpenDevice(WAVE_MAPPER, &m_owner), kAudioOk);
    EXPECT_EQ(m_player.Start(), kAudioNothingQueued);
    PlayOut(m_audio);
    EXPECT_EQ(m_audio.card.Played(), DataBytes(6400, 3200));
    StopAndClose();
}

TEST_F(WavePlayTest, SpeedOutsideTheEightStepsIsKeptButRefused) {
    EXPECT_EQ(m_player.SetSpeed(9), kAudioFailed);
    EXPECT_EQ(m_player.GetSpeed(), 9);
    EXPECT_EQ(m_player.SetSpeed(0), kAudioFailed);
    EXPECT_EQ(m_player.SetSpeed(8), kAudioOk);
    EXPECT_EQ(m_player.GetSpeed(), 8);
}

TEST_F(WavePlayTest, EveryOpenFailureShowsItsMessage) {
    const std::string fmt = Chunk("fmt ", PcmFmt(1, 16000, 16));
    const std::string data = Chunk("data", SamplesToBytes(Ramp(100)));
    WriteBytes(m_folder.Path("avi.wav"), "RIFF" + Le32(4 + 8 + 200) + "AVI " + data);
    WriteBytes(m_folder.Path("nofmt.wav"), RiffWave(data));
    // The format chunk claims 16 bytes, the file ends after 10 of them.
    WriteBytes(m_folder.Path("cut.wav"), "RIFF" + Le32(4 + 8 + 16) + "WAVE" + "fmt " + Le32(16) + fmt.substr(8, 10));
    WriteBytes(m_folder.Path("nodata.wav"), RiffWave(fmt + Chunk("LIST", "INFO")));

    const struct {
        std::string path;
        int result;
        const char* message;
    } cases[] = {
        {"", kAudioEmptyPath, "ファイル名ＮＧ"},
        {m_folder.Path("missing.wav"), kAudioCannotOpenFile, "ＷａｖｅファイルオープンＮＧ"},
        {m_folder.Path("avi.wav"), kAudioNoRiffChunk, "ＲＩＦＦチャンク検索ＮＧ"},
        {m_folder.Path("nofmt.wav"), kAudioNoFmtChunk, "ＦＭＴチャンク検索ＮＧ"},
        {m_folder.Path("cut.wav"), kAudioCannotReadFormat, "Ｗａｖｅフォーマット読込みＮＧ"},
        {m_folder.Path("nodata.wav"), kAudioNoDataChunk, "ｄａｔａチャンク検索ＮＧ"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        m_audio.script->AnswerBox(IDOK);
        EXPECT_EQ(m_player.OpenFile(c.path.c_str()), c.result);
        EXPECT_EQ(m_audio.TakeBoxTexts(), std::vector<CString>{CString(c.message)});
        // Past the open itself, the file stays open until CloseFile.
        const bool opened = c.result != kAudioEmptyPath && c.result != kAudioCannotOpenFile;
        EXPECT_EQ(m_player.GetPath().IsEmpty(), !opened);
        EXPECT_EQ(m_player.CloseFile(), kAudioOk);
    }
    const CUiRecord& box = m_audio.script->Records().back();
    EXPECT_EQ(box.caption, CString(kAppTitle));
    EXPECT_EQ(box.style, MB_OK | MB_ICONWARNING);

    m_audio.script->AnswerBox(IDOK);
    EXPECT_EQ(m_player.OpenFile(nullptr), kAudioEmptyPath);
    EXPECT_EQ(m_audio.TakeBoxTexts(), std::vector<CString>{CString("ファイル名ＮＧ")});

    // A second open while one file is open.
    const std::string path = MakeWav(16000, 0.5);
    ASSERT_EQ(m_player.OpenFile(path.c_str()), kAudioOk);
    m_audio.script->AnswerBox(IDOK);
    EXPECT_EQ(m_player.OpenFile(path.c_str()), kAudioFileAlreadyOpen);
    EXPECT_EQ(m_audio.TakeBoxTexts(), std::vector<CString>{CString("ファイルハンドル設定済みＮＧ")});
    EXPECT_EQ(m_player.GetPath(), CString(path));
    EXPECT_EQ(m_player.CloseFile(), kAudioOk);
}

TEST_F(WavePlayTest, FormatsTheBuffersCannotHoldAreRefused) {
    const std::string data = Chunk("data", SamplesToBytes(Ramp(1000)));
    const struct {
        const char* name;
        std::string fmt;
    } foreign[] = {
        {"stereo.wav", PcmFmt(2, 44100, 16)},
        {"8bit.wav", PcmFmt(1, 22050, 8)},
        {"float.wav", FmtRecord(3, 1, 44100, 176400, 4, 32)},
        // 100 ms would not fit a buffer, whatever the header claims per second.
        {"fast.wav", FmtRecord(1, 1, 600000, 32000, 2, 16)},
        {"short.wav", std::string("\1\0\1\0", 4)},
    };
    for (const auto& f : foreign) {
        SCOPED_TRACE(f.name);
        WriteBytes(m_folder.Path(f.name), RiffWave(Chunk("fmt ", f.fmt) + data));
        m_audio.script->AnswerBox(IDOK);
        EXPECT_EQ(m_player.OpenFile(m_folder.Path(f.name).c_str()), kAudioCannotOpenFile);
        EXPECT_EQ(m_audio.TakeBoxTexts(), std::vector<CString>{CString("ＷａｖｅファイルオープンＮＧ")});
        EXPECT_EQ(m_player.CloseFile(), kAudioOk);
    }
}

TEST_F(WavePlayTest, BytesPerSecondComesFromTheRateNotTheHeader) {
    const std::vector<int16_t> samples = Ramp(44100);
    m_data = SamplesToBytes(samples);
    // A header claiming ten megabytes a second would have one read fill far more than a
    // buffer; one claiming nothing would play nothing.
    for (uint32_t claimed : {10000000u, 0u}) {
        SCOPED_TRACE(claimed);
        m_audio.card.ClearPlayed();
        WriteBytes(m_folder.Path("lying.wav"),
                   RiffWave(Chunk("fmt ", FmtRecord(1, 1, 44100, claimed, 2, 16)) + Chunk("data", m_data)));
        ASSERT_EQ(Play(m_folder.Path("lying.wav"), 44100, 2, 0, 88200), kAudioOk);
        PlayOut(m_audio);
        EXPECT_EQ(m_audio.card.Played(), DataBytes(0, 88200));
        const std::vector<size_t> sizes = m_audio.card.PlayedSizes();
        EXPECT_TRUE(std::all_of(sizes.begin(), sizes.end(), [](size_t s) { return s == 8820; }));
        StopAndClose();
    }
}

TEST_F(WavePlayTest, DeviceFailuresShowTheirMessages) {
    const std::string path = MakeWav(16000, 1.0);
    ASSERT_EQ(m_player.OpenFile(path.c_str()), kAudioOk);

    m_audio.card.SetFormatFilter([](const WaveOutFormat& f) { return f.samplesPerSec != 16000; });
    m_audio.script->AnswerBox(IDOK);
    EXPECT_EQ(m_player.QueryDevice(WAVE_MAPPER), kAudioDeviceQueryFailed);
    m_audio.card.SetFormatFilter(nullptr);
    EXPECT_EQ(m_player.QueryDevice(WAVE_MAPPER), kAudioOk);

    m_audio.card.SetDeviceCount(0);
    m_audio.script->AnswerBox(IDOK).AnswerBox(IDOK);
    EXPECT_EQ(m_player.QueryDevice(WAVE_MAPPER), kAudioDeviceQueryFailed);
    EXPECT_EQ(m_player.OpenDevice(WAVE_MAPPER, &m_owner), kAudioDeviceOpenFailed);
    EXPECT_EQ(m_player.GetDeviceState(), kAudioNoDevice);
    m_audio.card.SetDeviceCount(1);

    ASSERT_EQ(m_player.OpenDevice(WAVE_MAPPER, &m_owner), kAudioOk);
    m_audio.script->AnswerBox(IDOK);
    EXPECT_EQ(m_player.OpenDevice(WAVE_MAPPER, &m_owner), kAudioDeviceAlreadyOpen);
    EXPECT_EQ(m_audio.card.OpenDevices(), 1u);
    EXPECT_EQ(m_audio.TakeBoxTexts(),
              (std::vector<CString>{"再生デバイスクエリーＮＧ", "再生デバイスクエリーＮＧ", "再生デバイスオープンＮＧ",
                                    "再生デバイス設定済みＮＧ"}));
    StopAndClose();
}

TEST_F(WavePlayTest, ClosingAPlayingDeviceFailsButForgetsIt) {
    const std::string path = MakeWav(16000, 2.0);
    ASSERT_EQ(Play(path, 16000, 2, 0, 64000), kAudioOk);
    m_audio.script->AnswerBox(IDOK);
    EXPECT_EQ(m_player.CloseDevice(), kAudioDeviceCloseFailed);
    EXPECT_EQ(m_audio.TakeBoxTexts(), std::vector<CString>{CString("再生デバイスクローズＮＧ")});
    EXPECT_EQ(m_player.GetDeviceState(), kAudioNoDevice);
    EXPECT_EQ(m_player.CloseFile(), kAudioOk);
}

TEST_F(WavePlayTest, ABufferBackWhileNoneIsQueuedIsReported) {
    const std::string path = MakeWav(16000, 0.5);
    ASSERT_EQ(Play(path, 16000, 2, 0, 3200), kAudioNothingQueued);
    PlayOut(m_audio);
    ASSERT_EQ(m_owner.headers.size(), 1u);
    ASSERT_EQ(m_player.GetPlayState(), kAudioNothingQueued);

    // A header that looks finished, with nothing counted as queued.
    WAVEHDR* header = m_owner.headers.front();
    header->dwFlags = WHDR_DONE | WHDR_PREPARED;
    m_audio.script->AnswerBox(IDOK);
    EXPECT_EQ(m_player.OnBufferDone(nullptr, header), kAudioNoQueuedBuffer);
    EXPECT_EQ(m_audio.TakeBoxTexts(), std::vector<CString>{CString("準備済みバッファ無し")});

    // Headers that are not the player's own change nothing.
    WAVEHDR foreign{};
    foreign.dwFlags = WHDR_DONE | WHDR_PREPARED;
    EXPECT_EQ(m_player.OnBufferDone(nullptr, &foreign), kAudioHeaderNotDone);
    EXPECT_EQ(m_player.OnBufferDone(nullptr, nullptr), kAudioHeaderNotDone);
    StopAndClose();
}

TEST_F(WavePlayTest, DestroyingAPlayingPlayerReleasesTheDevice) {
    const std::string path = MakeWav(16000, 2.0);
    {
        CWavePlayOperation player;
        PlayerOwner owner(player);
        ASSERT_EQ(player.Initialize(), kAudioOk);
        ASSERT_EQ(player.SetRange(0, 64000), kAudioOk);
        ASSERT_EQ(player.OpenFile(path.c_str()), kAudioOk);
        ASSERT_EQ(player.OpenDevice(WAVE_MAPPER, &owner), kAudioOk);
        ASSERT_EQ(player.Start(), kAudioOk);
        m_audio.card.Complete(2);
    }
    EXPECT_EQ(m_audio.card.OpenDevices(), 0u);
    EXPECT_EQ(m_audio.card.Complete(), 0u);
    m_audio.ui.Pump();  // the reports of the closed device are dropped
}
