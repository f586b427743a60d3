// Peer checks: our decoder against mpg123 on streams that lame writes from
// sox-made signals, stream information against ffprobe, and the real book's MP3 files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "mp3dec/l3dec.h"
#include "mp3dec_support.h"

namespace fs = std::filesystem;

namespace {

// The corpus signal: a -20 dBFS sweep 20 Hz - 10 kHz, noise, clicks (a slow square wave,
// which makes lame switch to short blocks), and multi-tones.
bool make_signal(const scratch_dir& env, int rate, int ch, const std::string& out) {
  const std::string r = " -r " + std::to_string(rate) + " -c " + std::to_string(ch) + " ";
  return run_quiet("sox -R -n" + r + env.path("s1.wav") + " synth 1.5 sine 20-10000 vol -20dB") == 0 &&
         run_quiet("sox -R -n" + r + env.path("s2.wav") + " synth 1 whitenoise vol -20dB") == 0 &&
         run_quiet("sox -R -n" + r + env.path("s3.wav") + " synth 1 square 3 vol 0.3") == 0 &&
         run_quiet("sox -R -n" + r + env.path("s4.wav") +
             " synth 1 sine 220 sine 1000 sine 3300 sine 5000 vol -20dB") == 0 &&
         run_quiet("sox -R " + env.path("s1.wav") + " " + env.path("s2.wav") + " " + env.path("s3.wav") +
             " " + env.path("s4.wav") + " " + out) == 0;
}

struct case_spec {
  int rate;
  int ch;
  std::string lame;
  bool xing;
};

}  // namespace

TEST(Mp3decPeer, LameCorpusMatchesMpg123) {
  if (!have_tool("lame") || !have_tool("sox") || !have_tool("mpg123")) GTEST_SKIP() << "lame, sox or mpg123 missing";
  scratch_dir env;
  std::vector<case_spec> cases;
  const int rates[9] = {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000};
  for (int rate : rates) {
    const bool mpeg1 = rate >= 32000;
    const std::string lo = mpeg1 ? "32" : "8", mid = mpeg1 ? "128" : "64", hi = mpeg1 ? "320" : "160";
    cases.push_back({rate, 1, "-t -m m -b " + lo, false});
    cases.push_back({rate, 2, "-t -m s -b " + hi, false});
    cases.push_back({rate, 2, "-t -m j -p -b " + mid, false});
    cases.push_back({rate, 1, "-t -m m -p -b " + mid, false});
    cases.push_back({rate, 2, "-m j -V 4", true});
  }
  for (uint64_t& c : l3_block_counts) c = 0;
  double worst_rms = 0.0, worst_peak = 0.0;
  size_t total = 0;
  for (const case_spec& c : cases) {
    const std::string wav = env.path("in.wav"), mp3 = env.path("x.mp3");
    ASSERT_TRUE(make_signal(env, c.rate, c.ch, wav));
    ASSERT_EQ(run_quiet("lame --quiet " + c.lame + " " + wav + " " + mp3), 0) << c.lame;
    const auto data = read_file(mp3);
    auto ours = decode_stream(data, 1, 0, 0, 1, 0);
    auto ref = mpg123_f32(env, mp3);
    ASSERT_FALSE(ref.empty());
    std::vector<float> pcm = as_floats(ours.pcm);
    // A Xing/Info frame decodes as one silent frame here; mpg123 drops it.
    const size_t spf = c.rate >= 32000 ? 1152 : 576;
    const size_t offset = c.xing ? spf * size_t(c.ch) : 0;
    EXPECT_EQ(pcm.size(), ref.size() + offset) << c.rate << " " << c.lame;
    const comparison cmp = compare(pcm, ref, offset);
    EXPECT_LT(cmp.rms, rms_limit) << c.rate << " " << c.lame;
    EXPECT_LE(cmp.peak, peak_limit) << c.rate << " " << c.lame;
    EXPECT_GT(cmp.compared, ref.size() * 9 / 10);
    worst_rms = std::max(worst_rms, cmp.rms);
    worst_peak = std::max(worst_peak, cmp.peak);
    total += cmp.compared;
  }
  std::printf("[mp3dec peer] %zu streams, %zu samples: worst RMS difference %.6f LSB (limit %.4f), "
              "worst peak difference %.6f LSB (limit %.1f)\n",
              cases.size(), total, worst_rms, rms_limit, worst_peak, peak_limit);
  std::printf("[mp3dec peer] granules: long %llu, start %llu, short %llu, stop %llu\n",
              (unsigned long long)l3_block_counts[0], (unsigned long long)l3_block_counts[1],
              (unsigned long long)l3_block_counts[2], (unsigned long long)l3_block_counts[3]);
  for (int kind = 1; kind < 4; ++kind)
    EXPECT_GT(l3_block_counts[kind], 0u) << "no " << (kind == 1 ? "start" : kind == 2 ? "short" : "stop") << " blocks";
}

