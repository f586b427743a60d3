// The encoder's bitstream container: a ring of 16-bit words written and read most
// significant bit first, with marks for fields filled in later and a CRC over regions.
#pragma once

#include <cstdint>

constexpr int mp3enc_max_marks = 16;
constexpr int32_t mp3enc_unset = INT32_MIN;

struct mp3enc_mark {
  int32_t id = 0;
  int32_t word = mp3enc_unset;
  int32_t bit = mp3enc_unset;
  int32_t width = 0;
};

struct mp3enc_bitbuf {
  int32_t size = 0;  // ring size in 16-bit words
  uint16_t* words = nullptr;
  uint16_t read_cache = 0;
  uint16_t acc = 0;
  int32_t free = 16;
  int32_t read_left = 0;
  int32_t write_index = 0;
  int32_t read_index = -1;
  int32_t count = 0;
  int32_t count_mod8 = 0;
  int32_t reload = 0;
  mp3enc_mark marks[mp3enc_max_marks];
  int32_t mark_count = 0;
};

mp3enc_bitbuf* mp3enc_bitbuf_create(int32_t bits);
void mp3enc_bitbuf_destroy(mp3enc_bitbuf** buffer);
void mp3enc_bitbuf_reset(mp3enc_bitbuf* buffer);

// Writes the low n (0..32) bits of value; a null buffer only counts. Returns n.
int32_t mp3enc_put_bits(mp3enc_bitbuf* buffer, uint32_t value, int32_t n);
int32_t mp3enc_bitbuf_count(const mp3enc_bitbuf* buffer);
int32_t mp3enc_bitbuf_position(const mp3enc_bitbuf* buffer);
void mp3enc_bitbuf_flush_word(mp3enc_bitbuf* buffer);
uint32_t mp3enc_bitbuf_read(mp3enc_bitbuf* buffer, int32_t n);  // n <= 16
void mp3enc_bitbuf_copy(mp3enc_bitbuf* dst, mp3enc_bitbuf* src, int32_t n);
void mp3enc_bitbuf_read_bytes(mp3enc_bitbuf* buffer, uint8_t* dst, int32_t n);
// Records a mark at the write position, then writes value in width bits.
void mp3enc_bitbuf_mark(mp3enc_bitbuf* buffer, int32_t id, uint32_t value, int32_t width);

struct mp3enc_crc_region {
  int32_t start = mp3enc_unset;
  int32_t end = mp3enc_unset;
  int32_t length = 0;
  int32_t reserved = 0;
};

struct mp3enc_crc {
  mp3enc_bitbuf* buffer = nullptr;
  int32_t mark_id = 0;
  uint16_t poly = 0;
  uint16_t top = 0;
  uint16_t reg = 0;
  uint16_t init = 0;
  uint16_t mask = 0;
  mp3enc_crc_region* regions = nullptr;
  int32_t region_count = 0;
  int32_t width = 0;
};

mp3enc_crc* mp3enc_crc_create(mp3enc_bitbuf* buffer, uint16_t poly, uint16_t top, uint16_t init,
                              int32_t width, int32_t regions);
void mp3enc_crc_destroy(mp3enc_crc** crc);
void mp3enc_crc_reset(mp3enc_crc* crc);
// Marks a zero field of the CRC's width at the write position.
void mp3enc_crc_field(mp3enc_crc* crc);
void mp3enc_crc_region_begin(mp3enc_crc* crc, int32_t r, int32_t length);
// Runs the regions through the register and writes the result into the field.
void mp3enc_crc_finish(mp3enc_crc* crc);
