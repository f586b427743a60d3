// The encoder's input rate converter: the way chosen per ratio, pass- and stop-band
// figures measured on tones, the FFT path against a direct convolution, and the flush.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <random>
#include <vector>

#include "mp3enc/kernels.h"
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
  // a filter of some 200000 taps per output sample: within what an int holds, not what a block can afford
  EXPECT_EQ(1, resampler_enc_setup(&r, 1, 0, 576, 12000, 12000, 3.456f, 0.1f, 0));
  // a transition so wide that the prototype is shorter than three taps per phase
  EXPECT_EQ(1, resampler_enc_setup(&r, 1, 0, 1152, 8000, 11025, 3900.0f, 4.0f, 0));
  // the interpolating way with an input block shorter than its taps per phase
  EXPECT_EQ(1, resampler_enc_setup(&r, 1, 0, 8, 11025, 48000, 5000.0f, 0.1f, 0));
  EXPECT_EQ(0, resampler_enc_setup(&r, 1, 0, 1152, 11025, 48000, 5000.0f, 0.1f, 0));
  resampler_enc_free(r);
  r = nullptr;
  EXPECT_EQ(0, resampler_enc_setup(&r, 1, 0, 1152, 8000, 11025, 3900.0f, 0.5f, 0));
  resampler_enc_free(r);
  r = nullptr;
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

// Response in dB at f (Hz, input side) of the filter the converter runs: the prototype put back
// together from its phase filters (so the figures are those of the coefficients in use), or the
// fixed half-band pair of recursive and symmetric stages.
double response_db(const resampler_enc* r, double f, int in_rate) {
  std::complex<double> num = 0, den = 1;
  if (r->kind == 0) {
    static const double fb[8] = {1.1310506, -1.7547014, 0.9621793, -0.6828080,
                                 0.16827838, -0.066939190, 0.0038563511, -0.00098495639};
    static const double fir[9] = {0.021835933, 0.072357543, 0.15606825, 0.23523770, 0.26907015,
                                  0.23523770, 0.15606825, 0.072357543, 0.021835933};
    const std::complex<double> z1 = std::polar(1.0, -2 * M_PI * f / in_rate);
    std::complex<double> zk = 1;
    for (double c : fir) {
      num += c * zk;
      zk *= z1;
    }
    zk = z1;
    for (double c : fb) {
      den -= c * zk;
      zk *= z1;
    }
  } else {
    const int P = r->bank->phases;
    const std::complex<double> step = std::polar(1.0, -2 * M_PI * f / (double(in_rate) * P));
    for (int p = 0; p < P; ++p) {
      const resampler_enc_phase& ph = r->bank->phase[p];
      const std::complex<double> stride = std::pow(step, P);
      std::complex<double> z = std::pow(step, p);
      for (int i = 0; i < ph.count; ++i) {
        num += double(ph.coef[i]) * z;
        z *= stride;
      }
    }
    num /= double(P);
  }
  return 20.0 * std::log10(std::abs(num / den) + 1e-300);
}

