// The encoder's input rate converter: the way chosen per ratio, pass- and stop-band
// figures measured on tones, the FFT path against a direct convolution, and the flush.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "mp3enc/resampler_enc.h"

namespace {

struct converter {
  resampler_enc* r = nullptr;
  converter(int channels, int out_block, int in_rate, int out_rate, float cutoff, float width, int half_band) {
    resampler_enc_setup(&r, channels, 0, out_block, in_rate, out_rate, cutoff, width, half_band);
  }
  ~converter() { resampler_enc_free(r); }
  // Runs a whole signal through in blocks (the last one short), then flushes twice.
  std::vector<float> run(const std::vector<float>& signal, int flushes = 2) {
    std::vector<float> out, in(size_t(r->in_block)), buf(size_t(r->out_block) + 8);
    size_t pos = 0;
    while (pos < signal.size() || flushes-- > 0) {
      const size_t n = pos < signal.size() ? std::min(signal.size() - pos, size_t(r->in_block)) : 0;
      std::fill(in.begin(), in.end(), 0.0f);
      std::copy(signal.begin() + long(pos), signal.begin() + long(pos + n), in.begin());
      int ic = int(n), oc = 0;
      resampler_enc_run(r, in.data(), buf.data(), &ic, &oc);
      EXPECT_LE(oc, r->out_block);
      out.insert(out.end(), buf.begin(), buf.begin() + oc);
      if (n == 0) continue;  // a flush consumes only its own zeros
      pos += size_t(ic);
      if (ic == 0) break;
    }
    return out;
  }
};

std::vector<float> tone(double freq, int rate, int count, double amp = 10000.0) {
  std::vector<float> v(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) v[size_t(i)] = float(amp * std::sin(2.0 * M_PI * freq * i / rate));
  return v;
}

// Level of one frequency in the settled middle of a signal, by Goertzel over a Hann window
// (a plain window leaks a loud tone far enough to hide a -90 dB image).
double level(const std::vector<float>& v, double freq, int rate) {
  const size_t a = v.size() / 4, b = v.size() * 3 / 4;
  const double w = 2.0 * M_PI * freq / rate, c = 2.0 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (size_t i = a; i < b; ++i) {
    const double hann = 1.0 - std::cos(2.0 * M_PI * double(i - a) / double(b - a));
    const double s = hann * v[i] + c * s1 - s2;
    s2 = s1;
    s1 = s;
  }
  const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
  return 2.0 * std::sqrt(std::max(power, 0.0)) / double(b - a);
}

TEST(ResamplerEnc, ChoosesTheWayAndBlockSizesByRatio) {
  struct row {
    int in_rate, out_rate, out_block;
    float cutoff, width;
    int half_band;
    int mode, kind, L, M, phases, taps_per_phase, latency, in_block, hop;
  } rows[] = {
      {44100, 22050, 576, 11025, 0.1f, 0, 1, 1, 1, 2, 1, 229, 114, 1152, 795},
      {44100, 22050, 576, 11025, 0.218f, 1, 1, 0, 1, 2, 1, 105, 4, 1152, 919},
      {48000, 44100, 1152, 20000, 0.1f, 0, 1, 1, 147, 160, 147, -1, -1, 1254, 1254},
      {44100, 32000, 1152, 15000, 0.1f, 0, 1, 1, 320, 441, 320, -1, -1, 1588, 1588},
      {11025, 48000, 1152, 5000, 0.1f, 0, 2, 1, 640, 147, 512, -1, -1, 265, 265},
      {44100, 44100, 1152, 22050, 0.1f, 0, 0, 1, 0, 0, 0, 0, 0, 1152, 0},
  };
  for (const auto& w : rows) {
    SCOPED_TRACE(testing::Message() << w.in_rate << " -> " << w.out_rate);
    resampler_enc_params p;
    resampler_enc_setup_params(&p, 0, w.out_block, w.in_rate, w.out_rate, w.cutoff, w.width);
    resampler_enc* r = nullptr;
    ASSERT_EQ(0, resampler_enc_create(&r, &p, 1, &p.in_block, &p.out_block, w.half_band));
    EXPECT_EQ(w.mode, r->mode);
    EXPECT_EQ(w.in_block, p.in_block);
    if (w.mode != 0) {
      EXPECT_EQ(w.kind, r->kind);
      EXPECT_EQ(w.L, p.L);
      EXPECT_EQ(w.M, p.M);
      EXPECT_EQ(w.phases, r->bank->phases);
      if (w.taps_per_phase > 0) {
        EXPECT_EQ(w.taps_per_phase, r->taps_per_phase);
      }
      if (w.latency >= 0) {
        EXPECT_EQ(w.latency, r->latency);
      }
      EXPECT_EQ(w.hop, r->hop_or_input);
    }
    resampler_enc_free(r);
  }
}

TEST(ResamplerEnc, RefusesWhatItCannotConvert) {
  resampler_enc* r = nullptr;
  EXPECT_EQ(1, resampler_enc_setup(&r, 1, 0, 1152, 1, 1000, 400.0f, 0.1f, 0));    // L > 512 M
  EXPECT_EQ(1, resampler_enc_setup(&r, 2, 0, 1151, 48000, 44100, 20000.0f, 0.1f, 0));  // odd block, two channels
  EXPECT_EQ(1, resampler_enc_setup(&r, 1, 0, 1152, 0, 44100, 20000.0f, 0.1f, 0));
  EXPECT_EQ(1, resampler_enc_setup(&r, 1, 0, 1152, 44100, 44100, 1e-20f, 0.1f, 0));  // more taps than there are
  EXPECT_EQ(nullptr, r);
}

TEST(ResamplerEnc, EqualRatesCopy) {
  converter c(2, 1152, 32000, 32000, 16000.0f, 0.1f, 0);
  ASSERT_NE(nullptr, c.r);
  const auto in = tone(440.0, 32000, 4608);
  EXPECT_EQ(in, c.run(in, 0));
}

// Pass-band tones keep their level and stop-band tones vanish, on every way of filtering.
TEST(ResamplerEnc, PassAndStopBands) {
  struct row {
    int in_rate, out_rate, channels;
    float cutoff;
    int half_band;
    double pass_hz, stop_hz, ripple_db, stop_db;  // up-sampling: stop_hz is where the pass tone's image would be
  } rows[] = {
      {44100, 22050, 1, 11025, 0, 3000, 15000, 0.05, 85},   // FFT overlap-add
      {44100, 22050, 2, 11025, 1, 3000, 17000, 0.3, 50},    // recursive half-band
      {48000, 44100, 2, 20000, 0, 5000, 26000, 0.05, 85},   // direct polyphase
      {44100, 32000, 1, 15000, 0, 4000, 18000, 0.05, 85},   // direct polyphase
      {8000, 44100, 1, 3900, 0, 1000, 7000, 0.05, 85},      // direct polyphase, 441 phases
      {11025, 48000, 1, 5000, 0, 1000, 10025, 0.1, 70},     // 512-phase interpolating
  };
  for (const auto& w : rows) {
    SCOPED_TRACE(testing::Message() << w.in_rate << " -> " << w.out_rate << " hb " << w.half_band);
    const float width = w.half_band ? 0.218f : 0.1f;
    converter c(w.channels, 1152 * w.channels, w.in_rate, w.out_rate, w.cutoff, width, w.half_band);
    ASSERT_NE(nullptr, c.r);
    const bool up = w.out_rate > w.in_rate;
    for (double f : up ? std::vector<double>{w.pass_hz} : std::vector<double>{w.pass_hz, w.stop_hz}) {
      auto mono = tone(f, w.in_rate, w.in_rate / 2);
      std::vector<float> in(mono.size() * size_t(w.channels));
      for (size_t i = 0; i < mono.size(); ++i)
        for (int ch = 0; ch < w.channels; ++ch) in[i * size_t(w.channels) + size_t(ch)] = mono[i];
      converter fresh(w.channels, 1152 * w.channels, w.in_rate, w.out_rate, w.cutoff, width, w.half_band);
      const auto out = fresh.run(in);
      std::vector<float> left;
      for (size_t i = 0; i < out.size(); i += size_t(w.channels)) left.push_back(out[i]);
      ASSERT_GT(left.size(), size_t(w.out_rate / 4));
      if (f == w.pass_hz) {
        const double db = 20.0 * std::log10(level(left, f, w.out_rate) / 10000.0);
        EXPECT_NEAR(0.0, db, w.ripple_db);
        if (up) {
          EXPECT_LT(20.0 * std::log10(level(left, w.stop_hz, w.out_rate) / 10000.0 + 1e-12), -w.stop_db);
        }
      } else {
        // what is left of a stop-band tone lands anywhere: take the whole output power
        double sum = 0;
        const size_t a = left.size() / 4, b = left.size() * 3 / 4;
        for (size_t i = a; i < b; ++i) sum += double(left[i]) * left[i];
        const double rms = std::sqrt(sum / double(b - a));
        EXPECT_LT(20.0 * std::log10(rms / (10000.0 / std::sqrt(2.0)) + 1e-12), -w.stop_db);
      }
    }
  }
}

// The overlap-add path filters exactly as a direct convolution with the designed prototype,
// whatever the sizes of the blocks the caller hands in.
TEST(ResamplerEnc, FftPathEqualsDirectConvolution) {
  converter c(1, 576, 44100, 22050, 11025.0f, 0.1f, 0);
  ASSERT_NE(nullptr, c.r);
  std::vector<double> h(400);
  const int n = resampler_enc_design(11025.0 / 44100, 1102.5 / 44100, 90.0, 0, h.data(), 400);
  ASSERT_EQ(229, n);
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-20000.0f, 20000.0f);
  std::vector<float> x(20000);
  for (auto& v : x) v = u(rng);

