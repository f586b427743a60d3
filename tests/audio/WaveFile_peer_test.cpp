// soxi and sox read every kind of WAV file that the editor writes as we meant it.

#include <gtest/gtest.h>

#include "audio/WaveConvert.h"
#include "audio/WaveCopy.h"
#include "audio/WaveFileWriter.h"
#include "audio/WaveTestSupport.h"
#include "audio/WaveToolsSupport.h"

using namespace wavetest;

namespace {

class SoxReadsOurFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("soxi") || !HaveTool("sox")) GTEST_SKIP() << "sox is not installed";
    }

    std::string Soxi(const std::string& option, const std::string& name) {
        std::string out;
        EXPECT_TRUE(RunCommand("soxi " + option + " '" + m_folder.Path(name) + "'", out)) << name;
        return Trim(out);
    }

    // What soxi says of the file and what sox decodes from it.
    void ExpectFile(const std::string& name, int rate, size_t samples, const std::vector<int16_t>* content = nullptr) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Soxi("-t", name), "wav");
        EXPECT_EQ(Soxi("-r", name), std::to_string(rate));
        EXPECT_EQ(Soxi("-c", name), "1");
        EXPECT_EQ(Soxi("-b", name), "16");
        EXPECT_EQ(Soxi("-e", name), "Signed Integer PCM");
        EXPECT_EQ(Soxi("-s", name), std::to_string(samples));
        std::string raw;
        ASSERT_TRUE(RunCommand("sox '" + m_folder.Path(name) + "' -t raw -e signed -b 16 -L -", raw));
        EXPECT_EQ(raw.size(), samples * 2);
        if (content) {
            EXPECT_EQ(BytesToSamples(raw), *content);
        }
    }

    ScratchFolder m_folder;
};

}  // namespace

TEST_F(SoxReadsOurFiles, WriterOutput) {
    for (int rate : {16000, 22050, 44100}) {
        const std::vector<int16_t> tone = TonePcm(1000.0, rate, rate / 3, 0.7);
        const std::string name = "w" + std::to_string(rate) + ".wav";
        CWaveFileWriter writer;
        std::unique_ptr<CRiffFile> file;
        ASSERT_EQ(writer.Create(m_folder.CPath(name), MakePcmMono16Format(rate), file), 0);
        const std::string bytes = SamplesToBytes(tone);
        ASSERT_EQ(file->Write(bytes.data(), static_cast<int64_t>(bytes.size())), static_cast<int64_t>(bytes.size()));
        ASSERT_EQ(writer.Close(file), 0);
        ExpectFile(name, rate, tone.size(), &tone);
    }
    CWaveFileWriter writer;
    std::unique_ptr<CRiffFile> file;
    ASSERT_EQ(writer.Create(m_folder.CPath("empty.wav"), MakePcmMono16Format(22050), file), 0);
    ASSERT_EQ(writer.Close(file), 0);
    ExpectFile("empty.wav", 22050, 0);
}

TEST_F(SoxReadsOurFiles, CopyAndConversionOutput) {
    const std::vector<int16_t> tone = TonePcm(700.0, 22050, 22050 * 2 + 1234, 0.5);
    WriteWav(m_folder.Path("src.wav"), 22050, 1, tone);
    RecordingHost host;
    ASSERT_EQ(CopyWaveRange(host, m_folder.CPath("src.wav"), m_folder.CPath("copy.wav"), 20000, 1000), 0);
    const std::vector<int16_t> range(tone.begin() + 500, tone.begin() + 10500);
    ExpectFile("copy.wav", 22050, range.size(), &range);
    ASSERT_EQ(CopyWaveRange(host, m_folder.CPath("src.wav"), m_folder.CPath("none.wav"), 0, 0), 0);
    ExpectFile("none.wav", 22050, 0);

    for (int rate : {16000, 44100}) {
        const std::string name = "c" + std::to_string(rate) + ".wav";
        ASSERT_EQ(ConvertWaveFormat(host, m_folder.CPath("src.wav"), m_folder.CPath(name), rate, "", ""), 0);
        ExpectFile(name, rate, static_cast<size_t>(22050 * 2 + 1234) * rate / 22050);
    }
    EXPECT_TRUE(host.errors.empty());
}
