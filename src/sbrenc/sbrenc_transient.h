// Transient detection and the frame split decision of an SBR channel, both on the
// channel's two-frame buffer of QMF energies.
#pragma once

#include <cstdint>

#include "mp3enc/common/errorhnd.h"

struct sbrenc_transient_state {
  float* values;            // slots + rows transient values
  float abs_threshold;      // numerator of the absolute threshold
  float split_threshold;
  int32_t per_frame;        // slots + 2 values computed per frame
  int32_t slots;
  int32_t bands;
  float prev_low_energy;    // split detector's previous frame
  float mean_energy;        // mean sub-block energy of the last split detection
  int32_t examined;         // bands examined, K
  int32_t window;           // L
  float rel_threshold;
  int32_t pending;          // a peak waits for its decay
  float running_max;
  int32_t row_offset;       // first row examined
};

// a frame length, b SBR rate, t0 = reference rate x channels / bit rate.
const mp3enc_error* sbrenc_transient_state_create(sbrenc_transient_state** out, int32_t a, int32_t b, float t0,
                                                  float abs_threshold, int32_t examined, float rel_threshold,
                                                  int32_t slots, int32_t bands, int32_t row_offset, int32_t rows);
void sbrenc_transient_state_free(sbrenc_transient_state* state);

// result = {position in grid time units, flag}.
void sbrenc_find_transient(const float* const* energy, sbrenc_transient_state* state, int32_t result[2],
                           int32_t slots_per_unit);
// Writes the split decision into the position word when no transient was flagged.
void sbrenc_frame_split(const float* const* energy, sbrenc_transient_state* state, const int32_t* groups,
                        int32_t group_count, int32_t sub_block, int32_t slots, int32_t result[2]);
