// Bit allocation: perceptual entropy of each channel against the bits a granule may spend,
// raising the allowed distortions until the entropy fits, and each channel's share.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "mp3enc/quant.h"

namespace {

constexpr float tiny = 1.1754944e-38f;

float clampf(float x, float lo, float hi) { return std::min(std::max(x, lo), hi); }

// PE of every channel of the granule; returns the total S1.
float measure_pe(mp3enc_granule_analysis* g, mp3enc_band_pe_record* pe, int channels, float (*S)[39]) {
  float P = 0.0f;
  for (int c = 0; c < channels; ++c) {
    mp3enc_channel_analysis& ch = g->ch[c];
    mp3enc_band_log_nlines(&pe[c], ch.energy, ch.thr, S[c], ch.bounds, ch.active_bands, ch.block_type);
    mp3enc_band_pe(&pe[c], ch.energy, ch.thr, ch.active_bands);
    ch.pe = pe[c].S1;
    P += pe[c].S1;
  }
  return P;
}

void recompute_pe(mp3enc_granule_analysis* g, mp3enc_band_pe_record* pe, int channels, float* S1, float* S2,
                  int* K) {
  *S1 = *S2 = 0.0f;
  *K = 0;
  for (int c = 0; c < channels; ++c) {
    mp3enc_channel_analysis& ch = g->ch[c];
    mp3enc_band_pe(&pe[c], ch.energy, ch.thr, ch.active_bands);
    ch.pe = pe[c].S1;
    *S1 += pe[c].S1;
    *S2 += pe[c].S2;
    *K += pe[c].K;
  }
}

}  // namespace

void mp3enc_select_sacrificed_bands(int8_t (*flags)[39], mp3enc_granule_analysis* g, int channels,
                                    const mp3enc_band_pe_record* pe, float target) {
  for (int c = 0; c < channels; ++c) {
    const mp3enc_channel_analysis& ch = g->ch[c];
    const int n = ch.active_bands;
    const float* E = ch.energy;
    const bool is_short = ch.block_type == 2;
    for (int b = 0; b < n; ++b) {
      flags[c][b] = 1;
      if (channels == 2 && g->ms && g->ch[1 - c].energy[b] > 10 * E[b]) flags[c][b] = 0;
      if (!is_short) {
        const float e1 = b >= 1 ? E[b - 1] : 0.0f, e2 = b >= 2 ? E[b - 2] : 0.0f;
        if (E[b] < 0.05f * e1 || E[b] < 0.005f * e2) flags[c][b] = 0;
      }
    }
    float sumE = 0.0f, minE = 3.4028235e38f, P = 100.0f;
    int count = 0;
    for (int b = 0; b < n; ++b)
      if (flags[c][b] == 1 && ch.thr[b] < E[b]) {
        sumE += E[b];
        minE = std::min(minE, E[b]);
        ++count;
        P += 1.5f * pe[c].k[b];
      }
    if (P <= target) continue;
    const float lmin = std::log10(minE + tiny);
    const float lmean = std::log10(sumE / (count + tiny) + tiny);
    const float qj[4] = {7.0f / 7, 5.0f / 7, 3.0f / 7, 1.0f / 7};
    float lambda[4], Q[4] = {};
    for (int j = 0; j < 4; ++j) lambda[j] = std::pow(10.0f, lmin + (lmean - lmin) * qj[j]);
    const int from = is_short ? 3 : 5;
    for (int b = from; b < n; ++b)
      if (flags[c][b] != 0 && E[b] > ch.thr[b])
        for (int j = 0; j < 4; ++j)
          if (E[b] < lambda[j]) Q[j] += 1.5f * pe[c].k[b];
    float cut = lambda[3];
    if (target <= P - Q[3]) {
      cut = lambda[2];
      if (target <= P - Q[2]) {
        cut = lambda[1];
        if (target <= P - Q[1]) {
          cut = lambda[0];
          if (target <= P - Q[0]) cut = 1e10f * (sumE / (count + tiny));
        }
      }
    }
    for (int b = from; b < n; ++b)
      if (E[b] < cut) flags[c][b] = 0;
  }
}

void mp3enc_bitalloc_factor_update(mp3enc_bitalloc_state* st, int n, float x, float y) {
  if (n < 1 || y >= 1.5f * x || y <= 0.7f * x || x >= 1.2f * (1.18f * n) || x <= 0.8f * (1.18f * n)) {
    st->m = 1.0f;
    return;
  }
  const float r = x * (1.0f / (1.18f * n));
  float prev = st->m;
  if ((r > 1.0f && prev < 1.0f) || (r < 1.0f && prev > 1.0f)) prev = 1.0f;
  st->m = clampf(0.2f * r + 0.8f * prev, 0.85f, 1.15f);
}

