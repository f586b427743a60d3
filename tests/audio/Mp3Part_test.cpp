// Reads that start inside an MP3 file give what the whole file's decode gives there,
// sample for sample, and run to the stream's last frame.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "audio/Mp3Decode.h"
#include "audio/Mp3Encode.h"
#include "audio/Mp3Part.h"
#include "audio/Mp3PlayOperation.h"
#include "audio/PlayerTestSupport.h"
#include "audio/TrailingSilence.h"
#include "audio/WaveTestSupport.h"
#include "Id3Tag.h"
#include "platform/Riff.h"

using namespace playertest;
using namespace wavetest;

namespace {

const CString kProgramFolder(KORVANE_BUILD_DIR "/");

// Noise bursts between quiet gaps: the quiet frames fill the bit reservoir and the bursts
// take from it, so a frame's main data lies well before it.
std::vector<int16_t> Bursts(uint32_t rate, double seconds) {
    const size_t n = static_cast<size_t>(rate * seconds);
    std::vector<int16_t> noise = Noise16(n, 7);
    for (size_t i = 0; i < n; ++i) {
        const size_t cycle = i % (rate / 3);
        const double gain = cycle < rate / 10 ? 0.01 : 0.4;
        noise[i] = static_cast<int16_t>(noise[i] * gain);
    }
    return noise;
}

struct Format {
    uint32_t rate;
    int bitRate;
};

class Mp3Part : public ::testing::TestWithParam<Format> {
protected:
    void SetUp() override {
        WriteWav(folder.Path("src.wav"), GetParam().rate, 1, Bursts(GetParam().rate, 4.3));
        RecordingHost host;
        ASSERT_EQ(0, EncodeWaveToMp3(host, folder.CPath("src.wav"), folder.CPath("a.mp3"), GetParam().bitRate, 1,
                                     "c", "t"));
        ASSERT_EQ(0, DecodeMp3FileToWave(host, folder.CPath("a.mp3"), folder.CPath("whole.wav"), "c", "t",
                                         GetParam().rate, kProgramFolder));
        uint32_t rate = 0;
        whole = ReadCanonicalWav(folder.Path("whole.wav"), rate);
        ASSERT_GT(whole.size(), GetParam().rate * 4u);
    }
    // Every sample the reader gives from sample `start` to the stream's end.
    std::vector<int16_t> ReadFrom(const CString& path, uint64_t start) {
        int error = 0;
        std::unique_ptr<CRiffFile> file = CRiffFile::Open(path, RiffOpenMode::Read, error);
        MP3Decoder* decoder = nullptr;
        MP3DecoderInfo* info = nullptr;
        EXPECT_EQ(SSC_OK, MP3CreateDecoder(&decoder, 0, 0, 0, 1, 0));
        EXPECT_EQ(SSC_OK, MP3CreateDecoderInfo(&info));
        std::vector<int16_t> out;
        if (!file || !decoder || !info) return out;
        // As every reader of the program: the stream's information, then the priming.
        std::vector<uint8_t> head(8192);
        int64_t got = 0, audioStart = 0, streamBytes = 0;
        EXPECT_TRUE(ReadMp3Head(*file, head, got, audioStart, streamBytes));
        EXPECT_TRUE(info->Open(head.data(), static_cast<int>(got), static_cast<uint32_t>(streamBytes)));
        EXPECT_EQ(kAudioOk, PrimeMp3Decoder(decoder, info, kProgramFolder));
        CMp3PartReader reader(decoder, file.get());
        EXPECT_EQ(CMp3PartReader::kData, reader.Seek(2 * start));
        const uint8_t* data = nullptr;
        uint32_t bytes = 0;
        int r;
        while ((r = reader.Read(data, bytes)) == CMp3PartReader::kData) {
            EXPECT_EQ(0u, bytes % 2);
            out.insert(out.end(), reinterpret_cast<const int16_t*>(data),
                       reinterpret_cast<const int16_t*>(data) + bytes / 2);
        }
        EXPECT_EQ(CMp3PartReader::kEnd, r);
        info->Release();
        decoder->Release();
        return out;
    }
    // `count` samples from `start` through the player, the start given in bytes.
    std::vector<int16_t> Played(uint64_t start, size_t count, const std::string& name = "a.mp3") {
        VirtualAudio audio;
        CMp3PlayOperation player;
        struct Owner : IWaveOutOwner {
            CMp3PlayOperation* p;
            void OnWaveOutDone(HWAVEOUT d, WAVEHDR* h) override { p->OnBufferDone(d, h); }
        } owner;
        owner.p = &player;
        EXPECT_EQ(kAudioOk, player.Initialize());
        player.SetDataFolder(kProgramFolder);
        player.SetSampleRate(GetParam().rate);
        player.SetSpeed(2);
        EXPECT_EQ(kAudioOk, player.SetRangeAtByte(static_cast<uint32_t>(2 * start), static_cast<uint32_t>(2 * count)));
        EXPECT_EQ(kAudioOk, player.OpenFile(folder.Path(name).c_str()));
        EXPECT_EQ(kAudioOk, player.OpenDevice(WAVE_MAPPER, &owner));
        const int started = player.Start();
        EXPECT_TRUE(started == kAudioOk || started == kAudioNothingQueued) << started;
        PlayOut(audio);
        player.Stop();
        player.CloseFile();
        player.CloseDevice();
        EXPECT_TRUE(audio.TakeBoxTexts().empty());
        const std::vector<uint8_t> played = audio.card.Played();
        return BytesToSamples(std::string(played.begin(), played.end()));
    }
    // `count` samples from `start` as the phrase split decodes them.
    std::vector<int16_t> Decoded(uint64_t start, size_t count) {
        RecordingHost host;
        EXPECT_EQ(0, DecodeMp3PhraseToWave(host, folder.CPath("a.mp3"), folder.CPath("part.wav"),
                                           static_cast<uint32_t>(2 * count), static_cast<uint32_t>(2 * start),
                                           kProgramFolder));
        uint32_t rate = 0;
        return ReadCanonicalWav(folder.Path("part.wav"), rate);
    }
    ScratchFolder folder;
    std::vector<int16_t> whole;
};

TEST_P(Mp3Part, EveryStartGivesTheWholeDecodesSamplesToTheLastFrame) {
    const size_t frame = GetParam().rate == 44100 ? 1152 : 576;
    const size_t n = whole.size();
    // Every frame's first sample (a decoder that was never primed reads two of them at
    // 32 kbit/s 0.3 s late), odd places inside frames, the last frame, the end.
    std::vector<size_t> starts = {1, 3 * frame - 1, n / 3 + 17, n / 2, 2 * n / 3 + 331, n - frame - 5, n - 1};
    for (size_t start = 0; start < n; start += frame) starts.push_back(start);
    for (size_t start : starts) {
        SCOPED_TRACE(start);
        const std::vector<int16_t> part = ReadFrom(folder.CPath("a.mp3"), start);
        ASSERT_EQ(n - start, part.size());
        EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin() + static_cast<std::ptrdiff_t>(start)));
    }
    EXPECT_TRUE(ReadFrom(folder.CPath("a.mp3"), n).empty());
    EXPECT_TRUE(ReadFrom(folder.CPath("a.mp3"), n + 5000).empty());
}

