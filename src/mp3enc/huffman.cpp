// Huffman and scalefactor bit counting. Lengths include the sign bits (and the linbits of the
// escape tables), so every count is what the frame writer will actually write.
#include "mp3enc/huffman.h"

#include <algorithm>
#include <climits>
#include <new>

#include "mp3dec/l3tables.h"
#include "mp3enc/l3enc_tables.h"
#include "mp3enc/quant.h"

namespace {

struct count_tables {
  uint8_t pair[32][256];  // code length + signs of (min(x,15), min(y,15)), 16 columns
  uint8_t quad[2][16];
  count_tables() {
    for (int t = 1; t < 32; ++t) {
      const mp3enc_huff_code& h = mp3enc_huff_codes[t];
      if (!h.code) continue;
      for (int x = 0; x < h.ylen; ++x)
        for (int y = 0; y < h.ylen; ++y) pair[t][x * 16 + y] = uint8_t(h.len[x * h.ylen + y] + (x != 0) + (y != 0));
    }
    for (int k = 0; k < 2; ++k)
      for (int i = 0; i < 16; ++i)
        quad[k][i] = uint8_t(mp3enc_count1_len[k][i] + ((i >> 3) & 1) + ((i >> 2) & 1) + ((i >> 1) & 1) + (i & 1));
  }
};

const count_tables& counts() {
  static const count_tables t;
  return t;
}

int region_max(const int32_t* abs, int lines) {
  int m = 0;
  for (int i = 0; i < lines; ++i) m = std::max(m, abs[i]);
  return m;
}

// Bits of each of the tables T over the pairs, in one pass; values up to 15.
template <int... T>
void count_pairs(const int32_t* abs, int pairs, int32_t* out) {
  const count_tables& ct = counts();
  int32_t sums[sizeof...(T)] = {};
  for (int i = 0; i < pairs; ++i) {
    const int idx = abs[2 * i] * 16 + abs[2 * i + 1];
    int k = 0;
    ((sums[k++] += ct.pair[T][idx]), ...);
  }
  for (size_t k = 0; k < sizeof...(T); ++k) out[k] = sums[k];
}

}  // namespace

void mp3enc_huff_count_t0(const int32_t*, int, const int32_t*, int32_t* out) { out[0] = 0; }
void mp3enc_huff_count_t1(const int32_t* abs, int pairs, const int32_t*, int32_t* out) {
  count_pairs<1>(abs, pairs, out);
}
void mp3enc_huff_count_t2_3(const int32_t* abs, int pairs, const int32_t*, int32_t* out) {
  count_pairs<2, 3>(abs, pairs, out);
}
void mp3enc_huff_count_t5_6(const int32_t* abs, int pairs, const int32_t*, int32_t* out) {
  count_pairs<5, 6>(abs, pairs, out);
}
void mp3enc_huff_count_t7_9(const int32_t* abs, int pairs, const int32_t*, int32_t* out) {
  count_pairs<7, 8, 9>(abs, pairs, out);
}
void mp3enc_huff_count_t10_12(const int32_t* abs, int pairs, const int32_t*, int32_t* out) {
  count_pairs<10, 11, 12>(abs, pairs, out);
}
void mp3enc_huff_count_t13_15(const int32_t* abs, int pairs, const int32_t*, int32_t* out) {
  count_pairs<13, 15>(abs, pairs, out);
}

void mp3enc_huff_count_esc(const int32_t* abs, int pairs, const int32_t* tables, int32_t* out) {
  const uint8_t* m[2] = {counts().pair[tables[0]], counts().pair[tables[1]]};
  const int lin[2] = {mp3enc_huff_codes[tables[0]].linbits, mp3enc_huff_codes[tables[1]].linbits};
  out[0] = out[1] = 0;
  for (int i = 0; i < pairs; ++i) {
    const int x = abs[2 * i], y = abs[2 * i + 1];
    const int idx = std::min(x, 15) * 16 + std::min(y, 15), escapes = (x >= 15) + (y >= 15);
    for (int k = 0; k < 2; ++k) out[k] += m[k][idx] + escapes * lin[k];
  }
}

