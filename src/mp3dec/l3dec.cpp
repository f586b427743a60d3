// Layer III frame decoder: side information, reservoir, scale factors,
// Huffman decoding, requantisation, stereo, reordering, alias reduction, concealment,
// IMDCT and polyphase synthesis. 32-bit float arithmetic; outputs at 16-bit scale.
#include "mp3dec/l3dec.h"

#include <cmath>
#include <cstring>

#include "mp3dec/l3tables.h"

#ifdef __SSE__
#include <immintrin.h>
#endif

namespace {

constexpr double pi = 3.14159265358979323846;

// ---------------------------------------------------------------- formula tables

struct formula_tables {
  float pow43[128];
  float gain[128];           // 32768 * 2^(-k/4)
  float is_mpeg1[7][2];      // tan ratio, positions 0..6
  float is_mpeg2[2][32][2];  // [intensity_scale][position][left, right]
  float cs[8], ca[8];
  float win_long[4][36];
  float win_short[12];
  // The 18-point DCT-IV of long blocks is reduced to two 9-point DCT-IIs: inputs are scaled by
  // 2 cos(pi (2k+1) / 4N) so that a DCT-II yields sums of neighbouring DCT-IV outputs.
  float tw18[18];  // 2 cos(pi (2k+1) / 72)
  float tw9[9];    // 2 cos(pi (2k+1) / 36)
  float cos9[9][4];  // cos(pi (2k+1) p / 18), [p][k]; the folded 9-point DCT-II
  alignas(16) float cos9_even[4][4];  // [k][p / 2] for p = 0, 2, 4, 6
  alignas(16) float cos9_odd[4][4];   // [k][p / 2] for p = 1, 3, 5, 7
  float cos12[12][6];
  float dct_coef[5][16];  // 1 / (2 cos(pi (2n+1) / (2N))) for N = 32, 16, 8, 4, 2
  uint8_t crc8[256];
  formula_tables() {
    for (int i = 0; i < 128; ++i) pow43[i] = float(std::pow(double(i), 4.0 / 3.0));
    for (int k = 0; k < 128; ++k) gain[k] = float(32768.0 * std::pow(2.0, -k / 4.0));
    for (int p = 0; p < 7; ++p) {
      if (p == 6) {
        is_mpeg1[p][0] = 1.0f;
        is_mpeg1[p][1] = 0.0f;
      } else {
        double t = std::tan(p * pi / 12.0);
        is_mpeg1[p][0] = float(t / (1.0 + t));
        is_mpeg1[p][1] = float(1.0 / (1.0 + t));
      }
    }
    for (int sc = 0; sc < 2; ++sc) {
      const double io = sc ? std::sqrt(0.5) : std::pow(2.0, -0.25);
      for (int p = 0; p < 32; ++p) {
        if (p & 1) {
          is_mpeg2[sc][p][0] = float(std::pow(io, (p + 1) / 2));
          is_mpeg2[sc][p][1] = 1.0f;
        } else {
          is_mpeg2[sc][p][0] = 1.0f;
          is_mpeg2[sc][p][1] = float(std::pow(io, p / 2));
        }
      }
    }
    const double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
    for (int i = 0; i < 8; ++i) {
      double sq = std::sqrt(1.0 + c[i] * c[i]);
      cs[i] = float(1.0 / sq);
      ca[i] = float(c[i] / sq);
    }
    for (int i = 0; i < 36; ++i) win_long[0][i] = float(std::sin(pi / 36 * (i + 0.5)));
    for (int i = 0; i < 18; ++i) win_long[1][i] = float(std::sin(pi / 36 * (i + 0.5)));
    for (int i = 18; i < 24; ++i) win_long[1][i] = 1.0f;
    for (int i = 24; i < 30; ++i) win_long[1][i] = float(std::sin(pi / 12 * (i - 18 + 0.5)));
    for (int i = 30; i < 36; ++i) win_long[1][i] = 0.0f;
    for (int i = 0; i < 6; ++i) win_long[3][i] = 0.0f;
    for (int i = 6; i < 12; ++i) win_long[3][i] = float(std::sin(pi / 12 * (i - 6 + 0.5)));
    for (int i = 12; i < 18; ++i) win_long[3][i] = 1.0f;
    for (int i = 18; i < 36; ++i) win_long[3][i] = float(std::sin(pi / 36 * (i + 0.5)));
    for (int i = 0; i < 36; ++i) win_long[2][i] = win_long[0][i];
    for (int i = 0; i < 12; ++i) win_short[i] = float(std::sin(pi / 12 * (i + 0.5)));
    for (int k = 0; k < 18; ++k) tw18[k] = float(2.0 * std::cos(pi / 72 * (2 * k + 1)));
    for (int k = 0; k < 9; ++k) tw9[k] = float(2.0 * std::cos(pi / 36 * (2 * k + 1)));
    for (int p = 0; p < 9; ++p)
      for (int k = 0; k < 4; ++k) cos9[p][k] = float(std::cos(pi / 18 * (2 * k + 1) * p));
    for (int k = 0; k < 4; ++k)
      for (int j = 0; j < 4; ++j) {
        cos9_even[k][j] = cos9[2 * j][k];
        cos9_odd[k][j] = cos9[2 * j + 1][k];
      }
    for (int n = 0; n < 12; ++n)
      for (int k = 0; k < 6; ++k) cos12[n][k] = float(std::cos(pi / 24 * (2 * n + 1 + 6) * (2 * k + 1)));
    for (int l = 0, n = 32; n >= 2; ++l, n /= 2)
      for (int i = 0; i < n / 2; ++i) dct_coef[l][i] = float(0.5 / std::cos(pi * (2 * i + 1) / (2.0 * n)));
    for (int i = 0; i < 256; ++i) {
      uint8_t r = uint8_t(i);
      for (int b = 0; b < 8; ++b) r = (r & 0x80) ? uint8_t((r << 1) ^ 0x45) : uint8_t(r << 1);
      crc8[i] = r;
    }
  }
};
const formula_tables& tabs() {
  static const formula_tables t;
  return t;
}

// ---------------------------------------------------------------- bit reading

// Reader over a byte array that is padded with at least 8 readable bytes past any position used.
struct bit_reader {
  const uint8_t* data;
  int64_t pos;  // bits
  uint32_t peek32() const {
    const uint8_t* p = data + (pos >> 3);
    uint64_t v;
    std::memcpy(&v, p, 8);
    v = __builtin_bswap64(v);
    return uint32_t((v << (pos & 7)) >> 32);
  }
  uint32_t get(int n) {
    if (n == 0) return 0;
    uint32_t v = peek32() >> (32 - n);
    pos += n;
    return v;
  }
};

inline uint32_t huff_decode(bit_reader& r, const uint32_t* tab, int fbits) {
  const uint32_t peek = r.peek32();
  uint32_t e = tab[peek >> (32 - fbits)];
  if (e & 0x80000000u) {
    const int sb = int((e >> 24) & 31);
    e = tab[(e & 0xFFFFFFu) + ((peek << fbits) >> (32 - sb))];
    r.pos += fbits + int(e >> 16);
  } else {
    r.pos += int(e >> 16);
  }
  return e & 0xFFFFu;
}

uint16_t crc16_update(uint16_t crc, uint32_t value, int bits) {
  for (int i = bits - 1; i >= 0; --i) {
    const int bit = (value >> i) & 1;
    const int top = (crc >> 15) & 1;
    crc = uint16_t(crc << 1);
    if (bit ^ top) crc ^= 0x8005;
  }
  return crc;
}

// ---------------------------------------------------------------- pseudo-random generators

void ran3_seed(l3_ran3* g, int32_t seed) {
  const int32_t mbig = 1000000000, mseed = 161803398;
  int32_t mj = std::abs(mseed - std::abs(seed)) % mbig;
  g->ma[55] = mj;
  int32_t mk = 1;
  for (int i = 1; i <= 54; ++i) {
    const int ii = (21 * i) % 55;
    g->ma[ii] = mk;
    mk = mj - mk;
    if (mk < 0) mk += mbig;
    mj = g->ma[ii];
  }
  for (int k = 1; k <= 4; ++k)
    for (int i = 1; i <= 55; ++i) {
      g->ma[i] -= g->ma[1 + (i + 30) % 55];
      if (g->ma[i] < 0) g->ma[i] += mbig;
    }
  g->inext = 0;
  g->inextp = 31;
}

float ran3_next(l3_ran3* g) {
  if (++g->inext == 56) g->inext = 1;
  if (++g->inextp == 56) g->inextp = 1;
  int32_t mj = g->ma[g->inext] - g->ma[g->inextp];
  if (mj < 0) mj += 1000000000;
  g->ma[g->inext] = mj;
  return float(mj * 1e-9);
}

int shift_bit(uint32_t* x) {
  if (*x & 0x80000000u) {
    *x = (*x << 1) ^ 0x13u;
    return 1;
  }
  *x <<= 1;
  return 0;
}

// ---------------------------------------------------------------- side information

int side_info_bytes(int mpeg1, int channels) {
  if (mpeg1) return channels == 1 ? 17 : 32;
  return channels == 1 ? 9 : 17;
}

void read_side_info(Layer3State* s, bit_reader& r) {
  const int nch = s->channels;
  if (s->mpeg1) {
    s->main_data_begin = int(r.get(9));
    s->private_bits = int(r.get(nch == 1 ? 5 : 3));
    for (int ch = 0; ch < nch; ++ch)
      for (int b = 0; b < 4; ++b) s->scfsi[ch][b] = int(r.get(1));
  } else {
    s->main_data_begin = int(r.get(8));
    s->private_bits = int(r.get(nch == 1 ? 1 : 2));
    std::memset(s->scfsi, 0, sizeof(s->scfsi));
  }
  const int ngr = s->mpeg1 ? 2 : 1;
  for (int gr = 0; gr < ngr; ++gr)
    for (int ch = 0; ch < nch; ++ch) {
      l3_granule& g = s->gr[gr][ch];
      std::memset(&g, 0, sizeof(g));
      g.part2_3_length = int(r.get(12));
      g.big_values = int(r.get(9));
      g.global_gain = int(r.get(8));
      g.scalefac_compress = int(r.get(s->mpeg1 ? 4 : 9));
      g.window_switching = int(r.get(1));
      if (g.window_switching) {
        g.block_type = int(r.get(2));
        g.mixed_block = int(r.get(1));
        g.table_select[0] = int(r.get(5));
        g.table_select[1] = int(r.get(5));
        for (int w = 0; w < 3; ++w) g.subblock_gain[w] = int(r.get(3));
        g.region0_count = (g.block_type == 2 && !g.mixed_block) ? 8 : 7;
        g.region1_count = 20 - g.region0_count;
      } else {
        for (int i = 0; i < 3; ++i) g.table_select[i] = int(r.get(5));
        g.region0_count = int(r.get(4));
        g.region1_count = int(r.get(3));
      }
      g.preflag = s->mpeg1 ? int(r.get(1)) : 0;
      g.scalefac_scale = int(r.get(1));
      g.count1table_select = int(r.get(1));
      if (g.big_values > 288 || (g.window_switching && g.block_type == 0)) {
        g.part2_3_length = 0;
        g.big_values = 0;
        g.scalefac_compress = 0;
      }
    }
}

// Region boundaries, clamped to 576 and to 2 x big_values (mended fault).
void derive_regions(const Layer3State* s, l3_granule& g) {
  const int16_t* lb = l3_sfb_long[s->sfreq_row];
  int r1, r2;
  if (g.window_switching) {
    r1 = (g.block_type == 2 && !g.mixed_block) ? 3 * l3_sfb_short[s->sfreq_row][3] : lb[8];
    r2 = 576;
  } else {
    int i1 = g.region0_count + 1;
    int i2 = g.region0_count + g.region1_count + 2;
    r1 = i1 > 22 ? 576 : lb[i1];
    r2 = i2 > 22 ? 576 : lb[i2];
  }
  const int bv = 2 * g.big_values;
  if (r1 > bv) r1 = bv;
  if (r2 > bv) r2 = bv;
  if (r1 > 576) r1 = 576;
  if (r2 > 576) r2 = 576;
  if (r1 > r2) r1 = r2;
  g.region1_start = r1;
  g.region2_start = r2;
}

// ---------------------------------------------------------------- scale factors

void read_scalefactors_mpeg1(Layer3State* s, bit_reader& r, int gr, int ch) {
  const l3_granule& g = s->gr[gr][ch];
  const int slen1 = l3_slen[g.scalefac_compress & 15][0];
  const int slen2 = l3_slen[g.scalefac_compress & 15][1];
  uint8_t* sl = s->sf_long[ch];
  if (g.window_switching && g.block_type == 2) {
    int sfb = 0;
    if (g.mixed_block) {
      for (; sfb < 8; ++sfb) sl[sfb] = uint8_t(r.get(slen1));
      sfb = 3;
    } else {
      for (int i = 0; i < 22; ++i) sl[i] = 0;
    }
    for (; sfb < 12; ++sfb)
      for (int w = 0; w < 3; ++w) s->sf_short[ch][sfb][w] = uint8_t(r.get(sfb < 6 ? slen1 : slen2));
    for (int w = 0; w < 3; ++w) s->sf_short[ch][12][w] = 0;
    return;
  }
  static const int bounds[5] = {0, 6, 11, 16, 21};
  for (int b = 0; b < 4; ++b) {
    const int bits = b < 2 ? slen1 : slen2;
    if (gr == 1 && s->scfsi[ch][b]) continue;  // kept from granule 0
    for (int sfb = bounds[b]; sfb < bounds[b + 1]; ++sfb) sl[sfb] = uint8_t(r.get(bits));
  }
  sl[21] = 0;
}

void read_scalefactors_mpeg2(Layer3State* s, bit_reader& r, int ch, int intensity_right) {
  const l3_granule& g = s->gr[0][ch];
  int slen[4] = {0, 0, 0, 0};
  int tab;
  int sfc = g.scalefac_compress;
  int preflag = 0;
  if (intensity_right) {
    s->intensity_scale = sfc & 1;
    const int isc = sfc >> 1;
    if (isc < 180) {
      slen[0] = isc / 36;
      slen[1] = (isc % 36) / 6;
      slen[2] = (isc % 36) % 6;
      tab = 3;
    } else if (isc < 244) {
      const int t = isc - 180;
      slen[0] = (t % 64) >> 4;
      slen[1] = (t % 16) >> 2;
      slen[2] = t % 4;
      tab = 4;
    } else {
      const int t = isc - 244;
      slen[0] = t / 3;
      slen[1] = t % 3;
      tab = 5;
    }
  } else if (sfc < 400) {
    slen[0] = (sfc >> 4) / 5;
    slen[1] = (sfc >> 4) % 5;
    slen[2] = (sfc % 16) >> 2;
    slen[3] = sfc % 4;
    tab = 0;
  } else if (sfc < 500) {
    const int t = sfc - 400;
    slen[0] = (t >> 2) / 5;
    slen[1] = (t >> 2) % 5;
    slen[2] = t % 4;
    tab = 1;
  } else {
    const int t = sfc - 500;
    slen[0] = t / 3;
    slen[1] = t % 3;
    preflag = 1;
    tab = 2;
  }
  s->gr[0][ch].preflag = preflag;
  const int kind = (g.window_switching && g.block_type == 2) ? (g.mixed_block ? 2 : 1) : 0;
  const uint8_t* nr = l3_nr_of_sfb[tab][kind];
  // Read all values in order, then distribute.
  uint8_t vals[40];
  uint8_t maxv[40];
  int n = 0;
  for (int p = 0; p < 4; ++p)
    for (int i = 0; i < nr[p] && n < 40; ++i) {
      vals[n] = uint8_t(r.get(slen[p]));
      maxv[n] = uint8_t((1 << slen[p]) - 1);
      ++n;
    }
  for (; n < 40; ++n) vals[n] = 0, maxv[n] = 0;
  uint8_t* sl = s->sf_long[ch];
  if (kind == 0) {
    for (int sfb = 0; sfb < 21; ++sfb) {
      sl[sfb] = vals[sfb];
      if (intensity_right) s->is_max_long[sfb] = maxv[sfb];
    }
    sl[21] = 0;
    if (intensity_right) s->is_max_long[21] = s->is_max_long[20];
  } else {
    int k = 0, sfb = 0;
    for (int i = 0; i < 22; ++i) sl[i] = 0;
    if (kind == 2) {
      for (; sfb < 6; ++sfb, ++k) {
        sl[sfb] = vals[k];
        if (intensity_right) s->is_max_long[sfb] = maxv[k];
      }
      sfb = 3;
    }
    for (; sfb < 12; ++sfb) {
      for (int w = 0; w < 3; ++w, ++k) s->sf_short[ch][sfb][w] = vals[k];
      if (intensity_right) s->is_max_short[sfb] = maxv[k - 1];
    }
    for (int w = 0; w < 3; ++w) s->sf_short[ch][12][w] = 0;
    if (intensity_right) s->is_max_short[12] = s->is_max_short[11];
  }
}

// ---------------------------------------------------------------- Huffman decoding

// Returns 0 on success, -1 when a table that does not exist is selected (damaged granule).
int huffman_decode(Layer3State* s, bit_reader& r, l3_granule& g, int end_bit, int* q) {
  std::memset(q, 0, 576 * sizeof(int));
  const int bv_end = 2 * g.big_values > 576 ? 576 : 2 * g.big_values;
  int i = 0;
  for (int region = 0; region < 3 && i < bv_end; ++region) {
    const int region_end = region == 0 ? g.region1_start : region == 1 ? g.region2_start : bv_end;
    const l3_huff_table& t = l3_huff_tables[g.table_select[region] & 31];
    if (!t.valid) return -1;
    if (t.first_bits == 0) {  // table 0: zeros, no bits
      i = region_end > i ? region_end : i;
      continue;
    }
    const uint32_t* data = l3_huff_data + t.offset;
    const int lin = t.linbits;
    for (; i < region_end; i += 2) {
      // A damaged big_values would otherwise read on past the granule's bits into the
      // reservoir bytes after the valid data.
      if (r.pos >= end_bit) break;
      const uint32_t v = huff_decode(r, data, t.first_bits);
      int x = int(v >> 4), y = int(v & 15);
      if (lin && x == 15) x += int(r.get(lin));
      if (x && r.get(1)) x = -x;
      if (lin && y == 15) y += int(r.get(lin));
      if (y && r.get(1)) y = -y;
      if (r.pos > end_bit) break;  // the pair overran part2_3_length: dropped
      q[i] = x;
      q[i + 1] = y;
    }
    if (i < region_end) break;
  }
  i = bv_end;
  const l3_huff_table& c1 = l3_count1_tables[g.count1table_select];
  const uint32_t* c1data = l3_huff_data + c1.offset;
  while (r.pos < end_bit && i <= 572) {
    const uint32_t v = huff_decode(r, c1data, c1.first_bits);
    int vals[4] = {int(v >> 3) & 1, int(v >> 2) & 1, int(v >> 1) & 1, int(v) & 1};
    for (int k = 0; k < 4; ++k)
      if (vals[k] && r.get(1)) vals[k] = -1;
    if (r.pos > end_bit) break;  // overran part2_3_length: dropped
    for (int k = 0; k < 4; ++k) q[i + k] = vals[k];
    i += 4;
  }
  int nz = i;
  while (nz > 0 && q[nz - 1] == 0) --nz;
  g.nonzero = nz;
  r.pos = end_bit;
  return 0;
}

// ---------------------------------------------------------------- requantisation

inline float pow43(int v) {
  const int a = v < 0 ? -v : v;
  float m = a < 128 ? tabs().pow43[a] : float(std::pow(double(a), 4.0 / 3.0));
  return v < 0 ? -m : m;
}

void requantise(Layer3State* s, int ch, const l3_granule& g, const int* q, float* xr) {
  const formula_tables& T = tabs();
  const int16_t* lb = l3_sfb_long[s->sfreq_row];
  const int16_t* sb = l3_sfb_short[s->sfreq_row];
  const int nz = g.nonzero;
  const int shift = 2 * (1 + g.scalefac_scale);
  std::memset(xr, 0, 576 * sizeof(float));
  auto band = [&](int start, int end, int step, int k) {
    if (k < 0 || k > 127) return;  // whole band 0
    const float gn = T.gain[k];
    for (int i = start; i < end && i < nz; i += step) {
      if (q[i]) xr[i] = pow43(q[i]) * gn;
    }
  };
  const bool is_short = g.window_switching && g.block_type == 2;
  int long_end_sfb = 22;
  if (is_short) long_end_sfb = g.mixed_block ? (s->mpeg1 ? 8 : 6) : 0;
  for (int sfb = 0; sfb < long_end_sfb; ++sfb) {
    if (lb[sfb] >= nz) break;
    const int sf = s->sf_long[ch][sfb] + (g.preflag ? l3_pretab[sfb] : 0);
    band(lb[sfb], lb[sfb + 1], 1, 210 - g.global_gain + shift * sf);
  }
  if (!is_short) return;
  for (int sfb = g.mixed_block ? 3 : 0; sfb < 13; ++sfb) {
    const int width = sb[sfb + 1] - sb[sfb];
    const int start = 3 * sb[sfb];
    if (start >= nz) break;
    for (int w = 0; w < 3; ++w) {
      const int k = 210 - g.global_gain + 8 * g.subblock_gain[w] + shift * s->sf_short[ch][sfb][w];
      band(start + w * width, start + (w + 1) * width, 1, k);
    }
  }
}

// ---------------------------------------------------------------- stereo

void ms_lines(float* l, float* r, int start, int end) {
  const float k = 0.70710678118654752f;
  for (int i = start; i < end; ++i) {
    const float m = l[i], d = r[i];
    l[i] = (m + d) * k;
    r[i] = (m - d) * k;
  }
}

void stereo_process(Layer3State* s, int gr) {
  const int ms = (s->hdr.mode == 1) && (s->hdr.mode_ext & 2);
  const int is = (s->hdr.mode == 1) && (s->hdr.mode_ext & 1);
  l3_granule& g0 = s->gr[gr][0];
  l3_granule& g1 = s->gr[gr][1];
  float* l = s->xr[0];
  float* r = s->xr[1];
  int nz = g0.nonzero > g1.nonzero ? g0.nonzero : g1.nonzero;
  if (!ms && !is) return;
  if (!is) {
    ms_lines(l, r, 0, nz);
    g0.nonzero = g1.nonzero = nz;
    return;
  }
  const formula_tables& T = tabs();
  const int16_t* lb = l3_sfb_long[s->sfreq_row];
  const int16_t* sb = l3_sfb_short[s->sfreq_row];
  auto apply_is = [&](int start, int end, int pos, int illegal) {
    if (illegal) {
      if (ms) ms_lines(l, r, start, end);
      return;
    }
    float kl, kr;
    if (s->mpeg1) {
      kl = T.is_mpeg1[pos][0];
      kr = T.is_mpeg1[pos][1];
    } else {
      kl = T.is_mpeg2[s->intensity_scale][pos & 31][0];
      kr = T.is_mpeg2[s->intensity_scale][pos & 31][1];
    }
    for (int i = start; i < end; ++i) {
      const float v = l[i];
      l[i] = v * kl;
      r[i] = v * kr;
    }
  };
  auto long_pos = [&](int sfb, int* illegal) {
    const int src = sfb > 20 ? 20 : sfb;
    const int pos = s->sf_long[1][src];
    // MPEG-1 positions 7..15 are not intensity (mended fault: 8..15 overran the table).
    *illegal = s->mpeg1 ? (pos >= 7) : (pos == s->is_max_long[src]);
    return pos;
  };
  auto short_pos = [&](int sfb, int w, int* illegal) {
    const int src = sfb > 11 ? 11 : sfb;
    const int pos = s->sf_short[1][src][w];
    *illegal = s->mpeg1 ? (pos >= 7) : (pos == s->is_max_short[src]);
    return pos;
  };
  const bool is_short = g1.window_switching && g1.block_type == 2;
  if (!is_short) {
    // last nonzero band of the right channel
    int last = -1;
    for (int sfb = 0; sfb < 22; ++sfb)
      if (lb[sfb] < g1.nonzero) last = sfb;
    for (int sfb = 0; sfb < 22; ++sfb) {
      if (sfb <= last) {
        if (ms) ms_lines(l, r, lb[sfb], lb[sfb + 1]);
      } else {
        int illegal;
        const int pos = long_pos(sfb, &illegal);
        apply_is(lb[sfb], lb[sfb + 1], pos, illegal);
      }
    }
    g0.nonzero = g1.nonzero = 576;
    return;
  }
  // Short (or mixed) blocks: last nonzero short band per window of the right channel.
  const int first_short = g1.mixed_block ? 3 : 0;
  int max_sfb[3] = {-1, -1, -1};
  for (int sfb = first_short; sfb < 13; ++sfb) {
    const int width = sb[sfb + 1] - sb[sfb];
    for (int w = 0; w < 3; ++w) {
      const int start = 3 * sb[sfb] + w * width;
      for (int i = start; i < start + width; ++i)
        if (s->q_right[i] != 0) {
          max_sfb[w] = sfb;
          break;
        }
    }
  }
  if (g1.mixed_block) {
    const int long_bands = s->mpeg1 ? 8 : 6;
    const bool short_part_empty = max_sfb[0] < 0 && max_sfb[1] < 0 && max_sfb[2] < 0;
    int last = -1;
    for (int sfb = 0; sfb < long_bands; ++sfb)
      for (int i = lb[sfb]; i < lb[sfb + 1]; ++i)
        if (s->q_right[i] != 0) last = sfb;
    for (int sfb = 0; sfb < long_bands; ++sfb) {
      if (!short_part_empty || sfb <= last) {
        if (ms) ms_lines(l, r, lb[sfb], lb[sfb + 1]);
      } else {
        int illegal;
        const int pos = long_pos(sfb, &illegal);
        apply_is(lb[sfb], lb[sfb + 1], pos, illegal);
      }
    }
  }
  for (int sfb = first_short; sfb < 13; ++sfb) {
    const int width = sb[sfb + 1] - sb[sfb];
    for (int w = 0; w < 3; ++w) {
      const int start = 3 * sb[sfb] + w * width;
      if (sfb <= max_sfb[w]) {
        if (ms) ms_lines(l, r, start, start + width);
      } else {
        int illegal;
        const int pos = short_pos(sfb, w, &illegal);
        apply_is(start, start + width, pos, illegal);
      }
    }
  }
  g0.nonzero = g1.nonzero = 576;
}

// ---------------------------------------------------------------- reorder, alias

void reorder(Layer3State* s, const l3_granule& g, float* xr) {
  const int16_t* sb = l3_sfb_short[s->sfreq_row];
  float tmp[576];
  for (int sfb = g.mixed_block ? 3 : 0; sfb < 13; ++sfb) {
    const int width = sb[sfb + 1] - sb[sfb];
    const int start = 3 * sb[sfb];
    for (int w = 0; w < 3; ++w)
      for (int j = 0; j < width; ++j) tmp[start + 3 * j + w] = xr[start + w * width + j];
    std::memcpy(xr + start, tmp + start, size_t(3 * width) * sizeof(float));
  }
}

void alias_reduce(float* xr, int boundaries) {
  const formula_tables& T = tabs();
  for (int sb = 1; sb <= boundaries; ++sb) {
    float* a = xr + 18 * sb;
    for (int i = 0; i < 8; ++i) {
      const float bu = a[-1 - i], bd = a[i];
      a[-1 - i] = bu * T.cs[i] - bd * T.ca[i];
      a[i] = bd * T.cs[i] + bu * T.ca[i];
    }
  }
}

// ---------------------------------------------------------------- concealment

void conceal_store(l3_conceal* c, const float* xr, const l3_granule& g) {
  if (g.window_switching && g.block_type == 2) return;
  // Lines past the subband after the last nonzero one are 0 (alias reduction reaches only
  // into that subband), so only those are stored.
  int n = ((g.nonzero + 17) / 18 + 1) * 18;
  if (n > 576) n = 576;
  std::memcpy(c->history[c->write_index], xr, size_t(n) * sizeof(float));
  c->history_len[c->write_index] = n;
  c->history[c->write_index][0] = 0.0f;
  c->history_side[c->write_index] = g;
  c->write_index = (c->write_index + 1) & 3;
  c->mean_current = 0;
}

void conceal_build(Layer3State* s, l3_conceal* c, float* xr, l3_granule& g) {
  const int16_t* lb = l3_sfb_long[s->sfreq_row];
  if (!c->mean_current) {
    for (int i = 0; i < 576; ++i) {
      float sum = 0.0f;
      for (int k = 1; k <= 3; ++k) {
        const int e = (c->write_index - k) & 3;
        if (i < c->history_len[e]) sum += std::fabs(c->history[e][i]);
      }
      c->mean[i] = sum * 0.33333334f;
    }
    for (int b = 0; b < 22; ++b) {
      float e = 0.0f;
      for (int i = lb[b]; i < lb[b + 1]; ++i) e += c->mean[i] * c->mean[i];
      c->band_energy[b] = e;
    }
    c->mean_current = 1;
  }
  g = c->history_side[(c->write_index - 1) & 3];
  for (int b = 0; b < 22; ++b) {
    const int start = lb[b], end = lb[b + 1];
    if (c->band_energy[b] > 0.0f) {
      float sum = 0.0f;
      for (int i = start; i < end; ++i) {
        float v;
        if (b == 0) {
          v = shift_bit(&s->shift_reg) ? c->mean[i] : -c->mean[i];
        } else {
          v = ran3_next(&s->ran) - 0.5f;
        }
        xr[i] = v;
        sum += v * v;
      }
      if (sum != 0.0f) {
        const float k = std::sqrt(c->band_energy[b] / sum);
        for (int i = start; i < end; ++i) xr[i] *= k;
      }
    } else {
      for (int i = start; i < end; ++i) xr[i] = 0.0f;
    }
  }
  // Band 21 runs to line 576, so nothing is left above it to clear.
  g.nonzero = lb[22];
}

// ---------------------------------------------------------------- IMDCT

#ifndef __SSE__
// Two 9-point DCT-IIs, f = DCT-II(a) and g = DCT-II(b). Mirrored inputs share their cosines up
// to a sign, so folding them first halves the multiplications.
void dct9_pair(const float* a, const float* b, float* f, float* g) {
  const formula_tables& T = tabs();
  float sa[4], da[4], sb[4], db[4];
  for (int k = 0; k < 4; ++k) {
    sa[k] = a[k] + a[8 - k];
    da[k] = a[k] - a[8 - k];
    sb[k] = b[k] + b[8 - k];
    db[k] = b[k] - b[8 - k];
  }
  for (int p = 0; p < 8; p += 2) {
    const float c4 = (p & 2) ? -1.0f : 1.0f;
    float fe = a[4] * c4, ge = b[4] * c4, fo = 0.0f, go = 0.0f;
    for (int k = 0; k < 4; ++k) {
      fe += sa[k] * T.cos9[p][k];
      ge += sb[k] * T.cos9[p][k];
      fo += da[k] * T.cos9[p + 1][k];
      go += db[k] * T.cos9[p + 1][k];
    }
    f[p] = fe;
    g[p] = ge;
    f[p + 1] = fo;
    g[p + 1] = go;
  }
  float f8 = a[4], g8 = b[4];
  for (int k = 0; k < 4; ++k) {
    f8 += sa[k] * T.cos9[8][k];
    g8 += sb[k] * T.cos9[8][k];
  }
  f[8] = f8;
  g[8] = g8;
}
#else
// Lane shifts towards higher indices, zero filled.
inline __m128 shift_up1(__m128 x) {
  return _mm_move_ss(_mm_shuffle_ps(x, x, _MM_SHUFFLE(2, 1, 0, 0)), _mm_setzero_ps());
}
inline __m128 shift_up2(__m128 x) { return _mm_movelh_ps(_mm_setzero_ps(), x); }
inline __m128 prefix_sum(__m128 x) {
  x = _mm_add_ps(x, shift_up1(x));
  return _mm_add_ps(x, shift_up2(x));
}
inline float lane3(__m128 x) { return _mm_cvtss_f32(_mm_shuffle_ps(x, x, _MM_SHUFFLE(3, 3, 3, 3))); }
#endif

void imdct36(const float* X, float* out, float* overlap, const float* win) {
  const formula_tables& T = tabs();
  // DCT-IV of length 18: the even outputs of the scaled DCT-II are a 9-point DCT-II of the
  // mirrored sums, the odd ones a 9-point DCT-IV of the differences, scaled again the same way.
  float a[9], b[9];
  for (int k = 0; k < 9; ++k) {
    const float v0 = X[k] * T.tw18[k], v1 = X[17 - k] * T.tw18[17 - k];
    a[k] = v0 + v1;
    b[k] = (v0 - v1) * T.tw9[k];
  }
#ifdef __SSE__
  // Both 9-point DCT-IIs, outputs split by parity of p into lanes p / 2: e = DCT-II(a), d =
  // DCT-II(b); the last output of each (p = 8) is done apart.
  float sa[4], da[4], sb[4], db[4];
  for (int k = 0; k < 4; ++k) {
    sa[k] = a[k] + a[8 - k];
    da[k] = a[k] - a[8 - k];
    sb[k] = b[k] + b[8 - k];
    db[k] = b[k] - b[8 - k];
  }
  const __m128 alt = _mm_setr_ps(1.0f, -1.0f, 1.0f, -1.0f);
  __m128 ee = _mm_mul_ps(_mm_set1_ps(a[4]), alt), de = _mm_mul_ps(_mm_set1_ps(b[4]), alt);
  __m128 eo = _mm_setzero_ps(), dd = _mm_setzero_ps();
  float e8 = a[4], d8 = b[4];
  for (int k = 0; k < 4; ++k) {
    const __m128 ce = _mm_load_ps(T.cos9_even[k]), co = _mm_load_ps(T.cos9_odd[k]);
    ee = _mm_add_ps(ee, _mm_mul_ps(_mm_set1_ps(sa[k]), ce));
    de = _mm_add_ps(de, _mm_mul_ps(_mm_set1_ps(sb[k]), ce));
    eo = _mm_add_ps(eo, _mm_mul_ps(_mm_set1_ps(da[k]), co));
    dd = _mm_add_ps(dd, _mm_mul_ps(_mm_set1_ps(db[k]), co));
    e8 += sa[k] * T.cos9[8][k];
    d8 += sb[k] * T.cos9[8][k];
  }
  // Undo the scaling: each DCT-II output is the sum of two neighbouring DCT-IV outputs, so the
  // DCT-IV outputs are alternating running sums, done here as lane prefix sums of pairs.
  const __m128 half0 = _mm_setr_ps(0.5f, 1.0f, 1.0f, 1.0f);
  ee = _mm_mul_ps(ee, half0);
  de = _mm_mul_ps(de, half0);
  const __m128 o_odd = prefix_sum(_mm_sub_ps(dd, de));       // o1, o3, o5, o7
  const __m128 o_even = _mm_sub_ps(de, shift_up1(o_odd));    // o0, o2, o4, o6
  const float o8 = d8 - lane3(o_odd);
  // Interleaved, e and o form the scaled DCT-II of the 18 inputs; the odd outputs are running
  // sums of t = o - e.
  const __m128 te = _mm_sub_ps(o_even, ee), to = _mm_sub_ps(o_odd, eo);
  __m128 c3 = prefix_sum(_mm_add_ps(te, to));  // c3, c7, c11, c15
  const __m128 below = shift_up1(c3);          // 0, c3, c7, c11
  __m128 c1 = _mm_add_ps(below, te);           // c1, c5, c9, c13
  __m128 c0 = _mm_sub_ps(ee, below);           // c0, c4, c8, c12
  __m128 c2 = _mm_sub_ps(eo, c1);              // c2, c6, c10, c14
  alignas(16) float c[20];
  c[16] = e8 - lane3(c3);
  c[17] = lane3(c3) + (o8 - e8);
  _MM_TRANSPOSE4_PS(c0, c1, c2, c3);
  _mm_store_ps(c, c0);
  _mm_store_ps(c + 4, c1);
  _mm_store_ps(c + 8, c2);
  _mm_store_ps(c + 12, c3);
#else
  float e[9], d[9];
  dct9_pair(a, b, e, d);
  // Undo the scaling: each DCT-II output is the sum of two neighbouring DCT-IV outputs. Stepping
  // two outputs at a time from pairwise differences halves the serial chain of additions, which
  // otherwise bounds the speed of this routine.
  float o[9];
  o[0] = 0.5f * d[0];
  o[1] = d[1] - o[0];
  o[3] = (d[3] - d[2]) + o[1];
  o[5] = (d[5] - d[4]) + o[3];
  o[7] = (d[7] - d[6]) + o[5];
  o[2] = d[2] - o[1];
  o[4] = d[4] - o[3];
  o[6] = d[6] - o[5];
  o[8] = d[8] - o[7];
  // Interleaved, e and o form the scaled DCT-II of the 18 inputs; the odd outputs are running
  // sums of t = o - e.
  e[0] *= 0.5f;
  float t[9];
  for (int p = 0; p < 9; ++p) t[p] = o[p] - e[p];
  float c[18];
  c[1] = t[0];
  c[3] = t[0] + t[1];
  c[7] = c[3] + (t[2] + t[3]);
  c[11] = c[7] + (t[4] + t[5]);
  c[15] = c[11] + (t[6] + t[7]);
  c[5] = c[3] + t[2];
  c[9] = c[7] + t[4];
  c[13] = c[11] + t[6];
  c[17] = c[15] + t[8];
  c[0] = e[0];
  for (int p = 1; p < 9; ++p) c[2 * p] = e[p] - c[2 * p - 1];
#endif
  // Unfold the 18 outputs to the 36-sample block (symmetric, then antisymmetric half), window,
  // and overlap-add.
  for (int i = 0; i < 9; ++i) {
    out[i] = c[9 + i] * win[i] + overlap[i];
    out[9 + i] = overlap[9 + i] - c[17 - i] * win[9 + i];
    overlap[i] = -(c[8 - i] * win[18 + i]);
    overlap[9 + i] = -(c[i] * win[27 + i]);
  }
}

void imdct12x3(const float* X, float* out, float* overlap) {
  const formula_tables& T = tabs();
  float z[36];
  for (int i = 0; i < 36; ++i) z[i] = 0.0f;
  for (int w = 0; w < 3; ++w) {
    for (int n = 0; n < 12; ++n) {
      float acc = 0.0f;
      for (int k = 0; k < 6; ++k) acc += X[3 * k + w] * T.cos12[n][k];
      z[6 + 6 * w + n] += acc * T.win_short[n];
    }
  }
  for (int i = 0; i < 18; ++i) {
    out[i] = z[i] + overlap[i];
    overlap[i] = z[18 + i];
  }
}

void hybrid_synthesis(Layer3State* s, int ch, const l3_granule& g, const float* xr, float* out) {
  const formula_tables& T = tabs();
  float* ov = s->overlap[ch];
  const int last_sb = g.nonzero > 0 ? (g.nonzero - 1) / 18 : -1;
  int nsb = last_sb + 2;
  if (nsb > 32) nsb = 32;
  if (nsb < 1) nsb = 1;
  const bool is_short = g.window_switching && g.block_type == 2;
  const int long_sbs = is_short ? (g.mixed_block ? (s->sfreq_row == 8 ? 4 : 2) : 0) : 32;
  for (int sb = 0; sb < nsb; ++sb) {
    if (sb < long_sbs) {
      const int bt = (is_short || !g.window_switching) ? 0 : g.block_type;
      imdct36(xr + 18 * sb, out + 18 * sb, ov + 18 * sb, T.win_long[bt]);
    } else {
      imdct12x3(xr + 18 * sb, out + 18 * sb, ov + 18 * sb);
    }
  }
  for (int sb = nsb; sb < 32; ++sb) {
    std::memcpy(out + 18 * sb, ov + 18 * sb, 18 * sizeof(float));
    std::memset(ov + 18 * sb, 0, 18 * sizeof(float));
  }
  for (int sb = 1; sb < 32; sb += 2)
    for (int t = 1; t < 18; t += 2) out[18 * sb + t] = -out[18 * sb + t];
}

// ---------------------------------------------------------------- payload

// Locates an mp3PRO payload at the start of the ancillary bytes.
int locate_payload(const uint8_t* bytes, int count, int channels, uint8_t* payload) {
  if (count > L3_MAX_PAYLOAD) count = L3_MAX_PAYLOAD;
  if (count < 2) return 0;
  const int tag = bytes[0] >> 4;
  int len = ((bytes[0] & 15) << 4) | (bytes[1] >> 4);
  int used_bits = 12;
  if (len == 255) {
    if (count < 3) return 0;
    len += ((bytes[1] & 15) << 4) | (bytes[2] >> 4);
    used_bits = 20;
  }
  const int remaining = count - (used_bits == 12 ? 2 : 3);
  if (len > remaining) return 0;
  const bool tag_ok = channels == 1 ? (tag == 13 || tag == 15) : (tag == 12 || tag == 14);
  if (!tag_ok) return 0;
  // payload bit stream: the tag, then the bits after the length field
  auto bits_at = [&](int bitpos) -> int {  // 8 bits starting at bitpos (nibble aligned)
    const int byte = bitpos >> 3;
    if (bitpos & 4) {
      const int hi = byte < count ? bytes[byte] & 15 : 0;
      const int lo = byte + 1 < count ? bytes[byte + 1] >> 4 : 0;
      return (hi << 4) | lo;
    }
    return byte < count ? bytes[byte] : 0;
  };
  const int first = (tag << 4) | (bits_at(used_bits) >> 4);
  if (!(first & 8)) return 0;  // payload CRC flag not set
  payload[0] = uint8_t(first);
  for (int i = 0; i < len; ++i) payload[1 + i] = uint8_t(bits_at(used_bits + 4 + 8 * i));
  return len + 1;
}

}  // namespace

