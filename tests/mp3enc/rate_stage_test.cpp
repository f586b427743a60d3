// The input rate stage inside the whole encoder: the delay it reports is where the decoded
// signal lies, found by cross-correlation through our own decoder, on every way the stage
// converts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "core_support.h"
#include "mp3enc/handle.h"
#include "mp3enc/mp3enc.h"

namespace {

// The same sum of tones sampled at any rate, so that the input and the reference at the
// output rate are one signal.
struct tones {
  std::vector<double> freq, phase;
  explicit tones(double top) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> f(150.0, top), p(0.0, 2 * M_PI);
    for (int i = 0; i < 40; ++i) {
      freq.push_back(f(rng));
      phase.push_back(p(rng));
    }
  }
  std::vector<float> at(int rate, double seconds) const {
    std::vector<float> v(size_t(rate * seconds));
    for (size_t n = 0; n < v.size(); ++n) {
      double s = 0;
      for (size_t i = 0; i < freq.size(); ++i) s += std::sin(2 * M_PI * freq[i] * double(n) / rate + phase[i]);
      v[n] = float(400.0 * s);
    }
    return v;
  }
};

// Peak of the cross-correlation, refined between samples by a parabola through its neighbours.
double fine_lag(const std::vector<float>& ref, const std::vector<float>& out, int max_lag) {
  const int lag = best_lag(ref, out, 1, max_lag);
  auto corr = [&](int l) {
    double acc = 0;
    for (size_t i = 0; i < ref.size() && i + size_t(l) < out.size(); ++i) acc += double(ref[i]) * out[i + size_t(l)];
    return acc;
  };
  if (lag < 1) return lag;
  const double a = corr(lag - 1), b = corr(lag), c = corr(lag + 1);
  return lag + 0.5 * (a - c) / (a - 2 * b + c);
}

TEST(RateStage, ReportedDelayIsWhereTheDecodedSignalLies) {
  struct row {
    int input_rate, rate, bit_rate, effort, channels;
    int delay;         // parameter word 10 as stated for this road
    double tolerance;  // samples between the stated (whole) delay and the true one
  } rows[] = {
      {44100, 22050, 32000, 0, 1, 1258, 0.05},  // the editor's 32 kbit/s road: FFT decimation
      {44100, 22050, 32000, 1, 1, 1258, 0.05},
      {44100, 22050, 32000, 2, 1, 1284, 0.05},  // the filter stage is the converter itself
      {44100, 44100, 64000, 2, 1, 1295, 0.05},  // same-rate filter stage (quality 2)
      {22050, 22050, 32000, 2, 1, 1284, 0.05},
      // direct polyphase: the stated latency (half the taps per phase) and the truncation of
      // latency times the rate ratio leave the stated delay up to a sample short
      {48000, 44100, 64000, 1, 1, 1257, 1.5},  // 147 phases, true delay 1258.1
      {32000, 22050, 32000, 1, 1, 1258, 0.5},  // 441 phases, true delay 1258.1
      {44100, 22050, 48000, 1, 2, 1258, 0.05},  // two channels through the stage
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.input_rate << " -> " << r.rate << " q" << r.effort << " ch " << r.channels);
    const tones t(0.3 * r.rate);
    const auto mono = t.at(r.input_rate, 2.0);
    std::vector<float> pcm(mono.size() * size_t(r.channels));
    for (size_t i = 0; i < mono.size(); ++i)
      for (int c = 0; c < r.channels; ++c) pcm[i * size_t(r.channels) + size_t(c)] = mono[i];
    core_options o;
    o.input_rate = r.input_rate;
    o.rate = r.rate;
    o.bit_rate = r.bit_rate;
    o.effort = r.effort;
    o.channels = r.channels;
    int delay = 0;
    const auto s = core_encode(pcm, o, &delay);
    EXPECT_EQ(r.delay, delay);
    const decoded d = decode_ours(s, false);
    ASSERT_EQ(0, d.failed_frames);
    std::vector<float> out;
    for (size_t i = 0; i < d.samples.size(); i += size_t(d.channels)) out.push_back(d.samples[i]);
    const double lag = fine_lag(t.at(r.rate, 2.0), out, 3000);
    std::printf("%d -> %d Hz q%d, %d ch: stated delay %d, by cross-correlation %.2f\n", r.input_rate, r.rate, r.effort,
                r.channels, delay, lag);
    EXPECT_NEAR(double(delay), lag, r.tolerance);
  }
}

