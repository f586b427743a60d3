// Frequency band tables of one SBR channel.
#include "mp3dec/sbr/sbr_freq.h"

#include <cmath>

#include "mp3dec/sbr/sbr_error.h"

namespace {

int round_pos(double v) { return int(v + 0.5); }

// The band counts k and widths of a region from a to b in n logarithmic steps, sorted.
bool log_widths(int a, int b, int n, int32_t* widths) {
  int prev = a;
  for (int i = 1; i <= n; ++i) {
    const int e = round_pos(a * std::pow(double(b) / a, double(i) / n));
    widths[i - 1] = e - prev;
    prev = e;
  }
  sbrdec_sort_ints(widths, n);
  return n > 0;
}

}  // namespace

void sbrdec_split_table(const int32_t* table, int n, int count, int32_t* out) {
  int i = 0;
  out[0] = table[0];
  for (int k = 1; k <= count; ++k) {
    i += (n - i) / (count + 1 - k);
    out[k] = table[i];
  }
}

int sbrdec_high_table(const int32_t* master, int n_master, int crossover, int32_t* high) {
  const int n = n_master - crossover;
  for (int i = 0; i <= n; ++i) high[i] = master[crossover + i];
  return n;
}

int sbrdec_low_table(const int32_t* high, int n_high, int32_t* low) {
  if (n_high % 2 == 0) {
    for (int i = 0; i <= n_high / 2; ++i) low[i] = high[2 * i];
    return n_high / 2;
  }
  const int n = (n_high + 1) / 2;
  low[0] = high[0];
  for (int i = 1; i <= n; ++i) low[i] = high[2 * i - 1];
  return n;
}

void sbrdec_sort_ints(int32_t* v, int n) {
  int gap = 1;
  while (gap < n / 3) gap = 3 * gap + 1;
  for (; gap > 0; gap /= 3) {
    for (int i = gap; i < n; ++i) {
      const int32_t x = v[i];
      int j = i;
      for (; j >= gap && v[j - gap] > x; j -= gap) v[j] = v[j - gap];
      v[j] = x;
    }
  }
}

int sbrdec_stop_channel(int bands, int fs, int stop) {
  const int t = fs < 32000 ? 12000 : fs < 64000 ? 16000 : 20000;
  const int stop_min = round_pos(double(bands) * t / fs);
  int v[14];
  for (int i = 0; i <= 13; ++i) v[i] = round_pos(stop_min * std::pow(double(bands) / stop_min, i / 13.0));
  int32_t d[13];
  for (int i = 0; i < 13; ++i) d[i] = v[i + 1] - v[i];
  sbrdec_sort_ints(d, 13);
  int k2 = stop_min;
  for (int i = 0; i < stop && i < 13; ++i) k2 += d[i];
  return k2;
}

SbrError* sbrdec_start_stop_channel(int fs, int bands, int start, int stop, int mode, int rate_flag,
                                    int* k0, int* k2) {
  static const int offsets[16] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 11, 13, 16, 20, 24, 28, 33};
  if (fs <= 0 || start < 0 || start > 15 || stop < 0 || stop > 15) return sbrdec_error();
  const int s = fs < 32000 ? 6000 : fs < 64000 ? 8000 : 10000;
  *k0 = round_pos(double(bands) * s / fs) + offsets[start];
  if (stop == 14)
    *k2 = 2 * *k0;
  else if (stop == 15)
    *k2 = 3 * *k0;
  else
    *k2 = sbrdec_stop_channel(bands, fs, stop);
  if (*k2 > bands) *k2 = bands;
  const int span = *k2 - *k0;
  if (span < 1 || span > 48) return sbrdec_error();
  if (fs == 44100 && span > 36) return sbrdec_error();
  if (fs >= 48000 && span > 33) return sbrdec_error();
  return nullptr;
}

