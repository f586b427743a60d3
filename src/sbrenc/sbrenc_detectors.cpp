#include "sbrenc/sbrenc_detectors.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "sbrenc/sbrenc_grid.h"
#include "sbrenc/sbrenc_tonality.h"

namespace {
const float noise_smoothing[4] = {0.05857864394783974f, 0.20000000298023224f, 0.34142136573791504f,
                                  0.4000000059604645f};

const sbrenc_invf_params invf_params = {
    {2.0f, 12.69920825958252f, 40.317474365234375f, 128.0f},
    {1.587401032447815f, 4.0f, 8.0f, 16.0f},
    {104031.9140625f, 1048576.0f, 10568984.0f, 106528680.0f},
    4,
    4,
    4,
    1.2599209547042847f,
    {{2, 2, 1, 0, 0}, {2, 2, 1, 0, 0}, {3, 2, 2, 0, 0}, {3, 3, 2, 0, 0}, {3, 3, 2, 0, 0}},
    {{1, 1, 1, 0, 0}, {1, 1, 1, 0, 0}, {3, 2, 2, 0, 0}, {3, 3, 2, 0, 0}, {3, 3, 1, 0, 0}},
    {-4, -3, -2, -1, 0},
};
}  // namespace

const mp3enc_error* sbrenc_noise_create(sbrenc_noise_detector** out, int32_t m, const int32_t* table, int32_t last,
                                        int32_t bands_per_octave, const int32_t* band_scales, int32_t frame_length,
                                        int32_t flag) {
  *out = nullptr;
  auto* d = static_cast<sbrenc_noise_detector*>(std::calloc(1, sizeof(sbrenc_noise_detector)));
  if (!d) return mp3enc_generic_error();
  d->history = static_cast<float**>(std::calloc(4, sizeof(float*)));
  d->borders = static_cast<int32_t*>(std::calloc(11, sizeof(int32_t)));
  bool ok = d->history && d->borders;
  for (int i = 0; ok && i < 4; ++i) ok = (d->history[i] = static_cast<float*>(std::calloc(10, sizeof(float))));
  if (!ok) {
    sbrenc_noise_free(d);
    return mp3enc_generic_error();
  }
  d->max_level = static_cast<float>(std::pow(2.0, m / 3.0));
  d->source_factor = flag ? 1.0f : 0.25f;
  d->level_limit = flag ? 1 : 2;
  d->bands_per_octave = bands_per_octave;
  for (int i = 0; i < 5; ++i) d->band_scales[i] = static_cast<float>(std::pow(2.0, band_scales[i] / 3.0));
  d->frame_length = frame_length;
  d->history_length = 4;
  d->smoothing = noise_smoothing;
  if (const mp3enc_error* e = sbrenc_noise_bands(d, table, last)) {
    sbrenc_noise_free(d);
    return e;
  }
  *out = d;
  return nullptr;
}

const mp3enc_error* sbrenc_noise_bands(sbrenc_noise_detector* d, const int32_t* f, int32_t last) {
  int32_t count = 1;
  if (d->bands_per_octave != 0) {
    count = static_cast<int32_t>(d->bands_per_octave * 1.4426950216293335 *
                                     std::log(static_cast<double>(f[last]) / f[0]) +
                                 0.5);
    if (count == 0) count = 1;
  }
  // The record holds ten bands; the decoder derives the same count from the header, so
  // it is not otherwise reduced here (bands without width are met where levels are formed).
  if (count > 10) return mp3enc_generic_error();
  int32_t idx[11] = {0};
  int32_t remaining = last, steps = 0;
  for (int32_t i = 1; remaining > 0 && i <= count; ++i) {
    const int32_t step = remaining / (count - i + 1);
    idx[i] = idx[i - 1] + step;
    remaining -= step;
    steps = i;
  }
  if (steps != count) return mp3enc_generic_error();
  for (int32_t j = 0; j <= count; ++j) d->borders[j] = f[idx[j]];
  d->band_count = count;
  return nullptr;
}

void sbrenc_noise_free(sbrenc_noise_detector* d) {
  if (!d) return;
  if (d->history)
    for (int i = 0; i < 4; ++i) std::free(d->history[i]);
  std::free(d->history);
  std::free(d->borders);
  std::free(d);
}

