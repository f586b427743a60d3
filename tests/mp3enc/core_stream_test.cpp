// Whole streams from the core: frames that walk cleanly and decode, the delay, the gapless
// block, the length, the CRC, and hostile input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core_support.h"
#include "mp3enc/mp3enc.h"
#include "mp3enc/quant.h"

namespace {

std::vector<float> test_signal(int rate, int channels, double seconds, unsigned seed = 1) {
  std::mt19937 rng(seed);
  std::normal_distribution<float> noise(0.0f, 600.0f);
  const size_t n = size_t(rate * seconds);
  std::vector<float> v;
  v.reserve(n * channels);
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / rate;
    // A gliding tone with noise and a burst every 0.3 s, loud enough to need the reservoir.
    const float tone = float(9000 * std::sin(2 * M_PI * (300 + 900 * t) * t));
    const float burst = (i % size_t(rate * 0.3)) < size_t(rate * 0.02) ? noise(rng) * 12 : 0.0f;
    const float l = tone + noise(rng) + burst;
    v.push_back(l);
    if (channels == 2) v.push_back(0.6f * l + float(4000 * std::sin(2 * M_PI * 1700 * t)));
  }
  return v;
}

struct case_row {
  int rate, bit_rate, channels;
  bool joint;
};

// Every rate, low, middle and high bit rates, mono, joint and plain stereo.
std::vector<case_row> rows() {
  return {{8000, 8000, 1, true},      {8000, 24000, 2, true},    {8000, 64000, 2, false},
          {11025, 16000, 1, true},    {11025, 48000, 2, true},   {12000, 32000, 1, true},
          {12000, 64000, 2, false},   {16000, 24000, 1, true},   {16000, 96000, 2, true},
          {22050, 32000, 1, true},    {22050, 64000, 2, true},   {22050, 160000, 2, false},
          {24000, 40000, 1, true},    {24000, 128000, 2, true},  {32000, 32000, 1, true},
          {32000, 96000, 2, true},    {32000, 320000, 2, false}, {44100, 64000, 1, true},
          {44100, 128000, 2, true},   {44100, 96000, 2, true},   {44100, 320000, 2, false},
          {48000, 48000, 1, true},    {48000, 192000, 2, true},  {48000, 160000, 2, true}};
}

TEST(CoreStream, EveryRateAndModeGivesSoundFramesThatDecode) {
  int k = 0;
  for (const case_row& r : rows()) {
    core_options o;
    o.rate = r.rate;
    o.bit_rate = r.bit_rate;
    o.channels = r.channels;
    o.joint = r.joint;
    o.effort = k % 3;
    o.crc = (k / 3) % 2 == 0;
    ++k;
    const auto pcm = test_signal(r.rate, r.channels, 0.7, unsigned(k));
    int delay = 0;
    const auto s = core_encode(pcm, o, &delay);
    std::vector<walked_frame> frames;
    std::string why;
    ASSERT_TRUE(walk_frames(s, &frames, &why)) << r.rate << "/" << r.bit_rate << "/" << r.channels << ": " << why;
    const decoded d = decode_ours(s, false);
    EXPECT_EQ(d.failed_frames, 0) << r.rate << "/" << r.bit_rate;
    EXPECT_EQ(d.frames, int(frames.size()));
    const int lag = best_lag(pcm, d.samples, r.channels, 2000);
    // The core alone delays by 1201 samples; quality 2 adds its band-limiting filter's.
    if (o.effort < 2) {
      EXPECT_EQ(delay, 1201);
    }
    EXPECT_EQ(lag, delay) << r.rate << "/" << r.bit_rate << "/" << r.channels;
    EXPECT_GT(snr_db(pcm, d.samples, r.channels, delay), r.bit_rate / r.channels >= 32000 ? 8.0 : 3.0)
        << r.rate << "/" << r.bit_rate << "/" << r.channels;
  }
}

