#include "sbrenc/sbrenc_bands.h"

#include <algorithm>
#include <cmath>

#include "sbrenc/sbrenc_grid.h"
#include "sbrenc/sbrenc_qmf.h"

const mp3enc_error* sbrenc_band_limits(int32_t sample_rate, int32_t band_count, int32_t start_index,
                                       int32_t stop_index, int32_t dual_rate, int32_t* out_k0, int32_t* out_k2) {
  const int32_t k0 = sbrenc_lower_edge_band(start_index, band_count, sample_rate);
  *out_k0 = k0;
  if (k0 < 0) return mp3enc_generic_error();
  if (dual_rate == 1 && sample_rate * 0.25 < static_cast<double>(sample_rate) * k0 / (2 * band_count))
    return mp3enc_generic_error();
  int32_t k2;
  if (stop_index >= 0 && stop_index <= 13)
    k2 = sbrenc_stop_band(stop_index, band_count, sample_rate);
  else if (stop_index == 14)
    k2 = 2 * k0;
  else if (stop_index == 15)
    k2 = 3 * k0;
  else
    return mp3enc_generic_error();
  k2 = std::min(k2, band_count);
  *out_k2 = k2;
  const int32_t d = k2 - k0;
  if (d < 1 || d > 48) return mp3enc_generic_error();
  if (sample_rate == 44100 && d > 36) return mp3enc_generic_error();
  if (sample_rate >= 48000 && d > 33) return mp3enc_generic_error();
  return nullptr;
}

int32_t sbrenc_number_of_bands(int32_t bands_per_octave, int32_t k_start, int32_t k_stop, float warp) {
  return 2 * static_cast<int32_t>(bands_per_octave * std::log(static_cast<double>(k_stop) / k_start) /
                                      (2.0 * std::log(2.0) * warp) +
                                  0.5);
}

namespace {
// Differences of trunc(a (b/a)^(i/n) + 0.5), i = 1..n, sorted ascending.
void log_differences(int32_t* d, int32_t a, int32_t b, int32_t n) {
  int32_t prev = a;
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t e = static_cast<int32_t>(a * std::pow(static_cast<double>(b) / a, static_cast<double>(i) / n) + 0.5);
    d[i - 1] = e - prev;
    prev = e;
  }
  sbrenc_sort_ints(d, n);
}
}  // namespace

const mp3enc_error* sbrenc_master_table(int32_t* table, int32_t* count, int32_t k0, int32_t k2, int32_t freq_scale,
                                        int32_t alter_scale) {
  int32_t diff[64];
  int32_t n;
  if (freq_scale == 0) {
    const int32_t d = k2 - k0;
    int32_t step;
    if (alter_scale == 0) {
      step = 1;
      n = 2 * static_cast<int32_t>(0.5f * static_cast<float>(d));
    } else {
      step = 2;
      n = 2 * static_cast<int32_t>(0.25 * d + 0.5);
    }
    if (n < 1 || n > 48) return mp3enc_generic_error();
    for (int32_t i = 0; i < n; ++i) diff[i] = step;
    int32_t r = d - step * n;
    for (int32_t i = n - 1; r > 0 && i >= 0; --i, --r) ++diff[i];
    for (int32_t i = 0; r < 0 && i < n; ++i, ++r) --diff[i];
  } else {
    static const int32_t per_octave[4] = {0, 12, 10, 8};
    if (freq_scale < 1 || freq_scale > 3 || k0 < 1) return mp3enc_generic_error();
    const int32_t bpo = per_octave[freq_scale];
    const float warp = alter_scale == 0 ? 1.0f : 1.3f;
    if (static_cast<float>(k2) / static_cast<float>(k0) <= 2.2449f) {
      n = sbrenc_number_of_bands(bpo, k0, k2, 1.0f);
      if (n < 1 || n > 48) return mp3enc_generic_error();
      log_differences(diff, k0, k2, n);
      if (diff[0] == 0) return mp3enc_generic_error();
    } else {
      const int32_t k1 = 2 * k0;
      const int32_t na = sbrenc_number_of_bands(bpo, k0, k1, 1.0f);
      const int32_t nb = sbrenc_number_of_bands(bpo, k1, k2, warp);
      if (na < 1 || nb < 0 || na + nb > 48) return mp3enc_generic_error();
      log_differences(diff, k0, k1, na);
      if (diff[0] == 0) return mp3enc_generic_error();
      int32_t* d1 = diff + na;
      if (nb > 0) {
        log_differences(d1, k1, k2, nb);
        if (d1[0] < diff[na - 1]) {
          const int32_t change = std::min((d1[nb - 1] - d1[0]) / 2, diff[na - 1] - d1[0]);
          d1[0] += change;
          d1[nb - 1] -= change;
          sbrenc_sort_ints(d1, nb);
        }
      }
      n = na + nb;
    }
  }
  table[0] = k0;
  for (int32_t i = 0; i < n; ++i) table[i + 1] = table[i] + diff[i];
  *count = n;
  return nullptr;
}

int32_t sbrenc_high_table(int32_t* high, int32_t* high_count, const int32_t* master, int32_t master_count,
                          int32_t* crossover_index, int32_t dual_rate, int32_t band_count) {
  const int32_t limit = dual_rate == 1 ? band_count >> 1 : band_count;
  // The index is checked before the table is read with it: an index past the master count
  // (no match for a requested crossover) or past what the 3-bit header field holds falls
  // back to the same choice as an index above the limit.
  int32_t xi = *crossover_index;
  if (xi < 0 || xi > master_count || xi > 7 || master[xi] > limit) {
    if (master[1] >= limit) {
      xi = 0;
    } else {
      xi = master_count - 1;
      for (int32_t i = 0; i < master_count; ++i)
        if (master[i + 1] >= limit) {
          xi = i;
          break;
        }
    }
    if (xi > 7) xi = 7;
  }
  *crossover_index = xi;
  *high_count = master_count - xi;
  for (int32_t j = 0; j <= *high_count; ++j) high[j] = master[j + xi];
  return 0;
}

void sbrenc_low_table(int32_t* low, int32_t* low_count, const int32_t* high, int32_t high_count) {
  if (high_count & 1) {
    *low_count = (high_count + 1) / 2;
    low[0] = high[0];
    for (int32_t i = 1; i <= *low_count; ++i) low[i] = high[2 * i - 1];
  } else {
    *low_count = high_count / 2;
    for (int32_t i = 0; i <= *low_count; ++i) low[i] = high[2 * i];
  }
}
