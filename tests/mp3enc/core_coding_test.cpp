// Thresholds, stereo decisions, bit counting and the loops on hand-made inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "mp3enc/analysis.h"
#include "mp3enc/bitbuf.h"
#include "mp3enc/framewriter.h"
#include "mp3enc/huffman.h"
#include "mp3enc/l3enc_tables.h"
#include "mp3enc/quant.h"

namespace {

// Long bands at 44100 Hz.
const int32_t long44[23] = {0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 52, 62, 74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576};

TEST(CoreThresholds, SpreadRisesBothWaysAndLimitHoldsTheRise) {
  const float up[4] = {0, 0.5f, 0.5f, 0.5f}, down[4] = {0.1f, 0.1f, 0.1f, 0};
  float t[4] = {0, 100, 0, 0};
  mp3enc_psy_spread(4, down, up, t);
  EXPECT_FLOAT_EQ(t[0], 10.0f);
  EXPECT_FLOAT_EQ(t[2], 50.0f);
  EXPECT_FLOAT_EQ(t[3], 25.0f);
  float prev[2] = {1.0f, 1e20f}, u[2] = {10.0f, 10.0f};
  mp3enc_psy_limit(prev, 2, 3.0f, 0.001f, u);
  EXPECT_FLOAT_EQ(u[0], 3.0f);   // at most three times the previous
  EXPECT_FLOAT_EQ(u[1], 10.0f);
  EXPECT_FLOAT_EQ(prev[0], 10.0f);  // the unlimited value is remembered
}

TEST(CoreThresholds, StereoToolsFollowTheBitRate) {
  struct row {
    int bit_rate, ms, is;
  } rows[] = {{64000, 1, 1}, {96000, 1, 1}, {112000, 1, 0}, {128000, 1, 0}, {160000, 0, 0}, {320000, 0, 0}};
  for (const row& r : rows) {
    mp3enc_band_params t{};
    ASSERT_EQ(mp3enc_band_params_init(r.bit_rate, 44100, 16000.0f, 0, &t), 0);
    EXPECT_EQ(t.ms_allowed, r.ms) << r.bit_rate;
    EXPECT_EQ(t.is_allowed, r.is) << r.bit_rate;
  }
  mp3enc_band_params t{};
  EXPECT_EQ(mp3enc_band_params_init(64000, 22000, 8000.0f, 0, &t), 1);
  EXPECT_EQ(mp3enc_band_params_init(64000, 44100, 8000.0f, 5, &t), 1);
}

TEST(CoreAllocation, LimitsFollowTheRateLevel) {
  mp3enc_bitalloc_state* st = nullptr;
  ASSERT_EQ(mp3enc_bitalloc_create(&st), 0);
  mp3enc_bitalloc_init(st, 5760.0f, 32000);
  EXPECT_NEAR(st->limit_long[0], 0.1f, 1e-6);   // the floor 10^(-1) lifts the lowest limits
  EXPECT_NEAR(st->limit_long[8], 0.2f, 1e-6);
  EXPECT_NEAR(st->limit_long[21], 0.63f, 1e-6);
  EXPECT_FLOAT_EQ(st->m, 1.0f);
  mp3enc_bitalloc_init(st, 5760.0f, 48000);
  EXPECT_NEAR(st->limit_long[21], 0.5f, 1e-6);  // the ceiling from 48000 bit/s
  EXPECT_GT(st->limit_short[3 * 12 + 2], 0.62f);  // short limits have no ceiling
  mp3enc_bitalloc_free(st);
}

TEST(CoreAllocation, CorrectionFactorFollowsTheBudgetAgainstTheBitsSpent) {
  struct row {
    float previous;
    int spent;
    float budget, entropy, want;
  } rows[] = {
      {1.0f, 1000, 1298.0f, 1298.0f, 1.02f},  // budget 1.1 times 1.18 per bit spent: m rises
      {1.1f, 1000, 1298.0f, 1298.0f, 1.10f},
      {0.9f, 1000, 1062.0f, 1062.0f, 0.90f},
      {1.1f, 1000, 1062.0f, 1062.0f, 0.98f},  // the other side of 1: the previous m counts as 1
      {1.15f, 1000, 1357.0f, 1357.0f, 1.15f},
      {1.2f, 1000, 1357.0f, 1357.0f, 1.15f},  // held within 0.85..1.15
      {1.1f, 0, 1298.0f, 1298.0f, 1.0f},      // nothing spent
      {1.1f, 1000, 1298.0f, 1947.0f, 1.0f},   // entropy 1.5 times the budget
      {1.1f, 1000, 1298.0f, 908.0f, 1.0f},    // entropy 0.7 times the budget
      {1.1f, 1000, 1416.0f, 1416.0f, 1.0f},   // budget 1.2 times what was spent
      {1.1f, 1000, 944.0f, 944.0f, 1.0f},     // budget 0.8 times
  };
  mp3enc_bitalloc_state* st = nullptr;
  ASSERT_EQ(mp3enc_bitalloc_create(&st), 0);
  for (const row& r : rows) {
    st->m = r.previous;
    mp3enc_bitalloc_factor_update(st, r.spent, r.budget, r.entropy);
    EXPECT_NEAR(st->m, r.want, 1e-4) << r.previous << " " << r.spent << " " << r.budget << " " << r.entropy;
  }
  mp3enc_bitalloc_free(st);
}

// Raising towards a target entropy: the passes together land on it, and protected bands stay
// within their limits.
TEST(CoreAllocation, RaisingLandsOnTheTarget) {
  mp3enc_granule_analysis* ga = nullptr;
  ASSERT_EQ(mp3enc_granule_analysis_create(&ga), 0);
  mp3enc_bitalloc_state* st = nullptr;
  ASSERT_EQ(mp3enc_bitalloc_create(&st), 0);
  mp3enc_bitalloc_init(st, 5760.0f, 64000);
  std::mt19937 rng(6);
  std::normal_distribution<float> d(0.0f, 1.0f);
  for (float share : {0.9f, 0.7f, 0.5f}) {
    mp3enc_channel_analysis& ch = ga->ch[0];
    ch.block_type = 0;
    ch.windows = 1;
    ch.band_count = ch.active_bands = 22;
    std::copy(long44, long44 + 23, ch.bounds);
    for (int b = 0; b < 22; ++b) {
      const float level = 3000.0f / float(1 + b);  // a spectrum falling with frequency
      ch.energy[b] = 0.0f;
      for (int i = long44[b]; i < long44[b + 1]; ++i) {
        ch.spectrum[i] = level * d(rng);
        ch.energy[b] += ch.spectrum[i] * ch.spectrum[i];
      }
      // bands near, well above and far above their thresholds: the first passes' estimate
      // misses, the last one makes up for it
      ch.thr[b] = ch.energy[b] * (b % 3 == 0 ? 0.2f : b % 3 == 1 ? 1e-3f : 1e-6f);
    }
    float S[2][39], M[2][39];
    mp3enc_band_sqrt_sum(&ch, S[0], M[0]);
    mp3enc_band_pe_record pe[2];
    mp3enc_band_log_nlines(&pe[0], ch.energy, ch.thr, S[0], ch.bounds, 22, 0);
    mp3enc_band_pe(&pe[0], ch.energy, ch.thr, 22);
    const float before = pe[0].S1, target = share * before;
    float E[22], D[22];
    std::copy(ch.energy, ch.energy + 22, E);
    std::copy(ch.thr, ch.thr + 22, D);
    mp3enc_raise_thresholds(ga, pe, st->limit_long, st->limit_short, 1, target, S);
    mp3enc_band_pe(&pe[0], ch.energy, ch.thr, 22);
    std::printf("raising to %.0f %% of %.0f: %.1f\n", 100.0 * share, before, pe[0].S1);
    EXPECT_NEAR(pe[0].S1, target, 0.01f * before) << share;
    for (int b = 0; b < 22; ++b) {
      EXPECT_GE(ch.thr[b], D[b]) << b;
    }
  }
  mp3enc_bitalloc_free(st);
  mp3enc_granule_analysis_free(ga);
}

TEST(CoreStereo, MidSideFollowsTheCostsWithHysteresis) {
  struct row {
    int previous;
    float lr, ms;
    int want;
  } rows[] = {{0, 4.0f, 2.415f, 1}, {0, 0.0f, 0.0f, 0}, {1, 10.0f, 11.3f, 1},
              {0, 10.0f, 9.5f, 0},   {1, 10.0f, 11.5f, 0}};
  for (const row& r : rows) EXPECT_EQ(mp3enc_ms_compare(r.previous, r.lr, r.ms), r.want) << r.lr << " " << r.ms;
}

TEST(CoreStereo, IdenticalChannelsAreCodedMidSide) {
  const int32_t bounds[3] = {0, 4, 8};
  float el[13] = {4, 4}, er[13] = {4, 4}, mid[13] = {8, 8}, side[13] = {0, 0}, tl[13] = {1, 1}, tr[13] = {1, 1};
  float sl[576] = {1, 1, 1, 1, 1, 1, 1, 1}, sr[576] = {1, 1, 1, 1, 1, 1, 1, 1};
  mp3enc_stereo_state st{};
  const int32_t per_window[3] = {2, 2, 2};
  EXPECT_EQ(mp3enc_ms_decision(1, el, er, mid, side, sl, sr, tl, tr, &st, 0, per_window, bounds), 1);
  EXPECT_FLOAT_EQ(sl[0], 1.4142135f);
  EXPECT_FLOAT_EQ(sr[0], 0.0f);
  EXPECT_FLOAT_EQ(el[0], 8.0f);
  EXPECT_FLOAT_EQ(tl[0], 1.5f);
  // Granule 1 codes with granule 0's decision; its own only steers the next frame.
  float el2[13] = {0}, er2[13] = {0}, m2[13] = {0}, s2[13] = {0}, t2l[13] = {1, 1}, t2r[13] = {1, 1};
  st.prev_ms = 0;
  EXPECT_EQ(mp3enc_ms_decision(1, el2, er2, m2, s2, sl, sr, t2l, t2r, &st, 1, per_window, bounds), 0);
}

TEST(CoreStereo, IntensityZeroesTheRightChannelFromTheFirstBand) {
  const int32_t bounds[4] = {0, 4, 8, 12};
  float sl[12], sr[12];
  for (int i = 0; i < 12; ++i) sl[i] = sr[i] = 100.0f;
  float el[3] = {4e4f, 4e4f, 4e4f}, er[3] = {4e4f, 4e4f, 4e4f}, tl[3] = {10, 10, 10}, tr[3] = {10, 10, 10};
  const float wb[3] = {0.7071f, 0.7071f, 0.7071f}, wa[3] = {0.7071f, 0.7071f, 0.7071f}, cr[3] = {4e4f, 4e4f, 4e4f};
  const int32_t first[1] = {1};
  mp3enc_intensity_stereo(1, el, er, sl, sr, tl, tr, wb, wa, cr, first, 3, bounds, 1);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(sr[i], 100.0f);
  for (int i = 4; i < 12; ++i) EXPECT_EQ(sr[i], 0.0f);
  EXPECT_EQ(er[1], 0.0f);
  EXPECT_EQ(er[2], 0.0f);
}

// Bits written by the frame writer's Huffman coders for a granule channel.
int written_bits(const int32_t* q, const mp3enc_huff_rec& h) {
  mp3enc_bitbuf* b = mp3enc_bitbuf_create(16384);
  int i = 0;
  for (int r = 0; r < 3; ++r)
    for (int k = 0; k < h.region_pairs[r]; ++k, i += 2) mp3enc_huff_write_pair(q[i], q[i + 1], h.table_select[r], b);
  for (int k = 0; k < h.count1_quads; ++k, i += 4) mp3enc_huff_write_quad(q[i], q[i + 1], q[i + 2], q[i + 3], h.count1_table, b);
  const int n = mp3enc_bitbuf_count(b);
  mp3enc_bitbuf_destroy(&b);
  return n;
}

TEST(CoreBits, CountsEqualWhatTheWriterWrites) {
  std::mt19937 rng(11);
  mp3enc_huff_state* hs = nullptr;
  ASSERT_EQ(mp3enc_huff_create(&hs), 0);
  for (int trial = 0; trial < 60; ++trial) {
    const int big = trial % 6 == 0 ? 8191 : trial % 3 == 0 ? 40 : 6;
    const int top = 100 + int(rng() % 470);
    std::vector<int32_t> q(576, 0);
    for (int i = 0; i < top; ++i) {
      const int mag = int(rng() % (i < top / 2 ? big + 1 : 2));
      q[size_t(i)] = rng() % 2 ? -mag : mag;
    }
    mp3enc_huff_set_search(hs, trial & 1);
    mp3enc_huff_rec rec{};
    mp3enc_huff_find_regions(hs, q.data(), nullptr, 0, 22, long44, &rec);
    EXPECT_LE(rec.big_values, 288);
    EXPECT_EQ(rec.huffman_bits, written_bits(q.data(), rec)) << "trial " << trial;
    EXPECT_EQ(2 * rec.big_values + 4 * rec.count1_quads + rec.zero_count, 576);
  }
  mp3enc_huff_free(hs);
}

TEST(CoreBits, EverySelectionRowCountsWhatItsTablesWrite) {
  std::mt19937 rng(5);
  for (const mp3enc_huff_select_row& row : mp3enc_huff_select) {
    std::vector<int32_t> q(64), a(64);
    for (size_t i = 0; i < q.size(); ++i) {
      a[i] = int32_t(rng() % uint32_t(row.largest + 1));
      q[i] = rng() % 2 ? -a[i] : a[i];
    }
    int32_t counted[3];
    row.count(a.data(), 32, row.tables, counted);
    for (int k = 0; k < row.n; ++k) {
      mp3enc_bitbuf* b = mp3enc_bitbuf_create(16384);
      for (size_t i = 0; i < q.size(); i += 2) mp3enc_huff_write_pair(q[i], q[i + 1], row.tables[k], b);
      EXPECT_EQ(counted[k], mp3enc_bitbuf_count(b)) << "table " << row.tables[k] << " up to " << row.largest;
      mp3enc_bitbuf_destroy(&b);
    }
  }
  for (int t = 0; t < 32; ++t) EXPECT_EQ(mp3enc_huff_writers[t].linbits, mp3enc_huff_codes[t].linbits) << t;
}

TEST(CoreBits, TablesChosenForEachSplit) {
  // Big values all 1: table 1, five bits a pair; equal costs keep the first split tried.
  struct Case {
    int search, block_type, lines;
    int region_count, region0, region1;
    int pairs[3];
  };
  const Case cases[] = {
      {0, 0, 12, 3, 0, 0, {2, 2, 2}},      {0, 0, 342, 3, 6, 6, {15, 40, 116}},
      {1, 0, 342, 3, 0, 0, {2, 2, 167}},   {1, 0, 4, 3, 0, 0, {2, 0, 0}},
      {0, 1, 100, 2, 7, 0, {18, 32, 0}},
  };
  const std::vector<int32_t> ones(576, 1);
  for (const Case& c : cases) {
    mp3enc_huff_rec rec{};
    rec.big_values = c.lines / 2;
    mp3enc_huff_choose_tables(c.search, ones.data(), c.block_type, long44, &rec);
    EXPECT_EQ(rec.region_count, c.region_count) << c.lines;
    EXPECT_EQ(rec.region0_count, c.region0) << c.lines;
    EXPECT_EQ(rec.region1_count, c.region1) << c.lines;
    for (int r = 0; r < 3; ++r) {
      EXPECT_EQ(rec.region_pairs[r], c.pairs[r]) << c.lines << " region " << r;
      EXPECT_EQ(rec.table_select[r], c.pairs[r] ? 1 : 0) << c.lines << " region " << r;
      EXPECT_EQ(rec.region_bits[r], 5 * c.pairs[r]) << c.lines << " region " << r;
    }
    EXPECT_EQ(rec.big_values_bits, 5 * c.lines / 2);
  }
}

TEST(CoreBits, NoRegionStartsWhereDecodersDisagree) {
  // At 24000 Hz decoders place long band 18 at line 330 or 332.
  const int32_t long24[23] = {0,   6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
                              114, 136, 162, 194, 232, 278, 332, 394, 464, 540, 576};
  mp3enc_huff_state* hs = nullptr;
  ASSERT_EQ(mp3enc_huff_create(&hs), 0);
  mp3enc_huff_set_search(hs, 1);
  std::mt19937 rng(4);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<int32_t> q(576, 0);
    const int top = 400 + int(rng() % 176);
    for (int i = 0; i < top; ++i) q[size_t(i)] = int(rng() % (i > 330 && i < 400 ? 3 : 16));
    mp3enc_huff_rec rec{};
    mp3enc_huff_find_regions(hs, q.data(), nullptr, 0, 22, long24, &rec);
    EXPECT_NE(rec.region0_count + rec.region1_count + 2, 18);
  }
  mp3enc_huff_free(hs);
}

