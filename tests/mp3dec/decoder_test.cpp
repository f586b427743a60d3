// Decoding frames built here: pipeline, limiter, gapless, capacity, and the
// guards against malformed input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "mp3dec/resampler.h"
#include "mp3dec_support.h"

namespace {

// Frames of one format after another.
std::vector<uint8_t> frames(const std::vector<std::pair<frame_spec, int>>& runs) {
  std::vector<uint8_t> out;
  for (const auto& [f, count] : runs) {
    const auto run = repeat_frames(f, count);
    out.insert(out.end(), run.begin(), run.end());
  }
  return out;
}

bool all_zero(const std::vector<uint8_t>& v) {
  return std::all_of(v.begin(), v.end(), [](uint8_t b) { return b == 0; });
}

// A 16-bit decoder fed with a whole stream, for calling DecodeFrame by hand.
struct fed_decoder {
  MP3Decoder* d = nullptr;
  explicit fed_decoder(const std::vector<uint8_t>& data, int force44100 = 0) {
    MP3CreateDecoder(&d, 0, 0, force44100, 1, 0);
    d->Feed(data.data(), int(data.size()));
  }
  ~fed_decoder() { d->Release(); }
  SSC decode(void* out, int capacity, int* bytes) { return d->DecodeFrame(out, capacity, bytes, nullptr, nullptr, 0); }
};

const frame_spec mono44;  // MPEG-1, 44100 Hz, 128 kbit/s, mono
const frame_spec stereo44{.mode = 0};
const frame_spec mono22{.version = 1, .bitrate_index = 4};  // 22050 Hz, 32 kbit/s

}  // namespace

TEST(Mp3decDecoder, SilentStreamsGiveTheExpectedSampleCounts) {
  frame_spec vbri = mono44;
  vbri.main.assign(100, 0);
  std::memcpy(vbri.main.data() + 15, "VBRI", 4);  // 36 bytes after the frame start
  vbri.main[15 + 5] = 1;
  struct stream_case {
    const char* what;
    std::vector<std::pair<frame_spec, int>> runs;
    int float_output, force44100, gapless, limiter, channels;
    size_t samples;
  };
  auto with_gapless = [](frame_spec f, uint32_t delay, uint32_t length) {
    f.main = gapless_block(delay, length);
    return f;
  };
  const frame_spec gapless5000 = with_gapless(mono44, 576, 5000);
  const stream_case cases[] = {
      {"plain", {{mono44, 20}}, 0, 0, 1, 0, 1, 20 * 1152},
      {"the limiter adds one block", {{mono44, 10}}, 0, 0, 1, 1, 1, 10 * 1152 + 64},
      {"gapless delay and length", {{gapless5000, 1}, {mono44, 9}}, 0, 0, 1, 0, 1, 5000},
      {"gapless, float", {{gapless5000, 1}, {mono44, 9}}, 1, 0, 1, 0, 1, 5000},
      {"gapless, limiter", {{gapless5000, 1}, {mono44, 9}}, 0, 0, 1, 1, 1, 5000},
      {"gapless off", {{gapless5000, 1}, {mono44, 9}}, 0, 0, 0, 0, 1, 10 * 1152},
      {"a gapless length of 0 is ignored", {{with_gapless(mono44, 576, 0), 1}, {mono44, 4}}, 0, 0, 1, 0, 1, 5 * 1152},
      // The length counts the samples after the delay: a clip shorter than the delay.
      {"gapless length below the delay", {{with_gapless(mono44, 576, 300), 1}, {mono44, 5}}, 0, 0, 1, 0, 1, 300},
      // 0x20000001 samples x 2 channels x 4 bytes wraps to 8 in 32 bits.
      {"gapless counters in 64 bits", {{with_gapless(stereo44, 0, 0x20000001u), 1}, {stereo44, 4}}, 1, 0, 1, 0, 2, 5 * 1152},
      {"a VBRI frame gives no output", {{vbri, 1}, {mono44, 4}}, 0, 0, 1, 0, 1, 4 * 1152},
      {"forced 44100 Hz doubles 22050 Hz", {{with_gapless(mono22, 576, 3000), 1}, {mono22, 9}}, 0, 1, 0, 0, 1, 10 * 1152},
      {"forced 44100 Hz, gapless", {{with_gapless(mono22, 576, 3000), 1}, {mono22, 9}}, 0, 1, 1, 0, 1, 6000},
  };
  for (const stream_case& c : cases) {
    const auto r = decode_stream(frames(c.runs), c.float_output, 0, c.force44100, c.gapless, c.limiter);
    EXPECT_EQ(r.pcm.size() / size_t(c.channels * (c.float_output ? 4 : 2)), c.samples) << c.what;
    EXPECT_TRUE(all_zero(r.pcm)) << c.what;
    EXPECT_EQ(r.statuses.back(), SSC_SYNC_EOF) << c.what;
    EXPECT_TRUE(r.eos) << c.what;
  }
}

