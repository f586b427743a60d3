// mp3PRO frames whose SBR payload is made too large for them: the block is left out, the
// next frame's payload starts with a header, and the stream stays sound for outside decoders.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core_support.h"
#include "mp3enc/handle.h"
#include "mp3enc/mp3enc.h"
#include "sbrenc/sbrenc_encoder.h"

namespace {

struct run_result {
  std::vector<uint8_t> stream;
  std::vector<int> header_bits;  // of each frame's payload as the SBR encoder made it
  std::vector<int> block_bits;   // the SBR block each frame reserved (0: none)
  std::vector<int> freq_coded;   // 1 when every coded channel's first envelope and noise floor are coded across frequency
};

// Drives the objects of a real mp3PRO handle (44100 Hz mono, 32000 bit/s: a 22050 Hz core at
// 728 main-data bits a frame, reservoir 2040) frame by frame, as the frame driver does, and
// pads the payloads of the frames in `grow` with zero bits to 3600 bits, more than any frame
// of this rate can hold.
run_result drive(int frames, const std::set<int>& grow) {
  run_result r;
  mp3enc_handle* h = mp3enc_open(44100, 1, 0);
  EXPECT_NE(h, nullptr);
  if (!h) return r;
  mp3enc_config c;
  c.output_rate = 44100;
  c.channel_mode = 1;
  c.sbr_mode = 1;
  c.bit_rate = 32000;
  EXPECT_NE(mp3enc_set_config(h, &c), 0);
  mp3enc_engine* e = h->engine;
  EXPECT_TRUE(e && e->sbr && e->sbr_out && e->core);
  if (!e || !e->sbr || !e->core) {
    mp3enc_close(h);
    return r;
  }
  EXPECT_EQ(e->core->sbr_encoder, e->sbr);
  EXPECT_EQ(e->core->granules_per_frame, 1);
  const int stride = sbrenc_input_stride(e->sbr);
  std::mt19937 rng(7);
  std::normal_distribution<float> noise(0.0f, 1.0f);
  std::vector<float> full(size_t(1152 * stride)), core_block(576);
  std::vector<uint8_t> out(16384);
  for (int f = 0; f < frames; ++f) {
    // A voiced buzz with noise above it; the two paths need not match for these checks.
    for (int n = 0; n < 1152; ++n)
      for (int k = 0; k < stride; ++k)
        full[size_t(n * stride + k)] = 4000.0f * std::sin(0.05f * float(f * 1152 + n)) + 2000.0f * noise(rng);
    for (int n = 0; n < 576; ++n) core_block[size_t(n)] = full[size_t(2 * n * stride)];
    EXPECT_EQ(sbrenc_encode_frame(e->sbr, e->sbr_out, full.data()), nullptr);
    r.header_bits.push_back(e->sbr_out->header_bits);
    int freq = 1;
    for (int k = 0; k < e->sbr->coded; ++k)
      freq &= e->sbr->channel[k]->env_dir[0] == 0 && e->sbr->channel[k]->noise_dir[0] == 0;
    r.freq_coded.push_back(freq);
    if (grow.count(f)) {
      const int have = e->sbr_out->header_bits + e->sbr_out->data_bits;
      for (int i = have; i < 3600; i += 16) mp3enc_put_bits(e->sbr_out->bits, 0, std::min(16, 3600 - i));
      e->sbr_out->data_bits += 3600 - have;
    }
    int32_t pending = 0, made = 0;
    EXPECT_EQ(mp3enc_core_encode_frame(&pending, 0, e->core, e->sbr_out, core_block.data(), 576, out.data(),
                                       int32_t(out.size()), &made, nullptr, nullptr),
              0);
    r.stream.insert(r.stream.end(), out.begin(), out.begin() + made);
    r.block_bits.push_back(e->core->granules[0]->sbr_bits);
  }
  for (int guard = 0; guard < 64 && !mp3enc_core_drained(e->core); ++guard) {
    int32_t pending = 0, made = 0;
    EXPECT_EQ(mp3enc_core_encode_frame(&pending, 0, e->core, e->sbr_out, nullptr, 0, out.data(),
                                       int32_t(out.size()), &made, nullptr, nullptr),
              0);
    r.stream.insert(r.stream.end(), out.begin(), out.begin() + made);
  }
  EXPECT_TRUE(mp3enc_core_drained(e->core));
  mp3enc_close(h);
  return r;
}

TEST(SbrRoomPeer, OversizedPayloadIsLeftOutAndTheNextFrameSendsAHeader) {
  const int frames = 120;
  const run_result plain = drive(frames, {});
  ASSERT_EQ(int(plain.header_bits.size()), frames);
  // Frames whose successor carries no header of its own accord, so that a header there
  // can only come from the dropped payload.
  std::set<int> grow;
  for (int f = 20; f + 1 < frames && grow.size() < 4; ++f)
    if (plain.header_bits[size_t(f + 1)] == 0 && (grow.empty() || f > *grow.rbegin() + 15)) grow.insert(f);
  ASSERT_EQ(grow.size(), 4u);
  const run_result forced = drive(frames, grow);
  ASSERT_EQ(int(forced.header_bits.size()), frames);
  for (int f = 0; f < frames; ++f) {
    SCOPED_TRACE(f);
    EXPECT_GT(plain.block_bits[size_t(f)], 0);
    if (grow.count(f)) {
      EXPECT_EQ(forced.block_bits[size_t(f)], 0);
      EXPECT_GT(forced.header_bits[size_t(f + 1)], 0);
      EXPECT_EQ(forced.freq_coded[size_t(f + 1)], 1);
      EXPECT_GT(forced.block_bits[size_t(f + 1)], 0);
    } else {
      EXPECT_GT(forced.block_bits[size_t(f)], 0);
    }
  }

  std::vector<walked_frame> walked;
  std::string why;
  EXPECT_TRUE(walk_frames(forced.stream, &walked, &why)) << why;
  EXPECT_GE(int(walked.size()), frames);
  if (!have_peer_tools()) GTEST_SKIP() << "ffmpeg or mpg123 missing";
  core_scratch dir;
  const std::string path = dir.path("forced.mp3");
  ASSERT_TRUE(write_file(path, forced.stream));
  EXPECT_EQ(ffmpeg_errors(path), "");
  EXPECT_EQ(mpg123_problems(path), "");
}

}  // namespace
