// Decoding frames built here: pipeline, limiter, gapless, capacity, and the
// guards against malformed input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <algorithm>
#include <vector>

#include "mp3dec/resampler.h"
#include "mp3dec_support.h"

namespace {

struct gr_fields {
  int part2_3 = 0, big_values = 0, global_gain = 0, sfc = 0, ws = 0, block_type = 0, mixed = 0;
  int table_select[3] = {0, 0, 0};
  int subblock_gain[3] = {0, 0, 0};
  int region0 = 0, region1 = 0, preflag = 0, sf_scale = 0, count1 = 0;
};

// MPEG-1 side information; grs in the order granule 0 ch 0, (ch 1), granule 1 ch 0, (ch 1).
std::vector<uint8_t> side_mpeg1(int mdb, int nch, const std::vector<gr_fields>& grs) {
  bit_writer w;
  w.put(uint32_t(mdb), 9);
  w.put(0, nch == 1 ? 5 : 3);
  w.put(0, 4 * nch);
  for (const gr_fields& g : grs) {
    w.put(uint32_t(g.part2_3), 12);
    w.put(uint32_t(g.big_values), 9);
    w.put(uint32_t(g.global_gain), 8);
    w.put(uint32_t(g.sfc), 4);
    w.put(uint32_t(g.ws), 1);
    if (g.ws) {
      w.put(uint32_t(g.block_type), 2);
      w.put(uint32_t(g.mixed), 1);
      w.put(uint32_t(g.table_select[0]), 5);
      w.put(uint32_t(g.table_select[1]), 5);
      for (int i = 0; i < 3; ++i) w.put(uint32_t(g.subblock_gain[i]), 3);
    } else {
      for (int i = 0; i < 3; ++i) w.put(uint32_t(g.table_select[i]), 5);
      w.put(uint32_t(g.region0), 4);
      w.put(uint32_t(g.region1), 3);
    }
    w.put(uint32_t(g.preflag), 1);
    w.put(uint32_t(g.sf_scale), 1);
    w.put(uint32_t(g.count1), 1);
  }
  return w.bytes;
}

frame_spec mono44() {
  frame_spec f;  // MPEG-1, 44100 Hz, 128 kbit/s, mono
  return f;
}

size_t total_samples(const decode_result& r, int ch, int ss) { return r.pcm.size() / size_t(ch * ss); }

bool all_zero(const std::vector<uint8_t>& v) {
  for (uint8_t b : v)
    if (b) return false;
  return true;
}

}  // namespace

TEST(Mp3decDecoder, SilentStreamDecodesToEnd) {
  auto data = repeat_frames(mono44(), 20);
  auto r = decode_stream(data, 0, 0, 0, 1, 0);
  EXPECT_EQ(r.frames, 20);
  EXPECT_EQ(r.pcm.size(), size_t(20 * 1152 * 2));
  EXPECT_TRUE(all_zero(r.pcm));
  EXPECT_EQ(r.statuses.back(), SSC_SYNC_EOF);
  EXPECT_TRUE(r.eos);
}

