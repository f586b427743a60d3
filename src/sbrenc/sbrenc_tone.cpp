#include "sbrenc/sbrenc_tone.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

const int32_t sbrenc_tone_halves[4][3] = {{0, 9, 2}, {0, 18, 3}, {9, 9, 1}, {-1, -1, 0}};

// 2048 x 2^((i - 1) / 3) in single precision.
const float sbrenc_tone_levels[32] = {
    1625.49866f, 2048.0f, 2580.31836f, 3250.99731f, 4096.0f, 5160.63672f,
    6501.99463f, 8192.0f, 10321.2734f, 13003.9893f, 16384.0f, 20642.5469f,
    26007.9785f, 32768.0f, 41285.0938f, 52015.957f, 65536.0f, 82570.1875f,
    104031.914f, 131072.0f, 165140.375f, 208063.828f, 262144.0f, 330280.75f,
    416127.656f, 524288.0f, 660561.5f, 832255.312f, 1048576.0f, 1321123.0f,
    1664510.62f, 2097152.0f,
};

namespace {
constexpr float atten = 1.0000000116860974e-07f;

const int32_t* half_row(const sbrenc_tone_track& t) { return sbrenc_tone_halves[2 * t.half + t.span - 1]; }

int32_t cost_of(const sbrenc_tone_state* s) {
  if (s->count == 0) return 0;
  int32_t c = 4;
  for (int32_t i = 0; i < s->count; ++i) {
    const sbrenc_tone_track& t = s->tracks[i];
    c += 11;
    for (int32_t b = 0; b < t.bands; ++b) c += t.rows[b][0] * half_row(t)[1] + 6;
  }
  return c;
}
}  // namespace

const mp3enc_error* sbrenc_tone_tracker_create(sbrenc_tone_state** out, int32_t bands, int32_t /*slots*/,
                                               int32_t first_band, int32_t bit_rate, int32_t kind) {
  *out = nullptr;
  auto* s = static_cast<sbrenc_tone_state*>(std::calloc(1, sizeof(sbrenc_tone_state)));
  if (!s) return mp3enc_generic_error();
  const double pi = 3.14159265358979323846;
  const float root2 = 1.4142135381698608f;
  for (int32_t k = 0; k < bands && k < 64; ++k) {
    const double phi = (k + 0.5) * (bands * 0.5 - 1) * pi / bands;
    s->sin_table[k] = static_cast<float>(root2 * std::sin(phi));
    s->cos_table[k] = static_cast<float>(root2 * std::cos(phi));
  }
  if (kind != 2) {
    std::free(s);
    return mp3enc_generic_error();
  }
  s->enabled = 1;
  s->lowest_band = first_band - 2;
  s->half_slots[0] = s->half_slots[1] = 9;
  s->carried_start = -1;
  std::memcpy(s->halves, sbrenc_tone_halves, sizeof sbrenc_tone_halves);
  if (bit_rate >= 24000) {
    s->budget = 350;
  } else if (bit_rate > 16000) {
    s->budget = 230;
  } else {
    s->budget = 0;
    s->enabled = 0;
  }
  *out = s;
  return nullptr;
}

int32_t sbrenc_tone_tracker_free(sbrenc_tone_state* s) {
  std::free(s);
  return 0;
}

void sbrenc_tone_merge(sbrenc_tone_state* s, sbrenc_tone_candidate (*cand)[2], int32_t count) {
  s->count = 0;
  auto add = [&](const sbrenc_tone_track& t) {
    if (s->count < 4) s->tracks[s->count++] = t;
  };
  for (int32_t i = 0; i < count; ++i) {
    const bool pa = cand[i][0].present, pb = cand[i][1].present;
    sbrenc_tone_track a = cand[i][0].track, b = cand[i][1].track;
    if (pa && !pb) {
      add(a);
    } else if (!pa && pb) {
      add(b);
    } else if (pa && pb) {
      if (a.start == b.start) {
        if (a.bands == b.bands) {
          a.span = 2;
          add(a);
        } else if (a.bands < b.bands) {
          sbrenc_tone_track rest = b;
          a.span = 2;
          add(a);
          rest.start = a.start + a.bands;
          rest.bands = b.bands - a.bands;
          std::memmove(rest.rows[0], b.rows[a.bands], sizeof rest.rows[0] * rest.bands);
          add(rest);
        } else {
          sbrenc_tone_track rest = a;
          b.span = 2;
          b.half = 0;
          add(b);
          rest.start = b.start + b.bands;
          rest.bands = a.bands - b.bands;
          std::memmove(rest.rows[0], a.rows[b.bands], sizeof rest.rows[0] * rest.bands);
          add(rest);
        }
      } else if (a.start + a.bands == b.start + b.bands) {
        if (b.start < a.start) {
          sbrenc_tone_track rest = b;
          a.span = 2;
          add(a);
          rest.bands = b.bands - a.bands;
          add(rest);
        } else {
          sbrenc_tone_track rest = a;
          b.span = 2;
          b.half = 0;
          add(b);
          rest.bands = a.bands - b.bands;
          add(rest);
        }
      } else {
        add(a);
        add(b);
      }
    }
  }
}

