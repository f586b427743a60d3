// Standard Layer III tables, generated into l3tables.cpp by tools/mp3dec_tables.
#pragma once

#include <cstdint>

struct l3_huff_table {
  int32_t offset;      // into l3_huff_data
  int32_t first_bits;  // bits of the first-level lookup; 0 for table 0
  int32_t linbits;
  int32_t valid;       // 0 for tables 4 and 14, which do not exist
};

extern const uint32_t l3_huff_data[];
extern const l3_huff_table l3_huff_tables[32];
extern const l3_huff_table l3_count1_tables[2];
extern const int16_t l3_sfb_long[9][23];
extern const int16_t l3_sfb_short[9][14];
extern const float l3_synth_window[512];
extern const uint8_t l3_slen[16][2];
extern const uint8_t l3_nr_of_sfb[6][3][4];
extern const uint8_t l3_pretab[22];
