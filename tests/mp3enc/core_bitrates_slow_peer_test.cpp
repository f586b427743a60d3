// Every bit rate of every sample rate, mono and two channels, through ffmpeg's strict checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core_support.h"

namespace {

TEST(CorePeerSweep, EveryBitRateOfEveryRate) {
  if (!have_peer_tools()) GTEST_SKIP() << "needs ffmpeg, mpg123, sox and espeak-ng";
  core_scratch dir;
  const int rates[9] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
  const int low[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  const int high[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  int k = 0, tried = 0;
  for (int rate : rates) {
    const std::vector<float> mono = speech(dir, rate, 1, "Every bit rate of every rate.");
    const std::vector<float> stereo = speech(dir, rate, 2, "Every bit rate of every rate.");
    ASSERT_FALSE(mono.empty());
    for (int kbps : rate >= 32000 ? high : low)
      for (int channels : {1, 2}) {
        core_options o;
        o.rate = rate;
        o.bit_rate = kbps * 1000;
        o.channels = channels;
        o.effort = k % 3;
        o.crc = (k / 3) % 2 == 1;
        ++k;
        const auto s = core_encode(channels == 1 ? mono : stereo, o);
        if (s.empty()) continue;  // a combination the configuration refuses
        ++tried;
        const std::string f = dir.path("b.mp3");
        ASSERT_TRUE(write_file(f, s));
        EXPECT_EQ(ffmpeg_errors(f), "") << rate << " " << kbps << " " << channels;
        std::vector<walked_frame> frames;
        std::string why;
        EXPECT_TRUE(walk_frames(s, &frames, &why)) << rate << " " << kbps << " " << channels << ": " << why;
      }
  }
  EXPECT_GT(tried, 200);
}

// Two channels at 8000 to 16000 Hz, where joint stereo once let a granule outgrow its length
// field on a few inputs in a hundred: the speech again with each sample moved by at most one
// step, from a fixed list of seeds, every bit rate at every quality. The walker checks every
// granule, so no peer is needed here.
TEST(CorePeerSweep, TwoChannelSpeechVariantsAtTheLowRates) {
  if (!have_tool("sox") || !have_tool("espeak-ng")) GTEST_SKIP() << "needs sox and espeak-ng";
  core_scratch dir;
  const int kbps[] = {16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  // The old fault showed first at seed 12 and in 4 of the first 40 seeds.
  const int seeds = 40;
  int tried = 0;
  for (int rate : {8000, 11025, 12000, 16000}) {
    const std::vector<float> stereo = speech(dir, rate, 2, "Every bit rate of every rate.");
    ASSERT_FALSE(stereo.empty());
    for (int seed = 1; seed <= seeds; ++seed) {
      std::mt19937 rng{unsigned(seed)};
      std::vector<float> pcm(stereo);
      for (float& v : pcm) v = std::clamp(v + float(int(rng() % 3) - 1), -32768.0f, 32767.0f);
      for (int kb : kbps)
        for (int effort = 0; effort <= 2; ++effort) {
          core_options o;
          o.rate = rate;
          o.bit_rate = kb * 1000;
          o.channels = 2;
          o.effort = effort;
          const auto s = core_encode(pcm, o);
          if (s.empty()) continue;  // a combination the configuration refuses
          ++tried;
          std::vector<walked_frame> frames;
          std::string why;
          EXPECT_TRUE(walk_frames(s, &frames, &why))
              << rate << " Hz, " << kb << " kbit/s, quality " << effort << ", seed " << seed << ": " << why;
          // every sample of the input went out: nothing stopped the encoder half way
          EXPECT_GE(frames.size() * 576, pcm.size() / 2)
              << rate << " Hz, " << kb << " kbit/s, quality " << effort << ", seed " << seed;
        }
    }
  }
  EXPECT_GT(tried, 100 * seeds);
}

}  // namespace