TEST(Mp3decPeer, Pcm16IsFloatRoundedAndSaturated) {
  if (!have_tool("lame") || !have_tool("sox")) GTEST_SKIP() << "lame or sox missing";
  scratch_dir env;
  const std::string wav = env.path("loud.wav"), mp3 = env.path("loud.mp3");
  ASSERT_EQ(run_quiet("sox -R -n -r 44100 -c 2 " + wav + " synth 2 square 440 vol 0.99"), 0);
  ASSERT_EQ(run_quiet("lame --quiet -t -b 192 " + wav + " " + mp3), 0);
  const auto data = read_file(mp3);
  auto f = as_floats(decode_stream(data, 1, 0, 0, 1, 0).pcm);
  auto i16 = decode_stream(data, 0, 0, 0, 1, 0).pcm;
  ASSERT_EQ(f.size() * 2, i16.size());
  size_t saturated = 0;
  for (size_t k = 0; k < f.size(); ++k) {
    int16_t v;
    std::memcpy(&v, i16.data() + 2 * k, 2);
    long expect = std::lrint(f[k]);
    if (expect > 32767) expect = 32767, ++saturated;
    if (expect < -32768) expect = -32768, ++saturated;
    ASSERT_EQ(long(v), expect) << k;
  }
  EXPECT_GT(saturated, 0u);
}

TEST(Mp3decPeer, StreamInformationAgreesWithFfprobe) {
  if (!have_tool("lame") || !have_tool("sox") || !have_tool("ffprobe")) GTEST_SKIP() << "lame, sox or ffprobe missing";
  scratch_dir env;
  enum kind { cbr, cbr_unpadded, xing };  // unpadded: offsets are exact frame starts
  struct probe_case {
    int rate;
    std::string opts;
    kind k;
  };
  const probe_case files[] = {{48000, "-t -b 128", cbr_unpadded}, {44100, "-t -b 128", cbr}, {22050, "-t -m m -b 32", cbr},
                              {16000, "-t -m m -b 32", cbr_unpadded}, {44100, "-V 2", xing}};
  for (const probe_case& c : files) {
    const std::string wav = env.path("i.wav"), mp3 = env.path("i.mp3"), csv = env.path("p.csv");
    ASSERT_EQ(run_quiet("sox -R -n -r " + std::to_string(c.rate) + " -c 2 " + wav + " synth 20 sine 20-10000 vol -20dB"), 0);
    ASSERT_EQ(run_quiet("lame --quiet " + c.opts + " " + wav + " " + mp3), 0);
    ASSERT_EQ(run_quiet("ffprobe -v error -select_streams a -show_packets -show_entries packet=pts_time,pos "
                        "-of csv=p=0 " + mp3 + " > " + csv), 0);
    std::vector<std::pair<double, long>> packets;
    FILE* f = std::fopen(csv.c_str(), "r");
    ASSERT_NE(f, nullptr);
    double t;
    long pos;
    char line[256];  // a packet with side data adds fields and a blank line
    while (std::fgets(line, sizeof line, f))
      if (std::sscanf(line, "%lf,%ld", &t, &pos) == 2) packets.push_back({t, pos});
    std::fclose(f);
    ASSERT_GT(packets.size(), 100u);
    const auto data = read_file(mp3);
    MP3DecoderInfo* info = nullptr;
    ASSERT_EQ(MP3CreateDecoderInfo(&info), SSC_OK);
    ASSERT_TRUE(info->Open(data.data(), 8192, uint32_t(data.size())));
    const MP3StreamInfo* s = info->GetInfo();
    const double frame_ms = (c.rate >= 32000 ? 1152.0 : 576.0) * 1000.0 / c.rate;
    if (c.k == xing) {
      // lame's Xing frame count covers the audio frames, which ffprobe counts too: exact.
      EXPECT_EQ(s->vbrHeader, 1u);
      EXPECT_EQ(s->seekable, 1u);
      EXPECT_NEAR(double(s->duration), std::floor(double(packets.size()) * frame_ms), 1.0);
      EXPECT_LE(info->PercentToOffset(100.0f), uint32_t(data.size()));
    } else {
      EXPECT_NEAR(double(s->duration), double(packets.size()) * frame_ms, frame_ms) << c.rate;
      EXPECT_EQ(s->firstFrame, packets[0].second * 8);
    }
    for (size_t k = 0; c.k != xing && k < packets.size(); k += packets.size() / 17 + 1) {
      const uint32_t ms = uint32_t(std::ceil(packets[k].first * 1000.0));
      const uint32_t off = info->TimeToOffset(ms);
      const size_t idx = size_t(ms / frame_ms);
      if (c.k == cbr_unpadded && idx < packets.size()) {
        EXPECT_EQ(long(off), packets[idx].second) << c.rate << " at " << ms << " ms";
      } else {
        EXPECT_NEAR(double(off), double(packets[k].second), 2.0 * double(data.size()) / double(packets.size()))
            << c.rate << " at " << ms << " ms";
      }
    }
    info->Release();
  }
}

