// Bit writer, marks and CRC, and the ancillary blocks of a frame's main data.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "mp3enc/ancillary.h"
#include "mp3enc/bitbuf.h"

namespace {

// Reads the ring's words directly (after the partial word is flushed), independently of
// the buffer's own reader.
std::vector<int> ring_bits(mp3enc_bitbuf* b, int from, int n) {
  mp3enc_bitbuf_flush_word(b);
  std::vector<int> bits;
  for (int i = 0; i < n; ++i) {
    const int p = (from + i) % (b->size * 16);
    bits.push_back((b->words[p / 16] >> (15 - p % 16)) & 1);
  }
  return bits;
}

uint32_t take(const std::vector<int>& bits, size_t& at, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 1) | uint32_t(bits[at++]);
  return v;
}

struct BufferDeleter {
  void operator()(mp3enc_bitbuf* b) const { mp3enc_bitbuf_destroy(&b); }
};
using Buffer = std::unique_ptr<mp3enc_bitbuf, BufferDeleter>;

}  // namespace

TEST(Mp3encBitBuffer, WritesAndReadsBackAcrossTheRing) {
  Buffer b(mp3enc_bitbuf_create(64));  // 4 words: values wrap around the end many times
  ASSERT_TRUE(b);
  EXPECT_EQ(mp3enc_put_bits(b.get(), 0x12345678u, 32), 32);
  EXPECT_EQ(mp3enc_bitbuf_read(b.get(), 16), 0x1234u);
  EXPECT_EQ(mp3enc_bitbuf_read(b.get(), 16), 0x5678u);
  EXPECT_EQ(mp3enc_bitbuf_count(b.get()), 0);
  // Three bits, flushed, read back while the writer is still on the word.
  mp3enc_put_bits(b.get(), 5, 3);
  mp3enc_bitbuf_flush_word(b.get());
  EXPECT_EQ(mp3enc_bitbuf_read(b.get(), 3), 5u);
  EXPECT_EQ(mp3enc_bitbuf_count(b.get()), 0);
  // Interleaved writes and reads of random widths, the reader close behind the writer.
  std::mt19937 rng(7);
  std::vector<std::pair<uint32_t, int>> queue;
  for (int step = 0; step < 5000; ++step) {
    const int n = int(rng() % 17);
    const uint32_t v = n ? rng() & ((1u << n) - 1) : 0;
    mp3enc_put_bits(b.get(), v, n);
    queue.push_back({v, n});
    while (mp3enc_bitbuf_count(b.get()) > 24 || (!queue.empty() && rng() % 3 == 0)) {
      const auto [want, bits] = queue.front();
      queue.erase(queue.begin());
      ASSERT_EQ(mp3enc_bitbuf_read(b.get(), bits), want) << "step " << step;
    }
  }
  // Counting without a buffer writes nothing and returns the width.
  EXPECT_EQ(mp3enc_put_bits(nullptr, 0x3FF, 10), 10);
  EXPECT_EQ(mp3enc_put_bits(b.get(), 0, 0), 0);
}

TEST(Mp3encBitBuffer, CopiesBitsAndBytesAndReportsPosition) {
  Buffer a(mp3enc_bitbuf_create(1024)), c(mp3enc_bitbuf_create(1024));
  mp3enc_put_bits(a.get(), 0x5, 3);
  for (int i = 0; i < 20; ++i) mp3enc_put_bits(a.get(), uint32_t(i * 37), 8);
  EXPECT_EQ(mp3enc_bitbuf_position(a.get()), 163);
  EXPECT_EQ(a->count_mod8, 3);
  mp3enc_bitbuf_copy(c.get(), a.get(), 163);
  EXPECT_EQ(mp3enc_bitbuf_count(c.get()), 163);
  EXPECT_EQ(mp3enc_bitbuf_count(a.get()), 0);
  EXPECT_EQ(mp3enc_bitbuf_read(c.get(), 3), 5u);
  uint8_t bytes[20];
  mp3enc_bitbuf_read_bytes(c.get(), bytes, 20);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(bytes[i], uint8_t(i * 37));
  // A full ring reports position 0.
  Buffer r(mp3enc_bitbuf_create(32));
  mp3enc_put_bits(r.get(), 0xFFFFFFFFu, 32);
  EXPECT_EQ(mp3enc_bitbuf_position(r.get()), 0);
}

TEST(Mp3encBitBuffer, CrcIsWrittenBackIntoItsMarkedField) {
  // CRC-8 with polynomial 0x45 over the bytes after the field, low 7 bits: checked
  // against the byte-wise CRC of the same data with the field's bits as written.
  Buffer b(mp3enc_bitbuf_create(256));
  mp3enc_crc* crc = mp3enc_anc_crc_create(b.get());
  ASSERT_TRUE(crc);
  mp3enc_put_bits(b.get(), 0xA, 4);
  mp3enc_crc_reset(crc);
  mp3enc_crc_field(crc);
  EXPECT_EQ(b->mark_count, 1);
  EXPECT_EQ(b->marks[0].id, -128);
  mp3enc_crc_region_begin(crc, 0, 24);
  const uint8_t data[4] = {0x31, 0x9C, 0x07, 0xEE};  // the last byte lies beyond the region
  for (uint8_t d : data) mp3enc_put_bits(b.get(), d, 8);
  mp3enc_crc_finish(crc);
  EXPECT_EQ(b->mark_count, 0);
  const auto bits = ring_bits(b.get(), 0, 43);
  size_t at = 4;
  const uint32_t field = take(bits, at, 7);
  // Bit-serial reference: the register is fed from bit 0x80.
  uint16_t reg = 0xFFFF;
  for (int i = 0; i < 24; ++i) {
    const int bit = (data[i / 8] >> (7 - i % 8)) & 1;
    const bool fb = ((reg & 0x80) != 0) != (bit != 0);
    reg = uint16_t(reg << 1);
    if (fb) reg ^= 0x45;
  }
  EXPECT_EQ(field, uint32_t(reg & 0x7F));
  EXPECT_EQ(uint8_t(reg), mp3enc_crc8(data, 3));  // same register as the table form
  EXPECT_EQ(take(bits, at, 32), 0x319C07EEu);
  mp3enc_crc_destroy(&crc);
  EXPECT_EQ(crc, nullptr);
}

