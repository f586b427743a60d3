// Processor features and the float-to-16-bit conversion.
#include "mp3dec/cpu.h"

#include <cmath>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define MP3DEC_X86 1
#endif

bool mp3dec_cpu_has_sse() {
#ifdef MP3DEC_X86
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  return (d >> 25) & 1;
#else
  return false;
#endif
}

bool mp3dec_cpu_has_avx2_fma() {
#ifdef MP3DEC_X86
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  const bool fma = (c >> 12) & 1, osxsave = (c >> 27) & 1, avx = (c >> 28) & 1;
  if (!fma || !osxsave || !avx) return false;
  unsigned lo, hi;
  __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  if ((lo & 6) != 6) return false;  // the system keeps the XMM and YMM state
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  return (b >> 5) & 1;
#else
  return false;
#endif
}

namespace {
inline int16_t convert_one(float f) {
  if (!(f >= -2147483648.0f && f < 2147483648.0f)) return f > -32767.0f ? 32767 : -32768;
  const long v = std::lrintf(f);  // the processor's rounding: ties to even
  if (v > 32767) return 32767;
  if (v < -32768) return -32768;
  return int16_t(v);
}
}  // namespace

void mp3dec_float_to_pcm16_plain(int count, const float* src, int16_t* dst) {
  for (int i = 0; i < count; ++i) dst[i] = convert_one(src[i]);
}

#ifdef MP3DEC_X86
__attribute__((target("sse2"))) void mp3dec_float_to_pcm16_sse(int count, const float* src,
                                                                 int16_t* dst) {
  const __m128 hi = _mm_set1_ps(32767.0f);
  const __m128 lo = _mm_set1_ps(-32768.0f);
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    _mm_prefetch(reinterpret_cast<const char*>(src + i) + 64, _MM_HINT_NTA);
    __m128i r[4];
    for (int k = 0; k < 4; ++k) {
      __m128 v = _mm_loadu_ps(src + i + 4 * k);
      v = _mm_max_ps(lo, _mm_min_ps(hi, v));  // a NaN stays NaN and converts to -32768
      r[k] = _mm_cvtps_epi32(v);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packs_epi32(r[0], r[1]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 8), _mm_packs_epi32(r[2], r[3]));
  }
  for (; i < count; ++i) dst[i] = convert_one(src[i]);
}
#else
void mp3dec_float_to_pcm16_sse(int count, const float* src, int16_t* dst) {
  mp3dec_float_to_pcm16_plain(count, src, dst);
}
#endif

mp3dec_float_to_pcm16_fn mp3dec_float_to_pcm16 = mp3dec_float_to_pcm16_plain;

void mp3dec_select_pcm16_converter() {
  if (mp3dec_cpu_has_sse()) mp3dec_float_to_pcm16 = mp3dec_float_to_pcm16_sse;
}
