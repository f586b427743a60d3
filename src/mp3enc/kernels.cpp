// Plain arithmetic kernels, the processor test that picks a set, and vector routines.
#include "mp3enc/kernels.h"

#include "mp3enc/analysis.h"
#include "mp3enc/attack.h"

#include <array>
#include <atomic>
#include <cmath>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define MP3ENC_X86 1
#endif
#ifdef __SSE2__
#include <emmintrin.h>
#define MP3ENC_SSE2 1
#endif

namespace {

uint32_t bits_of(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

struct pow34_tables {
  std::array<float, 256> exponent{};   // 2^((e - 127) * 0.75)
  std::array<float, 512> mantissa{};   // (1 + k/512)^(3/4)
  std::array<float, 33> log2_steps{};  // log2(1 + k/32)
  pow34_tables() {
    for (int e = 0; e < 256; ++e) exponent[size_t(e)] = float(std::exp2((e - 127) * 0.75));
    for (int k = 0; k < 512; ++k) mantissa[size_t(k)] = float(std::pow(1.0 + k / 512.0, 0.75));
    for (int k = 0; k <= 32; ++k)
      log2_steps[size_t(k)] = float(std::round(std::log2(1.0 + k / 32.0) * 1e6) / 1e6);
  }
};
const pow34_tables& tabs() {
  static const pow34_tables t;
  return t;
}

}  // namespace

void kern_band_root4(float (*out)[39], const float* const* thresholds, const int32_t* counts,
                      int n) {
  for (int k = 0; k < n; ++k) {
    const int32_t count = counts[k] < 39 ? counts[k] : 39;
    for (int32_t i = 0; i < count; ++i) out[k][i] = std::sqrt(std::sqrt(thresholds[k][i]));
  }
}

void kern_band_sqrt_sum(float* sums, float* maxima, int32_t count, const int32_t* bounds,
                         const float* x) {
  for (int32_t b = 0; b < count; ++b) {
    float first = 0.0f, second = 0.0f;
    int32_t peak = 0;  // magnitudes compare as their bit patterns
    for (int32_t i = bounds[b]; i < bounds[b + 1]; i += 2) {
      const float a = std::fabs(x[i]);
      first += std::sqrt(a);
      int32_t pa = int32_t(bits_of(a));
      if (pa > peak) peak = pa;
      if (i + 1 < bounds[b + 1]) {
        const float c = std::fabs(x[i + 1]);
        second += std::sqrt(c);
        int32_t pc = int32_t(bits_of(c));
        if (pc > peak) peak = pc;
      }
    }
    sums[b] = first + (second + 1.0e-10f);
    float m;
    std::memcpy(&m, &peak, 4);
    maxima[b] = m;
  }
}

void kern_band_energy(const float* x, const int32_t* bounds, int32_t n, float* energy,
                       float* total) {
  *total = 0.0f;
  int32_t i = 0;
  for (int32_t b = 0; b < n; ++b) {
    float e = 0.0f;
    for (; i < bounds[b + 1]; ++i) e += x[i] * x[i];
    energy[b] = e;
    *total += e;
  }
}

void kern_band_energy2(const float* left, const float* right, const int32_t* bounds, int32_t n,
                        float* mid, float* mid_total, float* side, float* side_total) {
  *mid_total = 0.0f;
  *side_total = 0.0f;
  int32_t i = 0;
  for (int32_t b = 0; b < n; ++b) {
    float m = 0.0f, s = 0.0f;
    for (; i < bounds[b + 1]; ++i) {
      const float a = left[i] + right[i], d = left[i] - right[i];
      m += a * a;
      s += d * d;
    }
    mid[b] = 0.5f * m;
    side[b] = 0.5f * s;
    *mid_total += mid[b];
    *side_total += side[b];
  }
}

namespace {

// 2^(-step/4), as 2^floor(-step/4) times 2^(((-step) mod 4)/4).
float quantiser_scale(int32_t step) {
  const int32_t s = -step;
  const int32_t e = s >= 0 ? s / 4 : -((-s + 3) / 4);  // floor(s / 4)
  const int32_t r = s - 4 * e;
  return std::ldexp(float(std::exp2(r / 4.0)), e);
}

// (|x| * scale)^(3/4) by the two power tables, rounded with the quantiser's offset.
int32_t quantised(const pow34_tables& t, float x, float scale) {
  const float y = std::fabs(x) * scale;
  const uint32_t u = bits_of(y);
  float v = t.exponent[(u >> 23) & 255] * t.mantissa[(u >> 14) & 511] + 0.4054f;
  // Infinities and NaNs from the input must not reach the conversion.
  if (!(v < 2147483520.0f)) v = 2147483520.0f;
  const int32_t m = int32_t(v);
  return std::signbit(x) ? -m : m;
}

}  // namespace

void kern_quantise(int32_t step, int32_t n, const float* x, int32_t* q) {
  const float scale = quantiser_scale(step);
  const pow34_tables& t = tabs();
  for (int32_t i = 0; i < n; ++i) q[i] = quantised(t, x[i], scale);
}

mp3enc_band_estimate* kern_band_log_nlines(mp3enc_band_estimate* out, const float* energy,
                                            const float* threshold, const float* c,
                                            const int32_t* bounds, int32_t n, int32_t block_type) {
  for (int32_t b = 0; b < n; ++b) {
    if (threshold[b] < energy[b]) {
      const int32_t width = bounds[b + 1] - bounds[b];
      const double p = std::pow(double(energy[b]) * 1.0 / (width > 0 ? width : 1), 0.25);
      const double est = double(float(c[b] / p)) + 0.5;
      out->lines[b] = est >= 2147483647.0 ? INT32_MAX : est > -2147483648.0 ? int32_t(est) : 0;
      const float sq = energy[b] * energy[b];
      out->log[b] = 0.5f * mp3enc_table_log2(sq);
    } else {
      out->log[b] = 0.0f;
      out->lines[b] = 0;
    }
  }
  out->lines[39] = block_type == 2 ? 125 : 0;
  return out;
}

void kern_copy(const void* src, void* dst, int32_t n) {
  if (n > 0) std::memcpy(dst, src, size_t(n) * 4);
}

void kern_copy2(const void* src, void* dst, int32_t n) { kern_copy(src, dst, n); }

float kern_dot(const float* a, const float* b, int32_t n) {
  if (n < 1) return 0.0f;
  float s = a[0] * b[0];
  for (int32_t i = 1; i < n; ++i) s += a[i] * b[i];
  return s;
}

// SSE2 forms of the slots whose lanes are independent: they give the plain forms' results bit
// for bit, so both sets code the same stream. The sums keep their plain order.
void kern_band_root4_sse2(float (*out)[39], const float* const* thresholds, const int32_t* counts, int n) {
  for (int k = 0; k < n; ++k) {
    const int32_t count = counts[k] < 39 ? counts[k] : 39;
    float* o = out[k];
    const float* v = thresholds[k];
    int32_t i = 0;
#ifdef MP3ENC_SSE2
    for (; i + 4 <= count; i += 4) _mm_storeu_ps(o + i, _mm_sqrt_ps(_mm_sqrt_ps(_mm_loadu_ps(v + i))));
#endif
    for (; i < count; ++i) o[i] = std::sqrt(std::sqrt(v[i]));
  }
}

void kern_quantise_sse2(int32_t step, int32_t n, const float* x, int32_t* q) {
  const float scale = quantiser_scale(step);
  const pow34_tables& t = tabs();
  int32_t i = 0;
#ifdef MP3ENC_SSE2
  const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  const __m128 sc = _mm_set1_ps(scale), offset = _mm_set1_ps(0.4054f), limit = _mm_set1_ps(2147483520.0f);
  for (; i + 4 <= n; i += 4) {
    const __m128 xs = _mm_loadu_ps(x + i);
    const __m128i u = _mm_castps_si128(_mm_mul_ps(_mm_and_ps(xs, magnitude), sc));
    alignas(16) int32_t e[4], m[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(e), _mm_and_si128(_mm_srli_epi32(u, 23), _mm_set1_epi32(255)));
    _mm_store_si128(reinterpret_cast<__m128i*>(m), _mm_and_si128(_mm_srli_epi32(u, 14), _mm_set1_epi32(511)));
    const __m128 pe = _mm_setr_ps(t.exponent[size_t(e[0])], t.exponent[size_t(e[1])], t.exponent[size_t(e[2])],
                                  t.exponent[size_t(e[3])]);
    const __m128 pm = _mm_setr_ps(t.mantissa[size_t(m[0])], t.mantissa[size_t(m[1])], t.mantissa[size_t(m[2])],
                                  t.mantissa[size_t(m[3])]);
    // The second operand wins a NaN as well as a tie: infinities and NaNs end at the limit.
    const __m128i v = _mm_cvttps_epi32(_mm_min_ps(_mm_add_ps(_mm_mul_ps(pe, pm), offset), limit));
    const __m128i negative = _mm_srai_epi32(_mm_castps_si128(xs), 31);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q + i), _mm_sub_epi32(_mm_xor_si128(v, negative), negative));
  }
