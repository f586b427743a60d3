// SBR decoder set-up: band tables, patches, pseudo-stereo and the decoder's interface.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "mp3dec/sbr/sbr_freq.h"
#include "mp3dec/sbr/sbr_hfgen.h"
#include "mp3dec/sbr/sbr_stereo.h"
#include "mp3dec/sbrdec.h"

namespace {

std::vector<int> v(const int32_t* p, int n) { return std::vector<int>(p, p + n); }

struct layout {
  const char* what;
  int fs, start, stop, scale, alter, crossover, noise_bands, limiter_bands;
};

struct band_case {
  layout in;
  int k0, k2;
  std::vector<int> master, low, noise, limiter;
};

SbrHeader header_for(const layout& l) {
  SbrHeader h;
  sbrdec_default_header(&h, l.fs / 2);
  h.start_freq = l.start;
  h.stop_freq = l.stop;
  h.freq_scale = l.scale;
  h.alter_scale = l.alter;
  h.crossover_band = l.crossover;
  h.noise_bands = l.noise_bands;
  h.limiter_bands = l.limiter_bands;
  return h;
}

TEST(SbrBandTables, LayoutsGiveTheirTables) {
  const std::vector<int> m44 = {17, 18, 19, 20, 22, 24, 26, 28, 30, 32, 34, 37, 40};
  const band_case cases[] = {
      {{"44100 Hz defaults: two regions", 44100, 5, 7, 2, 1, 0, 2, 2}, 17, 40, m44, {17, 19, 22, 26, 30, 34, 40}, {17, 26, 40}, {0, 9, 23}},
      {{"32000 Hz defaults", 32000, 5, 7, 2, 1, 0, 2, 2}, 21, 46, {21, 22, 23, 25, 27, 29, 31, 33, 35, 37, 40, 43, 46}, {21, 23, 27, 31, 35, 40, 46}, {21, 31, 46}, {0, 10, 25}},
      {{"48000 Hz defaults", 48000, 5, 7, 2, 1, 0, 2, 2}, 16, 38, {16, 17, 18, 19, 20, 22, 24, 26, 28, 30, 32, 35, 38}, {16, 18, 20, 24, 28, 32, 38}, {16, 24, 38}, {0, 8, 22}},
      {{"linear, steps of 1", 44100, 5, 7, 0, 0, 0, 2, 2}, 17, 40,
       {17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 40},
       {17, 19, 21, 23, 25, 27, 29, 31, 33, 35, 37, 40}, {17, 27, 40}, {0, 10, 23}},
      {{"linear, steps of 2", 44100, 5, 7, 0, 1, 0, 2, 2}, 17, 40, {17, 18, 20, 22, 24, 26, 28, 30, 32, 34, 36, 38, 40}, {17, 20, 24, 28, 32, 36, 40}, {17, 28, 40}, {0, 11, 23}},
      {{"12 per octave, one region", 44100, 9, 5, 1, 0, 0, 2, 2}, 23, 34, {23, 24, 26, 28, 30, 32, 34}, {23, 26, 30, 34}, {23, 34}, {0, 11}},
      {{"stop 14: twice k0", 44100, 10, 14, 2, 1, 0, 2, 2}, 25, 50, {25, 27, 29, 31, 33, 35, 38, 41, 44, 47, 50}, {25, 29, 33, 38, 44, 50}, {25, 33, 50}, {0, 8, 25}},
      {{"odd high count keeps its first edge", 44100, 5, 7, 2, 1, 1, 2, 2}, 17, 40, m44, {18, 19, 22, 26, 30, 34, 40}, {18, 26, 40}, {0, 8, 22}},
      {{"noise bands 0 still give one", 44100, 5, 7, 2, 1, 0, 0, 3}, 17, 40, m44, {17, 19, 22, 26, 30, 34, 40}, {17, 40}, {0, 2, 5, 13, 23}},
      {{"stop 15: three times k0", 44100, 5, 15, 2, 1, 0, 2, 2}, 17, 51, {17, 18, 19, 20, 22, 24, 26, 28, 30, 32, 34, 38, 42, 46, 51},
       {17, 19, 22, 26, 30, 34, 42, 51}, {17, 22, 30, 51}, {0, 5, 13, 34}},
      {{"narrowest upper band widened to the lower region's widest", 32000, 0, 15, 1, 0, 0, 2, 2}, 16, 48,
       {16, 17, 18, 19, 20, 21, 22, 23, 24, 26, 28, 30, 32, 34, 36, 38, 40, 42, 44, 46, 48},
       {16, 18, 20, 22, 24, 28, 32, 36, 40, 44, 48}, {16, 22, 32, 48}, {0, 6, 16, 32}},
      {{"8 per octave, five noise bands", 32000, 2, 10, 3, 1, 0, 3, 0}, 18, 55, {18, 19, 21, 23, 25, 27, 30, 33, 36, 40, 44, 49, 55}, {18, 21, 25, 30, 36, 44, 55}, {18, 21, 25, 30, 36, 55}, {0, 12, 37}},
  };
  for (const band_case& c : cases) {
    SbrHeader h = header_for(c.in);
    int k0 = 0, k2 = 0;
    ASSERT_EQ(sbrdec_start_stop_channel(c.in.fs, 64, c.in.start, c.in.stop, 2, 1, &k0, &k2), nullptr) << c.in.what;
    EXPECT_EQ(k0, c.k0) << c.in.what;
    EXPECT_EQ(k2, c.k2) << c.in.what;
    SbrFreqTables t{};
    ASSERT_EQ(sbrdec_reset_freq_tables(&t, &h, 64, c.in.fs, 2), nullptr) << c.in.what;
    EXPECT_EQ(v(t.master, t.n_master + 1), c.master) << c.in.what;
    EXPECT_EQ(v(t.high, t.n_high + 1), std::vector<int>(c.master.begin() + c.in.crossover, c.master.end())) << c.in.what;
    EXPECT_EQ(v(t.low, t.n_low + 1), c.low) << c.in.what;
    EXPECT_EQ(v(t.noise, t.n_noise + 1), c.noise) << c.in.what;
    EXPECT_EQ(h.noise_band_count, t.n_noise) << c.in.what;
    EXPECT_EQ(v(t.limiter, t.n_limiter + 1), c.limiter) << c.in.what;
    EXPECT_EQ(t.kx, c.low.front()) << c.in.what;
    EXPECT_EQ(t.kmax, c.low.back()) << c.in.what;
    EXPECT_EQ(t.valid, 1) << c.in.what;
  }
}

TEST(SbrBandTables, RefusedLayouts) {
  const layout cases[] = {
      {"span of 52 bands", 44100, 0, 13, 2, 1, 0, 2, 2},
      {"kx above the core's 32 bands", 44100, 13, 14, 2, 1, 0, 2, 2},
      {"crossover at the last master band", 44100, 9, 5, 1, 0, 6, 2, 2},
      {"six noise bands", 32000, 0, 13, 2, 1, 0, 3, 2},
  };
  for (const layout& l : cases) {
    SbrHeader h = header_for(l);
    SbrFreqTables t{};
    EXPECT_NE(sbrdec_reset_freq_tables(&t, &h, 64, l.fs, 2), nullptr) << l.what;
    EXPECT_EQ(t.valid, 0) << l.what;
  }
}

struct patch_case {
  const char* what;
  std::vector<int32_t> master;
  int kx, fs, adjuster_field;
  std::vector<SbrPatch> patches;  // empty: refused
  int chirp_threshold;
};

TEST(SbrPatches, LayoutsGiveTheirPatches) {
  SbrDecoderConfig config;
  sbrdec_default_config(&config, 2);
  const patch_case cases[] = {
      {"44100 Hz defaults", {17, 18, 19, 20, 22, 24, 26, 28, 30, 32, 34, 37, 40}, 17, 44100, 0, {{1, 16, 16, 15}, {8, 16, 24, 8}}, 5000},
      {"32000 Hz defaults", {21, 22, 23, 25, 27, 29, 31, 33, 35, 37, 40, 43, 46}, 21, 32000, 0, {{1, 20, 20, 19}, {14, 20, 26, 6}}, 5000},
      // The goal band g = 46 at 44100 Hz (a master edge here): the second patch ends there.
      {"goal band 46", {17, 18, 19, 20, 22, 24, 26, 28, 30, 32, 34, 38, 42, 46, 51}, 17, 44100, 0,
       {{1, 16, 16, 15}, {2, 16, 30, 14}, {12, 17, 34, 5}}, 5000},
      {"a last patch of 3 bands is kept", {25, 27, 29, 31, 33, 35, 38, 41, 44, 47, 50}, 25, 44100, 0, {{3, 25, 22, 22}, {21, 24, 26, 3}}, 8000},
      {"four patches", {16, 17, 18, 19, 20, 22, 24, 26, 28, 30, 32, 35, 38, 41, 45, 49, 54, 59, 64}, 16, 32000, 0,
       {{2, 16, 14, 14}, {4, 15, 26, 11}, {3, 16, 38, 13}, {6, 16, 48, 10}}, 0},
      {"k0 - 1 below 4", {4, 8, 16}, 4, 44100, 0, {}, 0},
      // Mended fault: no pass records a patch here, and the loop stood still for ever.
      {"a gap no patch can bridge", {16, 20, 32, 64}, 32, 44100, 1, {}, 0},
  };
  for (const patch_case& c : cases) {
    SbrHfGenerator g;
    ASSERT_EQ(sbrdec_hfgen_create(&g, &config), nullptr);
    const int32_t noise[2] = {c.master.front(), c.master.back()};
    SbrError* e = sbrdec_hfgen_setup(&g, 1, c.adjuster_field, c.kx, c.master.data(), int(c.master.size()) - 1,
                                     noise, 1, c.fs, 64, 2);
    if (c.patches.empty()) {
      EXPECT_NE(e, nullptr) << c.what;
      continue;
    }
    ASSERT_EQ(e, nullptr) << c.what;
    ASSERT_EQ(g.patch_count, int(c.patches.size())) << c.what;
    for (size_t i = 0; i < c.patches.size(); ++i) {
      const SbrPatch& p = g.patches[i];
      const SbrPatch& w = c.patches[i];
      EXPECT_EQ(std::vector<int>({p.source_start, p.source_end, p.offset, p.width}),
                std::vector<int>({w.source_start, w.source_end, w.offset, w.width}))
          << c.what << " patch " << i;
    }
    EXPECT_EQ(int(g.chirp_row[0]), c.chirp_threshold) << c.what;
  }
  // A history depth other than 2 is refused.
  config.history = 60;
  SbrHfGenerator g;
  EXPECT_NE(sbrdec_hfgen_create(&g, &config), nullptr);
}

TEST(SbrPatches, ChirpRowOfTheFirstHighBand) {
  // Band 27 at 44100 Hz starts at 9302 Hz: the 9000 Hz row, 0.95 in mode 3.
  SbrDecoderConfig config;
  sbrdec_default_config(&config, 2);
  SbrHfGenerator g;
  ASSERT_EQ(sbrdec_hfgen_create(&g, &config), nullptr);
  const int32_t master[] = {27, 29, 31, 33, 36, 39, 42, 46, 50};
  ASSERT_EQ(sbrdec_hfgen_setup(&g, 1, 0, 27, master, 8, master, 1, 44100, 64, 2), nullptr);
  EXPECT_EQ(g.chirp_row[0], 9000.0f);
  EXPECT_EQ(g.chirp_row[5], 0.95f);
  // The overshoot's cross-fade: sin^2 ((k + 0.5) pi / 12) up to the middle, mirrored after.
  const float up[6] = {0.017037087f, 0.14644661f, 0.37059048f, 0.62940952f, 0.85355339f, 0.98296291f};
  for (int k = 0; k < 6; ++k) {
    EXPECT_NEAR(g.ramp_up[k], up[k], 1e-6f) << k;
    EXPECT_NEAR(g.ramp_down[k], up[5 - k], 1e-6f) << k;
  }
}

// One frame of mono in, interleaved stereo out.
std::vector<float> stereo_frame(SbrPseudoStereo* s, const std::vector<float>& mono, int index) {
  std::vector<float> x(2 * mono.size());
  for (size_t i = 0; i < mono.size(); ++i) x[2 * i] = x[2 * i + 1] = mono[i];
  sbrdec_mono_to_stereo(s, x.data(), index);
  return x;
}

TEST(SbrPseudoStereo, DelayAndStrengthByRate) {
  struct rate_case {
    int fs, delay;
  };
  for (const rate_case& c : {rate_case{32000, 224}, rate_case{44100, 309}, rate_case{48000, 336}}) {
    SbrPseudoStereo* s = nullptr;
    ASSERT_EQ(sbrdec_stereo_create(&s, c.fs, 1152), nullptr);
    EXPECT_EQ(s->delay_length, c.delay) << c.fs;
    // From rest the strength rises towards 0.7071, ramped over the frame: an impulse's
    // decorrelated copy, one delay later, carries the strength reached by then.
    std::vector<float> click(1152, 0.0f);
    click[0] = 1000.0f;
    const std::vector<float> y = stereo_frame(s, click, 3);
    const float first = s->prev_strength;
    EXPECT_GT(first, 0.0f);
    EXPECT_LT(first, 0.70710677f);
    const float copy = s->g * 1000.0f * (1.0f - s->split_q);
    const size_t d = size_t(c.delay);
    EXPECT_NEAR(y[2 * d] - y[2 * d + 1], 2.0f * first * float(c.delay) / 1152.0f * copy, 1e-4f) << c.fs;
    // The side gain ramps up from 0 too: the first sample keeps only the low part.
    EXPECT_NEAR(y[0] + y[1], 2.0f * 1000.0f * s->split_q, 1e-4f) << c.fs;
    const std::vector<float> silence(1152, 0.0f);
    for (int i = 0; i < 40; ++i) stereo_frame(s, silence, 3);
    EXPECT_NEAR(s->prev_strength, 0.70710677f, 1e-3) << c.fs;
    // An impulse: the side signal (left - right) starts exactly one delay later.
    std::vector<float> impulse(1152, 0.0f);
    impulse[0] = 1000.0f;
    const std::vector<float> x = stereo_frame(s, impulse, 3);
    int first_side = -1;
    for (int i = 0; i < 1152 && first_side < 0; ++i)
      if (std::fabs(x[size_t(2 * i)] - x[size_t(2 * i + 1)]) > 1e-3f) first_side = i;
    EXPECT_EQ(first_side, c.delay) << c.fs;
    // The sum keeps the mono signal's low and high parts, without the decorrelated copy.
    EXPECT_NEAR(x[0] + x[1], 2.0f * 1000.0f * std::sqrt(1.0f - s->prev_strength * s->prev_strength) + 2.0f * 1000.0f * s->split_q * (1.0f - std::sqrt(1.0f - s->prev_strength * s->prev_strength)), 1.0f);
    sbrdec_stereo_free(&s);
  }
}

// Index 0 drops the strength at once (over one frame's ramp); index 1 aims at 0 through the
// smoothing, so it gives the input only from rest.
TEST(SbrPseudoStereo, IndexZeroOrOneGivesTheInputOnBothSides) {
  for (int index : {0, 1}) {
    SbrPseudoStereo* s = nullptr;
    ASSERT_EQ(sbrdec_stereo_create(&s, 44100, 1152), nullptr);
    std::vector<float> mono(1152);
    for (size_t i = 0; i < mono.size(); ++i) mono[i] = float(1000.0 * std::sin(0.37 * double(i)));
    stereo_frame(s, mono, index == 0 ? 3 : 1);
    stereo_frame(s, mono, index);
    const std::vector<float> x = stereo_frame(s, mono, index);
    for (size_t i = 0; i < mono.size(); ++i) {
      ASSERT_NEAR(x[2 * i], mono[i], 0.02f) << index << " " << i;
      ASSERT_NEAR(x[2 * i + 1], mono[i], 0.02f) << index << " " << i;
    }
    sbrdec_stereo_free(&s);
  }
}

}  // namespace