uint64_t l3_block_counts[5] = {0, 0, 0, 0, 0};

// ---------------------------------------------------------------- public helpers

uint8_t l3_crc8(const uint8_t* bytes, int count) {
  uint8_t crc = 0xFF;
  for (int i = 0; i < count; ++i) crc = tabs().crc8[crc ^ bytes[i]];
  return crc;
}

int l3_search_gapless(const uint8_t* b, int count, uint32_t* delay, uint32_t* length,
                      int* vbri_seen) {
  int i = 0;
  while (i < count) {
    if (b[i] == 0xB0) {
      if (count - i < 8) return 0;
      if (l3_crc8(b + i, 7) == b[i + 7]) {
        const uint32_t d = (uint32_t(b[i + 1]) << 8) | b[i + 2];
        const uint32_t l = (uint32_t(b[i + 3]) << 24) | (uint32_t(b[i + 4]) << 16) |
                           (uint32_t(b[i + 5]) << 8) | b[i + 6];
        // A chance block with length 0 would silence the whole file. The length counts
        // the samples after the delay, so a delay above it is a short clip, not a fault.
        if (l != 0) {
          *delay = d;
          *length = l;
          return 1;
        }
      }
      i += 8;
    } else if (b[i] == 'V' && count - i >= 4 && b[i + 1] == 'B' && b[i + 2] == 'R' && b[i + 3] == 'I') {
      if (vbri_seen) ++*vbri_seen;
      if (count - (i + 1) < 25) {
        i = count;
      } else {
        const int entries = (b[i + 18] << 8) | b[i + 19];
        const int esize = (b[i + 22] << 8) | b[i + 23];
        const long long next = (long long)i + 26 + (long long)entries * esize;
        i = next > count ? count : int(next);
      }
    } else {
      ++i;
    }
  }
  return 0;
}

