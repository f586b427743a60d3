// The handle functions: argument checks, configuration and parameters, the frame driver
// and its flush protocol, ancillary data in the stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "core_support.h"
#include "mp3enc/handle.h"
#include "mp3enc/mp3enc.h"

namespace {

struct Closer {
  void operator()(mp3enc_handle* h) const { mp3enc_close(h); }
};
using Handle = std::unique_ptr<mp3enc_handle, Closer>;

std::vector<int16_t> tone(size_t frames, int channels, int rate, double hz = 440.0) {
  std::vector<int16_t> pcm(frames * size_t(channels));
  for (size_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      pcm[i * size_t(channels) + size_t(c)] =
          int16_t(8000.0 * std::sin(2 * M_PI * hz * (c + 1) * double(i) / rate));
  return pcm;
}

struct EncodeRun {
  std::vector<uint8_t> stream;
  int zero_returns = 0;
  bool failed = false;
  bool overran = false;
};

// Feeds the input in blocks of the sizes chooser() gives, then flushes with zero-byte
// calls until one returns 0, then makes three more calls that must return 0 too.
template <class Chooser>
EncodeRun encode_all(mp3enc_handle* h, const uint8_t* pcm, size_t bytes, Chooser chooser, int32_t out_size = 8192) {
  EncodeRun r;
  std::vector<uint8_t> out(size_t(out_size) + 64, 0xA5);
  auto call = [&](const uint8_t* p, int32_t n, int32_t* used) {
    const int32_t got = mp3enc_encode(h, p, n, used, out.data(), out_size, nullptr, nullptr);
    for (size_t i = size_t(out_size); i < out.size(); ++i) r.overran |= out[i] != 0xA5;
    if (got < 0) r.failed = true;
    if (got > 0) r.stream.insert(r.stream.end(), out.begin(), out.begin() + got);
    return got;
  };
  size_t at = 0;
  while (at < bytes && !r.failed) {
    int32_t wanted = 0;
    mp3enc_get_input_size(h, &wanted);
    const int32_t n = int32_t(std::min<size_t>({size_t(chooser(wanted)), bytes - at}));
    int32_t used = -1;
    call(pcm + at, n, &used);
    at += size_t(used);
  }
  for (int guard = 0; guard < 10000 && !r.failed; ++guard) {
    int32_t used = -1;
    if (call(nullptr, 0, &used) == 0) break;
  }
  for (int i = 0; i < 3; ++i) {
    int32_t used = -1;
    r.zero_returns += call(pcm, 4, &used) == 0 && used == 0;
  }
  return r;
}

Handle open_plain(int rate, int channels, int bit_rate, int width = 0, int out_rate = 0) {
  Handle h(mp3enc_open(rate, channels, width));
  if (!h) return h;
  mp3enc_config cfg{uint32_t(out_rate ? out_rate : rate), 1, 2, uint32_t(bit_rate), 0};
  if (channels == 2 && bit_rate >= 64000) cfg.channel_mode = 2;
  if (!mp3enc_set_config(h.get(), &cfg)) h.reset();
  return h;
}

}  // namespace

TEST(Mp3encInterface, OpenChecksItsArguments) {
  struct Case {
    int rate, channels, width;
    bool ok;
  };
  const Case cases[] = {{44100, 1, 2, false}, {44000, 1, 0, false}, {22050, 3, 0, false},
                        {22050, 0, 0, false}, {22050, -1, 0, false}, {22050, 1, 0, true},
                        {22050, 2, 1, true},  {8000, 1, 0, true},    {11025, 2, 0, true}};
  for (const Case& c : cases) {
    Handle h(mp3enc_open(c.rate, c.channels, c.width));
    EXPECT_EQ(h != nullptr, c.ok) << c.rate << " " << c.channels << " " << c.width;
  }
  EXPECT_EQ(mp3enc_close(nullptr), 0);
  EXPECT_EQ(mp3enc_get_params(nullptr), nullptr);
  EXPECT_EQ(mp3enc_set_params(nullptr, nullptr), 0);
  EXPECT_EQ(mp3enc_set_config(nullptr, nullptr), 0);
  int32_t n = 0;
  EXPECT_EQ(mp3enc_get_input_size(nullptr, &n), 0);
  uint8_t out[8192];
  EXPECT_EQ(mp3enc_encode(nullptr, nullptr, 0, nullptr, out, 8192, nullptr, nullptr), -1);
}

TEST(Mp3encInterface, HandleWithoutItsObjectsFailsEveryCall) {
  Handle h(mp3enc_open(22050, 1, 0));
  ASSERT_TRUE(h);
  mp3enc_params p = *mp3enc_get_params(h.get());
  mp3enc_free_all(h->engine);
  h->engine = nullptr;
  mp3enc_config cfg{22050, 1, 2, 32000, 0};
  EXPECT_EQ(mp3enc_set_config(h.get(), &cfg), 0);
  EXPECT_EQ(mp3enc_set_params(h.get(), &p), 0);
  EXPECT_EQ(mp3enc_get_params(h.get()), nullptr);
  int32_t n = 0, used = 5;
  EXPECT_EQ(mp3enc_get_input_size(h.get(), &n), 0);
  uint8_t out[8192];
  EXPECT_EQ(mp3enc_encode(h.get(), out, 2, &used, out, 8192, nullptr, nullptr), -1);
  EXPECT_EQ(used, 0);
}

TEST(Mp3encInterface, FreshHandleReportsItsDefaults) {
  Handle h(mp3enc_open(22050, 1, 0));
  ASSERT_TRUE(h);
  const mp3enc_params* p = mp3enc_get_params(h.get());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->quality, 1);
  EXPECT_EQ(p->intensity, 1);
  EXPECT_EQ(p->mid_side, 1);
  EXPECT_EQ(p->stereo_prep, 1);
  EXPECT_FLOAT_EQ(p->bandwidth, 0.182f * 32000 + 1810);  // 7634 Hz
  EXPECT_EQ(p->delay, 1201);
  EXPECT_EQ(p->crc + p->padding + p->private_bit + p->copyright + p->original + p->length, 0);
  EXPECT_EQ(h->config.output_rate, 22050u);
  EXPECT_EQ(h->config.bit_rate, 32000u);
  int32_t n = 0;
  EXPECT_EQ(mp3enc_get_input_size(h.get(), &n), 1);
  EXPECT_EQ(n, 1152);
  EXPECT_STREQ(h->version, "1.4.2");
}

