// Quantisation: step estimation, the rate/distortion loops and the per-granule coder that fits
// each channel into its share of the frame's bits.
#include "mp3enc/quant.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#include "mp3dec/l3tables.h"
#include "mp3enc/ancillary.h"
#include "mp3enc/kernels.h"

namespace {

constexpr float largest_float = 3.4028235e38f;

const float mp3enc_log2_table[33] = {0.000000f, 0.044394f, 0.087463f, 0.129283f, 0.169925f, 0.209453f, 0.247928f,
                              0.285402f, 0.321928f, 0.357552f, 0.392317f, 0.426265f, 0.459432f, 0.491853f,
                              0.523562f, 0.554589f, 0.584962f, 0.614710f, 0.643856f, 0.672425f, 0.700440f,
                              0.727920f, 0.754887f, 0.781360f, 0.807355f, 0.832890f, 0.857981f, 0.882643f,
                              0.906891f, 0.930737f, 0.954196f, 0.977280f, 1.000000f};

int pretab(int b) { return b < 22 ? l3_pretab[b] : 0; }

// Partition of entry b and its largest scalefactor.
int partition_of(int b, const int32_t* counts) {
  int start = 0;
  for (int k = 0; k < 4; ++k) {
    start += counts[k];
    if (b < start) return k;
  }
  return 3;
}

int step_of(int b, int G, int sf, int u, int block_type, int preflag, const int32_t* sbg) {
  if (block_type == 2) return G - u * sf - 8 * sbg[b % 3];
  return G - u * (sf + (preflag ? pretab(b) : 0));
}

}  // namespace

double mp3enc_fast_log2(float y) {
  uint32_t bits;
  std::memcpy(&bits, &y, 4);
  const int e = int((bits >> 23) & 0xFF) - 127;
  const int m5 = (bits >> 18) & 31;
  const int m2 = (bits >> 16) & 3;
  return e + double(mp3enc_log2_table[m5]) * (1.0 - m2 / 4.0) + double(mp3enc_log2_table[m5 + 1]) * (m2 / 4.0);
}

void mp3enc_quant_estimate_steps(const mp3enc_channel_analysis* a, int32_t* steps, const float* S, const float* M) {
  const int n = a->active_bands;
  if (n < 1) {
    for (int b = 0; b < a->band_count; ++b) steps[b] = mp3enc_no_step;
    return;
  }
  for (int b = 0; b < n; ++b) {
    const float E = a->energy[b], D = a->thr[b];
    if (!(E > 0 && E > D)) {
      steps[b] = mp3enc_no_step;
      continue;
    }
    const float r = 6.75f * D / S[b];
    const float y = r * r;
    int s = int(std::floor(0.5 * mp3enc_fast_log2(y) * 2.6666667461395264 + 0.5));
    if (M[b] > 0) {
      const float y2 = M[b] * M[b];
      const double t = 0.5 * mp3enc_fast_log2(y2) * 3.9999999466009672 - 69.3320083618164;
      const int s2 = int(std::ceil(t));
      if (s2 > s) s = s2;
    }
    steps[b] = -s;
  }
  for (int b = n; b < a->band_count; ++b) steps[b] = mp3enc_no_step;
}

void mp3enc_band_sqrt_sum(const mp3enc_channel_analysis* ch, float* sums, float* maxima) {
  mp3enc_kernels().band_sqrt_sum(sums, maxima, ch->active_bands, ch->bounds, ch->spectrum);
}

void mp3enc_quantise(int step, int n, const float* x, int32_t* q) {
  if (n >= 1) mp3enc_kernels().quantise(step, n, x, q);
}

void mp3enc_quant_bands(int bands_in_use, const int32_t* starts, const float* x, int gain, int block_type,
                        const int32_t* subblock_gain, int preflag, int scalefac_scale, const int32_t* scalefac,
                        int32_t* q) {
  for (int b = 0; b < bands_in_use; ++b) {
    const int lo = starts[b], n = starts[b + 1] - lo;
    if (n < 1) continue;
    if (scalefac[b] == mp3enc_no_step) {
      std::fill(q + lo, q + lo + n, 0);
      continue;
    }
    int shift = 0;
    if (block_type != 2 && b < 21)
      shift = (scalefac[b] + (preflag ? pretab(b) : 0)) << (scalefac_scale + 1);
    else if (block_type == 2 && b < 36)
      shift = (scalefac[b] << (scalefac_scale + 1)) + 8 * subblock_gain[b % 3];
    mp3enc_quantise(gain - shift, n, x + lo, q + lo);
  }
  std::fill(q + starts[bands_in_use], q + 576, 0);
}

