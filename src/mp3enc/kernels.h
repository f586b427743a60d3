// The encoder's arithmetic kernels, chosen once per initialisation by processor
// features, and the small vector routines called directly.
#pragma once

#include <cstdint>

struct mp3enc_attack_state;
struct mp3enc_polyphase_state;

// Output of kern_band_log_nlines: per band level 0.5*log2(E^2) and estimated number of
// significant lines; lines[39] is the base mark (125 for short blocks, else 0).
struct mp3enc_band_estimate {
  float log[40];
  int32_t lines[40];
};

struct mp3enc_kernel_table {
  // 0: out[k][i] = fourth root of thresholds[k][i] for i < counts[k], k < n.
  void (*band_root4)(float (*out)[39], const float* const* thresholds, const int32_t* counts, int n);
  // 1: per band the sum of sqrt|x| (plus 1e-10) and the largest |x|.
  void (*band_sqrt_sum)(float* sums, float* maxima, int32_t count, const int32_t* bounds,
                        const float* x);
  // 2: per band energy and the total; lines are counted from 0, bounds[0] is not read.
  void (*band_energy)(const float* x, const int32_t* bounds, int32_t n, float* energy, float* total);
  // 3: per band mid and side energies of two spectra and their totals.
  void (*band_energy2)(const float* left, const float* right, const int32_t* bounds, int32_t n,
                       float* mid, float* mid_total, float* side, float* side_total);
  // 4 to 6: attack detector and filterbank of the analysis; 6 filters two interleaved
  // channels in one call.
  int (*attack_detect)(mp3enc_attack_state* state, const float* x);
  int (*polyphase)(mp3enc_polyphase_state* state, const float* input, int32_t stride,
                   float* subbands);
  int (*polyphase_stereo)(mp3enc_polyphase_state* state, const float* input, float* subbands);
  // 7: q[i] = sign(x) * trunc((|x| * 2^(-step/4))^(3/4) + 0.4054).
  void (*quantise)(int32_t step, int32_t n, const float* x, int32_t* q);
  // 8: per band level and line-count estimate of the bands above their threshold.
  mp3enc_band_estimate* (*band_log_nlines)(mp3enc_band_estimate* out, const float* energy,
                                           const float* threshold, const float* c,
                                           const int32_t* bounds, int32_t n, int32_t block_type);
  // 9, 10: copy n 32-bit words between regions that do not overlap.
  void (*copy)(const void* src, void* dst, int32_t n);
  void (*copy2)(const void* src, void* dst, int32_t n);
  // 11: dot product, 0 for n = 0.
  float (*dot)(const float* a, const float* b, int32_t n);
};

// The set in force: the plain set until an initialisation has chosen.
const mp3enc_kernel_table& mp3enc_kernels();
const mp3enc_kernel_table& mp3enc_plain_kernels();
// Chooses the SSE2 set when allowed and the processor has it, else the plain set; returns 0.
int mp3enc_install_kernels(int allow_simd);
// For tests only: every installation takes this table until it is unpinned with null.
void mp3enc_pin_kernels(const mp3enc_kernel_table* table);
int os_supports_simd();
int cpu_has_sse();
int cpu_has_sse2();

// The plain set, slot by slot (slots 4 to 6 live with the analysis).
void kern_band_root4(float (*out)[39], const float* const* thresholds, const int32_t* counts, int n);
void kern_band_sqrt_sum(float* sums, float* maxima, int32_t count, const int32_t* bounds, const float* x);
void kern_band_energy(const float* x, const int32_t* bounds, int32_t n, float* energy, float* total);
void kern_band_energy2(const float* left, const float* right, const int32_t* bounds, int32_t n, float* mid,
                       float* mid_total, float* side, float* side_total);
void kern_quantise(int32_t step, int32_t n, const float* x, int32_t* q);
mp3enc_band_estimate* kern_band_log_nlines(mp3enc_band_estimate* out, const float* energy, const float* threshold,
                                           const float* c, const int32_t* bounds, int32_t n, int32_t block_type);
void kern_copy(const void* src, void* dst, int32_t n);
void kern_copy2(const void* src, void* dst, int32_t n);
float kern_dot(const float* a, const float* b, int32_t n);

// Bits needed for the values 0..n-1.
int mp3enc_ilog2(int32_t n);
void mp3enc_vec_add(const float* a, const float* b, float* out, int32_t n);
void mp3enc_vec_add_strided(const float* a, int32_t stride_a, const float* b, int32_t stride_b,
                            float* out, int32_t stride_out, int32_t n);
void mp3enc_copy_strided(const float* src, int32_t stride_src, float* dst, int32_t stride_dst,
                         int32_t n);
void mp3enc_copy_strided(const int32_t* src, int32_t stride_src, int32_t* dst, int32_t stride_dst,
                         int32_t n);
void mp3enc_vec_max(const float* a, const float* b, float* out, int32_t n);
void mp3enc_vec_abs(const int32_t* in, int32_t* out, int32_t n);
void mp3enc_fill(float value, float* dst, int32_t n);
void mp3enc_fill(int32_t value, int32_t* dst, int32_t n);
void mp3enc_fill_strided(float value, float* dst, int32_t stride, int32_t n);
void mp3enc_fill2(float value, float* dst, int32_t n);
void mp3enc_fill2(int32_t value, int32_t* dst, int32_t n);

// Base-2 logarithm by table with linear interpolation, to about six decimals.
float mp3enc_table_log2(float v);
