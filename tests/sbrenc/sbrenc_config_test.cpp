#include <gtest/gtest.h>

#include "sbrenc/sbrenc_config.h"

namespace {

sbrenc_config defaults() {
  sbrenc_config r{};
  EXPECT_EQ(sbrenc_config_defaults(&r, 2, 2, 576), 0);
  return r;
}

TEST(SbrencConfig, DefaultsAndRefusals) {
  sbrenc_config r = defaults();
  EXPECT_EQ(r.dual_rate, 1);
  EXPECT_EQ(r.frame_length, 1152);
  EXPECT_EQ(r.header_interval, 1.0f);
  EXPECT_EQ(r.trans_abs_threshold, 6000.0f);
  EXPECT_EQ(r.start_index, 5);
  EXPECT_EQ(r.stop_index, 9);
  EXPECT_EQ(r.stereo_mode, 3);
  EXPECT_EQ(r.invf_control, 4);

  sbrenc_config single{};
  EXPECT_EQ(sbrenc_config_defaults(&single, 2, 1, 576), 0);
  EXPECT_EQ(single.dual_rate, 0);
  EXPECT_EQ(single.frame_length, 576);

  sbrenc_config bad{};
  EXPECT_EQ(sbrenc_config_defaults(&bad, 2, 3, 576), -1);
  EXPECT_EQ(sbrenc_config_defaults(&bad, 1, 2, 576), -1);
  EXPECT_EQ(bad.kind, 1);  // written before the refusal

  sbrenc_config refused = defaults();
  refused.kind = 99;
  EXPECT_EQ(sbrenc_config_select(&refused, 64000, 1, 22050, 3, 32000, 0, 0, 0, 1), -1);
  EXPECT_EQ(refused.channels, 0);
}

struct select_case {
  uint32_t bit_rate, channels, core_rate, vbr, as_mono;
  int result;
  int32_t w0, start, stop, stereo, freq_scale, band_scale, res_fixed;
};

TEST(SbrencConfig, SelectionFollowsTheTuningTable) {
  const select_case cases[] = {
      // VBR 35 mono at 44100 out: 28000 replaced by 32000, row 4.
      {0, 1, 22050, 35, 0, 0, 32000, 6, 9, 0, 2, 0, 1},
      // VBR 35 mono at 32000 out keeps 28000: row 1.
      {0, 1, 16000, 35, 0, 0, 28000, 5, 12, 0, 2, 0, 1},
      // Two channels 32000 at core 16000: row 10.
      {32000, 2, 16000, 0, 0, 0, 32000, 4, 12, 3, 2, 12, 1},
      // Stereo-as-mono looks up one channel at half the rate (row 4), keeps the full rate.
      {64000, 2, 22050, 0, 1, 0, 64000, 6, 9, 1, 2, 0, 1},
      // Top of a column matches through the 56001 maximum; one above finds nothing.
      {56000, 1, 16000, 0, 0, 0, 56000, 10, 13, 0, 2, 0, 1},
      {56001, 1, 16000, 0, 0, -1, 56001, 5, 9, 3, 2, 0, 1},
      // Low-rate mono: row 0, all grid segments at low resolution, frequency scale 3.
      {18000, 1, 16000, 0, 0, 0, 18000, 4, 12, 0, 3, 0, 0},
      // No row for two channels at 36000 with core 22050, nor for another core rate.
      {36000, 2, 22050, 0, 0, -1, 36000, 5, 9, 3, 2, 0, 1},
      {64000, 1, 32000, 0, 0, -1, 64000, 5, 9, 3, 2, 0, 1},
      {96000, 2, 24000, 0, 0, 0, 96000, 12, 13, 1, 2, 0, 1},
      // Every other row at the bottom or the top of its range.
      {32000, 1, 16000, 0, 0, 0, 32000, 8, 13, 0, 2, 0, 1},  // row 2
      {47999, 1, 22050, 0, 0, 0, 47999, 8, 9, 0, 2, 0, 1},  // row 5
      {48000, 1, 22050, 0, 0, 0, 48000, 10, 9, 0, 2, 0, 1},  // row 6
      {39999, 1, 24000, 0, 0, 0, 39999, 6, 9, 0, 2, 0, 1},  // row 7
      {40000, 1, 24000, 0, 0, 0, 40000, 8, 9, 0, 2, 0, 1},  // row 8
      {56000, 1, 24000, 0, 0, 0, 56000, 10, 9, 0, 2, 0, 1},  // row 9
      {40000, 2, 16000, 0, 0, 0, 40000, 6, 13, 3, 2, 0, 1},  // row 11
      {55999, 2, 16000, 0, 0, 0, 55999, 9, 13, 3, 2, 0, 1},  // row 12
      {56000, 2, 16000, 0, 0, 0, 56000, 10, 13, 3, 2, 0, 1},  // row 13
      {47999, 2, 22050, 0, 0, 0, 47999, 4, 9, 3, 2, 0, 1},  // row 14
      {48000, 2, 22050, 0, 0, 0, 48000, 7, 9, 3, 2, 0, 1},  // row 15
      {63999, 2, 22050, 0, 0, 0, 63999, 8, 9, 3, 2, 0, 1},  // row 16
      {64000, 2, 22050, 0, 0, 0, 64000, 10, 9, 3, 2, 0, 1},  // row 17
      {95999, 2, 22050, 0, 0, 0, 95999, 11, 12, 1, 2, 0, 1},  // row 18
      {96000, 2, 22050, 0, 0, 0, 96000, 11, 13, 1, 2, 0, 1},  // row 19
      {47999, 2, 24000, 0, 0, 0, 47999, 4, 9, 3, 2, 0, 1},  // row 20
      {48000, 2, 24000, 0, 0, 0, 48000, 7, 9, 3, 2, 0, 1},  // row 21
      {63999, 2, 24000, 0, 0, 0, 63999, 8, 9, 3, 2, 0, 1},  // row 22
      {64000, 2, 24000, 0, 0, 0, 64000, 10, 9, 3, 2, 0, 1},  // row 23
      {95999, 2, 24000, 0, 0, 0, 95999, 11, 11, 1, 2, 0, 1},  // row 24
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bit_rate << " " << c.channels << " " << c.core_rate << " q" << c.vbr);
    sbrenc_config r = defaults();
    EXPECT_EQ(sbrenc_config_select(&r, c.bit_rate, c.channels, c.core_rate, 3, 32000, c.vbr, 0, c.as_mono, 1),
              c.result);
    EXPECT_EQ(r.bit_rate, c.w0);
    EXPECT_EQ(r.channels, static_cast<int32_t>(c.channels));
    EXPECT_EQ(r.start_index, c.start);
    EXPECT_EQ(r.stop_index, c.stop);
    EXPECT_EQ(r.stereo_mode, c.stereo);
    EXPECT_EQ(r.freq_scale, c.freq_scale);
    EXPECT_EQ(r.band_scales[0], c.band_scale);
    EXPECT_EQ(r.band_scales[4], c.band_scale);
    EXPECT_EQ(r.freq_res_fixed, c.res_fixed);
    EXPECT_EQ(r.filler_res_before, c.res_fixed);
    EXPECT_EQ(r.filler_res_after, c.res_fixed);
  }
}

}  // namespace
