// Narrowing of two-channel input: when it is off, how the control value moves, and the mix.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

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

}  // namespace