TEST(Mp3encInterface, RejectedConfigurationKeepsTheEncoderAndTheCallersWords) {
  Handle h(mp3enc_open(22050, 1, 0));
  ASSERT_TRUE(h);
  mp3enc_config app{22050, 1, 2, 32000, 0};
  ASSERT_EQ(mp3enc_set_config(h.get(), &app), 1);
  const mp3enc_engine* before = h->engine;
  const mp3enc_config bad[] = {
      {0, 0, 0, 0, 0},             // passes the checks, no encoder can be built from it
      {22050, 2, 2, 64000, 0},     // two coded channels from one
      {0, 0, 0, 0, 101},           // VBR quality out of range
      {22050, 1, 2, 400000, 0},    // no frame size for the bit rate
      {0, 0, 0, 0, 50},            // accepted, but ...
  };
  for (size_t i = 0; i + 1 < std::size(bad); ++i) {
    mp3enc_config c = bad[i];
    EXPECT_EQ(mp3enc_set_config(h.get(), &c), 0) << i;
    EXPECT_EQ(std::memcmp(&c, &bad[i], sizeof c), 0) << i;
    EXPECT_EQ(h->engine, before) << i;
    EXPECT_EQ(h->config.bit_rate, 32000u) << i;
  }
  // The handle still encodes after the refusals.
  const std::vector<int16_t> pcm = tone(22050, 1, 22050);
  const EncodeRun r = encode_all(h.get(), reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size() * 2,
                           [](int32_t w) { return w; });
  EXPECT_FALSE(r.failed);
  std::vector<walked_frame> frames;
  std::string why;
  EXPECT_TRUE(walk_frames(r.stream, &frames, &why)) << why;
  // A VBR configuration is written back with the values in force.
  mp3enc_config vbr = bad[4];
  ASSERT_EQ(mp3enc_set_config(h.get(), &vbr), 1);
  EXPECT_EQ(vbr.output_rate, 22050u);
  EXPECT_EQ(vbr.channel_mode, 1u);
  EXPECT_EQ(vbr.sbr_mode, 2u);
  EXPECT_EQ(vbr.vbr_quality, 50u);
}

