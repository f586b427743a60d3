// Analysis stage of the Layer III encoder: input FIFO, polyphase filterbank and MDCT,
// per-band energies and allowed distortions, stereo decisions, and the record of one
// analysed granule that the quantiser reads.
#pragma once

#include <cstdint>

constexpr float mp3enc_no_limit = 1e20f;

struct mp3enc_analysis_params {
  int32_t sample_rate;
  int32_t bit_rate;
  int32_t channels;
  float bandwidth;  // Hz
  int32_t intensity_off;
  int32_t ms_off;
  int32_t joint_off;  // switches both of the above off
};

// Band layout and model constants of one block kind (long or short).
struct mp3enc_band_params {
  int32_t band_count;  // 22 long, 13 short
  int32_t active_bands;
  int32_t bounds[23];
  int32_t windows;
  int32_t rate_class;  // 0 from 32000 Hz, 1 from 16000 Hz, 2 below
  int32_t ms_allowed;
  int32_t is_allowed;
  float is_factor;
  int32_t is_start_band;
  int32_t bark[22];  // 100 x bark, truncated
  int32_t bark_scale;
  float abs_thr[22];
  float rise;
  float floor_factor;
  int32_t cutoff;
  float cap;
  float energy_ratio;
  float down[22];
  float up[22];
};

struct mp3enc_channel_analysis {
  int32_t block_type;
  int32_t windows;
  int32_t band_count;    // 22 long, 39 short (3 windows x 13)
  int32_t active_bands;  // 3 x the short table's count for short blocks
  int32_t bounds[40];
  float energy[39];
  float ms_energy[39];
  float thr[39];
  alignas(32) float spectrum[576];
  float total;
  float ms_total;
  int32_t first_is_band[3];
  float pe;
};

struct mp3enc_granule_analysis {
  int32_t ms;
  int32_t is;
  int32_t spare[2];
  int32_t is_pos[40];  // band * windows + window
  mp3enc_channel_analysis ch[2];
};

// Ring of interleaved sample frames whose first `mirror` frames are repeated behind its end,
// so that any run of up to `mirror` frames reads without wrapping.
struct mp3enc_sample_ring {
  float* buf;
  int32_t read;
  int32_t write;
  int32_t length;
  int32_t mirror;
  int32_t channels;
  int32_t frames;  // allocated
};

int mp3enc_delay_create(mp3enc_sample_ring* ring, int frames, int channels);
int mp3enc_delay_init(mp3enc_sample_ring* ring, int length, int mirror, int write_pos);
// Writes at most `mirror` frames; returns the number of times the write position wrapped.
int mp3enc_delay_write(mp3enc_sample_ring* ring, const float* src0, const float* src1, int stride, float scale,
                       int frames);
float* mp3enc_delay_read(mp3enc_sample_ring* ring, int offset, int channel);
int mp3enc_delay_advance(mp3enc_sample_ring* ring, int frames);
void mp3enc_delay_free(mp3enc_sample_ring* ring);

struct mp3enc_polyphase_state {
  float hist[512];  // newest sample first
};

struct mp3enc_stereo_state {
  int32_t prev_ms;
  int32_t first_is_band[3];
  int32_t pos[39];  // window * 13 + band
  float weight_a[39];
  float weight_b[39];
  float cross[39];
};

struct mp3enc_attack_state;

struct mp3enc_analysis_channel {
  mp3enc_attack_state* attack;
  int32_t block_type;
  mp3enc_polyphase_state* poly;
  float subband[32][36];  // 18 samples of the previous granule, then 18 of the current
  float spectrum[576];    // short blocks: 3 windows of 192 lines, subband after subband
  float prev_thr[22];
  float thr[39];  // window * 13 + band
  float energy[39];
  float ms_energy[39];
  float total[3];
  float ms_total[3];
};

struct mp3enc_analysis {
  int32_t channels;
  mp3enc_band_params bands[2];  // long, short
  mp3enc_analysis_channel ch[2];
  mp3enc_stereo_state stereo;
  mp3enc_sample_ring fifo;
};

