#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "sbrenc/sbrenc_delta.h"
#include "sbrenc/sbrenc_detectors.h"
#include "sbrenc/sbrenc_encoder.h"
#include "sbrenc/sbrenc_envelope.h"
#include "sbrenc/sbrenc_grid.h"
#include "sbrenc/sbrenc_transient.h"

namespace {

// 36 energy rows of 64 bands, two frames.
struct rows {
  std::vector<std::vector<float>> e;
  std::vector<float*> p;
  explicit rows(float v = 0.0f) : e(36, std::vector<float>(64, v)) {
    for (auto& r : e) p.push_back(r.data());
  }
  // Moves the current frame into the previous one, as the frame driver does.
  void advance() {
    for (int i = 0; i < 18; ++i) std::swap(e[i], e[18 + i]);
    p.clear();
    for (auto& r : e) p.push_back(r.data());
  }
};

sbrenc_transient_state* make_state(int32_t rate = 44100) {
  sbrenc_transient_state* s = nullptr;
  EXPECT_EQ(sbrenc_transient_state_create(&s, 1152, rate, 1.0f, 6000.0f, 40, 0.0f, 18, 64, 8, 36), nullptr);
  return s;
}

TEST(SbrencTransient, CreationValues) {
  struct window_case {
    int32_t rate, window;
  };
  for (auto c : {window_case{44100, 7}, window_case{48000, 8}, window_case{32000, 5}, window_case{22050, 3}}) {
    sbrenc_transient_state* s = make_state(c.rate);
    EXPECT_EQ(s->window, c.window) << c.rate;
    sbrenc_transient_state_free(s);
  }
  sbrenc_transient_state* s = make_state(44100);
  EXPECT_NEAR(s->split_threshold, 0.28854f, 1e-4f);
  sbrenc_transient_state_free(s);
  sbrenc_transient_state_free(nullptr);
  EXPECT_NE(sbrenc_transient_state_create(&s, 1152, 44100, 1.0f, 6000.0f, 40, 0.0f, 18, 64, 8, 28), nullptr);
  EXPECT_EQ(s, nullptr);
}

TEST(SbrencTransient, ConstantEnergyNeverTriggers) {
  sbrenc_transient_state* s = make_state();
  rows r(5.0e7f);
  for (int f = 0; f < 6; ++f) {
    int32_t res[2] = {0, 0};
    sbrenc_find_transient(r.p.data(), s, res, 2);
    EXPECT_EQ(res[1], 0);
    sbrenc_frame_split(r.p.data(), s, std::vector<int32_t>{20, 30, 40}.data(), 2, 2, 18, res);
    EXPECT_EQ(res[0], 0);  // equal halves: no split
    r.advance();
  }
  sbrenc_transient_state_free(s);
}

TEST(SbrencTransient, ClickInEachSlotIsReportedAtItsPosition) {
  // A click in slot j of the detector's frame (energy row 8 + j) is reported at j / 2. (Its
  // rise at j = 0 is measured against row 6, which the previous frame's pass covered.)
  for (int j = 1; j < 16; ++j) {
    SCOPED_TRACE(j);
    sbrenc_transient_state* s = make_state();
    rows quiet(1000.0f);
    int32_t res[2] = {0, 0};
    for (int f = 0; f < 3; ++f) sbrenc_find_transient(quiet.p.data(), s, res, 2);
    EXPECT_EQ(res[1], 0);
    rows r(1000.0f);
    for (int k = 0; k < 40; ++k) r.e[8 + j][k] = 1.0e9f;
    sbrenc_find_transient(r.p.data(), s, res, 2);
    EXPECT_EQ(res[1], 1);
    EXPECT_EQ(res[0], j / 2);
    // A transient frame keeps the position: the split detector leaves it alone.
    const float before = s->prev_low_energy;
    sbrenc_frame_split(r.p.data(), s, std::vector<int32_t>{20, 30, 40}.data(), 2, 2, 18, res);
    EXPECT_EQ(res[0], j / 2);
    EXPECT_EQ(s->prev_low_energy, before);
    sbrenc_transient_state_free(s);
  }
}

TEST(SbrencTransient, SplitWhenTheHalvesDiffer) {
  sbrenc_transient_state* s = make_state();
  rows r(0.0f);
  for (int t = 10; t < 18; ++t)
    for (int k = 20; k < 40; ++k) r.e[t][k] = 1.0e9f;
  int32_t res[2] = {0, 0};
  sbrenc_frame_split(r.p.data(), s, std::vector<int32_t>{20, 30, 40}.data(), 2, 2, 18, res);
  EXPECT_EQ(res[0], 1);
  EXPECT_GT(s->prev_low_energy, 0.0f);
  sbrenc_transient_state_free(s);
}

struct env_fixture {
  sbrenc_settings s{};
  sbrenc_channel ch{};
  sbrenc_subband_buffer buf{};
  sbrenc_qmf q{};
  int32_t low[3] = {20, 28, 36};
  int32_t high[5] = {20, 24, 28, 32, 36};
  env_fixture(int32_t amp_res) {
    s.low = low;
    s.high = high;
    s.low_count = 2;
    s.high_count = 4;
    buf.time_step = 2;
    q.bands = 64;
    ch.buffer = &buf;
    ch.qmf = &q;
    ch.amp_res = amp_res;
  }
};

TEST(SbrencEnvelope, LevelsAndShortening) {
  struct level_case {
    float power;
    int32_t amp_res, expected;
  };
  for (auto c : {level_case{0.0f, 0, 0}, level_case{1.0f, 0, 0}, level_case{2.0f, 0, 2}, level_case{2.0f, 1, 1},
                 level_case{1024.0f, 0, 20}, level_case{1024.0f, 1, 10}}) {
    env_fixture fx(c.amp_res);
    rows r(c.power * 64.0f);  // mean power per slot and QMF band, times the band count
    sbrenc_grid_info g{};
    sbrenc_grid_template(&g, 2, 9);
    int32_t env[16] = {};
    sbrenc_calc_envelope(r.p.data(), nullptr, &g, env, nullptr, &fx.s, &fx.ch, 0, nullptr);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(env[i], c.expected) << c.power << " " << c.amp_res;
  }
  // The envelope before a transient envelope loses its last time unit, never all of it: a
  // one-unit envelope keeps one slot, and its level comes from that slot alone.
  env_fixture fx(0);
  rows r(64.0f);
  for (int k = 0; k < 64; ++k) r.e[3][k] = 0.0f;  // the slot an envelope of one unit gives up
  sbrenc_grid_info g{};
  g.envelopes = 3;
  const int32_t borders[4] = {0, 1, 2, 9};
  for (int i = 0; i < 4; ++i) g.borders[i] = borders[i];
  g.freq_res[0] = g.freq_res[1] = g.freq_res[2] = 0;
  g.transient_env = 2;
  int32_t env[16] = {};
  sbrenc_calc_envelope(r.p.data(), nullptr, &g, env, nullptr, &fx.s, &fx.ch, 0, nullptr);
  EXPECT_EQ(env[2], 0);  // envelope 1: slot 2 only, power 1
  EXPECT_EQ(env[3], 0);
}

TEST(SbrencEnvelope, CoupledBalance) {
  struct balance_case {
    float ratio;  // first channel's power over the second's
    int32_t amp_res, bal;
    float min_err;
  };
  // q = 10 steps at 1.5 dB snaps to 8 (tie with 12 goes down); -10 to -8; 3.0 dB caps at 12.
  for (auto c : {balance_case{32.0f, 0, 32, 2.0f}, balance_case{1.0f / 32.0f, 0, 16, 2.0f},
                 balance_case{1.0f, 0, 24, 0.0f}, balance_case{1 << 20, 1, 24, 8.0f}}) {
    env_fixture fx(c.amp_res);
    rows a(1.0e6f * c.ratio), b(1.0e6f);
    sbrenc_grid_info g{};
    sbrenc_grid_template(&g, 1, 9);
    int32_t env[8] = {}, bal[8] = {};
    float err = -1.0f;
    sbrenc_calc_envelope(a.p.data(), b.p.data(), &g, env, bal, &fx.s, &fx.ch, 2, &err);
    EXPECT_EQ(bal[0], c.bal) << c.ratio;
    EXPECT_NEAR(err, c.min_err, 0.01f);
  }
}

TEST(SbrencDelta, DirectionsAndLimits) {
  sbrenc_delta_coder *env = nullptr, *noise = nullptr;
  const int32_t counts[2] = {8, 16};
  ASSERT_EQ(sbrenc_delta_coder_create(&env, counts, 1), nullptr);
  ASSERT_EQ(sbrenc_delta_coder_create(&noise, counts, 1), nullptr);
  sbrenc_books books{};
  ASSERT_EQ(sbrenc_select_huffman(&books, env, noise, 0), nullptr);
  EXPECT_NE(sbrenc_select_huffman(&books, env, noise, 2), nullptr);
  EXPECT_NE(sbrenc_select_huffman(nullptr, env, noise, 0), nullptr);

  // First envelope after creation: frequency; a delta of 61 at 1.5 dB goes out as 60.
  int32_t v[16] = {0, 61, 61, 61, 61, 61, 61, 61};
  int32_t dir[2] = {-1, -1};
  const int32_t low[1] = {0};
  sbrenc_code_envelope(v, low, env, dir, 0, 1, 0, 0);
  EXPECT_EQ(dir[0], 0);
  EXPECT_EQ(v[1], 60);
  // A low-resolution band 3 updated high entries 6 and 7 (offset 0).
  EXPECT_EQ(env->prev[6], 61);
  EXPECT_EQ(env->prev[7], 61);
  // The same envelope again is cheaper in time; a header frame forces frequency.
  int32_t w[16] = {0, 61, 61, 61, 61, 61, 61, 61};
  sbrenc_code_envelope(w, low, env, dir, 0, 1, 0, 0);
  EXPECT_EQ(dir[0], 1);
  int32_t x[16] = {0, 61, 61, 61, 61, 61, 61, 61};
  sbrenc_code_envelope(x, low, env, dir, 0, 1, 0, 1);
  EXPECT_EQ(dir[0], 0);
  // One band: frequency costs the 7-bit start value, time the code of the step; a tie is frequency.
  sbrenc_delta_coder* one = nullptr;
  const int32_t single[2] = {1, 1};
  ASSERT_EQ(sbrenc_delta_coder_create(&one, single, 1), nullptr);
  ASSERT_EQ(sbrenc_select_huffman(&books, one, noise, 0), nullptr);
  const struct {
    int32_t step, dir;
  } ties[] = {{4, 1}, {5, 0}, {-5, 1}, {-6, 0}};  // time codes of 6, 7, 6 and 7 bits
  for (const auto& c : ties) {
    int32_t two[2] = {30, 30 + c.step};
    const int32_t res[2] = {1, 1};
    sbrenc_code_envelope(two, res, one, dir, 0, 2, 0, 1);
    EXPECT_EQ(dir[1], c.dir) << c.step;
  }
  sbrenc_delta_coder_free(one);
  ASSERT_EQ(sbrenc_select_huffman(&books, env, noise, 0), nullptr);

  // Balance values are halved before differencing; a time delta of -40 at 3.0 dB goes out as -31.
  ASSERT_EQ(sbrenc_select_huffman(&books, env, noise, 1), nullptr);
  int32_t b[16] = {24, 26, 24, 22, 24, 24, 24, 24};
  sbrenc_code_envelope(b, low, env, dir, 1, 1, 1, 1);
  EXPECT_EQ(b[0], 12);
  EXPECT_EQ(b[1], 1);
  EXPECT_EQ(b[3], -1);
  const int32_t high[1] = {1};
  int32_t t[16] = {};
  for (int j = 0; j < 16; ++j) t[j] = 40;
  sbrenc_code_envelope(t, high, noise, dir, 0, 1, 0, 0);
  int32_t u[16] = {};
  sbrenc_code_envelope(u, high, noise, dir, 0, 1, 0, 0);
  EXPECT_EQ(dir[0], 0);  // every time delta of -40 costs the penalty
  sbrenc_delta_coder_free(env);
  sbrenc_delta_coder_free(noise);
}

TEST(SbrencDetectors, InverseFilteringLevels) {
  sbrenc_invf_detector* d = nullptr;
  const int32_t bands[2] = {20, 40};
  ASSERT_EQ(sbrenc_invf_create(&d, 2, bands, 1), nullptr);
  EXPECT_NE(sbrenc_invf_set_bands(d, bands, 1, 3), nullptr);
  sbrenc_invf_group g{};
  g.smoothed[3] = 13.0f;
  g.smoothed[2] = 3.0f;
  g.mean_energy = 2000000.0f;
  int32_t ps = 0, po = 0;
  EXPECT_EQ(sbrenc_level_hysteresis(d->params, 0, &ps, &g, &po, 2), 0);
  EXPECT_EQ(ps, 2);
  EXPECT_EQ(po, 1);
  // Hysteresis around the previous level: 1.6 stays at source level 1.
  ps = 1;
  po = 0;
  g.smoothed[3] = 1.6f;
  g.mean_energy = 2.0e8f;
  sbrenc_level_hysteresis(d->params, 0, &ps, &g, &po, 2);
  EXPECT_EQ(ps, 1);
  // A measure equal to a threshold counts it; low energy gives level 0 whatever the tonality.
  ps = po = 0;
  g.smoothed[3] = 2.0f * 1.2599209547042847f;
  g.smoothed[2] = 100.0f;
  g.mean_energy = 1000.0f;
  EXPECT_EQ(sbrenc_level_hysteresis(d->params, 1, &ps, &g, &po, 2), 0);
  EXPECT_EQ(ps, 1);
  EXPECT_EQ(po, 4);
  // Every cell of both level tables, then the energy offsets, from previous levels 0.
  const int32_t steady[5][5] = {{2, 2, 1, 0, 0}, {2, 2, 1, 0, 0}, {3, 2, 2, 0, 0}, {3, 3, 2, 0, 0}, {3, 3, 2, 0, 0}};
  const int32_t transient[5][5] = {{1, 1, 1, 0, 0}, {1, 1, 1, 0, 0}, {3, 2, 2, 0, 0}, {3, 3, 2, 0, 0}, {3, 3, 1, 0, 0}};
  const float source_at[5] = {1.0f, 5.0f, 20.0f, 60.0f, 200.0f}, own_at[5] = {1.0f, 3.0f, 6.0f, 12.0f, 20.0f};
  const float energy_at[5] = {1.0e5f, 5.0e5f, 5.0e6f, 5.0e7f, 2.0e8f};
  for (int32_t t = 0; t < 2; ++t)
    for (int32_t e = 0; e < 5; ++e)
      for (int32_t sl = 0; sl < 5; ++sl)
        for (int32_t ol = 0; ol < 5; ++ol) {
          g.smoothed[3] = source_at[sl];
          g.smoothed[2] = own_at[ol];
          g.mean_energy = energy_at[e];
          ps = po = 0;
          const int32_t want = std::max(0, (t ? transient : steady)[sl][ol] + e - 4);
          EXPECT_EQ(sbrenc_level_hysteresis(d->params, t, &ps, &g, &po, 2), want)
              << "transient " << t << " energy " << e << " source " << sl << " own " << ol;
          EXPECT_EQ(ps, sl);
          EXPECT_EQ(po, ol);
        }
  sbrenc_invf_free(d);
}

TEST(SbrencDetectors, NoiseFloor) {
  const int32_t low[4] = {20, 25, 30, 40};
  const int32_t scales[5] = {0, 0, 0, 0, 0};
  sbrenc_noise_detector* n = nullptr;
  ASSERT_EQ(sbrenc_noise_create(&n, 6, low, 3, 2, scales, 9, 0), nullptr);
  EXPECT_EQ(n->band_count, 2);  // 2 x log2(2) rounded
  EXPECT_FLOAT_EQ(n->max_level, 4.0f);
  std::vector<float> t0(64, 0.0f), t1(64, 0.0f);
  float* ton[2] = {t0.data(), t1.data()};
  int32_t map[64];
  for (int k = 0; k < 64; ++k) map[k] = k;
  sbrenc_grid_info g{};
  sbrenc_grid_template(&g, 2, 9);
  const int32_t levels[10] = {};
  float out[20];
  // Silence: the cell is 1/101.59, 6 - log2 of it once the history has filled.
  for (int f = 0; f < 4; ++f) sbrenc_noise_floor_levels(n, &g, out, ton, map, f == 0, levels);
  EXPECT_NEAR(out[0], 6.0f + std::log2(101.59366607666016f), 1e-3f);
  EXPECT_EQ(out[2], out[0]);  // both noise envelopes
  // One tonal frame after the silent ones weighs 0.4 against the three older frames' 0.6.
  const float quiet = 1.0f / 101.59366607666016f;
  for (int k = 20; k < 25; ++k) t0[k] = 4.0f;
  sbrenc_noise_floor_levels(n, &g, out, ton, map, 0, levels);
  EXPECT_NEAR(out[0], 6.0f - std::log2(0.6000000094f * quiet + 0.4000000059604645f * 0.25f), 1e-4f);
  for (int k = 20; k < 25; ++k) t0[k] = 0.0f;
  // A band without width is met as silence instead of a division by zero.
  float cell = 0.0f;
  sbrenc_noise_band_level(&cell, ton, map, 0, 1, 30, 30, 1.0f, 0.25f, 2, 0, 4.0f);
  EXPECT_NEAR(cell, 1.0f / 101.59366607666016f, 1e-6f);
  // Source four times as tonal as the own bands, level above the limit: f = 1, cell 1/O.
  for (int k = 20; k < 25; ++k) {
    t0[k] = 2.0f;
    t0[k - 10] = 8.0f;
    map[k] = k - 10;
  }
  sbrenc_noise_band_level(&cell, ton, map, 0, 1, 20, 25, 1.0f, 0.25f, 2, 3, 4.0f);
  EXPECT_FLOAT_EQ(cell, 0.5f);
  sbrenc_noise_band_level(&cell, ton, map, 0, 1, 20, 25, 16.0f, 0.25f, 2, 3, 4.0f);
  EXPECT_FLOAT_EQ(cell, 4.0f);  // capped at the maximum level
  sbrenc_noise_free(n);
}

}  // namespace