TEST(Mp3decDecoder, FrameRecordFields) {
  frame_spec f = mono44();
  f.mode = 0;
  auto data = repeat_frames(f, 3);
  MP3Decoder* d = nullptr;
  MP3CreateDecoder(&d, 0, 0, 0, 1, 0);
  d->Feed(data.data(), int(data.size()));
  std::vector<uint8_t> out(4608);
  int bytes = 0;
  ASSERT_EQ(d->DecodeFrame(out.data(), 4608, &bytes, nullptr, nullptr, 0), SSC_OK);
  const MP3FrameInfo* fi = d->GetFrameInfo();
  EXPECT_EQ(fi->layer, 3u);
  EXPECT_EQ(fi->version, 0u);
  EXPECT_EQ(fi->bitrate, 128000u);
  EXPECT_EQ(fi->bitrateIndex, 9u);
  EXPECT_EQ(fi->channels, 2u);
  EXPECT_EQ(fi->sampleRate, 44100u);
  EXPECT_EQ(fi->outputChannels, 2u);
  EXPECT_EQ(fi->outputRate, 44100u);
  EXPECT_EQ(fi->finalRate, 44100u);
  EXPECT_EQ(fi->bitsPerSample, 16u);
  EXPECT_EQ(fi->frameLength, uint32_t(frame_bytes(f) * 8));
  EXPECT_NEAR(fi->frameDuration, 26.122449f, 1e-4);
  EXPECT_EQ(bytes, 4608);
  // Capacity 4607 for a 1152-sample stereo frame: too small, nothing consumed.
  const int before = d->GetBufferedInput();
  EXPECT_EQ(d->DecodeFrame(out.data(), 4607, &bytes, nullptr, nullptr, 0), SSC_DEC_BUFFER_TOO_SMALL);
  EXPECT_EQ(bytes, 0);
  EXPECT_EQ(d->GetBufferedInput(), before);
  // A null output consumes the frame and reports the core size.
  EXPECT_EQ(d->DecodeFrame(nullptr, 4607, &bytes, nullptr, nullptr, 0), SSC_DEC_BUFFER_TOO_SMALL);
  EXPECT_EQ(d->DecodeFrame(nullptr, 4608, &bytes, nullptr, nullptr, 0), SSC_OK);
  EXPECT_EQ(bytes, 4608);
  EXPECT_LT(d->GetBufferedInput(), before);
  d->Release();
}

TEST(Mp3decDecoder, LimiterSilenceAndTail) {
  auto data = repeat_frames(mono44(), 10);
  auto r = decode_stream(data, 0, 0, 0, 1, 1);
  ASSERT_GE(r.statuses.size(), 3u);
  EXPECT_EQ(total_samples(r, 1, 2), size_t(10 * 1152 + 64));
  EXPECT_EQ(r.statuses[r.statuses.size() - 2], SSC_OK);  // the tail
  EXPECT_EQ(r.statuses.back(), SSC_SYNC_EOF);
  EXPECT_TRUE(r.eos);
}

TEST(Mp3decDecoder, GaplessDelayAndLength) {
  frame_spec first = mono44();
  first.main = gapless_block(576, 5000);
  auto data = build_frame(first);
  auto rest = repeat_frames(mono44(), 9);
  data.insert(data.end(), rest.begin(), rest.end());
  EXPECT_EQ(total_samples(decode_stream(data, 0, 0, 0, 1, 0), 1, 2), 5000u);
  EXPECT_EQ(total_samples(decode_stream(data, 1, 0, 0, 1, 0), 1, 4), 5000u);
  EXPECT_EQ(total_samples(decode_stream(data, 0, 0, 0, 1, 1), 1, 2), 5000u);
  EXPECT_EQ(total_samples(decode_stream(data, 0, 0, 0, 0, 0), 1, 2), 10u * 1152u);
}

TEST(Mp3decDecoder, GaplessBlockOfLengthZeroIsIgnored) {
  frame_spec first = mono44();
  first.main = gapless_block(576, 0);
  auto data = build_frame(first);
  auto rest = repeat_frames(mono44(), 4);
  data.insert(data.end(), rest.begin(), rest.end());
  EXPECT_EQ(total_samples(decode_stream(data, 0, 0, 0, 1, 0), 1, 2), 5u * 1152u);
}

TEST(Mp3decDecoder, GaplessCountersAre64Bit) {
  // 0x20000001 samples x 2 channels x 4 bytes wraps to 8 in 32 bits.
  frame_spec first = mono44();
  first.mode = 0;
  first.main = gapless_block(0, 0x20000001u);
  frame_spec other = mono44();
  other.mode = 0;
  auto data = build_frame(first);
  auto rest = repeat_frames(other, 4);
  data.insert(data.end(), rest.begin(), rest.end());
  EXPECT_EQ(total_samples(decode_stream(data, 1, 0, 0, 1, 0), 2, 4), 5u * 1152u);
}