const mp3enc_error* sbrenc_invf_create(sbrenc_invf_detector** out, int32_t mode, const int32_t* table, int32_t index) {
  *out = nullptr;
  if (mode != 2) return mp3enc_generic_error();
  auto* d = static_cast<sbrenc_invf_detector*>(std::calloc(1, sizeof(sbrenc_invf_detector)));
  if (!d) return mp3enc_generic_error();
  d->n = 2;
  d->params = &invf_params;
  d->borders = static_cast<int32_t*>(std::calloc(2, sizeof(int32_t)));
  d->group = static_cast<sbrenc_invf_group*>(std::calloc(1, sizeof(sbrenc_invf_group)));
  bool ok = d->borders && d->group;
  if (ok) {
    d->allocated = 1;
    for (int i = 0; ok && i < 4; ++i)
      ok = (d->group->history[i] = static_cast<float*>(std::calloc(d->n + 1, sizeof(float))));
  }
  const mp3enc_error* e = ok ? sbrenc_invf_set_bands(d, table, index, mode) : mp3enc_generic_error();
  if (e) {
    sbrenc_invf_free(d);
    return e;
  }
  *out = d;
  return nullptr;
}

const mp3enc_error* sbrenc_invf_set_bands(sbrenc_invf_detector* d, const int32_t* table, int32_t index, int32_t mode) {
  if (mode != 2) return mp3enc_generic_error();
  d->top_count = 5;
  d->borders[0] = table[0];
  d->borders[1] = table[index];
  d->groups = 1;
  return nullptr;
}

void sbrenc_invf_free(sbrenc_invf_detector* d) {
  if (!d) return;
  if (d->group)
    for (int g = 0; g < d->allocated; ++g)
      for (float* h : d->group[g].history) std::free(h);
  std::free(d->group);
  std::free(d->borders);
  std::free(d);
}

void sbrenc_invf_measures(float* const* tonality, const int32_t* map, const float* block_energy,
                          sbrenc_invf_group* grp, int32_t lo, int32_t hi, int32_t first, int32_t end, int32_t n,
                          int32_t top_count) {
  float own[64] = {}, src[64] = {};
  float energy = 0.0f;
  for (int32_t b = first; b < end; ++b) {
    energy += block_energy[b];
    for (int32_t k = lo; k < hi; ++k) {
      own[k] += tonality[b][k];
      if (map[k] != -1) src[k] += tonality[b][map[k]];
    }
  }
  const float inv_f = 1.0f / static_cast<float>(end - first);
  grp->mean_energy = energy * inv_f;
  float sum_own = 0.0f, sum_src = 0.0f;
  for (int32_t k = lo; k < hi; ++k) {
    own[k] *= inv_f;
    src[k] *= inv_f;
    sum_own += own[k];
    sum_src += src[k];
  }
  const int32_t width = hi - lo;
  const float inv_w = width > 0 ? 1.0f / static_cast<float>(width) : 0.0f;
  const float mean_own = sum_own * inv_w, mean_src = sum_src * inv_w;
  float top_own = 0.0f, top_src = 0.0f;
  if (width > 0) {
    sbrenc_sort_floats(own + lo, width);
    sbrenc_sort_floats(src + lo, width);
    const int32_t u = std::min(top_count, width);
    for (int32_t i = 0; i < u; ++i) {
      top_own += own[hi - 1 - i];
      top_src += src[hi - 1 - i];
    }
    top_own *= 1.0f / static_cast<float>(u);
    top_src *= 1.0f / static_cast<float>(u);
    grp->max_own = own[hi - 1];
    grp->max_source = src[hi - 1];
  }
  const float now[4] = {mean_own, mean_src, top_own, top_src};
  static const float filter[3] = {0.125f, 0.375f, 0.5f};
  for (int32_t h = 0; h < 4; ++h) {
    float* hist = grp->history[h];
    for (int32_t i = 0; i < n; ++i) hist[i] = hist[i + 1];
    hist[n] = now[h];
    float s = 0.0f;
    for (int32_t i = 0; i <= n; ++i) s += hist[i] * filter[i];
    grp->smoothed[h] = s;
  }
}

namespace {
int32_t count_at_or_below(const float* thresholds, int32_t count, float x) {
  int32_t level = 0;
  while (level < count && thresholds[level] <= x) ++level;
  return level;
}
}  // namespace

int32_t sbrenc_level_hysteresis(const sbrenc_invf_params* p, int32_t transient, int32_t* prev_source,
                                const sbrenc_invf_group* grp, int32_t* prev_own, int32_t /*kind*/) {
  const float xs = grp->smoothed[3], xo = grp->smoothed[2], xe = grp->mean_energy;
  float src[4], own[4];
  for (int i = 0; i < 4; ++i) {
    src[i] = p->source_thresholds[i];
    own[i] = p->own_thresholds[i];
  }
  if (*prev_source < p->source_count) src[*prev_source] *= p->hysteresis;
  if (*prev_source > 0) src[*prev_source - 1] /= p->hysteresis;
  if (*prev_own < p->own_count) own[*prev_own] *= p->hysteresis;
  if (*prev_own > 0) own[*prev_own - 1] /= p->hysteresis;
  const int32_t ls = count_at_or_below(src, p->source_count, xs);
  const int32_t lo = count_at_or_below(own, p->own_count, xo);
  const int32_t le = count_at_or_below(p->energy_thresholds, p->energy_count, xe);
  *prev_source = ls;
  *prev_own = lo;
  const int32_t level = (transient == 1 ? p->table_transient : p->table)[ls][lo] + p->energy_offset[le];
  return std::max(level, 0);
}

