// Narrowing of the stereo image before analysis when two-channel material is hard to code
// at the bit rate: a control value in dB, steered by the coding difficulty, the side
// channel's share and the level relation of the channels, sets how far L and R are mixed.
#pragma once

#include <cstdint>


struct mp3enc_stereo_prep {
  float bits_per_granule = 0;  // per channel
  float override_db = 0;       // nonzero: the control value is set, not steered
  float control_db = 1.5f;
  float mix = 0;  // g: 1 keeps the image, 0 is mono
  float rise_factor = 0;
  float fall_factor = 0;
  int32_t mixing_on = 1;
  float energy_l = 0, energy_r = 0, energy_m = 0, energy_s = 0;
  float largest_target = 15.0f;
  float side_to_mid_db = 0;  // smoothed
  float prev_relation_db = 0;
  float prev_total = 0;
  float side_ramp_start = 0.0f, side_ramp_end = 15.0f;
  float relation_ramp_start = 10.0f, relation_ramp_end = 30.0f;
  float difficulty_start = 30.0f, difficulty_end = 120.0f, difficulty_cap = 100.0f;
  float smoothed_pe = 0;
  float weight = 1.0f;  // smoothing weight, falls to about 0.1
  float target_scale = 0;
};

// The object with its starting values, aligned to 16 bytes; null when memory is short.
mp3enc_stereo_prep* mp3enc_stereo_prep_alloc(int channels, int bit_rate, int sample_rate);
// enable 0 or fewer than two channels: *out = null and 0 (nothing to do). 1 on allocation failure.
int mp3enc_stereo_prep_create(mp3enc_stereo_prep** out, int channels, int bit_rate, int sample_rate, int enable);
void mp3enc_stereo_prep_free(mp3enc_stereo_prep* p);
// Mixes the next count interleaved two-channel sample frames in place.
void mp3enc_stereo_prep_granule(mp3enc_stereo_prep* p, int channels, float* input, int count);
struct mp3enc_granule_analysis;
// After the analysis of a granule: its total energies of both channels, of mid (channel 0's
// mid/side total) and side (channel 1's), and the perceptual entropies the bit allocation left
// in the record for the granule before. A null object does nothing.
void mp3enc_stereo_prep_update(const mp3enc_granule_analysis* analysis, mp3enc_stereo_prep* p);
// The same from the values themselves.
void mp3enc_stereo_prep_update_values(mp3enc_stereo_prep* p, float energy_l, float energy_r, float energy_m,
                                      float energy_s, float pe0, float pe1);