// What get_input_size asks for first, and the flush margin behind it, on the 32 kbit/s road.
TEST(RateStage, EditorRoadBlockSizes) {
  mp3enc_handle* h = mp3enc_open(44100, 1, 0);
  ASSERT_NE(nullptr, h);
  mp3enc_config cfg{22050, 1, 2, 32000, 0};
  ASSERT_EQ(1, mp3enc_set_config(h, &cfg));
  int32_t want = 0;
  mp3enc_get_input_size(h, &want);
  EXPECT_EQ(1152 * 2, want);  // 1152 input samples make the 576 of one granule
  EXPECT_EQ(1258, mp3enc_get_params(h)->delay);
  EXPECT_FLOAT_EQ(7634.0f, mp3enc_get_params(h)->bandwidth);
  mp3enc_close(h);
}

// The converter's ways, each as some configuration of the encoder takes it. The fifth, the
// 512-phase interpolating way, needs L >= 512 in reduced terms; the encoder never raises the
// rate, and no pair of its nine rates reduces that far (the largest L is 441), so only the
// converter's own tests reach it.
TEST(RateStage, EveryWayIsTakenByAConfiguration) {
  struct row {
    int input_rate, channels;
    mp3enc_config cfg;
    int quality;
    int stage;  // 0 the mp3PRO stage, 1 input rate to output rate
    int mode, kind, phases;
    bool fft;
  } rows[] = {
      // quality 2's filter stage whose cut-off is the whole band: a copy
      {16000, 1, {16000, 1, 2, 64000, 0}, 2, 1, 0, 0, 0, false},
      // the editor's 32 kbit/s road: decimation by 2 through the FFT
      {44100, 1, {22050, 1, 2, 32000, 0}, 1, 1, 1, 1, 1, true},
      // quality 2 at the same rate: the band-limiting filter, also through the FFT
      {44100, 1, {44100, 1, 2, 64000, 0}, 2, 1, 1, 1, 1, true},
      // mp3PRO at quality 0 with a low core band: the recursive half-band decimator
      {44100, 1, {44100, 1, 1, 32000, 0}, 0, 0, 1, 0, 1, false},
      // 48000 Hz input coded at 44100 Hz: direct polyphase with 147 phases
      {48000, 2, {44100, 2, 2, 128000, 0}, 1, 1, 1, 1, 147, false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.input_rate << " -> " << r.cfg.output_rate << " sbr " << r.cfg.sbr_mode
                                    << " q" << r.quality);
    mp3enc_handle* h = mp3enc_open(r.input_rate, r.channels, 0);
    ASSERT_NE(nullptr, h);
    mp3enc_config cfg = r.cfg;
    ASSERT_EQ(1, mp3enc_set_config(h, &cfg));
    mp3enc_params p = *mp3enc_get_params(h);
    p.quality = r.quality;
    ASSERT_EQ(1, mp3enc_set_params(h, &p));
    const mp3enc_rate_stage& st = h->engine->stages[r.stage];
    ASSERT_EQ(1, st.active);
    ASSERT_NE(nullptr, st.converter);
    EXPECT_EQ(r.mode, st.converter->mode);
    if (r.mode != 0) {
      EXPECT_EQ(r.kind, st.converter->kind);
      EXPECT_EQ(r.phases, st.converter->bank->phases);
      EXPECT_EQ(r.fft, st.converter->bank->kernel_spectrum != nullptr && st.converter->kind == 1);
    }
    mp3enc_close(h);
  }
  const int rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
  for (int in : rates)
    for (int out : rates)
      if (out <= in) {
        int a = in, b = out;
        while (b) {
          const int t = a % b;
          a = b;
          b = t;
        }
        int mode = 0;
        EXPECT_EQ(1, resampler_enc_ratio_ok(out / a, in / a, &mode));
        EXPECT_EQ(1, mode) << in << " -> " << out;
      }
}

}  // namespace