TEST(Mp3encInterface, ParameterBlockChecks) {
  Handle h(mp3enc_open(22050, 1, 0));
  ASSERT_TRUE(h);
  const mp3enc_engine* before = h->engine;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* what;
    void (*change)(mp3enc_params&, float, float);
  };
  const Case refused[] = {
      {"bandwidth above half the rate", [](mp3enc_params& p, float, float) { p.bandwidth = 11026.0f; }},
      {"negative bandwidth", [](mp3enc_params& p, float, float) { p.bandwidth = -1.0f; }},
      {"NaN bandwidth", [](mp3enc_params& p, float n, float) { p.bandwidth = n; }},
      {"infinite bandwidth", [](mp3enc_params& p, float, float i) { p.bandwidth = i; }},
      {"padding policy 3", [](mp3enc_params& p, float, float) { p.padding = 3; }},
      {"quality 3", [](mp3enc_params& p, float, float) { p.quality = 3; }},
      {"quality -1", [](mp3enc_params& p, float, float) { p.quality = -1; }},
      // The filter stage of quality 2 would need some 360000 taps for every output sample
      // and push half as many samples of delay through them at the end: hours of work.
      {"quality 2 with a bandwidth of a few hertz", [](mp3enc_params& p, float, float) {
         p.quality = 2;
         p.bandwidth = 3.5f;
       }},
  };
  for (const Case& c : refused) {
    mp3enc_params p = *mp3enc_get_params(h.get());
    c.change(p, nan, inf);
    EXPECT_EQ(mp3enc_set_params(h.get(), &p), 0) << c.what;
    EXPECT_EQ(h->engine, before) << c.what;
  }
  mp3enc_params p = *mp3enc_get_params(h.get());
  p.bandwidth = 5000.0f;
  p.crc = 1;
  p.delay = 77;  // an output: initialisation overwrites it
  ASSERT_EQ(mp3enc_set_params(h.get(), &p), 1);
  EXPECT_FLOAT_EQ(mp3enc_get_params(h.get())->bandwidth, 5000.0f);
  EXPECT_EQ(mp3enc_get_params(h.get())->delay, 1201);
  EXPECT_EQ(mp3enc_get_params(h.get())->crc, 1);
  // The handle's own block may be handed back.
  EXPECT_EQ(mp3enc_set_params(h.get(), mp3enc_get_params(h.get())), 1);
  // A narrow band with the filter stage is still taken while its filter stays within bounds.
  p.quality = 2;
  p.bandwidth = 200.0f;
  EXPECT_EQ(mp3enc_set_params(h.get(), &p), 1);
}

TEST(Mp3encInterface, EncodeChecksItsArguments) {
  Handle h(mp3enc_open(22050, 2, 0));
  ASSERT_TRUE(h);
  std::vector<uint8_t> out(8192);
  const std::vector<int16_t> pcm = tone(600, 2, 22050);
  const uint8_t* in = reinterpret_cast<const uint8_t*>(pcm.data());
  int32_t used = 99;
  EXPECT_EQ(mp3enc_encode(h.get(), in, 6, &used, out.data(), 8192, nullptr, nullptr), -1);  // half a pair
  EXPECT_EQ(mp3enc_encode(h.get(), in, 8, &used, out.data(), 8192, nullptr, nullptr), 0);
  EXPECT_EQ(used, 8);
  EXPECT_EQ(mp3enc_encode(h.get(), in, 8, &used, out.data(), h->engine->info.min_output_bytes - 1, nullptr,
                          nullptr),
            -1);
  EXPECT_EQ(used, 0);
  EXPECT_EQ(mp3enc_encode(h.get(), in, 8, &used, nullptr, 8192, nullptr, nullptr), -1);
  EXPECT_EQ(mp3enc_encode(h.get(), in, -4, &used, out.data(), 8192, nullptr, nullptr), -1);
  EXPECT_EQ(mp3enc_encode(h.get(), nullptr, 8, &used, out.data(), 8192, nullptr, nullptr), -1);
  EXPECT_EQ(mp3enc_encode(h.get(), in, 8, nullptr, out.data(), 8192, nullptr, nullptr), 0);  // consumed may be null

  Handle m(mp3enc_open(22050, 1, 0));
  ASSERT_TRUE(m);
  EXPECT_EQ(mp3enc_encode(m.get(), in, 600, &used, out.data(), 8192, nullptr, nullptr), 0);
  EXPECT_EQ(used, 600);
  int32_t wanted = 0;
  mp3enc_get_input_size(m.get(), &wanted);
  EXPECT_EQ(wanted, 552);
  EXPECT_EQ(mp3enc_get_input_size(m.get(), nullptr), 0);
}

