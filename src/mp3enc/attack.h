// Block-type choice: an attack detector per channel with one granule of look-ahead, and the
// rule that gives both channels of a two-channel stream one common block type.
#pragma once

#include <cstdint>

struct mp3enc_attack_state {
  int32_t current_type = 0;  // block type of the granule being analysed
  int32_t next_type = 0;     // what the following granule takes without an attack: 0, 2 or 3
  int32_t follow = 0;        // the previous granule had an attack by the segment tests
  float p0 = 0, p1 = 0, p2 = 0;  // segment energies of the previous call
  float e0 = 0, e1 = 0, e2 = 0;
  float last_x = 0, last_y = 0;  // high-pass filter memory, kept across granules
  int32_t stride = 1;            // distance between one channel's samples in the analysis input
};

// 0 on success, 1 when the allocation failed.
int mp3enc_attack_create(mp3enc_attack_state** out);
int mp3enc_attack_reset(mp3enc_attack_state* s);
void mp3enc_attack_free(mp3enc_attack_state* s);
// Looks at the 576 samples of one channel at x (state->stride apart) and returns the block
// type chosen for the granule being analysed (also left in current_type).
int kern_attack_detect(mp3enc_attack_state* s, const float* x);
// Writes both channels' block types; with combine set, one type both channels can share.
int mp3enc_combine_block_types(mp3enc_attack_state* s0, mp3enc_attack_state* s1, int channels, int combine,
                               int32_t* type0, int32_t* type1);