int l3_read_ancillary_text(const uint8_t* b, int count, uint8_t* out, int capacity) {
  int copied = 0, used = 0, blocks = 0;
  int i = 0;
  while (i < count && blocks < 2) {
    if (b[i] == 0xB0 && count - i >= 8 && l3_crc8(b + i, 7) == b[i + 7]) {
      i += 8;
    } else if (b[i] == 'V' && count - i >= 4 && b[i + 1] == 'B' && b[i + 2] == 'R' && b[i + 3] == 'I') {
      if (count - (i + 1) < 25) break;
      const long long next =
          (long long)i + 26 + (long long)((b[i + 18] << 8) | b[i + 19]) * ((b[i + 22] << 8) | b[i + 23]);
      i = next > count ? count : int(next);
    } else if ((b[i] >> 4) == 0xA) {
      int len = b[i] & 15, hdr = 1;
      if (len == 15) {
        if (i + 1 >= count) break;
        len += b[i + 1];
        hdr = 2;
      }
      if (i + hdr + len > count) break;  // longer than what remains: skipped
      // Mended fault: every copy is bounded by the caller's capacity.
      for (int k = 0; k < len && used + 1 < capacity; ++k) {
        out[used++] = b[i + hdr + k];
        ++copied;
      }
      if (used < capacity) out[used++] = 0;
      ++blocks;
      i += hdr + len;
    } else {
      ++i;
    }
  }
  return copied;
}