  std::vector<float> out, in(size_t(c.r->in_block)), buf(size_t(c.r->out_block));
  size_t pos = 0;
  std::uniform_int_distribution<int> len(1, c.r->in_block);
  while (pos < x.size()) {
    const int take = int(std::min<size_t>(size_t(len(rng)), x.size() - pos));
    std::copy(x.begin() + long(pos), x.begin() + long(pos) + take, in.begin());
    int ic = take, oc = 0;
    resampler_enc_run(c.r, in.data(), buf.data(), &ic, &oc);
    ASSERT_EQ(take, ic);
    out.insert(out.end(), buf.begin(), buf.begin() + oc);
    pos += size_t(ic);
  }
  ASSERT_EQ(x.size() / 2, out.size());
  double worst = 0;
  for (size_t m = 0; m < out.size(); ++m) {
    double ref = 0;
    for (int k = 0; k < n; ++k)
      if (2 * m >= size_t(k)) ref += h[size_t(k)] * x[2 * m - size_t(k)];
    worst = std::max(worst, std::fabs(ref - out[m]));
  }
  EXPECT_LT(worst, 0.05);  // float transforms against a double convolution, on +/-20000
}

// A filter stage that keeps the rate delays by exactly its stated latency: its impulse
// response is symmetric about that sample.
TEST(ResamplerEnc, SameRateFilterDelaysByWholeSamples) {
  for (float cutoff : {15000.0f, 16537.0f, 9000.0f}) {
    converter c(1, 1152, 44100, 44100, cutoff, 0.1f, 0);
    ASSERT_NE(nullptr, c.r);
    EXPECT_EQ(1, c.r->taps_per_phase % 2) << cutoff;
    std::vector<float> impulse(4000, 0.0f);
    impulse[0] = 1.0f;
    const auto out = c.run(impulse);
    const int centre = c.r->latency;
    for (int k = 1; k < centre; ++k) EXPECT_NEAR(out[size_t(centre - k)], out[size_t(centre + k)], 1e-6) << cutoff << " " << k;
  }
}

// A flush feeds zeros and returns the filter's tail: an impulse's response comes out whole.
TEST(ResamplerEnc, FlushReturnsTheTail) {
  for (int out_rate : {22050, 44100}) {
    converter c(1, 576, 48000, out_rate, 0.45f * float(out_rate), 0.1f, 0);
    ASSERT_NE(nullptr, c.r);
    std::vector<float> impulse(size_t(c.r->in_block) - 10, 0.0f);
    impulse.back() = 30000.0f;
    const auto out = c.run(impulse, 3);
    double sum = 0;
    for (float v : out) sum += v;
    // unit gain at 0 Hz: the response sums to the impulse scaled by the rate ratio
    EXPECT_NEAR(30000.0 * out_rate / 48000.0, sum, 30.0);
  }
}

}  // namespace
