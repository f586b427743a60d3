// Per-frame SBR decoding: envelope and noise decoding with concealment, chirp factors, the
// adjuster's limiter and tone amplitudes.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
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

// A frequency-coded first envelope that does not start where the last frame ended is moved
// there; its energy, now spread over another number of slots, changes by the width ratio.
TEST(SbrEnvelopes, RecoveryMovesTheFirstEnvelopeToTheLastFramesEnd) {
  struct recovery_case {
    const char* what;
    int amp, last_border, first_border, moved_to;
    float old_width, new_width;
  };
  const recovery_case cases[] = {
      {"the last frame overshot by 2 slots", 1, 11, 0, 2, 9.0f, 7.0f},
      {"a first envelope starting 2 slots late", 1, 9, 2, 0, 7.0f, 9.0f},
      {"the same at 1.5 dB", 0, 9, 2, 0, 7.0f, 9.0f},
  };
  for (const recovery_case& c : cases) {
    SbrPrevFrame mem{};
    SbrElementData e = coded(c.amp, 20.0f, 0.0f);
    e.prev_last_border = c.last_border;
    e.grid.borders[0] = e.grid.noise_borders[0] = c.first_border;
    sbrdec_decode_envelopes(&e, &mem, nullptr, nullptr, 2);
    EXPECT_EQ(e.header.conceal, 0) << c.what;
    EXPECT_EQ(e.grid.borders[0], c.moved_to) << c.what;
    EXPECT_EQ(e.grid.noise_borders[0], c.moved_to) << c.what;
    // The energy per slot follows the width: log2 of the ratio, in 3.0 dB steps.
    const float a = c.amp ? 1.0f : 0.5f;
    const float want = 64.0f * std::exp2(a * 20.0f) * std::sqrt(c.old_width / c.new_width);
    for (int b = 0; b < 12; ++b) EXPECT_NEAR(e.energy[b], want, want * 2e-6f) << c.what << " band " << b;
  }
}

// A coupled pair: the first channel's values and the balance split energy and noise between
// left and right; a balance of 12 splits them evenly.
TEST(SbrEnvelopes, BalanceSplitsEnergyAndNoiseBetweenTheChannels) {
  struct balance_case {
    float balance;
    float left, right;              // energy, times that of the first channel's value
    float left_noise, right_noise;  // noise levels
  };
  const balance_case cases[] = {{12.0f, 1.0f, 1.0f, 4.0f, 4.0f},
                                {14.0f, 1.6f, 0.4f, 2.5f, 10.0f},
                                {10.0f, 0.4f, 1.6f, 10.0f, 2.5f}};
  for (const balance_case& c : cases) {
    SbrPrevFrame m1{}, m2{};
    SbrElementData a = coded(1, 10.0f, 0.0f), b = coded(1, c.balance, 0.0f);
    a.coupling = 1;
    b.coupling = 2;
    b.noise[0][0] = c.balance;
    b.noise[0][1] = 0.0f;
    sbrdec_decode_envelopes(&a, &m1, &b, &m2, 2);
    for (int i = 0; i < 12; ++i) {
      EXPECT_FLOAT_EQ(a.energy[i], c.left * 64.0f * 1024.0f) << c.balance << " band " << i;
      EXPECT_FLOAT_EQ(b.energy[i], c.right * 64.0f * 1024.0f) << c.balance << " band " << i;
    }
    // The first channel's noise value 4: level 4 uncoupled.
    EXPECT_FLOAT_EQ(a.noise_level[0][0], c.left_noise) << c.balance;
    EXPECT_FLOAT_EQ(b.noise_level[0][0], c.right_noise) << c.balance;
  }
}