namespace {
// Lee's recursive DCT-II, unnormalised: X[k] = sum x[n] cos(pi (2n+1) k / (2N)).
template <int N, int Level>
struct dct_lee {
  static inline void run(const float* x, float* X, const float (*coef)[16]) {
    float a[N / 2], b[N / 2], A[N / 2], B[N / 2];
    for (int i = 0; i < N / 2; ++i) {
      a[i] = x[i] + x[N - 1 - i];
      b[i] = (x[i] - x[N - 1 - i]) * coef[Level][i];
    }
    dct_lee<N / 2, Level + 1>::run(a, A, coef);
    dct_lee<N / 2, Level + 1>::run(b, B, coef);
    for (int k = 0; k < N / 2 - 1; ++k) {
      X[2 * k] = A[k];
      X[2 * k + 1] = B[k] + B[k + 1];
    }
    X[N - 2] = A[N / 2 - 1];
    X[N - 1] = B[N / 2 - 1];
  }
};
template <int Level>
struct dct_lee<2, Level> {
  static inline void run(const float* x, float* X, const float (*coef)[16]) {
    X[0] = x[0] + x[1];
    X[1] = (x[0] - x[1]) * coef[Level][0];
  }
};
}  // namespace

void l3_dct32(const float* in, float* out) { dct_lee<32, 0>::run(in, out, tabs().dct_coef); }

