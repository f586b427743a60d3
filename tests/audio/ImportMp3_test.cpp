// The MP3 side of the import on a view without a window: recordings become MP3 project
// files cut into phrases at their silences, and MP3 files come into PCM projects; the
// intermediate files go, and what cannot be taken is refused before anything is written.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Id3Tag.h"
#include "audio/ImportTestSupport.h"
#include "audio/Mp3Decode.h"
#include "audio/Mp3Encode.h"
#include "audio/WaveRateConverter.h"
#include "platform/MessageBox.h"

using namespace importtest;
using namespace wavetest;
namespace fs = std::filesystem;

namespace {

// Two sounds of half a second with a second of silence between them.
const char kScript[] = "S5 Q10 S5";

class ImportMp3 : public ImportView {
protected:
    void SetUp() override {
        ImportView::SetUp();
        view.m_strExeFolder = CString(KORVANE_BUILD_DIR "/");  // the priming streams
    }
    void Format(int compression) {
        view.SetProjectFormat(compression);
        Restart(0);  // the command counts each file before it names it: A000001
    }
    CString Wav(const std::string& name, uint32_t rate, uint16_t channels = 1) {
        std::vector<int16_t> mono = Blocks(rate, kScript), pcm;
        for (int16_t v : mono)
            for (int c = 0; c < channels; ++c) pcm.push_back(v);
        WriteWav(folder.Path(name), rate, channels, pcm);
        return folder.CPath(name);
    }
    CString Mp3(const std::string& name, uint32_t rate, int bitRate) {
        RecordingHost host;
        EXPECT_EQ(0, EncodeWaveToMp3(host, Wav(name + ".wav", rate), folder.CPath(name), bitRate, 1, "c", "t"));
        return folder.CPath(name);
    }
    // The first box the import showed (a failure is followed by one that names the file).
    CString Run(const std::vector<CString>& paths, int expected) {
        CUiScript script;
        script.AnswerBox(IDOK);
        if (expected != 0) script.AnswerBox(IDOK);
        EXPECT_EQ(expected, view.ImportAudioFiles(paths));
        const std::vector<CString> texts = script.BoxTexts();
        return texts.empty() ? CString() : texts[0];
    }
    // The samples of the project's audio file `name` as the editor plays them.
    std::vector<int16_t> ProjectAudio(const std::string& name) {
        std::string wav = folder.Path("prj/" + name);
        if (name.find(".mp3") != std::string::npos) {
            RecordingHost host;
            wav = folder.Path("decoded.wav");
            EXPECT_EQ(0, DecodeMp3FileToWave(host, folder.CPath("prj/" + name), CString(wav), "c", "t",
                                             static_cast<uint32_t>(view.m_nSamplePerSec), view.m_strExeFolder));
        }
        uint32_t rate = 0;
        return ReadCanonicalWav(wav, rate);
    }
    bool TempFilesGone() const {
        for (const char* n : {"prj/Mp3DecodeTemp.wav", "prj/ReSamplingTemp.wav", "prj/Mp3EecodeTemp.mp3"})
            if (fs::exists(folder.Path(n))) return false;
        return true;
    }
};

}  // namespace