// Noise floors: time-coded, the first refers to the last frame's floor and the second to the
// first; frequency-coded, each runs across its bands. Values stay within 0..35.
TEST(SbrEnvelopes, NoiseFloorsByDirection) {
  struct noise_case {
    const char* what;
    int first_dir, second_dir;
    std::vector<float> first, second;            // deltas as read
    std::vector<float> want_first, want_second;  // quantised values
  };
  const noise_case cases[] = {
      {"time, time", 1, 1, {1, 2}, {3, -4}, {11, 22}, {14, 18}},
      {"frequency, frequency", 0, 0, {5, 1}, {7, -2}, {5, 6}, {7, 5}},
      {"frequency, time", 0, 1, {5, 1}, {1, 1}, {5, 6}, {6, 7}},
      {"clipped", 1, 1, {-12, 20}, {2, 3}, {0, 35}, {2, 35}},
  };
  for (const noise_case& c : cases) {
    SbrPrevFrame mem{};
    mem.noise[0] = 10.0f;
    mem.noise[1] = 20.0f;
    SbrElementData e = coded(1, 10.0f, 0.0f);
    e.grid.noise_floors = 2;
    e.dir_noise[0] = c.first_dir;
    e.dir_noise[1] = c.second_dir;
    for (int b = 0; b < 2; ++b) {
      e.noise[0][b] = c.first[size_t(b)];
      e.noise[1][b] = c.second[size_t(b)];
    }
    sbrdec_decode_noise(&e, &mem);
    EXPECT_EQ(std::vector<float>(e.noise_level[0], e.noise_level[0] + 2), c.want_first) << c.what;
    EXPECT_EQ(std::vector<float>(e.noise_level[1], e.noise_level[1] + 2), c.want_second) << c.what;
    EXPECT_EQ(std::vector<float>(mem.noise, mem.noise + 2), c.want_second) << c.what;
  }
}

namespace {

// A generator on the 44100 Hz test layout (two patches from band 17) and the 26 rows of
// 64 complex subbands it works in.
struct HfBench {
  static constexpr int32_t master[13] = {17, 18, 19, 20, 22, 24, 26, 28, 30, 32, 34, 37, 40};
  SbrHfGenerator g;
  std::vector<float> rows = std::vector<float>(2 * 26 * 64, 0.0f);
  float* re[26];
  float* im[26];
  const char* setup(const SbrDecoderConfig& config) {
    for (int r = 0; r < 26; ++r) {
      re[r] = &rows[size_t(r * 64)];
      im[r] = &rows[size_t((26 + r) * 64)];
    }
    if (sbrdec_hfgen_create(&g, &config) != nullptr) return "create";
    return sbrdec_hfgen_setup(&g, 1, 0, 17, master, 12, master, 1, 44100, 64, 2) != nullptr ? "setup" : nullptr;
  }
};

}  // namespace

