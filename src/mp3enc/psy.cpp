// Psychoacoustic thresholds: band energy times a fixed ratio, capped, spread over neighbouring
// bands on a bark scale, raised to the threshold in quiet and limited against the previous
// granule.
#include <cmath>
#include <cstring>

#include "mp3dec/l3tables.h"
#include "mp3enc/analysis.h"
#include "mp3enc/kernels.h"

namespace {

int rate_row(int rate) {
  static const int rates[9] = {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000};
  for (int i = 0; i < 9; ++i)
    if (rates[i] == rate) return i;
  return -1;
}

double bark_of(double f) {
  const double a = std::atan(f * double(1.0f / 7500.0f));
  return 3.5 * a * a + double(13.3f) * std::atan(double(0.00076f) * f);
}

}  // namespace

int mp3enc_band_params_init(int bit_rate, int sample_rate, float bandwidth, int kind, mp3enc_band_params* t) {
  const int row = rate_row(sample_rate);
  if (row < 0 || kind < 0 || kind > 3) return 1;
  const bool is_short = kind == 2;
  const int lines = is_short ? 192 : 576;
  t->band_count = is_short ? 13 : 22;
  for (int b = 0; b <= t->band_count; ++b) t->bounds[b] = is_short ? l3_sfb_short[row][b] : l3_sfb_long[row][b];
  t->cutoff = int(float(lines) * 2.0f * bandwidth / float(sample_rate));
  if (t->cutoff > lines) t->cutoff = lines;
  if (t->cutoff < 0) t->cutoff = 0;
  t->active_bands = t->band_count;
  for (int b = 0; b < t->band_count; ++b)
    if (t->bounds[b] >= t->cutoff) {
      t->active_bands = b;
      break;
    }
  t->windows = is_short ? 3 : 1;
  t->rate_class = sample_rate >= 32000 ? 0 : sample_rate >= 16000 ? 1 : 2;
  t->ms_allowed = bit_rate < 160000;
  t->is_allowed = bit_rate <= 96000;
  t->is_factor = float(std::pow(10.0, -2.7));
  t->is_start_band = sample_rate <= 24000 ? 9 : 7;
  t->bark_scale = 100;
  t->rise = 3.0f;
  t->floor_factor = 0.001f;
  t->cap = is_short ? 1000.0f / 9.0f : 1000.0f;
  t->energy_ratio = float(std::pow(10.0, -2.9));
  return 0;
}

void mp3enc_psy_band_bark(int lines, int sample_rate, int band_count, const int32_t* bounds, int32_t* bark_out,
                          int32_t* scale_out, float* down_out, float* up_out) {
  double z[23];
  for (int b = 0; b < band_count; ++b) {
    const double lo = double(bounds[b]) * sample_rate / (2.0 * lines);
    const double hi = double(bounds[b + 1]) * sample_rate / (2.0 * lines);
    double zb = (bark_of(lo) + bark_of(hi)) / 2;
    if (zb >= 24) zb = 24;
    z[b] = zb;
    bark_out[b] = int32_t(650 * zb * 0.15384616);
  }
  *scale_out = 100;
  for (int b = 0; b < band_count; ++b) {
    up_out[b] = b >= 1 ? float(std::pow(10.0, -(15 * (z[b] - z[b - 1])) * 0.1)) : 0.0f;
    down_out[b] = b < band_count - 1 ? float(std::pow(10.0, -(30 * (z[b + 1] - z[b])) * 0.1)) : 0.0f;
  }
}

void mp3enc_psy_abs_threshold(int band_count, mp3enc_band_params* t) {
  static const float A[25] = {15, 10, 7, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 5, 10, 20, 30};
  const int32_t* v = t->bark;
  for (int b = 0; b < band_count; ++b) {
    int lo = b >= 1 ? int((v[b - 1] + v[b]) * 0.5 / 100) : int(v[0] * 0.5 / 100);
    int hi = b < band_count - 1 ? int((v[b] + v[b + 1]) * 0.5 / 100) : v[b] / 100;
    lo = lo < 0 ? 0 : lo > 24 ? 24 : lo;
    hi = hi < 0 ? 0 : hi > 24 ? 24 : hi;
    const float d = std::fmin(A[lo], A[hi]);
    t->abs_thr[b] = float((t->bounds[b + 1] - t->bounds[b]) * 16887.8008 * std::pow(10.0, (d - 70) * 0.1));
  }
}

void mp3enc_psy_spread(int n, const float* down, const float* up, float* t) {
  for (int b = 1; b < n; ++b) t[b] = std::fmax(t[b], up[b] * t[b - 1]);
  for (int b = n - 2; b >= 0; --b) t[b] = std::fmax(t[b], down[b] * t[b + 1]);
}

void mp3enc_psy_limit(float* previous, int n, float rise, float floor_factor, float* t) {
  for (int b = 0; b < n; ++b) {
    const float hi = rise * previous[b];
    const float lo = floor_factor * t[b];
    previous[b] = t[b];
    t[b] = std::fmin(t[b], hi);
    t[b] = std::fmax(t[b], lo);
  }
}

float mp3enc_band_energy(const float* x, const int32_t* bounds, int n, float* energy) {
  float total = 0.0f;
  mp3enc_kernels().band_energy(x, bounds, n, energy, &total);
  return total;
}

void mp3enc_band_energy2(const float* l, const float* r, const int32_t* bounds, int n, float* mid, float* mid_total,
                         float* side, float* side_total) {
  mp3enc_kernels().band_energy2(l, r, bounds, n, mid, mid_total, side, side_total);
}
