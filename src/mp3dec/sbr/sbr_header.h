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

constexpr int SBR_MAX_ENV_VALUES = 192;
constexpr int SBR_MAX_NOISE_BANDS = 5;

// Coded tones of one frame.
struct SbrToneEntry {
  int32_t first_band, band_count;  // QMF bands
  int32_t range;                   // 1..3: bit 1 starts at slot 0 (else 9), bit 0 ends at 18 (else 9)
  int32_t fade_out;
  int32_t width[4];      // code width w (4 or 5)
  int32_t amplitude[4];  // index into the amplitude table
  int8_t values[4][18];  // per band and QMF slot of the range
};

struct SbrToneExtension {
  int32_t count;  // 0..4
  SbrToneEntry entries[4];
};

// The per-channel element record the payload reader fills.
struct SbrElementData {
  int32_t low_bands, high_bands, noise_bands;
  int32_t invf_count;  // inverse-filtering modes (1)
  int32_t time_slots;  // 9
  SbrGrid grid;
  int32_t dir_env[SBR_MAX_ENVELOPES];  // 0 frequency, 1 time
  int32_t dir_noise[2];
  int32_t invf_mode;
  int32_t unused_field;
  int32_t adjuster_field;
  float env[SBR_MAX_ENV_VALUES];  // still deltas as read, envelope after envelope
  float noise[2][SBR_MAX_NOISE_BANDS];
  int32_t coupling;  // 0 none, 1 first channel of a coupled pair, 2 its balance channel
  SbrToneExtension tones;
  SbrHeader header;
  // Decoded: linear envelope energies (envelope after envelope) and noise levels.
  float energy[SBR_MAX_ENV_VALUES];
  float noise_level[2][SBR_MAX_NOISE_BANDS];
  int32_t prev_last_border;  // the previous frame's last border (9 at first)
};

// What the next frame's time-direction deltas refer to, per channel.
struct SbrPrevFrame {
  float env[48];  // the last envelope on the high-resolution bands, quantised
  float noise[SBR_MAX_NOISE_BANDS];
  int32_t coupling;
  int32_t concealed;
  int32_t adjuster_field;
};

// One envelope over the whole frame, class 0.
void sbrdec_default_grid(SbrGrid* g);
