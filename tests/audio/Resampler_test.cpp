#include "audio/Resampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "audio/SincInterpolator.h"
#include "audio/WaveRateConverter.h"
#include "audio/WaveTestSupport.h"

using namespace wavetest;

namespace {

constexpr int kWindow = CWaveRateConverter::kWindowType;
constexpr int kTaps = CWaveRateConverter::kTaps;

std::vector<double> Noise(long count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-0.5, 0.5);
    std::vector<double> out(count);
    for (double& v : out) v = u(rng);
    return out;
}

std::vector<double> Convert(const std::vector<double>& in, int inRate, int outRate) {
    std::vector<double> out(static_cast<size_t>(static_cast<long long>(in.size()) * outRate / inRate), -99.0);
    EXPECT_EQ(CResampler().Resample(out.data(), static_cast<long>(out.size()), outRate, in.data(),
                                    static_cast<long>(in.size()), inRate, kWindow, kTaps),
              1);
    return out;
}

double Db(double ratio) { return 20.0 * std::log10(ratio); }

}  // namespace

TEST(SincInterpolator, NeighboursAreTakenSymmetrically) {
    // A sample just right of the position weighs as much as one just left of it.
    std::vector<double> impulse(20, 0.0);
    impulse[10] = 1.0;
    CSincInterpolator one;
    one.Setup(impulse.data(), 20, 4, 4);
    EXPECT_NEAR(one.Interpolate(9.5), one.Interpolate(10.5), 1e-15);
    EXPECT_NEAR(one.Interpolate(8.5), one.Interpolate(11.5), 1e-15);
    EXPECT_EQ(one.Interpolate(10.0), 1.0);
}

TEST(Resampler, EqualRatesAreTheIdentityAndTheCountFollowsTheRates) {
    const std::vector<double> in = Noise(22050, 6);
    EXPECT_EQ(Convert(in, 22050, 22050), in);
    // Raising by two keeps every sample and doubles the count.
    const std::vector<double> up = Convert(in, 22050, 44100);
    ASSERT_EQ(up.size(), 44100u);
    for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(up[2 * i], in[i]) << i;
    const std::vector<double> down = Convert(Noise(44100, 8), 44100, 22050);
    EXPECT_EQ(down.size(), 22050u);
    EXPECT_EQ(std::count(down.begin(), down.end(), -99.0), 0);
}

TEST(Resampler, OneKilohertzKeepsItsLevelAndNothingAliases) {
    // The middle of each one-second block is measured, away from its silent surroundings.
    const int rates[] = {16000, 22050, 44100};
    for (int inRate : rates) {
        const std::vector<double> in = Tone(1000.0, inRate, inRate, 0.5);
        for (int outRate : rates) {
            const std::vector<double> out = Convert(in, inRate, outRate);
            const long edge = outRate / 10;
            const double level = ToneAmplitude(out, 1000.0, outRate, edge, outRate - 2 * edge);
            EXPECT_NEAR(Db(level / 0.5), 0.0, 0.1) << inRate << " -> " << outRate;
            // Images of a raised tone stay far below it.
            if (outRate == 2 * inRate) {
                EXPECT_LT(Db(ToneAmplitude(out, inRate - 1000.0, outRate, edge, outRate - 2 * edge) / 0.5), -70.0);
            }
        }
        // 10 kHz lies above the Nyquist frequency of 16000 Hz: nothing of it may come through, folded or not.
        if (inRate > 16000) {
            const std::vector<double> out = Convert(Tone(10000.0, inRate, inRate, 0.5), inRate, 16000);
            EXPECT_LT(Db(Rms(out, 1600, 16000 - 3200) / (0.5 / std::sqrt(2.0))), -60.0) << inRate;
        }
    }
}
