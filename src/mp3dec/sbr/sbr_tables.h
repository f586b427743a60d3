// Standard tables of the SBR decoder (generated into sbr_tables.cpp by tools/sbrdec_tables).
#pragma once

#include <cstdint>

// The 640-tap QMF prototype, from its second coefficient on, the first (0) last.
extern const float sbrdec_qmf_window[640];
// The random noise table of the HF adjuster: 512 complex values (re, im).
extern const float sbrdec_noise_table[512][2];

// Huffman decoding trees: from node 0, each bit selects a branch; a branch of 0 or more is
// the next node, a negative branch b a leaf of value b + 64.
extern const int8_t sbrdec_huff_t_huffman_env_1_5dB[120][2];
extern const int8_t sbrdec_huff_f_huffman_env_1_5dB[120][2];
extern const int8_t sbrdec_huff_t_huffman_env_bal_1_5dB[48][2];
extern const int8_t sbrdec_huff_f_huffman_env_bal_1_5dB[48][2];
extern const int8_t sbrdec_huff_t_huffman_env_3_0dB[62][2];
extern const int8_t sbrdec_huff_f_huffman_env_3_0dB[62][2];
extern const int8_t sbrdec_huff_t_huffman_env_bal_3_0dB[24][2];
extern const int8_t sbrdec_huff_f_huffman_env_bal_3_0dB[24][2];
extern const int8_t sbrdec_huff_t_huffman_noise_3_0dB[62][2];
extern const int8_t sbrdec_huff_t_huffman_noise_bal_3_0dB[24][2];
