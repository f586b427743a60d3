// Rational-ratio converter from the caller's sample rate to the rate the encoder codes at.
// Interleaved float samples in fixed blocks; one side's block size is given and the other
// derived. Five ways of running: copy, direct polyphase FIR, 1024-point FFT overlap-add for
// pure decimation, a recursive half-band filter for exact 2:1, and a 512-phase filter with
// linear interpolation between phases for very large up-sampling factors.
#pragma once

#include <cstdint>

// Parameters filled by resampler_enc_setup; create writes L, M, taps, gain and the derived
// block size back. The layout keeps the order of the words callers know.
struct resampler_enc_params {
  int32_t in_rate = 0;
  int32_t out_rate = 0;
  int32_t unused2 = 0;
  int32_t unused3 = 0;
  int32_t max_phases = 512;
  int32_t L = 0;  // output rate / gcd
  int32_t M = 0;  // input rate / gcd
  int32_t copy = 0;
  int32_t force_odd = 0;
  int32_t unused9 = 0;
  int32_t given_is_input = 0;
  float cutoff_hz = 0.0f;
  float attenuation_db = 90.0f;
  float width_hz = 0.0f;
  float gain = 1.0f;
  int32_t taps = 0;  // 0: derived from attenuation and width
  int32_t post_design = 0;
  int32_t in_block = 0;   // interleaved samples
  int32_t out_block = 0;  // interleaved samples
};

struct resampler_enc_phase {
  int count = 0;
  float* coef = nullptr;  // 16-byte aligned
};

struct resampler_enc_bank {
  int phases = 0;
  int ways = 1;
  int taps_per_phase = 0;
  int fft_hop = 0;
  float* kernel_spectrum = nullptr;  // 1024 floats, packed real spectrum; pure decimation only
  resampler_enc_phase* phase = nullptr;
};

struct resampler_enc_direct_state {
  int step = 0;
  int remainder = 0;
  int phase = 0;
  int ring_pos = 0;  // also the fill count of the FFT block
  int out_offset = 0;
  int need = 1;
  int given_is_input = 0;
  float* ring = nullptr;   // taps_per_phase past samples
  float* block = nullptr;  // 1024 floats, FFT path only
  float* tail = nullptr;   // taps_per_phase floats, FFT path only
  float hb_ring[16] = {};
  int hb_index = 0;
};

struct resampler_enc_interp_state {
  int a = 0;
  int b = 0;
  int b_div_a = 0;
  int b_mod_a = 0;
  int phase_pos = 512;
  int fraction = 0;
  int phases = 512;
  int ring_pos = 0;
  int given_is_input = 0;
  float* ring = nullptr;  // taps_per_phase + 1 past samples
};

struct resampler_enc {
  int channels = 0;
  int kind = 1;  // 1 general FIR, 0 fixed half-band
  int in_block = 0;
  int in_per_channel = 0;
  int out_block = 0;
  int out_per_channel = 0;
  int taps_per_phase = 0;
  int latency = 0;  // input samples per channel
  int hop_or_input = 0;
  resampler_enc_bank* bank = nullptr;
  resampler_enc_direct_state* direct = nullptr;
  resampler_enc_interp_state* interp = nullptr;
  int mode = 0;  // 0 copy, 1 direct polyphase, 2 interpolating
};

typedef float (*resampler_enc_dot_fn)(const float* coef, int count, const float* ring, int ring_len, int pos);
float resampler_enc_phase_dot(const float* coef, int count, const float* ring, int ring_len, int pos);
// The same in four-wide single-precision arithmetic; only where the processor has SSE.
float resampler_enc_phase_dot_sse(const float* coef, int count, const float* ring, int ring_len, int pos);
extern resampler_enc_dot_fn resampler_enc_dot_kernel;
// Points resampler_enc_dot_kernel at the SSE form when the processor has it, else the plain one;
// only the first call writes it.
void resampler_enc_select_dot();

int resampler_enc_setup(resampler_enc** out, int channels, int given_is_input, int block_size, int in_rate, int out_rate,
                        float cutoff_hz, float width_factor, int allow_half_band);
int resampler_enc_setup_params(resampler_enc_params* p, int given_is_input, int block_size, int in_rate, int out_rate,
                               float cutoff_hz, float width_factor);
int resampler_enc_create(resampler_enc** out, resampler_enc_params* p, int channels, int32_t* in_count,
                         int32_t* out_count, int allow_half_band);
int resampler_enc_ratio_ok(int L, int M, int* mode_out);
void resampler_enc_run(resampler_enc* r, float* in, float* out, int* in_count, int* out_count);
void resampler_enc_process(resampler_enc_direct_state* s, const resampler_enc_bank* bank, const float* in, float* out,
                           int* in_count, int* out_count, int stride, int kind);
void resampler_enc_process_interp(resampler_enc_interp_state* s, const resampler_enc_bank* bank, const float* in,
                                  float* out, int* in_count, int* out_count, int stride);
void resampler_enc_free(resampler_enc* r);

// The Kaiser-windowed prototype, exposed for tests of the design. align > 1 lengthens it until
// the length minus one is a multiple of align (2: an odd length).
int resampler_enc_design(double fc, double width, double attenuation_db, int align, double* coef_out, int capacity);
int resampler_enc_design_length(double width, double attenuation_db);
