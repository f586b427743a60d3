// soxi and sox read every kind of WAV file that the editor writes as we meant it.

#include <gtest/gtest.h>

#include "audio/WaveConvert.h"
#include "audio/WaveCopy.h"
#include "audio/WaveFileWriter.h"
#include "audio/WaveTestSupport.h"

using namespace wavetest;

namespace {

// What soxi says of the file and what sox decodes from it.
void ExpectFile(const std::string& path, int rate, size_t samples, const std::vector<int16_t>* content = nullptr) {
    SCOPED_TRACE(path);
    const std::pair<const char*, std::string> expected[] = {
        {"-t", "wav"}, {"-r", std::to_string(rate)}, {"-c", "1"}, {"-b", "16"}, {"-e", "Signed Integer PCM"},
        {"-s", std::to_string(samples)}};
    for (const auto& [option, answer] : expected) EXPECT_EQ(Soxi(option, path), answer) << option;
    const std::vector<int16_t> decoded = SoxDecode(path);
    EXPECT_EQ(decoded.size(), samples);
    if (content) {
        EXPECT_EQ(decoded, *content);
    }
}

}  // namespace

TEST(SoxReadsOurFiles, WriterCopyAndConversionOutput) {
    if (!HaveTool("soxi") || !HaveTool("sox")) GTEST_SKIP() << "sox is not installed";
    ScratchFolder folder;
    for (int rate : {16000, 22050, 44100}) {
        for (const std::vector<int16_t>& tone : {TonePcm(1000.0, rate, rate / 3, 0.7), std::vector<int16_t>()}) {
            const std::string path = folder.Path("w" + std::to_string(rate) + "-" + std::to_string(tone.size()) + ".wav");
            CWaveFileWriter writer;
            std::unique_ptr<CRiffFile> file;
            ASSERT_EQ(writer.Create(CString(path), MakePcmMono16Format(rate), file), 0);
            const std::string bytes = SamplesToBytes(tone);
            ASSERT_EQ(file->Write(bytes.data(), static_cast<int64_t>(bytes.size())), static_cast<int64_t>(bytes.size()));
            ASSERT_EQ(writer.Close(file), 0);
            ExpectFile(path, rate, tone.size(), &tone);
        }
    }

    const std::vector<int16_t> tone = TonePcm(700.0, 22050, 22050 * 2 + 1234, 0.5);
    WriteWav(folder.Path("src.wav"), 22050, 1, tone);
    RecordingHost host;
    ASSERT_EQ(CopyWaveRange(host, folder.CPath("src.wav"), folder.CPath("copy.wav"), 20000, 1000), 0);
    const std::vector<int16_t> range(tone.begin() + 500, tone.begin() + 10500);
    ExpectFile(folder.Path("copy.wav"), 22050, range.size(), &range);
    for (int rate : {16000, 44100}) {
        const std::string name = "c" + std::to_string(rate) + ".wav";
        ASSERT_EQ(ConvertWaveFormat(host, folder.CPath("src.wav"), folder.CPath(name), rate, "", ""), 0);
        ExpectFile(folder.Path(name), rate, static_cast<size_t>(22050 * 2 + 1234) * rate / 22050);
    }
    EXPECT_TRUE(host.errors.empty());
}
