// Kernels: conversion, DCT, CRC-8, gapless block, limiter, converter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "mp3dec/cpu.h"
#include "mp3dec/l3dec.h"
#include "mp3dec/limiter.h"
#include "mp3dec/resampler.h"
#include "mp3dec_support.h"

TEST(Mp3decPcm, BothFormsRoundToEvenSaturateAndAgree) {
  // 37 samples: a vector body and a tail, with the limits, a tie and NaN among them.
  std::vector<float> in = {1e10f, -1e10f, 32767.5f, -32768.5f, 2.5f, NAN};
  for (int i = 6; i < 37; ++i) in.push_back(float((i - 18) * 2500) + 0.5f);
  std::vector<int16_t> a(40, 0x5555), b(40, 0x5555);
  mp3dec_float_to_pcm16_plain(37, in.data(), a.data());
  mp3dec_float_to_pcm16_sse(37, in.data(), b.data());
  EXPECT_EQ(a, b);
  EXPECT_EQ(a[37], 0x5555);
  EXPECT_EQ(std::vector<int16_t>(a.begin(), a.begin() + 5), (std::vector<int16_t>{32767, -32768, 32767, -32768, 2}));
}

TEST(Mp3decKernels, Dct32MatchesDefinition) {
  float in[32], out[32];
  for (int i = 0; i < 32; ++i) in[i] = float(std::sin(i * 1.7) * 1000.0);
  l3_dct32(in, out);
  for (int k = 0; k < 32; ++k) {
    double ref = 0;
    for (int n = 0; n < 32; ++n) ref += in[n] * std::cos(M_PI * (2 * n + 1) * k / 64.0);
    EXPECT_NEAR(out[k], ref, 0.02) << k;
  }
}

TEST(Mp3decGapless, BlockFoundRejectedAndSteppedOverInVbri) {
  uint32_t d = 0, l = 0;
  int vbri = 0;
  auto search = [&](const std::vector<uint8_t>& anc, size_t size) {
    return l3_search_gapless(anc.data(), int(std::min(size, anc.size())), &d, &l, &vbri);
  };
  std::vector<uint8_t> anc = {1, 2, 3};
  const auto blk = gapless_block(576, 44100);
  anc.insert(anc.end(), blk.begin(), blk.end());
  EXPECT_EQ(search(anc, 99), 1);
  EXPECT_EQ(d, 576u);
  EXPECT_EQ(l, 44100u);
  EXPECT_EQ(search(blk, 7), 0);  // truncated
  anc.back() ^= 1;
  EXPECT_EQ(search(anc, 99), 0);  // wrong CRC-8
  // Mended fault: length 0 is not taken; "no length" is, and so is a length below the
  // delay (it counts the samples after the delay).
  EXPECT_EQ(search(gapless_block(576, 0), 8), 0);
  EXPECT_EQ(search(gapless_block(1000, 999), 8), 1);
  EXPECT_EQ(search(gapless_block(576, 0xFFFFFFFFu), 8), 1);
  // A block inside a VBRI table (two entries of two bytes) is skipped; the VBRI is counted.
  std::vector<uint8_t> table(60, 0);
  std::memcpy(table.data(), "VBRI", 4);
  table[19] = 2;
  table[23] = 2;
  const auto inner = gapless_block(100, 200);
  table.insert(table.begin() + 30, inner.begin(), inner.end());
  EXPECT_EQ(search(table, 99), 1);
  EXPECT_EQ(vbri, 1);
}

TEST(Mp3decAncillary, TextIsBoundedByCapacity) {
  std::vector<uint8_t> anc = {0x00, 0xAF, 200};
  for (int i = 0; i < 215; ++i) anc.push_back(uint8_t('a' + i % 26));
  anc.insert(anc.end(), {0xA3, 'x', 'y', 'z'});
  std::vector<uint8_t> out(64, 0xEE);
  const int n = l3_read_ancillary_text(anc.data(), int(anc.size()), out.data(), 16);
  EXPECT_LE(n, 16);
  for (size_t i = 16; i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE) << i;
  std::vector<uint8_t> big(1024, 0);
  EXPECT_EQ(l3_read_ancillary_text(anc.data(), int(anc.size()), big.data(), 1024), 215 + 3);
  EXPECT_EQ(big[215], 0);
  EXPECT_EQ(big[216], 'x');
  // a block longer than what remains is skipped
  std::vector<uint8_t> cut = {0xA9, 'a', 'b'};
  EXPECT_EQ(l3_read_ancillary_text(cut.data(), 3, big.data(), 1024), 0);
}