// Measured levels of tones against the response of the filter in use: pass-band tones keep
// the designed level to a thousandth of a dB, stop-band tones (and the images of up-sampling)
// fall as far as the design says. The Kaiser design is checked for what it promises: 90 dB
// in the stop band (the length formula is an estimate; 89 dB is accepted) and a ripple of the
// same 3e-5, 0.0003 dB.
TEST(ResamplerEnc, TonesFollowTheDesignedResponse) {
  struct row {
    int in_rate, out_rate, channels;
    float cutoff, width;
    int half_band;
    std::vector<double> pass, stop;  // Hz at the input; for up-sampling, stop lists image frequencies
  } rows[] = {
      {44100, 22050, 1, 11025, 0.1f, 0, {500, 4000, 9800}, {11300, 15000, 21500}},    // FFT overlap-add
      {44100, 44100, 1, 7634, 0.1f, 0, {500, 3000, 6800}, {7800, 12000, 21000}},      // same-rate filter stage
      {48000, 44100, 2, 20000, 0.1f, 0, {500, 9000, 17900}, {20300, 22000, 23500}},   // direct, 147 phases
      {44100, 32000, 1, 15000, 0.1f, 0, {500, 6000, 13400}, {15300, 18000, 21800}},   // direct, 320 phases
      {44100, 22050, 2, 11025, 0.218f, 1, {500, 3000, 6000}, {14000, 17000, 21000}},  // recursive half-band
  };
  for (const auto& w : rows) {
    SCOPED_TRACE(testing::Message() << w.in_rate << " -> " << w.out_rate << " hb " << w.half_band);
    converter probe(w.channels, 1152 * w.channels, w.in_rate, w.out_rate, w.cutoff, w.width, w.half_band);
    ASSERT_NE(nullptr, probe.r);
    if (probe.r->kind == 1) {
      // the design over its bands: pass band up to cutoff - width, stop band from the cut-off
      const double edge = w.cutoff * (1.0 - w.width), top = 0.5 * w.in_rate * probe.r->bank->phases;
      double ripple = 0, stop = -1e9;
      for (int i = 0; i <= 200; ++i) ripple = std::max(ripple, std::fabs(response_db(probe.r, edge * i / 200, w.in_rate)));
      const double taps = double(probe.r->taps_per_phase) * probe.r->bank->phases;
      // densely over the first sidelobes, where a Kaiser window's are highest, then coarsely
      for (int i = 0; i <= 300; ++i)
        stop = std::max(stop, response_db(probe.r, w.cutoff + i * 0.05 * top / taps, w.in_rate));
      for (int i = 0; i <= 200; ++i) stop = std::max(stop, response_db(probe.r, w.cutoff + (top - w.cutoff) * i / 200, w.in_rate));
      std::printf("%d -> %d Hz, %d phases of %d taps: designed ripple %.5f dB, stop band %.1f dB\n", w.in_rate,
                  w.out_rate, probe.r->bank->phases, probe.r->taps_per_phase, ripple, stop);
      EXPECT_LT(ripple, 0.001);
      EXPECT_LT(stop, -89.0);
    }
    for (double f : w.pass) {
      converter c(w.channels, 1152 * w.channels, w.in_rate, w.out_rate, w.cutoff, w.width, w.half_band);
      auto mono = tone(f, w.in_rate, w.in_rate / 2);
      std::vector<float> in(mono.size() * size_t(w.channels));
      for (size_t i = 0; i < in.size(); ++i) in[i] = mono[i / size_t(w.channels)];
      const auto out = c.run(in);
      std::vector<float> left;
      for (size_t i = 0; i < out.size(); i += size_t(w.channels)) left.push_back(out[i]);
      const double db = 20.0 * std::log10(level(left, f, w.out_rate) / 10000.0);
      EXPECT_NEAR(response_db(c.r, f, w.in_rate), db, 0.001) << f << " Hz";
    }
    for (double f : w.stop) {
      converter c(w.channels, 1152 * w.channels, w.in_rate, w.out_rate, w.cutoff, w.width, w.half_band);
      auto mono = tone(f, w.in_rate, w.in_rate / 2);
      std::vector<float> in(mono.size() * size_t(w.channels));
      for (size_t i = 0; i < in.size(); ++i) in[i] = mono[i / size_t(w.channels)];
      const auto out = c.run(in);
      double sum = 0;
      const size_t n = out.size() / size_t(w.channels), a = n / 4, b = n * 3 / 4;
      for (size_t i = a; i < b; ++i) sum += double(out[i * size_t(w.channels)]) * out[i * size_t(w.channels)];
      const double db = 20.0 * std::log10(std::sqrt(sum / double(b - a)) / (10000.0 / std::sqrt(2.0)) + 1e-12);
      // whatever is left lands anywhere in the output: its whole power, within a decibel of
      // the design (or under the arithmetic's own floor)
      EXPECT_LT(db, std::max(response_db(c.r, f, w.in_rate), -110.0) + 1.0) << f << " Hz";
    }
  }
}

#if defined(__x86_64__) || defined(__i386__)
// The SSE dot product reads the ring the same way round as the plain one, across its end too,
// and is the one chosen where the processor has SSE.
TEST(ResamplerEnc, SseDotMatchesThePlainOne) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (int taps : {3, 4, 5, 7, 8, 13, 125, 138, 168, 230}) {
    for (int extra : {0, 1}) {
      const int ring_len = taps + extra;
      std::vector<float> coef(static_cast<size_t>(taps)), ring(static_cast<size_t>(ring_len));
      for (auto& c : coef) c = u(rng);
      for (auto& x : ring) x = 30000.0f * u(rng);
      for (int pos = 0; pos < ring_len; ++pos) {
        const float plain = resampler_enc_phase_dot(coef.data(), taps, ring.data(), ring_len, pos);
        const float sse = resampler_enc_phase_dot_sse(coef.data(), taps, ring.data(), ring_len, pos);
        ASSERT_NEAR(plain, sse, 1e-5f * 30000.0f * std::sqrt(float(taps))) << taps << " " << pos;
      }
    }
  }
  converter c(1, 1152, 48000, 44100, 20000.0f, 0.1f, 0);
  EXPECT_EQ(cpu_has_sse() ? resampler_enc_phase_dot_sse : resampler_enc_phase_dot, resampler_enc_dot_kernel);
  // Converters of other encoders may be running on other threads: the choice is written by
  // the first filter made and never again.
  const resampler_enc_dot_fn chosen = resampler_enc_dot_kernel;
  resampler_enc_dot_kernel = nullptr;
  converter again(1, 1152, 48000, 44100, 20000.0f, 0.1f, 0);
  EXPECT_EQ(resampler_enc_dot_kernel, nullptr);
  resampler_enc_dot_kernel = chosen;
}
#endif

}  // namespace
