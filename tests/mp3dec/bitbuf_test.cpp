// Bit buffer, header parser, synchroniser.
#include <gtest/gtest.h>

#include <vector>

#include "mp3dec/bitbuf.h"
#include "mp3dec_support.h"

TEST(Mp3decBitBuffer, ReadsSkipsWrapsAndFills) {
  std::vector<uint8_t> store(8192, 0);
  BitBuffer b;
  bitbuf_init(&b, store.data(), 8);
  const uint8_t d[4] = {0x12, 0x34, 0x56, 0x78};
  bitbuf_feed(&b, d, 4);
  EXPECT_EQ(bitbuf_get_bits(&b, 4), 0x1u);
  EXPECT_EQ(bitbuf_get_bits(&b, 12), 0x234u);
  EXPECT_EQ(bitbuf_get_bits(&b, 0), 0u);
  bitbuf_skip_bits(&b, -16);
  EXPECT_EQ(bitbuf_get_32(&b), 0x12345678u);
  // A read across the end of the ring takes its last byte, then its first.
  bitbuf_init(&b, store.data(), 8192);
  std::vector<uint8_t> fill(8191, 0x11);
  bitbuf_feed(&b, fill.data(), 8191);
  bitbuf_skip_bits(&b, 8191 * 8);
  const uint8_t two[2] = {0xAB, 0xCD};
  EXPECT_EQ(bitbuf_feed(&b, two, 2), 2);
  EXPECT_EQ(bitbuf_get_bits(&b, 16), 0xABCDu);
  EXPECT_EQ(b.bits_available, 0);
  // The size is rounded up to a power of two; a full ring takes nothing more.
  bitbuf_init(&b, store.data(), 10);
  EXPECT_EQ(b.size_bytes, 16);
  EXPECT_EQ(bitbuf_feed(&b, fill.data(), 20), 16);
  EXPECT_EQ(bitbuf_feed(&b, fill.data(), 1), 0);
  EXPECT_EQ(bitbuf_free_bytes(&b), 0);
}

TEST(Mp3decHeader, DecodesAndRejects) {
  MpaHeader h;
  const uint32_t word = frame_header_word({.rate_index = 1});  // MPEG-1, 48000 Hz, 128 kbit/s
  ASSERT_EQ(mpa_header_decode(&h, word), 1);
  EXPECT_EQ(h.sample_rate, 48000);
  EXPECT_EQ(h.bitrate, 128000);
  EXPECT_EQ(h.frame_bits, 384 * 8);
  EXPECT_FLOAT_EQ(h.frame_ms, 24.0f);
  // Free format, bit-rate index 15, Layer II, the reserved version, the reserved rate.
  for (uint32_t bad : {word & ~0xF000u, word | 0xF000u, (word & ~0x60000u) | 0x40000u, word & ~0x100000u, word | 0xC00u}) {
    EXPECT_EQ(mpa_header_decode(&h, bad), 0) << std::hex << bad;
    EXPECT_EQ(h.valid, 0);
  }
  ASSERT_EQ(mpa_header_decode(&h, frame_header_word({.version = 2, .rate_index = 2, .bitrate_index = 1})), 1);
  EXPECT_EQ(h.sample_rate, 8000);
  EXPECT_EQ(mpa_samples_per_frame(&h), 576);
}

namespace {
struct sync_over {
  std::vector<uint8_t> store = std::vector<uint8_t>(65536, 0);
  FrameSync s;
  SSC find(const std::vector<uint8_t>& bytes, bool end) {
    mpasync_init(&s, store.data(), 8192);
    bitbuf_feed(&s.buf, bytes.data(), int(bytes.size()));
    if (end) bitbuf_set_end(&s.buf);
    return mpasync_find_frame(&s);
  }
};
}  // namespace

TEST(Mp3decSync, LoneHeadersLayerTwoAndFreeFormatNeverLock) {
  sync_over sync;
  EXPECT_EQ(sync.find(build_frame({}), false), SSC_SYNC_SEARCHED);
  EXPECT_EQ(sync.find(build_frame({}), true), SSC_SYNC_EOF);
  EXPECT_EQ(mpasync_find_frame(&sync.s), SSC_SYNC_EOF);  // sticky
  const frame_spec f;
  std::vector<uint8_t> l2 = repeat_frames(f, 4), ff = l2;
  for (size_t i = 0; i < l2.size(); i += size_t(frame_bytes(f))) {
    l2[i + 1] = uint8_t((l2[i + 1] & ~0x06) | 0x04);  // layer II
    ff[i + 2] = uint8_t(ff[i + 2] & 0x0F);            // bit-rate index 0
  }
  EXPECT_EQ(sync.find(l2, true), SSC_SYNC_EOF);
  EXPECT_EQ(sync.find(ff, true), SSC_SYNC_EOF);
}

TEST(Mp3decSync, FindsUnalignedHeader) {
  bit_writer w;
  w.put(0, 3);
  for (uint8_t b : repeat_frames({}, 3)) w.put(b, 8);
  sync_over sync;
  EXPECT_EQ(sync.find(w.bytes, false), SSC_OK);
  EXPECT_EQ(sync.s.steps, 3);
  EXPECT_EQ(sync.s.buf.read_pos, 3);
}

TEST(Mp3decSync, RateChangeLosesSyncBitrateChangeDoesNot) {
  const frame_spec a, b{.bitrate_index = 5, .padding = 1}, c{.rate_index = 1};
  std::vector<uint8_t> data;
  for (const auto* f : {&a, &b, &a, &a, &a, &a, &a, &a, &a, &a, &a, &a, &c, &a}) {
    auto x = build_frame(*f);
    data.insert(data.end(), x.begin(), x.end());
  }
  sync_over sync;
  int ok = 0;
  SSC r = sync.find(data, true);
  for (; r == SSC_OK; r = mpasync_find_frame(&sync.s)) {
    ++ok;
    bitbuf_skip_bits(&sync.s.buf, sync.s.header.frame_bits);
  }
  EXPECT_EQ(r, SSC_SYNC_LOST);
  EXPECT_EQ(ok, 12);  // the 13th frame has another sample rate
}
