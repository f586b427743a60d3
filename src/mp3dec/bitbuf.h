// Bit buffer, frame header and frame synchroniser.
#pragma once

#include <cstdint>

#include "mp3dec/mp3dec.h"

struct BitBuffer {
  int32_t size_bytes;
  int32_t size_bits;
  int32_t bits_available;
  int32_t write_pos;
  int32_t bits_consumed;
  int32_t read_pos;
  int32_t end_flag;
  uint8_t* storage;
};

void bitbuf_init(BitBuffer* b, uint8_t* storage, int requested_bytes);
void bitbuf_reset(BitBuffer* b);
uint32_t bitbuf_get_bits(BitBuffer* b, int n);
uint32_t bitbuf_get_32(BitBuffer* b);
int bitbuf_skip_bits(BitBuffer* b, int n);
int bitbuf_free_bytes(const BitBuffer* b);
int bitbuf_feed(BitBuffer* b, const uint8_t* bytes, int count);
int bitbuf_copy(BitBuffer* dst, BitBuffer* src, int count);
void bitbuf_set_end(BitBuffer* b);
int bitbuf_is_end(const BitBuffer* b);
// Copies count bytes from the read position (any bit alignment) into out and advances.
void bitbuf_read_bytes(BitBuffer* b, uint8_t* out, int count);

struct MpaHeader {
  int32_t sync;
  int32_t mpeg25_bit;
  int32_t id_bit;
  int32_t layer;
  int32_t crc_present;
  int32_t bitrate_index;
  int32_t samplerate_index;
  int32_t padding;
  int32_t private_bit;
  int32_t mode;
  int32_t mode_ext;
  int32_t copyright;
  int32_t original;
  int32_t emphasis;
  int32_t valid;
  int32_t version;
  int32_t channels;
  int32_t sample_rate;
  int32_t bitrate;
  int32_t frame_bits;
  float frame_ms;
};

int mpa_header_decode(MpaHeader* h, uint32_t word);
int mpa_samples_per_frame(const MpaHeader* h);

struct FrameSync {
  BitBuffer buf;
  MpaHeader header;
  uint32_t reference;
  int32_t confidence;
  int32_t steps;
  SSC state;
};

void mpasync_init(FrameSync* s, uint8_t* storage, int size);
// The storage must hold at least the power of two not below length (see bitbuf_init).
void mpasync_attach(FrameSync* s, uint8_t* bytes, int length);
void mpasync_reset(FrameSync* s);
SSC mpasync_find_frame(FrameSync* s);
