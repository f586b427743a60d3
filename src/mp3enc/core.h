// The core Layer III encoder state: built once per initialisation, run one granule at a time.
#pragma once

#include <cstdint>

#include "mp3enc/analysis.h"
#include "mp3enc/framewriter.h"
#include "mp3enc/quant.h"
#include "mp3enc/reservoir.h"
#include "mp3enc/sbr_output.h"
#include "mp3enc/stereo_prep.h"

struct mp3enc_core_config {
  int32_t rate = 0;        // core sample rate
  int32_t bit_rate = 0;    // 0 with VBR
  int32_t channels = 1;    // coded channels
  int32_t channels2 = 1;
  float bandwidth = 0.0f;  // Hz, 0 automatic
  int32_t intensity_off = 0;
  int32_t ms_off = 0;
  int32_t joint_off = 0;
  int32_t vbr = 0;
  int32_t vbr_quality = 0;
  int32_t quality_flag = 0;
  int32_t quality = 0;
  int32_t padding = 0;
  int32_t crc = 0;
  int32_t private_bit = 0;
  int32_t copyright = 0;
  int32_t original = 0;
  int32_t stereo_prep = 0;
  int32_t sbr = 0;
};

struct sbrenc_encoder;

struct mp3enc_core_info {
  float bandwidth = 0.0f;
  int32_t delay = 0;
  int32_t min_output_bytes = 0;
  int32_t cycle_frames = 0;
  int32_t cycle_bytes = 0;
};

struct mp3enc_core {
  mp3enc_core_config cfg;
  mp3enc_quant* quant = nullptr;
  mp3enc_granule* granules[2] = {};
  mp3enc_granule_analysis* result = nullptr;
  mp3enc_analysis* analysis = nullptr;
  mp3enc_reservoir* frames = nullptr;
  mp3enc_framewriter* writer = nullptr;
  mp3enc_stereo_prep* prep = nullptr;
  // Not owned: the SBR encoder whose payload a frame may have to leave out (null without one).
  sbrenc_encoder* sbr_encoder = nullptr;
  mp3enc_budget budget;
  int32_t head_bits = 0;
  int32_t granules_per_frame = 1;
  int32_t cycle_granules = 1;
  int32_t min_output_bytes = 0;
  int32_t delay = 1201;
  int32_t granule_counter = 0;
  int32_t mode_ext = 0;
  int32_t index = 0;
  int32_t padding = 0;
  int32_t frame_bits = 0;
  int32_t used_bits = 0;
  int32_t silent_samples = 0;
  int32_t flushed = 0;  // the end of the stream has left the frame writer
  float block[2 * 576] = {};  // one granule of input, padded with silence
};

// For tests that force a payload overflow: when set, it gives the bits a granule can reach
// (the reservoir and the frame) in place of the real figure.
extern int32_t (*mp3enc_core_room_for_tests)(int32_t granule, int32_t room);

// A zeroed core record, or null.
mp3enc_core* mp3enc_core_alloc();
int mp3enc_core_init(mp3enc_core** core, const mp3enc_core_config* cfg);
void mp3enc_core_free(mp3enc_core* core);
int mp3enc_core_get_info(const mp3enc_core* core, mp3enc_core_info* out);
// 1 when the next granule completes a frame.
int mp3enc_frame_due(const mp3enc_core* core);
const mp3enc_frame_output* mp3enc_core_get_output(mp3enc_core* core);
// 1 once the end of the stream has been flushed and no frame is left queued.
int mp3enc_core_drained(const mp3enc_core* core);
// 1 when a call of mp3enc_core_encode_frame with this count codes a granule; 0 when it only
// lets the frame writer give up the last frames.
int mp3enc_core_codes_granule(const mp3enc_core* core, int32_t count);
// 0 success; 1 bad count; 2 out_size below the minimum; 4 more produced than out_size; 5 the
// frame writer refused a frame whose side information would not fit its fields.
// A count of 0 (the end of the stream) codes at most one silent granule per call.
int mp3enc_core_encode_frame(int32_t* pending_length, int32_t delay, mp3enc_core* core,
                             sbrenc_output* sbr_out, const float* samples, int32_t count,
                             uint8_t* out, int32_t out_size, int32_t* produced,
                             const uint8_t* user_bytes, int32_t* user_count);
