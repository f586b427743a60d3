// Streams of the core checked by the peer decoders: ffmpeg with every error check on and
// mpg123's test mode, on speech and synthetic signals, over rates, bit rates, channel modes,
// quality levels and CRC.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
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
    run_command("sox -R -n -t raw -e signed -b 16 -L -r " + std::to_string(r.rate) + " -c " +
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

// Two-channel inputs on which the mid channel of a joint-stereo granule once grew past what
// the 12 bits of part2_3_length hold: the field wrapped and decoders read a granule of a few
// bits. The walker names the granule; ffmpeg's strict mode is the peer that saw it.
TEST_F(CorePeer, JointStereoGranulesStayWithinTheirLengthField) {
  const struct {
    const char* file;
    int bit_rate, effort;
  } cases[] = {{"square-330hz-8000-stereo.raw", 64000, 0}, {"speech-8000-stereo.raw", 56000, 1}};
  for (const auto& c : cases)
    for (bool prep : {false, true}) {
      const std::vector<float> pcm = read_raw_s16(std::string(KORVANE_SHARED_DIR) + "/cases/encoder/" + c.file);
      ASSERT_FALSE(pcm.empty()) << c.file;
      core_options o;
      o.rate = 8000;
      o.channels = 2;
      o.bit_rate = c.bit_rate;
      o.effort = c.effort;
      o.stereo_prep = prep;
      int delay = 0;
      const auto s = core_encode(pcm, o, &delay);
      ASSERT_FALSE(s.empty()) << c.file;
      std::vector<walked_frame> frames;
      std::string why;
      EXPECT_TRUE(walk_frames(s, &frames, &why)) << c.file << " prep " << prep << ": " << why;
      // A granule the writer refuses ends the stream there, still sound: it must hold every
      // input sample behind the delay.
      EXPECT_GE(frames.size() * 576, pcm.size() / 2 + size_t(delay)) << c.file << " prep " << prep;
      const std::string f = dir.path("case.mp3");
      ASSERT_TRUE(write_file(f, s));
      EXPECT_EQ(ffmpeg_errors(f), "") << c.file << " prep " << prep;
      EXPECT_EQ(mpg123_problems(f), "") << c.file << " prep " << prep;
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

namespace {

TEST(CorePeerHostile, HostileInputGivesStreamsThePeersAccept) {
  if (!have_peer_tools()) GTEST_SKIP() << "needs ffmpeg, mpg123, sox and espeak-ng";
  core_scratch dir;
  const int rate = 44100;
  std::vector<float> square(rate), dc(rate, 32767.0f), clicks(rate, 0.0f), bad(rate);
  for (int i = 0; i < rate; ++i) square[size_t(i)] = (i / 50) % 2 ? 32767.0f : -32768.0f;
  for (int i = 0; i < rate; i += 3000) clicks[size_t(i)] = -32768.0f;
  for (int i = 0; i < rate; ++i) bad[size_t(i)] = i % 4 == 0 ? NAN : i % 4 == 1 ? -INFINITY : i % 4 == 2 ? 1e30f : 0.0f;
  const std::pair<const char*, std::vector<float>*> inputs[] = {
      {"square", &square}, {"dc", &dc}, {"clicks", &clicks}, {"nan", &bad}};
  for (const auto& [name, pcm] : inputs)
    for (int channels : {1, 2})
      for (int bit_rate : {32000, 320000}) {
        std::vector<float> in;
        for (float v : *pcm)
          for (int c = 0; c < channels; ++c) in.push_back(v);
        core_options o;
        o.rate = rate;
        o.channels = channels;
        o.bit_rate = bit_rate;
        o.effort = 2;
        const std::string f = dir.path("h.mp3");
        ASSERT_TRUE(write_file(f, core_encode(in, o)));
        EXPECT_EQ(ffmpeg_errors(f), "") << name << " " << channels << " " << bit_rate;
        EXPECT_EQ(mpg123_problems(f), "") << name << " " << channels << " " << bit_rate;
      }
}

}  // namespace
