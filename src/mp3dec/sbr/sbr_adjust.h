// HF adjuster and tone synthesis state of one SBR channel.
#pragma once

#include <cstdint>

struct SbrAdjuster {
  float prev_gain[64], prev_noise[64];
  int32_t noise_index;          // 0..511
  int32_t prev_transient_last;  // the previous frame's transient was its last envelope
  int32_t first_envelope;       // set by every table rebuild
};

struct SbrToneRecord {
  int32_t first_half, second_half;  // QMF slots of the two halves of the frame
  float cos_factor[64], sin_factor[64];
  int32_t had_tones;
};

// Called at every table rebuild and adjuster-mode change.
void sbrdec_adjust_init(SbrAdjuster* a);
void sbrdec_tone_init(SbrToneRecord* t, int slots, int bands);