// Loud stereo noise at high rates needs every bit a granule may have: the channels' shares
// must add up to the granule's budget, or a third of the stream goes out as fill.
TEST(CoreStream, StereoNoiseSpendsItsBits) {
  const struct {
    int rate, bit_rate;
    double snr;  // what spent bits give (with a third of them unspent: 6.1 and 5.2 dB)
  } rows[] = {{32000, 192000, 11.5}, {48000, 320000, 7.0}};
  for (const auto& r : rows) {
    std::mt19937 rng(4);
    std::normal_distribution<float> n(0.0f, 6000.0f);
    std::vector<float> pcm(size_t(2 * r.rate));
    for (float& v : pcm) v = n(rng);
    core_options o;
    o.rate = r.rate;
    o.bit_rate = r.bit_rate;
    o.channels = 2;
    int delay = 0;
    const decoded d = decode_ours(core_encode(pcm, o, &delay), false);
    const double snr = snr_db(pcm, d.samples, 2, delay);
    std::printf("stereo noise %d Hz %d bit/s: SNR %.2f dB\n", r.rate, r.bit_rate, snr);
    EXPECT_GT(snr, r.snr) << r.rate << " " << r.bit_rate;
  }
}

TEST(CoreStream, PaddingFollowsTheRate) {
  core_options o;  // 44100 Hz, 64000 bit/s: 208.98 bytes a frame
  const auto s = core_encode(test_signal(44100, 1, 2.0), o);
  std::vector<walked_frame> frames;
  std::string why;
  ASSERT_TRUE(walk_frames(s, &frames, &why)) << why;
  long long bytes = 0;
  for (const walked_frame& f : frames) bytes += f.bytes;
  // The stream's rate stays within one byte of the nominal one: the first frame is padded and
  // about one in 48 is not.
  EXPECT_NEAR(double(bytes), double(frames.size()) * 1152 / 8 * 64000 / 44100, 1.0);
  EXPECT_EQ(frames[0].padding, 1);
  int unpadded = 0;
  for (const walked_frame& f : frames) unpadded += f.padding == 0;
  EXPECT_NEAR(double(unpadded), frames.size() / 49.0, 1.0);
  // At 22050 Hz and 32000 bit/s (104.49 bytes a frame) frames alternate 104 and 105 bytes.
  core_options low;
  low.rate = 22050;
  low.bit_rate = 32000;
  const auto t = core_encode(test_signal(22050, 1, 1.0), low);
  std::vector<walked_frame> f22;
  ASSERT_TRUE(walk_frames(t, &f22, &why)) << why;
  for (size_t i = 0; i < f22.size(); ++i) EXPECT_EQ(f22[i].bytes, i % 2 ? 105 : 104) << i;
}

// Header, CRC and side information of the frame at p.
int head_bytes(const uint8_t* p) {
  return 4 + (p[1] & 1 ? 0 : 2) + ((p[1] >> 3 & 3) == 3 ? ((p[3] >> 6) == 3 ? 17 : 32) : ((p[3] >> 6) == 3 ? 9 : 17));
}

// Frame n's main data ends where frame n + 1's begins.
std::vector<uint8_t> first_frame_tail(const std::vector<uint8_t>& s, const std::vector<walked_frame>& f, int n) {
  std::vector<uint8_t> main;
  const int side0 = head_bytes(s.data());
  for (size_t k = 0; k < 2 && k < f.size(); ++k)
    main.insert(main.end(), s.begin() + long(f[k].offset) + side0, s.begin() + long(f[k].offset) + f[k].bytes);
  const int end = f[0].bytes - side0 - f[1].main_data_begin;
  return std::vector<uint8_t>(main.begin() + (end - n), main.begin() + end);
}

uint8_t crc8_bitwise(const uint8_t* b, int n) {
  uint8_t reg = 0xFF;
  for (int i = 0; i < n; ++i)
    for (int k = 7; k >= 0; --k) {
      const bool bit = (b[i] >> k) & 1;
      const bool fb = ((reg & 0x80) != 0) != bit;
      reg = uint8_t(reg << 1);
      if (fb) reg ^= 0x45;
    }
  return reg;
}

