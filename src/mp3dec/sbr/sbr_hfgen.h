// HF generator of one SBR channel: the patches that copy low bands upward.
#pragma once

#include <cstdint>

struct SbrError;
struct SbrDecoderConfig;

constexpr int SBR_MAX_PATCHES = 6;

struct SbrPatch {
  int32_t source_start, source_end, offset, width;
};

struct SbrHfGenerator {
  int32_t patch_count;
  SbrPatch patches[SBR_MAX_PATCHES + 1];
  int32_t lowest_source, highest_source, highest_target;
  float chirp[SBR_MAX_PATCHES], prev_chirp[SBR_MAX_PATCHES];
  const float* chirp_row;  // 7 values: m0, m0 after m1, m1, m2, m3, increment (and threshold)
  int32_t prev_invf_mode;
  float prev_alpha[32][4];  // two complex prediction coefficients per source band
  float ramp_up[6], ramp_down[6];
  float fixed_chirp;
  int32_t lowest_source_band;  // configuration word 4
  int32_t history;
  int32_t prev_last_border;  // in time slots; beyond 9 the previous frame overshot
  int32_t kx, kmax;
};

// Fails unless the configured history depth is 2 and the mode is 2.
SbrError* sbrdec_hfgen_create(SbrHfGenerator* g, const SbrDecoderConfig* config);
SbrError* sbrdec_hfgen_setup(SbrHfGenerator* g, int one, int adjuster_field, int kx, const int32_t* master,
                             int n_master, const int32_t* noise, int n_noise, int fs, int bands, int mode);
void sbrdec_hfgen_reset(SbrHfGenerator* g);

struct SbrElementData;
// One frame: re and im are the slot rows from two look-back rows before the frame's first
// grid slot; bands kx..kmax-1 of the frame's slots are filled from the bands below kx.
void sbrdec_generate_hf(float* const* re, float* const* im, SbrElementData* e, SbrHfGenerator* g, int mode);
