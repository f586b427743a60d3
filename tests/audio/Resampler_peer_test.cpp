// Our rate conversion beside sox's on the same input: both are measured against the
// ideal tone at the target rate, and ours must not fall short.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "audio/WaveConvert.h"
#include "audio/WaveTestSupport.h"
#include "audio/WaveToolsSupport.h"

using namespace wavetest;

namespace {

struct Measured {
    double snr = 0;      // dB against the fitted ideal tone, away from the file's ends
    double levelDb = 0;  // level of the tone against the source's
    double residualDb = 0;  // for a tone that must vanish: all that is left, against the source
};

class ConversionBesideSox : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("sox")) GTEST_SKIP() << "sox is not installed";
    }

    // Converts src.wav with us and with sox; returns the samples of both.
    void ConvertBoth(int rate, std::vector<int16_t>& ours, std::vector<int16_t>& theirs) {
        RecordingHost host;
        ASSERT_EQ(ConvertWaveFormat(host, m_folder.CPath("src.wav"), m_folder.CPath("ours.wav"), rate, "", ""), 0);
        std::string ignored;
        ASSERT_TRUE(RunCommand("sox '" + m_folder.Path("src.wav") + "' -r " + std::to_string(rate) + " '" +
                                   m_folder.Path("sox.wav") + "'",
                               ignored));
        std::string raw;
        ASSERT_TRUE(RunCommand("sox '" + m_folder.Path("sox.wav") + "' -t raw -e signed -b 16 -L -", raw));
        theirs = BytesToSamples(raw);
        uint32_t ourRate = 0;
        ours = ReadCanonicalWav(m_folder.Path("ours.wav"), ourRate);
    }

    ScratchFolder m_folder;
};

constexpr double kAmplitude = 0.5;  // -6 dBFS
constexpr int kSeconds = 5;

Measured MeasureTone(const std::vector<int16_t>& samples, double frequency, int rate) {
    // The middle four seconds: the ends ring as any band-limited start and stop does.
    const long first = rate / 2, count = static_cast<long>(kSeconds - 1) * rate;
    Measured m;
    if (static_cast<long>(samples.size()) < first + count) return m;
    m.snr = SnrAgainstTone(samples, frequency, rate, first, count);
    m.levelDb = 20.0 * std::log10(ToneAmplitude(samples, frequency, rate, first, count) / kAmplitude);
    return m;
}

Measured MeasureResidual(const std::vector<int16_t>& samples, int rate) {
    const long first = rate / 2, count = static_cast<long>(kSeconds - 1) * rate;
    Measured m;
    if (static_cast<long>(samples.size()) < first + count) return m;
    double sum = 0;
    for (long i = first; i < first + count; ++i) sum += (samples[i] / 32768.0) * (samples[i] / 32768.0);
    m.residualDb = 10.0 * std::log10(std::max(sum / count, 1e-30) / (kAmplitude * kAmplitude / 2));
    return m;
}

}  // namespace

TEST_F(ConversionBesideSox, OneKilohertzBetweenProjectRates) {
    const int pairs[][2] = {{22050, 44100}, {16000, 44100}, {16000, 22050},
                            {44100, 22050}, {44100, 16000}, {22050, 16000}};
    for (const auto& [from, to] : pairs) {
        SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to));
        WriteWav(m_folder.Path("src.wav"), from, 1, TonePcm(1000.0, from, static_cast<long>(kSeconds) * from, kAmplitude));
        std::vector<int16_t> ours, theirs;
        ConvertBoth(to, ours, theirs);
        ASSERT_EQ(ours.size(), static_cast<size_t>(kSeconds) * to);
        const Measured us = MeasureTone(ours, 1000.0, to), sox = MeasureTone(theirs, 1000.0, to);
        std::printf("1 kHz %5d -> %5d Hz: SNR ours %.1f dB, sox %.1f dB; level ours %+.4f dB, sox %+.4f dB\n", from,
                    to, us.snr, sox.snr, us.levelDb, sox.levelDb);
        EXPECT_NEAR(us.levelDb, 0.0, 0.1);
        // Both sit near the 16-bit floor; sox dithers, we truncate as the editor always has.
        EXPECT_GT(us.snr, 80.0);
        EXPECT_GT(us.snr, sox.snr - 10.0);
    }
}

TEST_F(ConversionBesideSox, TenKilohertzVanishesAt16000) {
    for (int from : {22050, 44100}) {
        SCOPED_TRACE(from);
        WriteWav(m_folder.Path("src.wav"), from, 1, TonePcm(10000.0, from, static_cast<long>(kSeconds) * from, kAmplitude));
        std::vector<int16_t> ours, theirs;
        ConvertBoth(16000, ours, theirs);
        const Measured us = MeasureResidual(ours, 16000), sox = MeasureResidual(theirs, 16000);
        std::printf("10 kHz %5d -> 16000 Hz: what is left, ours %.1f dB, sox %.1f dB\n", from, us.residualDb,
                    sox.residualDb);
        EXPECT_LT(us.residualDb, -60.0);
    }
}