int32_t sbrenc_tone_tracker(sbrenc_tone_state* s, const float* const* re, const float* const* im,
                            float* const* e, int32_t kb, int32_t slots) {
  s->copy_count = s->count;
  std::memcpy(s->copy, s->tracks, sizeof s->tracks);
  if (!s->enabled) return 0;
  kb = std::min(kb, 64);
  const int32_t l0 = s->lowest_band;

  static thread_local float y[64][18];
  for (int32_t k = 0; k < kb; ++k)
    for (int32_t t = 0; t < slots && t < 18; ++t) y[k][t] = s->cos_table[k] * re[t][k] + s->sin_table[k] * im[t][k];

  float p[2][64] = {}, q[2][64] = {}, hi[2];
  int32_t sparse[2];
  for (int32_t h = 0; h < 2; ++h) {
    const int32_t start = sbrenc_tone_halves[2 * h][0], cnt = sbrenc_tone_halves[2 * h][1];
    float m = 0.0f;
    for (int32_t k = 0; k < kb; ++k) {
      float v = 0.0f;
      for (int32_t t = start; t < start + cnt; ++t) v += e[t][k];
      p[h][k] = v;
      m = std::max(m, v);
    }
    for (int32_t k = 1; k < 64; ++k) q[h][k] = p[h][k] + p[h][k - 1];
    const float lo = std::max(0.00019999999494757503f * m, 3000.0f);
    hi[h] = std::max(0.30000001192092896f * m, 450000.0f);
    int32_t quiet = 0, strong = 0;
    for (int32_t k = 1; k < 64; ++k) quiet += q[h][k] < lo;
    for (int32_t k = std::max(l0, 1); k < 64; ++k) strong += q[h][k] > hi[h];
    sparse[h] = quiet > 56 && strong > 0;
  }

  int32_t peaks[2][64], n[2] = {0, 0}, last[2] = {-1, -1}, cont[2] = {0, 0};
  if (sparse[0] || sparse[1] || s->carried_sparse) {
    const float thr = hi[1];
    for (int32_t h = 0; h < 2; ++h) {
      float level = thr;
      for (int32_t k = 63; k >= std::max(l0 - 1, 1); --k)
        if (q[h][k] > level && q[h][k] > thr) {
          peaks[h][n[h]++] = k;
          level = 0.800000011920929f * q[h][k];
        }
      for (int32_t i = 0; i < n[h]; ++i) {
        const int32_t pk = peaks[h][i];
        if (pk == 63 || p[h][pk] + p[h][pk + 1] <= p[h][pk - 1] + p[h][pk]) peaks[h][i] = pk - 1;
      }
      if (n[h] > 0) last[h] = peaks[h][n[h] - 1];
    }
    for (int32_t h = 0; h < 2; ++h) {
      const int32_t prev_start = h == 0 ? s->carried_start : last[0];
      const int32_t prev_cont = h == 0 ? s->carried_continuation : cont[0];
      if (n[h] > 0 && peaks[h][n[h] - 1] <= l0) {
        if (prev_start > 0 && prev_start < l0 + 2 && prev_cont == 0) {
          cont[h] = 1;
        } else {
          int32_t j = -1;
          for (int32_t i = 0; i + 1 < n[h]; ++i)
            if (peaks[h][i] - peaks[h][i + 1] > 1) j = i;
          n[h] = j + 1;
        }
        last[h] = n[h] > 0 ? peaks[h][n[h] - 1] : -1;
      }
    }
  }

  sbrenc_tone_candidate cand[2][2] = {};
  int32_t count = 0;
  for (int32_t h = 0; h < 2; ++h)
    if (n[h] > 0) {
      sbrenc_tone_track& t = cand[0][h].track;
      t.start = peaks[h][n[h] - 1];
      t.bands = 2;
      t.span = 1;
      t.half = h;
      t.continuation = cont[h];
      cand[0][h].present = 1;
      count = 1;
    }
  if (cand[0][0].present && cand[0][0].track.continuation == 1) {
    cand[1][0] = cand[0][0];
    cand[0][0].present = 0;
    cand[1][1].present = 0;
    count = 2;
  } else if (cand[0][1].present && cand[0][1].track.continuation == 1) {
    cand[1][1] = cand[0][1];
    cand[0][1].present = 0;
    cand[1][0].present = 0;
    count = 2;
  }
  s->carried_sparse = sparse[1];

  for (int32_t i = 0; i < 2; ++i)
    for (int32_t h = 0; h < 2; ++h) {
      if (!cand[i][h].present) continue;
      sbrenc_tone_track& t = cand[i][h].track;
      const int32_t st = t.start;
      const float mc = std::max({0.0f, p[h][st], p[h][st + 1]});
      int32_t nb;
      if (st == 0)
        nb = st + 2;
      else if (st + 2 == 64)
        nb = st - 1;
      else
        nb = p[h][st - 1] < p[h][st + 2] ? st + 2 : st - 1;
      if (p[h][nb] > 0.019999999552965164f * mc && p[h][nb] > 881000.0f) {
        t.bands = 3;
        if (nb == st - 1) t.start = st - 1;
      }
      for (auto& row : t.rows) row[0] = 5;
    }

  for (int32_t pass = 0;; ++pass) {
    struct entry {
      float x;
      int32_t half, slot;
    } list[4];
    int32_t ln = 0;
    for (int32_t i = 0; i < 2; ++i)
      for (int32_t h = 0; h < 2; ++h) {
        if (!cand[i][h].present) continue;
        const sbrenc_tone_track& t = cand[i][h].track;
        float x = 0.0f;
        for (int32_t b = 0; b < t.bands; ++b) x += p[h][t.start + b];
        list[ln++] = {x, h, i};
      }
    for (int32_t a = 0; a + 1 < ln; ++a)
      for (int32_t b = a + 1; b < ln; ++b)
        if (list[a].x < list[b].x) std::swap(list[a], list[b]);
    if (pass >= 1 && ln > 0) {
      const entry& w = list[ln - 1];
      cand[w.slot][w.half].present = 0;
      sbrenc_tone_candidate& other = cand[w.slot][1 - w.half];
      if (other.present) {
        const sbrenc_tone_track& t = other.track;
        float x = 0.0f;
        for (int32_t b = 0; b < t.bands; ++b) x += p[1 - w.half][t.start + b];
        if (1.2000000476837158f * w.x > x) other.present = 0;
      }
    }
    sbrenc_tone_merge(s, cand, count);
    if (!(cost_of(s) > s->budget || s->count > 4)) break;
    if (ln == 0) {
      s->count = 0;
      break;
    }
  }

  const float* levels = sbrenc_tone_levels;
  s->carried_start = -1;
  s->carried_continuation = 0;
  for (int32_t i = 0; i < s->count; ++i) {
    sbrenc_tone_track& t = s->tracks[i];
    const int32_t* row = half_row(t);
    if (row[2] & 1) {
      s->carried_start = t.start;
      s->carried_continuation = t.continuation;
    }
    for (int32_t b = 0; b < t.bands; ++b) {
      const int32_t k = t.start + b;
      float peak = 0.0f;
      for (int32_t j = 0; j < row[1]; ++j) peak = std::max(peak, std::fabs(y[k][row[0] + j]));
      int32_t li = 31;
      for (int32_t c = 0; c < 32; ++c)
        if (peak <= levels[c]) {
          li = c;
          break;
        }
      t.rows[b][1] = li;
      const int32_t w = t.rows[b][0];
      const float m = static_cast<float>(1 << (w - 1)) - 0.5f;
      const int32_t qmax = (1 << (w - 1)) - 1;
      const float inv = 1.0f / levels[li];
      for (int32_t j = 0; j < row[1]; ++j) {
        const float v = y[k][row[0] + j];
        int32_t qv = static_cast<int32_t>(std::floor(std::fabs(v) * inv * m + 0.5f));
        qv = std::min(qv, qmax);
        t.rows[b][2 + j] = v < 0.0f ? -qv : qv;
        e[row[0] + j][k] *= atten;
      }
    }
  }
  return 0;
}