TEST(CoreBits, RegionsOfHandMadeSpectra) {
  mp3enc_huff_state* hs = nullptr;
  ASSERT_EQ(mp3enc_huff_create(&hs), 0);
  std::vector<int32_t> q(576, 0);
  mp3enc_huff_rec rec{};
  mp3enc_huff_find_regions(hs, q.data(), nullptr, 0, 22, long44, &rec);
  EXPECT_EQ(rec.zero_count, 576);
  EXPECT_EQ(rec.huffman_bits, 0);
  q[0] = 1;
  q[2] = -1;  // ..., 1, 0, 1, 0 then zeros: one count1 quadruple, table B is cheaper
  mp3enc_huff_find_regions(hs, q.data(), nullptr, 0, 22, long44, &rec);
  EXPECT_EQ(rec.count1_quads, 1);
  EXPECT_EQ(rec.count1_table, 1);
  EXPECT_EQ(rec.count1_bits, 6);
  EXPECT_EQ(rec.big_values, 0);
  q[1] = 2;  // a 2 ends the count1 region
  mp3enc_huff_find_regions(hs, q.data(), nullptr, 0, 22, long44, &rec);
  EXPECT_EQ(rec.count1_quads, 0);
  EXPECT_EQ(rec.big_values, 2);
  // Fixed split: 20 bands of big values give regions of 7, 7 and 6 bands.
  std::fill(q.begin(), q.end(), 0);
  for (int i = 0; i < 342; ++i) q[size_t(i)] = 3;
  mp3enc_huff_find_regions(hs, q.data(), nullptr, 0, 22, long44, &rec);
  EXPECT_EQ(rec.region0_count, 6);
  EXPECT_EQ(rec.region1_count, 6);
  // A pair (3, 3) costs 8 bits in table 5 and 7 in table 6, two sign bits beside.
  for (int r = 0; r < 3; ++r) EXPECT_EQ(rec.table_select[r], 6) << r;
  EXPECT_EQ(rec.region_bits[0], 15 * 9);
  EXPECT_EQ(rec.region_bits[1], 40 * 9);
  EXPECT_EQ(rec.region_bits[2], 116 * 9);
  mp3enc_huff_free(hs);
}

