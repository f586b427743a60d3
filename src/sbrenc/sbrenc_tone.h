// Narrow tonal components above the crossover in an otherwise nearly silent spectrum:
// tracked per half-frame, taken out of the energies, and described for the next payload.
#pragma once

#include <cstdint>

#include "mp3enc/common/errorhnd.h"

// Per (half, span), row 2 x half + span - 1: start slot, slot count, half mask.
extern const int32_t sbrenc_tone_halves[4][3];
// Amplitude of each level index: one step is a factor 2^(1/3).
extern const float sbrenc_tone_levels[32];

struct sbrenc_tone_track {
  int32_t start;            // lowest QMF band
  int32_t bands;            // 1..3
  int32_t span;             // 1 one half, 2 both halves
  int32_t half;             // 0 first, 1 second (0 with span 2)
  int32_t continuation;
  int32_t rows[4][20];      // per band: value width, level index, 18 quantised amplitudes
};
static_assert(sizeof(sbrenc_tone_track) == 85 * 4);

struct sbrenc_tone_state {
  int32_t enabled;
  int32_t lowest_band;      // L0
  int32_t half_slots[2];    // values per half in the payload
  float sin_table[64];
  float cos_table[64];
  int32_t halves[4][3];     // start slot, slot count, half mask; row 2 half + span - 1
  int32_t carried_start;
  int32_t carried_continuation;
  int32_t carried_sparse;
  int32_t budget;           // bits
  int32_t count;
  sbrenc_tone_track tracks[4];
  int32_t copy_count;       // the previous frame's list, for the payload
  sbrenc_tone_track copy[4];
};

struct sbrenc_tone_candidate {
  sbrenc_tone_track track;
  int32_t present;
};

const mp3enc_error* sbrenc_tone_tracker_create(sbrenc_tone_state** out, int32_t bands, int32_t slots,
                                               int32_t first_band, int32_t bit_rate, int32_t kind);
int32_t sbrenc_tone_tracker_free(sbrenc_tone_state* state);
// energy: the current frame's rows, attenuated in place where a tone is selected.
int32_t sbrenc_tone_tracker(sbrenc_tone_state* state, const float* const* re, const float* const* im,
                            float* const* energy, int32_t bands, int32_t slots);
// candidates[slot][half].
void sbrenc_tone_merge(sbrenc_tone_state* state, sbrenc_tone_candidate (*candidates)[2], int32_t count);