void l3_synth_slot(float v[16][64], int32_t* pos, const float* s, float* out, int stride) {
  float X[32];
  l3_dct32(s, X);
  const int p = (*pos - 1) & 15;
  *pos = p;
  float* V = v[p];
  for (int i = 0; i < 16; ++i) V[i] = X[16 + i];
  V[16] = 0.0f;
  for (int i = 17; i < 48; ++i) V[i] = -X[48 - i];
  for (int i = 48; i < 64; ++i) V[i] = -X[i - 48];
  alignas(16) float acc[32];
  const float* D = l3_synth_window;
#ifdef __SSE__
  __m128 a[8];
  for (int q = 0; q < 8; ++q) a[q] = _mm_setzero_ps();
  for (int i = 0; i < 8; ++i) {
    const float* v0 = v[(p + 2 * i) & 15];
    const float* v1 = v[(p + 2 * i + 1) & 15] + 32;
    const float* d0 = D + 64 * i;
    const float* d1 = D + 64 * i + 32;
    for (int q = 0; q < 8; ++q) {
      a[q] = _mm_add_ps(a[q], _mm_mul_ps(_mm_loadu_ps(d0 + 4 * q), _mm_load_ps(v0 + 4 * q)));
      a[q] = _mm_add_ps(a[q], _mm_mul_ps(_mm_loadu_ps(d1 + 4 * q), _mm_load_ps(v1 + 4 * q)));
    }
  }
  for (int q = 0; q < 8; ++q) _mm_store_ps(acc + 4 * q, a[q]);
#else
  for (int j = 0; j < 32; ++j) acc[j] = 0.0f;
  for (int i = 0; i < 8; ++i) {
    const float* v0 = v[(p + 2 * i) & 15];
    const float* v1 = v[(p + 2 * i + 1) & 15] + 32;
    const float* d0 = D + 64 * i;
    const float* d1 = D + 64 * i + 32;
    for (int j = 0; j < 32; ++j) acc[j] += d0[j] * v0[j] + d1[j] * v1[j];
  }
#endif
  for (int j = 0; j < 32; ++j) out[j * stride] = acc[j];
}