TEST(Mp3decDecoder, VbriFrameGivesNoOutput) {
  frame_spec first = mono44();
  first.main.assign(100, 0);
  std::memcpy(first.main.data() + 15, "VBRI", 4);  // 36 bytes after the frame start
  first.main[15 + 5] = 1;
  auto data = build_frame(first);
  auto rest = repeat_frames(mono44(), 4);
  data.insert(data.end(), rest.begin(), rest.end());
  auto r = decode_stream(data, 0, 0, 0, 1, 0);
  EXPECT_EQ(r.statuses[0], SSC_OK);
  EXPECT_EQ(total_samples(r, 1, 2), 4u * 1152u);
}

TEST(Mp3decDecoder, Forced44100DoublesLowRate) {
  frame_spec f;
  f.version = 1;  // 22050 Hz
  f.bitrate_index = 4;  // 32 kbit/s
  f.main = gapless_block(576, 3000);
  auto data = build_frame(f);
  frame_spec g = f;
  g.main.clear();
  auto rest = repeat_frames(g, 9);
  data.insert(data.end(), rest.begin(), rest.end());
  auto r = decode_stream(data, 0, 0, 1, 0, 0);
  EXPECT_EQ(r.frames, 10);
  EXPECT_EQ(total_samples(r, 1, 2), 10u * 1152u);
  EXPECT_EQ(total_samples(decode_stream(data, 0, 0, 1, 1, 0), 1, 2), 6000u);
}

TEST(Mp3decDecoder, ForcedOutputCapacityCheckedBeforeConsuming) {
  // Mended fault: 16000 Hz stereo forced to 44100 Hz does not fit 4608 bytes.
  frame_spec f;
  f.version = 1;
  f.rate_index = 2;  // 16000
  f.mode = 0;
  f.bitrate_index = 8;
  auto data = repeat_frames(f, 6);
  MP3Decoder* d = nullptr;
  MP3CreateDecoder(&d, 0, 0, 1, 1, 0);
  d->Feed(data.data(), int(data.size()));
  std::vector<uint8_t> out(static_cast<size_t>(MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16), 0);
  int bytes = -1;
  const int before = d->GetBufferedInput();
  EXPECT_EQ(d->DecodeFrame(out.data(), 4608, &bytes, nullptr, nullptr, 0), SSC_DEC_BUFFER_TOO_SMALL);
  EXPECT_EQ(bytes, 0);
  EXPECT_EQ(d->GetBufferedInput(), before);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(d->DecodeFrame(out.data(), MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16, &bytes, nullptr, nullptr, 0), SSC_OK);
    EXPECT_GT(bytes, 4608);
    EXPECT_LE(bytes, MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16);
  }
  d->Release();
}

TEST(Mp3decDecoder, FailedConverterSetUpReportsNoMemory) {
  frame_spec f;
  f.version = 1;
  f.bitrate_index = 4;
  auto data = repeat_frames(f, 4);
  MP3Decoder* d = nullptr;
  MP3CreateDecoder(&d, 0, 0, 1, 1, 0);
  d->Feed(data.data(), int(data.size()));
  std::vector<uint8_t> out(static_cast<size_t>(MP3DEC_MAX_FRAME_OUTPUT_BYTES), 0);
  int bytes = -1;
  resampler_dec_fail_next_create = true;
  EXPECT_EQ(d->DecodeFrame(out.data(), int(out.size()), &bytes, nullptr, nullptr, 0), SSC_ERR_NO_MEMORY);
  EXPECT_EQ(bytes, 0);
  EXPECT_EQ(d->DecodeFrame(out.data(), int(out.size()), &bytes, nullptr, nullptr, 0), SSC_OK);
  EXPECT_EQ(bytes, 2304);
  d->Release();
}