const mp3enc_huff_select_row mp3enc_huff_select[19] = {
    {0, 1, {0}, mp3enc_huff_count_t0},
    {1, 1, {1}, mp3enc_huff_count_t1},
    {2, 2, {2, 3}, mp3enc_huff_count_t2_3},
    {3, 2, {5, 6}, mp3enc_huff_count_t5_6},
    {5, 3, {7, 8, 9}, mp3enc_huff_count_t7_9},
    {7, 3, {10, 11, 12}, mp3enc_huff_count_t10_12},
    {15, 2, {13, 15}, mp3enc_huff_count_t13_15},
    {16, 2, {16, 24}, mp3enc_huff_count_esc},
    {18, 2, {17, 24}, mp3enc_huff_count_esc},
    {22, 2, {18, 24}, mp3enc_huff_count_esc},
    {30, 2, {19, 24}, mp3enc_huff_count_esc},
    {46, 2, {20, 25}, mp3enc_huff_count_esc},
    {78, 2, {20, 26}, mp3enc_huff_count_esc},
    {142, 2, {21, 27}, mp3enc_huff_count_esc},
    {270, 2, {21, 28}, mp3enc_huff_count_esc},
    {526, 2, {22, 29}, mp3enc_huff_count_esc},
    {1038, 2, {22, 30}, mp3enc_huff_count_esc},
    {2062, 2, {23, 30}, mp3enc_huff_count_esc},
    {8206, 2, {23, 31}, mp3enc_huff_count_esc},
};

int mp3enc_huff_create(mp3enc_huff_state** out) {
  if (!out) return 1;
  *out = new (std::nothrow) mp3enc_huff_state();
  counts();
  return *out ? 0 : 1;
}

void mp3enc_huff_free(mp3enc_huff_state* st) { delete st; }

void mp3enc_huff_set_search(mp3enc_huff_state* st, int flag) { st->search_mode = flag != 0; }

void mp3enc_huff_find_regions(mp3enc_huff_state* st, const int32_t* q, const int32_t* band_max, int block_type,
                              int bands_in_use, const int32_t* band_starts, mp3enc_huff_rec* rec) {
  int32_t* a = st->abs;
  for (int i = 0; i < 576; ++i) a[i] = q[i] < 0 ? -q[i] : q[i];
  *rec = mp3enc_huff_rec{};
  int e = band_starts[bands_in_use];
  rec->zero_count = 576 - e;
  while (e > 0 && a[e - 2] == 0 && a[e - 1] == 0) {
    e -= 2;
    rec->zero_count += 2;
  }
  const count_tables& ct = counts();
  int n = 576 - rec->zero_count, bits_a = 0, bits_b = 0;
  while (n > 3) {
    const int32_t* v = a + n - 4;
    if (v[0] > 1 || v[1] > 1 || v[2] > 1 || v[3] > 1) break;
    const int idx = 8 * v[0] + 4 * v[1] + 2 * v[2] + v[3];
    bits_a += ct.quad[0][idx];
    bits_b += ct.quad[1][idx];
    ++rec->count1_quads;
    n -= 4;
  }
  rec->count1_table = bits_b < bits_a ? 1 : 0;
  rec->count1_bits = std::min(bits_a, bits_b);
  rec->big_values = (576 - 4 * rec->count1_quads - rec->zero_count) / 2;

  mp3enc_huff_choose_tables(st->search_mode, a, block_type, band_starts, rec);
  rec->huffman_bits = rec->count1_bits + rec->big_values_bits;
  (void)band_max;
}