int mp3enc_granule_analysis_create(mp3enc_granule_analysis** out);
void mp3enc_granule_analysis_free(mp3enc_granule_analysis* g);
int mp3enc_analysis_create(mp3enc_analysis** out, const mp3enc_analysis_params* params);
int mp3enc_analysis_init(mp3enc_analysis* stage, const mp3enc_analysis_params* params);
void mp3enc_analysis_free(mp3enc_analysis* stage);
// count is the number of values (sample frames x channels) of the interleaved buffer.
int mp3enc_analysis_push(mp3enc_analysis* stage, const float* samples, int channels, int count);
float* mp3enc_analysis_input(mp3enc_analysis* stage);
int mp3enc_analysis_frame(mp3enc_analysis* stage, int granule_index, mp3enc_granule_analysis* result);

// Filterbank pieces, exposed for tests.
void mp3enc_polyphase(mp3enc_polyphase_state* st, const float* x, int stride, float (*subband)[36]);
// The same as kernel slot 5: subbands is the 32 x 36 subband buffer.
int kern_polyphase(mp3enc_polyphase_state* st, const float* input, int32_t stride, float* subbands);
// Two interleaved channels: st and subbands hold both channels' states and buffers, one after
// the other.
int kern_polyphase_stereo(mp3enc_polyphase_state* st, const float* input, float* subbands);
// A zeroed filterbank history; 1 when it cannot be allocated.
int mp3enc_polyphase_create(mp3enc_polyphase_state** out);
void mp3enc_polyphase_free(mp3enc_polyphase_state* st);
void mp3enc_polyphase_reset(mp3enc_polyphase_state* st);
// Each row's 18 current samples become its previous ones.
void mp3enc_subband_shift(float (*subband)[36]);
// S[s] = sum over j < 64 of cos((2s+1)(j-16)pi/64) Y[j].
void mp3enc_dct32(const float* Y, float* S);
// The 36 windowed samples of a long block folded into 18 values for mp3enc_mdct18.
void mp3enc_mdct_long_window(const float* u, int block_type, float* f18);
void mp3enc_mdct18(const float* f18, float* out18);
// 6 lines of a short block from its 12 samples; the short window is part of its cosines.
void mp3enc_mdct6(const float* u12, float* out6);
void mp3enc_scale_strided(float g, const float* src, int src_stride, float* dst, int dst_stride, int n);
void mp3enc_alias_reduce(float* x);

// Psychoacoustic model.
int mp3enc_band_params_init(int bit_rate, int sample_rate, float bandwidth, int kind, mp3enc_band_params* t);
void mp3enc_psy_band_bark(int lines, int sample_rate, int band_count, const int32_t* bounds, int32_t* bark_out,
                          int32_t* scale_out, float* down_out, float* up_out);
void mp3enc_psy_abs_threshold(int band_count, mp3enc_band_params* t);
void mp3enc_psy_spread(int n, const float* down, const float* up, float* t);
void mp3enc_psy_limit(float* previous, int n, float rise, float floor_factor, float* t);
float mp3enc_band_energy(const float* x, const int32_t* bounds, int n, float* energy);
void mp3enc_band_energy2(const float* l, const float* r, const int32_t* bounds, int n, float* mid, float* mid_total,
                         float* side, float* side_total);

// Stereo decisions.
int mp3enc_ms_compare(int previous, float cost_lr, float cost_ms);
int mp3enc_ms_decision(int windows, float* energy_l, float* energy_r, const float* mid, const float* side,
                       float* spec_l, float* spec_r, float* thr_l, float* thr_r, mp3enc_stereo_state* state,
                       int granule_index, const int32_t* bands_per_window, const int32_t* bounds);
int mp3enc_intensity_search(int rate_class, const float* spec_l, const float* spec_r, const float* energy_l,
                            const float* energy_r, const float* thr_l, const float* thr_r, const int32_t* bounds,
                            int start_band, int active_bands, int is_short, float factor, int32_t* positions,
                            float* weight_b, float* weight_a, float* cross);
void mp3enc_intensity_stereo(int rate_class, float* energy_l, float* energy_r, float* spec_l, float* spec_r,
                             float* thr_l, float* thr_r, const float* weight_b, const float* weight_a,
                             const float* cross, const int32_t* first_bands, int active_bands,
                             const int32_t* bounds, int windows);
