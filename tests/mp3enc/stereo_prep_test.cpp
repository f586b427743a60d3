// Narrowing of two-channel input: when it is off, how the control value moves, and the mix.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "mp3enc/analysis.h"
#include "mp3enc/stereo_prep.h"

namespace {

struct prep {
  mp3enc_stereo_prep* p = nullptr;
  prep(int bit_rate, int rate) { EXPECT_EQ(0, mp3enc_stereo_prep_create(&p, 2, bit_rate, rate, 1)); }
  ~prep() { mp3enc_stereo_prep_free(p); }
  // One granule of a left-only signal: returns what the right channel received.
  float granule(float el, float er, float em, float es, float pe) {
    std::vector<float> x(2 * 576);
    for (int i = 0; i < 576; ++i) x[size_t(2 * i)] = 1000.0f;
    mp3enc_stereo_prep_granule(p, 2, x.data(), 576);
    mp3enc_stereo_prep_update_values(p, el, er, em, es, pe, pe);
    return x[1];
  }
};

TEST(StereoPrep, OffForOneChannelOrWhenDisabled) {
  mp3enc_stereo_prep* p = reinterpret_cast<mp3enc_stereo_prep*>(1);
  EXPECT_EQ(0, mp3enc_stereo_prep_create(&p, 1, 64000, 44100, 1));
  EXPECT_EQ(nullptr, p);
  EXPECT_EQ(0, mp3enc_stereo_prep_create(&p, 2, 64000, 44100, 0));
  EXPECT_EQ(nullptr, p);
  std::vector<float> x{1.0f, 2.0f};
  mp3enc_stereo_prep_granule(nullptr, 2, x.data(), 1);  // nothing to do, no crash
  EXPECT_EQ(2.0f, x[1]);
}

// The first granule sees no energies: the target is 0 and the value falls by one fall step;
// the mix follows the value at once.
TEST(StereoPrep, FirstGranuleFallsOneStepAndMixes) {
  prep s(64000, 44100);
  const float fall = std::min(18.75f * s.p->fall_factor, 1.2f);
  const float right = s.granule(0, 0, 0, 0, 0);
  EXPECT_NEAR(1.5f - fall, s.p->control_db, 1e-5);
  const float g = std::pow(10.0f, -s.p->control_db / 40.0f);
  EXPECT_NEAR(1000.0f * (1.0f - g) * 0.5f, right, 1e-3);
}

// Hard material with a strong side channel is narrowed, never past 15 dB; easy material and
// a silent channel let the value fall back to 0 (no narrowing).
TEST(StereoPrep, SteersBetweenZeroAndFifteenDb) {
  prep s(32000, 22050);
  float peak = 0;
  for (int i = 0; i < 200; ++i) {
    s.granule(1e9f, 0.9e9f, 1.0e9f, 0.9e9f, 4000.0f);
    peak = std::max(peak, s.p->control_db);
  }
  EXPECT_GT(peak, 5.0f);
  EXPECT_LE(peak, 15.0f);
  for (int i = 0; i < 400; ++i) s.granule(1e9f, 0.0f, 0.5e9f, 0.5e9f, 10.0f);
  EXPECT_NEAR(0.0f, s.p->control_db, 0.01f);
  EXPECT_NEAR(1.0f, s.p->mix, 0.002f);
  s.p->override_db = 6.0f;
  s.granule(0, 0, 0, 0, 0);
  EXPECT_EQ(6.0f, s.p->control_db);
}

// The update takes its values from the analysis record: totals, mid (channel 0) and side
// (channel 1), and the entropies, which it smooths with a weight that falls by 0.1 per call
// to just under 0.1 and stays there.
TEST(StereoPrep, UpdateReadsTheAnalysisRecord) {
  prep s(48000, 44100);
  mp3enc_granule_analysis a{};
  a.ch[0].total = 4.0f;
  a.ch[1].total = 3.0f;
  a.ch[0].ms_total = 2.0f;
  a.ch[1].ms_total = 1.0f;
  a.ch[0].pe = 100.0f;
  a.ch[1].pe = 300.0f;
  mp3enc_stereo_prep_update(&a, s.p);
  EXPECT_EQ(4.0f, s.p->energy_l);
  EXPECT_EQ(3.0f, s.p->energy_r);
  EXPECT_EQ(2.0f, s.p->energy_m);
  EXPECT_EQ(1.0f, s.p->energy_s);
  EXPECT_FLOAT_EQ(200.0f, s.p->smoothed_pe);  // weight 1: the mean of the two
  for (int i = 0; i < 20; ++i) mp3enc_stereo_prep_update(&a, s.p);
  EXPECT_NEAR(0.1f, s.p->weight, 1e-6f);
  EXPECT_LE(s.p->weight, 0.1f);
  EXPECT_FLOAT_EQ(200.0f, s.p->smoothed_pe);
  mp3enc_stereo_prep_update(&a, nullptr);  // no object: nothing
}

// A target within 2 dB of the control value (other than 0) leaves the value where it is.
TEST(StereoPrep, SmallTargetChangesAreIgnored) {
  prep s(32000, 22050);
  s.p->control_db = 6.0f;
  s.p->weight = 0.1f;
  s.p->smoothed_pe = 0.0f;
  // choose the difficulty so that k * w * scale is 7 dB: w = 1 (no side, equal channels)
  const float scale = s.p->target_scale;
  const float k = 7.0f / scale;
  const float p = 30.0f + 90.0f * std::sqrt(k);
  s.p->smoothed_pe = p * s.p->bits_per_granule / 150.0f;
  s.p->energy_l = s.p->energy_r = s.p->energy_m = 1e6f;
  s.p->energy_s = 0.0f;
  s.p->prev_total = 2e6f;
  std::vector<float> x(2 * 576, 0.0f);
  mp3enc_stereo_prep_granule(s.p, 2, x.data(), 576);
  EXPECT_EQ(6.0f, s.p->control_db);
}

}  // namespace