// Every road into a project gives the two phrases of the recording, counted in bytes of
// the decoded 16-bit stream at the project's rate.
TEST_F(ImportMp3, EveryRoadGivesTheRecordingsPhrases) {
    const struct {
        int format;
        const char* name;
        uint32_t rate;
        int mp3BitRate;  // 0: a WAV source
        const char* written;
        double sourceDelayMs;  // the encoder's delay in an MP3 source, part of its recording
    } rows[] = {
        {3, "w22.wav", 22050, 0, "A000001.mp3", 0},  // encoded at once
        {3, "w16.wav", 16000, 0, "A000001.mp3", 0},  // converted, then encoded
        {3, "w44.wav", 44100, 0, "A000001.mp3", 0},  // the encoder converts
        {4, "w22b.wav", 22050, 0, "A000001.mp3", 0},
        {4, "w44b.wav", 44100, 0, "A000001.mp3", 0},
        {3, "m64.mp3", 44100, 64000, "A000001.mp3", 27},  // decoded, converted, encoded
        {4, "m32.mp3", 22050, 32000, "A000001.mp3", 57},  // decoded at 44100 Hz (3 ms more), encoded
        {1, "m32b.mp3", 22050, 32000, "A000001.wav", 54},  // into a PCM project
        {0, "m64b.mp3", 44100, 64000, "A000001.wav", 27},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Format(r.format);
        const CString source = r.mp3BitRate ? Mp3(r.name, r.rate, r.mp3BitRate) : Wav(r.name, r.rate);
        EXPECT_EQ(CString("完了しました。"), Run({source}, 0));
        EXPECT_TRUE(fs::exists(folder.Path(std::string("prj/") + r.written)));
        EXPECT_TRUE(TempFilesGone());
        ASSERT_EQ(1, view.m_lstSection.GetCount());
        const auto& phrases = view.m_lstSection.GetAt(0)->m_lstPhrase;
        ASSERT_EQ(2, phrases.GetCount());
        // Against the project's audio as it plays: the second phrase leads its sound by
        // the cutting's block plus what an MP3 source was decoded with, the first begins
        // at the first byte and the last runs on to a recording's last sound.
        const std::vector<int16_t> audio = ProjectAudio(r.written);
        const uint32_t rate = static_cast<uint32_t>(view.m_nSamplePerSec);
        size_t onset = rate, last = audio.size();
        while (onset < audio.size() && std::abs(audio[onset]) < 8000) ++onset;
        while (last > 0 && std::abs(audio[last - 1]) < 8000) --last;
        const double lead = 1000.0 * (double(onset) - phrases.GetAt(1)->m_nStart / 2) / rate;
        EXPECT_NEAR(100 + r.sourceDelayMs, lead, 3);
        EXPECT_EQ(0u, phrases.GetAt(0)->m_nStart);
        const uint32_t end = phrases.GetAt(1)->m_nStart + phrases.GetAt(1)->m_nLength;
        EXPECT_EQ(end, view.m_lstSection.GetAt(0)->m_nSectionTime);
        EXPECT_LE(end, 2 * audio.size());
        if (!r.mp3BitRate) {
            EXPECT_GE(end, 2 * last);
        }
        EXPECT_EQ(CString(r.name), view.m_lstSection.GetAt(0)->m_strComment);
        fs::remove_all(folder.Path("prj"));
        fs::create_directory(folder.Path("prj"));
    }
}

// A file of the project's own format is copied as it is, from its first audio frame: a
// tag in front (smaller or larger than the first read) stays behind, and the phrases
// are found where they are in the untagged file.
TEST_F(ImportMp3, OwnFormatIsCopiedByteForByteFromItsFirstFrame) {
    Format(3);
    const CString source = Mp3("own.mp3", 22050, 32000);
    Run({source}, 0);
    const std::string audio = ReadBytes(source.str());
    EXPECT_EQ(audio, ReadBytes(folder.Path("prj/A000001.mp3")));
    const Sections untagged = Shape(view.m_lstSection);
    EXPECT_EQ(2u, untagged.at(0).size());
    for (size_t tagBytes : {6 * 1024, 40 * 1024}) {
        SCOPED_TRACE(tagBytes);
        WriteBytes(folder.Path("tagged.mp3"), Id3v2Tag(tagBytes, audio.substr(0, 3000)) + audio);
        fs::remove(folder.Path("prj/A000001.mp3"));
        Restart(0);
        Run({folder.CPath("tagged.mp3")}, 0);
        EXPECT_EQ(audio, ReadBytes(folder.Path("prj/A000001.mp3")));
        EXPECT_EQ(untagged, Shape(view.m_lstSection));
    }
}

TEST_F(ImportMp3, RefusedBeforeAnythingIsWritten) {
    Format(4);
    EXPECT_EQ(CString("このファイルはインポート出来ません。"), Run({Wav("st.wav", 44100, 2)}, 8));
    EXPECT_EQ(CString("このファイルはインポート出来ません。"), Run({Wav("w48.wav", 48000)}, 8));
    EXPECT_FALSE(fs::exists(folder.Path("prj/A000001.mp3")));
    // a file the project cannot hold as it is, handed straight to the cutting
    int index = 0;
    CUiScript script;
    script.AnswerBox(IDOK);
    EXPECT_EQ(8, view.ImportMp3File(&index, Mp3("other.mp3", 22050, 32000), CString(), "(1/1)"));
    EXPECT_EQ(std::vector<CString>{CString("このファイルはインポート出来ません。")}, script.BoxTexts());
    EXPECT_FALSE(fs::exists(folder.Path("prj/A000001.mp3")));
}

