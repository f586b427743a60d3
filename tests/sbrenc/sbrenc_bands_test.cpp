#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "sbrenc/sbrenc_bands.h"
#include "sbrenc/sbrenc_config.h"
#include "sbrenc/sbrenc_encoder.h"

namespace {

// The decoder's derivation of the tables from a header, written from the decoder's own
// description; null when the decoder would refuse the header.
struct ref_tables {
  bool ok = false;
  std::vector<int> master, high, low;
};

int rnd(double v) { return static_cast<int>(v + 0.5); }

std::vector<int> sorted_widths(int a, int b, int n) {
  std::vector<int> w;
  int prev = a;
  for (int i = 1; i <= n; ++i) {
    const int e = rnd(a * std::pow(double(b) / a, double(i) / n));
    w.push_back(e - prev);
    prev = e;
  }
  std::sort(w.begin(), w.end());
  return w;
}

ref_tables reference(int fs, int start, int stop, int scale, int alter, int crossover) {
  ref_tables r;
  const double s = fs < 32000 ? 6000 : fs < 64000 ? 8000 : 10000;
  const double t = fs < 32000 ? 12000 : fs < 64000 ? 16000 : 20000;
  static const int off[16] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 11, 13, 16, 20, 24, 28, 33};
  const int k0 = rnd(64 * s / fs) + off[start];
  int k2;
  if (stop <= 13) {
    const int stop_min = rnd(64 * t / fs);
    std::vector<int> d;
    int prev = stop_min;
    for (int i = 1; i <= 13; ++i) {
      const int v = rnd(stop_min * std::pow(64.0 / stop_min, i / 13.0));
      d.push_back(v - prev);
      prev = v;
    }
    std::sort(d.begin(), d.end());
    k2 = stop_min;
    for (int i = 0; i < stop; ++i) k2 += d[i];
  } else {
    k2 = (stop == 14 ? 2 : 3) * k0;
  }
  k2 = std::min(k2, 64);
  if (k2 - k0 < 1 || k2 - k0 > 48 || (fs == 44100 && k2 - k0 > 36) || (fs >= 48000 && k2 - k0 > 33)) return r;
  std::vector<int> w;
  if (scale == 0) {
    const int dk = alter ? 2 : 1;
    const int n = alter ? 2 * int((k2 - k0) * 0.25 + 0.5) : 2 * int((k2 - k0) * 0.5);
    if (n < 1) return r;
    w.assign(n, dk);
    int diff = k2 - (k0 + n * dk);
    for (int i = n - 1; diff > 0; --i, --diff) ++w[i];
    for (int i = 0; diff < 0; ++i, ++diff) --w[i];
  } else {
    const int b = scale == 1 ? 12 : scale == 2 ? 10 : 8;
    const double warp = alter ? 1.3 : 1.0;
    if (float(k2) / float(k0) <= 2.2449f) {
      const int n = 2 * rnd(b * std::log(double(k2) / k0) / (2 * std::log(2.0)));
      w = sorted_widths(k0, k2, n);
      if (w.empty() || w[0] == 0) return r;
    } else {
      const int k1 = 2 * k0;
      const int n0 = 2 * rnd(b * std::log(double(k1) / k0) / (2 * std::log(2.0)));
      const int n1 = 2 * rnd(b * std::log(double(k2) / k1) / (2 * std::log(2.0) * warp));
      w = sorted_widths(k0, k1, n0);
      if (w.empty() || w[0] == 0) return r;
      auto w1 = sorted_widths(k1, k2, n1);
      if (!w1.empty() && w1[0] < w.back()) {
        const int x = std::min(w.back() - w1[0], (w1.back() - w1[0]) / 2);
        w1[0] += x;
        w1.back() -= x;
        std::sort(w1.begin(), w1.end());
      }
      w.insert(w.end(), w1.begin(), w1.end());
    }
  }
  r.master = {k0};
  for (int v : w) r.master.push_back(r.master.back() + v);
  const int n = static_cast<int>(w.size());
  if (n <= crossover || r.master.back() > 64) return r;
  r.high.assign(r.master.begin() + crossover, r.master.end());
  const int h = n - crossover;
  if (h % 2 == 0) {
    for (int i = 0; i <= h / 2; ++i) r.low.push_back(r.high[2 * i]);
  } else {
    r.low.push_back(r.high[0]);
    for (int i = 1; i <= (h + 1) / 2; ++i) r.low.push_back(r.high[2 * i - 1]);
  }
  const int nl = static_cast<int>(r.low.size()) - 1;
  if (nl < 1 || nl > 24 || r.low[0] > 32 || r.low.back() <= r.low[0]) return r;
  r.ok = true;
  return r;
}

struct tables {
  const mp3enc_error* err;
  int32_t master[49], high[49], low[25];
  int32_t nm, nh, nl, crossover;
};

tables encoder_tables(int fs, int start, int stop, int scale, int alter, int crossover) {
  tables t{};
  int32_t k0, k2;
  t.err = sbrenc_band_limits(fs, 64, start, stop, 1, &k0, &k2);
  if (!t.err) t.err = sbrenc_master_table(t.master, &t.nm, k0, k2, scale, alter);
  if (t.err) return t;
  t.crossover = crossover;
  sbrenc_high_table(t.high, &t.nh, t.master, t.nm, &t.crossover, 1, 64);
  sbrenc_low_table(t.low, &t.nl, t.high, t.nh);
  return t;
}

