// The SBR header and element records shared by the payload reader, the band tables and the
// channel processing.
#pragma once

#include <cstdint>

// One word per field; both channels always hold the same header.
struct SbrHeader {
  int32_t status;           // 0 unchanged, 1 changed (reset needed), 2 ignored, 3 none accepted yet
  int32_t reset;            // the frequency tables must be rebuilt
  int32_t conceal;          // the channel conceals while this is set
  int32_t must_be_zero;     // 2-bit field
  int32_t unused4;
  int32_t rate_flag;        // 1 doubles the core rate
  int32_t channel_mode;     // 0 unknown, 1 one channel, 2 two channels, 3 pseudo-stereo
  int32_t amp_resolution;   // 0 = 1.5 dB, 1 = 3.0 dB
  int32_t start_freq;
  int32_t stop_freq;
  int32_t crossover_band;
  int32_t freq_scale;
  int32_t alter_scale;
  int32_t noise_bands;
  int32_t noise_band_count;  // NQ, written by the band tables
  int32_t adjuster_mode_flag;
  int32_t limiter_bands;
  int32_t limiter_gains;
  int32_t interpol_freq;
  int32_t smoothing_mode;
  int32_t stereo_strength;
  int32_t stereo_lock;
};

void sbrdec_default_header(SbrHeader* h, int core_rate);

constexpr int SBR_TIME_SLOTS = 9;
constexpr int SBR_MAX_ENVELOPES = 4;

struct SbrGrid {
  int32_t frame_class;
  int32_t envelopes;
  int32_t borders[SBR_MAX_ENVELOPES + 1];  // in time slots
  int32_t freq_res[SBR_MAX_ENVELOPES];
  int32_t transient;  // envelope index, -1 for none
  int32_t noise_floors;
  int32_t noise_borders[3];
};

// The per-channel element record the payload reader fills.
struct SbrElementData {
  int32_t low_bands, high_bands, noise_bands;
  int32_t invf_count;  // inverse-filtering modes (1)
  int32_t time_slots;  // 9
  SbrGrid grid;
  int32_t invf_mode;
  int32_t adjuster_field;
  int32_t coupling;
  SbrHeader header;
};

// One envelope over the whole frame, class 0.
void sbrdec_default_grid(SbrGrid* g);