void mp3enc_pow34(float* dst, const float* src, int n) {
  for (int i = 0; i < n; ++i) {
    const float a = std::fabs(src[i]);
    const float r = std::sqrt(a);
    dst[i] = r * std::sqrt(r);
  }
}

float mp3enc_pow43_table[8192];

// Encoders on other threads may be reading the table while a new one initialises: it is
// written by the first initialisation only.
void mp3enc_pow43_table_init() {
  static std::once_flag filled;
  std::call_once(filled, [] {
    for (int i = 0; i < 8192; ++i) mp3enc_pow43_table[i] = std::pow(float(i), 1.3333334f);
  });
}

float mp3enc_quant_band_error(const float* x, const float* x34, int32_t* q, int n, int s) {
  const float down = float(std::exp2(-3.0 * s / 16.0));
  const float up = float(std::exp2(s / 4.0));
  float err = 0.0f;
  for (int i = 0; i < n; ++i) {
    // A step far finer than the band's level takes the value beyond any integer: it is kept at
    // the largest one, too large like any other above 8191.
    const float f = x34[i] * down + 0.4054f;
    const int v = f < 2147483648.0f ? int(f) : INT32_MAX;
    q[i] = v;
    if (v > 8191) return largest_float;
    const float d = mp3enc_pow43_table[v] * up - std::fabs(x[i]);
    err += d * d;
  }
  return err;
}