#endif
  for (; i < n; ++i) q[i] = quantised(t, x[i], scale);
}

namespace {

const mp3enc_kernel_table plain_set = {
    kern_band_root4,      kern_band_sqrt_sum, kern_band_energy, kern_band_energy2,
    kern_attack_detect,   kern_polyphase,     kern_polyphase_stereo, kern_quantise,
    kern_band_log_nlines, kern_copy,          kern_copy2,       kern_dot,
};

const mp3enc_kernel_table sse2_set = {
    kern_band_root4_sse2, kern_band_sqrt_sum, kern_band_energy, kern_band_energy2,
    kern_attack_detect,   kern_polyphase,     kern_polyphase_stereo, kern_quantise_sse2,
    kern_band_log_nlines, kern_copy,          kern_copy2,       kern_dot,
};

std::atomic<const mp3enc_kernel_table*> installed{&plain_set};
// Set only by tests that compare the encoder with one of its routines replaced.
std::atomic<const mp3enc_kernel_table*> pinned{nullptr};

}  // namespace

float mp3enc_table_log2(float v) {
  const uint32_t u = bits_of(v);
  const int32_t e = int32_t((u >> 23) & 255) - 127;
  const uint32_t i = (u >> 18) & 31, j = (u >> 16) & 3;
  const pow34_tables& t = tabs();
  return float(e) + (1.0f - float(j) / 4.0f) * t.log2_steps[i] + (float(j) / 4.0f) * t.log2_steps[i + 1];
}