TEST(CoreBits, ScalefactorCompression) {
  int32_t sf[39] = {};
  int32_t cnt[4], slen[4];
  EXPECT_EQ(mp3enc_scalefac_select_mpeg1(0, sf, cnt, slen), 0);
  EXPECT_EQ(mp3enc_scalefac_bits(sf, 0, cnt, slen), 0);
  sf[0] = 15;
  sf[20] = 7;
  EXPECT_EQ(mp3enc_scalefac_select_mpeg1(0, sf, cnt, slen), 15);
  EXPECT_EQ(mp3enc_scalefac_bits(sf, 15, cnt, slen), 4 * 11 + 3 * 10);
  sf[0] = 1;
  sf[20] = 0;
  EXPECT_EQ(mp3enc_scalefac_select_mpeg1(0, sf, cnt, slen), 5);  // slen 1, 1 is the cheapest fit
  int32_t z[39] = {};
  EXPECT_EQ(mp3enc_scalefac_select_mpeg2(0, 0, z, 0, cnt, slen), 0);
  z[0] = 15;
  z[20] = 7;
  const int sc = mp3enc_scalefac_select_mpeg2(0, 0, z, 0, cnt, slen);
  EXPECT_EQ(sc, ((4 * 5 + 0) * 4 + 0) * 4 + 3);
  // With preflag only case 2 applies, whose widths of 3 and 2 bits do not hold 15.
  EXPECT_EQ(mp3enc_scalefac_select_mpeg2(0, 0, z, 1, cnt, slen), -1);
  z[0] = 3;
  z[20] = 3;
  EXPECT_EQ(mp3enc_scalefac_select_mpeg2(0, 0, z, 1, cnt, slen), 2 * 3 + 500 + 2);
  EXPECT_EQ(cnt[0], 11);
  // The right channel of intensity stereo: room for the illegal position above every
  // scalefactor, and intensity_scale 1 in the low bit.
  std::fill(z, z + 39, 0);
  EXPECT_EQ(mp3enc_scalefac_select_mpeg2(1, 0, z, 0, cnt, slen), ((1 * 6 + 1) * 6 + 1) * 2 + 1);
  z[0] = 6;
  EXPECT_EQ(mp3enc_scalefac_select_mpeg2(1, 0, z, 0, cnt, slen), ((3 * 6 + 1) * 6 + 1) * 2 + 1);
  z[7] = 6;  // part 1: 6 and the illegal 7 need 3 bits
  EXPECT_EQ(mp3enc_scalefac_select_mpeg2(1, 0, z, 0, cnt, slen), ((3 * 6 + 3) * 6 + 1) * 2 + 1);
  EXPECT_EQ(slen[1], 3);
}

