// Block switching through the whole encoder: attacks give short blocks framed by start and
// stop blocks in the written side information, the streams stay sound for the peer decoders,
// and short blocks hold the pre-echo before a click below what long blocks alone leave.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "core_support.h"
#include "mp3enc/kernels.h"

namespace {

// Decaying noise bursts with a sharp onset (castanet-like) or single-sample clicks on
// silence, at uneven distances so that they fall anywhere in a granule.
std::vector<float> attacks(int rate, int channels, bool clicks, std::vector<size_t>* onsets, double seconds = 4.0) {
  std::vector<float> x(size_t(rate * seconds) * size_t(channels), 0.0f);
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  const size_t frames = x.size() / size_t(channels);
  for (size_t at = size_t(rate) / 3; at + size_t(rate) / 10 < frames; at += size_t(rate) * 37 / 100) {
    onsets->push_back(at);
    const int length = clicks ? 1 : rate / 25;
    for (int i = 0; i < length; ++i) {
      const float v = clicks ? 30000.0f : 24000.0f * std::exp(-float(i) / (0.004f * float(rate))) * u(rng);
      for (int c = 0; c < channels; ++c) x[(at + size_t(i)) * size_t(channels) + size_t(c)] = c == 0 ? v : 0.8f * v;
    }
  }
  return x;
}

// Block types in stream order: channel 0 of every granule; checks on the way that both channels
// of a granule share one type.
std::vector<int> block_types(const std::vector<walked_frame>& frames, int granules, int channels) {
  std::vector<int> t;
  for (const walked_frame& f : frames)
    for (int g = 0; g < granules; ++g) {
      if (channels == 2) {
        EXPECT_EQ(f.block_type[g][0], f.block_type[g][1]);
      }
      t.push_back(f.block_type[g][0]);
    }
  return t;
}

struct long_blocks_only {
  mp3enc_kernel_table table = mp3enc_plain_kernels();
  long_blocks_only() {
    table.attack_detect = [](mp3enc_attack_state*, const float*) { return 0; };
    mp3enc_pin_kernels(&table);
  }
  ~long_blocks_only() { mp3enc_pin_kernels(nullptr); }
};

TEST(BlockSwitch, AttacksGiveShortBlocksBetweenStartAndStop) {
  if (!have_peer_tools()) GTEST_SKIP() << "needs ffmpeg, mpg123, sox and espeak-ng";
  core_scratch dir;
  struct row {
    int input_rate, rate, channels, bit_rate, effort;
    bool clicks;
  } rows[] = {
      {44100, 44100, 1, 64000, 1, true},  {44100, 44100, 1, 64000, 2, false}, {44100, 22050, 1, 32000, 1, false},
      {22050, 22050, 1, 32000, 0, true},  {44100, 44100, 2, 128000, 1, false}, {16000, 16000, 2, 48000, 1, true},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.input_rate << " -> " << r.rate << " ch " << r.channels << " "
                                    << r.bit_rate << " q" << r.effort << (r.clicks ? " clicks" : " bursts"));
    std::vector<size_t> onsets;
    const auto pcm = attacks(r.input_rate, r.channels, r.clicks, &onsets);
    core_options o;
    o.input_rate = r.input_rate;
    o.rate = r.rate;
    o.channels = r.channels;
    o.bit_rate = r.bit_rate;
    o.effort = r.effort;
    const auto s = core_encode(pcm, o);
    std::vector<walked_frame> frames;
    std::string why;
    ASSERT_TRUE(walk_frames(s, &frames, &why)) << why;
    const int granules = r.rate >= 32000 ? 2 : 1;
    const auto t = block_types(frames, granules, r.channels);
    int count[4] = {};
    for (size_t i = 0; i < t.size(); ++i) {
      ++count[t[i]];
      // normal or stop -> normal or start; start -> short; short -> short or stop
      if (i > 0) {
        const int a = t[i - 1], b = t[i];
        const bool ok = (a == 0 || a == 3) ? (b == 0 || b == 1) : a == 1 ? b == 2 : (b == 2 || b == 3);
        EXPECT_TRUE(ok) << "granule " << i << ": " << a << " -> " << b;
      }
    }
    EXPECT_EQ(0, t.front());
    // every attack opens its own run of short blocks, and each run closes again
    EXPECT_EQ(int(onsets.size()), count[1]);
    EXPECT_EQ(count[1], count[3]);
    EXPECT_GE(count[2], count[1]);
    const std::string file = dir.path("s.mp3");
    ASSERT_TRUE(write_file(file, s));
    EXPECT_EQ("", ffmpeg_errors(file));
    EXPECT_EQ("", mpg123_problems(file));
    const decoded d = decode_ours(s, false);
    EXPECT_EQ(int(frames.size()), d.frames);
    EXPECT_EQ(0, d.failed_frames);
  }
}

// Energy of the coding error in the 20 ms before each attack. The error is taken below the
// coded bandwidth: what the encoder leaves out above it is no pre-echo, and a click cut to
// that band rings for a millisecond on either side.
double pre_echo(const std::vector<float>& in, const std::vector<float>& out, const std::vector<size_t>& onsets,
                int lag, int rate, double band) {
  std::vector<float> error(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const size_t j = i + size_t(lag);
    error[i] = (j < out.size() ? out[j] : 0.0f) - in[i];
  }
  error = lowpass(error, band, rate);
  double e = 0;
  const size_t span = size_t(rate / 50);
  for (size_t at : onsets)
    for (size_t i = at - span; i < at; ++i) e += double(error[i]) * error[i];
  return e;
}

TEST(BlockSwitch, ShortBlocksLowerThePreEcho) {
  struct row {
    int rate, bit_rate;
    bool clicks;
  } rows[] = {{44100, 64000, false}, {44100, 64000, true}, {22050, 32000, false}};
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.rate << " " << r.bit_rate << (r.clicks ? " clicks" : " bursts"));
    std::vector<size_t> onsets;
    const auto pcm = attacks(r.rate, 1, r.clicks, &onsets);
    core_options o;
    o.rate = r.rate;
    o.bit_rate = r.bit_rate;
    double energy[2];
    for (int off = 0; off < 2; ++off) {
      std::vector<uint8_t> s;
      if (off) {
        long_blocks_only pin;
        s = core_encode(pcm, o);
      } else {
        s = core_encode(pcm, o);
      }
      const decoded d = decode_ours(s, false);
      ASSERT_EQ(0, d.failed_frames);
      const int lag = best_lag(pcm, d.samples, 1, 3000);
      EXPECT_EQ(1201, lag);
      energy[off] = pre_echo(pcm, d.samples, onsets, lag, r.rate, 0.9 * std::min(r.rate / 2.0, 0.182 * r.bit_rate + 1810));
    }
    const double gain_db = 10.0 * std::log10(energy[1] / std::max(energy[0], 1e-9));
    std::printf("pre-echo in the 20 ms before %zu attacks, %d Hz %s: switching %.3g, long blocks only %.3g (%.1f dB)\n",
                onsets.size(), r.rate, r.clicks ? "clicks" : "bursts", energy[0], energy[1], gain_db);
    EXPECT_GT(gain_db, 6.0);
  }
}

}  // namespace
