// Output sample-rate converter: rational polyphase FIR, Kaiser-windowed sinc.
#pragma once

#include <cstdint>

struct RatePhase {
  int taps;
  float* coef;  // 16-byte aligned
  // For the wide kernel: the taps oldest-first, zero-padded to a multiple of 8 (null when
  // the plain or SSE kernel runs).
  float* rcoef;
  int rtaps;
};

struct RateChannelState {
  int int_step;
  int frac_step;
  int phase;
  int write_pos;
  int to_take;
  float* history;  // history_len floats
};

struct RateConverter {
  int channels;
  int mode;  // 0 bypass, 1 polyphase FIR
  int in_count;
  int out_count;
  int L, M;
  int history_len;
  int max_taps;
  int input_rate, output_rate;
  RateChannelState state[2];
  RatePhase* phases;
  float* silence;  // max_taps zeros (drain input)
  int wide;        // the AVX2 kernel runs the channels
  // Wide kernel, 22050 to 44100 Hz (L = 2, M = 1): both phases' taps are symmetric (phase 0
  // of odd length doubling_taps + 1, phase 1 of even length doubling_taps), so each pair
  // of mirrored samples is added before it is weighted.
  int doubling;
  int doubling_taps;
  float* scratch;  // wide kernel: history and one chunk of input in a line (scratch_len floats)
  int scratch_len;
  float* lanes;  // doubling: the wide kernel's inputs and outputs turned into lanes
};

// count_kind 1: count is the maximum input count per call (all channels).
bool resampler_dec_create(RateConverter** out, int channels, int count_kind, int count,
                          int input_rate, int output_rate, double cutoff_hz,
                          double relative_transition, int flag);
// in_count: in: samples given (all channels), out: consumed. out_count: produced.
void resampler_dec_run(RateConverter* r, const float* in, float* out, int* in_count,
                       int* out_count);
// Output samples (all channels) that resampler_dec_run would produce from in_count input
// samples in the converter's present state, without changing it.
int resampler_dec_predict(const RateConverter* r, int in_count);
void resampler_dec_destroy(RateConverter* r);
void resampler_dec_clear(RateConverter* r);

// The AVX2 form of one channel's run (resampler_avx2.cpp; only when the processor has AVX2
// and FMA). Returns the input samples consumed; *produced gets the outputs written.
int resampler_dec_run_channel_avx2(RateConverter* r, RateChannelState* st, const float* in, int per,
                                   int stride, float* out, int* produced);
// Test hook: the next resampler_dec_create uses the plain and SSE kernels even where the
// processor has AVX2.
extern bool resampler_dec_no_wide_next_create;

// Test hook: when set, the next resampler_dec_create fails (and clears the flag).
extern bool resampler_dec_fail_next_create;
