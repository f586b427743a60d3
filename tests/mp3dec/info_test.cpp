// Stream information, duration and seeking, on streams built here.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "mp3dec_support.h"

namespace {

// Writes the `n` low bytes of `x` at `at`, most significant first.
void put_be(std::vector<uint8_t>& v, size_t at, uint32_t x, int n = 4) {
  for (int i = 0; i < n; ++i) v[at + size_t(i)] = uint8_t(x >> (8 * (n - 1 - i)));
}

// `first`, followed by `count` frames of `f`.
std::vector<uint8_t> then_frames(std::vector<uint8_t> first, const frame_spec& f, int count) {
  const auto rest = repeat_frames(f, count);
  first.insert(first.end(), rest.begin(), rest.end());
  return first;
}

struct info_holder {
  MP3DecoderInfo* i = nullptr;
  info_holder() { MP3CreateDecoderInfo(&i); }
  ~info_holder() { i->Release(); }
  const MP3StreamInfo* open(const std::vector<uint8_t>& data, uint32_t file_size) {
    return i->Open(data.data(), int(data.size()), file_size) ? i->GetInfo() : nullptr;
  }
};

// A stereo 44100 Hz 128 kbit/s stream whose first frame carries a Xing header.
std::vector<uint8_t> xing_stream(uint32_t flags, uint32_t frames, uint32_t bytes) {
  const frame_spec f{.mode = 0};
  std::vector<uint8_t> first = build_frame(f);
  std::memcpy(first.data() + 36, "Xing", 4);
  size_t p = 40;
  put_be(first, p, flags);
  p += 4;
  if (flags & 1) put_be(first, p, frames), p += 4;
  if (flags & 2) put_be(first, p, bytes), p += 4;
  if (flags & 4)
    for (int i = 0; i < 100; ++i) first[p++] = uint8_t(i * 256 / 100);
  return then_frames(first, f, 30);
}

}  // namespace

TEST(Mp3decInfo, ConstantBitRateDurationAndWholeFrames) {
  // 48000 Hz, 128 kbit/s: 384-byte frames, never padded, after 1000 bytes of junk.
  auto head = then_frames(std::vector<uint8_t>(1000, 0), {.rate_index = 1}, 20);
  head.resize(8192);
  info_holder h;
  const MP3StreamInfo* s = h.open(head, 1001000);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->firstFrame, 8000);  // in bits
  EXPECT_EQ(s->duration, 62500u);  // 1 000 000 bytes at 16 000 bytes/s
  EXPECT_EQ(s->vbr, 0u);
  EXPECT_EQ(s->seekable, 1u);
  EXPECT_EQ(h.i->TimeToOffset(0), 1000u);
  EXPECT_EQ(h.i->TimeToOffset(1000), 41u * 384u + 1000u);
  EXPECT_EQ(h.i->PercentToOffset(150.0f), h.i->PercentToOffset(100.0f));
}

TEST(Mp3decInfo, JunkAndLayerTwoGiveNoFrame) {
  info_holder h;
  EXPECT_EQ(h.open(std::vector<uint8_t>(4000, 0x55), 4000), nullptr);
  EXPECT_EQ(h.i->GetInfo()->firstFrame, -1);
  const frame_spec f;
  auto l2 = repeat_frames(f, 10);
  for (size_t i = 0; i < l2.size(); i += size_t(frame_bytes(f))) l2[i + 1] = uint8_t((l2[i + 1] & ~0x06) | 0x04);
  EXPECT_EQ(h.open(l2, uint32_t(l2.size())), nullptr);
}