TEST(Mp3encDriver, FlushProtocolDeliversEveryFrameOnce) {
  std::mt19937 rng(14);
  struct Setup {
    int rate, channels, bit_rate, out_rate;
    bool sbr;
    uint32_t vbr = 0;
  };
  const Setup setups[] = {{22050, 1, 32000, 0, false}, {24000, 2, 64000, 0, false}, {11025, 2, 16000, 0, false},
                          {44100, 1, 32000, 22050, false}, {48000, 2, 48000, 0, true}, {44100, 2, 32000, 0, true},
                          {22050, 2, 0, 0, false, 60},  {32000, 1, 0, 0, false, 90}};
  std::vector<size_t> lengths = {0, 1, 575, 576, 577, 1151, 1152, 1153};
  for (int i = 0; i < 4; ++i) lengths.push_back(rng() % 20000);
  for (const Setup& s : setups) {
    for (size_t len : lengths) {
      SCOPED_TRACE(testing::Message() << s.rate << " Hz " << s.channels << " ch, " << len << " samples");
      Handle h;
      if (s.vbr) {
        h.reset(mp3enc_open(s.rate, s.channels, 0));
        mp3enc_config cfg{0, 0, 2, 0, s.vbr};
        ASSERT_TRUE(h && mp3enc_set_config(h.get(), &cfg));
      } else if (s.sbr) {
        h.reset(mp3enc_open(s.rate, s.channels, 0));
        mp3enc_config cfg{0, 0, 0, uint32_t(s.bit_rate), 0};
        ASSERT_TRUE(h && mp3enc_set_config(h.get(), &cfg));
        ASSERT_EQ(cfg.sbr_mode, 1u);
      } else {
        h = open_plain(s.rate, s.channels, s.bit_rate, 0, s.out_rate);
      }
      ASSERT_TRUE(h);
      const int core_rate = s.sbr ? s.rate / 2 : s.out_rate ? s.out_rate : s.rate;
      const size_t core_len = len * size_t(core_rate) / size_t(s.rate);
      // Odd lengths are silent: near-silent audio leaves frames queued in the writer at the
      // end, and they must still come out before the handle reports the end.
      std::vector<int16_t> pcm = tone(len, s.channels, s.rate);
      if (len % 2) std::fill(pcm.begin(), pcm.end(), int16_t(0));
      const int frame_bytes = 2 * s.channels;
      const EncodeRun r = encode_all(h.get(), reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size() * 2,
                               [&](int32_t wanted) {
                                 const int32_t n = int32_t(rng() % 3000) + 1;
                                 return std::max(frame_bytes, (std::min(n, wanted) / frame_bytes) * frame_bytes);
                               },
                               h->engine->info.min_output_bytes);
      ASSERT_FALSE(r.failed);
      EXPECT_FALSE(r.overran);
      EXPECT_EQ(r.zero_returns, 3);
      std::vector<walked_frame> frames;
      std::string why;
      ASSERT_TRUE(walk_frames(r.stream, &frames, &why)) << why;
      // Every frame the core made came out, and they cover the input and the delay.
      const mp3enc_core* core = h->engine->core;
      EXPECT_EQ(int(frames.size()), core->granule_counter / core->granules_per_frame);
      const size_t per_frame = 576 * size_t(core->granules_per_frame);
      EXPECT_GE(frames.size() * per_frame, core_len + 1201);
      EXPECT_LT(frames.size() * per_frame, core_len + 1201 + 576 * size_t(2 + core->cycle_granules));
      const decoded d = decode_ours(r.stream, false);
      EXPECT_EQ(d.failed_frames, 0);
      EXPECT_EQ(d.frames, int(frames.size()));
    }
  }
}