TEST(Mp3encAncillary, SbrBlockLayouts) {
  struct Case {
    int header, type, data, channels;
    int total, pad, length1, length2, tag;
  };
  const Case cases[] = {
      {0, 0, 100, 2, 120, 7, 13, 0, 12},
      {0, 0, 100, 1, 120, 7, 13, 0, 13},
      {40, 0, 56, 1, 112, 3, 12, 0, 15},
      {0, 5, 2100, 2, 2128, 0, 255, 8, 12},
  };
  mp3enc_sbr_block* layout = nullptr;
  ASSERT_EQ(mp3enc_sbr_block_create(&layout), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.data);
    Buffer payload(mp3enc_bitbuf_create(4096)), main(mp3enc_bitbuf_create(8192));
    for (int i = 0; i < c.header + c.data; ++i) mp3enc_put_bits(payload.get(), (i * 7 >> 2) & 1, 1);
    sbrenc_output out;
    out.header_bits = c.header;
    out.element_type = c.type;
    out.data_bits = c.data;
    out.bits = payload.get();
    out.channels = c.channels;
    EXPECT_EQ(mp3enc_sbr_block_layout(layout, &out, 2), c.total);
    EXPECT_EQ(layout->pad, c.pad);
    EXPECT_EQ(layout->length1, c.length1);
    EXPECT_EQ(layout->length2, c.length2);
    mp3enc_crc* crc = mp3enc_anc_crc_create(main.get());
    mp3enc_write_ancillary(layout, main.get(), &out, crc, 2);
    mp3enc_crc_destroy(&crc);
    EXPECT_EQ(mp3enc_bitbuf_count(main.get()), c.total);
    EXPECT_EQ(out.header_bits, 0);
    EXPECT_EQ(out.data_bits, 0);
    const auto bits = ring_bits(main.get(), 0, c.total);
    size_t at = 0;
    EXPECT_EQ(take(bits, at, 4), uint32_t(c.tag));
    EXPECT_EQ(take(bits, at, 8), uint32_t(c.length1));
    if (c.length1 == 255) {
      EXPECT_EQ(take(bits, at, 8), uint32_t(c.length2));
    }
    EXPECT_EQ(take(bits, at, 1), c.type ? 1u : 0u);
    if (c.type) at += 7;
    for (int i = 0; i < c.header + c.data; ++i) ASSERT_EQ(bits[at++], (i * 7 >> 2) & 1);
    for (int i = 0; i < c.pad; ++i) EXPECT_EQ(bits[at++], 0);
  }
  EXPECT_EQ(mp3enc_sbr_block_layout(layout, nullptr, 2), 0);
  sbrenc_output out;
  EXPECT_EQ(mp3enc_sbr_block_layout(layout, &out, 1), 0);
  mp3enc_sbr_block_free(layout);
}

TEST(Mp3encAncillary, UserBlocksAndGaplessBlock) {
  std::vector<uint8_t> src(400);
  for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i + 1);
  struct Case {
    int pending, max_bytes, bits, left;
    uint8_t first, second;
  };
  const Case cases[] = {
      {3, 100, 32, 0, 0xA3, 1},    {14, 100, 120, 0, 0xAE, 1}, {15, 100, 136, 0, 0xAF, 0},
      {40, 20, 176, 20, 0xAF, 5},  {0, 100, 0, 0, 0, 0},       {5, -2, 0, 5, 0, 0},
      {300, 300, 8 * 272, 30, 0xAF, 255},  // never more than the area holds
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pending);
    uint8_t dst[mp3enc_user_anc_bytes] = {};
    int32_t pending = c.pending;
    EXPECT_EQ(mp3enc_pack_user_ancillary(src.data(), dst, &pending, c.max_bytes), c.bits);
    EXPECT_EQ(pending, c.left);
    if (c.bits) {
      EXPECT_EQ(dst[0], c.first);
      EXPECT_EQ(dst[1], c.second);
    }
  }
  int32_t pending = 4;
  uint8_t dst[mp3enc_user_anc_bytes];
  EXPECT_EQ(mp3enc_pack_user_ancillary(nullptr, dst, &pending, 10), 0);
  EXPECT_EQ(mp3enc_pack_user_ancillary(src.data(), dst, nullptr, 10), 0);

  uint8_t g[8];
  mp3enc_gapless_block(g, 1201, 1000);
  const uint8_t want[7] = {0xB0, 0x04, 0xB1, 0x00, 0x00, 0x03, 0xE8};
  EXPECT_EQ(std::memcmp(g, want, 7), 0);
  EXPECT_EQ(g[7], mp3enc_crc8(g, 7));
  EXPECT_EQ(mp3enc_crc8(nullptr, 0), 0xFF);
}