void mp3enc_huff_choose_tables(int search_mode, const int32_t* a, int block_type, const int32_t* band_starts,
                               mp3enc_huff_rec* rec) {
  // Candidate splits in scalefactor bands.
  const int lines = 2 * rec->big_values;
  const int band_total = block_type == 2 ? 39 : 22;
  // Per band (cut at the end of the big values): its largest value, and its bits under each
  // selection row's tables, counted once on first use; a region's cost is then a sum over its bands.
  int nb = 0;
  while (nb < band_total && band_starts[nb] < lines) ++nb;
  int band_max_v[39];
  for (int b = 0; b < nb; ++b) {
    const int lo = band_starts[b], hi = std::min(lines, int(band_starts[b + 1]));
    band_max_v[b] = region_max(a + lo, hi - lo);
  }
  int range_max[39][39];
  for (int i = 0; i < nb; ++i) {
    int m = 0;
    for (int j = i; j < nb; ++j) range_max[i][j] = m = std::max(m, band_max_v[j]);
  }
  // Running sums of each row's candidate bits over the bands, made when the row is first needed.
  // Bands whose values a row's tables cannot code get meaningless sums, which no region that
  // holds them ever reads: a region only asks the row of its largest value.
  int prefix[19][3][40];
  bool known[19] = {};
  auto span_bits = [&](int row, int k, int first, int last) {
    const mp3enc_huff_select_row& sel = mp3enc_huff_select[row];
    if (!known[row]) {
      for (int c = 0; c < sel.n; ++c) prefix[row][c][0] = 0;
      for (int b = 0; b < nb; ++b) {
        const int lo = band_starts[b], hi = std::min(lines, int(band_starts[b + 1]));
        int32_t bits[3] = {};
        if (band_max_v[b] <= (sel.tables[0] < 16 ? 15 : 8206)) sel.count(a + lo, (hi - lo) / 2, sel.tables, bits);
        for (int c = 0; c < sel.n; ++c) prefix[row][c][b + 1] = prefix[row][c][b] + bits[c];
      }
      known[row] = true;
    }
    return prefix[row][k][last] - prefix[row][k][first];
  };
  auto evaluate = [&](int r0, int r1, int nreg, int* sel, int* bits, int* pairs) {
    int cost = 0, band = 0, start = 0;
    const int counts_[3] = {r0, r1, 1 << 20};
    for (int r = 0; r < 3; ++r) {
      sel[r] = bits[r] = pairs[r] = 0;
      if (r >= nreg) continue;
      const int first = band;
      band = r == nreg - 1 ? nb : std::min(nb, band + counts_[r]);
      const int end = band >= nb ? lines : std::min(lines, int(band_starts[band]));
      pairs[r] = (end - start) / 2;
      const int largest = first < band ? range_max[first][band - 1] : 0;
      if (pairs[r] > 0 && largest > 0) {
        int row = 0;
        while (row < 18 && mp3enc_huff_select[row].largest < largest) ++row;
        int best_t = INT_MAX;
        for (int k = 0; k < mp3enc_huff_select[row].n; ++k) {
          const int sum = span_bits(row, k, first, band);
          if (sum < best_t) {
            best_t = sum;
            sel[r] = mp3enc_huff_select[row].tables[k];
          }
        }
        bits[r] = best_t;
      }
      cost += bits[r];
      start = end;
    }
    return cost;
  };
  int best_sel[3], best_bits[3], best_pairs[3], best_r0 = 1, best_r1 = 1, best = INT_MAX;
  auto consider = [&](int r0, int r1, int nreg) {
    int sel[3], bits[3], pairs[3];
    const int cost = evaluate(r0, r1, nreg, sel, bits, pairs);
    if (cost < best) {
      best = cost;
      best_r0 = r0;
      best_r1 = r1;
      std::copy(sel, sel + 3, best_sel);
      std::copy(bits, bits + 3, best_bits);
      std::copy(pairs, pairs + 3, best_pairs);
    }
  };
  // Decoders disagree on where long band 18 starts at 24000 Hz (line 330 or 332): a region
  // boundary there would split the big values differently from what was counted.
  const bool ambiguous_18 = block_type == 0 && band_starts[17] == 278 && band_starts[18] == 332;
  int nreg;
  if (block_type != 0) {
    nreg = 2;
    consider(block_type == 2 ? 9 : 8, 36, 2);
  } else {
    nreg = 3;
    int B = 0;
    while (B < 22 && band_starts[B] < lines) ++B;
    if (search_mode == 0) {
      int r0, r1;
      r0 = B < 2 ? 1 : std::min(16, int(B * 0.33333334f + 0.5f));
      const int rest = B - r0;
      if (rest < 1)
        r1 = 1;
      else
        r1 = rest < 2 ? 1 : std::min(8, (rest + 1) >> 1);
      consider(r0, r1, 3);
    } else {
      bool any = false;
      for (int r0 = 1; r0 <= 16; ++r0)
        for (int r1 = 1; r1 <= 8; ++r1)
          if (B - r0 - r1 >= 1 && !(ambiguous_18 && r0 + r1 == 18)) {
            any = true;
            consider(r0, r1, 3);
          }
      if (!any) consider(1, 1, 3);
    }
  }
  // The side information can only express region boundaries the decoder derives from its band
  // table: 4 bits of region0_count and 3 of region1_count, so a long split must fit them.
  rec->region_count = nreg;
  rec->region0_count = best_r0 - 1;
  rec->region1_count = nreg == 3 ? best_r1 - 1 : 0;
  for (int r = 0; r < 3; ++r) {
    rec->table_select[r] = best_sel[r];
    rec->region_bits[r] = best_bits[r];
    rec->region_pairs[r] = best_pairs[r];
  }
  rec->big_values_bits = best;
}

