#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "sbrenc/sbrenc_grid.h"

namespace {

struct grid {
  sbrenc_grid_state* st = nullptr;
  explicit grid(int32_t static_framing = 0, int32_t static_envelopes = 2, int32_t res_fixed = 1, int32_t spreading = 1) {
    EXPECT_EQ(sbrenc_grid_create(&st, spreading, static_envelopes, static_framing, 1, 1, 9, res_fixed), nullptr);
  }
  ~grid() { sbrenc_grid_free(st); }
  const sbrenc_grid_info* frame(int32_t pos, int32_t flag) {
    const int32_t t[2] = {pos, flag};
    return sbrenc_frame_info(st, t, 2);
  }
};

int ilog2(int n) {
  int b = 0;
  while ((1 << b) < n) ++b;
  return b;
}

// Every field of the code fits the width the payload gives it, and lengths are even.
void expect_code_fits(const sbrenc_grid_code& c) {
  ASSERT_GE(c.frame_class, 0);
  ASSERT_LE(c.frame_class, 3);
  auto rel_ok = [](int32_t len) { return len >= 2 && len <= 8 && len % 2 == 0; };
  switch (c.frame_class) {
    case 0:
      EXPECT_TRUE(c.fixed_envelopes == 1 || c.fixed_envelopes == 2 || c.fixed_envelopes == 4);
      break;
    case 1:
    case 2: {
      const int32_t v = c.frame_class == 1 ? c.var_border - (c.first_slot + c.slots) : c.var_border - c.first_slot;
      EXPECT_GE(v, 0);
      EXPECT_LE(v, 7);
      EXPECT_GE(c.n_rel, 0);
      EXPECT_LE(c.n_rel, 3);
      for (int k = 0; k < c.n_rel; ++k) EXPECT_TRUE(rel_ok(c.rel[k])) << "length " << c.rel[k];
      EXPECT_LT(c.pointer, 1 << ilog2(c.n_rel + 2));
      for (int k = 0; k <= c.n_rel; ++k) EXPECT_TRUE(c.res[k] == 0 || c.res[k] == 1);
      break;
    }
    default: {
      EXPECT_GE(c.lead_border - c.first_slot, 0);
      EXPECT_LE(c.lead_border - c.first_slot, 7);
      EXPECT_GE(c.trail_border - (c.first_slot + c.slots), 0);
      EXPECT_LE(c.trail_border - (c.first_slot + c.slots), 7);
      EXPECT_LE(c.n_lead, 3);
      EXPECT_LE(c.n_trail, 3);
      for (int k = 0; k < c.n_lead; ++k) EXPECT_TRUE(rel_ok(c.lead_rel[k])) << "lead " << c.lead_rel[k];
      for (int k = 0; k < c.n_trail; ++k) EXPECT_TRUE(rel_ok(c.trail_rel[k])) << "trail " << c.trail_rel[k];
      EXPECT_LT(c.pointer, 1 << ilog2(c.n_lead + c.n_trail + 2));
      break;
    }
  }
}

// Envelopes have at least one slot, and the frame starts where the previous one ended.
void expect_record_sane(const sbrenc_grid_info& g, int32_t previous_end) {
  ASSERT_GE(g.envelopes, 1);
  ASSERT_LE(g.envelopes, 5);
  for (int e = 0; e < g.envelopes; ++e) EXPECT_GE(g.borders[e + 1] - g.borders[e], 1) << "envelope " << e;
  EXPECT_EQ(g.borders[0], previous_end - 9);
  EXPECT_GE(g.transient_env, 0);
  EXPECT_EQ(g.noise_borders[0], g.borders[0]);
  EXPECT_EQ(g.noise_borders[g.noise_envelopes], g.borders[g.envelopes]);
  EXPECT_EQ(g.noise_envelopes, g.envelopes == 1 ? 1 : 2);
}

TEST(SbrencGrid, StationaryInputGivesFixedFrames) {
  struct fixed_case {
    int32_t static_framing, static_envelopes, res_fixed, split;
    int32_t envelopes;
    std::vector<int32_t> borders;
    int32_t res;
    std::vector<int32_t> noise;
  };
  const fixed_case cases[] = {
      {0, 2, 1, 0, 1, {0, 9}, 1, {0, 9}},
      {0, 2, 1, 1, 2, {0, 5, 9}, 1, {0, 5, 9}},
      {0, 2, 0, 1, 2, {0, 5, 9}, 0, {0, 5, 9}},
      {1, 2, 1, 0, 2, {0, 5, 9}, 1, {0, 5, 9}},
      {1, 4, 1, 1, 4, {0, 2, 5, 7, 9}, 1, {0, 5, 9}},
      {1, 1, 0, 1, 1, {0, 9}, 0, {0, 9}},
  };
  for (const auto& c : cases) {
    grid g(c.static_framing, c.static_envelopes, c.res_fixed);
    for (int f = 0; f < 3; ++f) {
      const sbrenc_grid_info* r = g.frame(c.split, c.static_framing ? (f == 1) : 0);  // static ignores transients
      EXPECT_EQ(g.st->code->frame_class, 0);
      ASSERT_EQ(r->envelopes, c.envelopes);
      EXPECT_EQ(std::vector<int32_t>(r->borders, r->borders + c.envelopes + 1), c.borders);
      for (int e = 0; e < c.envelopes; ++e) EXPECT_EQ(r->freq_res[e], c.res);
      EXPECT_EQ(std::vector<int32_t>(r->noise_borders, r->noise_borders + r->noise_envelopes + 1), c.noise);
      expect_code_fits(*g.st->code);
    }
  }
}

TEST(SbrencGrid, ClassTransitions) {
  struct step {
    int32_t flag, expected_class;
  };
  const std::vector<step> cases[] = {
      {{1, 1}, {0, 2}, {0, 0}, {0, 0}},  // fixed/variable, variable/fixed, fixed/fixed
      {{1, 1}, {1, 3}, {0, 2}, {1, 1}},  // consecutive transients: variable/variable
      {{0, 0}, {1, 1}, {1, 3}, {1, 3}, {0, 2}, {0, 0}},
  };
  for (const auto& seq : cases) {
    grid g;
    for (const auto& s : seq) {
      g.frame(3, s.flag);
      EXPECT_EQ(g.st->code->frame_class, s.expected_class);
    }
  }
  // The transition rule itself, spread flag included.
  int32_t cls = 0, prev = 3, spread = 1;
  sbrenc_frame_class(&cls, &prev, 0, &spread);
  EXPECT_EQ(cls, 3);
  EXPECT_EQ(spread, 1);
  sbrenc_frame_class(&cls, &prev, 1, &spread);
  EXPECT_EQ(cls, 3);
  EXPECT_EQ(spread, 0);
  prev = 7;
  cls = 2;
  sbrenc_frame_class(&cls, &prev, 1, &spread);
  EXPECT_EQ(cls, 2);
  EXPECT_EQ(prev, 2);
}

TEST(SbrencGrid, ClickInEachPositionPlacesABorderThere) {
  for (int32_t pos = 0; pos < 9; ++pos) {
    SCOPED_TRACE(testing::Message() << "position " << pos);
    grid g;
    int32_t end = 9;
    g.frame(0, 0);
    const sbrenc_grid_info* r = g.frame(pos, 1);
    expect_code_fits(*g.st->code);
    expect_record_sane(*r, end);
    // The transient border lies 4 slots after the position (the detector's look-ahead); it
    // starts the transient envelope in this frame or the variable border's next frame.
    const int32_t t = 4 + pos;
    bool found = false;
    for (int e = 0; e <= r->envelopes; ++e) found |= r->borders[e] == t;
    end = r->borders[r->envelopes];
    if (t < end) {
      EXPECT_TRUE(found);
      EXPECT_EQ(r->borders[r->transient_env], t);
    }
    r = g.frame(0, 0);
    expect_code_fits(*g.st->code);
    expect_record_sane(*r, end);
    if (t >= end - 0 && t - 9 >= r->borders[0]) {
      bool next = false;
      for (int e = 0; e <= r->envelopes; ++e) next |= r->borders[e] == t - 9;
      EXPECT_TRUE(next);
      EXPECT_EQ(r->borders[r->transient_env], t - 9);
    }
    // The follow-up ends the variable part; then fixed frames again.
    end = r->borders[r->envelopes];
    r = g.frame(0, 0);
    EXPECT_EQ(g.st->code->frame_class, 0);
    expect_record_sane(*r, end);
  }
}

TEST(SbrencGrid, RandomClicksKeepEveryCodeInItsFields) {
  std::mt19937 rng(11);
  for (int32_t spreading : {0, 1}) {
    grid g(0, 2, 1, spreading);
    int32_t end = 9;
    for (int f = 0; f < 4000; ++f) {
      const int32_t flag = rng() % 3 == 0;
      const int32_t pos = flag ? static_cast<int32_t>(rng() % 9) : static_cast<int32_t>(rng() % 2);
      const sbrenc_grid_info* r = g.frame(pos, flag);
      SCOPED_TRACE(testing::Message() << "frame " << f << " class " << g.st->code->frame_class);
      expect_code_fits(*g.st->code);
      expect_record_sane(*r, end);
      end = r->borders[r->envelopes];
      if (testing::Test::HasFailure()) return;
    }
  }
}

TEST(SbrencGrid, ListRoutines) {
  int32_t list[8] = {5, 6};
  int32_t n = 2;
  sbrenc_append(list, &n, 7);
  sbrenc_prepend(list, &n, 4);
  const int32_t front[2] = {1, 2};
  EXPECT_EQ(sbrenc_prepend_list(list, &n, front, 2), -1);
  EXPECT_EQ(std::vector<int32_t>(list, list + n), (std::vector<int32_t>{1, 2, 4, 5, 6, 7}));

  std::mt19937 rng(5);
  for (int len : {0, 1, 3, 13, 40, 41}) {
    std::vector<int32_t> v(len);
    std::vector<float> w(len);
    for (int i = 0; i < len; ++i) w[i] = static_cast<float>(v[i] = static_cast<int32_t>(rng() % 50) - 25);
    sbrenc_sort_ints(v.data(), len);
    sbrenc_sort_floats(w.data(), len);
    EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
    EXPECT_TRUE(std::is_sorted(w.begin(), w.end()));
  }
  sbrenc_grid_info info{};
  info.envelopes = 7;
  sbrenc_grid_template(&info, 3, 9);  // no template for 3 envelopes
  sbrenc_grid_template(&info, 2, 16);  // nor for other frame lengths
  EXPECT_EQ(info.envelopes, 7);
}

}  // namespace
