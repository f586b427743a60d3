// HF adjuster and tone synthesis of one SBR channel.
#pragma once

#include <cstdint>

struct SbrAdjuster {
  float prev_gain[64], prev_noise[64];
  int32_t noise_index;          // 0..511
  int32_t prev_transient_last;  // the previous frame's transient was its last envelope
  int32_t first_envelope;       // set by every table rebuild
  // Energy of the frame that the limiter kept from each QMF band: where a band ends up below
  // its envelope by design, this tells it apart from a band that missed its envelope.
  float limited[64];
};

struct SbrToneRecord {
  int32_t first_half, second_half;  // QMF slots of the two halves of the frame
  float cos_factor[64], sin_factor[64];
  int32_t had_tones;
};

struct SbrElementData;
struct SbrFreqTables;

// Called at every table rebuild and adjuster-mode change.
void sbrdec_adjust_init(SbrAdjuster* a);
void sbrdec_tone_init(SbrToneRecord* t, int slots, int bands);
// Scales bands kx..kmax-1 of the frame's slots to the envelopes, with noise; rows as for
// the HF generator (two look-back rows first).
void sbrdec_adjust_hf(SbrAdjuster* a, const SbrFreqTables* t, SbrElementData* e, float* const* re, float* const* im,
                      int mode);
// Adds the frame's coded tones into the frame's 18 slots (rows from the frame's first slot).
void sbrdec_synthesize_tones(SbrToneRecord* t, const SbrElementData* e, int kx, int core_bands, float* const* re,
                             float* const* im);
// The tone amplitude of an index 0..31.
float sbrdec_tone_amplitude(int index);
