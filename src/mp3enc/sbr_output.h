// The block through which the SBR encoder hands its payload and crossover to the core.
#pragma once

#include <cstdint>

struct mp3enc_bitbuf;

struct sbrenc_output {
  int32_t header_bits = 0;   // header bits of this frame's payload (0: no header)
  int32_t element_type = 0;  // 0: no CRC; else the CRC covers element_type + 4 payload bits
  int32_t data_bits = 0;
  mp3enc_bitbuf* bits = nullptr;  // header bits first, then data bits
  float crossover_hz = 0.0f;  // for the core
  int32_t crossover_may_change = 0;
  int32_t channels = 0;      // coded channels
  float requested_crossover_hz = 0.0f;
};

// The block with a payload ring of the given size; null when out of memory.
sbrenc_output* mp3enc_anc_buffer_create(int32_t bits);
void mp3enc_anc_buffer_free(sbrenc_output* out);
