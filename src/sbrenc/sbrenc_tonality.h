// Per-band tonality (prediction gain of a second-order complex predictor), the channel's
// subband buffer, and the tonality-correction set with its patches and source-band map.
#pragma once

#include <cstdint>

#include "mp3enc/common/errorhnd.h"
#include "sbrenc/sbrenc_detectors.h"

struct sbrenc_settings;

// Energy, real and imaginary slot rows of one channel. The energy rows hold two frames:
// rows 0..R-1 the previous frame's slots, rows R..2R-1 the current frame's.
struct sbrenc_subband_buffer {
  int32_t transient[2];     // the frame's {position, flag}
  float** energy;           // 2R rows
  float** real;             // R rows
  float** imag;             // R rows
  float* work;              // 48 floats
  int32_t energy_start;     // 0
  int32_t carried_energy;   // R
  int32_t unused;
  int32_t subband_start;    // start row and count of carried subband rows: 0
  int32_t rows, bands;      // R, Q
  int32_t size_a, size_b;   // kept from creation
  int32_t time_step;        // QMF slots per grid time unit
};

const mp3enc_error* sbrenc_subband_buffer_create(sbrenc_subband_buffer** out, int32_t rows, int32_t bands,
                                                 int32_t size_a, int32_t size_b, int32_t time_step,
                                                 sbrenc_settings* settings);
void sbrenc_subband_buffer_free(sbrenc_subband_buffer* buf);

struct sbrenc_tonality_record {
  int32_t stop_band;        // K
  int32_t history;          // H earlier blocks kept
  int32_t rows;             // H + B
  int32_t blocks;           // B
  int32_t row_length;       // 64
  int32_t stride;           // L slots between block starts
  int32_t slots;            // N slots correlated per block
  int32_t first_slot;
  float* block_energy;      // H + B, oldest first
  float* mean_energy;       // per band
  float** tonality;         // [block][band], oldest first
  int32_t** sign;           // [block][band], +1 or -1
};

struct sbrenc_autocorr {
  double r00, r11, r01_re, r01_im, r02_re, r02_im, r12_re, r12_im, r22, det;
};

void sbrenc_autocorr2(sbrenc_autocorr* out, const float* const* re, const float* const* im, int32_t band, int32_t n);
void sbrenc_tonality_estimate(sbrenc_tonality_record* t, const float* const* re, const float* const* im);

struct sbrenc_patch {
  int32_t source_start, source_end;  // end exclusive
  int32_t target_start, target_after_gap;
  int32_t shift;
  int32_t width;
};

struct sbrenc_tonality_set {
  int32_t invf_switch;
  int32_t unused1;
  int32_t first_block;
  int32_t unused3;
  int32_t pending_transient;
  int32_t position_offset;
  int32_t source_map[64];
  sbrenc_tonality_record rec;
  sbrenc_patch patches[7];
  int32_t patch_gap;
  int32_t margin;
  int32_t patch_count;
  sbrenc_noise_detector* noise;
  sbrenc_invf_detector* invf;
};

// tables = {low, high}, counts = {low count, high count} (last indices).
const mp3enc_error* sbrenc_tonality_set_create(sbrenc_tonality_set** out, int32_t frame_length, int32_t grid_length,
                                               int32_t buffer_length, int32_t buffer_size, int32_t sbr_rate,
                                               int32_t subbands, int32_t patch_flag, int32_t first_target,
                                               const int32_t* master, int32_t master_count, int32_t noise_scale,
                                               const int32_t* const tables[2], const int32_t counts[2],
                                               int32_t noise_bands_per_octave, const int32_t* band_scales,
                                               int32_t spare, int32_t detector_flag, int32_t kind);
const mp3enc_error* sbrenc_build_patches(sbrenc_tonality_set* set, int32_t patch_flag, int32_t first_target,
                                         const int32_t* master, int32_t master_count, int32_t sbr_rate,
                                         int32_t subbands);
const mp3enc_error* sbrenc_tonality_set_update(sbrenc_tonality_set* set, int32_t patch_flag, int32_t first_target,
                                               const int32_t* master, int32_t master_count, int32_t sbr_rate,
                                               const int32_t* const tables[2], const int32_t counts[2],
                                               int32_t subbands, int32_t kind);
void sbrenc_tonality_set_free(sbrenc_tonality_set* set);