TEST(CoreQuant, StepEstimates) {
  mp3enc_channel_analysis ch{};
  ch.band_count = 22;
  ch.active_bands = 4;
  const float E[4] = {1.0f, 0.0f, 1e12f, 1e12f}, D[4] = {1.0f, 1.0f, 1e-3f, 1e-3f};
  for (int b = 0; b < 4; ++b) {
    ch.energy[b] = E[b];
    ch.thr[b] = D[b];
  }
  const float S[4] = {1, 1, 100, 100}, M[4] = {0, 0, 0, 1048576.0f};
  int32_t steps[39];
  mp3enc_quant_estimate_steps(&ch, steps, S, M);
  EXPECT_EQ(steps[0], mp3enc_no_step);  // energy equal to the allowed distortion
  EXPECT_EQ(steps[1], mp3enc_no_step);  // no energy
  EXPECT_EQ(steps[2], -int(std::floor(8.0 / 3 * std::log2(6.75e-3 / 100) + 0.5)));
  EXPECT_EQ(steps[2], 37);
  EXPECT_EQ(steps[3], -11);  // held back by the peak: 2^20 needs at least 11
  for (int b = 4; b < 22; ++b) EXPECT_EQ(steps[b], mp3enc_no_step);
}

TEST(CoreQuant, OuterLoopWithoutStepsGivesGainOneAndSilence) {
  mp3enc_pow43_table_init();
  int32_t sf[39];
  std::fill(sf, sf + 39, mp3enc_no_step);
  int32_t gain = 77, sbg[3], sfs, pre, q[576];
  const int32_t cnt[4] = {6, 5, 5, 5}, slen[4] = {4, 4, 3, 3};
  std::vector<float> x(576, 0.0f), E(39, 0.0f), D(39, 1.0f), S(39, 1e-10f);
  mp3enc_quant_outer_loop(22, 0, sf, &gain, sbg, &sfs, cnt, slen, 1, &pre, long44, 1, x.data(), E.data(), D.data(),
                          S.data(), q);
  EXPECT_EQ(gain, 1);
  EXPECT_EQ(sfs, 0);
  for (int i = 0; i < 576; ++i) ASSERT_EQ(q[i], 0);
}

