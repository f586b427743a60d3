// Constant tables of the SBR encoder, generated from the shared SBR tables.
#pragma once

#include <cstdint>

// Half of the 640-tap QMF prototype, five taps per polyphase group, arranged for the fold of
// the analysis; entry 324 is the zero tap that meets the newest sample.
extern const float sbrenc_qmf_prototype[325];

struct sbrenc_huff_code {
  int32_t length;
  uint32_t code;
};

// Code book indexed by value + lav.
struct sbrenc_huff_book {
  const sbrenc_huff_code* codes;
  int32_t entries;
  int32_t lav;
};

// Time-direction (t) and frequency-direction (f) books.
extern const sbrenc_huff_book sbrenc_t_env_1_5dB, sbrenc_f_env_1_5dB;
extern const sbrenc_huff_book sbrenc_t_env_bal_1_5dB, sbrenc_f_env_bal_1_5dB;
extern const sbrenc_huff_book sbrenc_t_env_3_0dB, sbrenc_f_env_3_0dB;
extern const sbrenc_huff_book sbrenc_t_env_bal_3_0dB, sbrenc_f_env_bal_3_0dB;
extern const sbrenc_huff_book sbrenc_t_noise_3_0dB, sbrenc_t_noise_bal_3_0dB;
