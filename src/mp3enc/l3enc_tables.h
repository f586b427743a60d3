// Standard Layer III tables of the encoder, generated into l3enc_tables.cpp by
// tools/mp3enc_tables. Band bounds, slen, the MPEG-2 partition table and pretab come from
// the decoder's table file (mp3dec/l3tables.h), rows in the order 44100, 48000, 32000,
// 22050, 24000, 16000, 11025, 12000, 8000.
#pragma once

#include <cstdint>

struct mp3enc_huff_code {
  const uint32_t* code;  // code word of (x, y) at x * ylen + y, right-aligned
  const uint8_t* len;    // its length without sign bits and linbits
  int32_t ylen;          // 16 for the escape tables, whose 15 stands for 15 and more
  int32_t linbits;
};

extern const mp3enc_huff_code mp3enc_huff_codes[32];  // null codes for tables 0, 4 and 14
extern const uint8_t* const mp3enc_count1_code[2];    // indexed 8v + 4w + 2x + y
extern const uint8_t* const mp3enc_count1_len[2];
extern const float mp3enc_window_c[512];