TEST(Mp3encInterface, InitialisationChoosesStagesDelayAndBandwidth) {
  // A 44100 Hz source coded at 22050 Hz passes the rate stage: its latency of 114 input
  // samples adds 57 to the delay and sizes the flush margin.
  Handle h = open_plain(44100, 1, 32000, 0, 22050);
  ASSERT_TRUE(h);
  EXPECT_TRUE(h->engine->stages[1].active);
  EXPECT_EQ(h->engine->margin_samples, 114);
  EXPECT_EQ(h->engine->margin_bytes, 228);
  EXPECT_EQ(mp3enc_get_params(h.get())->delay, 1258);
  EXPECT_FLOAT_EQ(mp3enc_get_params(h.get())->bandwidth, 7634.0f);
  int32_t n = 0;
  mp3enc_get_input_size(h.get(), &n);
  EXPECT_EQ(n, h->engine->stages[1].block.capacity * 2);

  // Opening at 44100 Hz chooses mp3PRO at 40000 bit/s: a first stage to the 22050 Hz core,
  // an SBR encoder, and its upper edge as the bandwidth in force.
  Handle sbr(mp3enc_open(44100, 1, 0));
  ASSERT_TRUE(sbr);
  EXPECT_EQ(sbr->config.sbr_mode, 1u);
  EXPECT_EQ(sbr->config.bit_rate, 40000u);
  EXPECT_TRUE(sbr->engine->stages[0].active);
  EXPECT_FALSE(sbr->engine->stages[1].active);
  ASSERT_NE(sbr->engine->sbr, nullptr);
  EXPECT_EQ(sbr->engine->core->cfg.rate, 22050);
  EXPECT_FLOAT_EQ(mp3enc_get_params(sbr.get())->bandwidth, sbrenc_stop_frequency(sbr->engine->sbr));
  EXPECT_GT(mp3enc_get_params(sbr.get())->delay, 2 * 1201);

  // Quality level 2 puts the filter stage in front of the core without a rate change.
  Handle q = open_plain(22050, 1, 32000);
  mp3enc_params p = *mp3enc_get_params(q.get());
  p.quality = 2;
  ASSERT_EQ(mp3enc_set_params(q.get(), &p), 1);
  EXPECT_TRUE(q->engine->stages[1].active);
}