TEST(CoreQuant, OuterLoopDerivesPreEmphasisAndScalefactorScale) {
  const int32_t cnt[4] = {6, 5, 5, 5}, slen[4] = {4, 4, 3, 3};
  std::vector<float> x(576, 0.0f), E(39, 1.0f), D(39, 1.0f), S(39, 1.0f);
  int32_t q[576], sbg[3], gain = 0, sfs = -1, pre = -1;
  // Upper bands needing 10 units more than the coarsest: pre-emphasis takes pretab of them.
  int32_t sf[39];
  for (int b = 0; b < 22; ++b) sf[b] = b < 11 ? -40 : -30;
  mp3enc_quant_outer_loop(22, 0, sf, &gain, sbg, &sfs, cnt, slen, 1, &pre, long44, 0, x.data(), E.data(), D.data(),
                          S.data(), q);
  EXPECT_EQ(pre, 1);
  EXPECT_EQ(sfs, 0);
  EXPECT_EQ(gain, 40);
  EXPECT_EQ(sf[0], 0);
  EXPECT_EQ(sf[11], 4);  // (10 - 2 x pretab 1) / 2
  EXPECT_EQ(sf[17], 2);  // (10 - 2 x pretab 3) / 2
  // Without permission there is no pre-emphasis.
  for (int b = 0; b < 22; ++b) sf[b] = b < 11 ? -40 : -30;
  mp3enc_quant_outer_loop(22, 0, sf, &gain, sbg, &sfs, cnt, slen, 0, &pre, long44, 0, x.data(), E.data(), D.data(),
                          S.data(), q);
  EXPECT_EQ(pre, 0);
  EXPECT_EQ(sf[11], 5);
  // Amplifications beyond 4 bits restart with scalefac_scale 1, and what still overflows is
  // pulled down by the common excess.
  for (int b = 0; b < 22; ++b) sf[b] = b == 0 ? -100 : -10;
  mp3enc_quant_outer_loop(22, 0, sf, &gain, sbg, &sfs, cnt, slen, 1, &pre, long44, 0, x.data(), E.data(), D.data(),
                          S.data(), q);
  EXPECT_EQ(sfs, 1);
  for (int b = 0; b < 21; ++b) EXPECT_LE(sf[b], b < 11 ? 15 : 7) << b;
  EXPECT_EQ(gain, 42);
}

