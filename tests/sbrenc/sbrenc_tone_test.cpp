#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "sbrenc/sbrenc_tone.h"

namespace {

struct frame_rows {
  std::vector<std::vector<float>> re, im, e;
  std::vector<const float*> rp, ip;
  std::vector<float*> ep;
  frame_rows() : re(18, std::vector<float>(64)), im(re), e(18, std::vector<float>(64, 1.0f)) {
    for (int t = 0; t < 18; ++t) {
      rp.push_back(re[t].data());
      ip.push_back(im[t].data());
      ep.push_back(e[t].data());
    }
  }
};

TEST(SbrencTone, BudgetByRate) {
  struct rate_case {
    int32_t rate, enabled, budget;
  };
  for (auto c : {rate_case{16000, 0, 0}, rate_case{16001, 1, 230}, rate_case{23999, 1, 230}, rate_case{24000, 1, 350}}) {
    sbrenc_tone_state* s = nullptr;
    ASSERT_EQ(sbrenc_tone_tracker_create(&s, 64, 18, 30, c.rate, 2), nullptr);
    EXPECT_EQ(s->enabled, c.enabled);
    EXPECT_EQ(s->budget, c.budget);
    EXPECT_EQ(s->lowest_band, 28);
    // A disabled tracker leaves the energies alone and its copy empty.
    frame_rows f;
    f.e[3][40] = 1e12f;
    sbrenc_tone_tracker(s, f.rp.data(), f.ip.data(), f.ep.data(), 64, 18);
    EXPECT_EQ(s->copy_count, 0);
    sbrenc_tone_tracker_free(s);
  }
  sbrenc_tone_state* s = nullptr;
  EXPECT_NE(sbrenc_tone_tracker_create(&s, 64, 18, 30, 32000, 1), nullptr);
  EXPECT_EQ(s, nullptr);
  // Level steps of 2^(1/3) around 2048 at index 1.
  const std::pair<int, float> levels[] = {{0, 1625.4986572265625f}, {1, 2048.0f}, {2, 2580.318359375f},
                                          {4, 4096.0f}, {19, 131072.0f}, {31, 2097152.0f}};
  for (const auto& [i, l] : levels) EXPECT_EQ(sbrenc_tone_levels[i], l) << i;
}

TEST(SbrencTone, LoneToneIsTrackedAttenuatedAndSentNextFrame) {
  sbrenc_tone_state* s = nullptr;
  ASSERT_EQ(sbrenc_tone_tracker_create(&s, 64, 18, 30, 32000, 2), nullptr);
  frame_rows f;
  for (int t = 0; t < 18; ++t) {
    f.re[t][40] = 2048.0f;  // projections of about +-2048 x sqrt(2)
    f.re[t][41] = 1500.0f;
    f.e[t][40] = 2.0e7f;
    f.e[t][41] = 1.0e7f;
  }
  sbrenc_tone_tracker(s, f.rp.data(), f.ip.data(), f.ep.data(), 64, 18);
  EXPECT_EQ(s->copy_count, 0);  // the first frame's payload carries no track
  ASSERT_EQ(s->count, 1);
  const sbrenc_tone_track& t = s->tracks[0];
  EXPECT_EQ(t.start, 40);
  EXPECT_EQ(t.bands, 2);
  EXPECT_EQ(t.span, 2);
  for (int tt = 0; tt < 18; ++tt) {
    EXPECT_FLOAT_EQ(f.e[tt][40], 2.0e7f * 1.0000000116860974e-07f);
    EXPECT_FLOAT_EQ(f.e[tt][41], 1.0e7f * 1.0000000116860974e-07f);
    EXPECT_EQ(f.e[tt][39], 1.0f);
    EXPECT_EQ(f.e[tt][42], 1.0f);
  }
  for (int b = 0; b < 2; ++b) {
    EXPECT_EQ(t.rows[b][0], 5);
    for (int j = 0; j < 18; ++j) EXPECT_LE(std::abs(t.rows[b][2 + j]), 15);
  }
  frame_rows g;
  sbrenc_tone_tracker(s, g.rp.data(), g.ip.data(), g.ep.data(), 64, 18);
  EXPECT_EQ(s->copy_count, 1);
  EXPECT_EQ(s->copy[0].start, 40);
  EXPECT_EQ(s->count, 0);
  sbrenc_tone_tracker_free(s);
}

TEST(SbrencTone, Merge) {
  struct merge_case {
    int32_t sa, wa, sb, wb;
    std::vector<std::vector<int32_t>> tracks;  // start, bands, span, half
  };
  const merge_case cases[] = {
      {40, 2, 40, 2, {{40, 2, 2, 0}}},
      {40, 2, 40, 3, {{40, 2, 2, 0}, {42, 1, 1, 1}}},
      {40, 3, 40, 2, {{40, 2, 2, 0}, {42, 1, 1, 0}}},
      {41, 2, 40, 3, {{41, 2, 2, 0}, {40, 1, 1, 1}}},
      {40, 3, 41, 2, {{41, 2, 2, 0}, {40, 1, 1, 0}}},
      {30, 2, 50, 2, {{30, 2, 1, 0}, {50, 2, 1, 1}}},
  };
  for (const auto& c : cases) {
    sbrenc_tone_state s{};
    sbrenc_tone_candidate cand[2][2] = {};
    cand[0][0].present = cand[0][1].present = 1;
    cand[0][0].track = {c.sa, c.wa, 1, 0, 0, {}};
    cand[0][1].track = {c.sb, c.wb, 1, 1, 0, {}};
    sbrenc_tone_merge(&s, cand, 1);
    ASSERT_EQ(s.count, static_cast<int32_t>(c.tracks.size())) << c.sa << " " << c.sb;
    for (int i = 0; i < s.count; ++i)
      EXPECT_EQ((std::vector<int32_t>{s.tracks[i].start, s.tracks[i].bands, s.tracks[i].span, s.tracks[i].half}),
                c.tracks[i])
          << c.sa << " " << c.wa << " " << c.sb << " " << c.wb << " track " << i;
  }
}

}  // namespace
