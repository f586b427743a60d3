// Kernels: conversion, DCT, CRC-8, gapless block, limiter, converter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "mp3dec/cpu.h"
#include "mp3dec/l3dec.h"
#include "mp3dec/limiter.h"
#include "mp3dec/resampler.h"
#include "mp3dec_support.h"

TEST(Mp3decPcm, BothFormsAgreeOn37Samples) {
  std::vector<float> in(37);
  for (int i = 0; i < 37; ++i) in[size_t(i)] = float((i - 18) * 2500) + 0.5f;
  in[0] = 1e10f;
  in[1] = -1e10f;
  in[2] = 32767.5f;
  in[3] = -32768.5f;
  in[4] = 2.5f;
  in[5] = NAN;
  std::vector<int16_t> a(40, 0x5555), b(40, 0x5555);
  mp3dec_float_to_pcm16_plain(37, in.data(), a.data());
  mp3dec_float_to_pcm16_sse(37, in.data(), b.data());
  for (int i = 0; i < 37; ++i) EXPECT_EQ(a[size_t(i)], b[size_t(i)]) << i;
  EXPECT_EQ(a[37], 0x5555);
  EXPECT_EQ(b[37], 0x5555);
  EXPECT_EQ(a[0], 32767);
  EXPECT_EQ(a[1], -32768);
  EXPECT_EQ(a[2], 32767);
  EXPECT_EQ(a[3], -32768);
  EXPECT_EQ(a[4], 2);  // ties to even
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

TEST(Mp3decGapless, BlockFoundAndRejected) {
  uint32_t d = 0, l = 0;
  int vbri = 0;
  std::vector<uint8_t> anc = {1, 2, 3};
  auto blk = gapless_block(576, 44100);
  anc.insert(anc.end(), blk.begin(), blk.end());
  EXPECT_EQ(l3_search_gapless(anc.data(), int(anc.size()), &d, &l, &vbri), 1);
  EXPECT_EQ(d, 576u);
  EXPECT_EQ(l, 44100u);
  // wrong CRC-8
  anc.back() ^= 1;
  EXPECT_EQ(l3_search_gapless(anc.data(), int(anc.size()), &d, &l, &vbri), 0);
  // Mended fault: length 0, and a delay above the length, are not taken.
  auto zero = gapless_block(576, 0);
  EXPECT_EQ(l3_search_gapless(zero.data(), 8, &d, &l, &vbri), 0);
  auto big = gapless_block(1000, 999);
  EXPECT_EQ(l3_search_gapless(big.data(), 8, &d, &l, &vbri), 0);
  auto nolen = gapless_block(576, 0xFFFFFFFFu);
  EXPECT_EQ(l3_search_gapless(nolen.data(), 8, &d, &l, &vbri), 1);
  // truncated block
  EXPECT_EQ(l3_search_gapless(blk.data(), 7, &d, &l, &vbri), 0);
}

TEST(Mp3decGapless, VbriIsCountedAndSteppedOver) {
  std::vector<uint8_t> anc(60, 0);
  std::memcpy(anc.data(), "VBRI", 4);
  anc[18] = 0;
  anc[19] = 2;  // two entries
  anc[23] = 2;  // of two bytes
  auto blk = gapless_block(100, 200);
  anc.insert(anc.begin() + 30, blk.begin(), blk.end());  // inside the VBRI table: skipped
  uint32_t d = 0, l = 0;
  int vbri = 0;
  EXPECT_EQ(l3_search_gapless(anc.data(), int(anc.size()), &d, &l, &vbri), 1);
  EXPECT_EQ(vbri, 1);
}

TEST(Mp3decAncillary, TextIsBoundedByCapacity) {
  std::vector<uint8_t> anc = {0x00, 0xAF, 200};
  for (int i = 0; i < 215; ++i) anc.push_back(uint8_t('a' + i % 26));
  anc.push_back(0xA3);
  anc.push_back('x');
  anc.push_back('y');
  anc.push_back('z');
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

TEST(Mp3decConverter, TwoToOneCounts) {
  RateConverter* r = nullptr;
  ASSERT_TRUE(resampler_dec_create(&r, 2, 1, 2 * 1152, 22050, 44100, 22050, 0.1, 0));
  EXPECT_EQ(r->L, 2);
  EXPECT_EQ(r->M, 1);
  std::vector<float> in(2 * 1152, 0.0f), out(2 * 2304 + 16);
  for (int k = 0; k < 3; ++k) {
    int n = 2 * 1152, produced = 0;
    EXPECT_EQ(resampler_dec_predict(r, n), 2 * 2304);
    resampler_dec_run(r, in.data(), out.data(), &n, &produced);
    EXPECT_EQ(n, 2 * 1152);
    EXPECT_EQ(produced, 2 * 2304);
  }
  resampler_dec_destroy(r);
}

TEST(Mp3decConverter, RatioAndToneLevel) {
  RateConverter* r = nullptr;
  ASSERT_TRUE(resampler_dec_create(&r, 1, 1, 1152, 32000, 44100, 22050, 0.1, 0));
  EXPECT_EQ(r->L, 441);
  EXPECT_EQ(r->M, 320);
  long long total_in = 0, total_out = 0;
  std::vector<float> in(1152), out(1700), all;
  int t = 0;
  for (int k = 0; k < 100; ++k) {
    for (int i = 0; i < 1152; ++i, ++t) in[size_t(i)] = float(10000.0 * std::sin(2 * M_PI * 1000.0 * t / 32000.0));
    int n = 1152, produced = 0;
    const int predicted = resampler_dec_predict(r, n);
    resampler_dec_run(r, in.data(), out.data(), &n, &produced);
    EXPECT_EQ(predicted, produced);
    total_in += n;
    total_out += produced;
    all.insert(all.end(), out.begin(), out.begin() + produced);
  }
  EXPECT_NEAR(double(total_out) / double(total_in), 1.378125, 0.001);
  double peak = 0;
  for (size_t i = all.size() / 2; i < all.size(); ++i) peak = std::max(peak, double(std::fabs(all[i])));
  EXPECT_NEAR(peak, 10000.0, 30.0);
  resampler_dec_destroy(r);
}

TEST(Mp3decConverter, ToneAboveHalfInputRateIsAttenuated) {
  // 48000 -> 44100: a 23000 Hz tone lies above the cutoff (0.5 x 44100 = 22050).
  RateConverter* r = nullptr;
  ASSERT_TRUE(resampler_dec_create(&r, 1, 1, 1152, 48000, 44100, 22050, 0.1, 0));
  std::vector<float> in(1152), out(1200), all;
  int t = 0;
  for (int k = 0; k < 40; ++k) {
    for (int i = 0; i < 1152; ++i, ++t) in[size_t(i)] = float(10000.0 * std::sin(2 * M_PI * 23500.0 * t / 48000.0));
    int n = 1152, produced = 0;
    resampler_dec_run(r, in.data(), out.data(), &n, &produced);
    all.insert(all.end(), out.begin(), out.begin() + produced);
  }
  double peak = 0;
  for (size_t i = all.size() / 2; i < all.size(); ++i) peak = std::max(peak, double(std::fabs(all[i])));
  EXPECT_LT(peak, 10000.0 * std::pow(10.0, -60.0 / 20.0));
  resampler_dec_destroy(r);
}
