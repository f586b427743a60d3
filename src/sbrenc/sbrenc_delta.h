// Delta coding of envelope and noise-floor values along frequency or time, with the
// direction chosen by Huffman cost.
#pragma once

#include <cstdint>

#include "mp3enc/common/errorhnd.h"
#include "sbrenc/sbrenc_tables.h"

struct sbrenc_delta_coder {
  int32_t offset;           // 2 x low count - high count
  int32_t update;           // previous values may serve as time reference
  int32_t low_count, high_count;
  int32_t* prev;            // 48 values on the high-resolution scale
  int32_t across_frames;    // 0: the first envelope of a frame is never time coded
  const sbrenc_huff_book* t_level;
  const sbrenc_huff_book* f_level;
  const sbrenc_huff_book* t_level_coupled;
  const sbrenc_huff_book* f_level_coupled;
  const sbrenc_huff_book* t_balance;
  const sbrenc_huff_book* f_balance;
  int32_t width_level, width_balance;
};

// The code books of a channel, by amplitude resolution.
struct sbrenc_books {
  int32_t amp_res;
  const sbrenc_huff_book *t_env, *f_env, *t_env_bal, *f_env_bal;
  int32_t env_width_level, env_width_balance;
  const sbrenc_huff_book *t_noise, *f_noise, *t_noise_bal, *f_noise_bal;
  int32_t noise_width_level, noise_width_balance;
};

const mp3enc_error* sbrenc_delta_coder_create(sbrenc_delta_coder** out, const int32_t band_counts[2],
                                              int32_t across_frames);
void sbrenc_delta_coder_free(sbrenc_delta_coder* coder);
void sbrenc_delta_coder_set_bands(sbrenc_delta_coder* coder, int32_t low_count, int32_t high_count);
const mp3enc_error* sbrenc_select_huffman(sbrenc_books* books, sbrenc_delta_coder* envelope, sbrenc_delta_coder* noise,
                                          int32_t amp_res);
// Replaces values by their deltas; directions: 0 frequency, 1 time.
void sbrenc_code_envelope(int32_t* values, const int32_t* freq_res, sbrenc_delta_coder* coder, int32_t* directions,
                          int32_t coupling, int32_t envelope_count, int32_t balance, int32_t header_sent);
