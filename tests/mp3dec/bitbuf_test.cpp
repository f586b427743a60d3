// Bit buffer, header parser, synchroniser.
#include <gtest/gtest.h>

#include <vector>

#include "mp3dec/bitbuf.h"
#include "mp3dec_support.h"

TEST(Mp3decBitBuffer, WrapReadsLastThenFirstByte) {
  std::vector<uint8_t> store(8192, 0);
  BitBuffer b;
  bitbuf_init(&b, store.data(), 8192);
  std::vector<uint8_t> fill(8191, 0x11);
  bitbuf_feed(&b, fill.data(), 8191);
  bitbuf_skip_bits(&b, 8191 * 8);
  const uint8_t two[2] = {0xAB, 0xCD};
  EXPECT_EQ(bitbuf_feed(&b, two, 2), 2);
  EXPECT_EQ(bitbuf_get_bits(&b, 16), 0xABCDu);
  EXPECT_EQ(b.bits_available, 0);
}

TEST(Mp3decBitBuffer, FeedIntoFullRingTakesNothing) {
  std::vector<uint8_t> store(16, 0);
  BitBuffer b;
  bitbuf_init(&b, store.data(), 10);
  EXPECT_EQ(b.size_bytes, 16);
  std::vector<uint8_t> fill(20, 1);
  EXPECT_EQ(bitbuf_feed(&b, fill.data(), 20), 16);
  EXPECT_EQ(bitbuf_feed(&b, fill.data(), 1), 0);
  EXPECT_EQ(bitbuf_feed(&b, fill.data(), 0), 0);
  EXPECT_EQ(bitbuf_free_bytes(&b), 0);
}

TEST(Mp3decBitBuffer, GetBitsAndSkip) {
  std::vector<uint8_t> store(8, 0);
  BitBuffer b;
  bitbuf_init(&b, store.data(), 8);
  const uint8_t d[4] = {0x12, 0x34, 0x56, 0x78};
  bitbuf_feed(&b, d, 4);
  EXPECT_EQ(bitbuf_get_bits(&b, 4), 0x1u);
  EXPECT_EQ(bitbuf_get_bits(&b, 12), 0x234u);
  EXPECT_EQ(bitbuf_get_bits(&b, 0), 0u);
  bitbuf_skip_bits(&b, -16);
  EXPECT_EQ(bitbuf_get_32(&b), 0x12345678u);
  EXPECT_EQ(b.bits_consumed, 32);
}

TEST(Mp3decHeader, DecodesAndRejects) {
  MpaHeader h;
  frame_spec f;
  f.version = 0;
  f.rate_index = 1;  // 48000
  f.bitrate_index = 9;  // 128k
  ASSERT_EQ(mpa_header_decode(&h, frame_header_word(f)), 1);
  EXPECT_EQ(h.sample_rate, 48000);
  EXPECT_EQ(h.bitrate, 128000);
  EXPECT_EQ(h.frame_bits, 384 * 8);
  EXPECT_EQ(h.channels, 1);
  EXPECT_FLOAT_EQ(h.frame_ms, 24.0f);
  // free format, index 15, Layer II, reserved version, reserved rate
  EXPECT_EQ(mpa_header_decode(&h, frame_header_word(f) & ~0xF000u), 0);
  EXPECT_EQ(h.valid, 0);
  EXPECT_EQ(mpa_header_decode(&h, frame_header_word(f) | 0xF000u), 0);
  EXPECT_EQ(mpa_header_decode(&h, (frame_header_word(f) & ~0x60000u) | 0x40000u), 0);
  EXPECT_EQ(mpa_header_decode(&h, frame_header_word(f) & ~0x100000u), 0);
  EXPECT_EQ(mpa_header_decode(&h, frame_header_word(f) | 0xC00u), 0);
  f.version = 2;
  f.rate_index = 2;
  f.bitrate_index = 1;
  ASSERT_EQ(mpa_header_decode(&h, frame_header_word(f)), 1);
  EXPECT_EQ(h.sample_rate, 8000);
  EXPECT_EQ(h.version, 2);
  EXPECT_EQ(mpa_samples_per_frame(&h), 576);
}

namespace {
SSC sync_over(std::vector<uint8_t> bytes, bool end, FrameSync* s, std::vector<uint8_t>* store) {
  store->assign(65536, 0);
  mpasync_init(s, store->data(), 8192);
  bitbuf_feed(&s->buf, bytes.data(), int(bytes.size()));
  if (end) bitbuf_set_end(&s->buf);
  return mpasync_find_frame(s);
}
}  // namespace

TEST(Mp3decSync, LoneHeaderNeverLocks) {
  frame_spec f;
  FrameSync s;
  std::vector<uint8_t> store;
  EXPECT_EQ(sync_over(build_frame(f), false, &s, &store), SSC_SYNC_SEARCHED);
  EXPECT_EQ(sync_over(build_frame(f), true, &s, &store), SSC_SYNC_EOF);
  EXPECT_EQ(mpasync_find_frame(&s), SSC_SYNC_EOF);  // sticky
}

TEST(Mp3decSync, FindsUnalignedHeader) {
  frame_spec f;
  std::vector<uint8_t> frames = repeat_frames(f, 3);
  bit_writer w;
  w.put(0, 3);
  for (uint8_t b : frames) w.put(b, 8);
  FrameSync s;
  std::vector<uint8_t> store;
  EXPECT_EQ(sync_over(w.bytes, false, &s, &store), SSC_OK);
  EXPECT_EQ(s.steps, 3);
  EXPECT_EQ(s.buf.read_pos, 3);
}

TEST(Mp3decSync, RateChangeLosesSyncBitrateChangeDoesNot) {
  frame_spec a, b, c;
  b.bitrate_index = 5;
  b.padding = 1;
  c.rate_index = 1;
  std::vector<uint8_t> data = build_frame(a);
  for (const auto* f : {&b, &a, &a, &a, &a, &a, &a, &a, &a, &a, &a, &c, &a}) {
    auto x = build_frame(*f);
    data.insert(data.end(), x.begin(), x.end());
  }
  FrameSync s;
  std::vector<uint8_t> store;
  ASSERT_EQ(sync_over(data, true, &s, &store), SSC_OK);
  int ok = 0;
  for (;;) {
    ASSERT_EQ(s.state, SSC_OK);
    ++ok;
    bitbuf_skip_bits(&s.buf, s.header.frame_bits);
    SSC r = mpasync_find_frame(&s);
    if (r != SSC_OK) {
      EXPECT_EQ(r, SSC_SYNC_LOST);
      break;
    }
  }
  EXPECT_EQ(ok, 12);  // the 13th frame has another sample rate
}

TEST(Mp3decSync, LayerTwoAndFreeFormatNeverLock) {
  frame_spec f;
  std::vector<uint8_t> data = repeat_frames(f, 4);
  std::vector<uint8_t> l2 = data, ff = data;
  for (size_t i = 0; i < data.size(); i += size_t(frame_bytes(f))) {
    l2[i + 1] = uint8_t((l2[i + 1] & ~0x06) | 0x04);  // layer II
    ff[i + 2] = uint8_t(ff[i + 2] & 0x0F);            // bit-rate index 0
  }
  FrameSync s;
  std::vector<uint8_t> store;
  EXPECT_EQ(sync_over(l2, true, &s, &store), SSC_SYNC_EOF);
  EXPECT_EQ(sync_over(ff, true, &s, &store), SSC_SYNC_EOF);
}
