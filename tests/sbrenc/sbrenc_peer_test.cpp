#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "mp3enc/mp3enc.h"

namespace {

std::vector<uint8_t> encode(int rate, int channels, uint32_t mode, uint32_t bit_rate, int signal) {
  mp3enc_handle* h = mp3enc_open(rate, channels, 0);
  EXPECT_NE(h, nullptr);
  if (!h) return {};
  mp3enc_config c;
  c.output_rate = static_cast<uint32_t>(rate);
  c.channel_mode = mode;
  c.sbr_mode = 1;
  c.bit_rate = bit_rate;
  EXPECT_NE(mp3enc_set_config(h, &c), 0);
  EXPECT_EQ(c.sbr_mode, 1u);
  std::mt19937 rng(static_cast<unsigned>(signal));
  std::normal_distribution<float> g(0.0f, 1.0f);
  const long total = rate * 4L;
  std::vector<int16_t> pcm(static_cast<size_t>(total * channels));
  for (long n = 0; n < total; ++n)
    for (int k = 0; k < channels; ++k) {
      double v;
      switch (signal) {
        case 0:  // tones, one of them above the crossover
          v = 6000 * std::sin(2 * M_PI * 440 * n / rate) + 2000 * std::sin(2 * M_PI * 9000.0 * n / rate + k);
          break;
        case 1:
          v = 3000 * g(rng);
          break;
        case 2:  // clicks in silence
          v = (n % 7001 < 30 ? 16000 * g(rng) : 30 * g(rng));
          break;
        default: {  // syllable-rate envelope over a voiced buzz and noise
          const double e = 0.5 + 0.5 * std::sin(2 * M_PI * 3 * n / rate);
          v = e * (5000 * std::sin(2 * M_PI * 180 * n / rate) + 1500 * g(rng)) * (k ? 0.5 : 1.0);
        }
      }
      pcm[static_cast<size_t>(n * channels + k)] = static_cast<int16_t>(std::max(-32768.0, std::min(32767.0, v)));
    }
  std::vector<uint8_t> out(1 << 16), stream;
  const auto* p = reinterpret_cast<const uint8_t*>(pcm.data());
  const long bytes = static_cast<long>(pcm.size() * 2);
  long pos = 0;
  for (;;) {
    int32_t want = 0, used = 0;
    mp3enc_get_input_size(h, &want);
    const int32_t n = static_cast<int32_t>(std::min<long>(want, bytes - pos));
    const int32_t r = mp3enc_encode(h, p + pos, n, &used, out.data(), static_cast<int32_t>(out.size()), nullptr, nullptr);
    EXPECT_GE(r, 0);
    if (r < 0) break;
    stream.insert(stream.end(), out.begin(), out.begin() + r);
    pos += used;
    if (n == 0 && r == 0) break;
  }
  mp3enc_close(h);
  return stream;
}

// Counts the frames whose main data ends with an SBR ancillary block (tag 12 to 15 and a
// length that reaches exactly to the next frame's main data).
int frames_with_sbr_block(const std::vector<uint8_t>& d, int* frames) {
  static const int br1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
  static const int br2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
  static const int rates[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
  std::vector<uint8_t> stream;
  std::vector<long> starts;
  size_t pos = 0;
  while (pos + 4 <= d.size() && d[pos] == 0xFF && (d[pos + 1] & 0xE0) == 0xE0) {
    const int ver = (d[pos + 1] >> 3) & 3, prot = d[pos + 1] & 1;
    const int bri = d[pos + 2] >> 4, sri = (d[pos + 2] >> 2) & 3, pad = (d[pos + 2] >> 1) & 1;
    const int nch = (d[pos + 3] >> 6) == 3 ? 1 : 2;
    const int rate = rates[ver][sri];
    const size_t size = ver == 3 ? 144000 * br1[bri] / rate + pad : 72000 * br2[bri] / rate + pad;
    const size_t side = ver == 3 ? (nch == 1 ? 17 : 32) : (nch == 1 ? 9 : 17);
    const size_t hdr = 4 + (prot ? 0 : 2);
    const int mdb = ver == 3 ? (d[pos + hdr] << 1 | d[pos + hdr + 1] >> 7) : d[pos + hdr];
    starts.push_back(static_cast<long>(stream.size()) - mdb);
    stream.insert(stream.end(), d.begin() + static_cast<long>(pos + hdr + side),
                  d.begin() + static_cast<long>(std::min(pos + size, d.size())));
    pos += size;
  }
  *frames = static_cast<int>(starts.size());
  int found = 0;
  for (size_t i = 0; i + 1 < starts.size(); ++i) {
    const long s = starts[i], e = starts[i + 1];
    for (long o = e - 2; o >= s && o >= 0; --o) {
      const int tag = stream[o] >> 4, len = ((stream[o] & 15) << 4) | (stream[o + 1] >> 4);
      if (tag >= 12 && len > 0 && len != 255 && o + 2 + len == e) {
        ++found;
        break;
      }
    }
  }
  return found;
}

std::string run(const std::string& cmd, int* status) {
  std::string out;
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) {
    *status = -1;
    return out;
  }
  char buf[512];
  while (fgets(buf, sizeof buf, p)) out += buf;
  *status = pclose(p);
  return out;
}

TEST(SbrencPeer, OutsideDecodersAcceptMp3ProStreams) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1 && command -v mpg123 >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "ffmpeg or mpg123 missing";
  struct stream_case {
    int rate, channels;
    uint32_t mode, bit_rate;
  };
  const stream_case cases[] = {{44100, 1, 1, 48000}, {44100, 1, 1, 32000}, {32000, 1, 1, 40000},
                               {44100, 2, 2, 64000}, {48000, 2, 2, 96000}, {44100, 2, 3, 48000}};
  char dir[] = "/tmp/sbrenc_peer_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/t.mp3";
  for (const auto& c : cases)
    for (int signal = 0; signal < 4; ++signal) {
      SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " ch, mode " << c.mode << ", "
                                      << c.bit_rate << " bit/s, signal " << signal);
      const std::vector<uint8_t> s = encode(c.rate, c.channels, c.mode, c.bit_rate, signal);
      ASSERT_FALSE(s.empty());
      int frames = 0;
      const int with_sbr = frames_with_sbr_block(s, &frames);
      EXPECT_GT(frames, 100);
      // Every frame carries its block, also the silent ones that end the stream; only the last
      // frame's end, and with it its block, is not known.
      EXPECT_EQ(with_sbr, frames - 1);
      FILE* f = std::fopen(path.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fwrite(s.data(), 1, s.size(), f);
      std::fclose(f);
      int st = 0;
      std::string out = run("ffmpeg -v error -err_detect crccheck+bitstream+buffer+explode -xerror -i " + path +
                                " -f null -",
                            &st);
      EXPECT_EQ(st, 0) << out;
      EXPECT_EQ(out, "");
      out = run("mpg123 -q -t " + path, &st);
      EXPECT_EQ(st, 0) << out;
      EXPECT_EQ(out, "");
    }
  std::remove(path.c_str());
  rmdir(dir);
}

}  // namespace
