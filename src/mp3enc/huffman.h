// Bit counting of one channel's quantised granule: scalefactor compression, the split of the
// 576 values into big-values regions, count1 and zero regions, and the cheapest tables.
#pragma once

#include <cstdint>

struct mp3enc_huff_rec {
  int32_t zero_count;
  int32_t count1_quads;
  int32_t count1_table;  // 0 table A, 1 table B
  int32_t count1_bits;
  int32_t big_values;  // pairs
  int32_t region_count;
  int32_t region0_count;  // as written: bands - 1
  int32_t region1_count;
  int32_t table_select[3];
  int32_t region_bits[3];
  int32_t region_pairs[3];
  int32_t big_values_bits;
  int32_t huffman_bits;
};

struct mp3enc_huff_state {
  int32_t search_mode;  // 0 fixed region split, 1 exhaustive
  int32_t abs[576];
};

int mp3enc_huff_create(mp3enc_huff_state** out);
void mp3enc_huff_free(mp3enc_huff_state* st);
void mp3enc_huff_set_search(mp3enc_huff_state* st, int flag);

void mp3enc_huff_find_regions(mp3enc_huff_state* st, const int32_t* q, const int32_t* band_max, int block_type,
                              int bands_in_use, const int32_t* band_starts, mp3enc_huff_rec* rec);
// Bits of n pairs of absolute values coded with pair table t, sign bits and linbits included.
int mp3enc_huff_pair_bits(int t, const int32_t* abs, int pairs);

int mp3enc_scalefac_bits(const int32_t* scalefac, int scalefac_compress, const int32_t* sfb_count,
                         const int32_t* slen);
int mp3enc_scalefac_select_mpeg1(int block_type, const int32_t* scalefac, int32_t* sfb_count, int32_t* slen);
int mp3enc_scalefac_select_mpeg2(int intensity, int block_type, const int32_t* scalefac, int preflag,
                                 int32_t* sfb_count, int32_t* slen);
