// The two detectors held by a channel's tonality-correction set: the noise-floor detector
// and the inverse-filtering detector. Their per-frame decisions come with the band
// detectors; here are their records and their band layouts.
#pragma once

#include <cstdint>

#include "mp3enc/common/errorhnd.h"

struct sbrenc_noise_detector {
  float** history;          // 4 rows of 10 values, oldest first
  int32_t* borders;         // 11 noise band borders in QMF bands
  float max_level;          // 2^(m/3)
  float source_factor;      // 0.25, or 1.0 with the creation flag
  int32_t band_count;
  int32_t bands_per_octave;
  float band_scales[5];
  int32_t frame_length;     // grid time units per frame
  int32_t history_length;   // 4
  const float* smoothing;   // 4 coefficients, oldest first
  int32_t level_limit;      // 2, or 1 with the creation flag
};

const mp3enc_error* sbrenc_noise_create(sbrenc_noise_detector** out, int32_t m, const int32_t* table, int32_t last,
                                        int32_t bands_per_octave, const int32_t* band_scales, int32_t frame_length,
                                        int32_t flag);
const mp3enc_error* sbrenc_noise_bands(sbrenc_noise_detector* det, const int32_t* table, int32_t last);
void sbrenc_noise_free(sbrenc_noise_detector* det);

struct sbrenc_invf_params {
  float source_thresholds[4];
  float own_thresholds[4];
  float energy_thresholds[4];
  int32_t source_count, own_count, energy_count;
  float hysteresis;
  int32_t table[5][5];
  int32_t table_transient[5][5];
  int32_t energy_offset[5];
};

struct sbrenc_invf_group {
  float* history[4];        // own mean, source mean, own top, source top; n + 1 each, oldest first
  float smoothed[4];
  float max_own, max_source;
  float mean_energy;
};

struct sbrenc_invf_detector {
  int32_t n;                // history length, 2
  int32_t top_count;        // 5
  int32_t prev_source[10];
  int32_t prev_own[10];
  int32_t unused;
  int32_t* borders;         // group borders
  int32_t groups;
  int32_t allocated;
  const sbrenc_invf_params* params;
  sbrenc_invf_group* group;
};

const mp3enc_error* sbrenc_invf_create(sbrenc_invf_detector** out, int32_t mode, const int32_t* table, int32_t index);
const mp3enc_error* sbrenc_invf_set_bands(sbrenc_invf_detector* det, const int32_t* table, int32_t index, int32_t mode);
void sbrenc_invf_free(sbrenc_invf_detector* det);

struct sbrenc_grid_info;
struct sbrenc_tonality_set;

// Inverse-filtering levels per band group and the noise floor of the frame (nf, noise
// envelope-major), from the tonality of the previous frame's block.
void sbrenc_band_detectors(sbrenc_tonality_set* set, int32_t* levels, float* nf, const sbrenc_grid_info* grid,
                           const int32_t transient[2], int32_t kind);
void sbrenc_invf_decide(sbrenc_invf_detector* det, float* const* tonality, const float* block_energy,
                        const int32_t* source_map, int32_t first_block, int32_t end_block, int32_t transient,
                        int32_t* levels, int32_t kind);
void sbrenc_invf_measures(float* const* tonality, const int32_t* source_map, const float* block_energy,
                          sbrenc_invf_group* group, int32_t lo, int32_t hi, int32_t first_block, int32_t end_block,
                          int32_t n, int32_t top_count);
int32_t sbrenc_level_hysteresis(const sbrenc_invf_params* params, int32_t transient, int32_t* prev_source,
                                const sbrenc_invf_group* group, int32_t* prev_own, int32_t kind);
void sbrenc_noise_floor_levels(sbrenc_noise_detector* det, const sbrenc_grid_info* grid, float* out,
                               float* const* tonality, const int32_t* source_map, int32_t transient,
                               const int32_t* levels);
void sbrenc_noise_band_level(float* cell, float* const* tonality, const int32_t* source_map, int32_t t0, int32_t t1,
                             int32_t k0, int32_t k1, float band_scale, float source_factor, int32_t level_limit,
                             int32_t level, float max_level);