int sbrdec_master_table(int k0, int k2, int freq_scale, int alter_scale, int32_t* master) {
  int32_t w[SBR_MAX_MASTER + 1];
  int n = 0;
  if (freq_scale == 0) {
    const int dk = alter_scale ? 2 : 1;
    n = dk == 1 ? 2 * int((k2 - k0) * 0.5) : 2 * int((k2 - k0) * 0.25 + 0.5);
    if (n < 1 || n > SBR_MAX_MASTER) return 0;
    for (int i = 0; i < n; ++i) w[i] = dk;
    int diff = k2 - (k0 + n * dk);
    for (int i = n - 1; diff > 0; --i, --diff) w[(i % n + n) % n] += 1;
    for (int i = 0; diff < 0; ++i, ++diff) w[i % n] -= 1;
  } else {
    static const int per_octave[4] = {0, 12, 10, 8};
    const int b = per_octave[freq_scale & 3];
    const double warp = alter_scale ? 1.3 : 1.0;
    if (double(k2) / k0 <= 2.2449) {
      n = 2 * round_pos(b * std::log(double(k2) / k0) / (2.0 * std::log(2.0)));
      if (n < 1 || n > SBR_MAX_MASTER) return 0;
      log_widths(k0, k2, n, w);
      if (w[0] <= 0) return 0;
    } else {
      const int k1 = 2 * k0;
      const int n0 = 2 * round_pos(b * std::log(double(k1) / k0) / (2.0 * std::log(2.0)));
      const int n1 = 2 * round_pos(b * std::log(double(k2) / k1) / (2.0 * std::log(2.0) * warp));
      if (n0 < 1 || n0 + n1 > SBR_MAX_MASTER) return 0;
      log_widths(k0, k1, n0, w);
      if (w[0] <= 0) return 0;
      if (n1 > 0) {
        int32_t* w1 = w + n0;
        log_widths(k1, k2, n1, w1);
        if (w1[0] < w[n0 - 1]) {
          int change = w[n0 - 1] - w1[0];
          const int half = (w1[n1 - 1] - w1[0]) / 2;
          if (half < change) change = half;
          w1[0] += change;
          w1[n1 - 1] -= change;
          sbrdec_sort_ints(w1, n1);
        }
      }
      n = n0 + n1;
    }
  }
  master[0] = k0;
  for (int i = 0; i < n; ++i) {
    if (w[i] <= 0) return 0;  // a band without width would divide by zero later
    master[i + 1] = master[i] + w[i];
  }
  return n;
}

SbrError* sbrdec_reset_freq_tables(SbrFreqTables* t, SbrHeader* h, int bands, int fs, int mode) {
  t->valid = 0;
  int k0 = 0, k2 = 0;
  if (sbrdec_start_stop_channel(fs, bands, h->start_freq, h->stop_freq, mode, h->rate_flag, &k0, &k2))
    return sbrdec_error();
  if (h->reset || t->n_master == 0) {
    const int n = sbrdec_master_table(k0, k2, h->freq_scale, h->alter_scale, t->master);
    if (n == 0) {
      t->n_master = 0;
      return sbrdec_error();
    }
    t->n_master = n;
  }
  const int n = t->n_master;
  const int xover = h->crossover_band;
  if (n <= xover || t->master[n] > bands) return sbrdec_error();

  t->n_high = sbrdec_high_table(t->master, n, xover, t->high);
  t->n_low = sbrdec_low_table(t->high, t->n_high, t->low);
  if (t->n_low < 1 || t->n_low > 24) return sbrdec_error();
  t->kx = t->low[0];
  t->kmax = t->low[t->n_low];
  if (t->kx > (h->rate_flag ? 32 : 64) || t->kmax <= t->kx) return sbrdec_error();
  t->m = t->kmax - t->kx;

  const double octaves = std::log(double(t->kmax) / t->kx) / std::log(2.0);
  int nq = round_pos(h->noise_bands * octaves);
  if (nq < 1) nq = 1;
  if (nq > 5) return sbrdec_error();
  t->n_noise = nq;
  h->noise_band_count = nq;
  sbrdec_split_table(t->low, t->n_low, nq, t->noise);

  static const double limiter_q[4] = {1.0, 1.2, 2.0, 3.0};
  int nl = round_pos(limiter_q[h->limiter_bands & 3] * octaves);
  if (nl < 1) nl = 1;
  if (nl > 12) nl = 12;
  t->n_limiter = nl;
  sbrdec_split_table(t->low, t->n_low, nl, t->limiter);
  for (int i = 0; i <= nl; ++i) t->limiter[i] -= t->kx;
  t->valid = 1;
  return nullptr;
}
