// The encoder handle and the objects one initialisation builds.
#pragma once

#include <cstdint>

#include "mp3enc/core.h"
#include "mp3enc/mp3enc.h"
#include "mp3enc/resampler_enc.h"
#include "mp3enc/sbr_output.h"
#include "sbrenc/sbrenc.h"
#include "sbrenc/sbrenc_config.h"

struct mp3enc_sample_block {
  float scale = 32768.0f;  // the value that stands for full scale
  float* samples = nullptr;
  int32_t channels = 0;
  int32_t capacity = 0;  // floats
};

struct mp3enc_rate_stage {
  int32_t active = 0;
  resampler_enc* converter = nullptr;
  int32_t fill = 0;
  int32_t produced = 0;
  mp3enc_sample_block block;
  int32_t last_produced = 0;
};

// Everything an initialisation builds; a re-configuration builds a new one beside the old
// and keeps the old when that fails.
struct mp3enc_engine {
  mp3enc_core* core = nullptr;
  mp3enc_core_info info;
  mp3enc_sample_block core_block;
  int32_t core_fill = 0;
  int32_t end_of_input = 0;
  int32_t countdown = -1;  // blocks still to push at the end; -1 not yet known
  int32_t finished = 0;
  int32_t filter = 0;
  int32_t first_rate = 0;  // rate entering the core path after the first stage
  mp3enc_rate_stage stages[2];  // [0] the mp3PRO stage, [1] input rate to output rate
  int32_t wanted = 0;
  int32_t block_bytes = 0;
  int32_t margin_samples = 0;
  int32_t margin_bytes = 0;
  sbrenc_encoder* sbr = nullptr;
  mp3enc_sample_ring line{};  // full-rate input of the SBR encoder
  int32_t sbr_frame = 0;      // its frame length
  int32_t sbr_pair = 0;       // two input channels: one core channel, an SBR channel pair
  sbrenc_output* sbr_out = nullptr;
  int32_t downmix = 0;  // 1: two input channels coded as one; 2: as for sbr_pair
  int32_t frame_counter = 0;
  int32_t delay = 0;
  float bandwidth = 0.0f;
};

struct mp3enc_handle {
  int32_t rate = 0;
  int32_t channels = 0;
  int32_t width = 0;  // 0 16-bit, 1 float
  mp3enc_engine* engine = nullptr;
  mp3enc_params params;
  mp3enc_config config;
  sbrenc_config sbr{};
  char build_date[40] = {};
  char version[40] = {};
};

// Builds the objects for the handle's configuration and parameters; null on failure.
mp3enc_engine* mp3enc_init(const mp3enc_handle* h);
void mp3enc_free_all(mp3enc_engine* e);
int mp3enc_rate_stage_create(mp3enc_rate_stage* stage, int32_t in_rate, int32_t out_rate, float cutoff,
                             int32_t channels, int32_t block_length, int32_t double_buffer, int32_t wide);
void mp3enc_rate_stage_free(mp3enc_rate_stage* stage);
// Fills the stage's block from pcm (converted, down-mixed), runs its converter into dest
// when the block is full and returns 1 then.
int mp3enc_split_input(mp3enc_rate_stage* stage, const uint8_t* pcm, int32_t channels, int32_t bytes,
                       int32_t width, mp3enc_sample_block* dest, int32_t* consumed, int32_t* wanted,
                       int32_t end_of_input, int32_t downmix);