void mp3enc_band_log_nlines(mp3enc_band_pe_record* rec, const float* energy, const float* thr, const float* c,
                            const int32_t* bounds, int n, int block_type) {
  mp3enc_kernels().band_log_nlines(&rec->est, energy, thr, c, bounds, n, block_type);
}

void mp3enc_band_pe(mp3enc_band_pe_record* rec, const float* e, const float* t, int bands) {
  const int base = rec->est.lines[39];
  float s1 = float(base), s2 = float(base);
  int K = 0;
  for (int b = 0; b < bands; ++b) {
    if (t[b] < e[b]) {
      const float v = rec->est.log[b] - float(0.5 * mp3enc_fast_log2(t[b] * t[b]));
      const int n = rec->est.lines[b];
      if (v < 3.0f) {
        rec->pe[b] = (0.5593573f * v + 1.3219281f) * n;
        rec->pe2[b] = (1.3219281f + 0.5593573f * rec->est.log[b]) * n;
        rec->k[b] = int(0.5593573f * n + 0.5f);
      } else {
        rec->pe[b] = v * n;
        rec->pe2[b] = rec->est.log[b] * n;
        rec->k[b] = n;
      }
    } else {
      rec->pe[b] = rec->pe2[b] = 0.0f;
      rec->k[b] = 0;
    }
    s1 += rec->pe[b];
    s2 += rec->pe2[b];
    K += rec->k[b];
  }
  rec->S1 = s1;
  rec->S2 = s2;
  rec->K = K;
}

float mp3enc_bit_demand(const mp3enc_band_pe_record* rec, int bands) {
  float A = -3.4028235e38f;
  for (int b = 0; b < bands; ++b) A = std::max(A, rec->est.log[b]);
  float sum = 0.0f;
  for (int b = 0; b < bands; ++b) {
    const int k = rec->k[b];
    if (k <= 0) continue;
    sum += std::max(0.5f, 2 * rec->pe[b] / k - 10) * std::max(0.08f, 1 - 0.066f * (A - rec->est.log[b])) * k /
           std::sqrt(float(k));
  }
  return 7.5f * sum;
}

float mp3enc_ramp_down(float x, const float* r) {
  return r[3] - (r[3] - r[2]) * (clampf(x, r[0], r[1]) - r[0]) / (r[1] - r[0]);
}

float mp3enc_ramp_up(float x, const float* r) {
  return r[2] + (clampf(x, r[0], r[1]) - r[0]) / (r[1] - r[0]) * (r[3] - r[2]);
}

void mp3enc_rate_adapt_init(mp3enc_rate_adapt* rec, float v) {
  rec->lo = 0.8f * v;
  rec->hi = 1.2f * v;
  const float rows[4][4] = {{0.2f, 0.9f, -0.05f, 0.3f}, {0.2f, 0.9f, -0.03f, 0.5f}, {0.2f, 0.9f, -0.05f, 0.2f},
                            {0.2f, 0.8f, -0.03f, 1.0f}};
  std::memcpy(rec->rows, rows, sizeof rows);
}

void mp3enc_range_track(float x, float* lo, float* hi) {
  if (x <= *hi && x >= *lo) {
    *lo += 0.3f * (x - *lo);
    *hi -= 0.07f * (*hi - x);
  }
  if (x < *lo) {
    const float d = *lo - x;
    *lo -= 0.14f * d;
    *hi -= 0.07f * d;
  }
  if (x > *hi) {
    const float d = x - *hi;
    *lo += 0.3f * d;
    *hi = x;
  }
  const float W = 0.25f * x;
  if (*hi - *lo < W) {
    const float a = std::max(0.0f, x - *lo), b = std::max(0.0f, *hi - x);
    if (a + b > 0) {
      *hi = x + W * b / (a + b);
      *lo = std::max(0.0f, x - W * a / (a + b));
    }
  }
}

