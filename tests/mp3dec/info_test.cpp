// Stream information, duration and seeking, on streams built here.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "mp3dec_support.h"

namespace {
void put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  v[at] = uint8_t(x >> 24);
  v[at + 1] = uint8_t(x >> 16);
  v[at + 2] = uint8_t(x >> 8);
  v[at + 3] = uint8_t(x);
}
void put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  v[at] = uint8_t(x >> 8);
  v[at + 1] = uint8_t(x);
}

struct info_holder {
  MP3DecoderInfo* i = nullptr;
  info_holder() { MP3CreateDecoderInfo(&i); }
  ~info_holder() { i->Release(); }
};

// A stereo 44100 Hz 128 kbit/s stream whose first frame carries a Xing header.
std::vector<uint8_t> xing_stream(uint32_t flags, uint32_t frames, uint32_t bytes) {
  frame_spec f;
  f.mode = 0;
  std::vector<uint8_t> first = build_frame(f);
  std::memcpy(first.data() + 36, "Xing", 4);
  size_t p = 40;
  put32(first, p, flags);
  p += 4;
  if (flags & 1) put32(first, p, frames), p += 4;
  if (flags & 2) put32(first, p, bytes), p += 4;
  if (flags & 4)
    for (int i = 0; i < 100; ++i) first[p++] = uint8_t(i * 256 / 100);
  auto rest = repeat_frames(f, 30);
  first.insert(first.end(), rest.begin(), rest.end());
  return first;
}
}  // namespace

TEST(Mp3decInfo, ConstantBitRateDurationAndWholeFrames) {
  frame_spec f;
  f.rate_index = 1;  // 48000 Hz, 128 kbit/s: 384-byte frames, never padded
  std::vector<uint8_t> head(1000, 0);
  auto frames = repeat_frames(f, 20);
  head.insert(head.end(), frames.begin(), frames.end());
  head.resize(8192);
  info_holder h;
  ASSERT_TRUE(h.i->Open(head.data(), int(head.size()), 1001000));
  const MP3StreamInfo* s = h.i->GetInfo();
  EXPECT_EQ(s->firstFrame, 8000);
  EXPECT_EQ(s->bitrate, 128000);
  EXPECT_EQ(s->channels, 1u);
  EXPECT_EQ(s->sampleRate, 48000u);
  EXPECT_EQ(s->duration, 62500u);
  EXPECT_EQ(s->vbr, 0u);
  EXPECT_EQ(s->seekable, 1u);
  EXPECT_EQ(s->outputChannels, 1u);
  EXPECT_EQ(s->outputRate, 48000u);
  EXPECT_EQ(s->finalRate, 48000u);
  EXPECT_EQ(s->bitsPerSample, 16u);
  EXPECT_EQ(h.i->TimeToOffset(1000), 41u * 384u + 1000u);
  EXPECT_EQ(h.i->PercentToOffset(150.0f), h.i->PercentToOffset(100.0f));
  EXPECT_EQ(h.i->TimeToOffset(0), 1000u);
}

TEST(Mp3decInfo, NoFrameGivesFalse) {
  std::vector<uint8_t> junk(4000, 0x55);
  info_holder h;
  EXPECT_FALSE(h.i->Open(junk.data(), int(junk.size()), 4000));
  EXPECT_EQ(h.i->GetInfo()->firstFrame, -1);
  // Layer II frames
  frame_spec f;
  auto l2 = repeat_frames(f, 10);
  for (size_t i = 0; i < l2.size(); i += size_t(frame_bytes(f))) l2[i + 1] = uint8_t((l2[i + 1] & ~0x06) | 0x04);
  EXPECT_FALSE(h.i->Open(l2.data(), int(l2.size()), uint32_t(l2.size())));
}

TEST(Mp3decInfo, XingHeaderDurationAndTableOfContents) {
  auto data = xing_stream(0xF, 1000, 417000);
  info_holder h;
  ASSERT_TRUE(h.i->Open(data.data(), int(data.size()), 500000));
  const MP3StreamInfo* s = h.i->GetInfo();
  EXPECT_EQ(s->vbr, 1u);
  EXPECT_EQ(s->vbrHeader, 1u);
  EXPECT_EQ(s->seekable, 1u);
  EXPECT_EQ(s->duration, 26122u);  // 1000 x 1152 / 44100 s
  EXPECT_EQ(h.i->PercentToOffset(100.0f), 417000u);
  EXPECT_EQ(h.i->PercentToOffset(0.0f), 0u);
  EXPECT_NEAR(double(h.i->PercentToOffset(50.0f)), 417000.0 * 128 / 256, 2000.0);
  EXPECT_EQ(h.i->TimeToOffset(s->duration), 417000u);
}