// Bands of four lines searched at allowed distortions from far below to far above their
// errors: the step each band takes is the one the search's targets give, read here from the
// band's error at each step (few lines: errors that do not grow step by step).
TEST(CoreQuant, InnerLoopMeetsItsTargets) {
  mp3enc_pow43_table_init();
  const int32_t cnt[4] = {6, 5, 5, 5}, slen[4] = {4, 4, 3, 3}, sbg[3] = {};
  constexpr int N = 6, G = 10, u = 2;
  std::mt19937 rng(2);
  std::normal_distribution<float> d(0.0f, 300.0f);
  std::vector<float> x(576, 0.0f), x34(576), E(39, 1e9f), S(39, 1.0f);
  for (int i = 0; i < 4 * N; ++i) x[size_t(i)] = d(rng);
  mp3enc_pow34(x34.data(), x.data(), 4 * N);
  auto err = [&](int b, int step) {
    int32_t q[4];
    return mp3enc_quant_band_error(&x[size_t(4 * b)], &x34[size_t(4 * b)], q, 4, step);
  };
  int seen[5] = {};
  for (double lg = -1; lg <= 6; lg += 0.05) {
    const float D0 = float(std::pow(10.0, lg));
    std::vector<float> D(39, D0);
    int32_t sf[39], q[576], gain = G;
    std::fill(sf, sf + 39, mp3enc_no_step);
    std::fill(sf, sf + N, 0);
    mp3enc_quant_inner_loop(sf, &gain, q, 0, sbg, 0, 0, long44, N, cnt, slen, x.data(), E.data(), D.data(), S.data(),
                            1);
    for (int b = 0; b < N; ++b) {
      // within 1.4 D: the coarsest of three coarser steps under min(1.4 e0, D); above it,
      // coarser steps while they help until one is within 1.4 D, then one finer step when
      // the best is still above 1.4 D
      const float e0 = err(b, G);
      int want = G;
      if (e0 <= 1.4f * D0) {
        const float t = std::min(1.4f * e0, D0);
        for (int i = 1; i <= 3; ++i)
          if (err(b, G + i * u) < t) want = G + i * u;
      } else {
        float best = e0;
        for (int i = 1; i <= 3; ++i) {
          const float e = err(b, G + i * u);
          if (e < best) best = e, want = G + i * u;
          if (e <= 1.4f * D0) break;
        }
        if (best > 1.4f * D0 && err(b, G - u) < best) want = G - u;
      }
      EXPECT_EQ(gain - u * sf[b], want) << "band " << b << " D " << D0;
      ++seen[(want - G) / u + 1];
    }
  }
  for (int k = 0; k < 3; ++k) EXPECT_GT(seen[k], 0) << "step " << G + (k - 1) * u << " never taken";
}

