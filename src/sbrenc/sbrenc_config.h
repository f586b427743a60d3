// SBR configuration record and the bit-rate tuning table from which it is filled.
#pragma once

#include <cstdint>

// 51 consecutive 32-bit words inside the encoder handle; the comment on each member gives
// its word number, which the handle's layout and the channel creation rely on.
struct sbrenc_config {
  int32_t bit_rate;             // w0 total bit rate, all channels
  int32_t channels;             // w1 1 or 2
  int32_t core_rate;            // w2 core sample rate in Hz
  int32_t word3;                // w3 constant 3 from the callers
  int32_t ref_bit_rate;         // w4 reference bit rate per channel (32000)
  int32_t kind;                 // w5 configuration kind; 2 is the only valid one, 99 is refused
  float header_interval;        // w6 header repetition interval in seconds
  int32_t tone_tracker;         // w7 run the tone tracker
  int32_t header_enable;        // w8
  int32_t crossover_change_a;   // w9 with w43: crossover may change per frame
  int32_t unused10;             // w10
  int32_t spare11;              // w11
  int32_t freq_res_fixed;       // w12 frequency resolution of fixed/fixed frames
  float trans_abs_threshold;    // w13 transient detector, absolute threshold numerator
  float trans_rel_threshold;    // w14 transient detector, relative threshold factor
  int32_t band_scales[5];       // w15-w19 noise-floor detector band scales
  int32_t detector_flag;        // w20
  int32_t dual_rate;            // w21 SBR rate is twice the core rate
  int32_t frame_length;         // w22 SBR-rate samples per frame (1152)
  int32_t channel_value_flag;   // w23 header announces the per-channel value of w37
  int32_t amp_res;              // w24 1 = 3.0 dB steps, 0 = 1.5 dB steps
  int32_t noise_scale;          // w25
  int32_t stop_freq_override;   // w26 in Hz, 0 = from the stop index
  int32_t const27;              // w27
  int32_t spreading;            // w28 grid may spread the last segment
  int32_t static_framing;       // w29 every frame fixed/fixed
  int32_t static_env_log2;      // w30 log2 of the envelope count of static framing
  int32_t filler_res_before;    // w31 frequency resolution of fillers before a transient
  int32_t filler_res_after;     // w32 ... and after it
  int32_t stereo_mode;          // w33 0 mono, 1 left/right, 2 coupled, 3 switched
  int32_t across_frames;        // w34 time-direction coding allowed
  int32_t invf_control;         // w35
  int32_t channel_word20;       // w36 two-bit value sent per channel (4: decided per frame)
  int32_t channel_value;        // w37 three-bit value sent per channel; patch flag
  int32_t const38;              // w38
  int32_t start_index;          // w39 0..15
  int32_t stop_index;           // w40
  int32_t const41;              // w41
  int32_t mono_downmix;         // w42 one SBR channel for two-channel input
  int32_t crossover_change_b;   // w43
  int32_t freq_scale;           // w44
  int32_t alter_scale;          // w45
  int32_t noise_bands;          // w46 noise bands per octave
  int32_t limiter_bands;        // w47
  int32_t limiter_gains;        // w48
  int32_t interp_freq;          // w49
  int32_t smoothing_mode;       // w50
};
static_assert(sizeof(sbrenc_config) == 51 * 4, "the handle holds the record as 51 words");

// Columns of a tuning-table row.
enum sbrenc_tuning_column {
  sbrenc_tc_kind = 0,
  sbrenc_tc_min_rate = 1,   // inclusive
  sbrenc_tc_max_rate = 2,   // exclusive
  sbrenc_tc_core_rate = 3,
  sbrenc_tc_channels = 4,
  sbrenc_tc_start = 5,
  sbrenc_tc_stop = 7,
  sbrenc_tc_noise_bands = 9,
  sbrenc_tc_band_scale = 10,
  sbrenc_tc_noise_scale = 11,
  sbrenc_tc_stereo_mode = 12,
  sbrenc_tc_freq_scale = 13,
};
inline constexpr int sbrenc_tuning_rows = 26;
extern const int32_t sbrenc_tuning_table[sbrenc_tuning_rows][14];

// Fills the defaults when the handle is opened. kind must be 2, mode 1 or 2 (single or
// dual rate). Returns 0 or -1, leaving the words written so far.
int sbrenc_config_defaults(sbrenc_config* record, int32_t kind, int32_t mode, int32_t granule_length);

// Copies the bit-rate-dependent choices of the first matching tuning row into the record.
// Returns 0, or -1 when the record is refused (kind 99) or no row matches.
int sbrenc_config_select(sbrenc_config* record, uint32_t bit_rate, uint32_t channels, uint32_t core_rate,
                         uint32_t word3, uint32_t word4, uint32_t vbr_quality, uint32_t word20,
                         uint32_t stereo_as_mono, uint32_t dual_rate);