void mp3enc_quant_inner_loop(int32_t* sf, int32_t* global_gain, int32_t* q, int preflag,
                             const int32_t* subblock_gain, int scalefac_scale, int block_type,
                             const int32_t* bounds, int N, const int32_t* counts, const int32_t* slen,
                             const float* x, const float* E, const float* D, const float* S, int effort) {
  float x34[576];
  int32_t trial_q[576];
  float error[39];
  std::memset(x34, 0, sizeof x34);
  std::memset(q, 0, sizeof(int32_t) * 576);
  const int u = 2 << scalefac_scale;
  int H = INT_MAX;
  for (int b = 0; b < N; ++b)
    if (sf[b] != mp3enc_no_step) H = std::min(H, (1 << slen[partition_of(b, counts)]) - 1 - sf[b]);
  int R = 0;
  const int G = *global_gain;
  for (int b = 0; b < N; ++b) {
    error[b] = 1e-10f;
    if (sf[b] == mp3enc_no_step) {
      error[b] = E[b];
      continue;
    }
    const int Mk = (1 << slen[partition_of(b, counts)]) - 1;
    const int lo = bounds[b], n = bounds[b + 1] - lo;
    const int p = step_of(b, G, sf[b], u, block_type, preflag, subblock_gain);
    const int f = step_of(b, G, Mk - R, u, block_type, preflag, subblock_gain);
    const int z = block_type == 2 ? G - u * H - 8 * subblock_gain[b % 3]
                                  : G - u * ((preflag ? pretab(b) : 0) - H);
    mp3enc_pow34(x34 + lo, x + lo, n);
    float best = mp3enc_quant_band_error(x + lo, x34 + lo, q + lo, n, p);
    int chosen = p;
    const float F = u == 4 ? 2.0f : 1.4f;
    auto take = [&](int step, float err) {
      std::memcpy(q + lo, trial_q + lo, sizeof(int32_t) * n);
      best = err;
      chosen = step;
    };
    if (best <= 1.4f * D[b]) {
      const float t = std::min(1.4f * best, D[b]);
      for (int i = 1; i <= 3; ++i) {
        const int trial = p + i * u;
        if (trial > z) break;
        const float err = mp3enc_quant_band_error(x + lo, x34 + lo, trial_q + lo, n, trial);
        if (err < t) take(trial, err);
      }
    } else {
      int prev = p;
      for (int i = 1; i <= 3; ++i) {
        if (prev >= z) break;
        const int trial = prev + u;
        const float err = mp3enc_quant_band_error(x + lo, x34 + lo, trial_q + lo, n, trial);
        if (err < best) take(trial, err);
        if (err <= 1.4f * D[b]) break;
        prev = trial;
      }
      if (best > F * D[b] && p > f) {
        const float err = mp3enc_quant_band_error(x + lo, x34 + lo, trial_q + lo, n, p - u);
        if (err < best) take(p - u, err);
      }
    }
    error[b] = best;
    for (int i = lo; i < lo + n; ++i)
      if (x[i] < 0.0f) q[i] = -q[i];
    sf[b] -= (chosen - p) / u;
    if (sf[b] < 0)
      R = std::max(R, -sf[b]);
    else
      H = std::min(H, Mk - sf[b]);
  }
  int m = INT_MAX;
  for (int b = 0; b < N; ++b)
    if (sf[b] != mp3enc_no_step) m = std::min(m, int(sf[b]));
  if (m != INT_MAX && m != 0) {
    *global_gain -= u * m;
    for (int b = 0; b < N; ++b)
      if (sf[b] != mp3enc_no_step) sf[b] -= m;
  }
  if (effort < 2) return;

  // Trade scalefactor bits for spectral bits: when exactly one band sits at 0 and lifting it
  // lets the others drop a bit of their scalefactor width, give it a finer step.
  const int low = std::min(N, block_type == 2 ? 18 : 11);
  int a1 = 0, a2 = 0;
  for (int b = 0; b < N; ++b)
    if (sf[b] != mp3enc_no_step) (b < low ? a1 : a2) = std::max(b < low ? a1 : a2, int(sf[b]));
  const int B = ((a1 == 2 || a1 == 4 || a1 == 8) ? low : 0) + ((a2 == 2 || a2 == 4) ? N - low : 0);
  int zeros = 0, b0 = -1;
  for (int b = 0; b < N; ++b)
    if (sf[b] == 0) {
      ++zeros;
      b0 = b;
    }
  if (zeros != 1 || B < 1) return;
  const int lo = bounds[b0], w = bounds[b0 + 1] - lo;
  const float e = E[b0], s = S[b0];
  const int G2 = *global_gain;
  const int s0 = step_of(b0, G2, sf[b0], u, block_type, preflag, subblock_gain);
  const int nl = int(s / std::pow(e / w, 0.25f));
  auto bits = [&](int step) {
    return float(std::log(e / (float(std::exp2(0.375 * step)) * 4 * 0.037037037f * s) + 1.5f) * nl * 1.4426950f);
  };
  const float L = 1.18f * B - 4.0f + bits(s0);
  for (int k = 1; k <= 2; ++k) {
    if (bits(s0 - k * u) < L) {
      const float err = mp3enc_quant_band_error(x + lo, x34 + lo, trial_q + lo, w, s0 - k * u);
      if (err < error[b0]) {
        error[b0] = err;
        std::memcpy(q + lo, trial_q + lo, sizeof(int32_t) * w);
        sf[b0] = k;
      }
    }
  }
  if (sf[b0] >= 1) {
    for (int i = lo; i < lo + w; ++i)
      if (x[i] < 0.0f && q[i] > 0) q[i] = -q[i];
    *global_gain -= u;
    for (int b = 0; b < N; ++b)
      if (sf[b] != mp3enc_no_step) sf[b] -= 1;
  }
}

