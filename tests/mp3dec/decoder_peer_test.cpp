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

bool have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

int run(const std::string& cmd) { return std::system(("(" + cmd + ") >/dev/null 2>&1").c_str()); }

struct peer_env {
  std::string dir;
  peer_env() {
    char tmpl[] = "/tmp/mp3dec_peer_XXXXXX";
    const char* d = mkdtemp(tmpl);
    dir = d ? d : "/tmp";
  }
  ~peer_env() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string path(const std::string& name) const { return dir + "/" + name; }
};

// The corpus signal: a -20 dBFS sweep 20 Hz - 10 kHz, noise, clicks (a slow square wave,
// which makes lame switch to short blocks), and multi-tones.
bool make_signal(const peer_env& env, int rate, int ch, const std::string& out) {
  const std::string r = " -r " + std::to_string(rate) + " -c " + std::to_string(ch) + " ";
  return run("sox -n" + r + env.path("s1.wav") + " synth 1.5 sine 20-10000 vol -20dB") == 0 &&
         run("sox -n" + r + env.path("s2.wav") + " synth 1 whitenoise vol -20dB") == 0 &&
         run("sox -n" + r + env.path("s3.wav") + " synth 1 square 3 vol 0.3") == 0 &&
         run("sox -n" + r + env.path("s4.wav") +
             " synth 1 sine 220 sine 1000 sine 3300 sine 5000 vol -20dB") == 0 &&
         run("sox " + env.path("s1.wav") + " " + env.path("s2.wav") + " " + env.path("s3.wav") +
             " " + env.path("s4.wav") + " " + out) == 0;
}

struct comparison {
  double rms = 0.0, peak = 0.0;
  size_t compared = 0, ours = 0, reference = 0;
};

// Compares two float streams at 16-bit scale (full scale 32768) on samples within +-32767.
comparison compare(const std::vector<float>& ours, const std::vector<float>& ref, size_t offset) {
  comparison c;
  c.ours = ours.size();
  c.reference = ref.size();
  double se = 0.0;
  for (size_t i = 0; i + offset < ours.size() && i < ref.size(); ++i) {
    const double y = double(ref[i]) * 32768.0;
    if (std::fabs(y) > 32767.0) continue;
    const double d = double(ours[i + offset]) - y;
    se += d * d;
    c.peak = std::max(c.peak, std::fabs(d));
    ++c.compared;
  }
  c.rms = c.compared ? std::sqrt(se / double(c.compared)) : 0.0;
  return c;
}

std::vector<float> mpg123_f32(const peer_env& env, const std::string& mp3) {
  const std::string out = env.path("ref.f32");
  if (run("mpg123 -q --no-gapless -e f32 -s " + mp3 + " > " + out) != 0) return {};
  return as_floats(read_file(out));
}

const double rms_limit = 1.0 / std::sqrt(12.0);  // 2^-15 / sqrt(12) of full scale, in LSB
const double peak_limit = 2.0;                   // 2^-14 of full scale, in LSB

struct case_spec {
  int rate;
  int ch;
  std::string lame;
  bool xing;
};

}  // namespace

TEST(Mp3decPeer, LameCorpusMatchesMpg123) {
  if (!have("lame") || !have("sox") || !have("mpg123")) GTEST_SKIP() << "lame, sox or mpg123 missing";
  peer_env env;
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
    ASSERT_EQ(run("lame --quiet " + c.lame + " " + wav + " " + mp3), 0) << c.lame;
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
  EXPECT_GT(l3_block_counts[1], 0u) << "no start blocks in the corpus";
  EXPECT_GT(l3_block_counts[2], 0u) << "no short blocks in the corpus";
  EXPECT_GT(l3_block_counts[3], 0u) << "no stop blocks in the corpus";
}

