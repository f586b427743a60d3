// The wide (AVX2) kernels against the plain ones they stand in for: same inputs, same state,
// results equal to rounding. Skipped where the processor lacks the extensions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "mp3dec/cpu.h"
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
