#include "audio/WaveConvert.h"

#include <gtest/gtest.h>

#include "audio/WaveTestSupport.h"

using namespace wavetest;

namespace {

int Convert(RecordingHost& host, const ScratchFolder& folder, int rate) {
    return ConvertWaveFormat(host, folder.CPath("src.wav"), folder.CPath("dst.wav"), rate, "音声インポート",
                             "音声フォーマットを変換しています...");
}

}  // namespace

TEST(ConvertWaveFormat, TwoAndAHalfSecondsDoubled) {
    ScratchFolder folder;
    const std::vector<int16_t> tone = TonePcm(440.0, 22050, 22050 * 5 / 2, 0.5);
    WriteWav(folder.Path("src.wav"), 22050, 1, tone);
    RecordingHost host;
    ASSERT_EQ(Convert(host, folder, 44100), 0);
    EXPECT_TRUE(host.errors.empty());
    uint32_t rate = 0;
    const std::vector<int16_t> out = ReadCanonicalWav(folder.Path("dst.wav"), rate);
    EXPECT_EQ(rate, 44100u);
    ASSERT_EQ(out.size(), 2 * tone.size());
    // Raising by two keeps every input sample.
    for (size_t i = 0; i < tone.size(); i += 97) ASSERT_EQ(out[2 * i], tone[i]) << i;

    EXPECT_EQ(host.begun, 1);
    EXPECT_EQ(host.ended, 1);
    EXPECT_EQ(host.caption, CString("音声インポート"));
    EXPECT_EQ(host.text, CString("音声フォーマットを変換しています..."));
    EXPECT_EQ(host.range, 2);
    EXPECT_EQ(host.positions, (std::vector<int>{1, 2, 2}));
}

TEST(ConvertWaveFormat, EqualRateCopiesTheSamples) {
    ScratchFolder folder;
    const std::vector<int16_t> tone = TonePcm(1000.0, 16000, 20000, 0.9);
    WriteWav(folder.Path("src.wav"), 16000, 1, tone);
    RecordingHost host;
    ASSERT_EQ(Convert(host, folder, 16000), 0);
    uint32_t rate = 0;
    EXPECT_EQ(ReadCanonicalWav(folder.Path("dst.wav"), rate), tone);
}

TEST(ConvertWaveFormat, ShortSourceStillHasAProgressRange) {
    ScratchFolder folder;
    WriteWav(folder.Path("src.wav"), 44100, 1, TonePcm(1000.0, 44100, 4410, 0.5));
    RecordingHost host;
    ASSERT_EQ(Convert(host, folder, 22050), 0);
    EXPECT_EQ(host.range, 1);
    uint32_t rate = 0;
    EXPECT_EQ(ReadCanonicalWav(folder.Path("dst.wav"), rate).size(), 2205u);
}

TEST(ConvertWaveFormat, SecondsJoinWithoutSeams) {
    ScratchFolder folder;
    WriteWav(folder.Path("src.wav"), 44100, 1, TonePcm(1000.0, 44100, 44100 * 3, 0.5));
    RecordingHost host;
    ASSERT_EQ(Convert(host, folder, 16000), 0);
    uint32_t rate = 0;
    const std::vector<int16_t> out = ReadCanonicalWav(folder.Path("dst.wav"), rate);
    ASSERT_EQ(out.size(), 48000u);
    // Half a second on either side of each seam.
    for (long seam : {16000L, 32000L}) EXPECT_GT(SnrAgainstTone(out, 1000.0, 16000, seam - 8000, 16000), 80.0) << seam;
}

TEST(ConvertWaveFormat, CancelLeavesAValidShorterFile) {
    ScratchFolder folder;
    WriteWav(folder.Path("src.wav"), 44100, 1, TonePcm(1000.0, 44100, 44100 * 4, 0.5));
    RecordingHost host;
    host.cancelAfter = 2;
    ASSERT_EQ(Convert(host, folder, 22050), 2);
    EXPECT_EQ(host.questions, std::vector<CString>{CString("キャンセルしますか？")});
    EXPECT_EQ(host.ended, 1);
    uint32_t rate = 0;
    EXPECT_EQ(ReadCanonicalWav(folder.Path("dst.wav"), rate).size(), 3u * 22050);

    // Answering No goes on to the end.
    RecordingHost patient;
    patient.cancelAfter = 1;
    patient.answerYes = false;
    ASSERT_EQ(Convert(patient, folder, 22050), 0);
    EXPECT_EQ(ReadCanonicalWav(folder.Path("dst.wav"), rate).size(), 4u * 22050);
}

TEST(ConvertWaveFormat, RefusalsWithTheirMessages) {
    ScratchFolder folder;
    RecordingHost host;
    EXPECT_EQ(ConvertWaveFormat(host, "", folder.CPath("dst.wav"), 22050, "", ""), 1);
    EXPECT_EQ(ConvertWaveFormat(host, folder.CPath("src.wav"), "", 22050, "", ""), 1);
    EXPECT_EQ(Convert(host, folder, 22050), 1);  // no source yet
    WriteBytes(folder.Path("src.wav"), "not a wave file");
    EXPECT_EQ(Convert(host, folder, 22050), 1);
    WriteWav(folder.Path("src.wav"), 44100, 2, std::vector<int16_t>(200));
    EXPECT_EQ(Convert(host, folder, 22050), 1);
    WriteBytes(folder.Path("src.wav"), RiffWave(Chunk("fmt ", PcmFmt(1, 22050, 8)) + Chunk("data", "abcd")));
    EXPECT_EQ(Convert(host, folder, 22050), 1);
    WriteWav(folder.Path("src.wav"), 44100, 1, std::vector<int16_t>(200));
    EXPECT_EQ(ConvertWaveFormat(host, folder.CPath("src.wav"), folder.CPath("none/dst.wav"), 22050, "", ""), 1);

    const std::vector<CString> expected = {
        "読込み先のWaveファイルパスが設定されていません。", "保存先のWaveファイルパスが設定されていません。",
        "Waveファイルが存在しません。",                    "Waveファイルの読込みに失敗しました。",
        "このWaveファイルはインポート出来ません。",        "このWaveファイルはインポート出来ません。",
        "Waveファイルが開けません。"};
    EXPECT_EQ(host.errors, expected);
    EXPECT_EQ(host.begun, 0);
}

TEST(ConvertWaveFormat, TruncatedSourceConvertsWhatIsThere) {
    ScratchFolder folder;
    const std::vector<int16_t> tone = TonePcm(500.0, 22050, 30000, 0.5);
    // The data chunk claims two seconds; the file holds 30000 samples.
    WriteBytes(folder.Path("src.wav"), RiffWave(Chunk("fmt ", PcmFmt(1, 22050, 16)) +
                                                Chunk("data", SamplesToBytes(tone), 88200)));
    RecordingHost host;
    ASSERT_EQ(Convert(host, folder, 44100), 0);
    uint32_t rate = 0;
    EXPECT_EQ(ReadCanonicalWav(folder.Path("dst.wav"), rate).size(), 60000u);
}
