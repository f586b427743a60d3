#include "audio/Resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "audio/Fft.h"
#include "audio/FftFilter.h"
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

std::vector<double> Convert(const std::vector<double>& in, int inRate, int outRate, int window = kWindow,
                            int taps = kTaps) {
    std::vector<double> out(static_cast<size_t>(static_cast<long long>(in.size()) * outRate / inRate), -99.0);
    CResampler resampler;
    EXPECT_EQ(resampler.Resample(out.data(), static_cast<long>(out.size()), outRate, in.data(),
                                 static_cast<long>(in.size()), inRate, window, taps),
              1);
    return out;
}

double Db(double ratio) { return 20.0 * std::log10(ratio); }

}  // namespace

TEST(Fft, MatchesTheDefinitionAndInvertsExactly) {
    constexpr int order = 6, n = 1 << order;
    CFft fft;
    ASSERT_EQ(fft.Init(order), 1);
    EXPECT_EQ(fft.GetSize(), n);
    std::vector<double> re = Noise(n, 1), im = Noise(n, 2);
    const std::vector<double> re0 = re, im0 = im;
    fft.Transform(re.data(), im.data(), 1);
    for (int k = 0; k < n; k += 7) {
        double sr = 0, si = 0;
        for (int t = 0; t < n; ++t) {
            const double a = -2.0 * std::numbers::pi * k * t / n;
            sr += re0[t] * std::cos(a) - im0[t] * std::sin(a);
            si += re0[t] * std::sin(a) + im0[t] * std::cos(a);
        }
        EXPECT_NEAR(re[k], sr, 1e-12);
        EXPECT_NEAR(im[k], si, 1e-12);
    }
    fft.Transform(re.data(), im.data(), 0);  // any direction but 1 is the inverse
    for (int t = 0; t < n; ++t) {
        EXPECT_NEAR(re[t], re0[t], 1e-14);
        EXPECT_NEAR(im[t], im0[t], 1e-14);
    }
    EXPECT_EQ(CFft().Init(0), 0);
}

TEST(FftFilter, EqualsDirectConvolutionAcrossBlocks) {
    // 2^10 points and a 101-tap kernel: 5000 values need several blocks, whose
    // overlapping results must add up as one convolution.
    const int length = 101, centre = 40;
    const std::vector<double> kernel = Noise(length, 3), input = Noise(5000, 4);
    std::vector<double> output(input.size());
    CFftFilter filter;
    ASSERT_EQ(filter.Init(10), 1);
    ASSERT_EQ(filter.Run(output.data(), input.data(), static_cast<long>(input.size()), kernel.data(), length, centre), 1);
    for (long i = 0; i < static_cast<long>(input.size()); i += 13) {
        double expected = 0;
        for (int t = 0; t < length; ++t) {
            const long j = i + centre - t;
            if (j >= 0 && j < static_cast<long>(input.size())) expected += kernel[t] * input[j];
        }
        ASSERT_NEAR(output[i], expected, 1e-12) << i;
    }
    EXPECT_EQ(filter.GetSample(-1), 0.0);
    // A kernel as long as the transform leaves no room for input.
    EXPECT_EQ(filter.Run(output.data(), input.data(), 10, kernel.data(), 1024, 0), 0);
}

TEST(SincInterpolator, SincAndTapRules) {
    EXPECT_EQ(CSincInterpolator::Sinc(0.0), 1.0);
    EXPECT_EQ(CSincInterpolator::Sinc(-1000.0), 0.0);
    EXPECT_NEAR(CSincInterpolator::Sinc(-2.5), 2.0 / (5.0 * std::numbers::pi), 1e-15);

    const std::vector<double> src = Noise(50, 5);
    CSincInterpolator odd, even, none;
    odd.Setup(src.data(), 50, 4, 7);
    even.Setup(src.data(), 50, 4, 6);
    none.Setup(src.data(), 50, 4, 1);
    EXPECT_EQ(odd.Interpolate(20.3), even.Interpolate(20.3));
    EXPECT_EQ(none.Interpolate(20.0), 0.0);
    EXPECT_EQ(even.Interpolate(20.0), src[20]);

    // The neighbours are taken symmetrically: a sample just right of the position
    // weighs as much as one just left of it.
    std::vector<double> impulse(20, 0.0);
    impulse[10] = 1.0;
    CSincInterpolator one;
    one.Setup(impulse.data(), 20, 4, 4);
    EXPECT_NEAR(one.Interpolate(9.5), one.Interpolate(10.5), 1e-15);
    EXPECT_NEAR(one.Interpolate(8.5), one.Interpolate(11.5), 1e-15);
}

