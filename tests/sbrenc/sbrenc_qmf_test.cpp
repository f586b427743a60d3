#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "sbrenc/sbrenc_qmf.h"

namespace {

constexpr double pi = 3.14159265358979323846;

// Band energies summed over the slots of the frames after the history has filled.
std::vector<double> band_energies(const std::vector<float>& x, int frames_to_skip) {
  sbrenc_qmf* q = nullptr;
  EXPECT_EQ(sbrenc_qmf_create(&q, 0, 1152), nullptr);
  std::vector<std::vector<float>> re(18, std::vector<float>(64)), im(18, std::vector<float>(64));
  std::vector<float*> rp, ip;
  for (int i = 0; i < 18; ++i) {
    rp.push_back(re[i].data());
    ip.push_back(im[i].data());
  }
  std::vector<double> e(64, 0.0);
  const int frames = static_cast<int>(x.size() / 1152);
  for (int f = 0; f < frames; ++f) {
    sbrenc_cplx_analysis(x.data() + f * 1152, 1, rp.data(), ip.data(), q);
    if (f < frames_to_skip) continue;
    for (int l = 0; l < 18; ++l)
      for (int k = 0; k < 64; ++k) e[k] += double(re[l][k]) * re[l][k] + double(im[l][k]) * im[l][k];
  }
  sbrenc_qmf_free(&q);
  EXPECT_EQ(q, nullptr);
  return e;
}

TEST(SbrencQmf, ToneInEachBandCentreStaysInItsBand) {
  for (int k = 0; k < 64; ++k) {
    std::vector<float> x(1152 * 3);
    const double f = (k + 0.5) / 128.0;  // cycles per sample
    for (size_t n = 0; n < x.size(); ++n) x[n] = static_cast<float>(10000.0 * std::cos(2 * pi * f * n + 0.3));
    const auto e = band_energies(x, 1);
    const double db_in = 10 * std::log10(e[k]);
    for (int j : {k - 2, k + 2}) {
      if (j < 0 || j > 63) continue;
      EXPECT_GE(db_in - 10 * std::log10(e[j] + 1e-30), 30.0) << "band " << k << " against " << j;
    }
    // No mirror image: the subband signal is analytic.
    if (63 - k != k && std::abs((63 - k) - k) > 1) {
      EXPECT_GE(db_in - 10 * std::log10(e[63 - k] + 1e-30), 30.0) << k;
    }
  }
}

TEST(SbrencQmf, WhiteNoiseIsFlat) {
  std::mt19937 rng(7);
  std::normal_distribution<float> g(0.0f, 3000.0f);
  std::vector<float> x(1152 * 60);
  for (auto& v : x) v = g(rng);
  const auto e = band_energies(x, 1);
  double mean = 0;
  for (double v : e) mean += v / 64;
  for (int k = 0; k < 64; ++k) EXPECT_NEAR(10 * std::log10(e[k] / mean), 0.0, 1.0) << "band " << k;
}

TEST(SbrencQmf, SilenceAndStride) {
  // Interleaved input: the second channel's samples must not leak into the first.
  std::vector<float> x(2 * 1152 * 2, 0.0f);
  for (size_t n = 1; n < x.size(); n += 2) x[n] = 20000.0f;
  sbrenc_qmf* q = nullptr;
  ASSERT_EQ(sbrenc_qmf_create(&q, 0, 1152), nullptr);
  std::vector<std::vector<float>> re(18, std::vector<float>(64, 1.0f)), im = re;
  std::vector<float*> rp, ip;
  for (int i = 0; i < 18; ++i) {
    rp.push_back(re[i].data());
    ip.push_back(im[i].data());
  }
  sbrenc_cplx_analysis(x.data(), 2, rp.data(), ip.data(), q);
  for (int l = 0; l < 18; ++l)
    for (int k = 0; k < 64; ++k) {
      EXPECT_EQ(re[l][k], 0.0f);
      EXPECT_EQ(im[l][k], 0.0f);
    }
  sbrenc_qmf_free(&q);
  sbrenc_qmf_free(&q);  // a freed bank is null and may be freed again

  // A frame length that is not a multiple of 64 analyses the whole slots only.
  ASSERT_EQ(sbrenc_qmf_create(&q, 0, 1000), nullptr);
  EXPECT_EQ(q->slots, 15);
  sbrenc_qmf_free(&q);
  EXPECT_NE(sbrenc_qmf_create(&q, 1, 1152), nullptr);
  EXPECT_EQ(q, nullptr);
}

TEST(SbrencQmf, CosineTransform) {
  float x[64] = {1.0f};
  sbrenc_fft(x);
  for (float v : x) EXPECT_FLOAT_EQ(v, 1.0f);
  float y[64] = {0.0f, 1.0f};
  sbrenc_fft(y);
  for (int k = 0; k < 64; ++k) EXPECT_NEAR(y[k], std::cos((2 * k + 1) * pi / 128), 4e-6);
  // Against the definition on a random vector.
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  float z[64], ref[64];
  for (float& v : z) v = u(rng);
  for (int k = 0; k < 64; ++k) {
    double s = 0;
    for (int n = 0; n < 64; ++n) s += z[n] * std::cos(pi * n * (k + 0.5) / 64);
    ref[k] = static_cast<float>(s);
  }
  sbrenc_fft(z);
  for (int k = 0; k < 64; ++k) EXPECT_NEAR(z[k], ref[k], 1e-4);
}

TEST(SbrencQmf, EdgesInBandsAndHz) {
  struct edge_case {
    int32_t index, rate, lower_band, lower_hz, stop_hz;
  };
  // Minimum lower band: 64*6000/22050+0.5 = 17; 64*8000/44100+0.5 = 12; 64*8000/32000 = 16;
  // 64*10000/64000 = 10.
  const edge_case cases[] = {
      {0, 22050, 17, 2928, -2},   {5, 44100, 17, 5857, -2},  {15, 44100, 45, 15503, -2},
      {0, 32000, 16, 4000, 8000}, {0, 64000, 10, 5000, 10000}, {16, 44100, -1, -1, -2},
      {-1, 44100, -1, -1, -1},    {14, 44100, 40, 13781, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.index << " @ " << c.rate);
    EXPECT_EQ(sbrenc_lower_edge_band(c.index, 64, c.rate), c.lower_band);
    EXPECT_EQ(sbrenc_lower_edge_hz(c.index, 64, c.rate), c.lower_hz);
    if (c.stop_hz != -2) {
      EXPECT_EQ(sbrenc_stop_freq_hz(c.index, 64, c.rate), c.stop_hz);
    }
  }
  // Stop index 13 reaches band 64 from any minimum; the steps grow.
  EXPECT_EQ(sbrenc_stop_band(13, 64, 44100), 64);
  int prev = 0;
  for (int i = 0; i <= 13; ++i) {
    const int b = sbrenc_stop_band(i, 64, 44100);
    EXPECT_GT(b, prev);
    if (i >= 2) {
      EXPECT_GE(b - prev, sbrenc_stop_band(i - 1, 64, 44100) - sbrenc_stop_band(i - 2, 64, 44100));
    }
    prev = b;
  }
}

}  // namespace