float mp3enc_rate_adapt_factor(float a, float n, float N, float p, int block_type, mp3enc_rate_adapt* rec) {
  float result = 1.0f;
  if (n > 0) {
    const float f = n > N ? 1.0f : n / N;
    const float y = a / n;
    const float* r0 = rec->rows[block_type == 2 ? 2 : 0];
    const float* r1 = rec->rows[block_type == 2 ? 3 : 1];
    const float D = mp3enc_ramp_down(y, r0), U = mp3enc_ramp_up(y, r1);
    const float P = clampf(p, rec->lo, rec->hi);
    const float span = rec->hi - rec->lo;
    result = 1 - f * D + (span > 0 ? (P - rec->lo) / span : 0.0f) * (f * D + f * U);
  }
  mp3enc_range_track(p, &rec->lo, &rec->hi);
  return result;
}

mp3enc_bitalloc_state* mp3enc_bitalloc_new() { return new (std::nothrow) mp3enc_bitalloc_state(); }

int mp3enc_bitalloc_create(mp3enc_bitalloc_state** out) {
  if (!out) return 1;
  *out = mp3enc_bitalloc_new();
  return *out ? 0 : 1;
}

void mp3enc_bitalloc_free(mp3enc_bitalloc_state* st) { delete st; }

void mp3enc_bitalloc_init(mp3enc_bitalloc_state* st, float factor, int rate_level) {
  mp3enc_rate_adapt_init(&st->adapt, factor);
  st->last_budget = 0.0f;
  st->spent = 0;
  st->m = 1.0f;
  const float x = -float(rate_level) * 3.125e-05f;
  const float Fl = float(std::pow(10.0, double(x) * 10 * 0.1));
  const float Fs = float(std::pow(10.0, double(x) * 12 * 0.1));
  const float H = rate_level >= 48000 ? 0.5f : 0.63f;
  static const float Tl[22] = {0.004f, 0.004f, 0.006f, 0.011f, 0.02f, 0.032f, 0.05f, 0.1f, 0.2f, 0.32f, 0.44f,
                               0.63f,  0.63f,  0.63f,  0.63f,  0.63f, 0.63f,  0.63f, 0.63f, 0.63f, 0.63f, 0.63f};
  static const float Ts[13] = {0.004f, 0.004f, 0.004f, 0.006f, 0.016f, 0.05f, 0.25f,
                               0.5f,   0.63f,  0.63f,  0.63f,  0.63f,  0.63f};
  for (int b = 0; b < 22; ++b) st->limit_long[b] = std::min(std::max(Tl[b], Fl), H);
  for (int b = 0; b < 13; ++b)
    for (int w = 0; w < 3; ++w) st->limit_short[3 * b + w] = std::max(Ts[b], Fs);
}

void mp3enc_bitalloc_set_spent(mp3enc_bitalloc_state* st, int bits) { st->spent = bits; }

void mp3enc_raise_thresholds(mp3enc_granule_analysis* g, mp3enc_band_pe_record* pe, const float* L_long,
                             const float* L_short, int channels, float T, float (*S)[39]) {
  (void)S;
  float r[2][39];
  int8_t flags[2][39];
  const float* thresholds[2] = {g->ch[0].thr, g->ch[1].thr};
  const int32_t counts[2] = {g->ch[0].active_bands, g->ch[1].active_bands};
  mp3enc_kernels().band_root4(r, thresholds, counts, channels);
  mp3enc_select_sacrificed_bands(flags, g, channels, pe, T);
  float S1, S2;
  int K;
  recompute_pe(g, pe, channels, &S1, &S2, &K);
  auto apply = [&](float a) {
    for (int c = 0; c < channels; ++c) {
      mp3enc_channel_analysis& ch = g->ch[c];
      const float* L = ch.block_type == 2 ? L_short : L_long;
      for (int b = 0; b < ch.active_bands; ++b) {
        float& D = ch.thr[b];
        const float E = ch.energy[b];
        if (!(D < E)) continue;
        const float base = a + r[c][b];
        const float t = base * base * base * base;
        if (t > L[b] * E && flags[c][b] != 0) {
          flags[c][b] = 2;
          D = std::max(L[b] * E, D);
        } else {
          D = t;
        }
      }
    }
  };
  if (K <= 0) return;
  float f = 1.0f / (4.0f * K);
  float a = std::exp2((S2 - T) * f) - std::exp2((S2 - S1) * f);
  apply(a);
  recompute_pe(g, pe, channels, &S1, &S2, &K);
  float P1 = 0.0f, P2 = 0.0f;
  int Kf = 0;
  for (int c = 0; c < channels; ++c)
    for (int b = 0; b < g->ch[c].active_bands; ++b)
      if (flags[c][b] < 2) {
        P1 += pe[c].pe[b];
        P2 += pe[c].pe2[b];
        Kf += pe[c].k[b];
      }
  if (Kf > 0) {
    f = 1.0f / (4.0f * Kf);
    a += std::exp2((P2 - (T - (S1 - P1))) * f) - std::exp2((P2 - P1) * f);
    apply(a);
  }
  recompute_pe(g, pe, channels, &S1, &S2, &K);
  float w[2][39], W = 0.0f;
  for (int c = 0; c < channels; ++c)
    for (int b = 0; b < g->ch[c].active_bands; ++b) {
      w[c][b] = (flags[c][b] < 2 || T - S1 > 0) ? (1.0f / (a + r[c][b])) * pe[c].k[b] : 0.0f;
      W += w[c][b];
    }
  if (W <= 0) return;
  for (int c = 0; c < channels; ++c) {
    mp3enc_channel_analysis& ch = g->ch[c];
    const float* L = ch.block_type == 2 ? L_short : L_long;
    for (int b = 0; b < ch.active_bands; ++b) {
      if (pe[c].k[b] <= 0) continue;
      const float e = std::min(-(w[c][b] * (1.0f / W) * (T - S1)) * (1.0f / pe[c].k[b]), 20.0f);
      ch.thr[b] *= std::exp2(e);
      if (ch.thr[b] > L[b] * ch.energy[b] && flags[c][b] == 1) {
        ch.thr[b] = L[b] * ch.energy[b];
        flags[c][b] = 2;
      }
    }
  }
}

