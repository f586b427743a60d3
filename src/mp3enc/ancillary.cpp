// Ancillary blocks of a frame's main data.
#include "mp3enc/ancillary.h"

#include <array>
#include <cstring>

#include "mp3enc/alloc.h"

sbrenc_output* mp3enc_anc_buffer_create(int32_t bits) {
  sbrenc_output* out = mp3enc_new_record<sbrenc_output>();
  if (!out) return nullptr;
  out->bits = mp3enc_bitbuf_create(bits);
  if (!out->bits) {
    mp3enc_free_record(out);
    return nullptr;
  }
  return out;
}

void mp3enc_anc_buffer_free(sbrenc_output* out) {
  if (!out) return;
  mp3enc_bitbuf_destroy(&out->bits);
  mp3enc_free_record(out);
}

int mp3enc_sbr_block_create(mp3enc_sbr_block** out) {
  if (!out) return 1;
  *out = mp3enc_new_record<mp3enc_sbr_block>();
  return *out ? 0 : 1;
}

void mp3enc_sbr_block_free(mp3enc_sbr_block* block) { mp3enc_free_record(block); }

int32_t mp3enc_sbr_block_layout(mp3enc_sbr_block* layout, const sbrenc_output* out, int32_t kind) {
  if (!layout || !out || kind != 2) return 0;
  const int32_t body = out->header_bits + 1 + out->data_bits + (out->element_type ? 7 : 0);
  const int32_t pad = ((4 - body) % 8 + 8) % 8;  // whole bytes from the length field on
  const int32_t length = (body - 4 + pad) / 8;
  layout->body = body;
  layout->pad = pad;
  layout->escape = 255;
  int32_t header;
  if (length > 254) {
    layout->length1 = 255;
    layout->length2 = length - 255;
    header = 20;
  } else {
    layout->length1 = length;
    layout->length2 = 0;
    header = 12;
  }
  layout->total = body + pad + header;
  return layout->total;
}

mp3enc_crc* mp3enc_anc_crc_create(mp3enc_bitbuf* main_buffer) {
  return mp3enc_crc_create(main_buffer, 0x45, 0x80, 0xFFFF, 7, 1);
}

void mp3enc_write_ancillary(const mp3enc_sbr_block* layout, mp3enc_bitbuf* b, sbrenc_output* out,
                            mp3enc_crc* crc, int32_t kind) {
  if (!layout || !out || kind != 2) return;
  const int32_t tag = 12 + (out->header_bits ? 2 : 0) + (out->channels == 1 ? 1 : 0);
  mp3enc_put_bits(b, uint32_t(tag), 4);
  mp3enc_put_bits(b, uint32_t(layout->length1), 8);
  if (layout->length1 == 255) mp3enc_put_bits(b, uint32_t(layout->length2), 8);
  const bool with_crc = out->element_type != 0 && crc;
  mp3enc_put_bits(b, with_crc ? 1 : 0, 1);
  if (with_crc) {
    mp3enc_crc_reset(crc);
    mp3enc_crc_field(crc);
    mp3enc_crc_region_begin(crc, 0, out->element_type + 4);
  }
  const int32_t payload = out->header_bits + out->data_bits;
  if (out->bits) {
    mp3enc_bitbuf_copy(b, out->bits, payload);
  } else {
    for (int32_t i = 0; i < payload; i += 16) mp3enc_put_bits(b, 0, payload - i < 16 ? payload - i : 16);
  }
  if (with_crc) mp3enc_crc_finish(crc);
  mp3enc_put_bits(b, 0, layout->pad);
  out->header_bits = 0;
  out->data_bits = 0;
}

int32_t mp3enc_pack_user_ancillary(const uint8_t* src, uint8_t* dst, int32_t* pending,
                                   int32_t max_bytes) {
  if (!src || !dst || !pending) return 0;
  int32_t n = *pending < max_bytes ? *pending : max_bytes;
  // The two-byte form holds at most 15 + 255 bytes, which also fills the area exactly.
  if (n > mp3enc_user_anc_bytes - 2) n = mp3enc_user_anc_bytes - 2;
  if (n < 1) return 0;
  int32_t head;
  if (n <= 14) {
    dst[0] = uint8_t(0xA0 | n);
    head = 1;
  } else {
    dst[0] = 0xAF;
    dst[1] = uint8_t(n - 15);
    head = 2;
  }
  std::memcpy(dst + head, src, size_t(n));
  *pending -= n;
  return 8 * (n + head);
}

namespace {
constexpr std::array<uint8_t, 256> crc8_table = [] {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) {
    uint8_t r = uint8_t(i);
    for (int k = 0; k < 8; ++k) r = uint8_t((r & 0x80) ? (r << 1) ^ 0x45 : r << 1);
    t[size_t(i)] = r;
  }
  return t;
}();
}  // namespace

uint8_t mp3enc_crc8(const uint8_t* bytes, int32_t n) {
  uint8_t r = 0xFF;
  for (int32_t i = 0; i < n; ++i) r = crc8_table[r ^ bytes[i]];
  return r;
}

void mp3enc_gapless_block(uint8_t dst[8], int32_t delay, uint32_t length) {
  dst[0] = 0xB0;
  dst[1] = uint8_t(uint32_t(delay) >> 8);
  dst[2] = uint8_t(delay);
  dst[3] = uint8_t(length >> 24);
  dst[4] = uint8_t(length >> 16);
  dst[5] = uint8_t(length >> 8);
  dst[6] = uint8_t(length);
  dst[7] = mp3enc_crc8(dst, 7);
}
