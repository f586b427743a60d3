// The analysis stage against direct evaluation of the standard's formulas, and the layout of
// what it hands to the quantiser.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "mp3enc/analysis.h"
#include "mp3enc/attack.h"
#include "mp3enc/l3enc_tables.h"

namespace {

constexpr double pi = 3.14159265358979323846;

TEST(CoreAnalysis, WindowPeakIsThePrintedValue) {
  EXPECT_FLOAT_EQ(mp3enc_window_c[256], 0.035780907f);
  for (int i = 0; i < 512; ++i) EXPECT_LE(std::fabs(mp3enc_window_c[i]), mp3enc_window_c[256]);
}

TEST(CoreAnalysis, PolyphaseMatchesTheStandardFormula) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(-20000.0f, 20000.0f);
  std::vector<float> x(2 * 576);
  for (float& v : x) v = u(rng);
  mp3enc_polyphase_state st{};
  float sub[32][36] = {};
  std::vector<double> X(512 + x.size(), 0.0);  // newest first, built independently
  double worst = 0.0;
  for (int gran = 0; gran < 2; ++gran) {
    mp3enc_polyphase(&st, x.data() + 576 * gran, 1, sub);
    for (int t = 0; t < 18; ++t) {
      const int n = 576 * gran + 32 * t + 32;  // samples consumed after this step
      for (int s = 0; s < 32; ++s) {
        double acc = 0.0;
        for (int j = 0; j < 64; ++j) {
          double y = 0.0;
          for (int k = 0; k < 8; ++k) {
            const int i = j + 64 * k;
            const int idx = n - 1 - i;
            y += double(mp3enc_window_c[i]) * (idx >= 0 ? x[size_t(idx)] : 0.0);
          }
          acc += std::cos((2 * s + 1) * (j - 16) * pi / 64) * y;
        }
        if ((t & 1) && (s & 1)) acc = -acc;
        worst = std::max(worst, std::fabs(acc - sub[s][18 + t]));
      }
    }
  }
  EXPECT_LT(worst, 0.05);
}

TEST(CoreAnalysis, MdctMatchesTheFormulaForEveryLongWindow) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> d(-1000.0f, 1000.0f);
  float u[36];
  for (float& v : u) v = d(rng);
  for (int type : {0, 1, 3}) {
    float f[18], out[18];
    mp3enc_mdct_long_window(u, type, f);
    mp3enc_mdct18(f, out);
    for (int m = 0; m < 18; ++m) {
      double acc = 0.0;
      for (int k = 0; k < 36; ++k) {
        double w = std::sin(pi / 36 * (k + 0.5));
        if (type == 1 && k >= 18) w = k < 24 ? 1.0 : k < 30 ? std::sin(pi / 12 * (k - 18 + 0.5)) : 0.0;
        if (type == 3 && k < 18) w = k < 6 ? 0.0 : k < 12 ? std::sin(pi / 12 * (k - 6 + 0.5)) : 1.0;
        acc += w * u[k] * std::cos(pi / 72 * (2 * k + 19) * (2 * m + 1));
      }
      EXPECT_NEAR(out[m], acc / 9, 0.01) << "type " << type << " line " << m;
    }
  }
  float s6[6];
  mp3enc_mdct6(u, s6);
  for (int m = 0; m < 6; ++m) {
    double acc = 0.0;
    for (int k = 0; k < 12; ++k)
      acc += std::sin(pi / 12 * (k + 0.5)) * u[k] * std::cos(pi / 24 * (2 * k + 7) * (2 * m + 1));
    EXPECT_NEAR(s6[m], acc / 3, 0.01);
  }
}

struct stage_deleter {
  void operator()(mp3enc_analysis* a) const { mp3enc_analysis_free(a); }
};

std::unique_ptr<mp3enc_analysis, stage_deleter> make_stage(int rate, int channels, float bandwidth, int bitrate) {
  mp3enc_analysis_params p{rate, bitrate, channels, bandwidth, 0, 0, 0};
  mp3enc_analysis* a = nullptr;
  EXPECT_EQ(mp3enc_analysis_create(&a, &p), 0);
  EXPECT_EQ(mp3enc_analysis_init(a, &p), 0);
  return std::unique_ptr<mp3enc_analysis, stage_deleter>(a);
}

TEST(CoreAnalysis, FirstSamplesReachTheFilterAfter144ZeroFrames) {
  auto st = make_stage(44100, 1, 16000.0f, 64000);
  std::vector<float> in(576, 1000.0f);
  mp3enc_analysis_push(st.get(), in.data(), 1, 576);
  const float* p = mp3enc_analysis_input(st.get());
  for (int i = 0; i < 144; ++i) ASSERT_EQ(p[i], 0.0f);
  for (int i = 144; i < 576; ++i) ASSERT_EQ(p[i], 1000.0f);
}

TEST(CoreAnalysis, NonFiniteAndHugeSamplesEnterAsSilenceOrFullScale) {
  auto st = make_stage(44100, 2, 16000.0f, 128000);
  std::vector<float> in(2 * 576, 0.0f);
  in[0] = std::nanf("");
  in[1] = INFINITY;
  in[2] = -1e30f;
  in[3] = 1e30f;
  mp3enc_analysis_push(st.get(), in.data(), 2, 2 * 576);
  mp3enc_delay_advance(&st->fifo, 144);
  const float* p = mp3enc_analysis_input(st.get());
  EXPECT_EQ(p[0], 0.0f);
  EXPECT_EQ(p[1], 0.0f);
  EXPECT_EQ(p[2], -32768.0f);
  EXPECT_EQ(p[3], 32768.0f);
}

