// Envelope and noise-floor decoding.
#include "mp3dec/sbr/sbr_envelope.h"

#include <cmath>
#include <cstring>

namespace {

// The high bands low band i covers: first and count.
void covered(int i, int d, int* first, int* count) {
  if (d == 1 && i == 0) {
    *first = 0;
    *count = 1;
  } else {
    *first = 2 * i - d;
    *count = 2;
  }
}

}  // namespace

void sbrdec_store_prev(float value, SbrPrevFrame* mem, int d, int band, int resolution) {
  int first = band, count = 1;
  if (!resolution) covered(band, d, &first, &count);
  for (int j = 0; j < count; ++j) mem->env[first + j] = value;
}

bool sbrdec_delta_decode(SbrElementData* e, SbrPrevFrame* mem) {
  const float top = e->header.amp_resolution == 0 ? 70.0f : 35.0f;
  const int d = 2 * e->low_bands - e->high_bands;
  bool ok = true;
  int k = 0;
  for (int l = 0; l < e->grid.envelopes; ++l) {
    const bool high = e->grid.freq_res[l] != 0;
    const int bands = high ? e->high_bands : e->low_bands;
    for (int b = 0; b < bands; ++b, ++k) {
      int first = b, count = 1;
      if (!high) covered(b, d, &first, &count);
      if (first < 0 || first + count > 48) return false;
      float v;
      if (e->dir_env[l] == 0)
        v = b == 0 ? e->env[k] : e->energy[k - 1] + e->env[k];
      else
        v = e->env[k] + mem->env[first];
      if (v < 0.0f || v > top) ok = false;
      e->energy[k] = v;
      sbrdec_store_prev(v < 0.0f ? 0.0f : v > top ? top : v, mem, d, b, high);
    }
  }
  return ok;
}

namespace {

void adapt_coupling(SbrElementData* e, SbrPrevFrame* mem, const SbrPrevFrame* other) {
  if (e->coupling == mem->coupling) return;
  for (int b = 0; b < 48; ++b) {
    if (mem->coupling == 2 && other)
      mem->env[b] = other->env[b];
    else if (e->coupling == 1 && other)
      mem->env[b] = 0.5f * (mem->env[b] + other->env[b]);
    else if (e->coupling == 2)
      mem->env[b] = 12.0f;
  }
}

}  // namespace

void sbrdec_decode_channel_envelopes(SbrElementData* e, SbrPrevFrame* mem, const SbrPrevFrame* other, int mode) {
  (void)mode;
  const bool fine = e->header.amp_resolution == 0;
  const float top = fine ? 70.0f : 35.0f;
  const bool balance = e->coupling == 2;
  const int o = e->prev_last_border - SBR_TIME_SLOTS;
  bool conceal = e->header.conceal != 0;
  bool recovery = false;
  if (!conceal) {
    if (e->grid.borders[0] != o) {
      if (e->dir_env[0] == 1)
        conceal = true;
      else
        recovery = true;
    }
    if (mem->concealed) recovery = true;
  }
  if (!conceal) {
    adapt_coupling(e, mem, other);
    float lift = 0.0f;
    if (recovery && o < e->grid.borders[1] && o != e->grid.borders[0]) {
      const float old_width = float(e->grid.borders[1] - e->grid.borders[0]);
      const float new_width = float(e->grid.borders[1] - o);
      e->grid.borders[0] = o;
      e->grid.noise_borders[0] = o;
      // The envelope's energy now spreads over more (or fewer) slots.
      if (!balance) lift = std::log2(old_width / new_width) / 2.0f * (fine ? 2.0f : 1.0f);
    }
    SbrPrevFrame saved = *mem;
    if (sbrdec_delta_decode(e, mem)) {
      const int bands = e->grid.freq_res[0] ? e->high_bands : e->low_bands;
      for (int b = 0; b < bands; ++b) e->energy[b] += lift;
    } else {
      *mem = saved;
      conceal = true;
    }
  }
  if (conceal) {
    e->header.conceal = 1;
    e->coupling = mem->coupling;
    e->grid.envelopes = 1;
    e->grid.borders[0] = o;
    e->grid.borders[1] = SBR_TIME_SLOTS;
    e->grid.freq_res[0] = 1;
    e->grid.transient = -1;
    e->grid.noise_floors = 1;
    e->grid.noise_borders[0] = o;
    e->grid.noise_borders[1] = SBR_TIME_SLOTS;
    e->dir_env[0] = 1;
    e->dir_noise[0] = 1;
    const bool bal = e->coupling == 2;
    for (int b = 0; b < e->high_bands && b < 48; ++b) {
      if (bal)
        e->env[b] = mem->env[b] <= 12.0f ? 0.5f : -0.5f;
      else
        e->env[b] = mem->env[b] <= 0.0f ? 1.0f : -1.0f;
    }
    for (int b = 0; b < SBR_MAX_NOISE_BANDS; ++b) e->noise[0][b] = 0.0f;
    sbrdec_delta_decode(e, mem);
  }
  mem->concealed = conceal ? 1 : 0;
  // Dequantisation.
  const float a = fine ? 0.5f : 1.0f;
  int k = 0;
  for (int l = 0; l < e->grid.envelopes; ++l) {
    const int bands = e->grid.freq_res[l] ? e->high_bands : e->low_bands;
    for (int b = 0; b < bands; ++b, ++k) {
      float v = e->energy[k];
      v = v < 0.0f ? 0.0f : v > top ? top : v;
      e->energy[k] = 64.0f * std::exp2(a * v);
    }
  }
}