TEST(CoreStream, GaplessBlockEndsTheFirstFramesMainData) {
  const int rates[9][2] = {{8000, 16000},  {11025, 24000}, {12000, 24000}, {16000, 32000}, {22050, 32000},
                           {24000, 40000}, {32000, 48000}, {44100, 64000}, {48000, 64000}};
  for (const auto& [rate, bit_rate] : rates) {
    core_options o;
    o.rate = rate;
    o.bit_rate = bit_rate;
    o.gapless_length = 123456;
    const auto s = core_encode(test_signal(rate, 1, 0.5), o);
    std::vector<walked_frame> f;
    std::string why;
    ASSERT_TRUE(walk_frames(s, &f, &why)) << why;
    const auto b = first_frame_tail(s, f, 8);
    EXPECT_EQ(b[0], 0xB0);
    EXPECT_EQ((b[1] << 8) | b[2], 1201);
    EXPECT_EQ((uint32_t(b[3]) << 24) | (uint32_t(b[4]) << 16) | (uint32_t(b[5]) << 8) | b[6], 123456u);
    EXPECT_EQ(b[7], crc8_bitwise(b.data(), 7));
  }
}

TEST(CoreStream, NoEndOfAudioIsLost) {
  std::mt19937 rng(9);
  // (input rate, coded rate): the rate stage holds back audio of its own, which the flush
  // must push out too (3371 and 3424 samples leave it a last block that only the margin pushes)
  const int roads[4][2] = {{8000, 8000}, {22050, 22050}, {44100, 44100}, {44100, 22050}};
  for (const auto& [input_rate, rate] : roads) {
    for (int len : {0, 1, 575, 576, 577, 1151, 1152, 1153, 3371, 3424, 3000 + int(rng() % 5000)}) {
      core_options o;
      o.input_rate = input_rate;
      o.rate = rate;
      o.bit_rate = rate == 8000 ? 16000 : 64000;
      std::vector<float> pcm(size_t(len), 5000.0f);
      int delay = 0;
      const auto s = core_encode(pcm, o, &delay);
      const decoded d = decode_ours(s, false);
      EXPECT_EQ(d.failed_frames, 0);
      const size_t out_len = size_t(len) * size_t(rate) / size_t(input_rate);
      ASSERT_GE(d.samples.size(), size_t(delay) + out_len) << input_rate << " " << rate << " " << len;
      // the last 64 samples of a long run carry its level, not the silence after it
      if (out_len > 576) {
        double sum = 0;
        for (size_t i = size_t(delay) + out_len - 64; i < size_t(delay) + out_len; ++i) sum += d.samples[i];
        EXPECT_NEAR(sum / 64, 5000.0, 500.0) << input_rate << " " << rate << " " << len;
      }
    }
  }
}

TEST(CoreStream, CrcCoversTheSideInformation) {
  core_options o;
  o.crc = true;
  auto s = core_encode(test_signal(44100, 1, 0.5), o);
  std::vector<walked_frame> f;
  std::string why;
  ASSERT_TRUE(walk_frames(s, &f, &why)) << why;
  EXPECT_EQ(decode_ours(s, false).failed_frames, 0);
  s[f[5].offset + 7] ^= 0x10;  // inside the side information of frame 5
  EXPECT_GE(decode_ours(s, false).failed_frames, 1);
}

