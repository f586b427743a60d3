#include "sbrenc/sbrenc_transient.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

const mp3enc_error* sbrenc_transient_state_create(sbrenc_transient_state** out, int32_t a, int32_t b, float t0,
                                                  float abs_threshold, int32_t examined, float rel_threshold,
                                                  int32_t slots, int32_t bands, int32_t row_offset, int32_t rows) {
  *out = nullptr;
  if (rows < row_offset + 3 + slots) return mp3enc_generic_error();
  auto* s = static_cast<sbrenc_transient_state*>(std::calloc(1, sizeof(sbrenc_transient_state)));
  if (!s) return mp3enc_generic_error();
  s->values = static_cast<float*>(std::calloc(slots + rows, sizeof(float)));
  if (!s->values) {
    std::free(s);
    return mp3enc_generic_error();
  }
  const float ratio = static_cast<float>(a) / static_cast<float>(b);
  const float m = std::max(ratio - 0.009999999776482582f, 9.999999747378752e-05f);
  s->split_threshold = t0 * 7.500000356230885e-05f / (m * m);
  s->abs_threshold = abs_threshold;
  s->per_frame = slots + 2;
  s->slots = slots;
  s->bands = bands;
  s->examined = examined;
  s->window = std::min(row_offset, static_cast<int32_t>(b * 8 * 2.0833333333333333e-05));
  s->rel_threshold = rel_threshold;
  s->row_offset = row_offset;
  *out = s;
  return nullptr;
}

void sbrenc_transient_state_free(sbrenc_transient_state* s) {
  if (!s) return;
  std::free(s->values);
  std::free(s);
}

void sbrenc_find_transient(const float* const* energy, sbrenc_transient_state* s, int32_t result[2],
                           int32_t slots_per_unit) {
  float* t = s->values;
  const int32_t n = s->slots + s->row_offset;
  const int32_t k_count = s->examined;
  const int32_t len = s->window;
  std::memmove(t, t + s->slots, n * sizeof(float));
  for (int32_t i = 0; i < s->per_frame; ++i) t[n + i] = 0.0f;

  const float* const* r = energy + s->row_offset;
  const float inv_l = 1.0f / static_cast<float>(len);
  const float inv_l1 = 1.0f / static_cast<float>(len - 1);
  const float l_l1 = static_cast<float>(len) / static_cast<float>(len - 1);
  for (int32_t b = 0; b < k_count; ++b) {
    float m = 0.0f, q = 0.0f;
    for (int32_t j = -len; j < 0; ++j) {
      m += r[j][b];
      q += r[j][b] * r[j][b];
    }
    m *= inv_l;
    q *= inv_l1;
    for (int32_t i = 0; i < s->per_frame; ++i) {
      const float x = r[i][b], y = r[i - len][b];
      m += (x - y) * inv_l;
      q += (x * x - y * y) * inv_l1;
      const float sd = std::sqrt(std::max(q - l_l1 * m * m, 0.0f));
      const float thr = std::max(sd + m, 128000.0f);
      const float d = r[i + 1][b] - r[i - 1][b];
      if (d > thr) t[n + i] += d / thr - 1.0f;
    }
  }

  const int32_t first = std::max(0, n - 2 * len);
  const int32_t w = n - first;
  const float inv_w = 1.0f / static_cast<float>(w);
  float a = 0.0f;
  for (int32_t j = first; j < n; ++j) a += t[j];
  a *= inv_w;
  const float inv_k = 1.0f / static_cast<float>(k_count);
  result[0] = 0;
  result[1] = 0;
  for (int32_t i = n; i < n + s->slots; ++i) {
    a += (t[i] - t[i - w]) * inv_w;
    if (s->pending == 0) {
      const float p = t[i - 1];
      s->pending = (p > s->abs_threshold * inv_k && t[i] < p && p > s->rel_threshold * a) ? 1 : 0;
    }
    s->running_max = std::max(t[i], s->running_max);
    if (s->pending == 1 && t[i] < 38400.0f * inv_k && t[i + 1] < s->running_max && t[i + 2] < s->running_max) {
      result[0] = (i - n) / slots_per_unit;
      result[1] = 1;
      s->pending = 0;
      s->running_max = 0.0f;
      return;
    }
  }
}

void sbrenc_frame_split(const float* const* e, sbrenc_transient_state* s, const int32_t* g, int32_t groups,
                        int32_t sub_block, int32_t slots, int32_t result[2]) {
  if (result[1]) return;
  float f = 1.0f;
  for (int32_t k = 0; k < g[0]; ++k)
    for (int32_t t = 0; t < slots; ++t) f += e[slots / 2 + t][k];

  const int32_t n_sub = slots / sub_block;
  float sums[64][64] = {};
  float total = 1.0f;
  for (int32_t j = 0; j < n_sub; ++j)
    for (int32_t i = 0; i < groups; ++i) {
      float v = 0.0f;
      for (int32_t k = g[i]; k < g[i + 1]; ++k)
        for (int32_t t = 0; t < sub_block; ++t) v += e[2 * j + t][k];
      sums[j][i] = v;
      total += v;
    }
  const float w = (f + s->prev_low_energy) * 0.5f + total;
  s->mean_energy = total / static_cast<float>(groups * n_sub);

  const int32_t n_first = (n_sub + 1) / 2, n_second = n_sub - n_first;
  float d = 0.0f;
  for (int32_t i = 0; i < groups; ++i) {
    float a = 1000000.0f * n_first, b = 1000000.0f * n_second;
    for (int32_t j = 0; j < n_sub; ++j) (j < n_first ? a : b) += sums[j][i];
    d += std::fabs(std::log(b / a * static_cast<float>(n_first) / static_cast<float>(n_second))) * std::sqrt((a + b) / w);
  }
  const float z = 0.5f - static_cast<float>(n_first) / static_cast<float>(n_sub);
  d *= 1.0f - 4.0f * z * z;
  result[0] = d > s->split_threshold ? 1 : 0;
  s->prev_low_energy = f;
}