void sbrdec_decode_noise(SbrElementData* e, SbrPrevFrame* mem) {
  const int n = e->noise_bands < SBR_MAX_NOISE_BANDS ? e->noise_bands : SBR_MAX_NOISE_BANDS;
  for (int q = 0; q < e->grid.noise_floors && q < 2; ++q) {
    for (int b = 0; b < n; ++b) {
      float v;
      if (e->dir_noise[q] == 1)
        v = (q == 0 ? mem->noise[b] : e->noise_level[0][b]) + e->noise[q][b];
      else
        v = b == 0 ? e->noise[q][0] : e->noise_level[q][b - 1] + e->noise[q][b];
      e->noise_level[q][b] = v;
    }
    for (int b = 0; b < n; ++b) {
      float& v = e->noise_level[q][b];
      v = v < 0.0f ? 0.0f : v > 35.0f ? 35.0f : v;
    }
  }
  const int last = e->grid.noise_floors - 1;
  for (int b = 0; b < n; ++b) mem->noise[b] = e->noise_level[last][b];
}

namespace {

void noise_to_levels(SbrElementData* e) {
  for (int q = 0; q < e->grid.noise_floors; ++q)
    for (int b = 0; b < e->noise_bands && b < SBR_MAX_NOISE_BANDS; ++b)
      e->noise_level[q][b] = std::exp2(6.0f - e->noise_level[q][b]);
}

void finish(SbrElementData* e, SbrPrevFrame* mem) {
  mem->coupling = e->coupling;
  mem->adjuster_field = e->adjuster_field;
  e->prev_last_border = e->grid.borders[e->grid.envelopes];
}

}  // namespace

void sbrdec_decode_envelopes(SbrElementData* first, SbrPrevFrame* first_mem, SbrElementData* second,
                             SbrPrevFrame* second_mem, int mode) {
  const bool coupled = second && first->coupling == 1 && second->coupling == 2;
  if (!coupled) {
    sbrdec_decode_channel_envelopes(first, first_mem, second_mem, mode);
    sbrdec_decode_noise(first, first_mem);
    noise_to_levels(first);
    finish(first, first_mem);
    if (second) {
      sbrdec_decode_channel_envelopes(second, second_mem, first_mem, mode);
      sbrdec_decode_noise(second, second_mem);
      noise_to_levels(second);
      finish(second, second_mem);
    }
    return;
  }
  if (first->header.conceal) second->header.conceal = 1;
  const SbrPrevFrame saved = *first_mem;
  const SbrElementData saved_first = *first;
  sbrdec_decode_channel_envelopes(first, first_mem, second_mem, mode);
  sbrdec_decode_channel_envelopes(second, second_mem, first_mem, mode);
  if (second->header.conceal && !first->header.conceal) {
    *first_mem = saved;
    *first = saved_first;
    first->header.conceal = 1;
    sbrdec_decode_channel_envelopes(first, first_mem, second_mem, mode);
  }
  sbrdec_decode_noise(first, first_mem);
  sbrdec_decode_noise(second, second_mem);
  // Both channels now share one grid: the first's energies and the balance split them.
  int count = 0;
  for (int l = 0; l < first->grid.envelopes; ++l) count += first->grid.freq_res[l] ? first->high_bands : first->low_bands;
  int count2 = 0;
  for (int l = 0; l < second->grid.envelopes; ++l)
    count2 += second->grid.freq_res[l] ? second->high_bands : second->low_bands;
  if (count2 < count) count = count2;
  for (int i = 0; i < count; ++i) {
    const float r = second->energy[i] / (4096.0f * 64.0f);
    second->energy[i] = 2.0f * first->energy[i] / (1.0f + r);
    first->energy[i] = second->energy[i] * r;
  }
  for (int q = 0; q < first->grid.noise_floors && q < second->grid.noise_floors; ++q) {
    for (int b = 0; b < first->noise_bands && b < SBR_MAX_NOISE_BANDS; ++b) {
      const float s = std::exp2(5.0f - first->noise_level[q][b]);
      const float t = std::exp2(12.0f - second->noise_level[q][b]);
      first->noise_level[q][b] = (1.0f + t) * s;
      second->noise_level[q][b] = (1.0f + 1.0f / t) * s;
    }
  }
  finish(first, first_mem);
  finish(second, second_mem);
}
