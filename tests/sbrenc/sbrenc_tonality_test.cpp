#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "sbrenc/sbrenc_bands.h"
#include "sbrenc/sbrenc_config.h"
#include "sbrenc/sbrenc_encoder.h"
#include "sbrenc/sbrenc_tonality.h"

namespace {

constexpr double pi = 3.14159265358979323846;

struct set_holder {
  sbrenc_tonality_set* set = nullptr;
  ~set_holder() { sbrenc_tonality_set_free(set); }
};

const mp3enc_error* make_set(set_holder& h, const std::vector<int32_t>& master, int32_t first_target, int32_t rate) {
  const int32_t n = static_cast<int32_t>(master.size()) - 1;
  int32_t high[49], low[25], nh, nl, xi = 0;
  for (int32_t i = 0; i <= n; ++i) high[i] = master[i];
  nh = n;
  (void)xi;
  sbrenc_low_table(low, &nl, high, nh);
  const int32_t* tables[2] = {low, high};
  const int32_t counts[2] = {nl, nh};
  const int32_t scales[5] = {0, 0, 0, 0, 0};
  return sbrenc_tonality_set_create(&h.set, 1152, 9, 18, 1152, rate, 64, 2, first_target, master.data(), n, 6, tables,
                                    counts, 2, scales, 0, 0, 2);
}

TEST(SbrencTonality, WorkedPatchExamples) {
  {
    set_holder h;
    ASSERT_EQ(make_set(h, {25, 26, 28, 30, 32, 34, 36, 38, 41, 44, 47}, 25, 44100), nullptr);
    ASSERT_EQ(h.set->patch_count, 1);
    const sbrenc_patch& p = h.set->patches[0];
    EXPECT_EQ(p.source_start, 3);
    EXPECT_EQ(p.source_end, 25);
    EXPECT_EQ(p.target_start, 25);
    EXPECT_EQ(p.shift, 22);
    EXPECT_EQ(p.width, 22);
    for (int k = 0; k < 25; ++k) EXPECT_EQ(h.set->source_map[k], k);
    for (int k = 25; k < 47; ++k) EXPECT_EQ(h.set->source_map[k], k - 22);
    EXPECT_EQ(h.set->rec.stop_band, 47);
    EXPECT_EQ(h.set->rec.history, 1);
    EXPECT_EQ(h.set->rec.slots, 16);
  }
  {
    set_holder h;
    ASSERT_EQ(make_set(h, {21, 22, 23, 25, 27, 29, 31, 33, 35, 38, 41, 44, 47}, 21, 44100), nullptr);
    ASSERT_EQ(h.set->patch_count, 2);
    const sbrenc_patch& a = h.set->patches[0];
    const sbrenc_patch& b = h.set->patches[1];
    EXPECT_EQ(std::vector<int32_t>({a.source_start, a.source_end, a.target_start, a.shift, a.width}),
              (std::vector<int32_t>{1, 21, 21, 20, 20}));
    EXPECT_EQ(std::vector<int32_t>({b.source_start, b.source_end, b.target_start, b.shift, b.width}),
              (std::vector<int32_t>{15, 21, 41, 26, 6}));
  }
}

// Every row of the tuning table, at its crossover: one to three patches, each copying low
// bands (below the first SBR band) onto consecutive targets up to the stop band.
TEST(SbrencTonality, PatchesForEveryTuningRow) {
  for (int row = 0; row < sbrenc_tuning_rows; ++row) {
    SCOPED_TRACE(testing::Message() << "row " << row);
    const int32_t* t = sbrenc_tuning_table[row];
    sbrenc_config cfg{};
    ASSERT_EQ(sbrenc_config_defaults(&cfg, 2, 2, 576), 0);
    ASSERT_EQ(sbrenc_config_select(&cfg, t[sbrenc_tc_min_rate], t[sbrenc_tc_channels], t[sbrenc_tc_core_rate], 3,
                                   32000, 0, 0, 0, 1),
              0);
    sbrenc_output out{};
    sbrenc_encoder* enc = nullptr;
    ASSERT_EQ(sbrenc_create(&enc, &cfg, &out), nullptr);
    const sbrenc_settings* s = enc->settings;
    for (int c = 0; c < cfg.channels; ++c) {
      const sbrenc_tonality_set* set = enc->channel[c]->tonality;
      EXPECT_GE(set->patch_count, 1);
      EXPECT_LE(set->patch_count, 3);
      int32_t next = s->low[0];
      for (int i = 0; i < set->patch_count; ++i) {
        const sbrenc_patch& p = set->patches[i];
        EXPECT_EQ(p.target_start, next);
        EXPECT_EQ(p.shift % 2, 0);
        EXPECT_GT(p.width, 0);
        EXPECT_GE(p.source_start, 1);
        EXPECT_LE(p.source_end, s->low[0]);
        next = p.target_start + p.width;
      }
      EXPECT_EQ(next, s->master[s->master_count]);
      for (int k = 0; k < s->low[0]; ++k) EXPECT_EQ(set->source_map[k], k);
      for (int k = s->low[0]; k < next; ++k) {
        EXPECT_GE(set->source_map[k], 0);
        EXPECT_LT(set->source_map[k], s->low[0]);
      }
      EXPECT_EQ(set->rec.stop_band, s->high[s->high_count]);
      EXPECT_EQ(set->noise->borders[0], s->low[0]);
      EXPECT_EQ(set->noise->borders[set->noise->band_count], s->low[s->low_count]);
      EXPECT_GE(set->noise->band_count, 1);
      EXPECT_LE(set->noise->band_count, 4);
    }
    sbrenc_destroy(enc);
  }
}

TEST(SbrencTonality, PatchConstructionFailures) {
  // A target that cannot advance under the limit, or more than six patches, is refused
  // instead of looping.
  set_holder h;
  ASSERT_EQ(make_set(h, {25, 26, 28, 30, 32, 34, 36, 38, 41, 44, 47}, 25, 44100), nullptr);
  const int32_t narrow[] = {4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26,
                            27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48};
  EXPECT_NE(sbrenc_build_patches(h.set, 1, 5, narrow, 44, 44100, 64), nullptr);
  // A first target above the limit would never advance: the patch runs to the stop band.
  const int32_t high_start[] = {50, 52, 54, 56, 58, 60, 62, 64};
  ASSERT_EQ(sbrenc_build_patches(h.set, 2, 56, high_start, 7, 44100, 64), nullptr);
  ASSERT_EQ(h.set->patch_count, 1);
  EXPECT_EQ(h.set->patches[0].target_start, 56);
  EXPECT_EQ(h.set->patches[0].width, 8);
}

// Frame of subband rows of a signal, through the channel's analysis.
struct analysed {
  std::vector<std::vector<float>> re, im;
  std::vector<const float*> rp, ip;
};

analysed analyse(const std::vector<float>& x) {
  analysed a;
  a.re.assign(18, std::vector<float>(64));
  a.im = a.re;
  std::vector<float*> r, i;
  for (int k = 0; k < 18; ++k) {
    r.push_back(a.re[k].data());
    i.push_back(a.im[k].data());
  }
  sbrenc_qmf* q = nullptr;
  EXPECT_EQ(sbrenc_qmf_create(&q, 0, 1152), nullptr);
  for (size_t f = 0; f < x.size() / 1152; ++f) sbrenc_cplx_analysis(x.data() + f * 1152, 1, r.data(), i.data(), q);
  sbrenc_qmf_free(&q);
  for (int k = 0; k < 18; ++k) {
    a.rp.push_back(a.re[k].data());
    a.ip.push_back(a.im[k].data());
  }
  return a;
}

TEST(SbrencTonality, ToneIsTonalNoiseIsNot) {
  set_holder h;
  ASSERT_EQ(make_set(h, {25, 26, 28, 30, 32, 34, 36, 38, 41, 44, 47}, 25, 44100), nullptr);
  sbrenc_tonality_record& t = h.set->rec;

  std::vector<float> tone(1152 * 3);
  for (size_t n = 0; n < tone.size(); ++n) tone[n] = static_cast<float>(8000 * std::cos(2 * pi * 30.5 / 128 * n));
  const analysed a = analyse(tone);
  sbrenc_tonality_estimate(&t, a.rp.data(), a.ip.data());
  EXPECT_GT(t.tonality[1][30], 1000.0f);
  EXPECT_EQ(t.tonality[0][30], 0.0f);  // the previous frame's row is still empty

  std::mt19937 rng(9);
  std::normal_distribution<float> g(0.0f, 3000.0f);
  std::vector<float> noise(1152 * 3);
  for (auto& v : noise) v = g(rng);
  const analysed b = analyse(noise);
  sbrenc_tonality_estimate(&t, b.rp.data(), b.ip.data());
  // The tone's measure moved to the history row.
  EXPECT_GT(t.tonality[0][30], 1000.0f);
  // The complex subbands are oversampled twice, so noise keeps a prediction gain near 1:
  // far below the tone's and under the lowest own-tonality threshold on average.
  float mean = 0.0f, top = 0.0f;
  for (int k = 0; k < t.stop_band; ++k) {
    mean += t.tonality[1][k] / t.stop_band;
    top = std::max(top, t.tonality[1][k]);
  }
  EXPECT_LT(mean, 1.587f);
  EXPECT_LT(top, 8.0f);
  EXPECT_GT(t.block_energy[1], 0.0f);

  // Silence: zero tonality, sign +1, nothing accumulated; bands above the stop band untouched.
  const analysed z = analyse(std::vector<float>(1152 * 2, 0.0f));
  sbrenc_tonality_estimate(&t, z.rp.data(), z.ip.data());
  for (int k = 0; k < t.stop_band; ++k) {
    EXPECT_EQ(t.tonality[1][k], 0.0f);
    EXPECT_EQ(t.sign[1][k], 1);
  }
  EXPECT_EQ(t.block_energy[1], 0.0f);
}

TEST(SbrencTonality, ComplexExponentialPredictor) {
  // A pure complex exponential: alpha1 vanishes, the gain is bounded by the regularisers.
  std::vector<std::vector<float>> re(18, std::vector<float>(64)), im = re;
  for (int n = 0; n < 18; ++n) {
    re[n][5] = static_cast<float>(100 * std::cos(0.7 * n));
    im[n][5] = static_cast<float>(100 * std::sin(0.7 * n));
  }
  std::vector<const float*> rp, ip;
  for (int n = 0; n < 18; ++n) {
    rp.push_back(re[n].data());
    ip.push_back(im[n].data());
  }
  sbrenc_autocorr a;
  sbrenc_autocorr2(&a, rp.data() + 2, ip.data() + 2, 5, 16);
  EXPECT_NEAR(a.r00, 16 * 1e4, 1.0);
  EXPECT_NEAR(a.r01_re, 16 * 1e4 * std::cos(0.7), 1.0);
  EXPECT_NEAR(a.r01_im, 16 * 1e4 * std::sin(0.7), 1.0);
  EXPECT_GT(a.det, 0.0);
  EXPECT_LT(a.det, 1e-5 * a.r11 * a.r22);
}

}  // namespace
