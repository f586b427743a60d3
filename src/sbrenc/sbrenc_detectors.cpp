#include "sbrenc/sbrenc_detectors.h"

#include <cmath>
#include <cstdlib>

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
