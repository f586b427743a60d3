// Granule record, quantisation state and the per-granule coder: bit allocation, step
// estimation, the rate/distortion loops and the fit of each channel into its budget.
#pragma once

#include <cstdint>

#include "mp3enc/analysis.h"
#include "mp3enc/huffman.h"
#include "mp3enc/kernels.h"

constexpr int32_t mp3enc_no_step = -9999;
// global_gain is written as value + 150 into 8 bits.
constexpr int32_t mp3enc_gain_min = -150;
constexpr int32_t mp3enc_gain_max = 105;

struct mp3enc_granule {
  int32_t used_bits;
  int32_t sbr_bits;
  int32_t user_anc_bits;
  uint8_t user_anc[272];
  int32_t quantized[2][576];
  int32_t band_max[2][39];
  int32_t scalefac[2][39];
  int32_t global_gain[2];
  int32_t subblock_gain[2][3];
  int32_t scalefac_scale[2];
  int32_t scalefac_compress[2];
  int32_t sfb_count[2][4];
  int32_t slen[2][4];
  int32_t part2_3_length[2];
  int32_t preflag[2];
  int32_t block_type[2];
  mp3enc_huff_rec huff[2];
};

// PE range and ramp rows of the bit-rate adaptation.
struct mp3enc_rate_adapt {
  float lo, hi;
  float rows[4][4];  // x0, x1, y0, y1
};

struct mp3enc_bitalloc_state {
  mp3enc_rate_adapt adapt;
  float last_budget;
  int32_t spent;
  float m;
  float limit_long[22];
  float limit_short[39];  // 3 * band + window
};

struct mp3enc_band_pe_record {
  mp3enc_band_estimate est;  // level a and line count n per band; lines[39] is the sums' base
  float pe[40];
  float pe2[40];
  int32_t k[40];
  float S1, S2;
  int32_t K;
};

struct mp3enc_quant_setup {
  int32_t channels;
  int32_t version;  // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
  int32_t max_bits;
  int32_t frame_bits;
  int32_t granule_bits;
  float sbr_allowance;
  int32_t reservoir;
  float bandwidth_figure;  // 5760 x bandwidth / Nyquist
  int32_t quality;         // VBR quality 0..100
  int32_t rate_per_channel;
  int32_t huff_search;
  int32_t effort;
};

struct mp3enc_quant {
  int32_t version;
  int32_t frame_bits;
  int32_t max_bits;
  int32_t channels;
  int32_t reservoir_bits;
  mp3enc_bitalloc_state* bitalloc;
  mp3enc_huff_state* huff;
  int32_t granule_bits;
  float sbr_bits_average;
  int32_t frame_saved_bits;
  float demand_scale;
  int32_t effort;
};

int mp3enc_granule_create(mp3enc_granule** out);
void mp3enc_granule_free(mp3enc_granule* g);
int mp3enc_granule_reset(mp3enc_granule* g);

int mp3enc_quant_create(mp3enc_quant** out);
void mp3enc_quant_free(mp3enc_quant* q);
int mp3enc_quant_init(mp3enc_quant* q, const mp3enc_quant_setup* block);
int mp3enc_quant_granule(mp3enc_quant* q, mp3enc_granule_analysis* analysis, mp3enc_granule* rec, int sbr_bits,
                         const uint8_t* user_bytes, int32_t* user_count);
void mp3enc_quant_add_bits(mp3enc_quant* q, int n);
int mp3enc_quant_get_bits(const mp3enc_quant* q);
void mp3enc_quant_clear_saved(mp3enc_quant* q);
void mp3enc_quant_track_saved(mp3enc_quant* q, int used);
void mp3enc_quant_update_sbr_average(mp3enc_quant* q, mp3enc_granule* const* records, int granules);

// Pieces of the coder, exposed for tests.
double mp3enc_fast_log2(float y);
void mp3enc_quant_estimate_steps(const mp3enc_channel_analysis* analysis, int32_t* steps_out,
                                 const float* sqrt_sums, const float* peaks);