namespace {

TEST(SbrencLevel, ClassesOfTheSecondChannel) {
  sbrenc_level_detector* d = nullptr;
  EXPECT_NE(sbrenc_level_detector_create(&d, 22050, 1152, 576), nullptr);
  EXPECT_EQ(d, nullptr);
  struct level_case {
    float first, second;
    int32_t decision;  // after a few frames
  };
  for (auto c : {level_case{0.0f, 0.0f, 1}, level_case{8000.0f, 0.0f, 0}, level_case{8000.0f, 8000.0f, 3},
                 level_case{8000.0f, 5.0f, 1}}) {
    ASSERT_EQ(sbrenc_level_detector_create(&d, 44100, 1152, 576), nullptr);
    std::vector<float> in(2 * 1152);
    for (int f = 0; f < 12; ++f) {
      for (int n = 0; n < 1152; ++n) {
        const float s = static_cast<float>(std::sin(0.01 * (1152.0 * f + n)));
        in[2 * n] = c.first * s;
        in[2 * n + 1] = c.second * s;
      }
      sbrenc_level_detect(d, in.data());
      if (f == 0 && c.first == 0.0f) {
        EXPECT_EQ(d->decision, 1);
      }
    }
    EXPECT_EQ(d->decision, c.decision) << c.first << " " << c.second;
    sbrenc_level_detector_free(&d);
    EXPECT_EQ(d, nullptr);
  }
}

TEST(SbrencLevel, EncoderSendsTheClassInTheHeader) {
  sbrenc_config cfg{};
  ASSERT_EQ(sbrenc_config_defaults(&cfg, 2, 2, 576), 0);
  ASSERT_EQ(sbrenc_config_select(&cfg, 48000, 1, 22050, 3, 32000, 0, 0, 0, 1), 0);
  cfg.mono_downmix = 1;
  sbrenc_output out{};
  sbrenc_encoder* enc = nullptr;
  ASSERT_EQ(sbrenc_create(&enc, &cfg, &out), nullptr);
  ASSERT_NE(enc->level_detector, nullptr);
  EXPECT_EQ(sbrenc_input_stride(enc), 2);
  EXPECT_EQ(enc->header->level_detector, 1);
  std::vector<float> in(2 * 1152);
  int headers = 0;
  for (int f = 0; f < 10; ++f) {
    for (int n = 0; n < 1152; ++n) {
      in[2 * n] = static_cast<float>(8000 * std::sin(0.01 * (1152.0 * f + n)));
      in[2 * n + 1] = f < 5 ? in[2 * n] : 0.0f;
    }
    ASSERT_EQ(sbrenc_encode_frame(enc, &out, in.data()), nullptr);
    headers += out.header_bits > 0;
  }
  // The first frame, the class reaching 3, and its fall to 0 when the second channel stops.
  EXPECT_GE(headers, 3);
  EXPECT_EQ(enc->header->level_class, 0);
  sbrenc_destroy(enc);
}

}  // namespace