TEST(CoreStream, HostileInputNeverBreaksAFrame) {
  const int rate = 22050;
  std::vector<std::pair<const char*, std::vector<float>>> inputs;
  std::vector<float> square(rate), dc(rate, 32767.0f), clicks(rate, 0.0f), silence(rate, 0.0f), bad(rate);
  for (int i = 0; i < rate; ++i) square[size_t(i)] = (i / 11) % 2 ? 32767.0f : -32768.0f;
  for (int i = 0; i < rate; i += 1500) clicks[size_t(i)] = 32767.0f;
  for (int i = 0; i < rate; ++i) bad[size_t(i)] = i % 3 == 0 ? NAN : i % 3 == 1 ? INFINITY : -1e38f;
  inputs = {{"square", square}, {"dc", dc}, {"clicks", clicks}, {"silence", silence}, {"nan", bad}};
  for (auto& [name, pcm] : inputs)
    for (int channels : {1, 2}) {
      std::vector<float> in;
      for (float v : pcm)
        for (int c = 0; c < channels; ++c) in.push_back(c ? -v : v);
      for (int bit_rate : {8000, 32000, 160000}) {
        core_options o;
        o.rate = rate;
        o.channels = channels;
        o.bit_rate = std::max(bit_rate, 8000 * channels);
        o.crc = true;
        const auto s = core_encode(in, o);
        std::vector<walked_frame> f;
        std::string why;
        EXPECT_TRUE(walk_frames(s, &f, &why)) << name << " " << channels << " " << bit_rate << ": " << why;
        EXPECT_EQ(decode_ours(s, false).failed_frames, 0) << name;
      }
    }
}

TEST(CoreStream, GainStopsAtItsFieldWhenNothingFits) {
  // A full-scale spectrum against a budget of almost nothing: the gain climbs to its ceiling,
  // the spectrum is given up, and the loop ends.
  mp3enc_quant* q = nullptr;
  ASSERT_EQ(mp3enc_quant_create(&q), 0);
  mp3enc_quant_setup setup{1, 0, 100, 40, 20, 0.0f, 0, 5760.0f, 0, 32000, 0, 1};
  mp3enc_quant_init(q, &setup);
  mp3enc_quant_add_bits(q, 40);
  mp3enc_granule_analysis* ga = nullptr;
  ASSERT_EQ(mp3enc_granule_analysis_create(&ga), 0);
  mp3enc_channel_analysis& ch = ga->ch[0];
  const int32_t bounds[23] = {0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 52, 62, 74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576};
  ch.band_count = ch.active_bands = 22;
  ch.windows = 1;
  std::copy(bounds, bounds + 23, ch.bounds);
  for (int i = 0; i < 576; ++i) ch.spectrum[i] = i % 2 ? 3e7f : -3e7f;
  for (int b = 0; b < 22; ++b) {
    ch.energy[b] = 9e14f * (bounds[b + 1] - bounds[b]);
    ch.thr[b] = 1.0f;
  }
  mp3enc_granule* g = nullptr;
  ASSERT_EQ(mp3enc_granule_create(&g), 0);
  mp3enc_quant_granule(q, ga, g, 0, nullptr, nullptr);
  EXPECT_LE(g->global_gain[0], 105);
  EXPECT_GE(g->global_gain[0], -150);
  EXPECT_LT(g->part2_3_length[0], 4096);
  for (int i = 0; i < 576; ++i) ASSERT_LE(std::abs(g->quantized[0][i]), 8191);
  mp3enc_granule_free(g);
  mp3enc_granule_analysis_free(ga);
  mp3enc_quant_free(q);
}

}  // namespace

