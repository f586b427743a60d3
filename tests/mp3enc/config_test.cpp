// Configuration derivation and the rules of re-configuration.
#include <gtest/gtest.h>

#include "mp3enc/config.h"

namespace {

struct Derived {
  bool ok;
  mp3enc_config cfg;
};

Derived complete(uint32_t channels, uint32_t rate, mp3enc_config asked) {
  sbrenc_config sbr{};
  sbrenc_config_defaults(&sbr, 2, 2, 576);
  Derived d{false, {}};
  d.ok = mp3enc_complete_config(channels, rate, asked, &d.cfg, &sbr);
  return d;
}

}  // namespace

TEST(Mp3encConfig, DefaultBitRateAndCoreRateLookup) {
  struct Case {
    uint32_t rate, channels, bit_rate;
  };
  for (const Case& c : {Case{44100, 1, 40000}, {44100, 2, 80000}, {48000, 1, 40000}, {32000, 2, 48000},
                        {16000, 2, 24000}, {22050, 2, 64000}, {24000, 1, 32000}, {12000, 2, 16000},
                        {8000, 2, 8000}, {44000, 1, 0}})
    EXPECT_EQ(default_bitrate_for_rate(c.rate, c.channels), c.bit_rate) << c.rate << " " << c.channels;

  struct Lookup {
    uint32_t bit_rate, channels, rate;
    int halve, found;
    uint32_t core;
  };
  const Lookup lookups[] = {
      {48000, 1, 44100, 0, 1, 22050},  {56000, 1, 44100, 0, 1, 22050}, {64000, 1, 44100, 0, 0, 0},
      {36000, 1, 48000, 0, 1, 24000},  {36000, 2, 44100, 0, 1, 16000},     {64000, 2, 44100, 1, 1, 22050},
      {50000, 1, 32000, 0, 1, 16000},  {24000, 1, 22050, 0, 0, 0},     {36000, 2, 48000, 0, 1, 16000},
  };
  for (const Lookup& l : lookups) {
    uint32_t core = 0;
    EXPECT_EQ(mp3enc_lookup_core_rate(2, l.bit_rate, l.channels, l.rate, l.halve, &core), l.found)
        << l.bit_rate << " " << l.rate;
    if (l.found) {
      EXPECT_EQ(core, l.core) << l.bit_rate << " " << l.rate;
    }
  }
}

TEST(Mp3encConfig, DerivationAndItsPaths) {
  struct Case {
    const char* what;
    uint32_t channels, rate;
    mp3enc_config asked;
    bool ok;
    mp3enc_config want;
  };
  const Case cases[] = {
      {"no SBR row at 64000: plain 44100", 1, 44100, {0, 0, 0, 64000, 0}, true, {44100, 1, 2, 64000, 0}},
      {"SBR at 48000", 1, 44100, {0, 0, 0, 48000, 0}, true, {44100, 1, 1, 48000, 0}},
      {"the application's call: direct", 1, 44100, {22050, 1, 2, 32000, 0}, true, {22050, 1, 2, 32000, 0}},
      {"sub-rate search keeps the input rate", 1, 22050, {0, 0, 0, 24000, 0}, true, {22050, 1, 2, 24000, 0}},
      {"lowest rate of the row", 1, 32000, {0, 0, 0, 64000, 0}, true, {32000, 1, 2, 64000, 0}},
      {"two channels, SBR pair", 2, 44100, {0, 0, 0, 80000, 0}, true, {44100, 2, 1, 80000, 0}},
      {"two channels, low rate: one core channel with SBR", 2, 44100, {0, 0, 0, 32000, 0}, true,
       {44100, 3, 1, 32000, 0}},
      {"retry with one channel", 2, 48000, {48000, 0, 2, 100000, 0}, true, {48000, 1, 2, 100000, 0}},
      {"no retry when the channel mode was given", 2, 48000, {48000, 2, 0, 100000, 0}, false, {}},
      {"two coded channels below 16000 bit/s", 2, 22050, {0, 2, 0, 12000, 0}, false, {}},
      {"joint stereo with one input channel (derived)", 1, 44100, {0, 2, 0, 64000, 0}, false, {}},
      {"joint stereo with one input channel (direct)", 1, 44100, {44100, 2, 2, 64000, 0}, false, {}},
      {"channel mode 3 needs SBR", 2, 44100, {44100, 3, 2, 64000, 0}, false, {}},
      {"output above the input rate", 1, 22050, {44100, 1, 2, 64000, 0}, false, {}},
      {"bit rate out of range", 1, 44100, {0, 1, 2, 400000, 0}, false, {}},
      {"VBR chooses the input rate", 1, 22050, {0, 0, 0, 0, 50}, true, {22050, 1, 2, 0, 50}},
      {"VBR at 11025 is refused", 1, 11025, {0, 0, 0, 0, 50}, false, {}},
      {"VBR two channels", 2, 22050, {0, 0, 2, 0, 80}, true, {22050, 2, 2, 0, 80}},
      {"VBR above 100", 1, 22050, {0, 0, 0, 0, 101}, false, {}},
      {"VBR SBR below 32000", 1, 24000, {0, 0, 1, 0, 50}, false, {}},
      {"all zeros pass the checks; the build refuses them", 1, 44100, {0, 0, 0, 0, 0}, true, {0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    const Derived d = complete(c.channels, c.rate, c.asked);
    EXPECT_EQ(d.ok, c.ok) << c.what;
    if (!c.ok || !d.ok) continue;
    EXPECT_EQ(d.cfg.output_rate, c.want.output_rate) << c.what;
    EXPECT_EQ(d.cfg.channel_mode, c.want.channel_mode) << c.what;
    EXPECT_EQ(d.cfg.sbr_mode, c.want.sbr_mode) << c.what;
    EXPECT_EQ(d.cfg.bit_rate, c.want.bit_rate) << c.what;
    EXPECT_EQ(d.cfg.vbr_quality, c.want.vbr_quality) << c.what;
  }
}

TEST(Mp3encConfig, SbrSelectionFollowsTheDerivedConfiguration) {
  sbrenc_config sbr{};
  ASSERT_EQ(sbrenc_config_defaults(&sbr, 2, 2, 576), 0);
  mp3enc_config in_force;
  ASSERT_TRUE(mp3enc_complete_config(1, 44100, {0, 0, 0, 48000, 0}, &in_force, &sbr));
  EXPECT_EQ(sbr.core_rate, 22050);
  EXPECT_EQ(sbr.bit_rate, 48000);
  EXPECT_EQ(sbr.start_index, 10);  // tuning row 6
  // A refused configuration leaves the record alone.
  const sbrenc_config before = sbr;
  EXPECT_FALSE(mp3enc_complete_config(1, 44100, {44100, 1, 1, 64000, 0}, &in_force, &sbr));
  EXPECT_EQ(sbr.bit_rate, before.bit_rate);
}
