// Granule synthesis with AVX2 and FMA. This file alone is compiled for those extensions and
// is reached only through l3_select_synth, so it holds nothing but its own code: no
// library inline functions that the linker could share with the plain build.
#include "mp3dec/synth.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include "mp3dec/transpose_avx2.h"

namespace {

// The 32-point DCT runs on eight time slots at once, one per lane, with the plain form's
// recursion and factors.
template <int N, int Level>
struct dct_lanes {
  static inline void run(const __m256* x, __m256* X, const float (*coef)[16]) {
    __m256 a[N / 2], b[N / 2], A[N / 2], B[N / 2];
    for (int i = 0; i < N / 2; ++i) {
      a[i] = _mm256_add_ps(x[i], x[N - 1 - i]);
      b[i] = _mm256_mul_ps(_mm256_sub_ps(x[i], x[N - 1 - i]), _mm256_set1_ps(coef[Level][i]));
    }
    dct_lanes<N / 2, Level + 1>::run(a, A, coef);
    dct_lanes<N / 2, Level + 1>::run(b, B, coef);
    for (int k = 0; k < N / 2 - 1; ++k) {
      X[2 * k] = A[k];
      X[2 * k + 1] = _mm256_add_ps(B[k], B[k + 1]);
    }
    X[N - 2] = A[N / 2 - 1];
    X[N - 1] = B[N / 2 - 1];
  }
};
template <int Level>
struct dct_lanes<2, Level> {
  static inline void run(const __m256* x, __m256* X, const float (*coef)[16]) {
    X[0] = _mm256_add_ps(x[0], x[1]);
    X[1] = _mm256_mul_ps(_mm256_sub_ps(x[0], x[1]), _mm256_set1_ps(coef[Level][0]));
  }
};

// Negated and in reverse order.
inline __m256 neg_reversed(__m256 x) {
  const __m256 r = _mm256_permutevar8x32_ps(x, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0));
  return _mm256_xor_ps(r, _mm256_set1_ps(-0.0f));
}

// One slot from its DCT outputs X[0..31] (X[32] = 0): the V vector as the plain form lays
// it out, then the 16-tap window sums of the 32 outputs.
inline void slot(float v[16][64], int32_t* pos, const float* X, float* out, int stride, const float* D) {
  const int p = (*pos - 1) & 15;
  *pos = p;
  float* V = v[p];
  _mm256_storeu_ps(V, _mm256_loadu_ps(X + 16));
  _mm256_storeu_ps(V + 8, _mm256_loadu_ps(X + 24));
  // V[16 + m] = -X[32 - m], m = 0..31; V[16] comes from X[32] = 0 and is set to +0 after.
  for (int i = 0; i < 4; ++i) _mm256_storeu_ps(V + 16 + 8 * i, neg_reversed(_mm256_loadu_ps(X + 25 - 8 * i)));
  V[16] = 0.0f;
  _mm256_storeu_ps(V + 48, _mm256_xor_ps(_mm256_loadu_ps(X), _mm256_set1_ps(-0.0f)));
  _mm256_storeu_ps(V + 56, _mm256_xor_ps(_mm256_loadu_ps(X + 8), _mm256_set1_ps(-0.0f)));
  __m256 a0 = _mm256_setzero_ps(), a1 = a0, a2 = a0, a3 = a0;
  for (int i = 0; i < 8; ++i) {
    const float* v0 = v[(p + 2 * i) & 15];
    const float* v1 = v[(p + 2 * i + 1) & 15] + 32;
    const float* d0 = D + 64 * i;
    const float* d1 = D + 64 * i + 32;
    a0 = _mm256_fmadd_ps(_mm256_loadu_ps(d0), _mm256_loadu_ps(v0), a0);
    a1 = _mm256_fmadd_ps(_mm256_loadu_ps(d0 + 8), _mm256_loadu_ps(v0 + 8), a1);
    a2 = _mm256_fmadd_ps(_mm256_loadu_ps(d0 + 16), _mm256_loadu_ps(v0 + 16), a2);
    a3 = _mm256_fmadd_ps(_mm256_loadu_ps(d0 + 24), _mm256_loadu_ps(v0 + 24), a3);
    a0 = _mm256_fmadd_ps(_mm256_loadu_ps(d1), _mm256_loadu_ps(v1), a0);
    a1 = _mm256_fmadd_ps(_mm256_loadu_ps(d1 + 8), _mm256_loadu_ps(v1 + 8), a1);
    a2 = _mm256_fmadd_ps(_mm256_loadu_ps(d1 + 16), _mm256_loadu_ps(v1 + 16), a2);
    a3 = _mm256_fmadd_ps(_mm256_loadu_ps(d1 + 24), _mm256_loadu_ps(v1 + 24), a3);
  }
  if (stride == 1) {
    _mm256_storeu_ps(out, a0);
    _mm256_storeu_ps(out + 8, a1);
    _mm256_storeu_ps(out + 16, a2);
    _mm256_storeu_ps(out + 24, a3);
  } else {
    alignas(32) float acc[32];
    _mm256_store_ps(acc, a0);
    _mm256_store_ps(acc + 8, a1);
    _mm256_store_ps(acc + 16, a2);
    _mm256_store_ps(acc + 24, a3);
    for (int j = 0; j < 32; ++j) out[j * stride] = acc[j];
  }
}

}  // namespace

void l3_synth_granule_avx2_kernel(float v[16][64], int32_t* pos, const float* hybrid, float* out,
                                  int stride, const float (*coef)[16], const float* window) {
  for (int t0 = 0; t0 < 18; t0 += 8) {
    __m256 x[32], X[32];
    if (t0 + 8 <= 18) {
      for (int sb = 0; sb < 32; ++sb) x[sb] = _mm256_loadu_ps(hybrid + 18 * sb + t0);
    } else {
      // The last two slots: the rest of the lanes would read past the granule.
      for (int sb = 0; sb < 32; ++sb) {
        const float* h = hybrid + 18 * sb + t0;
        x[sb] = _mm256_setr_ps(h[0], h[1], 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
      }
    }
    dct_lanes<32, 0>::run(x, X, coef);
    // Lanes are slots; turn them into rows of 32 outputs, one per slot.
    alignas(32) float rows[8][40];
    for (int g = 0; g < 4; ++g) {
      transpose8(X + 8 * g);
      for (int j = 0; j < 8; ++j) _mm256_store_ps(rows[j] + 8 * g, X[8 * g + j]);
    }
    const int slots = 18 - t0 < 8 ? 18 - t0 : 8;
    for (int j = 0; j < slots; ++j) {
      _mm256_store_ps(rows[j] + 32, _mm256_setzero_ps());
      slot(v, pos, rows[j], out + (t0 + j) * 32 * stride, stride, window);
    }
  }
}
#endif