// A phrase at the file's start, two in the middle and one that runs to the end, through
// each path that reads a phrase: played, decoded for the split, measured for silence.
TEST_P(Mp3Part, PhrasesPlayDecodeAndMeasureFromTheirOwnFirstSample) {
    const size_t n = whole.size(), rate = GetParam().rate;
    const struct {
        size_t start, count;
    } phrases[] = {{0, rate / 2}, {rate + 4321, rate}, {n / 2 + 1, rate / 3 + 7}, {n - rate / 2 - 123, rate / 2 + 123}};
    for (const auto& p : phrases) {
        SCOPED_TRACE(p.start);
        const std::vector<int16_t> expected(whole.begin() + static_cast<std::ptrdiff_t>(p.start),
                                            whole.begin() + static_cast<std::ptrdiff_t>(p.start + p.count));
        EXPECT_EQ(expected, Played(p.start, p.count));
        EXPECT_EQ(expected, Decoded(p.start, p.count));
        CTrailingSilenceMeter meter(static_cast<uint32_t>(2 * rate), -20);
        meter.Measure(reinterpret_cast<const char*>(expected.data()), static_cast<uint32_t>(2 * p.count));
        RecordingHost host;
        uint32_t silence = 1;
        ASSERT_EQ(0, MeasureMp3TrailingSilence(host, folder.CPath("a.mp3"), static_cast<uint32_t>(2 * p.start),
                                               static_cast<uint32_t>(2 * p.count), -20, kProgramFolder, silence));
        EXPECT_EQ(meter.GetSilenceBytes(), silence);
    }
    // A recording cut short plays what it holds and ends there; a phrase wholly past the
    // cut plays nothing. Silence it does not hold is never played as the phrase.
    WriteBytes(folder.Path("cut.mp3"), ReadBytes(folder.Path("a.mp3")).substr(0, 6000));
    uint64_t bytes = 0;
    uint32_t frame = 0;
    {
        int error = 0;
        std::unique_ptr<CRiffFile> file = CRiffFile::Open(folder.CPath("cut.mp3"), RiffOpenMode::Read, error);
        ASSERT_TRUE(file && MeasureMp3Frames(*file, bytes, frame));
    }
    const size_t held = bytes / 2;
    for (size_t start : {held - rate / 2 - 7, held + 10}) {
        SCOPED_TRACE(start);
        const std::vector<int16_t> expected(whole.begin() + static_cast<std::ptrdiff_t>(std::min(start, held)),
                                            whole.begin() + static_cast<std::ptrdiff_t>(held));
        EXPECT_EQ(expected, Played(start, rate, "cut.mp3"));
    }
}