void sbrenc_invf_decide(sbrenc_invf_detector* d, float* const* tonality, const float* block_energy,
                        const int32_t* map, int32_t first, int32_t end, int32_t transient, int32_t* levels,
                        int32_t kind) {
  for (int32_t g = 0; g < d->groups; ++g) {
    sbrenc_invf_measures(tonality, map, block_energy, &d->group[g], d->borders[g], d->borders[g + 1], first, end,
                         d->n, d->top_count);
    levels[g] = sbrenc_level_hysteresis(d->params, transient, &d->prev_source[g], &d->group[g], &d->prev_own[g],
                                        kind);
  }
}

void sbrenc_noise_band_level(float* cell, float* const* tonality, const int32_t* map, int32_t t0, int32_t t1,
                             int32_t k0, int32_t k1, float scale, float source_factor, int32_t level_limit,
                             int32_t level, float max_level) {
  const float inv_t = 1.0f / static_cast<float>(t1 - t0);
  float own = 0.0f, src = 0.0f;
  for (int32_t k = k0; k < k1; ++k) {
    float o = 0.0f, s = 0.0f;
    for (int32_t b = t0; b < t1; ++b) {
      o += tonality[b][k];
      s += tonality[b][map[k] >= 0 ? map[k] : k];
    }
    own += o * inv_t;
    src += s * inv_t;
  }
  // A band without width has no tonality to average: it is treated as silent.
  const float inv_w = k1 > k0 ? 1.0f / static_cast<float>(k1 - k0) : 0.0f;
  float o = own * inv_w, s = src * inv_w;
  if (o < 0.000976562f && s < 0.000976562f) {
    o = s = 101.59366607666016f;
  } else {
    o = std::max(o, 1.0f);
    s = std::max(s, 1.0f);
  }
  float f = std::max(1.0f, s * source_factor * (1.0f / o));
  if (level <= level_limit) f = 1.0f;
  f = f * (1.0f / o) * scale;
  *cell = std::min(f, max_level);
}

void sbrenc_noise_floor_levels(sbrenc_noise_detector* d, const sbrenc_grid_info* grid, float* out,
                               float* const* tonality, const int32_t* map, int32_t transient, const int32_t* levels) {
  const int32_t n = d->band_count;
  float v[10];
  for (int32_t i = 0; i < n; ++i)
    sbrenc_noise_band_level(&v[i], tonality, map, 0, 1, d->borders[i], d->borders[i + 1], d->band_scales[std::min(i, 4)],
                            d->source_factor, d->level_limit, levels[i], d->max_level);
  if (transient == 0) {
    float* oldest = d->history[0];
    for (int32_t r = 0; r < 3; ++r) d->history[r] = d->history[r + 1];
    d->history[3] = oldest;
    for (int32_t i = 0; i < n; ++i) d->history[3][i] = v[i];
  } else {
    for (int32_t r = 0; r < 4; ++r)
      for (int32_t i = 0; i < n; ++i) d->history[r][i] = v[i];
  }
  for (int32_t i = 0; i < n; ++i) {
    float s = 0.0f;
    for (int32_t r = 0; r < 4; ++r) s += d->smoothing[r] * d->history[r][i];
    v[i] = s;
  }
  for (int32_t e = 0; e < grid->noise_envelopes; ++e)
    for (int32_t i = 0; i < n; ++i)
      out[e * n + i] = 6.0f - static_cast<float>(1.4426950216293335 * std::log(v[i]));
}

void sbrenc_band_detectors(sbrenc_tonality_set* set, int32_t* levels, float* nf, const sbrenc_grid_info* grid,
                           const int32_t transient[2], int32_t kind) {
  int32_t t = 0;
  const int32_t end = grid->borders[grid->envelopes];
  const int32_t p = transient[0] + set->position_offset;
  if (set->pending_transient) {
    set->pending_transient = 0;
    t = 1;
    if (transient[1] && p >= end) set->pending_transient = 1;
  } else if (transient[1]) {
    if (p < end)
      t = 1;
    else
      set->pending_transient = 1;
  }
  const sbrenc_tonality_record& r = set->rec;
  if (set->invf_switch)
    sbrenc_invf_decide(set->invf, r.tonality, r.block_energy, set->source_map, set->first_block,
                       set->first_block + r.blocks, t, levels, kind);
  sbrenc_noise_floor_levels(set->noise, grid, nf, r.tonality, set->source_map, t, levels);
}
