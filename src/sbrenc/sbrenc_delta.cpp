#include "sbrenc/sbrenc_delta.h"

#include <cstdlib>

const mp3enc_error* sbrenc_delta_coder_create(sbrenc_delta_coder** out, const int32_t band_counts[2],
                                              int32_t across_frames) {
  *out = nullptr;
  auto* c = static_cast<sbrenc_delta_coder*>(std::calloc(1, sizeof(sbrenc_delta_coder)));
  if (!c) return mp3enc_generic_error();
  c->prev = static_cast<int32_t*>(std::calloc(48, sizeof(int32_t)));
  if (!c->prev) {
    std::free(c);
    return mp3enc_generic_error();
  }
  sbrenc_delta_coder_set_bands(c, band_counts[0], band_counts[1]);
  c->across_frames = across_frames;
  *out = c;
  return nullptr;
}

void sbrenc_delta_coder_set_bands(sbrenc_delta_coder* c, int32_t low_count, int32_t high_count) {
  c->low_count = low_count;
  c->high_count = high_count;
  c->offset = 2 * low_count - high_count;
}

void sbrenc_delta_coder_free(sbrenc_delta_coder* c) {
  if (!c) return;
  std::free(c->prev);
  std::free(c);
}

const mp3enc_error* sbrenc_select_huffman(sbrenc_books* b, sbrenc_delta_coder* env, sbrenc_delta_coder* noise,
                                          int32_t amp_res) {
  if (!b || !env || !noise || (amp_res != 0 && amp_res != 1)) return mp3enc_generic_error();
  b->amp_res = amp_res;
  if (amp_res == 0) {
    b->t_env = &sbrenc_t_env_1_5dB;
    b->f_env = &sbrenc_f_env_1_5dB;
    b->t_env_bal = &sbrenc_t_env_bal_1_5dB;
    b->f_env_bal = &sbrenc_f_env_bal_1_5dB;
    b->env_width_level = 7;
    b->env_width_balance = 6;
  } else {
    b->t_env = &sbrenc_t_env_3_0dB;
    b->f_env = &sbrenc_f_env_3_0dB;
    b->t_env_bal = &sbrenc_t_env_bal_3_0dB;
    b->f_env_bal = &sbrenc_f_env_bal_3_0dB;
    b->env_width_level = 6;
    b->env_width_balance = 5;
  }
  b->t_noise = &sbrenc_t_noise_3_0dB;
  b->f_noise = &sbrenc_f_env_3_0dB;
  b->t_noise_bal = &sbrenc_t_noise_bal_3_0dB;
  b->f_noise_bal = &sbrenc_f_env_bal_3_0dB;
  b->noise_width_level = b->noise_width_balance = 5;

  env->t_level = env->t_level_coupled = b->t_env;
  env->f_level = env->f_level_coupled = b->f_env;
  env->t_balance = b->t_env_bal;
  env->f_balance = b->f_env_bal;
  env->width_level = b->env_width_level;
  env->width_balance = b->env_width_balance;
  noise->t_level = noise->t_level_coupled = b->t_noise;
  noise->f_level = noise->f_level_coupled = b->f_noise;
  noise->t_balance = b->t_noise_bal;
  noise->f_balance = b->f_noise_bal;
  noise->width_level = noise->width_balance = 5;
  return nullptr;
}

namespace {
int32_t cost(int32_t* d, const sbrenc_huff_book* book) {
  if (*d < -book->lav) {
    *d = -book->lav;
    return 10000;
  }
  if (*d > book->lav) {
    *d = book->lav;
    return 10000;
  }
  return book->codes[*d + book->lav].length;
}

int32_t high_index(const sbrenc_delta_coder* c, int32_t res, int32_t j) {
  if (res) return j;
  if (c->offset >= 0) return j < c->offset ? j : 2 * j - c->offset;
  return j < -c->offset ? 3 * j : 2 * j - c->offset;
}
}  // namespace

void sbrenc_code_envelope(int32_t* v, const int32_t* freq_res, sbrenc_delta_coder* c, int32_t* directions,
                          int32_t coupling, int32_t envelope_count, int32_t balance, int32_t header_sent) {
  if (c->across_frames == 0 || header_sent) c->update = 0;
  if (envelope_count < 1) return;
  const bool bal = coupling != 0 && balance == 1;
  const sbrenc_huff_book* tb = coupling == 0 ? c->t_level : (bal ? c->t_balance : c->t_level_coupled);
  const sbrenc_huff_book* fb = coupling == 0 ? c->f_level : (bal ? c->f_balance : c->f_level_coupled);
  const int32_t width = bal ? c->width_balance : c->width_level;
  const int32_t s = (coupling == 1 && balance == 1) ? 1 : 0;
  for (int32_t e = 0; e < envelope_count; ++e) {
    const int32_t res = freq_res[e];
    const int32_t n = res ? c->high_count : c->low_count;
    int32_t df[48], dt[48];
    int32_t fcost = width, tcost = 0;
    df[0] = v[0] >> s;
    for (int32_t j = 1; j < n; ++j) {
      df[j] = (v[j] - v[j - 1]) >> s;
      fcost += cost(&df[j], fb);
    }
    if (c->update) {
      for (int32_t j = 0; j < n; ++j) {
        dt[j] = (v[j] - c->prev[high_index(c, res, j)]) >> s;
        tcost += cost(&dt[j], tb);
      }
    }
    for (int32_t j = 0; j < n; ++j) {
      if (res) {
        c->prev[j] = v[j];
      } else if (c->offset >= 0) {
        if (j < c->offset) {
          c->prev[j] = v[j];
        } else {
          c->prev[2 * j - c->offset] = c->prev[2 * j + 1 - c->offset] = v[j];
        }
      } else if (j < -c->offset) {
        c->prev[3 * j] = c->prev[3 * j + 1] = c->prev[3 * j + 2] = v[j];
      } else {
        c->prev[2 * j - c->offset] = c->prev[2 * j + 1 - c->offset] = v[j];
      }
    }
    const int32_t dir = (c->update && tcost < fcost) ? 1 : 0;
    directions[e] = dir;
    for (int32_t j = 0; j < n; ++j) v[j] = dir ? dt[j] : df[j];
    c->update = 1;
    v += n;
  }
}
