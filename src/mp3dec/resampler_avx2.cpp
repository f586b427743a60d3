// One channel of the output rate converter with AVX2 and FMA. Built for those extensions
// alone and reached only when the converter was made with them (RateConverter::wide); it
// walks the same state as the plain loop, so the two forms agree to rounding.
#include "mp3dec/resampler.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include "mp3dec/transpose_avx2.h"

namespace {

// A near sample serves two sums: loaded once into a register, rather than folded into both
// additions as a memory operand (which the compiler prefers when registers run short), it
// leaves the load ports to the rest. The empty statement only claims to change the register.
#define KEEP_IN_REGISTER(v) __asm__("" : "+x"(v))

// The phase's taps, oldest first, against the history from its oldest needed sample on
// (the mirrored copy makes that run contiguous). Four sums keep the additions from waiting
// on each other.
inline float dot(const float* rtaps, int n, const float* h) {
  __m256 a0 = _mm256_setzero_ps(), a1 = a0, a2 = a0, a3 = a0;
  int k = 0;
  for (; k + 32 <= n; k += 32) {
    a0 = _mm256_fmadd_ps(_mm256_load_ps(rtaps + k), _mm256_loadu_ps(h + k), a0);
    a1 = _mm256_fmadd_ps(_mm256_load_ps(rtaps + k + 8), _mm256_loadu_ps(h + k + 8), a1);
    a2 = _mm256_fmadd_ps(_mm256_load_ps(rtaps + k + 16), _mm256_loadu_ps(h + k + 16), a2);
    a3 = _mm256_fmadd_ps(_mm256_load_ps(rtaps + k + 24), _mm256_loadu_ps(h + k + 24), a3);
  }
  if (k + 16 <= n) {
    a0 = _mm256_fmadd_ps(_mm256_load_ps(rtaps + k), _mm256_loadu_ps(h + k), a0);
    a1 = _mm256_fmadd_ps(_mm256_load_ps(rtaps + k + 8), _mm256_loadu_ps(h + k + 8), a1);
    k += 16;
  }
  if (k < n) a2 = _mm256_fmadd_ps(_mm256_load_ps(rtaps + k), _mm256_loadu_ps(h + k), a2);
  const __m256 s = _mm256_add_ps(_mm256_add_ps(a0, a1), _mm256_add_ps(a2, a3));
  __m128 q = _mm_add_ps(_mm256_castps256_ps128(s), _mm256_extractf128_ps(s, 1));
  q = _mm_add_ps(q, _mm_movehl_ps(q, q));
  q = _mm_add_ss(q, _mm_movehdup_ps(q));
  return _mm_cvtss_f32(q);
}

// Twenty-four inputs of the doubling converter: outputs 2i (phase 0) and 2i + 1 (phase 1)
// of input i, whose newest sample is at p[i]. Lanes run across inputs, so each loaded run of
// samples serves eight outputs; three runs side by side keep six sums in flight, and the far
// run of phase 1 at step k is phase 0's at step k + 1, so it is loaded once.
inline void double24(const float* p, const float* c0, const float* c1, int t1, float* out, int stride) {
  // Named sums rather than arrays, so that all of them stay in registers.
  const int m = t1 / 2;
  __m256 y0a = _mm256_setzero_ps(), y0b = y0a, y0c = y0a, y1a = y0a, y1b = y0a, y1c = y0a;
  __m256 fa = _mm256_loadu_ps(p - t1), fb = _mm256_loadu_ps(p + 8 - t1), fc = _mm256_loadu_ps(p + 16 - t1);
  const float* near = p;
  const float* far = p - t1 + 1;
  for (int k = 0; k < m; ++k, --near, ++far) {
    const __m256 w0 = _mm256_broadcast_ss(c0 + k), w1 = _mm256_broadcast_ss(c1 + k);
    const __m256 na = _mm256_loadu_ps(near), nb = _mm256_loadu_ps(near + 8), nc = _mm256_loadu_ps(near + 16);
    const __m256 ga = _mm256_loadu_ps(far), gb = _mm256_loadu_ps(far + 8), gc = _mm256_loadu_ps(far + 16);
    y0a = _mm256_fmadd_ps(w0, _mm256_add_ps(na, fa), y0a);
    y0b = _mm256_fmadd_ps(w0, _mm256_add_ps(nb, fb), y0b);
    y0c = _mm256_fmadd_ps(w0, _mm256_add_ps(nc, fc), y0c);
    y1a = _mm256_fmadd_ps(w1, _mm256_add_ps(na, ga), y1a);
    y1b = _mm256_fmadd_ps(w1, _mm256_add_ps(nb, gb), y1b);
    y1c = _mm256_fmadd_ps(w1, _mm256_add_ps(nc, gc), y1c);
    fa = ga;
    fb = gb;
    fc = gc;
  }
  const __m256 wm = _mm256_broadcast_ss(c0 + m);  // phase 0's middle tap
  y0a = _mm256_fmadd_ps(wm, _mm256_loadu_ps(p - m), y0a);
  y0b = _mm256_fmadd_ps(wm, _mm256_loadu_ps(p + 8 - m), y0b);
  y0c = _mm256_fmadd_ps(wm, _mm256_loadu_ps(p + 16 - m), y0c);
  const __m256 y0[3] = {y0a, y0b, y0c}, y1[3] = {y1a, y1b, y1c};
  if (stride == 1) {
    for (int b = 0; b < 3; ++b) {
      const __m256 lo = _mm256_unpacklo_ps(y0[b], y1[b]), hi = _mm256_unpackhi_ps(y0[b], y1[b]);
      _mm256_storeu_ps(out + 16 * b, _mm256_permute2f128_ps(lo, hi, 0x20));
      _mm256_storeu_ps(out + 16 * b + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
    }
  } else {
    alignas(32) float y[2][24];
    for (int b = 0; b < 3; ++b) {
      _mm256_store_ps(y[0] + 8 * b, y0[b]);
      _mm256_store_ps(y[1] + 8 * b, y1[b]);
    }
    for (int i = 0; i < 24; ++i) {
      out[(2 * i) * stride] = y[0][i];
      out[(2 * i + 1) * stride] = y[1][i];
    }
  }
}

// The doubling converter over 8 * rows inputs, in eight runs of `rows` consecutive inputs,
// one run per lane. p[0] is the first input, p[-t1..-1] the samples before it. Turned so that
// a lane vector holds one sample of every run, each row of samples is an aligned load that
// serves eight outputs, and four rows side by side take their far samples from five vectors
// slid along by one load a step; the sums are those of double24, in the same order, so the
// two agree exactly. rows is a multiple of 8; lanes holds 8 * (rows + t1 + 8) + 16 * rows floats.
void double_lanes(const float* p, int rows, const float* c0, const float* c1, int t1, float* lanes,
                  float* out, int stride) {
  const int m = t1 / 2;
  float* const rowbuf = lanes;  // row i - t1 (i from 0) at rowbuf + 8 * i
  float* const y0buf = lanes + 8 * (rows + t1 + 8);
  float* const y1buf = y0buf + 8 * rows;
  for (int b = 0; b < rows + t1; b += 8) {
    __m256 v[8];
    for (int j = 0; j < 8; ++j) v[j] = _mm256_loadu_ps(p + j * rows - t1 + b);
    transpose8(v);
    for (int q = 0; q < 8; ++q) _mm256_store_ps(rowbuf + 8 * (b + q), v[q]);
  }
  for (int r = 0; r < rows; r += 4) {
    const float* t = rowbuf + 8 * (r + t1);  // row r
    __m256 y00 = _mm256_setzero_ps(), y01 = y00, y02 = y00, y03 = y00;
    __m256 y10 = y00, y11 = y00, y12 = y00, y13 = y00;
    // f0..f4: rows r - t1 + k .. r - t1 + k + 4 at step k (the far samples of phase 0 for the
    // four rows, shifted by one for phase 1).
    const float* far = t - 8 * t1;
    __m256 f0 = _mm256_load_ps(far), f1 = _mm256_load_ps(far + 8), f2 = _mm256_load_ps(far + 16),
           f3 = _mm256_load_ps(far + 24), f4 = _mm256_load_ps(far + 32);
    const float* near = t;
    // Unrolled, the loop spends less of each step on its own counting.
#pragma GCC unroll 5
    for (int k = 0; k < m; ++k, near -= 8) {
      const __m256 w0 = _mm256_broadcast_ss(c0 + k), w1 = _mm256_broadcast_ss(c1 + k);
      __m256 n = _mm256_load_ps(near);
      KEEP_IN_REGISTER(n);
      y00 = _mm256_fmadd_ps(w0, _mm256_add_ps(n, f0), y00);
      y10 = _mm256_fmadd_ps(w1, _mm256_add_ps(n, f1), y10);
      n = _mm256_load_ps(near + 8);
      KEEP_IN_REGISTER(n);
      y01 = _mm256_fmadd_ps(w0, _mm256_add_ps(n, f1), y01);
      y11 = _mm256_fmadd_ps(w1, _mm256_add_ps(n, f2), y11);
      n = _mm256_load_ps(near + 16);
      KEEP_IN_REGISTER(n);
      y02 = _mm256_fmadd_ps(w0, _mm256_add_ps(n, f2), y02);
      y12 = _mm256_fmadd_ps(w1, _mm256_add_ps(n, f3), y12);
      n = _mm256_load_ps(near + 24);
      KEEP_IN_REGISTER(n);
      y03 = _mm256_fmadd_ps(w0, _mm256_add_ps(n, f3), y03);
      y13 = _mm256_fmadd_ps(w1, _mm256_add_ps(n, f4), y13);
      f0 = f1;
      f1 = f2;
      f2 = f3;
      f3 = f4;
      f4 = _mm256_load_ps(far + 8 * (k + 5));
    }
    const __m256 wm = _mm256_broadcast_ss(c0 + m);
    const float* mid = t - 8 * m;
    y00 = _mm256_fmadd_ps(wm, _mm256_load_ps(mid), y00);
    y01 = _mm256_fmadd_ps(wm, _mm256_load_ps(mid + 8), y01);
    y02 = _mm256_fmadd_ps(wm, _mm256_load_ps(mid + 16), y02);
    y03 = _mm256_fmadd_ps(wm, _mm256_load_ps(mid + 24), y03);
    float* y0 = y0buf + 8 * r;
    float* y1 = y1buf + 8 * r;
    _mm256_store_ps(y0, y00);
    _mm256_store_ps(y0 + 8, y01);
    _mm256_store_ps(y0 + 16, y02);
    _mm256_store_ps(y0 + 24, y03);
    _mm256_store_ps(y1, y10);
    _mm256_store_ps(y1 + 8, y11);
    _mm256_store_ps(y1 + 16, y12);
    _mm256_store_ps(y1 + 24, y13);
  }
  // Back to time order: run j's input i gives outputs 2 (j rows + i) and the one after.
  for (int b = 0; b < rows; b += 8) {
    __m256 a[8], c[8];
    for (int q = 0; q < 8; ++q) {
      a[q] = _mm256_load_ps(y0buf + 8 * (b + q));
      c[q] = _mm256_load_ps(y1buf + 8 * (b + q));
    }
    transpose8(a);
    transpose8(c);
    for (int j = 0; j < 8; ++j) {
      const __m256 lo = _mm256_unpacklo_ps(a[j], c[j]), hi = _mm256_unpackhi_ps(a[j], c[j]);
      const __m256 first = _mm256_permute2f128_ps(lo, hi, 0x20), second = _mm256_permute2f128_ps(lo, hi, 0x31);
      float* o = out + 2 * (j * rows + b) * stride;
      if (stride == 1) {
        _mm256_storeu_ps(o, first);
        _mm256_storeu_ps(o + 8, second);
      } else {
        alignas(32) float y[16];
        _mm256_store_ps(y, first);
        _mm256_store_ps(y + 8, second);
        for (int i = 0; i < 16; ++i) o[i * stride] = y[i];
      }
    }
  }
}
}  // namespace

int resampler_dec_run_channel_avx2(RateConverter* r, RateChannelState* st, const float* in, int per,
                                   int stride, float* out, int* produced) {
  const int len = r->history_len;
  float* hist = st->history;
  // The history and a chunk of input laid out in one line, oldest first, so that every dot
  // product reads memory written well before it (a sample stored just before an
  // overlapping wide load would stall the load).
  float* line = r->scratch;
  const int chunk_max = r->scratch_len - len - 16;
  int consumed = 0, made = 0;
  int phase = st->phase, take = st->to_take;
  const int L = r->L, int_step = st->int_step, frac_step = st->frac_step;
  const int taps = r->phases[0].taps;
  for (;;) {
    const int n = per - consumed < chunk_max ? per - consumed : chunk_max;
    // Oldest to newest: the mirrored ring from the slot after the newest on.
    const float* ring = hist + st->write_pos + 1;
    for (int i = 0; i < len; ++i) line[i] = ring[i];
    for (int i = 0; i < n; ++i) line[len + i] = in[(consumed + i) * stride];
    for (int i = 0; i < 16; ++i) line[len + n + i] = 0.0f;  // read only under zero taps
    int newest = len - 1, used = 0;
    if (r->doubling && phase == 0 && take == 1) {
      // Taking one input, then two outputs: as many inputs as eight lanes of whole blocks of
      // rows take, then blocks of twenty-four, then one at a time below.
      const int rows = n / 64 * 8;
      if (rows > 0) {
        double_lanes(line + newest + 1, rows, r->phases[0].coef, r->phases[1].coef, r->doubling_taps,
                     r->lanes, out + made * stride, stride);
        used = 8 * rows;
        newest += used;
        made += 2 * used;
      }
      for (; used + 24 <= n; used += 24, newest += 24, made += 48)
        double24(line + newest + 1, r->phases[0].coef, r->phases[1].coef, r->doubling_taps,
                 out + made * stride, stride);
    }
    for (;;) {
      if (take > 0) {
        if (used >= n) break;
        ++newest;
        ++used;
        --take;
      } else {
        const RatePhase& ph = r->phases[phase];
        out[made * stride] = dot(ph.rcoef, ph.rtaps, line + newest - (taps - 1));
        ++made;
        phase += frac_step;
        take += int_step;
        if (phase >= L) {
          phase -= L;
          take += 1;
        }
      }
    }
    // The ring again holds the last len samples, newest at len - 1.
    for (int i = 0; i < len; ++i) hist[i] = hist[i + len] = line[used + i];
    st->write_pos = len - 1;
    consumed += used;
    if (consumed >= per || used < n) break;
  }
  st->phase = phase;
  st->to_take = take;
  *produced = made;
  return consumed;
}
#endif