void mp3enc_quant_outer_loop(int n_in, int block_type, int32_t* sf, int32_t* global_gain, int32_t* subblock_gain,
                             int32_t* scalefac_scale, const int32_t* counts, const int32_t* slen,
                             int preflag_allowed, int32_t* preflag, const int32_t* bounds, int effort,
                             const float* x, const float* E, const float* D, const float* S, int32_t* q) {
  const bool is_short = block_type == 2;
  const int N = std::min(n_in, is_short ? 36 : 21);
  const int T = is_short ? 39 : 22;
  *scalefac_scale = 0;
  int32_t v[39];
  int G = 0;
  bool found_min = false;
  for (;;) {
    const int sfs = *scalefac_scale;
    const int u = 2 << sfs;
    for (int b = 0; b < T; ++b) v[b] = b < N ? sf[b] : mp3enc_no_step;
    int mn = INT_MAX;
    int n = 0;
    for (int b = 0; b < N; ++b)
      if (v[b] != mp3enc_no_step) {
        mn = std::min(mn, int(v[b]));
        ++n;
      }
    G = mn == INT_MAX ? 0 : -mn;
    int halves = 0;
    for (int b = 0; b < N; ++b)
      if (v[b] != mp3enc_no_step) {
        const double y = double(v[b] + G) / u;
        if (y - std::floor(y) >= 0.5) ++halves;
      }
    if (halves >= n / 2) G += 1 << sfs;
    for (int b = 0; b < N; ++b)
      if (v[b] != mp3enc_no_step) v[b] = std::max(0, v[b] + G);
    if (is_short) {
      for (int w = 0; w < 3; ++w) {
        int maxk[4];
        bool has[4] = {};
        int m = INT_MAX, start = 0;
        for (int k = 0; k < 4; ++k) {
          maxk[k] = 0;
          for (int b = start + ((w - start % 3) + 3) % 3; b < start + counts[k] && b < N; b += 3)
            if (v[b] != mp3enc_no_step) {
              maxk[k] = has[k] ? std::max(maxk[k], int(v[b])) : int(v[b]);
              has[k] = true;
              m = std::min(m, int(v[b]));
            }
          start += counts[k];
        }
        int a = m;
        for (int k = 0; k < 4; ++k) {
          const int Lk = 4 * ((1 << slen[k]) - 1);
          if (has[k] && maxk[k] - m > Lk) a = std::max(a, maxk[k] - Lk);
        }
        if (a == INT_MAX) a = 0;
        subblock_gain[w] = std::min(7, a / 8);
        for (int b = w; b < N; b += 3)
          if (v[b] != mp3enc_no_step) v[b] = std::max(0, v[b] - 8 * subblock_gain[w]);
      }
      *preflag = 0;
    } else {
      subblock_gain[0] = subblock_gain[1] = subblock_gain[2] = 0;
      *preflag = 0;
      if (preflag_allowed) {
        bool all = true;
        for (int b = 0; b < N; ++b)
          if (v[b] != mp3enc_no_step && v[b] < pretab(b) * u) all = false;
        if (all) {
          *preflag = 1;
          for (int b = 0; b < N; ++b)
            if (v[b] != mp3enc_no_step) v[b] -= pretab(b) * u;
        }
      }
    }
    int m = INT_MAX;
    for (int b = 0; b < N; ++b)
      if (v[b] != mp3enc_no_step) {
        v[b] = ((1 << sfs) + v[b]) >> (sfs + 1);
        m = std::min(m, int(v[b]));
      }
    found_min = m != INT_MAX;
    if (found_min && m > 0) {
      for (int b = 0; b < N; ++b)
        if (v[b] != mp3enc_no_step) v[b] -= m;
      G -= m * u;
    }
    if (sfs == 1) break;
    bool overflow = false;
    for (int b = 0; b < N; ++b)
      if (v[b] != mp3enc_no_step && v[b] >= (1 << slen[partition_of(b, counts)])) overflow = true;
    if (!overflow) break;
    *scalefac_scale = 1;
  }
  const int u = 2 << *scalefac_scale;
  // The estimates of the bands above N stay in sf for the band without a scalefactor.
  int32_t est21 = sf[21];
  std::memcpy(sf, v, sizeof(int32_t) * N);
  int e = 0;
  for (int b = 0; b < N; ++b)
    if (sf[b] != mp3enc_no_step) e = std::max(e, sf[b] - ((1 << slen[partition_of(b, counts)]) - 1));
  if (e > 0) {
    for (int b = 0; b < N; ++b)
      if (sf[b] != mp3enc_no_step) sf[b] = std::max(0, sf[b] - e);
    G -= e * u;
  }
  *global_gain = G;
  if (effort > 0)
    mp3enc_quant_inner_loop(sf, global_gain, q, *preflag, subblock_gain, *scalefac_scale, block_type, bounds, N,
                            counts, slen, x, E, D, S, effort);
  if (!is_short && n_in >= 22) {
    if (!found_min && est21 != mp3enc_no_step) *global_gain = -est21;
    if (est21 != mp3enc_no_step) sf[21] = 0;
    if (effort > 0) {
      // Band 21 alone: its boundaries are absolute line indexes, so this also clears the rest.
      mp3enc_quant_bands(1, bounds + 21, x, *global_gain, 0, subblock_gain, 0, 0, sf + 21, q);
      const int lo = bounds[21];
      for (int i = lo; i < bounds[22]; ++i) q[i] = std::clamp(q[i], -8191, 8191);
    }
  }
}
