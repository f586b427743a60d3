// Arithmetic kernels and vector routines.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "mp3enc/kernels.h"

TEST(Mp3encKernels, InstalledSetIsCompleteForItsSlots) {
  EXPECT_EQ(mp3enc_install_kernels(1), 0);
  const mp3enc_kernel_table& k = mp3enc_kernels();
  EXPECT_TRUE(k.band_root4 && k.band_sqrt_sum && k.band_energy && k.band_energy2 && k.attack_detect &&
              k.polyphase && k.quantise && k.band_log_nlines && k.copy && k.copy2 && k.dot);
  EXPECT_EQ(mp3enc_install_kernels(0), 0);
  EXPECT_EQ(&mp3enc_kernels(), &mp3enc_plain_kernels());
}

TEST(Mp3encKernels, BandSums) {
  const mp3enc_kernel_table& k = mp3enc_kernels();
  // bounds[0] is not read: the first band starts at line 0.
  const float x[8] = {1, -2, 3, 4, 0, 0, 0, 0};
  const int32_t bounds[3] = {4, 4, 8};
  float e[2], total;
  k.band_energy(x, bounds, 2, e, &total);
  EXPECT_FLOAT_EQ(e[0], 30.0f);
  EXPECT_FLOAT_EQ(e[1], 0.0f);
  EXPECT_FLOAT_EQ(total, 30.0f);
  k.band_energy(x, bounds, 0, e, &total);
  EXPECT_EQ(total, 0.0f);

  const float l[4] = {1, 2, 3, 4}, r[4] = {1, 0, -1, 2};
  const int32_t b2[2] = {0, 4};
  float mid, side, mt, st;
  k.band_energy2(l, r, b2, 1, &mid, &mt, &side, &st);
  EXPECT_FLOAT_EQ(mid, 0.5f * (4 + 4 + 4 + 36));
  EXPECT_FLOAT_EQ(side, 0.5f * (0 + 4 + 16 + 4));
  EXPECT_FLOAT_EQ(mt, mid);
  EXPECT_FLOAT_EQ(st, side);

  const float y[6] = {4, -9, 0, 0, 16, 1};
  const int32_t b3[4] = {0, 2, 4, 4};
  float sums[3], maxima[3];
  k.band_sqrt_sum(sums, maxima, 3, b3, y);
  EXPECT_NEAR(sums[0], 5.0f, 1e-5);
  EXPECT_FLOAT_EQ(maxima[0], 9.0f);
  EXPECT_FLOAT_EQ(sums[1], 1.0e-10f);  // a band of zeros
  EXPECT_EQ(maxima[1], 0.0f);
  EXPECT_FLOAT_EQ(sums[2], 1.0e-10f);  // an empty band
  EXPECT_EQ(maxima[2], 0.0f);

  const float a[3] = {1, 2, 3}, c[3] = {4, 5, 6};
  EXPECT_FLOAT_EQ(k.dot(a, c, 3), 32.0f);
  EXPECT_EQ(k.dot(a, c, 0), 0.0f);

  const float t0[2] = {16.0f, 81.0f}, t1[1] = {1.0f};
  const float* th[2] = {t0, t1};
  const int32_t counts[2] = {2, 1};
  float out[2][39];
  out[1][1] = -7.0f;
  k.band_root4(out, th, counts, 2);
  EXPECT_FLOAT_EQ(out[0][0], 2.0f);
  EXPECT_FLOAT_EQ(out[0][1], 3.0f);
  EXPECT_FLOAT_EQ(out[1][0], 1.0f);
  EXPECT_EQ(out[1][1], -7.0f);  // beyond the count: left alone
}

TEST(Mp3encKernels, QuantiseFollowsThePowerLaw) {
  const mp3enc_kernel_table& k = mp3enc_kernels();
  const float inf = std::numeric_limits<float>::infinity();
  const float x[] = {0.0f, 1.0f, -1.0f, 100.0f, -0.3f, 5000.0f, inf, std::nanf("")};
  for (int step : {0, -3, 4, 7, -12}) {
    SCOPED_TRACE(step);
    int32_t q[8];
    k.quantise(step, 8, x, q);
    for (int i = 0; i < 6; ++i) {
      const double exact = std::pow(std::fabs(x[i]) * std::pow(2.0, -step / 4.0), 0.75) + 0.4054;
      // Nine mantissa bits without interpolation: within 0.2% of the exact power.
      EXPECT_LE(std::abs(std::abs(q[i]) - std::trunc(exact)), std::max(1.0, exact * 0.002)) << i;
      if (x[i] < 0) {
        EXPECT_LE(q[i], 0);
      }
    }
    EXPECT_GT(q[6], 0);  // the largest value, not undefined behaviour
  }
  int32_t q;
  k.quantise(0, 1, x + 1, &q);
  EXPECT_EQ(q, 1);  // trunc(1.4054)
}