void expect_equal(const tables& e, const ref_tables& r) {
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(e.err, nullptr);
  EXPECT_EQ(std::vector<int>(e.master, e.master + e.nm + 1), r.master);
  EXPECT_EQ(std::vector<int>(e.high, e.high + e.nh + 1), r.high);
  EXPECT_EQ(std::vector<int>(e.low, e.low + e.nl + 1), r.low);
}

TEST(SbrencBands, EveryTuningRowMatchesTheDecodersDerivation) {
  for (int row = 0; row < sbrenc_tuning_rows; ++row) {
    const int32_t* t = sbrenc_tuning_table[row];
    const int fs = 2 * t[sbrenc_tc_core_rate];
    for (int alter : {0, 1})
      for (int crossover = 0; crossover < 4; ++crossover) {
        SCOPED_TRACE(testing::Message() << "row " << row << " alter " << alter << " crossover " << crossover);
        const tables e = encoder_tables(fs, t[sbrenc_tc_start], t[sbrenc_tc_stop], t[sbrenc_tc_freq_scale], alter,
                                        crossover);
        const ref_tables r =
            reference(fs, t[sbrenc_tc_start], t[sbrenc_tc_stop], t[sbrenc_tc_freq_scale], alter, e.crossover);
        expect_equal(e, r);
      }
  }
}

TEST(SbrencBands, EveryHeaderTheDecoderAcceptsGivesItsTables) {
  int compared = 0;
  for (int fs : {32000, 44100, 48000})
    for (int start = 0; start < 16; ++start)
      for (int stop = 0; stop < 16; ++stop)
        for (int scale = 0; scale < 4; ++scale)
          for (int alter : {0, 1}) {
            const ref_tables r = reference(fs, start, stop, scale, alter, 0);
            if (!r.ok) continue;
            SCOPED_TRACE(testing::Message() << fs << " " << start << " " << stop << " " << scale << " " << alter);
            expect_equal(encoder_tables(fs, start, stop, scale, alter, 0), r);
            ++compared;
          }
  EXPECT_GT(compared, 500);
}

TEST(SbrencBands, LimitsAndEdges) {
  int32_t k0, k2;
  // Stop indices 14 and 15: twice and three times the start band, limited to 64.
  EXPECT_EQ(sbrenc_band_limits(32000, 64, 0, 14, 0, &k0, &k2), nullptr);
  EXPECT_EQ(k2, 2 * k0);
  EXPECT_EQ(sbrenc_band_limits(32000, 64, 15, 15, 0, &k0, &k2), nullptr);
  EXPECT_EQ(k0, 49);
  EXPECT_EQ(k2, 64);
  // At 44100 Hz a range above 36 bands fails (37 included); at 32000 Hz up to 48 pass.
  bool saw37 = false;
  for (int start = 0; start < 16; ++start)
    for (int stop = 0; stop < 16; ++stop) {
      const mp3enc_error* e = sbrenc_band_limits(44100, 64, start, stop, 0, &k0, &k2);
      const int d = k2 - k0;
      saw37 |= d == 37;
      EXPECT_EQ(e == nullptr, d >= 1 && d <= 36) << start << " " << stop;
    }
  EXPECT_TRUE(saw37);
  EXPECT_EQ(sbrenc_band_limits(32000, 64, 0, 13, 0, &k0, &k2), nullptr);
  EXPECT_EQ(k2 - k0, 48);
  // The start must lie in the lower half of the core's band with dual rate.
  EXPECT_NE(sbrenc_band_limits(44100, 64, 15, 15, 1, &k0, &k2), nullptr);
  EXPECT_NE(sbrenc_band_limits(44100, 64, 16, 9, 1, &k0, &k2), nullptr);

  // An odd high count of 9 gives 5 low bands on high edges 0, 1, 3, 5, 7, 9.
  const int32_t high[10] = {20, 21, 22, 24, 26, 28, 31, 34, 38, 42};
  int32_t low[25], nl;
  sbrenc_low_table(low, &nl, high, 9);
  EXPECT_EQ(nl, 5);
  EXPECT_EQ(std::vector<int>(low, low + 6), (std::vector<int>{20, 21, 24, 28, 34, 42}));
  sbrenc_low_table(low, &nl, high, 8);
  EXPECT_EQ(nl, 4);
  EXPECT_EQ(std::vector<int>(low, low + 5), (std::vector<int>{20, 22, 26, 31, 38}));
}

TEST(SbrencBands, CrossoverIndexIsCheckedBeforeUse) {
  int32_t master[49], n;
  ASSERT_EQ(sbrenc_master_table(master, &n, 17, 40, 2, 1), nullptr);
  int32_t high[49], nh;
  // An index equal to the master count (an unmatched request), past the table, or past what
  // three header bits hold is replaced before the table is read with it.
  for (int32_t bad : {n, n + 5, 8, 100}) {
    int32_t xi = bad;
    sbrenc_high_table(high, &nh, master, n, &xi, 1, 64);
    EXPECT_GE(xi, 0);
    EXPECT_LE(xi, 7);
    EXPECT_EQ(nh, n - xi);
    EXPECT_EQ(high[0], master[xi]);
  }
  int32_t xi = 3;
  sbrenc_high_table(high, &nh, master, n, &xi, 1, 64);
  EXPECT_EQ(xi, 3);
  EXPECT_EQ(high[0], master[3]);
}

}  // namespace