TEST(Mp3decInfo, XingWithoutFramesKeepsFileSizeDuration) {
  auto data = xing_stream(0x2, 0, 417000);
  info_holder h;
  ASSERT_TRUE(h.i->Open(data.data(), int(data.size()), 417960));
  const MP3StreamInfo* s = h.i->GetInfo();
  EXPECT_EQ(s->vbrHeader, 1u);
  EXPECT_EQ(s->seekable, 0u);
  EXPECT_EQ(s->duration, uint32_t(417960.0 * 1000 / 16000));
}

TEST(Mp3decInfo, XingWithZeroFramesDoesNotDivideByZero) {
  // Mended fault: a Xing header with zero duration and a table of contents.
  auto data = xing_stream(0x7, 0, 417000);
  info_holder h;
  ASSERT_TRUE(h.i->Open(data.data(), int(data.size()), 500000));
  EXPECT_EQ(h.i->GetInfo()->duration, 0u);
  EXPECT_EQ(h.i->TimeToOffset(5000), 0u);
  EXPECT_LE(h.i->PercentToOffset(50.0f), 417000u);
}

TEST(Mp3decInfo, VbriTakesPrecedenceAndInterpolatesSafely) {
  frame_spec f;  // mono: a Xing header would sit at 21, the VBRI header at 36
  std::vector<uint8_t> first = build_frame(f);
  std::memcpy(first.data() + 21, "Xing", 4);
  put32(first, 25, 1);
  put32(first, 29, 999);
  std::memcpy(first.data() + 36, "VBRI", 4);
  put16(first, 40, 1);
  put32(first, 46, 100000);  // bytes
  put32(first, 50, 40);      // frames = entries x frames per entry (mended: no zero divisor)
  put16(first, 54, 4);       // entries
  put16(first, 56, 1);       // scale
  put16(first, 58, 2);       // entry size
  put16(first, 60, 10);      // frames per entry
  for (int e = 0; e < 4; ++e) put16(first, size_t(62 + 2 * e), 25000);
  auto rest = repeat_frames(f, 20);
  first.insert(first.end(), rest.begin(), rest.end());
  info_holder h;
  ASSERT_TRUE(h.i->Open(first.data(), int(first.size()), 900000));
  const MP3StreamInfo* s = h.i->GetInfo();
  EXPECT_EQ(s->vbrHeader, 1u);
  EXPECT_EQ(s->seekable, 1u);
  EXPECT_EQ(s->duration, uint32_t(40 * 1152 * 1000.0 / 44100));
  EXPECT_NEAR(double(h.i->TimeToOffset(s->duration)), 100000.0, 2500.0);
  const uint32_t mid = h.i->TimeToOffset(s->duration / 2);
  EXPECT_NEAR(double(mid), 50000.0, 2600.0);
  // A seek table whose values pass the stream size is clamped.
  for (int e = 0; e < 4; ++e) put16(first, size_t(62 + 2 * e), 65535);
  put16(first, 56, 65535);
  ASSERT_TRUE(h.i->Open(first.data(), int(first.size()), 900000));
  EXPECT_LE(h.i->TimeToOffset(500), 100000u);
}

TEST(Mp3decInfo, XingInMpeg25IsNotRead) {
  frame_spec f;
  f.version = 2;  // 11025 Hz
  f.bitrate_index = 8;
  std::vector<uint8_t> first = build_frame(f);
  std::memcpy(first.data() + 13, "Xing", 4);
  put32(first, 17, 1);
  put32(first, 21, 5);
  auto rest = repeat_frames(f, 40);
  first.insert(first.end(), rest.begin(), rest.end());
  first.resize(first.size() + 200, 0);
  info_holder h;
  ASSERT_TRUE(h.i->Open(first.data(), int(first.size()), 100000));
  EXPECT_EQ(h.i->GetInfo()->vbrHeader, 0u);
}

TEST(Mp3decInfo, HugeFileClampsDuration) {
  frame_spec f;
  f.version = 2;
  f.rate_index = 2;  // 8000 Hz
  f.bitrate_index = 1;  // 8 kbit/s
  auto data = repeat_frames(f, 100);
  info_holder h;
  ASSERT_TRUE(h.i->Open(data.data(), int(data.size()), 0xFFFFFFFFu));
  EXPECT_EQ(h.i->GetInfo()->duration, uint32_t(0xFFFFFFFFu / 1000.0 * 1000));  // ~4.29e9 ms fits
  EXPECT_LE(h.i->TimeToOffset(0xFFFFFFFFu), 0xFFFFFFFFu);
}