TEST(Mp3decLimiter, PeakRampsHoldsAndReleases) {
  PeakLimiter* l = mp3dec_limiter_create(64, 1, 1);
  ASSERT_NE(l, nullptr);
  std::vector<float> in(64, 1000.0f), out(64, 0.0f);
  mp3dec_limiter_process(l, in.data(), out.data());
  for (float v : out) EXPECT_EQ(v, 0.0f);  // one block late
  std::vector<float> peak(64, 1000.0f);
  peak[10] = 65534.0f;
  mp3dec_limiter_process(l, peak.data(), out.data());  // outputs the 1000s, ramped 1 -> 0.5
  EXPECT_FLOAT_EQ(out[0], 1000.0f);
  EXPECT_NEAR(out[63], 1000.0f * (1.0f - 63 * 0.5f / 64), 0.01f);
  for (int i = 1; i < 64; ++i) EXPECT_LT(out[size_t(i)], out[size_t(i - 1)]);
  mp3dec_limiter_process(l, in.data(), out.data());  // held at 0.5
  EXPECT_NEAR(out[10], 32767.0f, 0.01f);
  EXPECT_NEAR(out[0], 500.0f, 0.01f);
  mp3dec_limiter_process(l, in.data(), out.data());  // releasing
  EXPECT_GT(out[63], 500.0f);
  EXPECT_LT(out[63], 1000.0f);
  std::vector<float> flush(64);
  mp3dec_limiter_process(l, nullptr, flush.data());
  EXPECT_GT(flush[0], 500.0f);
  EXPECT_LE(flush[0], 1000.0f);
  mp3dec_limiter_destroy(&l);
  EXPECT_EQ(l, nullptr);
}

TEST(Mp3decLimiter, QuietInputPassesUnchangedOneBlockLate) {
  PeakLimiter* l = mp3dec_limiter_create(64, 2, 1);
  std::vector<float> a(128), b(128), out(128);
  for (int i = 0; i < 128; ++i) a[size_t(i)] = float(i * 100 - 6000), b[size_t(i)] = float(-i * 200);
  mp3dec_limiter_process(l, a.data(), out.data());
  mp3dec_limiter_process(l, b.data(), out.data());
  EXPECT_EQ(out, a);
  mp3dec_limiter_process(l, nullptr, out.data());
  EXPECT_EQ(out, b);
  mp3dec_limiter_destroy(&l);
}

namespace {
// Runs `blocks` blocks of 1152 frames of a 10000-peak tone through `r`, checking the
// predicted output counts; the peak of the output's second half.
double tone_peak(RateConverter* r, int channels, int in_rate, double freq, int blocks, double* ratio = nullptr) {
  std::vector<float> in(size_t(channels) * 1152), out(size_t(channels) * 2400), all;
  long long total_in = 0, total_out = 0;
  for (int k = 0, t = 0; k < blocks; ++k) {
    for (int i = 0; i < 1152; ++i, ++t)
      for (int ch = 0; ch < channels; ++ch)
        in[size_t(i * channels + ch)] = float(10000.0 * std::sin(2 * M_PI * freq * t / in_rate));
    int n = int(in.size()), produced = 0;
    const int predicted = resampler_dec_predict(r, n);
    resampler_dec_run(r, in.data(), out.data(), &n, &produced);
    EXPECT_EQ(predicted, produced);
    total_in += n;
    total_out += produced;
    all.insert(all.end(), out.begin(), out.begin() + produced);
  }
  if (ratio) *ratio = double(total_out) / double(total_in);
  double peak = 0;
  for (size_t i = all.size() / 2; i < all.size(); ++i) peak = std::max(peak, double(std::fabs(all[i])));
  return peak;
}
}  // namespace

TEST(Mp3decConverter, RatiosCountsAndToneLevel) {
  struct conv {
    int channels, in_rate, L, M;
  };
  for (const conv& c : {conv{2, 22050, 2, 1}, conv{1, 32000, 441, 320}}) {
    RateConverter* r = nullptr;
    ASSERT_TRUE(resampler_dec_create(&r, c.channels, 1, c.channels * 1152, c.in_rate, 44100, 22050, 0.1, 0));
    EXPECT_EQ(r->L, c.L);
    EXPECT_EQ(r->M, c.M);
    double ratio = 0;
    EXPECT_NEAR(tone_peak(r, c.channels, c.in_rate, 1000.0, 100, &ratio), 10000.0, 30.0) << c.in_rate;
    EXPECT_NEAR(ratio, 44100.0 / c.in_rate, 0.001) << c.in_rate;
    resampler_dec_destroy(r);
  }
}

TEST(Mp3decConverter, ToneAboveHalfInputRateIsAttenuated) {
  // 48000 -> 44100: a 23500 Hz tone lies above the cutoff (0.5 x 44100 = 22050).
  RateConverter* r = nullptr;
  ASSERT_TRUE(resampler_dec_create(&r, 1, 1, 1152, 48000, 44100, 22050, 0.1, 0));
  EXPECT_LT(tone_peak(r, 1, 48000, 23500.0, 40), 10000.0 * std::pow(10.0, -60.0 / 20.0));
  resampler_dec_destroy(r);
}
