// The SBR decoder behind the core's mp3PRO interface: creation, frames without SBR data.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "mp3dec/sbr/sbr_decoder.h"

namespace {

struct create_case {
  const char* what;
  int rate, length, mode, history;
  bool made;
};

TEST(SbrDecoder, CreationByRateLengthModeAndHistory) {
  const create_case cases[] = {
      {"16000 Hz", 16000, 576, 2, 40, true},   {"22050 Hz", 22050, 576, 2, 40, true},
      {"24000 Hz", 24000, 576, 2, 40, true},   {"below 16000 Hz", 15999, 576, 2, 40, false},
      {"above 24000 Hz", 24001, 576, 2, 40, false}, {"32000 Hz", 32000, 576, 2, 40, false},
      {"1152-sample frames", 22050, 1152, 2, 40, false}, {"mode 1", 22050, 576, 1, 40, false},
      {"history depth 3", 22050, 576, 2, 60, false},
  };
  for (const create_case& c : cases) {
    SbrDecoderConfig config;
    sbrdec_default_config(&config, c.mode);
    config.history = c.history;
    SbrDecoder* d = sbrdec_create(c.rate, c.length, &config);
    EXPECT_EQ(d != nullptr, c.made) << c.what;
    if (d) {
      EXPECT_EQ(sbrdec_get_rate_factor(d), 2.0f) << c.what;
      EXPECT_EQ(sbrdec_get_output_channels(d, 1), 1) << c.what;
      EXPECT_EQ(sbrdec_get_output_channels(d, 2), 2) << c.what;
    }
    sbrdec_destroy(d);
  }
  sbrdec_destroy(nullptr);
  sbrdec_reset(nullptr);
}

struct sbr_fixture {
  SbrDecoder* d = nullptr;
  SbrPayload none{};
  sbr_fixture() {
    SbrDecoderConfig config;
    sbrdec_default_config(&config, 2);
    d = sbrdec_create(22050, 576, &config);
  }
  ~sbr_fixture() { sbrdec_destroy(d); }
};

// The analysis and synthesis banks (578 samples) and the grid's lead of 6 slots (384).
constexpr int decoder_delay = 578 + 384;

TEST(SbrDecoder, FramesWithoutSbrDataAreTheCoreAtTwiceItsRate) {
  sbr_fixture f;
  ASSERT_NE(f.d, nullptr);
  // Two channels at different frequencies; each comes out on its own side.
  const double freq[2] = {0.05, 0.3};  // cycles per core sample
  std::vector<float> out[2];
  for (int frame = 0; frame < 12; ++frame) {
    std::vector<float> buf(2 * 1152, 0.0f);
    for (int i = 0; i < 576; ++i)
      for (int c = 0; c < 2; ++c) buf[size_t(2 * i + c)] = float(8000.0 * std::sin(2.0 * M_PI * freq[c] * (frame * 576 + i)));
    ASSERT_EQ(sbrdec_apply(f.d, &f.none, buf.data(), 2), 0);
    for (int i = 0; i < 1152; ++i)
      for (int c = 0; c < 2; ++c) out[c].push_back(buf[size_t(2 * i + c)]);
  }
  for (int c = 0; c < 2; ++c) {
    double sig = 0.0, err = 0.0;
    for (size_t i = 2 * 1152; i < out[c].size(); ++i) {
      const double want = 8000.0 * std::sin(2.0 * M_PI * freq[c] / 2.0 * (double(i) - decoder_delay));
      sig += want * want;
      err += (out[c][i] - want) * (out[c][i] - want);
    }
    EXPECT_GT(10.0 * std::log10(sig / err), 50.0) << "channel " << c;
  }
  // Reset clears every delay line: silence in, silence out.
  sbrdec_reset(f.d);
  std::vector<float> buf(1152, 0.0f);
  ASSERT_EQ(sbrdec_apply(f.d, &f.none, buf.data(), 1), 0);
  for (float v : buf) ASSERT_EQ(v, 0.0f);
}

TEST(SbrDecoder, PayloadResults) {
  sbr_fixture f;
  ASSERT_NE(f.d, nullptr);
  std::vector<float> buf(2304, 1.0f);
  SbrPayload two{};
  two.count = 2;
  EXPECT_EQ(sbrdec_apply(f.d, &two, buf.data(), 1), 3);
  // One channel, one envelope over the frame and one noise floor, CRC intact; the same with
  // the default header in front.
  SbrPayload bare{}, headed{};
  bare.count = headed.count = 1;
  bare.element[0] = {0, 12, 7, {0xDF, 0x78, 0x22, 0x18, 0x00, 0x10, 0x00}};
  headed.element[0] = {0, 13, 9, {0xFA, 0x52, 0xAE, 0x01, 0x41, 0x10, 0xC0, 0x00, 0x80}};
  // Without a header in force the element is refused and the core's frame is left as it is.
  EXPECT_EQ(sbrdec_parse_payload(f.d, &bare), 13);
  EXPECT_EQ(sbrdec_apply(f.d, &bare, buf.data(), 1), 13);
  for (float v : buf) ASSERT_EQ(v, 1.0f);
  // Once a header is in force the same element is read whole. After a reset it waits for
  // the next header, without switching SBR output off.
  EXPECT_EQ(sbrdec_apply(f.d, &headed, buf.data(), 1), 0);
  for (bool reset : {false, true}) {
    if (reset) sbrdec_reset(f.d);
    EXPECT_EQ(sbrdec_apply(f.d, &bare, buf.data(), 1), 0) << reset;
    EXPECT_EQ(f.d->ch[0].state, reset ? 1 : 2) << reset;
    EXPECT_EQ(f.d->ch[0].element.header.conceal, reset ? 1 : 0) << reset;
  }
  // An element of length 0 is a frame without payload.
  bare.element[0].length = 0;
  EXPECT_EQ(sbrdec_apply(f.d, &bare, buf.data(), 1), 0);
}

}  // namespace