TEST(Mp3decDecoder, OutputCapacityIsCheckedBeforeConsuming) {
  std::vector<uint8_t> out(size_t(MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16), 0);
  int bytes = -1;
  {
    fed_decoder d(repeat_frames(stereo44, 3));
    ASSERT_EQ(d.decode(out.data(), 4608, &bytes), SSC_OK);
    EXPECT_EQ(bytes, 4608);
    // Capacity 4607 for a 1152-sample stereo frame: too small, nothing consumed.
    const int before = d.d->GetBufferedInput();
    EXPECT_EQ(d.decode(out.data(), 4607, &bytes), SSC_DEC_BUFFER_TOO_SMALL);
    EXPECT_EQ(bytes, 0);
    EXPECT_EQ(d.d->GetBufferedInput(), before);
    // A null output consumes the frame and reports the core size.
    EXPECT_EQ(d.decode(nullptr, 4607, &bytes), SSC_DEC_BUFFER_TOO_SMALL);
    EXPECT_EQ(d.decode(nullptr, 4608, &bytes), SSC_OK);
    EXPECT_EQ(bytes, 4608);
    EXPECT_LT(d.d->GetBufferedInput(), before);
  }
  // Mended fault: 16000 Hz stereo forced to 44100 Hz does not fit 4608 bytes; 576 samples
  // at 8000 Hz, two channels, forced to 44100 Hz, is the largest frame output.
  static_assert(MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16 >= 2 * 2 * (576 * 44100 / 8000 + 1));
  static_assert(MP3DEC_MAX_FRAME_OUTPUT_BYTES == 2 * MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16);
  fed_decoder d(repeat_frames({.version = 1, .rate_index = 2, .bitrate_index = 8, .mode = 0}, 6), 1);
  const int before = d.d->GetBufferedInput();
  EXPECT_EQ(d.decode(out.data(), 4608, &bytes), SSC_DEC_BUFFER_TOO_SMALL);
  EXPECT_EQ(bytes, 0);
  EXPECT_EQ(d.d->GetBufferedInput(), before);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(d.decode(out.data(), MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16, &bytes), SSC_OK);
    EXPECT_GT(bytes, 4608);
  }
}

// Mended fault: forced 44100 Hz output of 22050 Hz stereo and 11025 Hz mono is exactly
// 4608 bytes a frame; before the converter existed the size was over-estimated and the
// first frame refused, for ever, since a refused frame stays in place.
TEST(Mp3decDecoder, ForcedOutputThatFillsTheBufferExactlyIsTaken) {
  const struct {
    const char* what;
    frame_spec f;
  } cases[] = {
      {"22050 Hz stereo", {.version = 1, .rate_index = 0, .bitrate_index = 8, .mode = 0}},
      {"11025 Hz mono", {.version = 2, .rate_index = 0, .bitrate_index = 4, .mode = 3}},
  };
  for (const auto& c : cases) {
    fed_decoder d(repeat_frames(c.f, 6), 1);
    std::vector<uint8_t> out(4608, 0);
    for (int i = 0; i < 4; ++i) {
      int bytes = -1;
      EXPECT_EQ(d.decode(out.data(), 4608, &bytes), SSC_OK) << c.what << " frame " << i;
      EXPECT_EQ(bytes, 4608) << c.what << " frame " << i;
    }
    // One byte less is still refused, and the frame waits for a larger buffer.
    int bytes = -1;
    const int before = d.d->GetBufferedInput();
    EXPECT_EQ(d.decode(out.data(), 4607, &bytes), SSC_DEC_BUFFER_TOO_SMALL) << c.what;
    EXPECT_EQ(d.d->GetBufferedInput(), before) << c.what;
  }
}