TEST(Mp3decInfo, XingDurationAndTableOfContents) {
  info_holder h;
  const MP3StreamInfo* s = h.open(xing_stream(0xF, 1000, 417000), 500000);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->vbrHeader, 1u);
  EXPECT_EQ(s->seekable, 1u);
  EXPECT_EQ(s->duration, 26122u);  // 1000 x 1152 / 44100 s
  EXPECT_EQ(h.i->PercentToOffset(0.0f), 0u);
  EXPECT_NEAR(double(h.i->PercentToOffset(50.0f)), 417000.0 * 128 / 256, 2000.0);
  EXPECT_EQ(h.i->PercentToOffset(100.0f), 417000u);
  EXPECT_EQ(h.i->TimeToOffset(s->duration), 417000u);

  // Without a frame count the duration comes from the file size, and there is no seeking.
  s = h.open(xing_stream(0x2, 0, 417000), 417960);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->vbrHeader, 1u);
  EXPECT_EQ(s->seekable, 0u);
  EXPECT_EQ(s->duration, uint32_t(417960.0 * 1000 / 16000));

  // Mended fault: a zero frame count with a table of contents divides by nothing.
  ASSERT_NE(h.open(xing_stream(0x7, 0, 417000), 500000), nullptr);
  EXPECT_EQ(h.i->GetInfo()->duration, 0u);
  EXPECT_EQ(h.i->TimeToOffset(5000), 0u);
  EXPECT_LE(h.i->PercentToOffset(50.0f), 417000u);

  // MPEG-2.5 streams carry no Xing header that is read.
  std::vector<uint8_t> first = build_frame({.version = 2, .bitrate_index = 8});  // 11025 Hz
  std::memcpy(first.data() + 13, "Xing", 4);
  put_be(first, 17, 1);
  put_be(first, 21, 5);
  auto data = then_frames(first, {.version = 2, .bitrate_index = 8}, 40);
  data.resize(data.size() + 200, 0);
  ASSERT_NE(h.open(data, 100000), nullptr);
  EXPECT_EQ(h.i->GetInfo()->vbrHeader, 0u);
}

TEST(Mp3decInfo, VbriTakesPrecedenceAndInterpolatesSafely) {
  const frame_spec f;  // mono: a Xing header would sit at 21, the VBRI header at 36
  std::vector<uint8_t> first = build_frame(f);
  std::memcpy(first.data() + 21, "Xing", 4);
  put_be(first, 25, 1);
  put_be(first, 29, 999);
  std::memcpy(first.data() + 36, "VBRI", 4);
  put_be(first, 40, 1, 2);
  put_be(first, 46, 100000);  // bytes
  put_be(first, 50, 40);      // frames = entries x frames per entry (mended: no zero divisor)
  put_be(first, 54, 4, 2);    // entries
  put_be(first, 56, 1, 2);    // scale
  put_be(first, 58, 2, 2);    // entry size
  put_be(first, 60, 10, 2);   // frames per entry
  for (int e = 0; e < 4; ++e) put_be(first, size_t(62 + 2 * e), 25000, 2);
  auto data = then_frames(first, f, 20);
  info_holder h;
  const MP3StreamInfo* s = h.open(data, 900000);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->vbrHeader, 1u);
  EXPECT_EQ(s->seekable, 1u);
  EXPECT_EQ(s->duration, uint32_t(40 * 1152 * 1000.0 / 44100));
  EXPECT_NEAR(double(h.i->TimeToOffset(s->duration)), 100000.0, 2500.0);
  EXPECT_NEAR(double(h.i->TimeToOffset(s->duration / 2)), 50000.0, 2600.0);
  // A seek table whose values pass the stream size is clamped.
  for (int e = 0; e < 4; ++e) put_be(data, size_t(62 + 2 * e), 65535, 2);
  put_be(data, 56, 65535, 2);
  ASSERT_NE(h.open(data, 900000), nullptr);
  EXPECT_LE(h.i->TimeToOffset(500), 100000u);
}

TEST(Mp3decInfo, HugeFileClampsDuration) {
  info_holder h;  // 8000 Hz, 8 kbit/s
  ASSERT_NE(h.open(repeat_frames({.version = 2, .rate_index = 2, .bitrate_index = 1}, 100), 0xFFFFFFFFu), nullptr);
  EXPECT_EQ(h.i->GetInfo()->duration, uint32_t(0xFFFFFFFFu / 1000.0 * 1000));  // ~4.29e9 ms fits
  EXPECT_LE(h.i->TimeToOffset(0xFFFFFFFFu), 0xFFFFFFFFu);
}