TEST(Mp3encKernels, BandLevelsAndLineEstimates) {
  const mp3enc_kernel_table& k = mp3enc_kernels();
  const float energy[3] = {16.0f, 5.0f, 1000.0f};
  const float threshold[3] = {1.0f, 5.0f, 10.0f};  // equal to the energy: inaudible
  const float c[3] = {8.0f, 8.0f, 30.0f};
  const int32_t bounds[4] = {0, 4, 8, 18};
  mp3enc_band_estimate est;
  EXPECT_EQ(k.band_log_nlines(&est, energy, threshold, c, bounds, 3, 0), &est);
  EXPECT_NEAR(est.log[0], 4.0f, 1e-4);  // 0.5 * log2(256)
  EXPECT_EQ(est.lines[0], int(8.0 / std::pow(4.0, 0.25) + 0.5));
  EXPECT_EQ(est.log[1], 0.0f);
  EXPECT_EQ(est.lines[1], 0);
  EXPECT_NEAR(est.log[2], std::log2(1000.0), 0.012);
  EXPECT_EQ(est.lines[2], int(30.0 / std::pow(100.0, 0.25) + 0.5));
  EXPECT_EQ(est.lines[39], 0);
  k.band_log_nlines(&est, energy, threshold, c, bounds, 0, 2);
  EXPECT_EQ(est.lines[39], 125);
  // Seven mantissa bits interpolated between steps of 1/32: about 0.01 at worst.
  for (float v : {1.0f, 3.0f, 0.7f, 1234.5f, 1e-6f}) EXPECT_NEAR(mp3enc_table_log2(v), std::log2(v), 0.012) << v;
  EXPECT_EQ(mp3enc_table_log2(8.0f), 3.0f);
}

TEST(Mp3encKernels, VectorRoutines) {
  struct Case {
    int n, bits;
  };
  for (const Case& c : {Case{0, 0}, {1, 0}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {256, 8}, {-5, 0}})
    EXPECT_EQ(mp3enc_ilog2(c.n), c.bits) << c.n;

  std::vector<float> a = {1, 2, 3, 4}, b = {4, 3, 2, 1}, out(4, 0);
  mp3enc_vec_add(a.data(), b.data(), out.data(), 4);
  EXPECT_EQ(out, std::vector<float>({5, 5, 5, 5}));
  mp3enc_vec_max(a.data(), b.data(), out.data(), 4);
  EXPECT_EQ(out, std::vector<float>({4, 3, 3, 4}));
  mp3enc_vec_add_strided(a.data(), 2, b.data(), 1, out.data(), 2, 2);
  EXPECT_EQ(out, std::vector<float>({5, 3, 6, 4}));
  mp3enc_copy_strided(a.data(), 1, out.data(), 2, 2);
  EXPECT_EQ(out, std::vector<float>({1, 3, 2, 4}));
  mp3enc_fill_strided(9.0f, out.data() + 1, 2, 2);
  EXPECT_EQ(out, std::vector<float>({1, 9, 2, 9}));
  mp3enc_fill(0.5f, out.data(), 3);
  mp3enc_fill(0.5f, out.data(), -1);
  EXPECT_EQ(out, std::vector<float>({0.5f, 0.5f, 0.5f, 9}));

  std::vector<int32_t> iv = {-3, 0, 7, INT32_MIN}, io(4);
  mp3enc_vec_abs(iv.data(), io.data(), 3);
  EXPECT_EQ(io[0], 3);
  EXPECT_EQ(io[2], 7);
  mp3enc_fill2(int32_t(-9999), io.data(), 4);
  EXPECT_EQ(io, std::vector<int32_t>(4, -9999));
  mp3enc_copy_strided(iv.data(), 2, io.data(), 1, 2);
  EXPECT_EQ(io[1], 7);
}
