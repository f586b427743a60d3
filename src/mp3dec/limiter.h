// Peak limiter.
#pragma once

struct PeakLimiterChannel {
  int mode;  // 0 pass, 1 release, 2 hold, 3 attack, 4 finished
  float gain;
  float previous_target;
};

struct PeakLimiter {
  int channels;
  int block_length;
  int block_samples;
  int linked;
  float threshold;
  float release;
  PeakLimiterChannel* state;
  float* delay;  // block_samples floats, 16-byte aligned
};

PeakLimiter* mp3dec_limiter_create(int block_length, int channels, int linked);
// input null: flush the delayed block times the current gains.
void mp3dec_limiter_process(PeakLimiter* l, const float* input, float* output);
void mp3dec_limiter_destroy(PeakLimiter** l);