TEST(Mp3decPeer, DamagedAndCutStreams) {
  if (!have_tool("lame") || !have_tool("sox")) GTEST_SKIP() << "lame or sox missing";
  scratch_dir env;
  const std::string wav = env.path("d.wav"), mp3 = env.path("d.mp3");
  ASSERT_EQ(run_quiet("sox -R -n -r 44100 -c 1 " + wav + " synth 4 sine 300-3000 vol -10dB"), 0);
  ASSERT_EQ(run_quiet("lame --quiet -t -p -m m -b 64 " + wav + " " + mp3), 0);
  auto data = read_file(mp3);
  const int fb = 64000 / 8 * 1152 / 44100;  // 208 or 209 bytes
  // Frame starts.
  std::vector<size_t> starts;
  for (size_t p = 0; p + 4 < data.size();) {
    ASSERT_EQ(data[p], 0xFF);
    starts.push_back(p);
    p += size_t(fb + ((data[p + 2] >> 1) & 1));
  }
  ASSERT_GT(starts.size(), 100u);
  // A wrong CRC in frame 60: concealed, with a level like the frames before it.
  auto bad = data;
  bad[starts[60] + 4] ^= 0xFF;
  auto r = decode_stream(bad, 0, 0, 0, 1, 0);
  ASSERT_GT(r.statuses.size(), 61u);
  EXPECT_EQ(r.statuses[60], SSC_INFO_CRC_ERROR);
  EXPECT_EQ(r.statuses[59], SSC_OK);
  auto level = [&](int frame) {
    double e = 0;
    for (int i = 0; i < 1152; ++i) {
      int16_t v;
      std::memcpy(&v, r.pcm.data() + 2 * (size_t(frame) * 1152 + size_t(i)), 2);
      e += double(v) * v;
    }
    return std::sqrt(e / 1152);
  };
  const double before = level(58), concealed = level(60);
  EXPECT_GT(concealed, before / 4);
  EXPECT_LT(concealed, before * 4);
  auto ok = decode_stream(bad, 0, 1, 0, 1, 0);
  EXPECT_EQ(ok.statuses[60], SSC_OK);  // not checked: decoded as is
  // A stream cut in the middle: frames whose main data lie before the cut are dropped.
  size_t cut = 0;
  for (size_t k = 30; k < starts.size(); ++k) {
    const size_t p = starts[k];
    const int mdb = (data[p + 6] << 1) | (data[p + 7] >> 7);
    if (mdb > 0) {
      cut = p;
      break;
    }
  }
  ASSERT_GT(cut, 0u);
  std::vector<uint8_t> tail(data.begin() + long(cut), data.end());
  auto t = decode_stream(tail, 0, 0, 0, 1, 0);
  EXPECT_EQ(t.statuses[0], SSC_SYNC_NEED_DATA);
  size_t oks = 0;
  for (SSC s : t.statuses) oks += s == SSC_OK;
  EXPECT_GT(oks, starts.size() / 3);
}

TEST(Mp3decPeer, BookFilesMatchMpg123) {
  if (!have_tool("mpg123")) GTEST_SKIP() << "mpg123 missing";
  const fs::path books = fs::path(KORVANE_SHARED_DIR) / "daisy202" / "books";
  if (!fs::exists(books)) GTEST_SKIP() << "no books";
  scratch_dir env;
  int files = 0;
  double worst_rms = 0.0, worst_peak = 0.0;
  for (const auto& entry : fs::recursive_directory_iterator(books)) {
    if (entry.path().extension() != ".mp3") continue;
    const auto data = read_file(entry.path().string());
    auto ours = as_floats(decode_stream(data, 1, 0, 0, 1, 0).pcm);
    auto ref = mpg123_f32(env, "'" + entry.path().string() + "'");
    ASSERT_FALSE(ref.empty()) << entry.path();
    // An Info/Xing frame decodes here as one silent frame that mpg123 drops.
    const size_t extra = ours.size() > ref.size() ? ours.size() - ref.size() : 0;
    const comparison cmp = compare(ours, ref, extra);
    EXPECT_LT(cmp.rms, rms_limit) << entry.path();
    EXPECT_LE(cmp.peak, peak_limit) << entry.path();
    EXPECT_LE(extra, size_t(2 * 1152)) << entry.path();
    worst_rms = std::max(worst_rms, cmp.rms);
    worst_peak = std::max(worst_peak, cmp.peak);
    ++files;
  }
  std::printf("[mp3dec peer] book: %d files, worst RMS %.6f LSB, worst peak %.6f LSB\n", files, worst_rms,
              worst_peak);
  EXPECT_GT(files, 0);
}
