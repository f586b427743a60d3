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
// The split of the big values into regions and the cheapest table of each: from rec's
// big_values, fills its region fields and big_values_bits. abs holds the absolute values.
void mp3enc_huff_choose_tables(int search_mode, const int32_t* abs, int block_type, const int32_t* band_starts,
                               mp3enc_huff_rec* rec);

// Count operations of the selection rows: the bits of each candidate table over the pairs, into
// out (tables: the row's candidates, read by the escape form).
typedef void (*mp3enc_huff_count_fn)(const int32_t* abs, int pairs, const int32_t* tables, int32_t* out);
void mp3enc_huff_count_t0(const int32_t* abs, int pairs, const int32_t* tables, int32_t* out);
void mp3enc_huff_count_t1(const int32_t* abs, int pairs, const int32_t* tables, int32_t* out);
void mp3enc_huff_count_t2_3(const int32_t* abs, int pairs, const int32_t* tables, int32_t* out);
void mp3enc_huff_count_t5_6(const int32_t* abs, int pairs, const int32_t* tables, int32_t* out);
void mp3enc_huff_count_t7_9(const int32_t* abs, int pairs, const int32_t* tables, int32_t* out);
void mp3enc_huff_count_t10_12(const int32_t* abs, int pairs, const int32_t* tables, int32_t* out);
void mp3enc_huff_count_t13_15(const int32_t* abs, int pairs, const int32_t* tables, int32_t* out);
void mp3enc_huff_count_esc(const int32_t* abs, int pairs, const int32_t* tables, int32_t* out);

// A region whose largest absolute value is at most `largest` is coded with the cheapest of the
// row's candidate tables.
struct mp3enc_huff_select_row {
  int32_t largest;
  int32_t n;
  int32_t tables[3];
  mp3enc_huff_count_fn count;
};
extern const mp3enc_huff_select_row mp3enc_huff_select[19];

int mp3enc_scalefac_bits(const int32_t* scalefac, int scalefac_compress, const int32_t* sfb_count,
                         const int32_t* slen);
int mp3enc_scalefac_select_mpeg1(int block_type, const int32_t* scalefac, int32_t* sfb_count, int32_t* slen);
int mp3enc_scalefac_select_mpeg2(int intensity, int block_type, const int32_t* scalefac, int preflag,
                                 int32_t* sfb_count, int32_t* slen);
