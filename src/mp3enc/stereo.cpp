// Stereo decisions: mid/side per frame by comparing the perceptual cost of both codings, and
// intensity stereo in the upper bands where the direction of the sound is all that matters.
#include <cmath>
#include <cstring>

#include "mp3enc/analysis.h"
#include "mp3enc/kernels.h"

namespace {

struct direction_table {
  float a[3][7], b[3][7];
  direction_table() {
    const double pi = 3.14159265358979323846;
    for (int p = 0; p < 7; ++p) {
      a[0][p] = float(std::sin(p * pi / 12));
      b[0][p] = float(std::cos(p * pi / 12));
    }
    // The MPEG-2 intensity scale with intensity_scale 1, rounded as the encoder stores it.
    for (int p = 0; p < 7; ++p) {
      double x, y;
      if (p == 0) {
        x = y = 0.7071;
      } else if (p & 1) {
        const double k = std::pow(2.0, -(p + 1) / 4.0);
        x = k / std::sqrt(1 + k * k);
        y = 1 / std::sqrt(1 + k * k);
      } else {
        const double k = std::pow(2.0, -p / 4.0);
        x = 1 / std::sqrt(1 + k * k);
        y = k / std::sqrt(1 + k * k);
      }
      a[1][p] = a[2][p] = float(std::round(x * 10000) / 10000);
      b[1][p] = b[2][p] = float(std::round(y * 10000) / 10000);
    }
  }
};

const direction_table& directions() {
  static const direction_table t;
  return t;
}

int signed_step(int p) { return (p & 1) ? -(p + 1) / 2 : p / 2; }
int from_step(int s) { return s >= 0 ? 2 * s : -2 * s - 1; }

bool unsafe(int k, const float* energy_l, const float* energy_r, const float* thr_l, const float* thr_r,
            const float* weight_b, const float* weight_a, const float* cross, float factor) {
  const float e =
      (weight_b[k] * weight_b[k] * energy_l[k] - cross[k] + weight_a[k] * weight_a[k] * energy_r[k]) * factor;
  return thr_r[k] < e * weight_a[k] || thr_l[k] < e * weight_b[k] || (thr_l[k] < energy_l[k] && energy_r[k] == 0) ||
         (thr_r[k] < energy_r[k] && energy_l[k] == 0);
}

}  // namespace

int mp3enc_ms_compare(int previous, float cost_lr, float cost_ms) {
  const float f = previous == 1 ? 1.14f : 0.94f;
  return cost_ms < f * cost_lr ? 1 : 0;
}

int mp3enc_ms_decision(int windows, float* energy_l, float* energy_r, const float* mid, const float* side,
                       float* spec_l, float* spec_r, float* thr_l, float* thr_r, mp3enc_stereo_state* state,
                       int granule_index, const int32_t* bands_per_window, const int32_t* bounds) {
  constexpr double big = 2.8823037615171174e17, inv = 1.0 / 2.8823037615171174e17;
  double plr = 1.0, pms = 1.0;
  int nlr = 0, nms = 0;
  float ms_thr[39];
  for (int w = 0; w < windows; ++w)
    for (int b = 0; b < bands_per_window[w]; ++b) {
      const int i = 13 * w + b;
      const float m = std::fmin(thr_l[i], thr_r[i]);
      ms_thr[i] = 1.5f * m;
      const float rl = std::fmax(energy_l[i] / thr_l[i], 1.0f), rr = std::fmax(energy_r[i] / thr_r[i], 1.0f);
      const float rm = std::fmax(mid[i] / ms_thr[i], 1.0f), rs = std::fmax(side[i] / ms_thr[i], 1.0f);
      plr *= double(rl) * rr;
      pms *= double(rm) * rs;
      while (plr > big) {
        plr *= inv;
        nlr += 58;
      }
      while (pms > big) {
        pms *= inv;
        nms += 58;
      }
    }
  const float cost_lr = float(std::log(plr) * 1.4426950408889634 + nlr);
  const float cost_ms = float(std::log(pms) * 1.4426950408889634 + nms);
  const int decision = mp3enc_ms_compare(state->prev_ms, cost_lr, cost_ms);
  const int applied = granule_index == 0 ? decision : state->prev_ms;
  state->prev_ms = decision;
  if (applied) {
    for (int w = 0; w < windows; ++w) {
      const int base = windows == 1 ? 0 : 192 * w;
      const int end = base + bounds[bands_per_window[w]];
      for (int i = base; i < end; ++i) {
        const float l = spec_l[i], r = spec_r[i];
        spec_l[i] = (l + r) * 0.70710677f;
        spec_r[i] = (l - r) * 0.70710677f;
      }
      for (int b = 0; b < bands_per_window[w]; ++b) {
        const int i = 13 * w + b;
        energy_l[i] = mid[i];
        energy_r[i] = side[i];
        thr_l[i] = thr_r[i] = ms_thr[i];
      }
    }
  }
  return applied;
}