int mp3enc_scalefac_bits(const int32_t* scalefac, int scalefac_compress, const int32_t* sfb_count,
                         const int32_t* slen) {
  int bits = 0;
  for (int p = 0; p < 4 && sfb_count[p] != 0; ++p) bits += slen[p] * sfb_count[p];
  return bits;
}

namespace {

int bits_needed(int v) {
  int n = 0;
  while (v > 0) {
    ++n;
    v >>= 1;
  }
  return n;
}

int part_max(const int32_t* sf, int from, int count) {
  int m = 0;
  for (int b = from; b < from + count; ++b)
    if (sf[b] != mp3enc_no_step) m = std::max(m, int(sf[b]));
  return m;
}

}  // namespace

int mp3enc_scalefac_select_mpeg1(int block_type, const int32_t* scalefac, int32_t* sfb_count, int32_t* slen) {
  const int32_t cnt[4] = {block_type == 2 ? 9 : 6, block_type == 2 ? 9 : 5, block_type == 2 ? 9 : 5,
                          block_type == 2 ? 9 : 5};
  int need[4], from = 0;
  for (int p = 0; p < 4; ++p) {
    sfb_count[p] = cnt[p];
    need[p] = bits_needed(part_max(scalefac, from, cnt[p]));
    from += cnt[p];
  }
  int best = 15, best_cost = INT_MAX;
  for (int k = 0; k < 16; ++k) {
    const int s1 = l3_slen[k][0], s2 = l3_slen[k][1];
    if (need[0] > s1 || need[1] > s1 || need[2] > s2 || need[3] > s2) continue;
    const int cost = s1 * (cnt[0] + cnt[1]) + s2 * (cnt[2] + cnt[3]);
    if (cost < best_cost) {
      best_cost = cost;
      best = k;
    }
  }
  slen[0] = slen[1] = l3_slen[best][0];
  slen[2] = slen[3] = l3_slen[best][1];
  return best;
}

int mp3enc_scalefac_select_mpeg2(int intensity, int block_type, const int32_t* scalefac, int preflag,
                                 int32_t* sfb_count, int32_t* slen) {
  static const int max_slen[6][4] = {{4, 4, 3, 3}, {4, 4, 3, 0}, {3, 2, 0, 0},
                                     {4, 5, 5, 0}, {3, 3, 3, 0}, {3, 2, 0, 0}};
  static const int needs_preflag[6] = {0, 0, 1, 0, 0, 0};
  const int kind = block_type == 2 ? 1 : 0;
  int best = -1, best_cost = INT_MAX, best_s[4] = {};
  for (int c = intensity ? 3 : 0; c < (intensity ? 6 : 3); ++c) {
    if (needs_preflag[c] != (preflag ? 1 : 0)) continue;
    int s[4] = {}, from = 0;
    bool fits = true;
    bool ended = false;
    for (int p = 0; p < 4; ++p) {
      const int n = l3_nr_of_sfb[c][kind][p];
      if (n == 0) ended = true;
      if (ended) {
        s[p] = 0;
        continue;
      }
      const int m = part_max(scalefac, from, n);
      if (intensity)
        s[p] = p == 0 ? std::max(1, bits_needed(m)) : bits_needed(m + 1);
      else
        s[p] = bits_needed(m);
      if (s[p] > max_slen[c][p]) fits = false;
      from += n;
    }
    if (!fits) continue;
    int cost = 0;
    for (int p = 0; p < 4; ++p) cost += s[p] * l3_nr_of_sfb[c][kind][p];
    if (cost < best_cost) {
      best_cost = cost;
      best = c;
      std::copy(s, s + 4, best_s);
    }
  }
  if (best < 0) return -1;
  for (int p = 0; p < 4; ++p) {
    sfb_count[p] = l3_nr_of_sfb[best][kind][p];
    slen[p] = best_s[p];
  }
  const int* s = best_s;
  // The low bit of the intensity cases is intensity_scale: 1, the scale whose directions the
  // intensity search chooses from.
  switch (best) {
    case 0: return ((s[0] * 5 + s[1]) * 4 + s[2]) * 4 + s[3];
    case 1: return (s[0] * 5 + s[1]) * 4 + 400 + s[2];
    case 2: return s[0] * 3 + 500 + s[1];
    case 3: return ((s[0] * 6 + s[1]) * 6 + s[2]) * 2 + 1;
    case 4: return ((s[0] * 4 + s[1]) * 4 + 180 + s[2]) * 2 + 1;
    default: return (s[0] * 3 + 244 + s[1]) * 2 + 1;
  }
}
