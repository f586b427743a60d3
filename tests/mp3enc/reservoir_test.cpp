// Frame sizes, the pacer's choice of sizes and padding, and the reservoir budgets.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "mp3enc/reservoir.h"

namespace {

std::vector<int> frame_sizes(int bit_rate, int rate, int policy, int frames) {
  mp3enc_reservoir r;
  EXPECT_EQ(mp3enc_reservoir_setup(&r, bit_rate, rate, policy), 0);
  std::vector<int> bits;
  for (int i = 0; i < frames; ++i) {
    EXPECT_EQ(mp3enc_pacer_next(&r), 0);
    bits.push_back(mp3enc_frame_bits(&r, mp3enc_current_index(&r)) + 8 * mp3enc_current_padding(&r));
  }
  return bits;
}

}  // namespace

TEST(Mp3encFrameSize, TablesAndIndexLookup) {
  mp3enc_reservoir r;
  ASSERT_EQ(mp3enc_reservoir_setup(&r, 32000, 22050, 0), 0);
  const int want[15] = {0, 208, 416, 624, 832, 1040, 1248, 1456, 1664, 2088, 2504, 2920, 3336, 3760, 4176};
  for (int i = 0; i < 15; ++i) EXPECT_EQ(mp3enc_frame_bits(&r, i), want[i]) << i;
  EXPECT_EQ(r.pacer.numerator, 40960);
  EXPECT_EQ(r.pacer.denominator, 49);
  EXPECT_EQ(r.pacer.lower, 4);
  EXPECT_EQ(r.pacer.upper, 5);
  EXPECT_EQ(mp3enc_index_for_bits(&r, 833), 5);
  EXPECT_EQ(mp3enc_index_for_bits(&r, 832), 4);
  EXPECT_EQ(mp3enc_index_for_bits(&r, 4000), 14);  // more than index 13 holds
  EXPECT_EQ(mp3enc_index_for_bits(&r, 9000), 14);  // also when index 14 holds fewer

  ASSERT_EQ(mp3enc_reservoir_setup(&r, 64000, 44100, 0), 0);
  EXPECT_EQ(r.pacer.numerator, 81920);
  EXPECT_EQ(r.pacer.denominator, 49);
  EXPECT_EQ(r.pacer.lower_bits, 1664);
  EXPECT_EQ(r.pacer.upper_bits, 2088);
  // No bracket: above the table's last rate.
  EXPECT_EQ(mp3enc_reservoir_setup(&r, 400000, 44100, 1), 1);
  EXPECT_EQ(mp3enc_reservoir_setup(&r, 400000, 44100, 0), 1);
}

TEST(Mp3encFrameSize, PacerKeepsTheAverageBitRate) {
  struct Case {
    int bit_rate, rate, policy;
    std::vector<int> first;
    std::set<int> sizes;  // with a padding policy, the sizes it allows, each of them used
  };
  const Case cases[] = {
      {32000, 22050, 0, {832, 840, 832, 840}, {}},
      {64000, 44100, 0, {1672, 1672, 1672}, {}},
      {64000, 44100, 2, {1672, 1672, 1672}, {1672}},  // always padded
      {64000, 44100, 1, {1664, 1664, 1664}, {1664}},  // never padded
      {72000, 44100, 1, {}, {1664, 2088}},  // between two indices: sizes of both
      {72000, 44100, 2, {}, {1672, 2096}},
      {128000, 48000, 0, {3072, 3072}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bit_rate);
    SCOPED_TRACE(c.policy);
    const int n = 4900;
    const std::vector<int> bits = frame_sizes(c.bit_rate, c.rate, c.policy, n);
    for (size_t i = 0; i < c.first.size(); ++i) EXPECT_EQ(bits[i], c.first[i]) << i;
    long long total = 0;
    for (int b : bits) total += b;
    const double samples = double(n) * (c.rate >= 32000 ? 1152 : 576);
    const double want = samples * c.bit_rate / c.rate;
    if (c.policy == 0) {
      EXPECT_NEAR(double(total), want, 16.0);
    } else {
      EXPECT_EQ(std::set<int>(bits.begin(), bits.end()), c.sizes);
    }
  }
  // 64000 bit/s at 44100 Hz: about one frame in 48 is not padded.
  const std::vector<int> bits = frame_sizes(64000, 44100, 0, 4800);
  int unpadded = 0;
  for (int b : bits) unpadded += b == 1664;
  EXPECT_NEAR(unpadded, 100, 3);
}

TEST(Mp3encFrameSize, Budgets) {
  struct Case {
    int bit_rate, rate, granules, head_bits;
    bool vbr;
    mp3enc_budget want;
  };
  const Case cases[] = {
      {32000, 22050, 1, 104, false, {4, 5, 2040, 3, 470, 1, 2768, 731, 731}},
      {64000, 44100, 2, 168, false, {5, 6, 4088, 3, 940, 2, 5584, 1502, 751}},
      {0, 44100, 2, 168, true, {0, 0, 0, 0, 2 * 8352 / 8, 2, (8352 - 168) / 2, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bit_rate);
    mp3enc_reservoir r;
    ASSERT_EQ(mp3enc_reservoir_setup(&r, c.bit_rate, c.rate, 0), 0);
    mp3enc_budget b;
    ASSERT_EQ(mp3enc_compute_budget(&r, c.bit_rate, c.rate, c.granules, c.head_bits, c.vbr, &b), 0);
    EXPECT_EQ(b.lower, c.want.lower);
    EXPECT_EQ(b.upper, c.want.upper);
    EXPECT_EQ(b.reservoir_bits, c.want.reservoir_bits);
    EXPECT_EQ(b.fill_frames, c.want.fill_frames);
    EXPECT_EQ(b.min_output_bytes, c.want.min_output_bytes);
    EXPECT_EQ(b.cycle_granules, c.want.cycle_granules);
    EXPECT_EQ(b.max_main_bits, c.want.max_main_bits);
    EXPECT_EQ(b.frame_main_bits, c.want.frame_main_bits);
    EXPECT_EQ(b.granule_main_bits, c.want.granule_main_bits);
  }
  // A frame too small for its own header and side information has no budget.
  mp3enc_reservoir r;
  ASSERT_EQ(mp3enc_reservoir_setup(&r, 8000, 24000, 0), 0);
  mp3enc_budget b;
  EXPECT_EQ(mp3enc_compute_budget(&r, 8000, 24000, 1, 200, false, &b), 1);
}