TEST(CoreQuant, BandErrorStopsAboveTheLargestValue) {
  mp3enc_pow43_table_init();
  EXPECT_FLOAT_EQ(mp3enc_pow43_table[8], 16.0f);
  // Encoders on other threads read the table while another initialises: only the first
  // initialisation writes it.
  const float kept = mp3enc_pow43_table[8191];
  mp3enc_pow43_table[8191] = -1.0f;
  mp3enc_pow43_table_init();
  EXPECT_EQ(mp3enc_pow43_table[8191], -1.0f);
  mp3enc_pow43_table[8191] = kept;
  const float x[2] = {1.0f, -1.0f};
  float x34[2];
  mp3enc_pow34(x34, x, 2);
  int32_t q[2];
  EXPECT_FLOAT_EQ(mp3enc_quant_band_error(x, x34, q, 2, 0), 0.0f);
  EXPECT_EQ(q[0], 1);
  const float big[1] = {1e9f};
  float b34[1];
  mp3enc_pow34(b34, big, 1);
  EXPECT_EQ(mp3enc_quant_band_error(big, b34, q, 1, 0), 3.4028235e38f);
  // A step far below the band's level (a silent band's allowed distortion of 0 next to a loud
  // one) takes the value beyond any integer: still the largest error, not a wild table read.
  const float loud[2] = {1.2e5f, 1.0f};
  float l34[2];
  mp3enc_pow34(l34, loud, 2);
  EXPECT_EQ(mp3enc_quant_band_error(loud, l34, q, 2, -160), 3.4028235e38f);
  int32_t k[1];
  mp3enc_quantise(0, 1, x, k);
  EXPECT_EQ(k[0], 1);
}

TEST(CoreFrameWriter, FrameSizesAndHeadBits) {
  mp3enc_framewriter* w = nullptr;
  ASSERT_EQ(mp3enc_framewriter_create(&w), 0);
  const int32_t cfg[7] = {1, 128000, 44100, 1, 0, 0, 0};
  ASSERT_EQ(mp3enc_framewriter_config(w, cfg), 0);
  EXPECT_EQ(mp3enc_framewriter_frame_bits(w, 9), 3336);
  EXPECT_EQ(mp3enc_framewriter_head_bits(w), 32 + 16 + 256);
  const int32_t mono22[7] = {3, 32000, 22050, 0, 0, 0, 0};
  ASSERT_EQ(mp3enc_framewriter_config(w, mono22), 0);
  EXPECT_EQ(mp3enc_framewriter_head_bits(w), 32 + 72);
  EXPECT_EQ(mp3enc_framewriter_frame_bits(w, 4), 832);
  const int32_t bad[7] = {3, 32000, 22000, 0, 0, 0, 0};
  EXPECT_EQ(mp3enc_framewriter_config(w, bad), 1);
  mp3enc_framewriter_free(w);
}

}  // namespace