// Tags in front of the audio, smaller or larger than the first read, one or two, are no
// audio: the stream's information, its whole decode and a phrase in its middle are the
// untagged file's.
TEST_P(Mp3Part, TaggedFilesReadAsTheirAudio) {
    const std::string mp3 = ReadBytes(folder.Path("a.mp3"));
    const std::string small = Id3v2Tag(6 * 1024, mp3.substr(0, 3000)), large = Id3v2Tag(40 * 1024, mp3.substr(0, 3000));
    for (const std::string& tags : {small, large, small + large}) {
        const size_t tagBytes = tags.size();
        SCOPED_TRACE(tagBytes);
        WriteBytes(folder.Path("tagged.mp3"), tags + mp3);
        RecordingHost host;
        Mp3FileInfo info;
        ASSERT_EQ(0, GetMp3FileInfo(host, folder.CPath("tagged.mp3"), info));
        EXPECT_EQ(uint32_t(GetParam().bitRate), info.bitRate);
        EXPECT_EQ(GetParam().rate, info.sampleRate);
        ASSERT_EQ(0, DecodeMp3FileToWave(host, folder.CPath("tagged.mp3"), folder.CPath("t.wav"), "c", "t",
                                         GetParam().rate, kProgramFolder));
        uint32_t rate = 0;
        EXPECT_TRUE(ReadCanonicalWav(folder.Path("t.wav"), rate) == whole);
        const size_t start = whole.size() / 2 + 3, count = GetParam().rate / 2;
        const std::vector<int16_t> expected(whole.begin() + static_cast<std::ptrdiff_t>(start),
                                            whole.begin() + static_cast<std::ptrdiff_t>(start + count));
        EXPECT_TRUE(Played(start, count, "tagged.mp3") == expected);
        EXPECT_TRUE(ReadFrom(folder.CPath("tagged.mp3"), start) ==
                    std::vector<int16_t>(whole.begin() + static_cast<std::ptrdiff_t>(start), whole.end()));
        EXPECT_TRUE(host.errors.empty());
        // The frame count: the tag is no audio, and a last frame cut short holds none.
        WriteBytes(folder.Path("cut.mp3"), ReadBytes(folder.Path("tagged.mp3")).substr(0, tagBytes + mp3.size() - 10));
        uint64_t frames[3] = {0, 0, 0};
        uint32_t frameBytes = 0;
        const char* const names[3] = {"a.mp3", "tagged.mp3", "cut.mp3"};
        for (int i = 0; i < 3; ++i) {
            int error = 0;
            std::unique_ptr<CRiffFile> file = CRiffFile::Open(folder.CPath(names[i]), RiffOpenMode::Read, error);
            ASSERT_TRUE(file && MeasureMp3Frames(*file, frames[i], frameBytes));
        }
        EXPECT_EQ(GetParam().bitRate == 64000 ? 2304u : 1152u, frameBytes);
        EXPECT_EQ(frames[0], frames[1]);
        EXPECT_EQ(frames[0] - frameBytes, frames[2]);
        EXPECT_GE(frames[0], 2 * whole.size());
    }
}

// The book's clips are placed by the encoder's delay: the decode of what it wrote matches
// its input best when shifted by exactly that many samples.
TEST_P(Mp3Part, TheWholeDecodeLagsItsSourceByTheEncodersDelay) {
    uint32_t rate = 0;
    const std::vector<int16_t> source = ReadCanonicalWav(folder.Path("src.wav"), rate);
    const int32_t delay = Mp3EncoderDelay(rate, GetParam().bitRate, 1);
    ASSERT_GT(delay, 0);
    auto match = [&](size_t lag) {
        double sum = 0;
        for (size_t i = rate / 2; i < rate; ++i) sum += double(source[i]) * whole[i + lag];
        return sum;
    };
    size_t best = 0;
    for (size_t lag = 0; lag < 3000; ++lag)
        if (match(lag) > match(best)) best = lag;
    EXPECT_EQ(size_t(delay), best);
}

INSTANTIATE_TEST_SUITE_P(BothFormats, Mp3Part, ::testing::Values(Format{22050, 32000}, Format{44100, 64000}),
                         [](const auto& info) { return std::to_string(info.param.bitRate / 1000) + "k"; });

}  // namespace