// A rate conversion that fails in the middle of a chain stops it with the memory result:
// nothing is encoded from a cut recording and no section appears.
TEST_F(ImportMp3, AFailedConversionStopsTheChain) {
    Format(3);
    const int sections = view.m_lstSection.GetCount();
    CWaveRateConverter::s_bFailNextConvert = true;
    EXPECT_EQ(CString("メモリの確保ができませんでした。"), Run({Wav("w16f.wav", 16000)}, 29));
    EXPECT_FALSE(CWaveRateConverter::s_bFailNextConvert);
    EXPECT_EQ(view.m_lstSection.GetCount(), sections);
    EXPECT_FALSE(fs::exists(folder.Path("prj/A000001.mp3")));
    EXPECT_TRUE(TempFilesGone());
}

// The silence detection of an MP3 project measures each phrase again through a fresh
// temporary file, never through one an earlier run left behind. On a recording cut short
// it stops at the first phrase that runs past the cut, naming file and phrase: the end
// lost is no pause of that phrase.
TEST_F(ImportMp3, SilenceDetectionMeasuresMp3PhrasesAgain) {
    Format(3);
    Run({Wav("w.wav", 22050)}, 0);
    auto& phrases = view.m_lstSection.GetAt(0)->m_lstPhrase;
    ASSERT_EQ(2, phrases.GetCount());
    const uint32_t imported = phrases.GetAt(0)->m_nPause;
    phrases.GetAt(0)->m_nPause = phrases.GetAt(1)->m_nPause = 1;
    WriteBytes(folder.Path("prj/PhraseTemp.wav"), "stale");
    CUiScript script;
    script.AnswerBox(IDYES);
    view.m_bSuppressPlay = 1;  // the refreshed list would start the phrase on a sound card the test lacks
    view.OnSilenceDetect();
    EXPECT_EQ(std::vector<CString>{CString("無音時間を検出しますか？")}, script.BoxTexts());
    EXPECT_NEAR(double(imported), double(phrases.GetAt(0)->m_nPause), 2.0 * 4410);
    EXPECT_GT(phrases.GetAt(0)->m_nPause, 5u * 4410);
    EXPECT_FALSE(fs::exists(folder.Path("prj/PhraseTemp.wav")));

    // 6,000 bytes hold 1.49 s: the first phrase (to 1.45 s) whole, the second not.
    const uint32_t measured = phrases.GetAt(0)->m_nPause;
    ASSERT_LT(phrases.GetAt(0)->m_nStart + phrases.GetAt(0)->m_nLength, 2u * 32832);
    WriteBytes(folder.Path("prj/A000001.mp3"), ReadBytes(folder.Path("prj/A000001.mp3")).substr(0, 6000));
    phrases.GetAt(0)->m_nPause = phrases.GetAt(1)->m_nPause = 1;
    const CString cut = "セクション1の音声ファイルA000001.mp3が途中で切れています。（フレーズ2）";
    CUiScript again;
    again.AnswerBox(IDYES).AnswerBox(IDOK).AnswerBox(IDOK);
    view.OnSilenceDetect();
    EXPECT_EQ((std::vector<CString>{"無音時間を検出しますか？", cut, "無音時間が取得出来ませんでした。"}), again.BoxTexts());
    EXPECT_EQ(measured, phrases.GetAt(0)->m_nPause);
    EXPECT_EQ(1u, phrases.GetAt(1)->m_nPause);
    // The measure in memory (after a phrase split) says the same.
    CUiScript split;
    split.AnswerBox(IDOK);
    EXPECT_EQ(kMp3DecodeCut, view.MeasureMp3PhraseSilence(phrases.GetAt(1)));
    EXPECT_EQ(std::vector<CString>{cut}, split.BoxTexts());
    EXPECT_EQ(1u, phrases.GetAt(1)->m_nPause);
}
