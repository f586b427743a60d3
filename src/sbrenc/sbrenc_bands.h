// Frequency band tables of the SBR range: master, high- and low-resolution.
#pragma once

#include <cstdint>

#include "mp3enc/common/errorhnd.h"

const mp3enc_error* sbrenc_band_limits(int32_t sample_rate, int32_t band_count, int32_t start_index,
                                       int32_t stop_index, int32_t dual_rate, int32_t* out_k0, int32_t* out_k2);
// table holds up to 49 edges.
const mp3enc_error* sbrenc_master_table(int32_t* table, int32_t* count, int32_t k0, int32_t k2, int32_t freq_scale,
                                        int32_t alter_scale);
int32_t sbrenc_number_of_bands(int32_t bands_per_octave, int32_t k_start, int32_t k_stop, float warp);
// May move the crossover index to one that the master table and the limit allow.
int32_t sbrenc_high_table(int32_t* high, int32_t* high_count, const int32_t* master, int32_t master_count,
                          int32_t* crossover_index, int32_t dual_rate, int32_t band_count);
void sbrenc_low_table(int32_t* low, int32_t* low_count, const int32_t* high, int32_t high_count);