TEST(Mp3decDecoder, FailedConverterSetUpReportsNoMemory) {
  fed_decoder d(repeat_frames(mono22, 4), 1);
  std::vector<uint8_t> out(size_t(MP3DEC_MAX_FRAME_OUTPUT_BYTES), 0);
  int bytes = -1;
  resampler_dec_fail_next_create = true;
  EXPECT_EQ(d.decode(out.data(), int(out.size()), &bytes), SSC_ERR_NO_MEMORY);
  EXPECT_EQ(bytes, 0);
  EXPECT_EQ(d.decode(out.data(), int(out.size()), &bytes), SSC_OK);
  EXPECT_EQ(bytes, 2304);
}

TEST(Mp3decDecoder, FormatChangeMidStreamRebuildsLimiterAndConverter) {
  const frame_spec mono{.version = 1, .bitrate_index = 8}, stereo{.version = 1, .bitrate_index = 8, .mode = 0};
  auto r = decode_stream(frames({{mono, 5}, {stereo, 5}, {mono, 5}}), 0, 0, 1, 1, 1);
  EXPECT_EQ(r.frames, 15 + 1);  // and the limiter's tail
  // 5 mono + 5 stereo + 5 mono frames at 44100 Hz, plus the limiter blocks.
  EXPECT_GE(r.pcm.size(), size_t((5 * 1152 + 5 * 2304 + 5 * 1152) * 2));
  EXPECT_TRUE(r.eos);
}

TEST(Mp3decDecoder, MalformedGranulesAreDecodedSafely) {
  struct granule_case {
    const char* what;
    gr_side g;
    int bitrate_index, main_bytes, fill;  // fill -1: varied bytes
    bool silent;
  };
  const granule_case cases[] = {
      {"big_values 289", {.part2_3 = 200, .big_values = 289, .global_gain = 200, .table_select = {15, 0, 0}}, 9, 200, 0x5A, true},
      // Mended fault: tables that do not exist zero the granule.
      {"table_select 4", {.part2_3 = 40, .big_values = 10, .global_gain = 200, .table_select = {4, 0, 0}}, 9, 20, 0xFF, true},
      {"table_select 14", {.part2_3 = 40, .big_values = 10, .global_gain = 200, .table_select = {14, 0, 0}}, 9, 20, 0xFF, true},
      // Big values are not read past part2_3_length.
      {"big_values past part2_3_length", {.part2_3 = 0, .big_values = 288, .global_gain = 200, .table_select = {24, 24, 24}}, 9, 400, 0x5A, true},
      // Mended fault: region0_count 15 + region1_count 7 reaches band 24, past the 23 boundaries.
      {"regions past the band table",
       {.part2_3 = 4000, .big_values = 288, .global_gain = 150, .table_select = {24, 13, 16}, .region0 = 15, .region1 = 7},
       14, 1000, -1, false},
  };
  for (const granule_case& c : cases) {
    frame_spec f{.bitrate_index = c.bitrate_index, .side = side_info({}, 1, {&c.g, &c.g})};
    for (int i = 0; i < c.main_bytes; ++i) f.main.push_back(uint8_t(c.fill >= 0 ? c.fill : i * 37 + 11));
    auto r = decode_stream(repeat_frames(f, 3), 0, 0, 0, 1, 0);
    EXPECT_EQ(r.frames, 3) << c.what;
    EXPECT_EQ(r.statuses[0], SSC_OK) << c.what;
    if (c.silent) {
      EXPECT_TRUE(all_zero(r.pcm)) << c.what;
    }
  }
}