TEST(Mp3encDriver, GaplessBlockIsWrittenOnceWithItsLength) {
  Handle h = open_plain(22050, 1, 32000);
  ASSERT_TRUE(h);
  mp3enc_get_params(h.get())->length = 1000;
  const std::vector<int16_t> pcm = tone(1000, 1, 22050);
  const EncodeRun r = encode_all(h.get(), reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size() * 2,
                           [](int32_t w) { return w; });
  ASSERT_FALSE(r.failed);
  EXPECT_EQ(mp3enc_get_params(h.get())->length, 0);
  const uint8_t want[7] = {0xB0, 0x04, 0xB1, 0x00, 0x00, 0x03, 0xE8};
  int found = 0;
  for (size_t i = 0; i + 8 <= r.stream.size(); ++i)
    if (std::memcmp(r.stream.data() + i, want, 7) == 0) ++found;
  EXPECT_EQ(found, 1);
  int unterminated = 0;  // a second block would carry the length 0xFFFFFFFF
  const uint8_t bad[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  for (size_t i = 0; i + 8 <= r.stream.size(); ++i)
    if (r.stream[i] == 0xB0 && std::memcmp(r.stream.data() + i + 3, bad, 4) == 0) ++unterminated;
  EXPECT_EQ(unterminated, 0);
}

TEST(Mp3encDriver, DecoderTrimsToTheGaplessLength) {
  Handle h = open_plain(22050, 1, 32000);
  ASSERT_TRUE(h);
  mp3enc_params p = *mp3enc_get_params(h.get());
  p.length = 5000;
  ASSERT_EQ(mp3enc_set_params(h.get(), &p), 1);
  const std::vector<int16_t> pcm = tone(5000, 1, 22050);
  const EncodeRun r = encode_all(h.get(), reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size() * 2,
                                 [](int32_t w) { return w; });
  ASSERT_FALSE(r.failed);
  const decoded d = decode_ours(r.stream, true);
  ASSERT_EQ(d.samples.size(), 5000u);
  // The delay the block names lines the output up with the input.
  std::vector<float> in(pcm.begin(), pcm.end());
  EXPECT_EQ(best_lag(in, d.samples, 1, 50), 0);
}

TEST(Mp3encDriver, DownMixIsTheSameForBothSampleWidths) {
  const int rate = 22050;
  const std::vector<int16_t> pcm = tone(5000, 2, rate);
  std::vector<float> pcmf(pcm.begin(), pcm.end());
  Handle a = open_plain(rate, 2, 32000, 0), b = open_plain(rate, 2, 32000, 1);
  ASSERT_TRUE(a && b);
  ASSERT_EQ(a->engine->downmix, 1);
  const EncodeRun ra = encode_all(a.get(), reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size() * 2,
                            [](int32_t w) { return w; });
  const EncodeRun rb = encode_all(b.get(), reinterpret_cast<const uint8_t*>(pcmf.data()), pcmf.size() * 4,
                            [](int32_t w) { return w; });
  ASSERT_FALSE(ra.failed || rb.failed);
  EXPECT_EQ(ra.stream, rb.stream);
  // And the level is the mean of the two channels, not their sum.
  const decoded d = decode_ours(ra.stream, false);
  float peak = 0;
  for (float v : d.samples) peak = std::max(peak, std::fabs(v));
  EXPECT_LT(peak, 12000.0f);
  EXPECT_GT(peak, 4000.0f);
}

TEST(Mp3encDriver, FloatInputThatIsNotFiniteIsSilence) {
  Handle h = open_plain(16000, 1, 24000, 1);
  ASSERT_TRUE(h);
  std::vector<float> pcm(8000);
  for (size_t i = 0; i < pcm.size(); ++i)
    pcm[i] = i % 3 == 0 ? std::numeric_limits<float>::quiet_NaN()
                        : i % 3 == 1 ? std::numeric_limits<float>::infinity() : -1e30f;
  const EncodeRun r = encode_all(h.get(), reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size() * 4,
                           [](int32_t w) { return w; });
  ASSERT_FALSE(r.failed);
  std::vector<walked_frame> frames;
  std::string why;
  EXPECT_TRUE(walk_frames(r.stream, &frames, &why)) << why;
}

TEST(Mp3encDriver, UserAncillaryBytesTravelInTheFrames) {
  Handle h = open_plain(22050, 1, 32000);
  ASSERT_TRUE(h);
  const uint8_t text[] = {'t', 'a', 'l', 'k', 'i', 'n', 'g', ' ', 'b', 'o', 'o', 'k'};
  int32_t left = int32_t(sizeof text);
  const std::vector<int16_t> pcm = tone(22050, 1, 22050);
  std::vector<uint8_t> out(8192), stream;
  size_t at = 0;
  while (at < pcm.size() * 2) {
    int32_t used = 0;
    const int32_t n = int32_t(std::min<size_t>(1152, pcm.size() * 2 - at));
    const int32_t got = mp3enc_encode(h.get(), reinterpret_cast<const uint8_t*>(pcm.data()) + at, n, &used,
                                      out.data(), 8192, text + (sizeof text - size_t(left)), &left);
    ASSERT_GE(got, 0);
    stream.insert(stream.end(), out.begin(), out.begin() + got);
    at += size_t(used);
  }
  for (int32_t got; (got = mp3enc_encode(h.get(), nullptr, 0, nullptr, out.data(), 8192, nullptr, nullptr)) > 0;)
    stream.insert(stream.end(), out.begin(), out.begin() + got);
  EXPECT_EQ(left, 0);
  std::vector<uint8_t> block = {uint8_t(0xA0 | sizeof text)};
  block.insert(block.end(), text, text + sizeof text);
  EXPECT_NE(std::search(stream.begin(), stream.end(), block.begin(), block.end()), stream.end());
}