TEST(SbrHfGeneration, ChirpFactorsFollowTheInverseFilteringMode) {
  SbrDecoderConfig config;
  sbrdec_default_config(&config, 2);
  HfBench b;
  ASSERT_EQ(b.setup(config), nullptr);
  SbrHfGenerator& g = b.g;
  ASSERT_EQ(g.patch_count, 2);
  float** re = b.re;
  float** im = b.im;
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

// When the last frame's grid ran past its end, the first six slots fade from the last frame's
// filter (none here: its low band was silent) to this frame's, and the prediction leaves out
// the two slots that the overshoot already covered: a low band that holds something only
// there predicts nothing.
TEST(SbrHfGeneration, OvershootFadesInTheNewFilterAndMovesItsWindow) {
  struct overshoot_case {
    const char* what;
    int last_border, first_border;
    bool only_first_two_slots;
  };
  const overshoot_case cases[] = {
      {"no overshoot", 9, 0, false},
      {"overshoot of 2 slots", 11, 2, false},
      {"no overshoot, a low band in the first two slots", 9, 0, true},
      {"overshoot, a low band in the first two slots", 11, 2, true},
  };
  SbrDecoderConfig config;
  sbrdec_default_config(&config, 2);
  config.chirp = 0.5f;
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (const overshoot_case& c : cases) {
    HfBench b;
    ASSERT_EQ(b.setup(config), nullptr);
    SbrHfGenerator& g = b.g;
    float** re = b.re;
    float** im = b.im;
    SbrElementData e{};
    e.grid.envelopes = 1;
    e.grid.borders[1] = c.last_border;
    sbrdec_generate_hf(re, im, &e, &g, 2);  // a silent frame
    e.grid.borders[0] = c.first_border;
    e.grid.borders[1] = 9;
    const int first = 2 + 2 * c.first_border, last = 20;
    for (int r = 0; r < 26; ++r) {
      const bool filled = !c.only_first_two_slots || r == first || r == first + 1;
      for (int k = 1; k < 17; ++k) {
        re[r][k] = filled ? u(rng) : 0.0f;
        im[r][k] = filled ? u(rng) : 0.0f;
      }
    }
    sbrdec_generate_hf(re, im, &e, &g, 2);
    const bool overshoot = c.last_border > 9;
    for (int i = 0; i < g.patch_count; ++i) {
      const SbrPatch& patch = g.patches[i];
      const float q = g.chirp[i];
      for (int p = patch.source_start; p < patch.source_end; ++p) {
        const float* alpha = g.prev_alpha[p];  // this frame's now
        const bool predicts = alpha[0] != 0.0f || alpha[1] != 0.0f || alpha[2] != 0.0f || alpha[3] != 0.0f;
        if (c.only_first_two_slots) {
          EXPECT_EQ(predicts, !overshoot) << c.what << ", band " << p;
        }
        for (int n = first; n < last; ++n) {
          const std::complex<float> x0(re[n][p], im[n][p]), x1(re[n - 1][p], im[n - 1][p]), x2(re[n - 2][p], im[n - 2][p]);
          const std::complex<float> a0(alpha[0], alpha[1]), a1(alpha[2], alpha[3]);
          const std::complex<float> filtered = x0 + q * a0 * x1 + q * q * a1 * x2;
          const float fade = overshoot && n - first < 6 ? g.ramp_up[n - first] : 1.0f;
          const std::complex<float> want = x0 + fade * (filtered - x0);
          const int k = p + patch.offset;
          EXPECT_NEAR(re[n][k], want.real(), 1e-4f) << c.what << ", band " << k << ", row " << n;
          EXPECT_NEAR(im[n][k], want.imag(), 1e-4f) << c.what << ", band " << k << ", row " << n;
        }
      }
    }
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

// Slot by slot gains of a frame's envelope after one at a quarter of its energy: smoothing
// blends the two over the first four slots; a transient envelope (also the first after a
// transient at the end of the last frame) neither smooths nor adds noise and ignores the
// noise floor; without interpolated frequency a QMF band takes its envelope band's mean
// estimate. The noise floor is 0 or the envelope transient, so the gains alone shape it.
TEST(SbrAdjuster, SlotGainsBySmoothingTransientsAndInterpolation) {
  struct gain_case {
    const char* what;
    int smoothing_mode, interpolation;
    float noise;
    int first_transient, second_transient;  // of the two frames' single envelope
    bool smoothed, transient;
  };
  const gain_case cases[] = {
      {"smoothing mode 1", 1, 1, 0.0f, -1, -1, false, false},
      {"smoothing mode 0", 0, 1, 0.0f, -1, -1, true, false},
      {"a transient envelope", 0, 1, 1.0f, -1, 0, false, true},
      {"after a transient at the last frame's end", 0, 1, 1.0f, 1, -1, false, true},
      {"without interpolated frequency", 1, 0, 0.0f, -1, -1, false, false},
  };
  const float weights[4] = {0.6666667f, 0.3651638f, 0.1469943f, 0.0318305f};
  for (const gain_case& c : cases) {
    SbrHeader h;
    sbrdec_default_header(&h, 22050);
    h.smoothing_mode = c.smoothing_mode;
    h.interpol_freq = c.interpolation;
    h.limiter_gains = 3;
    SbrFreqTables t{};
    ASSERT_EQ(sbrdec_reset_freq_tables(&t, &h, 64, 44100, 2), nullptr);
    ASSERT_EQ(std::vector<int>(t.high + 3, t.high + 5), std::vector<int>({20, 22})) << "QMF bands 20 and 21 share a band";
    const auto amplitude = [](int m) { return m == 21 ? 200.0f : 100.0f; };
    SbrAdjuster a;
    sbrdec_adjust_init(&a);
    std::vector<float> rows(2 * 22 * 64);
    float* re[22];
    float* im[22];
    const float energy[2] = {1e6f, 4e6f};
    for (int frame = 0; frame < 2; ++frame) {
      std::fill(rows.begin(), rows.end(), 0.0f);
      for (int r = 0; r < 22; ++r) {
        re[r] = &rows[size_t(r * 64)];
        im[r] = &rows[size_t((22 + r) * 64)];
        for (int k = t.kx; k < t.kmax; ++k) re[r][k] = amplitude(k);
      }
      SbrElementData e{};
      e.header = h;
      e.grid.envelopes = 1;
      e.grid.borders[1] = 9;
      e.grid.freq_res[0] = 1;
      e.grid.transient = frame == 0 ? c.first_transient : c.second_transient;
      e.grid.noise_floors = 1;
      e.grid.noise_borders[1] = 9;
      for (int b = 0; b < t.n_high; ++b) e.energy[b] = energy[frame];
      for (int q = 0; q < t.n_noise; ++q) e.noise_level[0][q] = c.noise;
      sbrdec_adjust_hf(&a, &t, &e, re, im, 2);
    }
    for (int m : {20, 21, 25}) {
      const float estimate = c.interpolation || m == 25 ? amplitude(m) * amplitude(m) : (100.0f * 100.0f + 200.0f * 200.0f) / 2.0f;
      const float floor = c.transient ? 1.0f : 1.0f + c.noise;
      const float before = std::sqrt(energy[0] / (1.0f + c.noise) / (1.0f + estimate));
      const float now = std::sqrt(energy[1] / floor / (1.0f + estimate));
      for (int i = 0; i < 18; ++i) {
        const float w = c.smoothed && i < 4 ? weights[i] : 0.0f;
        const float want = w * before + (1.0f - w) * now;
        EXPECT_NEAR(re[2 + i][m] / amplitude(m), want, want * 2e-6f) << c.what << ", band " << m << ", slot " << i;
        EXPECT_EQ(im[2 + i][m], 0.0f) << c.what << ", band " << m << ", slot " << i;
      }
    }
  }
}

TEST(SbrTones, AmplitudeTable) {
  const std::pair<int, float> cases[] = {{0, 1625.4987f}, {1, 2048.0f},       {2, 2580.3184f}, {4, 4096.0f},
                                         {28, 1048576.0f}, {29, 1294700.5f},  {30, 1597930.25f}, {31, 1971322.875f}};
  for (auto [k, v] : cases) EXPECT_NEAR(sbrdec_tone_amplitude(k), v, v * 1e-6) << k;
}

// Each band's tone starts at a fixed phase: sqrt(2) (cos, sin) of (k + 0.5) x 31.5 pi / 64.
TEST(SbrTones, PhaseOfEachBand) {
  SbrToneRecord t;
  sbrdec_tone_init(&t, 18, 64);
  struct phase_case {
    int band;
    float cos, sin;
  };
  const phase_case cases[] = {{0, 1.0121962f, 0.98765316f}, {1, -0.96251516f, 1.0361296f},
                              {40, 1.3835497f, -0.29289972f}, {63, -0.98765316f, -1.0121962f}};
  for (const phase_case& c : cases) {
    EXPECT_NEAR(t.cos_factor[c.band], c.cos, 1e-6f) << c.band;
    EXPECT_NEAR(t.sin_factor[c.band], c.sin, 1e-6f) << c.band;
  }
  // A tone after a frame with tones: the coded values times the amplitude, at that phase.
  SbrElementData e{};
  e.tones.count = 1;
  SbrToneEntry& x = e.tones.entries[0];
  x.first_band = 40, x.band_count = 1, x.range = 2, x.width[0] = 4, x.amplitude[0] = 4;
  for (int s = 0; s < 9; ++s) x.values[0][s] = int8_t(s - 4);
  std::vector<float> rows(2 * 18 * 64, 0.0f);
  float* re[18];
  float* im[18];
  for (int r = 0; r < 18; ++r) {
    re[r] = &rows[size_t(r * 64)];
    im[r] = &rows[size_t((18 + r) * 64)];
  }
  t.had_tones = 1;
  sbrdec_synthesize_tones(&t, &e, 17, 32, re, im);
  for (int s = 0; s < 9; ++s) {
    const float v = float(s - 4) * 4096.0f / 8.0f;
    EXPECT_FLOAT_EQ(re[s][40], v * 1.3835497f) << s;
    EXPECT_FLOAT_EQ(im[s][40], v * -0.29289972f) << s;
  }
}

}  // namespace
