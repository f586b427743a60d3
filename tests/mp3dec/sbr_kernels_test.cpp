// SBR decoder kernels: FFT, DCT-IV and DST-IV, and the QMF banks' reconstruction.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "mp3dec/sbr/sbr_fft.h"
#include "mp3dec/sbr/sbr_qmf.h"
#include "mp3dec/sbr/sbr_tables.h"
#include "mp3dec/sbrdec.h"

namespace {

using cd = std::complex<double>;

double relative_error(const std::vector<float>& got, const std::vector<cd>& want) {
  double err = 0.0, ref = 0.0;
  for (size_t k = 0; k < want.size(); ++k) {
    err += std::norm(cd(got[2 * k], got[2 * k + 1]) - want[k]);
    ref += std::norm(want[k]);
  }
  return std::sqrt(err / ref);
}

TEST(SbrFft, MatchesTheDirectTransformForEverySize) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (int n : {4, 8, 16, 32, 240, 480}) {
    for (int input = 0; input < 3; ++input) {  // impulse at 0, impulse at 1, random
      std::vector<float> x(size_t(2 * n), 0.0f);
      if (input < 2)
        x[size_t(2 * input)] = 1.0f;
      else
        for (float& v : x) v = u(rng);
      std::vector<cd> want(static_cast<size_t>(n));
      for (int k = 0; k < n; ++k)
        for (int t = 0; t < n; ++t)
          want[size_t(k)] += cd(x[size_t(2 * t)], x[size_t(2 * t + 1)]) * std::polar(1.0, -2.0 * M_PI * double(t) * k / n);
      sbrdec_fft(x.data(), n);
      EXPECT_LT(relative_error(x, want), 1e-5) << n << " input " << input;
    }
  }
  std::vector<float> other = {1, 2, 3, 4, 5, 6};  // unsupported sizes are left alone
  sbrdec_fft(other.data(), 3);
  EXPECT_EQ(other, (std::vector<float>{1, 2, 3, 4, 5, 6}));
}

TEST(SbrQmf, Dct4AndDst4MatchTheirDefinitions) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (int bands : {32, 64}) {
    QmfBank* b = nullptr;
    if (bands == 32)
      ASSERT_EQ(sbrdec_qmf_analysis_create(&b, 0, 2, 576), nullptr);
    else
      ASSERT_EQ(sbrdec_qmf_synthesis_create(&b, 0, 1152, 1.0f, 1.0f), nullptr);
    for (int sine = 0; sine < 2; ++sine) {
      std::vector<float> x(static_cast<size_t>(bands)), work(static_cast<size_t>(2 * bands));
      for (float& v : x) v = u(rng);
      std::vector<float> y = x;
      if (sine)
        sbrdec_dst4(y.data(), b, work.data());
      else
        sbrdec_dct4(y.data(), b, work.data());
      double err = 0.0, ref = 0.0;
      for (int k = 0; k < bands; ++k) {
        double want = 0.0;
        for (int n = 0; n < bands; ++n) {
          const double a = M_PI * (n + 0.5) * (k + 0.5) / bands;
          want += x[size_t(n)] * (sine ? std::sin(a) : std::cos(a));
        }
        err += (y[size_t(k)] - want) * (y[size_t(k)] - want);
        ref += want * want;
      }
      EXPECT_LT(std::sqrt(err / ref), 1e-5) << bands << (sine ? " DST-IV" : " DCT-IV");
    }
    sbrdec_qmf_free(&b);
  }
}