TEST(Resampler, EqualRatesAreTheIdentity) {
    const std::vector<double> in = Noise(22050, 6);
    EXPECT_EQ(Convert(in, 22050, 22050), in);
    EXPECT_EQ(Convert(in, 22050, 22050, 4, 4), in);
}

TEST(Resampler, RaisingByTwoKeepsEverySampleAndDoublesTheCount) {
    const std::vector<double> in = Noise(22050, 7);
    const std::vector<double> out = Convert(in, 22050, 44100);
    ASSERT_EQ(out.size(), 44100u);
    for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(out[2 * i], in[i]) << i;
    CSincInterpolator sinc;
    sinc.Setup(in.data(), 22050, kWindow, kTaps);
    EXPECT_NEAR(out[1001], sinc.Interpolate(500.5), 1e-12);
}

TEST(Resampler, LoweringByTwoGivesHalfTheCount) {
    const std::vector<double> out = Convert(Noise(44100, 8), 44100, 22050);
    EXPECT_EQ(out.size(), 22050u);
    for (double v : out) ASSERT_NE(v, -99.0);
}

// A 1 kHz tone keeps its level through every conversion between the project rates;
// the middle of the block is measured, away from its silent surroundings.
TEST(ResamplerQuality, OneKilohertzKeepsItsLevel) {
    const int rates[] = {16000, 22050, 44100};
    for (int inRate : rates) {
        for (int outRate : rates) {
            const std::vector<double> in = Tone(1000.0, inRate, inRate, 0.5);
            const std::vector<double> out = Convert(in, inRate, outRate);
            const long edge = outRate / 10;
            const double level = ToneAmplitude(out, 1000.0, outRate, edge, outRate - 2 * edge);
            EXPECT_NEAR(Db(level / 0.5), 0.0, 0.1) << inRate << " -> " << outRate;
        }
    }
}

// A 10 kHz tone lies above the Nyquist frequency of 16000 Hz: nothing of it may come
// through, neither as itself nor folded down.
TEST(ResamplerQuality, TenKilohertzDoesNotPassTo16000) {
    for (int inRate : {22050, 44100}) {
        const std::vector<double> in = Tone(10000.0, inRate, inRate, 0.5);
        const std::vector<double> out = Convert(in, inRate, 16000);
        const double rms = Rms(out, 1600, 16000 - 3200);
        EXPECT_LT(Db(rms / (0.5 / std::sqrt(2.0))), -60.0) << inRate;
    }
}

// Images of a raised tone stay far below it.
TEST(ResamplerQuality, RaisingLeavesNoImages) {
    const std::vector<double> in = Tone(1000.0, 22050, 22050, 0.5);
    const std::vector<double> out = Convert(in, 22050, 44100);
    const double image = ToneAmplitude(out, 22050.0 - 1000.0, 44100, 4410, 44100 - 8820);
    EXPECT_LT(Db(image / 0.5), -70.0);
}

// Converting a stream block by block with its neighbours as context gives the same
// values as converting it in one piece.
TEST(ResamplerContext, BlocksJoinWithoutSeams) {
    for (auto [inRate, outRate] : {std::pair{44100, 16000}, {22050, 44100}, {22050, 16000}}) {
        const std::vector<double> in = Noise(3L * inRate, 9);
        const std::vector<double> whole = Convert(in, inRate, outRate);
        const long context = CResampler::ContextNeeded(outRate, inRate, kTaps);
        CResampler r;
        for (long block = 0; block < 3; ++block) {
            const long first = block * inRate;
            const long before = std::min(first, context);
            const long after = std::min(static_cast<long>(in.size()) - first - inRate, context);
            std::vector<double> out(outRate);
            ASSERT_EQ(r.ResampleWithContext(out.data(), outRate, outRate, in.data() + first, inRate, before, after,
                                            inRate, kWindow, kTaps),
                      1);
            for (long j = 0; j < outRate; j += 7)
                ASSERT_NEAR(out[j], whole[block * outRate + j], 1e-9) << inRate << "->" << outRate << " @" << j;
        }
    }
}
