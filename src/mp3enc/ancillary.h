// Ancillary data carried in a frame's main data: the SBR block, user bytes and the
// gapless information block.
#pragma once

#include <cstdint>

#include "mp3enc/bitbuf.h"
#include "mp3enc/sbr_output.h"

struct mp3enc_sbr_block {
  int32_t total = 0;
  int32_t pad = 0;
  int32_t body = 0;
  int32_t length1 = 0;
  int32_t escape = 255;
  int32_t length2 = 0;
};

constexpr int32_t mp3enc_user_anc_bytes = 272;

int mp3enc_sbr_block_create(mp3enc_sbr_block** out);
void mp3enc_sbr_block_free(mp3enc_sbr_block* block);
// Lays out the block for the payload in out; returns its bits (0 without payload or kind 2).
int32_t mp3enc_sbr_block_layout(mp3enc_sbr_block* layout, const sbrenc_output* out, int32_t kind);
// Writes the block laid out last; the payload's bit counts are cleared afterwards.
void mp3enc_write_ancillary(const mp3enc_sbr_block* layout, mp3enc_bitbuf* main_buffer,
                            sbrenc_output* out, mp3enc_crc* crc, int32_t kind);
// The CRC object the SBR block needs over the main-data ring.
mp3enc_crc* mp3enc_anc_crc_create(mp3enc_bitbuf* main_buffer);

// Packs up to max_bytes of the pending user bytes as a user block into dst
// (mp3enc_user_anc_bytes long); lowers *pending and returns the block's bits.
int32_t mp3enc_pack_user_ancillary(const uint8_t* src, uint8_t* dst, int32_t* pending,
                                   int32_t max_bytes);

// CRC-8, polynomial 0x45, initial value 0xFF, most significant bit first.
uint8_t mp3enc_crc8(const uint8_t* bytes, int32_t n);
// The 8-byte gapless information block: delay and length in samples.
void mp3enc_gapless_block(uint8_t dst[8], int32_t delay, uint32_t length);