void mp3enc_bitalloc_budget(mp3enc_bitalloc_state* st, mp3enc_granule_analysis* g, float* shares, float (*S)[39],
                            int channels, int budget_base, int cap_bits, int aux_bits) {
  mp3enc_band_pe_record pe[2];
  const float P = measure_pe(g, pe, channels, S);
  // Two channels divide the granule's bits by their entropies as both stood before any
  // raising, so that the shares add up to one and the granule spends what it was given. One
  // channel keeps its entropy after raising against the total before: a brake that banks the
  // bits of a raised granule for the next ones, which speech at the low rates gains from.
  float entropy[2] = {pe[0].S1, channels == 2 ? pe[1].S1 : 0.0f};
  const int is_short = (g->ch[0].block_type == 2 || (channels == 2 && g->ch[1].block_type == 2)) ? 2 : 0;
  const float base = float(std::max(budget_base, 1));
  const float D = mp3enc_rate_adapt_factor(float(cap_bits), float(aux_bits), base, P, is_short, &st->adapt);
  const float r = std::min(D, float(cap_bits) * 0.95f * (1.0f / base) + 0.9f);
  const float V = base * r;
  const float budget = V * 1.18f;
  mp3enc_bitalloc_factor_update(st, st->spent, st->last_budget, std::min(budget, P));
  if (budget * st->m < P)
    mp3enc_raise_thresholds(g, pe, st->limit_long, st->limit_short, channels, budget * st->m, S);
  if (channels == 1) entropy[0] = g->ch[0].pe;
  const float f = clampf(1.0f / V * 60.0f, 0.1f, 0.5f);
  for (int c = 0; c < channels; ++c)
    shares[c] = P == 0.0f ? 1.0f / channels : (1.0f - channels * f) * (entropy[c] / P) + f;
  st->last_budget = budget;
}

void mp3enc_bitalloc_demand(mp3enc_bitalloc_state* st, mp3enc_granule_analysis* g, float* shares, float (*S)[39],
                            int channels, int cap_base, float scale) {
  mp3enc_band_pe_record pe[2];
  const float P = measure_pe(g, pe, channels, S);
  float demand = 0.0f;
  for (int c = 0; c < channels; ++c) demand += mp3enc_bit_demand(&pe[c], g->ch[c].active_bands);
  float V = scale * std::log(1.0f + (1.0f / scale) * demand);
  if (g->ch[0].block_type == 2 || (channels == 2 && g->ch[1].block_type == 2)) V *= 1.5f;
  V = std::min(V, cap_base * 0.9f * 1.18f);
  if (V < P) mp3enc_raise_thresholds(g, pe, st->limit_long, st->limit_short, channels, V, S);
  for (int c = 0; c < channels; ++c)
    shares[c] = P == 0.0f ? 0.15f : (channels * (-0.15f) + 1.0f) * (g->ch[c].pe / P) + 0.15f;
}
