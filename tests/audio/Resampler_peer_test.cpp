// Our rate conversion beside sox's on the same input: both are measured against the
// ideal tone at the target rate, and ours must not fall short.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "audio/WaveConvert.h"
#include "audio/WaveTestSupport.h"

using namespace wavetest;

namespace {

constexpr double kAmplitude = 0.5;  // -6 dBFS
constexpr int kSeconds = 5;

// Converts a tone of `frequency` from `from` to `to` Hz with us and with sox; both results.
void ConvertBoth(double frequency, int from, int to, std::vector<int16_t>& ours, std::vector<int16_t>& theirs) {
    ScratchFolder folder;
    WriteWav(folder.Path("src.wav"), from, 1, TonePcm(frequency, from, static_cast<long>(kSeconds) * from, kAmplitude));
    RecordingHost host;
    ASSERT_EQ(ConvertWaveFormat(host, folder.CPath("src.wav"), folder.CPath("ours.wav"), to, "", ""), 0);
    std::string ignored;
    ASSERT_TRUE(RunCommand("sox -R '" + folder.Path("src.wav") + "' -r " + std::to_string(to) + " '" +
                               folder.Path("sox.wav") + "'", ignored));
    theirs = SoxDecode(folder.Path("sox.wav"));
    uint32_t rate = 0;
    ours = ReadCanonicalWav(folder.Path("ours.wav"), rate);
    ASSERT_EQ(ours.size(), static_cast<size_t>(kSeconds) * to);
    ASSERT_EQ(theirs.size(), ours.size());
}

// The middle four seconds: the ends ring as any band-limited start and stop does.
constexpr long First(int rate) { return rate / 2; }
constexpr long Count(int rate) { return static_cast<long>(kSeconds - 1) * rate; }

// What is left of a tone that must vanish, in dB against the source's level.
double ResidualDb(const std::vector<int16_t>& samples, int rate) {
    double sum = 0;
    for (long i = First(rate); i < First(rate) + Count(rate); ++i) sum += std::pow(samples[i] / 32768.0, 2);
    return 10.0 * std::log10(std::max(sum / Count(rate), 1e-30) / (kAmplitude * kAmplitude / 2));
}

}  // namespace

TEST(ConversionBesideSox, OneKilohertzBetweenProjectRatesAndTenKilohertzVanishingAt16000) {
    if (!HaveTool("sox")) GTEST_SKIP() << "sox is not installed";
    const int pairs[][2] = {{22050, 44100}, {16000, 44100}, {16000, 22050}, {44100, 22050}, {44100, 16000}, {22050, 16000}};
    for (const auto& [from, to] : pairs) {
        SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to));
        std::vector<int16_t> ours, theirs;
        ConvertBoth(1000.0, from, to, ours, theirs);
        if (HasFatalFailure()) return;
        const double snr = SnrAgainstTone(ours, 1000.0, to, First(to), Count(to));
        const double soxSnr = SnrAgainstTone(theirs, 1000.0, to, First(to), Count(to));
        const double level = 20.0 * std::log10(ToneAmplitude(ours, 1000.0, to, First(to), Count(to)) / kAmplitude);
        std::printf("1 kHz %5d -> %5d Hz: SNR ours %.1f dB, sox %.1f dB; level ours %+.4f dB\n", from, to, snr,
                    soxSnr, level);
        EXPECT_NEAR(level, 0.0, 0.1);
        // Both sit near the 16-bit floor; sox dithers, we truncate as the editor always has.
        EXPECT_GT(snr, 80.0);
        EXPECT_GT(snr, soxSnr - 10.0);
    }
    for (int from : {22050, 44100}) {
        SCOPED_TRACE(from);
        std::vector<int16_t> ours, theirs;
        ConvertBoth(10000.0, from, 16000, ours, theirs);
        if (HasFatalFailure()) return;
        std::printf("10 kHz %5d -> 16000 Hz: what is left, ours %.1f dB, sox %.1f dB\n", from, ResidualDb(ours, 16000),
                    ResidualDb(theirs, 16000));
        EXPECT_LT(ResidualDb(ours, 16000), -60.0);
    }
}
