// Frame sizes: a pacer that keeps the exact average bit rate with up to four frame sizes,
// and the bit budgets of the reservoir.
#pragma once

#include <cstdint>

struct mp3enc_pacer {
  int64_t numerator = 0;  // average frame bits = numerator / denominator
  int64_t denominator = 1;
  int64_t error = 0;
  int32_t use_upper = 0;
  int32_t padding = 0;
  int32_t padding_mode = 0;  // 0 free, 1 never pad, 2 always pad
  int32_t lower = 0;
  int32_t upper = 0;
  int32_t lower_bits = 0;
  int32_t upper_bits = 0;
};

struct mp3enc_reservoir {
  mp3enc_pacer pacer;
  int32_t frame_bits[15] = {};
  int32_t cycle_frames = 1;
  int32_t cycle_bytes = 1;
};

// What the quantiser and the handle get from the frame sizes.
struct mp3enc_budget {
  int32_t lower = 0;
  int32_t upper = 0;
  int32_t reservoir_bits = 0;
  int32_t fill_frames = 0;
  int32_t min_output_bytes = 0;
  int32_t cycle_granules = 0;
  int32_t max_main_bits = 0;
  int32_t frame_main_bits = 0;
  int32_t granule_main_bits = 0;
};

int mp3enc_reservoir_create(mp3enc_reservoir** out);
void mp3enc_reservoir_free(mp3enc_reservoir* r);
// 0 success; 1 when the bit rate fits no bracket or the target is out of range.
int mp3enc_reservoir_setup(mp3enc_reservoir* r, int32_t bit_rate, int32_t rate, int32_t policy);
int32_t mp3enc_frame_bits(const mp3enc_reservoir* r, int32_t index);
// The smallest index 1..13 whose frame holds bits, else 14.
int32_t mp3enc_index_for_bits(const mp3enc_reservoir* r, int32_t bits);
// Chooses the next frame's size; 1 when no size is allowed.
int mp3enc_pacer_next(mp3enc_reservoir* r);
int32_t mp3enc_current_index(const mp3enc_reservoir* r);
int32_t mp3enc_current_padding(const mp3enc_reservoir* r);
int32_t mp3enc_cycle_frames(const mp3enc_reservoir* r);
int32_t mp3enc_cycle_bytes(const mp3enc_reservoir* r);
void mp3enc_reduce_fraction(int64_t* a, int64_t* b);
// 0 success, 1 when the frames cannot hold the header and side information.
int mp3enc_compute_budget(const mp3enc_reservoir* r, int32_t bit_rate, int32_t rate, int32_t granules,
                          int32_t head_bits, bool vbr, mp3enc_budget* out);
