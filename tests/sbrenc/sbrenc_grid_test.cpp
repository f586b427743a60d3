#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
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

// A second reading of the grid rules for 9-slot frames, kept apart from the generator: the
// transient region {T, T + 2}, fillers before it (backwards from it) and after it up to the end
// of the following frame, the join of the previous frame's follow-up, and the follow-up kept.
struct reference_grid {
  int32_t before, after, fixed_res, cap;  // filler resolutions, fixed/fixed resolution, filler cap
  reference_grid(int32_t b, int32_t a, int32_t r, int32_t c) : before(b), after(a), fixed_res(r), cap(c) {}
  int32_t prev_class = 0;
  std::vector<int32_t> fu_b, fu_f;
  int32_t fu_t = 0, fu_filler = 0;
  // The frame's envelopes.
  std::vector<int32_t> borders, res;
  int32_t transient_env = 0;

  // Part count n and spacing d of a region of s slots.
  static void split(int32_t s, int32_t cap, int32_t* n, int32_t* d) {
    for (*n = 1;; ++*n) {
      const int32_t q = s / *n - 2;
      *d = std::min(2 * (q >= 0 ? q / 2 : -((1 - q) / 2)) + 2, cap);
      if (s - (*n - 1) * *d <= 8) return;
    }
  }
  static int32_t first_from(const std::vector<int32_t>& b, int32_t v) {
    for (size_t i = 0; i < b.size(); ++i)
      if (b[i] >= v) return static_cast<int32_t>(i);
    return -99;
  }
  void prepend_fillers(std::vector<int32_t>& b, std::vector<int32_t>& f, int32_t gap) {
    int32_t n, d;
    split(gap, 8, &n, &d);
    const int32_t bmin = b[0];
    for (int32_t i = 1; i < n; ++i) {
      b.insert(b.begin(), bmin - i * d);
      f.insert(f.begin(), before);
    }
  }
  // Fillers after the region, then the follow-up; returns the index of the first border at or
  // after the frame end.
  int32_t finish(std::vector<int32_t>& b, std::vector<int32_t>& f, int32_t t_border) {
    const int32_t bmax = b.back(), s2 = 18 - bmax;
    EXPECT_GE(s2, 2);  // 9-slot frames never leave a short last part
    int32_t n, d;
    split(s2, cap, &n, &d);
    for (int32_t i = 1; i < n; ++i) {
      b.push_back(bmax + i * d);
      f.push_back(after);
    }
    const int32_t i0 = first_from(b, 9);
    fu_b.clear();
    fu_f.clear();
    for (size_t i = i0; i < b.size(); ++i) {
      fu_b.push_back(b[i] - 9);
      fu_f.push_back(f[i]);
    }
    const int32_t it = first_from(b, t_border);
    fu_t = it < 0 ? -99 : it - i0;
    fu_filler = static_cast<int32_t>(b.size()) + 1 - n - i0;
    return i0;
  }