const mp3enc_kernel_table& mp3enc_kernels() { return *installed.load(std::memory_order_acquire); }
const mp3enc_kernel_table& mp3enc_plain_kernels() { return plain_set; }

// Every system this builds for saves the SSE registers across task switches.
int os_supports_simd() { return 1; }

int cpu_has_sse() {
#ifdef MP3ENC_X86
  if (!os_supports_simd()) return 0;
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return 0;
  return int((d >> 25) & 1);
#else
  return 0;
#endif
}

int cpu_has_sse2() {
#ifdef MP3ENC_X86
  if (!os_supports_simd()) return 0;
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return 0;
  return int((d >> 26) & 1);
#else
  return 0;
#endif
}

int mp3enc_install_kernels(int allow_simd) {
  const bool wide = cpu_has_sse2() && allow_simd;
  const mp3enc_kernel_table* p = pinned.load(std::memory_order_acquire);
  installed.store(p ? p : wide ? &sse2_set : &plain_set, std::memory_order_release);
  return 0;
}

void mp3enc_pin_kernels(const mp3enc_kernel_table* table) {
  pinned.store(table, std::memory_order_release);
  mp3enc_install_kernels(1);
}

int mp3enc_ilog2(int32_t n) {
  int32_t v = n - 1;
  if (v < 1) return 0;
  int r = 0;
  for (; v > 0; v >>= 1) ++r;
  return r;
}

void mp3enc_vec_add(const float* a, const float* b, float* out, int32_t n) {
  for (int32_t i = 0; i < n; ++i) out[i] = a[i] + b[i];
}

void mp3enc_vec_add_strided(const float* a, int32_t stride_a, const float* b, int32_t stride_b,
                            float* out, int32_t stride_out, int32_t n) {
  for (int32_t i = 0; i < n; ++i) out[i * stride_out] = a[i * stride_a] + b[i * stride_b];
}

void mp3enc_copy_strided(const float* src, int32_t stride_src, float* dst, int32_t stride_dst,
                         int32_t n) {
  for (int32_t i = 0; i < n; ++i) dst[i * stride_dst] = src[i * stride_src];
}

void mp3enc_copy_strided(const int32_t* src, int32_t stride_src, int32_t* dst, int32_t stride_dst,
                         int32_t n) {
  for (int32_t i = 0; i < n; ++i) dst[i * stride_dst] = src[i * stride_src];
}

void mp3enc_vec_max(const float* a, const float* b, float* out, int32_t n) {
  for (int32_t i = 0; i < n; ++i) out[i] = a[i] >= b[i] ? a[i] : b[i];
}

void mp3enc_vec_abs(const int32_t* in, int32_t* out, int32_t n) {
  for (int32_t i = 0; i < n; ++i) out[i] = in[i] < 0 ? int32_t(0u - uint32_t(in[i])) : in[i];
}

void mp3enc_fill(float value, float* dst, int32_t n) {
  for (int32_t i = 0; i < n; ++i) dst[i] = value;
}
void mp3enc_fill(int32_t value, int32_t* dst, int32_t n) {
  for (int32_t i = 0; i < n; ++i) dst[i] = value;
}
void mp3enc_fill_strided(float value, float* dst, int32_t stride, int32_t n) {
  for (int32_t i = 0; i < n; ++i) dst[i * stride] = value;
}
void mp3enc_fill2(float value, float* dst, int32_t n) { mp3enc_fill(value, dst, n); }
void mp3enc_fill2(int32_t value, int32_t* dst, int32_t n) { mp3enc_fill(value, dst, n); }
