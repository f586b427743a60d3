// Every bit rate of every sample rate, mono and two channels, through ffmpeg's strict checks.
#include <gtest/gtest.h>

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

}  // namespace
