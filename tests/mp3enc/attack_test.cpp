// Block types from the attack detector and their combination across two channels.
#include <gtest/gtest.h>

#include <vector>

#include "mp3enc/attack.h"

namespace {

// Block types of consecutive granules for one channel whose only sound is one click at
// the given sample of the given granule.
std::vector<int> types_for_click(int granule, int sample, int granules = 7, int stride = 1) {
  mp3enc_attack_state* s = nullptr;
  EXPECT_EQ(0, mp3enc_attack_create(&s));
  s->stride = stride;
  std::vector<int> types;
  for (int g = 0; g < granules; ++g) {
    std::vector<float> x(576 * size_t(stride), 0.0f);
    if (g == granule) x[size_t(sample * stride)] = 30000.0f;
    types.push_back(kern_attack_detect(s, x.data()));
  }
  mp3enc_attack_free(s);
  return types;
}

TEST(BlockSwitching, ClicksGiveStartShortStop) {
  struct row {
    int granule, sample, stride;
    std::vector<int> types;
  } rows[] = {
      // click late in granule 2: start, then short for the decay, short, stop, normal
      {2, 400, 1, {0, 0, 1, 2, 2, 3, 0}},
      {2, 400, 2, {0, 0, 1, 2, 2, 3, 0}},
      // click in the first segment: its decay lies in the same granule, so no second short
      {2, 10, 1, {0, 0, 1, 2, 3, 0, 0}},
      // silence never switches
      {-1, 0, 1, {0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << "granule " << r.granule << " sample " << r.sample << " stride " << r.stride);
    EXPECT_EQ(r.types, types_for_click(r.granule, r.sample, 7, r.stride));
  }
}

// A second attack while short keeps the next granule short; one when a stop was due turns
// the stop into a short granule.
TEST(BlockSwitching, AttackDuringShortStaysShort) {
  mp3enc_attack_state* s = nullptr;
  ASSERT_EQ(0, mp3enc_attack_create(&s));
  std::vector<int> types;
  for (int g = 0; g < 8; ++g) {
    std::vector<float> x(576, 0.0f);
    if (g == 1 || g == 4) x[400] = 30000.0f;
    types.push_back(kern_attack_detect(s, x.data()));
  }
  EXPECT_EQ((std::vector<int>{0, 1, 2, 2, 2, 2, 2, 3}), types);
  mp3enc_attack_reset(s);
  EXPECT_EQ(0, s->current_type);
  EXPECT_EQ(0, s->next_type);
  mp3enc_attack_free(s);
}

TEST(BlockSwitching, TwoChannelsShareOneType) {
  const int expected[4][4] = {{0, 1, 2, 3}, {1, 1, 2, 2}, {2, 2, 2, 2}, {3, 2, 2, 3}};
  mp3enc_attack_state a, b;
  for (int t0 = 0; t0 < 4; ++t0)
    for (int t1 = 0; t1 < 4; ++t1) {
      a.current_type = t0;
      b.current_type = t1;
      int32_t o0 = -1, o1 = -1;
      mp3enc_combine_block_types(&a, &b, 2, 1, &o0, &o1);
      EXPECT_EQ(expected[t0][t1], o0) << t0 << "," << t1;
      EXPECT_EQ(o0, o1);
      EXPECT_EQ(o0, a.current_type);
      EXPECT_EQ(o0, b.current_type);
    }
  a.current_type = 2;
  b.current_type = 0;
  int32_t o0 = -1, o1 = -1;
  mp3enc_combine_block_types(&a, &b, 2, 0, &o0, &o1);
  EXPECT_EQ(2, o0);
  EXPECT_EQ(0, o1);
}

}  // namespace