void mp3enc_band_sqrt_sum(const mp3enc_channel_analysis* ch, float* sums, float* maxima);
void mp3enc_quantise(int step, int n, const float* x, int32_t* q);
void mp3enc_quant_bands(int bands_in_use, const int32_t* starts, const float* x, int gain, int block_type,
                        const int32_t* subblock_gain, int preflag, int scalefac_scale, const int32_t* scalefac,
                        int32_t* q);
float mp3enc_quant_band_error(const float* x, const float* x34, int32_t* q, int n, int step);
void mp3enc_pow34(float* dst, const float* src, int n);
// i^(4/3) for i < 8192, filled by the first initialisation and only read after it.
extern float mp3enc_pow43_table[8192];
void mp3enc_pow43_table_init();
void mp3enc_quant_outer_loop(int n_in, int block_type, int32_t* sf, int32_t* global_gain, int32_t* subblock_gain,
                             int32_t* scalefac_scale, const int32_t* partition_counts, const int32_t* slen,
                             int preflag_allowed, int32_t* preflag, const int32_t* band_bounds, int effort,
                             const float* x, const float* E, const float* D, const float* S, int32_t* q);
void mp3enc_quant_inner_loop(int32_t* sf, int32_t* global_gain, int32_t* q, int preflag,
                             const int32_t* subblock_gain, int scalefac_scale, int block_type,
                             const int32_t* band_bounds, int N, const int32_t* partition_counts,
                             const int32_t* slen, const float* x, const float* E, const float* D, const float* S,
                             int effort);
void mp3enc_band_log_nlines(mp3enc_band_pe_record* rec, const float* energy, const float* thr, const float* c,
                            const int32_t* bounds, int n, int block_type);
void mp3enc_band_pe(mp3enc_band_pe_record* rec, const float* energy, const float* thr, int bands);
float mp3enc_bit_demand(const mp3enc_band_pe_record* rec, int bands);

// Bit-rate adaptation and bit allocation.
void mp3enc_rate_adapt_init(mp3enc_rate_adapt* rec, float v);
// The ramps of a row {x0, x1, y0, y1}: from y1 down to y0, or from y0 up to y1, as x runs
// from x0 to x1 (held outside).
float mp3enc_ramp_down(float x, const float* row);
float mp3enc_ramp_up(float x, const float* row);
float mp3enc_rate_adapt_factor(float a, float n, float N, float p, int block_type, mp3enc_rate_adapt* rec);
void mp3enc_range_track(float x, float* lo, float* hi);
// A zeroed state, or null when memory is short.
mp3enc_bitalloc_state* mp3enc_bitalloc_new();
int mp3enc_bitalloc_create(mp3enc_bitalloc_state** out);
void mp3enc_bitalloc_free(mp3enc_bitalloc_state* st);
void mp3enc_bitalloc_init(mp3enc_bitalloc_state* st, float factor, int rate_level);
void mp3enc_bitalloc_budget(mp3enc_bitalloc_state* st, mp3enc_granule_analysis* analysis, float* shares_out,
                            float (*S_sums)[39], int channels, int budget_base, int cap_bits, int aux_bits);
void mp3enc_bitalloc_demand(mp3enc_bitalloc_state* st, mp3enc_granule_analysis* analysis, float* shares_out,
                            float (*S_sums)[39], int channels, int cap_base, float scale);
void mp3enc_bitalloc_set_spent(mp3enc_bitalloc_state* st, int bits);
// Moves the correction factor m by the last budget x against the bits n spent under it;
// y is the entropy the granule may have. Far apart, m returns to 1.
void mp3enc_bitalloc_factor_update(mp3enc_bitalloc_state* st, int n, float x, float y);
// Flags per band: 1 protected, 0 may be given up, for the raising towards target.
void mp3enc_select_sacrificed_bands(int8_t (*flags)[39], mp3enc_granule_analysis* analysis, int channels,
                                    const mp3enc_band_pe_record* pe_work, float target);
void mp3enc_raise_thresholds(mp3enc_granule_analysis* analysis, mp3enc_band_pe_record* pe_work,
                             const float* L_long, const float* L_short, int channels, float target,
                             float (*S_sums)[39]);