TEST(CoreAnalysis, SpectrumAboveTheCutoffIsZeroAndBandsAboveAreInactive) {
  auto st = make_stage(44100, 1, 16000.0f, 64000);
  EXPECT_EQ(st->bands[0].cutoff, 417);
  EXPECT_EQ(st->bands[0].active_bands, 21);
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> d(-30000.0f, 30000.0f);
  std::vector<float> in(576);
  mp3enc_granule_analysis* ga = nullptr;
  ASSERT_EQ(mp3enc_granule_analysis_create(&ga), 0);
  for (int g = 0; g < 3; ++g) {
    for (float& v : in) v = d(rng);
    mp3enc_analysis_push(st.get(), in.data(), 1, 576);
    mp3enc_analysis_frame(st.get(), g & 1, ga);
  }
  const mp3enc_channel_analysis& ch = ga->ch[0];
  for (int i = 417; i < 576; ++i) ASSERT_EQ(ch.spectrum[i], 0.0f) << i;
  EXPECT_EQ(ch.active_bands, 21);
  EXPECT_EQ(ch.energy[21], 0.0f);
  EXPECT_EQ(ch.thr[21], mp3enc_no_limit);
  for (int b = 0; b < 21; ++b) EXPECT_GT(ch.thr[b], 0.0f);
  EXPECT_EQ(ga->ms, 0);
  mp3enc_granule_analysis_free(ga);
}

TEST(CoreAnalysis, ShortBlocksAreStoredBandByBandWindowByWindow) {
  auto st = make_stage(44100, 1, 22050.0f, 128000);
  st->ch[0].attack->next_type = 2;  // a granule that follows an attack
  std::vector<float> in(576);
  for (int i = 0; i < 576; ++i) in[size_t(i)] = float(10000 * std::sin(0.3 * i));
  mp3enc_granule_analysis* ga = nullptr;
  ASSERT_EQ(mp3enc_granule_analysis_create(&ga), 0);
  mp3enc_analysis_push(st.get(), in.data(), 1, 576);
  mp3enc_analysis_frame(st.get(), 0, ga);
  const mp3enc_channel_analysis& ch = ga->ch[0];
  EXPECT_EQ(ch.block_type, 2);
  EXPECT_EQ(ch.band_count, 39);
  EXPECT_EQ(ch.windows, 3);
  // Band 0 is 4 lines wide at 44100 Hz: three equal runs.
  EXPECT_EQ(ch.bounds[0], 0);
  EXPECT_EQ(ch.bounds[1], 4);
  EXPECT_EQ(ch.bounds[2], 8);
  EXPECT_EQ(ch.bounds[3], 12);
  EXPECT_EQ(ch.bounds[39], 576);
  for (int v = 0; v < 3; ++v)
    for (int k = 0; k < 4; ++k) EXPECT_EQ(ch.spectrum[4 * v + k], st->ch[0].spectrum[192 * v + k]);
  mp3enc_granule_analysis_free(ga);
}

TEST(CoreAnalysis, SampleRingMirrorsItsStart) {
  mp3enc_sample_ring r{};
  ASSERT_EQ(mp3enc_delay_create(&r, 12, 1), 0);
  mp3enc_delay_init(&r, 8, 4, 6);
  const float v[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(mp3enc_delay_write(&r, v, nullptr, 1, 2.0f, 6), 1);
  EXPECT_EQ(r.write, 4);
  // Frames 6, 7 then 0..3; 0..3 also behind the end.
  const float want[12] = {6, 8, 10, 12, 0, 0, 2, 4, 6, 8, 10, 12};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(r.buf[i], want[i]) << i;
  r.read = 6;
  EXPECT_EQ(*mp3enc_delay_read(&r, 3, 0), 8.0f);
  mp3enc_delay_free(&r);
  EXPECT_EQ(r.buf, nullptr);
}

// A frame announces intensity stereo once, from its first granule. A second granule whose own
// search finds an intensity region in a frame without the flag must code every band as the
// mid/side decision says: the region it hands on is empty.
TEST(CoreAnalysis, IntensityRegionOnlyInFramesThatAnnounceIt) {
  auto st = make_stage(44100, 2, 16000.0f, 64000);
  std::mt19937 rng(11);
  std::normal_distribution<float> d(0.0f, 3000.0f);
  mp3enc_granule_analysis* ga = nullptr;
  ASSERT_EQ(mp3enc_granule_analysis_create(&ga), 0);
  std::vector<float> in(2 * 576);
  int found_alone = 0;
  for (int k = 0; k < 90; ++k) {
    // one granule in three has the same sound in both channels, which intensity codes safely
    const bool same = k % 3 == 0;
    for (int i = 0; i < 576; ++i) {
      in[2 * size_t(i)] = d(rng);
      in[2 * size_t(i) + 1] = same ? in[2 * size_t(i)] : d(rng);
    }
    mp3enc_analysis_push(st.get(), in.data(), 2, 2 * 576);
    mp3enc_analysis_frame(st.get(), k & 1, ga);
    const int active = ga->ch[1].active_bands;
    if (!ga->is) {
      if (st->stereo.first_is_band[0] < active) ++found_alone;
      EXPECT_EQ(ga->ch[1].first_is_band[0], active) << "granule " << k;
    }
  }
  EXPECT_GT(found_alone, 3);
  mp3enc_granule_analysis_free(ga);
}

}  // namespace
