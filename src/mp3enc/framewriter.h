// Layer III frame writer: header, CRC, side information and main data of each frame, with a
// queue that releases a frame only once the main data that fills its slot exists (the bit
// reservoir's back-pointer).
#pragma once

#include <cstdint>

#include "mp3enc/ancillary.h"
#include "mp3enc/bitbuf.h"
#include "mp3enc/quant.h"
#include "mp3enc/sbr_output.h"

constexpr int mp3enc_queue_frames = 257;

struct mp3enc_frame_output {
  int32_t frames;
  int32_t bytes[mp3enc_queue_frames];
};

struct mp3enc_fill_pattern {
  int32_t pos;
  int32_t period;
  uint8_t bytes[33];
};

struct mp3enc_framewriter {
  int32_t mode;
  int32_t bit_rate;
  int32_t sample_rate;
  int32_t crc;
  int32_t private_bit;
  int32_t copyright;
  int32_t original;
  int32_t channels;
  int32_t version;
  int32_t sample_rate_index;
  int32_t granules;
  int32_t side_bits;
  int32_t head_bits;
  int32_t header_bits;
  int32_t crc_bits;
  int32_t main_data_begin;  // bytes
  mp3enc_bitbuf* side_buffer;
  mp3enc_bitbuf* main_buffer;
  mp3enc_sbr_block* sbr_block;
  mp3enc_crc* anc_crc;
  struct entry {
    int32_t head_bits;
    int32_t slot_bits;
  } queue[mp3enc_queue_frames];
  int32_t queue_read;
  int32_t queue_write;
  mp3enc_frame_output output;
  mp3enc_fill_pattern fill;
};

int mp3enc_framewriter_create(mp3enc_framewriter** out);
void mp3enc_framewriter_free(mp3enc_framewriter* w);
// cfg: mode (0 stereo, 1 joint, 2 dual, 3 mono), bit rate, sample rate, crc, private, copyright,
// original.
int mp3enc_framewriter_config(mp3enc_framewriter* w, const int32_t cfg[7]);
int mp3enc_framewriter_head_bits(const mp3enc_framewriter* w);
int mp3enc_framewriter_frame_bits(const mp3enc_framewriter* w, int bitrate_index);
int mp3enc_sbr_block_size(mp3enc_framewriter* w, const sbrenc_output* sbr_out);
// The most main-data bits (granules, fill, ancillary blocks) that the next frame can carry
// when it is frame_bits long: what earlier frames left behind plus its own slot.
int mp3enc_framewriter_room(const mp3enc_framewriter* w, int frame_bits);
// Appends one frame and emits every complete frame that fits the out_size bytes of out; the
// rest stays queued. Returns the frame's bits (main data used + head + fill), or -1, writing
// nothing, when a value of the side information does not fit its field or the frame's main
// data does not fit the room the reservoir left.
int mp3enc_write_frame(mp3enc_framewriter* w, mp3enc_granule* const* granules, sbrenc_output* sbr_out,
                       int bitrate_index, int padding, int mode_extension, uint8_t* out, int32_t out_size,
                       int32_t* out_bytes);
// Emits the queued frames that fit, complete or not (their missing main data is zero).
int mp3enc_framewriter_flush(mp3enc_framewriter* w, uint8_t* out, int32_t out_size, int32_t* out_bytes);
int mp3enc_framewriter_queued(const mp3enc_framewriter* w);
const mp3enc_frame_output* mp3enc_framewriter_output(const mp3enc_framewriter* w);
void mp3enc_framewriter_clear_output(mp3enc_framewriter* w);
uint16_t mp3enc_crc16_update(uint16_t poly, uint16_t top, uint16_t crc, uint8_t byte);

// Huffman writers of the pair tables, by table: the code with its sign bits, and for the escape
// tables (16 to 31) the linbits of the values from 15 up.
struct mp3enc_huff_writer {
  void (*write)(int x, int y, int linbits, mp3enc_bitbuf* b);
  int32_t linbits;
};
extern const mp3enc_huff_writer mp3enc_huff_writers[32];
void mp3enc_huff_write_esc16(int x, int y, int linbits, mp3enc_bitbuf* b);
void mp3enc_huff_write_esc24(int x, int y, int linbits, mp3enc_bitbuf* b);
void mp3enc_huff_write_count1_a(int v, int w, int x, int y, mp3enc_bitbuf* b);
void mp3enc_huff_write_count1_b(int v, int w, int x, int y, mp3enc_bitbuf* b);
// Through the writer of the table, or count1 table A (0) or B (1).
void mp3enc_huff_write_pair(int x, int y, int table, mp3enc_bitbuf* b);
void mp3enc_huff_write_quad(int v, int w, int x, int y, int table, mp3enc_bitbuf* b);