// Core samples through the 32-band analysis and the 64-band synthesis with nothing above
// band 32: the output is the core upsampled by two.
struct bank_pair {
  QmfBank* analysis = nullptr;
  QmfBank* synthesis = nullptr;
  std::vector<float> line = std::vector<float>(320 - 32 + 576, 0.0f);
  std::vector<float> rows = std::vector<float>(2 * 18 * 64, 0.0f);
  bank_pair(qmf_analysis_fn an, qmf_synthesis_fn sy, const float* window = nullptr)
      : analyse(an), synthesise(sy) {
    sbrdec_qmf_analysis_create(&analysis, 0, 2, 576);
    sbrdec_qmf_synthesis_create(&synthesis, 0, 1152, 1.0f, 1.0f);
    if (window) analysis->window = synthesis->window = window;
  }
  ~bank_pair() {
    sbrdec_qmf_free(&analysis);
    sbrdec_qmf_free(&synthesis);
  }
  std::vector<float> run(const std::vector<float>& core) {
    std::vector<float> out;
    float* re[18];
    float* im[18];
    for (int s = 0; s < 18; ++s) {
      re[s] = &rows[size_t(s * 64)];
      im[s] = &rows[size_t((18 + s) * 64)];
    }
    for (size_t f = 0; f + 576 <= core.size(); f += 576) {
      std::copy(line.begin() + 576, line.end(), line.begin());
      std::copy(core.begin() + long(f), core.begin() + long(f + 576), line.end() - 576);
      analyse(line.data(), re, im, analysis);
      for (int s = 0; s < 18; ++s)
        for (int k = 32; k < 64; ++k) re[s][k] = im[s][k] = 0.0f;
      std::vector<float> frame(1152);
      synthesise(frame.data(), re, im, synthesis);
      out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
  }
  qmf_analysis_fn analyse;
  qmf_synthesis_fn synthesise;
};

// SNR in dB of `out` against a sine of amplitude `amp` at `f` (cycles per output sample)
// delayed by `delay` samples, over the samples after the banks have filled.
double sine_snr(const std::vector<float>& out, double amp, double f, int delay) {
  double sig = 0.0, err = 0.0;
  for (size_t i = 2000; i < out.size(); ++i) {
    const double want = amp * std::sin(2.0 * M_PI * f * (double(i) - delay));
    sig += want * want;
    err += (out[i] - want) * (out[i] - want);
  }
  return 10.0 * std::log10(sig / err);
}

constexpr int bank_delay = 578;  // output samples, analysis and synthesis together

TEST(SbrQmf, BanksReconstructTheUpsampledCore) {
  // Core sines up to 0.8 of its Nyquist frequency.
  for (double f : {0.01, 0.1, 0.25, 0.4}) {
    std::vector<float> core(576 * 12);
    for (size_t i = 0; i < core.size(); ++i) core[i] = float(10000.0 * std::sin(2.0 * M_PI * f * double(i)));
    bank_pair plain(sbrdec_qmf_analysis_plain, sbrdec_qmf_synthesis_plain);
    bank_pair sse(sbrdec_qmf_analysis_sse, sbrdec_qmf_synthesis_sse);
    const std::vector<float> a = plain.run(core), b = sse.run(core);
    EXPECT_GT(sine_snr(a, 10000.0, f / 2.0, bank_delay), 50.0) << f;
    double diff = 0.0;
    for (size_t i = 0; i < a.size(); ++i) diff = std::max(diff, double(std::fabs(a[i] - b[i])));
    EXPECT_LT(diff, 0.05) << "the SSE forms agree with the plain ones, " << f;
  }
}

TEST(SbrQmf, OnlyTheStoredWindowSignsReconstruct) {
  // The printed table's signs at taps 128, 256, 384 and 512 (stored one place earlier).
  std::vector<float> printed(sbrdec_qmf_window, sbrdec_qmf_window + 640);
  for (int tap : {128, 256, 384, 512}) printed[size_t(tap - 1)] = -printed[size_t(tap - 1)];
  std::vector<float> core(576 * 12);
  for (size_t i = 0; i < core.size(); ++i) core[i] = float(10000.0 * std::sin(2.0 * M_PI * 0.1 * double(i)));
  bank_pair stored(sbrdec_qmf_analysis_plain, sbrdec_qmf_synthesis_plain);
  bank_pair other(sbrdec_qmf_analysis_plain, sbrdec_qmf_synthesis_plain, printed.data());
  EXPECT_GT(sine_snr(stored.run(core), 10000.0, 0.05, bank_delay), 50.0);
  EXPECT_LT(sine_snr(other.run(core), 10000.0, 0.05, bank_delay), 40.0);
}

}  // namespace