TEST(Mp3decDecoder, FormatChangeMidStreamRebuildsLimiterAndConverter) {
  frame_spec mono;
  mono.version = 1;
  mono.bitrate_index = 8;
  frame_spec stereo = mono;
  stereo.mode = 0;
  auto data = repeat_frames(mono, 5);
  auto more = repeat_frames(stereo, 5);
  data.insert(data.end(), more.begin(), more.end());
  auto again = repeat_frames(mono, 5);
  data.insert(data.end(), again.begin(), again.end());
  auto r = decode_stream(data, 0, 0, 1, 1, 1);
  EXPECT_EQ(r.frames, 15 + 1);  // and the limiter's tail
  // 5 mono + 5 stereo + 5 mono frames at 44100 Hz, plus the limiter blocks.
  EXPECT_GE(r.pcm.size(), size_t((5 * 1152 + 5 * 2304 + 5 * 1152) * 2));
  EXPECT_TRUE(r.eos);
}

TEST(Mp3decDecoder, CrcMismatchIsConcealedOrIgnored) {
  frame_spec f = mono44();
  f.crc = 1;
  auto good = repeat_frames(f, 4);
  auto r = decode_stream(good, 0, 0, 0, 1, 0);
  EXPECT_EQ(r.frames, 4);
  for (size_t i = 0; i + 1 < r.statuses.size(); ++i) EXPECT_EQ(r.statuses[i], SSC_OK);
  auto bad = good;
  bad[size_t(frame_bytes(f)) + 6 + 3] ^= 0x10;  // a side-information bit of frame 2
  r = decode_stream(bad, 0, 0, 0, 1, 0);
  EXPECT_EQ(r.statuses[1], SSC_INFO_CRC_ERROR);
  r = decode_stream(bad, 0, 1, 0, 1, 0);
  EXPECT_EQ(r.statuses[1], SSC_OK);
}

TEST(Mp3decDecoder, MissingMainDataAtStartIsDropped) {
  frame_spec f = mono44();
  gr_fields g;
  f.side = side_mpeg1(100, 1, {g, g});
  auto data = repeat_frames(f, 5);
  auto r = decode_stream(data, 0, 0, 0, 1, 0);
  EXPECT_EQ(r.statuses[0], SSC_SYNC_NEED_DATA);
  EXPECT_EQ(r.statuses[1], SSC_OK);
  EXPECT_EQ(r.frames, 4);
}

TEST(Mp3decDecoder, BigValues289IsSilence) {
  frame_spec f = mono44();
  gr_fields g;
  g.big_values = 289;
  g.part2_3 = 200;
  g.global_gain = 200;
  g.table_select[0] = 15;
  f.side = side_mpeg1(0, 1, {g, g});
  f.main.assign(200, 0x5A);
  auto r = decode_stream(repeat_frames(f, 3), 0, 0, 0, 1, 0);
  EXPECT_EQ(r.frames, 3);
  EXPECT_TRUE(all_zero(r.pcm));
}

TEST(Mp3decDecoder, TableSelect4And14ZeroTheGranule) {
  for (int t : {4, 14}) {
    frame_spec f = mono44();
    gr_fields g;
    g.big_values = 10;
    g.part2_3 = 40;
    g.global_gain = 200;
    g.table_select[0] = t;
    f.side = side_mpeg1(0, 1, {g, g});
    f.main.assign(20, 0xFF);
    auto r = decode_stream(repeat_frames(f, 3), 0, 0, 0, 1, 0);
    EXPECT_EQ(r.frames, 3);
    EXPECT_EQ(r.statuses[0], SSC_OK);
    EXPECT_TRUE(all_zero(r.pcm)) << t;
  }
}

TEST(Mp3decDecoder, HuffmanRegionsAreClamped) {
  // region0_count 15 + region1_count 7 reaches band 24, past the 23 boundaries.
  frame_spec f = mono44();
  gr_fields g;
  g.big_values = 288;
  g.part2_3 = 4000;
  g.global_gain = 150;
  g.table_select[0] = 24;
  g.table_select[1] = 13;
  g.table_select[2] = 16;
  g.region0 = 15;
  g.region1 = 7;
  f.side = side_mpeg1(0, 1, {g, g});
  f.bitrate_index = 14;
  f.main.assign(1000, 0);
  for (size_t i = 0; i < f.main.size(); ++i) f.main[i] = uint8_t(i * 37 + 11);
  auto r = decode_stream(repeat_frames(f, 3), 0, 0, 0, 1, 0);
  EXPECT_EQ(r.frames, 3);
}

