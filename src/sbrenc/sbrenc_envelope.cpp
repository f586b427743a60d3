#include "sbrenc/sbrenc_envelope.h"

#include <algorithm>
#include <cmath>

#include "sbrenc/sbrenc_encoder.h"

namespace {
const int32_t balance_steps[2][10] = {{0, 2, 4, 6, 8, 12, 16, 20, 24}, {0, 2, 4, 8, 12}};
const int32_t balance_count[2] = {9, 5};
const int32_t balance_offset[2] = {24, 12};
constexpr double log2e = 1.4426950216293335;

double band_sum(const float* const* e, int32_t lo, int32_t hi, int32_t start, int32_t stop) {
  double s = 0.0;
  for (int32_t k = lo; k < hi; ++k)
    for (int32_t t = start; t < stop; ++t) s += e[t][k];
  return s;
}
}  // namespace

void sbrenc_calc_envelope(const float* const* energy, const float* const* energy2, const sbrenc_grid_info* grid,
                          int32_t* env, int32_t* bal, const sbrenc_settings* settings, const sbrenc_channel* ch,
                          int32_t coupling, float* max_err) {
  const int32_t step = ch->buffer->time_step;
  const int32_t m = ch->qmf->bands;
  const int32_t a = ch->amp_res;
  const int32_t g = 2 - a;
  if (coupling == 2) *max_err = 0.0f;
  int32_t i = 0;
  for (int32_t e = 0; e < grid->envelopes; ++e) {
    const int32_t start = grid->borders[e] * step;
    int32_t stop = grid->borders[e + 1] * step;
    // The envelope before a transient gives up its last time unit, but keeps at least one
    // slot: its mean power divides by its length.
    if (e == grid->transient_env - 1) stop = std::max(stop - step, start + 1);
    const int32_t r = grid->freq_res[e];
    const int32_t n = r ? settings->high_count : settings->low_count;
    const int32_t* f = r ? settings->high : settings->low;
    for (int32_t j = 0; j < n; ++j, ++i) {
      const int32_t lo = f[j], hi = f[j + 1];
      const double s1 = band_sum(energy, lo, hi, start, stop);
      double s = s1, ratio = 1.0;
      if (coupling == 2) {
        const double s2 = band_sum(energy2, lo, hi, start, stop);
        ratio = (1.0 / (1.0 + s2)) * (1.0 + s1);
        s = (s1 + s2) * 0.5;
      }
      double v = std::log(s / (static_cast<double>(m) * (hi - lo) * (stop - start)) + 1e-12) * log2e;
      if (v < 0.0) v = 0.0;
      env[i] = static_cast<int32_t>(g * v + 0.5);
      if (coupling == 2) {
        const double q = g * (std::log(ratio) * log2e);
        const int32_t sign = q > 0.0 ? 1 : -1;
        const double mag = sign * q;
        double best_d = 1e8;
        int32_t best = 0;
        for (int32_t k = 0; k < balance_count[a]; ++k) {
          const double d = std::fabs(balance_steps[a][k] - mag);
          if (d < best_d) {
            best_d = d;
            best = balance_steps[a][k];
          }
        }
        bal[i] = sign * best + balance_offset[a];
        *max_err = std::max(*max_err, static_cast<float>(best_d));
      }
    }
  }
}