TEST(Mp3decPeer, Pcm16IsFloatRoundedAndSaturated) {
  if (!have("lame") || !have("sox")) GTEST_SKIP() << "lame or sox missing";
  peer_env env;
  const std::string wav = env.path("loud.wav"), mp3 = env.path("loud.mp3");
  ASSERT_EQ(run("sox -n -r 44100 -c 2 " + wav + " synth 2 square 440 vol 0.99"), 0);
  ASSERT_EQ(run("lame --quiet -t -b 192 " + wav + " " + mp3), 0);
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
  if (!have("lame") || !have("sox") || !have("ffprobe")) GTEST_SKIP() << "lame, sox or ffprobe missing";
  peer_env env;
  struct cbr {
    int rate;
    std::string opts;
    bool whole_frames;  // never padded: offsets are exact frame starts
  };
  const cbr files[] = {{48000, "-b 128", true}, {44100, "-b 128", false}, {22050, "-m m -b 32", false},
                       {16000, "-m m -b 32", true}};
  for (const cbr& c : files) {
    const std::string wav = env.path("i.wav"), mp3 = env.path("i.mp3"), csv = env.path("p.csv");
    ASSERT_EQ(run("sox -n -r " + std::to_string(c.rate) + " -c 2 " + wav + " synth 20 sine 440 vol -20dB"), 0);
    ASSERT_EQ(run("lame --quiet -t " + c.opts + " " + wav + " " + mp3), 0);
    ASSERT_EQ(run("ffprobe -v error -select_streams a -show_packets -show_entries packet=pts_time,pos "
                  "-of csv=p=0 " + mp3 + " > " + csv), 0);
    std::vector<std::pair<double, long>> packets;
    FILE* f = std::fopen(csv.c_str(), "r");
    ASSERT_NE(f, nullptr);
    double t;
    long pos;
    while (std::fscanf(f, "%lf,%ld", &t, &pos) == 2) packets.push_back({t, pos});
    std::fclose(f);
    ASSERT_GT(packets.size(), 10u);
    const auto data = read_file(mp3);
    MP3DecoderInfo* info = nullptr;
    ASSERT_EQ(MP3CreateDecoderInfo(&info), SSC_OK);
    const int head = int(std::min<size_t>(8192, data.size()));
    ASSERT_TRUE(info->Open(data.data(), head, uint32_t(data.size())));
    const MP3StreamInfo* s = info->GetInfo();
    const double frame_ms = (c.rate >= 32000 ? 1152.0 : 576.0) * 1000.0 / c.rate;
    const double probe_ms = packets.size() * frame_ms;
    EXPECT_NEAR(double(s->duration), probe_ms, frame_ms) << c.rate;
    EXPECT_EQ(s->firstFrame, packets[0].second * 8);
    for (size_t k = 0; k < packets.size(); k += packets.size() / 17 + 1) {
      const uint32_t ms = uint32_t(std::ceil(packets[k].first * 1000.0));
      const uint32_t off = info->TimeToOffset(ms);
      const size_t idx = size_t(ms / frame_ms);
      if (c.whole_frames && idx < packets.size()) {
        EXPECT_EQ(long(off), packets[idx].second) << c.rate << " at " << ms << " ms";
      } else {
        EXPECT_NEAR(double(off), double(packets[k].second), 2.0 * data.size() / packets.size())
            << c.rate << " at " << ms << " ms";
      }
    }
    info->Release();
  }
}

TEST(Mp3decPeer, XingDurationIsExact) {
  if (!have("lame") || !have("sox") || !have("ffprobe")) GTEST_SKIP() << "lame, sox or ffprobe missing";
  peer_env env;
  const std::string wav = env.path("v.wav"), mp3 = env.path("v.mp3"), csv = env.path("v.csv");
  ASSERT_EQ(run("sox -n -r 44100 -c 2 " + wav + " synth 10 sine 20-10000 vol -20dB"), 0);
  ASSERT_EQ(run("lame --quiet -V 2 " + wav + " " + mp3), 0);
  ASSERT_EQ(run("ffprobe -v error -select_streams a -count_packets -show_entries stream=nb_read_packets "
                "-of csv=p=0 " + mp3 + " > " + csv), 0);
  const auto text = read_file(csv);
  const long packets = std::atol(std::string(text.begin(), text.end()).c_str());
  ASSERT_GT(packets, 100);
  const auto data = read_file(mp3);
  MP3DecoderInfo* info = nullptr;
  ASSERT_EQ(MP3CreateDecoderInfo(&info), SSC_OK);
  ASSERT_TRUE(info->Open(data.data(), 8192, uint32_t(data.size())));
  const MP3StreamInfo* s = info->GetInfo();
  EXPECT_EQ(s->vbrHeader, 1u);
  EXPECT_EQ(s->vbr, 1u);
  EXPECT_EQ(s->seekable, 1u);
  // lame's Xing frame count covers the audio frames, which ffprobe counts too.
  EXPECT_NEAR(double(s->duration), std::floor(packets * 1152 * 1000.0 / 44100), 1.0);
  EXPECT_LE(info->PercentToOffset(100.0f), uint32_t(data.size()));
  uint32_t prev = 0;
  for (int p = 0; p <= 100; p += 5) {
    const uint32_t off = info->PercentToOffset(float(p));
    EXPECT_GE(off, prev);
    prev = off;
  }
  info->Release();
}

TEST(Mp3decPeer, DamagedAndCutStreams) {
  if (!have("lame") || !have("sox")) GTEST_SKIP() << "lame or sox missing";
  peer_env env;
  const std::string wav = env.path("d.wav"), mp3 = env.path("d.mp3");
  ASSERT_EQ(run("sox -n -r 44100 -c 1 " + wav + " synth 4 sine 300-3000 vol -10dB"), 0);
  ASSERT_EQ(run("lame --quiet -t -p -m m -b 64 " + wav + " " + mp3), 0);
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
  if (!have("mpg123")) GTEST_SKIP() << "mpg123 missing";
  const fs::path books = fs::path(KORVANE_SHARED_DIR) / "daisy202" / "books";
  if (!fs::exists(books)) GTEST_SKIP() << "no books";
  peer_env env;
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
