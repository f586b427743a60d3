// Per-frame SBR decoding: envelope and noise decoding with concealment, chirp factors, the
// adjuster's limiter and tone amplitudes.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "mp3dec/sbr/sbr_adjust.h"
#include "mp3dec/sbr/sbr_envelope.h"
#include "mp3dec/sbr/sbr_freq.h"
#include "mp3dec/sbr/sbr_hfgen.h"
#include "mp3dec/sbrdec.h"

namespace {

// One high-resolution envelope of 12 bands over the frame, frequency-coded from `start`
// in steps of `step`; two noise bands.
SbrElementData coded(int amp, float start, float step) {
  SbrElementData e{};
  sbrdec_default_header(&e.header, 22050);
  e.header.amp_resolution = amp;
  e.low_bands = 6, e.high_bands = 12, e.noise_bands = 2, e.time_slots = 9;
  e.prev_last_border = 9;
  e.grid.envelopes = 1;
  e.grid.borders[1] = 9;
  e.grid.freq_res[0] = 1;
  e.grid.transient = -1;
  e.grid.noise_floors = 1;
  e.grid.noise_borders[1] = 9;
  e.env[0] = start;
  for (int b = 1; b < 12; ++b) e.env[b] = step;
  e.noise[0][0] = 4.0f;
  e.noise[0][1] = 2.0f;
  return e;
}

TEST(SbrEnvelopes, DecodingAndConcealment) {
  struct env_case {
    const char* what;
    int amp;            // 0: 1.5 dB, 1: 3.0 dB
    float first_value;  // of band 0 after the first frame
    float per_step;     // energy factor of one quantisation step
  };
  for (const env_case& c : {env_case{"3.0 dB", 1, 10.0f, 2.0f}, env_case{"1.5 dB", 0, 20.0f, std::sqrt(2.0f)}}) {
    SbrPrevFrame mem{};
    SbrElementData e = coded(c.amp, c.first_value, 1.0f);
    sbrdec_decode_envelopes(&e, &mem, nullptr, nullptr, 2);
    const float a = c.amp ? 1.0f : 0.5f;
    for (int b = 0; b < 12; ++b)
      EXPECT_FLOAT_EQ(e.energy[b], 64.0f * std::exp2(a * (c.first_value + float(b)))) << c.what << " band " << b;
    EXPECT_FLOAT_EQ(e.noise_level[0][0], std::exp2(6.0f - 4.0f)) << c.what;
    EXPECT_FLOAT_EQ(e.noise_level[0][1], std::exp2(6.0f - 6.0f)) << c.what;
    // A frame without payload: one envelope over the frame, one step lower in every band,
    // the noise floor held.
    std::vector<float> before(e.energy, e.energy + 12);
    e.header.conceal = 1;
    sbrdec_decode_envelopes(&e, &mem, nullptr, nullptr, 2);
    EXPECT_EQ(e.grid.envelopes, 1) << c.what;
    EXPECT_EQ(e.grid.borders[0], 0) << c.what;
    EXPECT_EQ(e.grid.borders[1], 9) << c.what;
    for (int b = 0; b < 12; ++b) EXPECT_FLOAT_EQ(e.energy[b] * c.per_step, before[size_t(b)]) << c.what << " band " << b;
    EXPECT_FLOAT_EQ(e.noise_level[0][0], std::exp2(6.0f - 4.0f)) << c.what;
  }
}

TEST(SbrEnvelopes, UnusableFramesAreConcealed) {
  struct bad_case {
    const char* what;
    int first_border, direction;
    float start;
  };
  const bad_case cases[] = {
      {"a time-coded first envelope that does not continue the last frame", 2, 1, 0.0f},
      {"a value above the range", 0, 0, 30.0f},  // 30 + 11 steps passes 35
  };
  for (const bad_case& c : cases) {
    SbrPrevFrame mem{};
    SbrElementData e = coded(1, 20.0f, 0.0f);
    sbrdec_decode_envelopes(&e, &mem, nullptr, nullptr, 2);  // 20 in every band
    SbrElementData next = coded(1, c.start, 1.0f);
    next.prev_last_border = e.prev_last_border;
    next.grid.borders[0] = c.first_border;
    next.dir_env[0] = c.direction;
    sbrdec_decode_envelopes(&next, &mem, nullptr, nullptr, 2);
    EXPECT_EQ(next.header.conceal, 1) << c.what;
    for (int b = 0; b < 12; ++b) EXPECT_FLOAT_EQ(next.energy[b], 64.0f * std::exp2(19.0f)) << c.what << " band " << b;
    EXPECT_EQ(mem.concealed, 1) << c.what;
  }
}

TEST(SbrEnvelopes, NeutralBalanceSplitsEvenly) {
  SbrPrevFrame m1{}, m2{};
  SbrElementData a = coded(1, 10.0f, 0.0f), b = coded(1, 12.0f, 0.0f);
  a.coupling = 1;
  b.coupling = 2;
  b.noise[0][0] = 12.0f;
  b.noise[0][1] = 0.0f;
  sbrdec_decode_envelopes(&a, &m1, &b, &m2, 2);
  for (int i = 0; i < 12; ++i) {
    EXPECT_FLOAT_EQ(a.energy[i], 64.0f * 1024.0f) << i;
    EXPECT_FLOAT_EQ(b.energy[i], 64.0f * 1024.0f) << i;
  }
  // Noise: with a balance of 12 both sides get the uncoupled level.
  EXPECT_FLOAT_EQ(a.noise_level[0][0], std::exp2(6.0f - 4.0f));
  EXPECT_FLOAT_EQ(b.noise_level[0][0], std::exp2(6.0f - 4.0f));
}

TEST(SbrHfGeneration, ChirpFactorsFollowTheInverseFilteringMode) {
  SbrDecoderConfig config;
  sbrdec_default_config(&config, 2);
  SbrHfGenerator g;
  ASSERT_EQ(sbrdec_hfgen_create(&g, &config), nullptr);
  const int32_t master[] = {17, 18, 19, 20, 22, 24, 26, 28, 30, 32, 34, 37, 40};
  ASSERT_EQ(sbrdec_hfgen_setup(&g, 1, 0, 17, master, 12, master, 1, 44100, 64, 2), nullptr);
  ASSERT_EQ(g.patch_count, 2);
  std::vector<float> rows(2 * 26 * 64, 0.0f);
  float* re[26];
  float* im[26];
  for (int r = 0; r < 26; ++r) {
    re[r] = &rows[size_t(r * 64)];
    im[r] = &rows[size_t((26 + r) * 64)];
  }
  SbrElementData e{};
  e.grid.envelopes = 1;
  e.grid.borders[1] = 9;
  // The 5000 Hz row (band 17 starts at 5857 Hz): modes 3, 1, 0 after 1, then 0.
  struct step {
    int mode;
    float first, second;
  };
  const float c1 = 0.90625f * 0.85f, c2 = 0.75f * 0.55f + 0.25f * c1, c3 = 0.75f * 0.35f + 0.25f * c2,
              c4 = 0.25f * c3, c5 = 0.25f * c4;
  const step steps[] = {{3, c1, c1 + 0.2f}, {1, c2, c2 + 0.2f}, {0, c3, c3 + 0.2f},
                        {0, c4, c4 + 0.2f}, {0, c5, c5 + 0.2f}, {0, 0.0f, 0.0f}};
  for (const step& s : steps) {
    e.invf_mode = s.mode;
    sbrdec_generate_hf(re, im, &e, &g, 2);
    EXPECT_NEAR(g.chirp[0], s.first, 1e-6) << s.mode;
    EXPECT_NEAR(g.chirp[1], s.second, 1e-6) << s.mode;
  }
}

// A band whose patched source is weak next to the rest of its limiter band is held back by
// the limiter; what it keeps back is accounted for, so that with it every band meets its
// envelope, and nothing is kept back from the others.
TEST(SbrAdjuster, EveryBandMeetsItsEnvelopeSaveWhatTheLimiterKeepsBack) {
  SbrHeader h;
  sbrdec_default_header(&h, 22050);
  h.reset = 1;
  SbrFreqTables t{};
  ASSERT_EQ(sbrdec_reset_freq_tables(&t, &h, 64, 44100, 2), nullptr);
  ASSERT_GE(t.n_limiter, 2);
  const int weak = t.kx + t.limiter[1];
  std::vector<float> rows(2 * 22 * 64, 0.0f);
  float* re[22];
  float* im[22];
  for (int r = 0; r < 22; ++r) {
    re[r] = &rows[size_t(r * 64)];
    im[r] = &rows[size_t((22 + r) * 64)];
    for (int k = t.kx; k < t.kmax; ++k) re[r][k] = k == weak ? 30.0f : 1000.0f;
  }
  SbrElementData e{};
  e.header = h;
  e.grid.envelopes = 1;
  e.grid.borders[1] = 9;
  e.grid.freq_res[0] = 1;
  e.grid.transient = -1;
  e.grid.noise_floors = 1;
  e.grid.noise_borders[1] = 9;
  const float target = 1e6f;
  for (int b = 0; b < t.n_high; ++b) e.energy[b] = target;
  SbrAdjuster a;
  sbrdec_adjust_init(&a);
  sbrdec_adjust_hf(&a, &t, &e, re, im, 2);
  for (int k = t.kx; k < t.kmax; ++k) {
    double out = 0;
    for (int r = 2; r < 20; ++r) out += double(re[r][k]) * re[r][k] + double(im[r][k]) * im[r][k];
    EXPECT_NEAR(out + a.limited[k], 18.0 * target, 18.0 * target * 0.005) << "band " << k;
    if (k == weak)
      EXPECT_LT(out, 0.01 * 18.0 * target);
    else
      EXPECT_EQ(a.limited[k], 0.0f) << "band " << k;
  }
}

TEST(SbrTones, AmplitudeTable) {
  const std::pair<int, float> cases[] = {{0, 1625.4987f}, {1, 2048.0f},       {2, 2580.3184f}, {4, 4096.0f},
                                         {28, 1048576.0f}, {29, 1294700.5f},  {30, 1597930.25f}, {31, 1971322.875f}};
  for (auto [k, v] : cases) EXPECT_NEAR(sbrdec_tone_amplitude(k), v, v * 1e-6) << k;
}

}  // namespace