int mp3enc_intensity_search(int rate_class, const float* spec_l, const float* spec_r, const float* energy_l,
                            const float* energy_r, const float* thr_l, const float* thr_r, const int32_t* bounds,
                            int start_band, int active_bands, int is_short, float factor, int32_t* positions,
                            float* weight_b, float* weight_a, float* cross) {
  if (start_band >= active_bands) return active_bands;
  const direction_table& d = directions();
  const int rc = rate_class < 0 ? 0 : rate_class > 2 ? 2 : rate_class;
  const float* A = d.a[rc];
  const float* B = d.b[rc];
  const int def = rc == 0 ? 3 : 0;
  float X[22];
  for (int b = start_band; b < active_bands; ++b) {
    X[b] = 2.0f * mp3enc_kernels().dot(spec_l + bounds[b], spec_r + bounds[b], bounds[b + 1] - bounds[b]);
    float best = 3.4028235e38f;
    int p = def;
    for (int k = 0; k < 7; ++k) {
      const float err = B[k] * B[k] * energy_l[b] + A[k] * A[k] * energy_r[b] - A[k] * B[k] * X[b];
      if (err < best) {
        best = err;
        p = k;
      }
    }
    const int q = positions[b];
    int nw;
    if (rc == 0) {
      nw = p < q - 1 ? q - 1 : p;
      nw = nw > q + 1 ? q + 1 : nw;
    } else {
      int s = signed_step(p);
      const int sq = signed_step(q);
      s = s < sq - 4 ? sq - 4 : s > sq + 4 ? sq + 4 : s;
      nw = from_step(s);
    }
    if (nw < 0) nw = 0;
    if (nw > 6) nw = 6;
    positions[b] = nw;
    weight_b[b] = B[nw];
    weight_a[b] = A[nw];
    cross[b] = B[nw] * A[nw] * X[b];
  }
  int result = start_band;
  for (int k = active_bands - 1; k >= start_band; --k)
    if (unsafe(k, energy_l, energy_r, thr_l, thr_r, weight_b, weight_a, cross, factor)) {
      result = k + 1;
      break;
    }
  if (!is_short && result == 21 && active_bands > 21) {
    positions[21] = def;
    weight_b[21] = B[def];
    weight_a[21] = A[def];
    cross[21] = B[def] * A[def] * X[21];
    if (unsafe(21, energy_l, energy_r, thr_l, thr_r, weight_b, weight_a, cross, factor)) result = 22;
  }
  return result;
}

void mp3enc_intensity_stereo(int rate_class, float* energy_l, float* energy_r, float* spec_l, float* spec_r,
                             float* thr_l, float* thr_r, const float* weight_b, const float* weight_a,
                             const float* cross, const int32_t* first_bands, int active_bands,
                             const int32_t* bounds, int windows) {
  for (int w = 0; w < windows; ++w) {
    const int base = windows == 1 ? 0 : 192 * w;
    for (int b = first_bands[w]; b < active_bands; ++b) {
      const int i = 13 * w + b;
      const float a = weight_a[i], c = weight_b[i];
      const float g = rate_class == 0 ? 1.0f + 2.0f * c * a : std::fmax(a * a, c * c);
      const float E = g * (a * a * energy_l[i] + cross[i] + c * c * energy_r[i]);
      const float sg = std::sqrt(g);
      for (int k = base + bounds[b]; k < base + bounds[b + 1]; ++k) {
        spec_l[k] = (spec_r[k] * c + spec_l[k] * a) * sg;
        spec_r[k] = 0.0f;
      }
      const float r = std::fmax(energy_l[i] / thr_l[i], energy_r[i] / thr_r[i]);
      energy_l[i] = E;
      energy_r[i] = 0.0f;
      thr_l[i] = r == 0.0f ? 1.0f : E / r;
    }
  }
}
