#include "audio/WaveConvert.h"

#include <gtest/gtest.h>

#include "audio/WaveTestSupport.h"

using namespace wavetest;

namespace {

class ConvertWaveFormatTest : public ::testing::Test {
protected:
    int Convert(int rate) {
        return ConvertWaveFormat(host, folder.CPath("src.wav"), folder.CPath("dst.wav"), rate, "音声インポート",
                                 "音声フォーマットを変換しています...");
    }
    std::vector<int16_t> Result(uint32_t expectedRate) {
        uint32_t rate = 0;
        std::vector<int16_t> out = ReadCanonicalWav(folder.Path("dst.wav"), rate);
        EXPECT_EQ(rate, expectedRate);
        return out;
    }
    ScratchFolder folder;
    RecordingHost host;
};

}  // namespace

TEST_F(ConvertWaveFormatTest, SecondsAreConvertedUnderProgressAndJoinWithoutSeams) {
    const std::vector<int16_t> tone = TonePcm(440.0, 22050, 22050 * 5 / 2, 0.5);
    WriteWav(folder.Path("src.wav"), 22050, 1, tone);
    ASSERT_EQ(Convert(44100), 0);
    EXPECT_EQ(Result(44100).size(), 2 * tone.size());
    EXPECT_TRUE(host.errors.empty());
    EXPECT_EQ(host.begun, 1);
    EXPECT_EQ(host.ended, 1);
    EXPECT_EQ(host.caption, CString("音声インポート"));
    EXPECT_EQ(host.text, CString("音声フォーマットを変換しています..."));
    EXPECT_EQ(host.range, 2);
    EXPECT_EQ(host.positions, (std::vector<int>{1, 2, 2}));

    WriteWav(folder.Path("src.wav"), 44100, 1, TonePcm(1000.0, 44100, 44100 * 3, 0.5));
    ASSERT_EQ(Convert(16000), 0);
    const std::vector<int16_t> out = Result(16000);
    ASSERT_EQ(out.size(), 48000u);
    // Half a second on either side of each seam.
    for (long seam : {16000L, 32000L}) EXPECT_GT(SnrAgainstTone(out, 1000.0, 16000, seam - 8000, 16000), 80.0) << seam;

    // The same rate copies; a data chunk that claims more than the file holds converts what is there.
    WriteBytes(folder.Path("src.wav"), RiffWave(Chunk("fmt ", PcmFmt(1, 22050, 16)) +
                                                Chunk("data", SamplesToBytes(tone), 2 * tone.size() + 50000)));
    ASSERT_EQ(Convert(22050), 0);
    EXPECT_EQ(Result(22050), tone);
}

TEST_F(ConvertWaveFormatTest, CancelLeavesAValidShorterFile) {
    WriteWav(folder.Path("src.wav"), 44100, 1, TonePcm(1000.0, 44100, 44100 * 4, 0.5));
    host.cancelAfter = 2;
    ASSERT_EQ(Convert(22050), 2);
    EXPECT_EQ(host.questions, std::vector<CString>{CString("キャンセルしますか？")});
    EXPECT_EQ(host.ended, 1);
    EXPECT_EQ(Result(22050).size(), 3u * 22050);
    // Answering No goes on to the end.
    host.cancelAfter = 1;
    host.answerYes = false;
    host.positions.clear();
    ASSERT_EQ(Convert(22050), 0);
    EXPECT_EQ(Result(22050).size(), 4u * 22050);
}

TEST_F(ConvertWaveFormatTest, RefusalsWithTheirMessages) {
    EXPECT_EQ(ConvertWaveFormat(host, "", folder.CPath("dst.wav"), 22050, "", ""), 1);
    EXPECT_EQ(Convert(22050), 1);  // no source yet
    WriteBytes(folder.Path("src.wav"), "not a wave file");
    EXPECT_EQ(Convert(22050), 1);
    WriteWav(folder.Path("src.wav"), 44100, 2, std::vector<int16_t>(200));
    EXPECT_EQ(Convert(22050), 1);
    WriteWav(folder.Path("src.wav"), 44100, 1, std::vector<int16_t>(200));
    EXPECT_EQ(ConvertWaveFormat(host, folder.CPath("src.wav"), folder.CPath("none/dst.wav"), 22050, "", ""), 1);
    EXPECT_EQ(host.errors, (std::vector<CString>{"読込み先のWaveファイルパスが設定されていません。", "Waveファイルが存在しません。",
                                                 "Waveファイルの読込みに失敗しました。", "このWaveファイルはインポート出来ません。",
                                                 "Waveファイルが開けません。"}));
    EXPECT_EQ(host.begun, 0);
}