  void frame(int32_t pos, int32_t flag) {
    const int32_t cls = (prev_class == 0 || prev_class == 2) ? (flag ? 1 : 0) : (flag ? 3 : 2);
    prev_class = cls;
    borders.clear();
    res.clear();
    transient_env = 0;
    if (cls == 0) {
      borders = pos == 0 ? std::vector<int32_t>{0, 9} : std::vector<int32_t>{0, 5, 9};
      res.assign(borders.size() - 1, fixed_res);
      return;
    }
    if (cls == 2) {
      borders = fu_b;
      borders.push_back(9);
      res = fu_f;
      transient_env = fu_t >= 1 ? fu_t : 0;
      return;
    }
    const int32_t t = 4 + pos;
    std::vector<int32_t> b = {t, t + 2}, f = {0, after};
    if (cls == 1) {
      if (t > 8) prepend_fillers(b, f, t);
      const int32_t n = finish(b, f, t);
      borders.push_back(0);
      borders.insert(borders.end(), b.begin(), b.begin() + n + 1);
      res.push_back(after);
      res.insert(res.end(), f.begin(), f.begin() + n);
      transient_env = first_from(b, t) + 1;
      return;
    }
    // Variable/variable: join the previous frame's follow-up to the region.
    std::vector<int32_t> jb = fu_b, jf = fu_f;
    if (fu_filler > 0 && fu_filler < static_cast<int32_t>(jb.size())) {
      jb.resize(fu_filler);
      jf.resize(fu_filler);
    }
    int32_t bmin = b[0];
    while (jb.back() > bmin) {
      if (jb.size() > 1) {
        jb.pop_back();
        jf.pop_back();
        continue;
      }
      while (!b.empty() && b[0] <= jb[0]) {
        b.erase(b.begin());
        f.erase(f.begin());
      }
      EXPECT_FALSE(b.empty());
      bmin = b[0];
    }
    int32_t s = static_cast<int32_t>(jb.size()) - 1;
    const int32_t gap = bmin - jb.back();
    if (gap > 2) {
      if (gap > 8) prepend_fillers(b, f, gap);
      b.insert(b.begin(), jb.begin(), jb.end());
      f.insert(f.begin(), jf.begin(), jf.end());
    } else if (jb.size() > 1) {
      b.insert(b.begin(), jb.begin(), jb.end() - 1);
      f.insert(f.begin(), jf.begin(), jf.end() - 1);
      --s;
    } else {
      b.erase(b.begin());
      f.erase(f.begin());
      b.insert(b.begin(), jb[0]);
      f.insert(f.begin(), jf.begin(), jf.end());
    }
    EXPECT_GE(s, 0);
    const int32_t n = finish(b, f, t);
    borders.assign(b.begin(), b.begin() + n + 1);
    res.assign(f.begin(), f.begin() + n);
    transient_env = first_from(b, t);
  }
};

TEST(SbrencGrid, EveryFourFrameSequenceOfTransientsFollowsTheRules) {
  // Frame inputs: a transient at each position, or none with the split word 0 or 1.
  std::vector<std::pair<int32_t, int32_t>> inputs = {{0, 0}, {1, 0}};
  for (int32_t pos = 0; pos < 9; ++pos) inputs.push_back({pos, 1});
  const int32_t n_in = static_cast<int32_t>(inputs.size());
  struct config {
    int32_t before, after, fixed_res, mode, cap;
  };
  const config configs[] = {{1, 0, 1, 2, 4}, {0, 1, 0, 2, 4}, {1, 0, 1, 0, 8}, {0, 1, 1, 1, 8}};
  for (const config& cf : configs) {
    for (int32_t seq = 0; seq < n_in * n_in * n_in * n_in; ++seq) {
      sbrenc_grid_state* st = nullptr;
      ASSERT_EQ(sbrenc_grid_create(&st, 1, 2, 0, cf.before, cf.after, 9, cf.fixed_res), nullptr);
      reference_grid ref(cf.before, cf.after, cf.fixed_res, cf.cap);
      std::string trail;
      for (int32_t f = 0, code = seq; f < 4; ++f, code /= n_in) {
        const auto [pos, flag] = inputs[code % n_in];
        trail += (flag ? "T" : "-") + std::to_string(pos) + " ";
        const int32_t tr[2] = {pos, flag};
        const sbrenc_grid_info* g = sbrenc_frame_info(st, tr, cf.mode);
        ref.frame(pos, flag);
        SCOPED_TRACE(testing::Message() << "mode " << cf.mode << " fillers " << cf.before << cf.after << ": " << trail);
        expect_code_fits(*st->code);
        ASSERT_EQ(st->code->frame_class, ref.prev_class);
        ASSERT_EQ(std::vector<int32_t>(g->borders, g->borders + g->envelopes + 1), ref.borders);
        ASSERT_EQ(std::vector<int32_t>(g->freq_res, g->freq_res + g->envelopes), ref.res);
        ASSERT_EQ(g->transient_env, ref.transient_env);
        ASSERT_EQ(std::vector<int32_t>(st->fu_borders, st->fu_borders + st->fu_n_borders), ref.fu_b);
        ASSERT_EQ(std::vector<int32_t>(st->fu_res, st->fu_res + st->fu_n_res), ref.fu_f);
        ASSERT_EQ(st->fu_transient, ref.fu_t);
        ASSERT_EQ(st->fu_filler, ref.fu_filler);
      }
      sbrenc_grid_free(st);
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
