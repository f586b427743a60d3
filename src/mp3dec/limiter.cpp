// Peak limiter: one block of look-ahead, linear attack over the delayed block,
// one block of hold, exponential release.
#include "mp3dec/limiter.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "mp3dec/cpu.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MP3DEC_X86 1
#endif

namespace {
bool limiter_sse = false;

void pass_copy_plain(const float* in, float* out, float* delay, int n) {
  for (int i = 0; i < n; ++i) {
    out[i] = delay[i];
    delay[i] = in[i];
  }
}

#ifdef MP3DEC_X86
__attribute__((target("sse"))) void pass_copy_sse(const float* in, float* out, float* delay, int n) {
  int i = 0;
  for (; i + 32 <= n; i += 32) {
    _mm_prefetch(reinterpret_cast<const char*>(in + i + 32), _MM_HINT_T0);
    for (int k = 0; k < 32; k += 4) {
      __m128 d = _mm_load_ps(delay + i + k);
      _mm_storeu_ps(out + i + k, d);
      _mm_store_ps(delay + i + k, _mm_loadu_ps(in + i + k));
    }
  }
  for (; i < n; ++i) {
    out[i] = delay[i];
    delay[i] = in[i];
  }
}
#endif
}  // namespace

PeakLimiter* mp3dec_limiter_create(int block_length, int channels, int linked) {
  if (block_length <= 0 || channels <= 0) return nullptr;
  PeakLimiter* l = new (std::nothrow) PeakLimiter();
  if (!l) return nullptr;
  l->channels = channels;
  l->block_length = block_length;
  l->block_samples = channels * block_length;
  l->linked = linked ? 1 : 0;
  l->threshold = 32767.0f;
  l->release = float(1.0 - std::exp(-0.00016628874132152048));
  l->state = new (std::nothrow) PeakLimiterChannel[channels];
  const size_t bytes = (size_t(l->block_samples) * sizeof(float) + 15) & ~size_t(15);
  l->delay = static_cast<float*>(std::aligned_alloc(16, bytes));
  if (!l->state || !l->delay) {
    delete[] l->state;
    std::free(l->delay);
    delete l;
    return nullptr;
  }
  std::memset(l->delay, 0, bytes);
  for (int c = 0; c < channels; ++c) l->state[c] = {0, 1.0f, 1.0f};
  limiter_sse = mp3dec_cpu_has_sse();
  return l;
}

void mp3dec_limiter_destroy(PeakLimiter** pl) {
  if (!pl || !*pl) return;
  PeakLimiter* l = *pl;
  std::free(l->delay);
  delete[] l->state;
  delete l;
  *pl = nullptr;
}

void mp3dec_limiter_process(PeakLimiter* l, const float* in, float* out) {
  const int nch = l->channels;
  const int n = l->block_samples;
  if (!in) {
    for (int c = 0; c < nch; ++c) {
      PeakLimiterChannel& st = l->state[c];
      for (int k = c; k < n; k += nch) out[k] = l->delay[k] * st.gain;
      st.mode = 4;
    }
    return;
  }
  float peak = 0.0f;
  if (l->linked) {
    for (int i = 0; i < n; ++i) {
      const float a = std::fabs(in[i]);
      if (a > l->threshold && a > peak) peak = a;
    }
  }
  for (int c = 0; c < nch; ++c) {
    PeakLimiterChannel& st = l->state[c];
    if (st.mode == 4) continue;
    if (!l->linked) {
      peak = 0.0f;
      for (int k = c; k < n; k += nch) {
        const float a = std::fabs(in[k]);
        if (a > l->threshold && a > peak) peak = a;
      }
    }
    const float t = peak > l->threshold ? l->threshold / peak : 1.0f;
    float g = st.gain;
    if (t < g) {
      const float d = (g - t) / float(n);
      for (int k = c; k < n; k += nch) {
        out[k] = (g - float(k) * d) * l->delay[k];
        l->delay[k] = in[k];
      }
      st.mode = 2;
      st.gain = t;
    } else if (st.mode == 0) {
      if (l->linked && c == 0) {
#ifdef MP3DEC_X86
        if (limiter_sse) {
          pass_copy_sse(in, out, l->delay, n);
        } else {
          pass_copy_plain(in, out, l->delay, n);
        }
#else
        pass_copy_plain(in, out, l->delay, n);
#endif
        for (int cc = 0; cc < nch; ++cc) l->state[cc].previous_target = t;
        return;
      }
      for (int k = c; k < n; k += nch) {
        out[k] = l->delay[k];
        l->delay[k] = in[k];
      }
    } else if (st.mode == 1) {
      const float T = st.previous_target < t ? st.previous_target : t;
      for (int k = c; k < n; k += nch) {
        float step = (T - g) * l->release;
        if (step < 0.00000005f) step = 0.00000005f;
        g = g + step;
        if (g > T) g = T;
        out[k] = g * l->delay[k];
        l->delay[k] = in[k];
      }
      if (g < t) {
        st.gain = g;
      } else if (g < 1.0f) {
        st.mode = 2;
        st.gain = t;
      } else {
        st.mode = 0;
        st.gain = 1.0f;
      }
    } else {  // hold
      for (int k = c; k < n; k += nch) {
        out[k] = g * l->delay[k];
        l->delay[k] = in[k];
      }
      st.mode = 1;
    }
    st.previous_target = t;
  }
}
