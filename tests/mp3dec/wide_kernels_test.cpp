// The wide (AVX2) kernels against the plain ones they stand in for: same inputs, same state,
// results equal to rounding. Skipped where the processor lacks the extensions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "mp3dec/cpu.h"
#include "mp3dec/resampler.h"
#include "mp3dec/synth.h"

namespace {

// Tolerance to rounding: a few units of float precision of the largest magnitude around.
void expect_close(const std::vector<float>& ref, const std::vector<float>& got, double scale, const char* what) {
  ASSERT_EQ(ref.size(), got.size());
  double worst = 0;
  for (size_t i = 0; i < ref.size(); ++i) worst = std::max(worst, std::fabs(double(ref[i]) - got[i]));
  EXPECT_LE(worst, scale * 2e-6) << what;
}

struct synth_case {
  const char* name;
  int stride;
  int granules;
  float level;  // subband magnitude
};

TEST(Mp3decWideKernels, SynthesisGranuleMatchesPlainAcrossGranulesAndChannels) {
  if (!mp3dec_cpu_has_avx2_fma()) GTEST_SKIP() << "no AVX2 and FMA";
  const synth_case cases[] = {
      {"mono, one granule", 1, 1, 1000.0f},
      {"mono, ring wraps several times", 1, 5, 30000.0f},
      {"stereo interleave, second lane", 2, 3, 8000.0f},
      {"tiny values", 1, 2, 1e-3f},
  };
  std::mt19937 rng(7);
  for (const auto& c : cases) {
    std::uniform_real_distribution<float> u(-c.level, c.level);
    alignas(32) float va[16][64], vb[16][64];
    std::memset(va, 0, sizeof(va));
    int32_t pa = 0, pb = 0;
    // Start from a state that is not all zeros: one granule through the plain form.
    std::vector<float> warm(576), scratch(576 * 2);
    for (auto& x : warm) x = u(rng);
    l3_synth_granule_plain(va, &pa, warm.data(), scratch.data(), 1);
    std::memcpy(vb, va, sizeof(va));
    pb = pa;
    for (int g = 0; g < c.granules; ++g) {
      std::vector<float> hybrid(576);
      for (auto& x : hybrid) x = u(rng);
      std::vector<float> ref(576 * c.stride, 5.0f), got(576 * c.stride, 5.0f);
      const int lane = c.stride - 1;
      l3_synth_granule_plain(va, &pa, hybrid.data(), ref.data() + lane, c.stride);
      l3_synth_granule_avx2(vb, &pb, hybrid.data(), got.data() + lane, c.stride);
      EXPECT_EQ(pa, pb) << c.name;
      expect_close(ref, got, 16.0 * c.level, c.name);
      // The other lane of interleaved output is left alone.
      if (c.stride == 2) {
        for (int i = 0; i < 576 * 2; i += 2) ASSERT_EQ(got[i], 5.0f) << c.name;
      }
      std::vector<float> sa(&va[0][0], &va[0][0] + 16 * 64), sb(&vb[0][0], &vb[0][0] + 16 * 64);
      expect_close(sa, sb, 32.0 * c.level, c.name);
    }
  }
}

TEST(Mp3decWideKernels, SelectionFollowsTheProcessor) {
  l3_select_synth();
  EXPECT_EQ(l3_synth_granule == l3_synth_granule_avx2, mp3dec_cpu_has_avx2_fma());
}

}  // namespace

namespace {

struct converter_case {
  const char* name;
  int channels, in_rate, frame;
};

TEST(Mp3decWideKernels, ConverterMatchesPlainFrameByFrameAndOnDrain) {
  if (!mp3dec_cpu_has_avx2_fma()) GTEST_SKIP() << "no AVX2 and FMA";
  // 22050 Hz takes the doubling path (runs of rows in lanes, then blocks of 24, then one at a
  // time); the others the general wide dot product. Frames of uneven size leave remainders
  // for each of those, and long ones span more than one scratch line.
  const converter_case cases[] = {
      {"22050 mono", 1, 22050, 576},     {"22050 stereo", 2, 22050, 576}, {"22050 odd frames", 1, 22050, 1000},
      {"22050 frames past one line", 1, 22050, 2100},
      {"32000 mono", 1, 32000, 1152},    {"11025 stereo", 2, 11025, 576}, {"48000 mono (lowering)", 1, 48000, 1152},
  };
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> u(-20000.0f, 20000.0f);
  for (const auto& c : cases) {
    RateConverter *plain = nullptr, *wide = nullptr;
    resampler_dec_no_wide_next_create = true;
    ASSERT_TRUE(resampler_dec_create(&plain, c.channels, 1, c.channels * c.frame, c.in_rate, 44100, 22050, 0.1, 0));
    ASSERT_TRUE(resampler_dec_create(&wide, c.channels, 1, c.channels * c.frame, c.in_rate, 44100, 22050, 0.1, 0));
    EXPECT_EQ(plain->wide, 0) << c.name;
    EXPECT_EQ(wide->wide, 1) << c.name;
    EXPECT_EQ(wide->doubling, c.in_rate == 22050 ? 1 : 0) << c.name;
    const size_t room = size_t(c.channels) * (c.frame * 4 + 256);
    for (int f = 0; f <= 6; ++f) {
      std::vector<float> in(size_t(c.channels) * c.frame);
      for (auto& x : in) x = u(rng);
      int n_plain = f == 6 ? 0 : int(in.size()), n_wide = n_plain;  // the last call drains
      std::vector<float> a(room), b(room);
      int made_plain = 0, made_wide = 0;
      const int predicted = resampler_dec_predict(wide, n_wide);
      std::vector<float> in_copy = in;  // a drain writes silence into the given input
      resampler_dec_run(plain, in.data(), a.data(), &n_plain, &made_plain);
      resampler_dec_run(wide, in_copy.data(), b.data(), &n_wide, &made_wide);
      ASSERT_EQ(n_plain, n_wide) << c.name;
      ASSERT_EQ(made_plain, made_wide) << c.name;
      EXPECT_EQ(predicted, made_wide) << c.name;
      a.resize(size_t(made_plain));
      b.resize(size_t(made_wide));
      expect_close(a, b, 20000.0 * 4, c.name);
    }
    resampler_dec_destroy(plain);
    resampler_dec_destroy(wide);
  }
}

}  // namespace