TEST(Mp3decDecoder, Mpeg1IntensityPositions7To15AreNotIntensity) {
  frame_spec f = mono44();
  f.mode = 1;      // joint stereo
  f.mode_ext = 1;  // intensity only
  gr_fields left;
  left.part2_3 = 3;
  left.big_values = 1;
  left.global_gain = 180;
  left.table_select[0] = 1;
  gr_fields right;
  right.sfc = 15;  // slen1 4, slen2 3
  right.part2_3 = 11 * 4 + 10 * 3;
  right.global_gain = 180;
  f.side = side_mpeg1(0, 2, {left, right, left, right});
  bit_writer w;
  for (int gr = 0; gr < 2; ++gr) {
    w.put_bits("010");  // (1, 0), sign +
    for (int sfb = 0; sfb < 11; ++sfb) w.put(uint32_t(8 + sfb % 8), 4);  // 8..15
    for (int sfb = 11; sfb < 21; ++sfb) w.put(7, 3);
  }
  f.main = w.bytes;
  auto r = decode_stream(repeat_frames(f, 3), 1, 0, 0, 1, 0);
  ASSERT_EQ(r.frames, 3);
  auto pcm = as_floats(r.pcm);
  float left_peak = 0.0f, right_peak = 0.0f;
  for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
    left_peak = std::max(left_peak, std::fabs(pcm[i]));
    right_peak = std::max(right_peak, std::fabs(pcm[i + 1]));
  }
  EXPECT_GT(left_peak, 1.0f);
  EXPECT_EQ(right_peak, 0.0f);
}

TEST(Mp3decDecoder, AncillaryTextIsBounded) {
  frame_spec f = mono44();
  f.main = {0xAF, 0xF0};
  for (int i = 0; i < 255; ++i) f.main.push_back(uint8_t('A' + i % 26));
  auto data = repeat_frames(f, 4);
  MP3Decoder* d = nullptr;
  MP3CreateDecoder(&d, 0, 0, 0, 1, 0);
  d->Feed(data.data(), int(data.size()));
  std::vector<uint8_t> out(4608);
  std::vector<uint8_t> anc(64, 0xEE);
  int bytes = 0, count = 0;
  int seen = 0;
  for (int i = 0; i < 4; ++i) {
    count = 16;
    ASSERT_EQ(d->DecodeFrame(out.data(), 4608, &bytes, anc.data(), &count, 0), SSC_OK);
    EXPECT_LE(count, 16);
    seen += count;
    for (size_t k = 16; k < anc.size(); ++k) ASSERT_EQ(anc[k], 0xEE);
  }
  EXPECT_GT(seen, 0);
  d->Release();
}

TEST(Mp3decDecoder, ResetKeepsOptionsAndRestarts) {
  auto data = repeat_frames(mono44(), 5);
  MP3Decoder* d = nullptr;
  MP3CreateDecoder(&d, 0, 0, 0, 1, 0);
  d->Feed(data.data(), int(data.size()));
  std::vector<uint8_t> out(4608);
  int bytes = 0;
  EXPECT_EQ(d->DecodeFrame(out.data(), 4608, &bytes, nullptr, nullptr, 0), SSC_OK);
  d->Reset();
  EXPECT_EQ(d->GetBufferedInput(), 0);
  EXPECT_EQ(d->DecodeFrame(out.data(), 4608, &bytes, nullptr, nullptr, 0), SSC_SYNC_SEARCHED);
  d->Feed(data.data(), int(data.size()));
  EXPECT_EQ(d->DecodeFrame(out.data(), 4608, &bytes, nullptr, nullptr, 0), SSC_OK);
  d->Release();
}
