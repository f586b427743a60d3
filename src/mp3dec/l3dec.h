// Layer III frame decoder.
#pragma once

#include <cstdint>

#include "mp3dec/bitbuf.h"
#include "mp3dec/mp3dec.h"

struct l3_granule {
  int32_t part2_3_length, big_values, global_gain, scalefac_compress, window_switching,
      block_type, mixed_block, table_select[3], subblock_gain[3], region0_count, region1_count,
      preflag, scalefac_scale, count1table_select;
  // derived
  int32_t region1_start, region2_start, nonzero;
};

struct l3_conceal {
  float history[4][576];
  l3_granule history_side[4];
  int32_t history_len[4];  // lines stored; the rest of an entry reads as 0
  int32_t write_index;
  float mean[576];
  float band_energy[22];
  int32_t mean_current;
};

struct l3_ran3 {
  int32_t inext, inextp;
  int32_t ma[56];
};

constexpr int L3_RESERVOIR_BYTES = 2048;
constexpr int L3_MAX_PAYLOAD = 510;

struct Layer3State {
  FrameSync* sync;
  // synthesis: per channel 16 slots of 64 values of the V vector, newest at synth_pos
  alignas(16) float synth_v[2][16][64];
  int32_t synth_pos[2];
  float overlap[2][576];
  l3_conceal conceal[2];
  l3_ran3 ran;
  uint32_t shift_reg;
  // frame parameters
  MpaHeader hdr;
  int32_t channels, sfreq_row, mpeg1, header_bits, check_crc;
  // main-data reservoir (linear; holds the latest L3_RESERVOIR_BYTES bytes of main data)
  uint8_t reservoir[2 * L3_RESERVOIR_BYTES + 64];
  int32_t reservoir_len;
  int32_t reservoir_dirty;  // bytes past reservoir_len up to here may be stale and are zeroed
  int32_t prev_anc_start;  // first ancillary byte of the previous frame (text reader)
  // side information
  int32_t main_data_begin, private_bits, scfsi[2][4];
  l3_granule gr[2][2];
  uint8_t sf_long[2][22];        // per channel, current granule
  uint8_t sf_short[2][13][3];
  uint8_t is_max_long[22];       // MPEG-2 illegal intensity positions of the right channel
  uint8_t is_max_short[13];
  int32_t intensity_scale;
  float xr[2][576];
  int32_t q_right[576];  // Huffman values of the right channel (intensity boundaries)
  float hybrid[2][576];
  // options and flags
  int32_t float_output, no_crc_check;
  int32_t gapless_search, info_frame;
  int32_t payload_len;
  uint8_t payload[L3_MAX_PAYLOAD + 2];
};

void l3dec_init(Layer3State* s, FrameSync* sync, int rate_shift, int forced_mono, int float_output,
                int no_crc_check, int gapless_search);
void l3dec_reset(Layer3State* s, int full);
// Decodes the frame the synchroniser has locked onto into out (float, interleaved, 16-bit
// scale). capacity in bytes refers to the caller's sample size (2, or 4 with float output).
// ancillary_out may be null; *ancillary_count holds its capacity on entry when positive.
SSC l3dec_decode_frame(Layer3State* s, float* out, int capacity, int* out_bytes,
                       uint8_t* ancillary_out, int* ancillary_count, uint32_t* gapless_delay,
                       uint32_t* gapless_length);

// Searches ancillary bytes for the 8-byte gapless block and VBRI headers. Returns 1 when the
// block was found (delay and length set); *vbri_seen counts VBRI headers met.
int l3_search_gapless(const uint8_t* bytes, int count, uint32_t* delay, uint32_t* length,
                      int* vbri_seen);
// CRC-8, polynomial 0x45, initial 0xFF, over count bytes.
uint8_t l3_crc8(const uint8_t* bytes, int count);
// Reads at most two ancillary text blocks into out (capacity bytes); returns bytes copied.
int l3_read_ancillary_text(const uint8_t* bytes, int count, uint8_t* out, int capacity);
// Polyphase synthesis of one time slot (32 subband samples) into 32 samples at stride.
void l3_synth_slot(float v[16][64], int32_t* pos, const float* subbands, float* out, int stride);
void l3_dct32(const float* in, float* out);
// Process-wide counts of decoded granules by block kind: [0] long, [1] start, [2] short,
// [3] stop, [4] mixed (for tests that check what a corpus holds).
extern uint64_t l3_block_counts[5];
