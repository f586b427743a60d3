// Streams of the core checked by the peer decoders: ffmpeg with every error check on and
// mpg123's test mode, on speech and synthetic signals, over rates, bit rates, channel modes,
// quality levels and CRC.
#include <gtest/gtest.h>

#include <vector>

#include "core_support.h"

namespace {

struct row {
  int rate, bit_rate, channels;
  bool joint;
  bool tools = true;  // mid/side and intensity allowed
};

const row rows[] = {
    {8000, 8000, 1, true},     {8000, 32000, 2, true},    {11025, 24000, 1, true},  {11025, 64000, 2, false},
    {12000, 48000, 2, true},   {16000, 32000, 1, true},   {16000, 128000, 2, true}, {22050, 32000, 1, true},
    {22050, 64000, 2, true},   {22050, 160000, 2, false}, {24000, 56000, 1, true},  {24000, 96000, 2, true},
    {32000, 32000, 1, true},   {32000, 128000, 2, true},  {44100, 64000, 1, true},  {44100, 96000, 2, true},
    {44100, 320000, 2, false}, {48000, 40000, 1, true},   {48000, 224000, 2, true}, {48000, 64000, 2, false},
};

class CorePeer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!have_peer_tools()) GTEST_SKIP() << "needs ffmpeg, mpg123, sox and espeak-ng";
  }
  core_scratch dir;
};

TEST_F(CorePeer, PeerDecodersAcceptEveryConfiguration) {
  int k = 0;
  for (const row& r : rows) {
    const std::vector<float> talk =
        speech(dir, r.rate, r.channels, "The quick brown fox jumps over the lazy dog, twice.");
    ASSERT_FALSE(talk.empty());
    int st = 0;
    const std::string synth = dir.path("synth.raw");
    run_command("sox -n -t raw -e signed -b 16 -L -r " + std::to_string(r.rate) + " -c " +
                    std::to_string(r.channels) + " '" + synth +
                    "' synth 1.5 sine 200-3000 synth pinknoise mix synth square 60 fade 0 1.5 0.4 vol 0.9",
                &st);
    ASSERT_EQ(st, 0);
    const std::vector<float> tone = read_raw_s16(synth);
    // Sharp attacks over quiet noise switch to short blocks through start and stop blocks.
    std::vector<float> clicks(tone.size(), 0.0f);
    for (size_t i = 0; i < clicks.size(); ++i) {
      const size_t frame = i / size_t(r.channels);
      clicks[i] = float(int(frame * 7919 % 401) - 200) + ((frame % size_t(r.rate / 7)) < 40 ? 25000.0f : 0.0f);
    }
    for (int effort = 0; effort <= 2; ++effort)
      for (bool crc : {false, true}) {
        core_options o;
        o.rate = r.rate;
        o.bit_rate = r.bit_rate;
        o.channels = r.channels;
        o.joint = r.joint;
        o.stereo_tools = r.tools;
        o.effort = effort;
        o.crc = crc;
        const int pick = k++ % 3;
        const auto& pcm = pick == 0 ? talk : pick == 1 ? tone : clicks;
        const std::string f = dir.path("c.mp3");
        ASSERT_TRUE(write_file(f, core_encode(pcm, o)));
        const std::string what = std::to_string(r.rate) + "/" + std::to_string(r.bit_rate) + "/" +
                                 std::to_string(r.channels) + (r.joint ? (r.tools ? "j" : "s") : "d") + " q" + std::to_string(effort) +
                                 (crc ? " crc" : "");
        EXPECT_EQ(ffmpeg_errors(f), "") << what;
        EXPECT_EQ(mpg123_problems(f), "") << what;
      }
  }
}

TEST_F(CorePeer, FlippedSideInformationBitFailsTheCrcCheck) {
  core_options o;
  o.crc = true;
  auto s = core_encode(speech(dir, 44100, 1, "Checking the check sum."), o);
  std::vector<walked_frame> f;
  std::string why;
  ASSERT_TRUE(walk_frames(s, &f, &why)) << why;
  const std::string good = dir.path("good.mp3"), bad = dir.path("bad.mp3");
  ASSERT_TRUE(write_file(good, s));
  EXPECT_EQ(ffmpeg_errors(good), "");
  s[f[3].offset + 8] ^= 0x04;  // part2_3_length of frame 3
  ASSERT_TRUE(write_file(bad, s));
  EXPECT_NE(ffmpeg_errors(bad), "");
}

}  // namespace
