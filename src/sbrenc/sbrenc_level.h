// Level relation of the two input channels when one SBR channel is made from two-channel
// input; its class travels in the header.
#pragma once

#include <cstdint>

#include "mp3enc/common/errorhnd.h"

struct sbrenc_level_detector {
  int32_t decision;          // class of the last frame, 0..3
  float smooth_a;            // smoother feedback coefficient
  float smooth_b;            // smoother feed-forward coefficient
  float peak;                // first channel's peak level
  float peak_decay;          // per frame
  float prev_share;          // r1 of the last frame
  float prev_ratio;          // r2 of the last frame
  float smooth_in;
  float smooth_out;
  float dc;                  // DC filter coefficient
  float prev_e2, prev_e1;
  int32_t feedback_order, feedforward_length;
  const float* a;            // a1..a4
  const float* b;            // b0..b4
  float* x_hist[2];          // low-pass histories: [0] second channel, [1] first channel
  float* y_hist[2];
  int32_t history;           // H
  float* buffer[2];          // [0] first channel, [1] second channel; H + N floats
  int32_t frame_length;      // N
};

const mp3enc_error* sbrenc_level_detector_create(sbrenc_level_detector** out, int32_t rate, int32_t frame_length,
                                                 int32_t history_length);
void sbrenc_level_detector_free(sbrenc_level_detector** detector);
// input: N interleaved pairs, first channel at even positions.
void sbrenc_level_detect(sbrenc_level_detector* detector, const float* input);