// ---------------------------------------------------------------- state

void l3dec_init(Layer3State* s, FrameSync* sync, int, int, int float_output, int no_crc_check,
                int gapless_search) {
  std::memset(s, 0, sizeof(*s));
  s->sync = sync;
  s->float_output = float_output ? 1 : 0;
  s->no_crc_check = no_crc_check ? 1 : 0;
  s->gapless_search = gapless_search ? 1 : 0;
  l3dec_reset(s, 1);
}

void l3dec_reset(Layer3State* s, int full) {
  if (s->reservoir_dirty < s->reservoir_len) s->reservoir_dirty = s->reservoir_len;
  s->reservoir_len = 0;
  s->prev_anc_start = 0;
  s->payload_len = 0;
  if (full) {
    std::memset(s->overlap, 0, sizeof(s->overlap));
    std::memset(s->synth_v, 0, sizeof(s->synth_v));
    s->synth_pos[0] = s->synth_pos[1] = 0;
    std::memset(s->conceal, 0, sizeof(s->conceal));
    ran3_seed(&s->ran, 42);
    s->shift_reg = 1044180u;
    std::memset(s->xr, 0, sizeof(s->xr));
    std::memset(s->hybrid, 0, sizeof(s->hybrid));
  }
}

SSC l3dec_decode_frame(Layer3State* s, float* out, int capacity, int* out_bytes,
                       uint8_t* ancillary_out, int* ancillary_count, uint32_t* gapless_delay,
                       uint32_t* gapless_length) {
  FrameSync* sync = s->sync;
  const MpaHeader& h = sync->header;
  *out_bytes = 0;
  if (h.layer != 3) return SSC_DEC_WRONG_LAYER;
  const int spf = mpa_samples_per_frame(&h);
  const int sample_size = s->float_output ? 4 : 2;
  const int core_bytes = spf * h.channels * sample_size;
  if (core_bytes > capacity) return SSC_DEC_BUFFER_TOO_SMALL;

  // Take the whole frame out of the input ring (the synchroniser made sure it is there).
  const int frame_bytes = h.frame_bits / 8;
  uint8_t frame[1800];
  const int take = frame_bytes > 1728 ? 1728 : frame_bytes;
  bitbuf_read_bytes(&sync->buf, frame, take);
  std::memset(frame + take, 0, 16);  // the reader's padding
  if (frame_bytes > take) bitbuf_skip_bits(&sync->buf, (frame_bytes - take) * 8);

  s->hdr = h;
  s->channels = h.channels;
  s->mpeg1 = h.version == 0;
  s->sfreq_row = h.version * 3 + h.samplerate_index;
  s->header_bits = h.crc_present ? 48 : 32;
  s->check_crc = h.crc_present && !s->no_crc_check;
  const int nch = s->channels;
  const int ngr = s->mpeg1 ? 2 : 1;
  const int side_len = side_info_bytes(s->mpeg1, nch);

  bit_reader r{frame, int64_t(s->header_bits)};
  read_side_info(s, r);
  bool damaged = false;
  if (s->check_crc) {
    uint16_t crc = 0xFFFF;
    crc = crc16_update(crc, frame[2], 8);
    crc = crc16_update(crc, frame[3], 8);
    for (int i = 0; i < side_len; ++i) crc = crc16_update(crc, frame[6 + i], 8);
    const uint16_t stored = uint16_t((frame[4] << 8) | frame[5]);
    if (crc != stored) {
      damaged = true;
      s->main_data_begin = 0;
      s->private_bits = 0;
      std::memset(s->scfsi, 0, sizeof(s->scfsi));
      std::memset(s->gr, 0, sizeof(s->gr));
    }
  }
  for (int gr = 0; gr < ngr; ++gr)
    for (int ch = 0; ch < nch; ++ch) derive_regions(s, s->gr[gr][ch]);

  // Fill the reservoir.
  int main_len = frame_bytes - s->header_bits / 8 - side_len;
  if (main_len < 0) main_len = 0;
  if (main_len > take - s->header_bits / 8 - side_len) main_len = take - s->header_bits / 8 - side_len;
  if (main_len < 0) main_len = 0;
  if (s->reservoir_len + main_len > L3_RESERVOIR_BYTES) {
    const int drop = s->reservoir_len + main_len - L3_RESERVOIR_BYTES;
    std::memmove(s->reservoir, s->reservoir + drop, size_t(s->reservoir_len - drop));
    if (s->reservoir_dirty < s->reservoir_len) s->reservoir_dirty = s->reservoir_len;
    s->reservoir_len -= drop;
    s->prev_anc_start = s->prev_anc_start > drop ? s->prev_anc_start - drop : 0;
  }
  const int before = s->reservoir_len;
  std::memcpy(s->reservoir + before, frame + s->header_bits / 8 + side_len, size_t(main_len));
  s->reservoir_len += main_len;
  // Bytes past the data read as 0 (a damaged part2_3_length may reach 2048 bytes further).
  if (s->reservoir_dirty > s->reservoir_len)
    std::memset(s->reservoir + s->reservoir_len, 0, size_t(s->reservoir_dirty - s->reservoir_len));
  s->reservoir_dirty = s->reservoir_len;
  const bool main_ok = before >= s->main_data_begin;
  const int main_start = main_ok ? before - s->main_data_begin : before;

  // Ancillary text between the previous frame's granules and this frame's main data.
  int anc_count = 0;
  if (ancillary_out && ancillary_count) {
    const int cap = *ancillary_count > 0 ? *ancillary_count : MP3DEC_MAX_ANCILLARY_BYTES;
    if (main_start > s->prev_anc_start)
      anc_count = l3_read_ancillary_text(s->reservoir + s->prev_anc_start,
                                         main_start - s->prev_anc_start, ancillary_out, cap);
    *ancillary_count = anc_count;
  }

  const int stride = nch;
  SSC status = SSC_OK;
  if (!main_ok) {
    if (sync->confidence != 0) {
      ++sync->confidence;
      s->prev_anc_start = s->reservoir_len;
      return SSC_SYNC_NEED_DATA;
    }
    for (int gr = 0; gr < ngr; ++gr) {
      for (int ch = 0; ch < nch; ++ch) {
        l3_granule& g = s->gr[gr][ch];
        std::memset(&g, 0, sizeof(g));
        float* xr = s->xr[ch];
        std::memset(xr, 0, 576 * sizeof(float));
        conceal_build(s, &s->conceal[ch], xr, g);
        hybrid_synthesis(s, ch, g, xr, s->hybrid[ch]);
        for (int t = 0; t < 18; ++t) {
          float sbs[32];
          for (int sb = 0; sb < 32; ++sb) sbs[sb] = s->hybrid[ch][18 * sb + t];
          l3_synth_slot(s->synth_v[ch], &s->synth_pos[ch], sbs, out + (gr * 576 + t * 32) * stride + ch, stride);
        }
      }
    }
    s->prev_anc_start = s->reservoir_len;
    *out_bytes = core_bytes;
    return SSC_INFO_NOT_ENOUGH_MAIN_DATA;
  }

  bit_reader mr{s->reservoir, int64_t(main_start) * 8};
  int q[576];
  for (int gr = 0; gr < ngr; ++gr) {
    const bool gr_damaged = damaged;
    bool bad_table[2] = {false, false};
    for (int ch = 0; ch < nch; ++ch) {
      l3_granule& g = s->gr[gr][ch];
      const int64_t start = mr.pos;
      const int64_t end = start + g.part2_3_length;
      if (s->mpeg1)
        read_scalefactors_mpeg1(s, mr, gr, ch);
      else
        read_scalefactors_mpeg2(s, mr, ch, ch == 1 && s->hdr.mode == 1 && (s->hdr.mode_ext & 1));
      if (mr.pos > end) mr.pos = end;
      if (huffman_decode(s, mr, g, int(end), q) < 0) {
        // table_select 4 or 14 (mended fault): the granule is damaged and zeroed.
        std::memset(q, 0, sizeof(q));
        g.nonzero = 0;
        mr.pos = end;
        bad_table[ch] = true;
      }
      requantise(s, ch, g, q, s->xr[ch]);
      if (ch == 1) std::memcpy(s->q_right, q, sizeof(s->q_right));
    }
    if (nch == 2) stereo_process(s, gr);
    for (int ch = 0; ch < nch; ++ch) {
      l3_granule& g = s->gr[gr][ch];
      float* xr = s->xr[ch];
      ++l3_block_counts[g.window_switching && g.mixed_block ? 4 : g.block_type & 3];
      const bool is_short = g.window_switching && g.block_type == 2;
      if (is_short) {
        reorder(s, g, xr);
        if (g.mixed_block) alias_reduce(xr, s->sfreq_row == 8 ? 3 : 1);
        int k = 575;
        while (k >= 0 && xr[k] == 0.0f) --k;
        g.nonzero = k + 1;
      } else {
        const int last_sb = g.nonzero > 0 ? (g.nonzero - 1) / 18 : -1;
        int boundaries = last_sb + 1;
        if (boundaries > 31) boundaries = 31;
        if (boundaries > 0) alias_reduce(xr, boundaries);
      }
      if (bad_table[ch]) {
        std::memset(xr, 0, 576 * sizeof(float));  // damaged granule: zeroed, not stored
        g.nonzero = 0;
      } else if (gr_damaged) {
        conceal_build(s, &s->conceal[ch], xr, g);
      } else {
        conceal_store(&s->conceal[ch], xr, g);
      }
      hybrid_synthesis(s, ch, g, xr, s->hybrid[ch]);
      for (int t = 0; t < 18; ++t) {
        float sbs[32];
        for (int sb = 0; sb < 32; ++sb) sbs[sb] = s->hybrid[ch][18 * sb + t];
        l3_synth_slot(s->synth_v[ch], &s->synth_pos[ch], sbs, out + (gr * 576 + t * 32) * stride + ch, stride);
      }
    }
  }

  // Ancillary data of this frame: from the byte after the last granule to the end.
  int anc_start = int((mr.pos + 7) >> 3);
  if (anc_start > s->reservoir_len) anc_start = s->reservoir_len;
  const int anc_len = s->reservoir_len - anc_start;
  if (s->gapless_search) {
    s->gapless_search = 0;
    uint32_t d = 0, l = 0;
    int vbri = 0;
    if (l3_search_gapless(s->reservoir + anc_start, anc_len, &d, &l, &vbri)) {
      *gapless_delay = d;
      *gapless_length = l;
    } else if (vbri) {
      if (s->info_frame == 0) s->info_frame = 1;
      s->gapless_search = 1;
    }
  }
  s->payload_len = locate_payload(s->reservoir + anc_start, anc_len, nch, s->payload);
  s->prev_anc_start = anc_start + (s->payload_len ? s->payload_len + 1 : 0);
  if (s->prev_anc_start > s->reservoir_len) s->prev_anc_start = s->reservoir_len;

  *out_bytes = core_bytes;
  if (damaged) {
    if (s->reservoir_dirty < s->reservoir_len) s->reservoir_dirty = s->reservoir_len;
    s->reservoir_len = 0;
    s->prev_anc_start = 0;
    s->payload_len = 0;
    if (!(status >> 31)) status = SSC_INFO_CRC_ERROR;
  }
  return status;
}
