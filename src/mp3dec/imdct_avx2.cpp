// Long-block IMDCT with AVX2 and FMA: eight subbands at once, one per lane, through the same
// steps as the plain transform (two 9-point DCT-IIs, the running sums that undo their
// scaling, windowing and overlap-add). Built for those extensions alone and reached only
// when l3_select_synth found them.
#include "mp3dec/synth.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include "mp3dec/transpose_avx2.h"

namespace {

typedef __m256 V;
inline V add(V a, V b) { return _mm256_add_ps(a, b); }
inline V sub(V a, V b) { return _mm256_sub_ps(a, b); }
inline V mul(V a, V b) { return _mm256_mul_ps(a, b); }
inline V bc(float x) { return _mm256_set1_ps(x); }
inline V neg(V a) { return _mm256_xor_ps(a, _mm256_set1_ps(-0.0f)); }

// 18 values of each of eight rows (subbands) into 18 lane vectors; missing rows read as 0.
inline void load_lanes(const float* base, int count, V* x) {
  alignas(32) static const float zero[24] = {};
  const float* row[8];
  for (int l = 0; l < 8; ++l) row[l] = l < count ? base + 18 * l : zero;
  for (int h = 0; h < 2; ++h) {
    V r[8];
    for (int l = 0; l < 8; ++l) r[l] = _mm256_loadu_ps(row[l] + 8 * h);
    transpose8(r);
    for (int k = 0; k < 8; ++k) x[8 * h + k] = r[k];
  }
  for (int k = 16; k < 18; ++k)
    x[k] = _mm256_setr_ps(row[0][k], row[1][k], row[2][k], row[3][k], row[4][k], row[5][k], row[6][k], row[7][k]);
}

inline void store_lanes(float* base, int count, const V* x) {
  for (int h = 0; h < 2; ++h) {
    V r[8];
    for (int k = 0; k < 8; ++k) r[k] = x[8 * h + k];
    transpose8(r);
    for (int l = 0; l < count; ++l) _mm256_storeu_ps(base + 18 * l + 8 * h, r[l]);
  }
  alignas(32) float t[2][8];
  _mm256_store_ps(t[0], x[16]);
  _mm256_store_ps(t[1], x[17]);
  for (int l = 0; l < count; ++l) {
    base[18 * l + 16] = t[0][l];
    base[18 * l + 17] = t[1][l];
  }
}

}  // namespace

void l3_imdct36_lanes_avx2(const float* xr, float* out, float* overlap, const float* win, int first, int end,
                           const float* tw18, const float* tw9, const float (*cos9)[4]) {
  for (int g = first; g < end; g += 8) {
    const int count = end - g < 8 ? end - g : 8;
    V X[18], ov[18];
    load_lanes(xr + 18 * g, count, X);
    load_lanes(overlap + 18 * g, count, ov);
    V a[9], b[9];
    for (int k = 0; k < 9; ++k) {
      const V v0 = mul(X[k], bc(tw18[k])), v1 = mul(X[17 - k], bc(tw18[17 - k]));
      a[k] = add(v0, v1);
      b[k] = mul(sub(v0, v1), bc(tw9[k]));
    }
    // Two 9-point DCT-IIs, e of a and d of b, on folded inputs.
    V sa[4], da[4], sb[4], db[4];
    for (int k = 0; k < 4; ++k) {
      sa[k] = add(a[k], a[8 - k]);
      da[k] = sub(a[k], a[8 - k]);
      sb[k] = add(b[k], b[8 - k]);
      db[k] = sub(b[k], b[8 - k]);
    }
    V e[9], d[9];
    for (int p = 0; p < 8; p += 2) {
      V fe = (p & 2) ? neg(a[4]) : a[4], ge = (p & 2) ? neg(b[4]) : b[4];
      V fo = _mm256_setzero_ps(), go = fo;
      for (int k = 0; k < 4; ++k) {
        fe = _mm256_fmadd_ps(sa[k], bc(cos9[p][k]), fe);
        ge = _mm256_fmadd_ps(sb[k], bc(cos9[p][k]), ge);
        fo = _mm256_fmadd_ps(da[k], bc(cos9[p + 1][k]), fo);
        go = _mm256_fmadd_ps(db[k], bc(cos9[p + 1][k]), go);
      }
      e[p] = fe;
      d[p] = ge;
      e[p + 1] = fo;
      d[p + 1] = go;
    }
    V f8 = a[4], g8 = b[4];
    for (int k = 0; k < 4; ++k) {
      f8 = _mm256_fmadd_ps(sa[k], bc(cos9[8][k]), f8);
      g8 = _mm256_fmadd_ps(sb[k], bc(cos9[8][k]), g8);
    }
    e[8] = f8;
    d[8] = g8;
    // Undo the scaling (each DCT-II output is the sum of two neighbouring DCT-IV outputs).
    V o[9];
    o[0] = mul(bc(0.5f), d[0]);
    o[1] = sub(d[1], o[0]);
    o[3] = add(sub(d[3], d[2]), o[1]);
    o[5] = add(sub(d[5], d[4]), o[3]);
    o[7] = add(sub(d[7], d[6]), o[5]);
    o[2] = sub(d[2], o[1]);
    o[4] = sub(d[4], o[3]);
    o[6] = sub(d[6], o[5]);
    o[8] = sub(d[8], o[7]);
    e[0] = mul(e[0], bc(0.5f));
    V t[9];
    for (int p = 0; p < 9; ++p) t[p] = sub(o[p], e[p]);
    V c[18];
    c[1] = t[0];
    c[3] = add(t[0], t[1]);
    c[7] = add(c[3], add(t[2], t[3]));
    c[11] = add(c[7], add(t[4], t[5]));
    c[15] = add(c[11], add(t[6], t[7]));
    c[5] = add(c[3], t[2]);
    c[9] = add(c[7], t[4]);
    c[13] = add(c[11], t[6]);
    c[17] = add(c[15], t[8]);
    c[0] = e[0];
    for (int p = 1; p < 9; ++p) c[2 * p] = sub(e[p], c[2 * p - 1]);
    // Unfold to 36 samples, window and overlap-add.
    V y[18], nov[18];
    for (int i = 0; i < 9; ++i) {
      y[i] = _mm256_fmadd_ps(c[9 + i], bc(win[i]), ov[i]);
      y[9 + i] = _mm256_fnmadd_ps(c[17 - i], bc(win[9 + i]), ov[9 + i]);
      nov[i] = neg(mul(c[8 - i], bc(win[18 + i])));
      nov[9 + i] = neg(mul(c[i], bc(win[27 + i])));
    }
    store_lanes(out + 18 * g, count, y);
    store_lanes(overlap + 18 * g, count, nov);
  }
}
#endif
