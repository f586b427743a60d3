// Speech from espeak-ng through the mp3PRO round trip: payloads read back as written.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "mp3enc/core.h"
#include "roundtrip_support.h"

namespace {

TEST(SbrRoundTripSpeech, PayloadsReadBackAsWritten) {
  struct row {
    int rate, input_channels;
    uint32_t mode, bit_rate;
  };
  const row rows[] = {{32000, 1, 1, 24000}, {44100, 1, 1, 32000}, {48000, 1, 1, 48000},
                      {44100, 2, 2, 48000}, {48000, 2, 2, 96000}, {44100, 2, 3, 32000}};
  for (const row& c : rows) {
    SCOPED_TRACE(std::to_string(c.rate) + " Hz, mode " + std::to_string(c.mode) + ", " + std::to_string(c.bit_rate));
    auto pcm = rt_speech(c.rate, 1, "The quick brown fox jumps over the lazy dog. Sixty-seven silly sheep.");
    if (pcm.empty()) GTEST_SKIP() << "espeak-ng or sox missing";
    if (c.input_channels == 2) {  // the right channel a little quieter and later
      std::vector<float> st(2 * pcm.size());
      for (size_t i = 0; i < pcm.size(); ++i) {
        st[2 * i] = pcm[i];
        st[2 * i + 1] = i >= 40 ? 0.7f * pcm[i - 40] : 0.0f;
      }
      pcm.swap(st);
    }
    rt_options o;
    o.rate = c.rate;
    o.input_channels = c.input_channels;
    o.channel_mode = c.mode;
    o.bit_rate = c.bit_rate;
    const rt_result r = rt_round_trip(pcm, o);
    ASSERT_TRUE(r.configured);
    EXPECT_EQ(r.failed_frames, 0);
    EXPECT_EQ(r.decoded_rate, c.rate);
    EXPECT_EQ(r.mp3pro_frames, r.frames);
    for (float x : r.decoded) ASSERT_TRUE(std::isfinite(x));
    ASSERT_LE(r.read.size(), r.written.size());
    EXPECT_GE(int(r.read.size()), r.frames - 1);
    int mismatched = 0;
    for (size_t i = 0; i + 3 < r.read.size(); ++i) {  // the stream's end as in the unit test
      const std::string d = rt_compare(r.written[i], r.read[i]);
      if (!d.empty() && ++mismatched <= 3) ADD_FAILURE() << "frame " << i << ": " << d;
    }
  }
}

int32_t tight(int32_t granule, int32_t room) { return granule % 10 == 5 ? 10 : room; }

// Frames whose payload had no room and was left out are still sound MPEG audio to the peers.
TEST(SbrRoundTripSpeech, StreamsWithPayloadsLeftOutPassThePeers) {
  auto pcm = rt_speech(44100, 1, "Frames without room leave their payload out.");
  if (pcm.empty() || std::system("ffmpeg -version >/dev/null 2>&1") != 0 || std::system("mpg123 --version >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "espeak-ng, sox, ffmpeg or mpg123 missing";
  rt_options o;
  o.rate = 44100;
  o.bit_rate = 32000;
  mp3enc_core_room_for_tests = tight;
  const rt_result r = rt_round_trip(pcm, o);
  mp3enc_core_room_for_tests = nullptr;
  ASSERT_TRUE(r.configured);
  EXPECT_EQ(r.failed_frames, 0);
  EXPECT_LT(r.read.size() + 3, r.written.size());  // some payloads were left out
  const std::string file = "/tmp/sbrenc_rt_tight_" + std::to_string(::getpid()) + ".mp3";
  FILE* f = std::fopen(file.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(r.stream.data(), 1, r.stream.size(), f);
  std::fclose(f);
  const std::string ffmpeg = "ffmpeg -nostdin -v error -err_detect crccheck+bitstream+buffer+explode -xerror -i '" + file +
                             "' -f null - 2>&1 | grep -q . && exit 1 || exit 0";
  EXPECT_EQ(std::system(ffmpeg.c_str()), 0);
  const std::string mpg123 = "mpg123 -t '" + file + "' 2>&1 | grep -qiE 'rror|arning' && exit 1 || exit 0";
  EXPECT_EQ(std::system(mpg123.c_str()), 0);
  std::remove(file.c_str());
}

}  // namespace
