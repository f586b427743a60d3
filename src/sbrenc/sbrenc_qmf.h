// 64-band complex QMF analysis of the full-rate input, its cosine transform, subband
// energies, and the conversion of the header's start and stop indices into QMF bands.
#pragma once

#include <cstdint>

#include "mp3enc/common/errorhnd.h"

struct sbrenc_qmf {
  int32_t bands;            // 64
  int32_t window_length;    // 640
  const float* prototype;   // sbrenc_qmf_prototype, not owned
  float* cos_table;         // 32 entries cos((i + 0.25)pi/64)
  float* sin_table;         // 32 entries sin((i + 0.25)pi/64)
  float* sin_table2;        // 33 entries sin(i pi/64)
  float* fold;              // 128 floats, scratch of one slot
  float* history;           // last 640 input samples, oldest first
  int32_t taps;             // 5 per polyphase group
  int32_t slots;            // frame length / 64
};

const mp3enc_error* sbrenc_qmf_create(sbrenc_qmf** out, int32_t reserved, int32_t frame_length);
void sbrenc_qmf_free(sbrenc_qmf** qmf);

// One frame: qmf->slots slots of 64 samples each, input_stride floats between samples.
void sbrenc_cplx_analysis(const float* input, int32_t input_stride, float* const* real_rows, float* const* imag_rows,
                          sbrenc_qmf* qmf);

// In place x'[k] = sum_n x[n] cos(pi n (k + 1/2) / 64), k = 0..63.
void sbrenc_fft(float* data);

void sbrenc_subband_energy(float* const* energy_rows, const float* const* real_rows, const float* const* imag_rows,
                           int32_t band_count, int32_t slot_count);

int32_t sbrenc_lower_edge_band(int32_t start_index, int32_t band_count, int32_t sample_rate);
int32_t sbrenc_lower_edge_hz(int32_t start_index, int32_t band_count, int32_t sample_rate);
// Band of the upper edge for stop indices 0..13 (no clamp to the band count); -1 outside.
int32_t sbrenc_stop_band(int32_t stop_index, int32_t band_count, int32_t sample_rate);
int32_t sbrenc_stop_freq_hz(int32_t stop_index, int32_t band_count, int32_t sample_rate);
