// MP3 encoder: seven functions on an opaque handle. Nothing throws; failures are null,
// 0 or -1 as each function states.
#pragma once

#include <cstdint>

struct mp3enc_handle;

// 0 in words output_rate, channel_mode and sbr_mode (and bit_rate) asks the encoder to
// choose; the values in force are written back by mp3enc_set_config.
struct mp3enc_config {
  uint32_t output_rate = 0;   // Hz, not above the input rate
  uint32_t channel_mode = 0;  // 1 mono, 2 joint stereo, 3 mono core with SBR stereo, 4 dual channel
  uint32_t sbr_mode = 0;      // 1 mp3PRO, 2 plain MPEG audio
  uint32_t bit_rate = 0;      // 8000 to 320000 bit/s
  uint32_t vbr_quality = 0;   // 0 constant bit rate, 1 to 100 variable
};

struct mp3enc_params {
  int32_t quality = 0;      // 0 to 2
  int32_t intensity = 1;    // intensity stereo allowed
  int32_t mid_side = 1;     // mid/side stereo allowed
  int32_t stereo_prep = 1;  // two-channel pre-processing at low bit rates
  float bandwidth = 0.0f;   // Hz, 0 automatic; on output the bandwidth in force
  int32_t crc = 0;          // CRC after each frame header
  int32_t padding = 0;      // 0 exact average, 1 never pad, 2 always pad
  int32_t private_bit = 0;
  int32_t copyright = 0;
  int32_t original = 0;
  int32_t delay = 0;        // output: encoder delay in samples at the output rate
  int32_t length = 0;       // input length in samples for the gapless block; 0 none
};

// width 0: 16-bit signed samples; 1: 32-bit floats in 16-bit units (32768 full scale).
mp3enc_handle* mp3enc_open(int32_t rate, int32_t channels, int32_t width);
// Nonzero on success. A rejected configuration leaves the encoder and cfg as they were.
int mp3enc_set_config(mp3enc_handle* h, mp3enc_config* cfg);
mp3enc_params* mp3enc_get_params(mp3enc_handle* h);
int mp3enc_set_params(mp3enc_handle* h, const mp3enc_params* p);
// Bytes still wanted to complete the current input block.
int mp3enc_get_input_size(mp3enc_handle* h, int32_t* bytes);
// Takes at most one input block; bytes = 0 flushes. Returns the bytes of whole frames
// written to out, or -1. anc/anc_count: user ancillary bytes (may be null).
int32_t mp3enc_encode(mp3enc_handle* h, const void* pcm, int32_t bytes, int32_t* consumed,
                      uint8_t* out, int32_t out_size, const uint8_t* anc, int32_t* anc_count);
int mp3enc_close(mp3enc_handle* h);