namespace {

// The payloads of the user blocks that end each frame's main data, in stream order (payloads
// of printable characters: the first run of blocks that ends the main data exactly, in the
// last frame before its zero-filled room).
std::string user_blocks(const std::vector<uint8_t>& s) {
  std::vector<walked_frame> f;
  std::string why;
  if (!walk_frames(s, &f, &why)) return "walk: " + why;
  std::vector<uint8_t> main;
  std::vector<long> body;
  for (const walked_frame& w : f) {
    body.push_back(long(main.size()));
    const auto frame = s.begin() + long(w.offset);
    main.insert(main.end(), frame + head_bytes(&s[w.offset]), frame + w.bytes);
  }
  std::string out;
  for (size_t k = 0; k < f.size(); ++k) {
    long end = k + 1 < f.size() ? body[k + 1] - f[k + 1].main_data_begin : long(main.size());
    if (k + 1 == f.size())
      while (end > 0 && main[size_t(end) - 1] == 0) --end;  // the last frame's unused room
    for (long at = body[k] - f[k].main_data_begin; at < end; ++at) {
      std::string got;
      long p = at;
      while (p < end && main[size_t(p)] > 0xA0 && main[size_t(p)] <= 0xAF) {
        const bool two = main[size_t(p)] == 0xAF;
        const long n = two ? (p + 1 < end ? main[size_t(p) + 1] + 15 : 0) : main[size_t(p)] & 15;
        p += two ? 2 : 1;
        if (p + n > end) break;
        bool printable = true;
        for (long i = p; i < p + n; ++i) printable = printable && main[size_t(i)] >= 0x20 && main[size_t(i)] < 0x7F;
        if (!printable) break;
        got.append(main.begin() + p, main.begin() + p + n);
        p += n;
      }
      if (p == end && !got.empty()) {
        out += got;
        break;
      }
    }
  }
  return out;
}

// User bytes offered with the samples, or only with the zero-byte calls of the end, where one
// call codes several granules: every byte reaches the decoder once, in order.
TEST(CoreStream, UserAncillaryBytesReachTheStreamOnceInOrder) {
  struct row {
    int input_rate, rate, bit_rate;
    bool at_end;
    int bytes;
  } rows[] = {{22050, 22050, 32000, false, 7},
              {22050, 22050, 32000, true, 300},
              {44100, 22050, 32000, true, 450},
              {44100, 44100, 64000, false, 2000},
              {44100, 44100, 64000, true, 450}};
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.input_rate << " -> " << r.rate
                                    << (r.at_end ? " at the end " : " with the samples ") << r.bytes);
    mp3enc_handle* h = mp3enc_open(r.input_rate, 1, 0);
    ASSERT_TRUE(h);
    mp3enc_config cfg{uint32_t(r.rate), 1, 2, uint32_t(r.bit_rate), 0};
    ASSERT_TRUE(mp3enc_set_config(h, &cfg));
    std::vector<int16_t> pcm(size_t(r.input_rate));
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = int16_t(3000 * std::sin(0.05 * double(i)));
    std::string text;
    for (int i = 0; int(text.size()) < r.bytes; ++i) text += "page " + std::to_string(i) + ",";
    text.resize(size_t(r.bytes));
    int32_t pending = int32_t(text.size());
    const uint8_t* anc = reinterpret_cast<const uint8_t*>(text.data());
    std::vector<uint8_t> s, buf(8192);
    size_t pos = 0;
    const uint8_t* in = reinterpret_cast<const uint8_t*>(pcm.data());
    auto call = [&](const uint8_t* p, int32_t n, int32_t* consumed, bool offer) {
      // the caller's side of the protocol: what was taken is not offered again
      const uint8_t* next = anc + (int32_t(text.size()) - pending);
      return mp3enc_encode(h, p, n, consumed, buf.data(), int32_t(buf.size()), offer ? next : nullptr,
                           offer ? &pending : nullptr);
    };
    while (pos < pcm.size() * 2) {
      int32_t want = 0, consumed = 0;
      mp3enc_get_input_size(h, &want);
      const int32_t r2 = call(in + pos, std::min<int32_t>(want, int32_t(pcm.size() * 2 - pos)), &consumed, !r.at_end);
      ASSERT_GE(r2, 0);
      s.insert(s.end(), buf.begin(), buf.begin() + r2);
      pos += size_t(consumed);
    }
    for (int32_t consumed = 0, r2; (r2 = call(nullptr, 0, &consumed, r.at_end)) > 0;)
      s.insert(s.end(), buf.begin(), buf.begin() + r2);
    mp3enc_close(h);
    // what the last granules had no room for stays with the caller
    ASSERT_LT(pending, int32_t(text.size()));

    EXPECT_EQ(user_blocks(s), text.substr(0, text.size() - size_t(pending)));
  }
}

}  // namespace