// Concealment rebuilds every long band, the last one (up to line 576) included.
TEST(Mp3decDecoder, ConcealmentFillsTheLastBand) {
  const gr_side g{.part2_3 = 4000, .big_values = 288, .global_gain = 150, .table_select = {24, 13, 16}, .region0 = 15, .region1 = 7};
  frame_spec f{.bitrate_index = 14, .crc = 1, .side = side_info({}, 1, {&g, &g})};
  for (int i = 0; i < 1000; ++i) f.main.push_back(uint8_t(i * 37 + 11));
  std::vector<uint8_t> bad = build_frame(f);
  bad[4] ^= 0xFF;  // wrong CRC: the frame is concealed
  std::vector<uint8_t> stream = repeat_frames(f, 4);
  for (int i = 0; i < 3; ++i) stream.insert(stream.end(), bad.begin(), bad.end());
  const auto r = decode_stream(stream, 1, 0, 0, 0, 0);
  ASSERT_EQ(r.statuses.size(), 8u);
  EXPECT_EQ(r.statuses[6], SSC_INFO_CRC_ERROR);
  const std::vector<float> pcm = as_floats(r.pcm);
  ASSERT_EQ(pcm.size(), 7u * 1152);
  // Energy above 16.5 kHz (band 21 starts at 16 kHz) in the last concealed frame.
  const size_t n = 1152, start = 6 * n;
  double high = 0.0, total = 0.0;
  for (size_t k = 0; k <= n / 2; ++k) {
    double re = 0.0, im = 0.0;
    for (size_t t = 0; t < n; ++t) {
      const double a = 2.0 * M_PI * double(k * t % n) / double(n);
      re += pcm[start + t] * std::cos(a);
      im -= pcm[start + t] * std::sin(a);
    }
    const double e = re * re + im * im;
    total += e;
    if (double(k) * 44100.0 / double(n) > 16500.0) high += e;
  }
  ASSERT_GT(total, 0.0);
  EXPECT_GT(high / total, 0.02);
}

TEST(Mp3decDecoder, Mpeg1IntensityPositions7To15AreNotIntensity) {
  frame_spec f{.mode = 1, .mode_ext = 1};  // joint stereo, intensity only
  const gr_side left{.part2_3 = 3, .big_values = 1, .global_gain = 180, .table_select = {1, 0, 0}};
  const gr_side right{.part2_3 = 11 * 4 + 10 * 3, .global_gain = 180, .sfc = 15};  // slen1 4, slen2 3
  f.side = side_info(f, 2, {&left, &right, &left, &right});
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

TEST(Mp3decDecoder, AncillaryTextIsBoundedByTheCallersCapacity) {
  frame_spec f = mono44;
  f.main = {0xAF, 0xF0};
  for (int i = 0; i < 255; ++i) f.main.push_back(uint8_t('A' + i % 26));
  fed_decoder d(repeat_frames(f, 4));
  std::vector<uint8_t> out(4608), anc(64, 0xEE);
  int bytes = 0, seen = 0;
  for (int i = 0; i < 4; ++i) {
    int count = 16;
    ASSERT_EQ(d.d->DecodeFrame(out.data(), 4608, &bytes, anc.data(), &count, 0), SSC_OK);
    EXPECT_LE(count, 16);
    seen += count;
    for (size_t k = 16; k < anc.size(); ++k) ASSERT_EQ(anc[k], 0xEE);
  }
  EXPECT_GT(seen, 0);
}

TEST(Mp3decDecoder, ResetKeepsOptionsAndRestarts) {
  const auto data = repeat_frames(mono44, 5);
  fed_decoder d(data);
  std::vector<uint8_t> out(4608);
  int bytes = 0;
  EXPECT_EQ(d.decode(out.data(), 4608, &bytes), SSC_OK);
  d.d->Reset();
  EXPECT_EQ(d.d->GetBufferedInput(), 0);
  EXPECT_EQ(d.decode(out.data(), 4608, &bytes), SSC_SYNC_SEARCHED);
  d.d->Feed(data.data(), int(data.size()));
  EXPECT_EQ(d.decode(out.data(), 4608, &bytes), SSC_OK);
}
