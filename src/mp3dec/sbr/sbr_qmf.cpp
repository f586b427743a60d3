// Complex QMF banks of the SBR decoder.
// The analysis turns 32 core samples per slot into 32 complex bands, the synthesis 64
// complex bands into 64 samples at twice the rate; both reach their cosine and sine
// modulations through a DCT-IV and a DST-IV computed with a half-length complex FFT.
#include "mp3dec/sbr/sbr_qmf.h"

#include <xmmintrin.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "mp3dec/cpu.h"
#include "mp3dec/sbr/sbr_error.h"
#include "mp3dec/sbr/sbr_fft.h"
#include "mp3dec/sbr/sbr_tables.h"

qmf_analysis_fn g_qmfAnalysis = sbrdec_qmf_analysis_plain;
qmf_synthesis_fn g_qmfSynthesis = sbrdec_qmf_synthesis_plain;

namespace {

QmfBank* new_bank(int bands, int step, float rot_gain, double rot_step) {
  QmfBank* b = static_cast<QmfBank*>(std::calloc(1, sizeof(QmfBank)));
  if (!b) return nullptr;
  b->bands = bands;
  b->log2_bands = bands == 32 ? 5 : 6;
  b->window_length = 10 * bands;
  b->window = sbrdec_qmf_window;
  b->window_step = step;
  b->blocks = 5;
  b->slots = SBR_QMF_SLOTS;
  b->low = 0;
  b->high = bands;
  const int half = bands / 2;
  for (int k = 0; k < half; ++k) {
    const double a = (k + 0.25) * M_PI / bands;
    b->pre_cos[k] = float(std::cos(a));
    b->pre_sin[k] = float(std::sin(a));
  }
  for (int k = 0; k <= half; ++k) b->post_sin[k] = float(std::sin(k * M_PI / bands));
  for (int k = 0; k < bands; ++k) {
    const double a = (k + 0.5) * rot_step;
    b->rot_cos[k] = float(rot_gain * std::cos(a));
    b->rot_sin[k] = float(rot_gain * std::sin(a));
  }
  b->work = static_cast<float*>(std::calloc(size_t(4 * bands), sizeof(float)));
  if (!b->work) {
    std::free(b);
    return nullptr;
  }
  return b;
}

}  // namespace

SbrError* sbrdec_qmf_analysis_create(QmfBank** out, int unused, int factor, int frame_length) {
  *out = nullptr;
  if (unused != 0 || (factor != 1 && factor != 2)) return sbrdec_error();
  QmfBank* b = factor == 2 ? new_bank(32, 2, 2.0f, 0.75 * M_PI / 32) : new_bank(64, 1, 1.0f, M_PI / 64);
  if (!b) return sbrdec_error();
  b->slots = frame_length / 32;
  if (factor == 1) {
    g_qmfAnalysis = sbrdec_qmf_analysis_plain;
    g_qmfSynthesis = sbrdec_qmf_synthesis_plain;
  } else {
    sbrdec_select_simd();
  }
  *out = b;
  return nullptr;
}

SbrError* sbrdec_qmf_synthesis_create(QmfBank** out, int unused, int frame_length, float core_gain,
                                      float high_gain) {
  *out = nullptr;
  if (unused != 0) return sbrdec_error();
  QmfBank* b = new_bank(64, 1, 1.0f, 0.0);
  if (!b) return sbrdec_error();
  b->slots = frame_length / 64;
  b->low = 32;
  b->high = 64;
  b->core_gain = -core_gain / 64.0f;
  b->high_gain = b->high_gain_config = -high_gain / 64.0f;
  b->delay = static_cast<float*>(std::calloc(size_t(b->window_length), sizeof(float)));
  if (!b->delay) {
    sbrdec_qmf_free(&b);
    return sbrdec_error();
  }
  *out = b;
  return nullptr;
}

void sbrdec_qmf_free(QmfBank** bank) {
  if (!bank || !*bank) return;
  std::free((*bank)->delay);
  std::free((*bank)->work);
  std::free(*bank);
  *bank = nullptr;
}

void sbrdec_qmf_clear(QmfBank* bank) {
  if (bank && bank->delay) std::memset(bank->delay, 0, sizeof(float) * size_t(bank->window_length));
}

void sbrdec_select_simd() {
  if (mp3dec_cpu_has_sse()) {
    g_qmfAnalysis = sbrdec_qmf_analysis_sse;
    g_qmfSynthesis = sbrdec_qmf_synthesis_sse;
  } else {
    g_qmfAnalysis = sbrdec_qmf_analysis_plain;
    g_qmfSynthesis = sbrdec_qmf_synthesis_plain;
  }
}

// y[k] = sum x[n] cos(pi (n + 0.5)(k + 0.5) / N): the even and reversed odd inputs form
// N/2 complex values, turned by (k + 0.25) pi / N before the FFT and by k pi / N after it.
void sbrdec_dct4(float* x, const QmfBank* b, float* work) {
  const int n = b->bands, half = n / 2;
  for (int k = 0; k < half; ++k) {
    const float a = x[2 * k], c = x[n - 1 - 2 * k];
    work[2 * k] = a * b->pre_cos[k] + c * b->pre_sin[k];
    work[2 * k + 1] = c * b->pre_cos[k] - a * b->pre_sin[k];
  }
  sbrdec_fft(work, half);
  for (int k = 0; k < half; ++k) {
    const float cs = b->post_sin[half - k], sn = b->post_sin[k];
    const float tr = work[2 * k], ti = work[2 * k + 1];
    x[2 * k] = tr * cs + ti * sn;
    x[n - 1 - 2 * k] = tr * sn - ti * cs;
  }
}

// The DST-IV is the DCT-IV of the reversed input with every odd output negated.
void sbrdec_dst4(float* x, const QmfBank* b, float* work) {
  const int n = b->bands;
  for (int i = 0; i < n / 2; ++i) {
    const float t = x[i];
    x[i] = x[n - 1 - i];
    x[n - 1 - i] = t;
  }
  sbrdec_dct4(x, b, work);
  for (int k = 1; k < n; k += 2) x[k] = -x[k];
}

namespace {

// The modulation shared by both forms of the analysis: u (2M values) into the slot's rows.
void analysis_modulate(const float* u, float* re_row, float* im_row, QmfBank* b) {
  const int m = b->bands;
  float* re = b->work;
  float* im = b->work + m;
  float* tmp = b->work + 2 * m;
  for (int k = 0; k < m; ++k) {
    re[k] = u[k] - u[2 * m - 1 - k];
    im[k] = u[k] + u[2 * m - 1 - k];
  }
  sbrdec_dct4(re, b, tmp);
  sbrdec_dst4(im, b, tmp);
  for (int k = b->low; k < b->high; ++k) {
    const float c = b->rot_cos[k], s = b->rot_sin[k];
    re_row[k] = re[k] * c + im[k] * s;
    im_row[k] = im[k] * c - re[k] * s;
  }
}

// The modulation shared by both forms of the synthesis: the slot's rows into u (2M values).
void synthesis_modulate(const float* re_row, const float* im_row, float* u, QmfBank* b) {
  const int m = b->bands;
  float* re = b->work;
  float* im = b->work + m;
  float* tmp = b->work + 2 * m;
  for (int k = 0; k < m; ++k) {
    const float g = k < b->low ? b->core_gain : k < b->high ? b->high_gain : 0.0f;
    re[k] = re_row[k] * g;
    im[k] = im_row[k] * g;
  }
  sbrdec_dct4(re, b, tmp);
  sbrdec_dst4(im, b, tmp);
  for (int k = 0; k < m; ++k) {
    u[k] = re[k] - im[k];
    u[2 * m - 1 - k] = -(re[k] + im[k]);
  }
}

}  // namespace

void sbrdec_qmf_analysis_plain(const float* input, float* const* re, float* const* im, QmfBank* b) {
  const int m = b->bands, s = b->window_step;
  const float* w = b->window;
  float u[128];
  for (int slot = 0; slot < b->slots; ++slot) {
    const float* x = input + slot * m;
    for (int i = 0; i < 2 * m; ++i) {
      float sum = 0.0f;
      for (int j = 0; j < b->blocks; ++j) sum += x[i + 2 * m * j] * w[(s - 1) + s * (i + 2 * m * j)];
      u[2 * m - 1 - i] = sum;
    }
    analysis_modulate(u, re[slot], im[slot], b);
  }
}

void sbrdec_qmf_synthesis_plain(float* output, float* const* re, float* const* im, QmfBank* b) {
  const int m = b->bands;
  const float* w = b->window;
  float* acc = b->delay;
  float u[128];
  for (int slot = 0; slot < b->slots; ++slot) {
    synthesis_modulate(re[slot], im[slot], u, b);
    for (int j = 0; j < b->blocks; ++j)
      for (int i = 0; i < 2 * m; ++i) acc[i + 2 * m * j] += u[2 * m - 1 - i] * w[i + 2 * m * j];
    float* out = output + slot * m;
    for (int k = 0; k < m; ++k) out[m - 1 - k] = acc[9 * m + k];
    std::memmove(acc + m, acc, sizeof(float) * size_t(9 * m));
    std::memset(acc, 0, sizeof(float) * size_t(m));
  }
}

// The SSE forms: the 32-band analysis reads the window at a stride of two, so it takes a
// copy gathered for four-wide loads; the synthesis window is read in order.
namespace {
struct analysis_window {
  alignas(16) float w[320];
  analysis_window() {
    for (int n = 0; n < 320; ++n) w[n] = sbrdec_qmf_window[1 + 2 * n];
  }
};
}  // namespace

void sbrdec_qmf_analysis_sse(const float* input, float* const* re, float* const* im, QmfBank* b) {
  if (b->bands != 32) {
    sbrdec_qmf_analysis_plain(input, re, im, b);
    return;
  }
  static const analysis_window aw;
  alignas(16) float u[64];
  for (int slot = 0; slot < b->slots; ++slot) {
    const float* x = input + slot * 32;
    for (int i = 0; i < 64; i += 4) {
      __m128 sum = _mm_mul_ps(_mm_loadu_ps(x + i), _mm_load_ps(aw.w + i));
      for (int j = 1; j < 5; ++j)
        sum = _mm_add_ps(sum, _mm_mul_ps(_mm_loadu_ps(x + i + 64 * j), _mm_load_ps(aw.w + i + 64 * j)));
      // u runs backwards: reverse the four sums.
      _mm_storeu_ps(u + 60 - i, _mm_shuffle_ps(sum, sum, _MM_SHUFFLE(0, 1, 2, 3)));
    }
    analysis_modulate(u, re[slot], im[slot], b);
  }
}

void sbrdec_qmf_synthesis_sse(float* output, float* const* re, float* const* im, QmfBank* b) {
  if (b->bands != 64) {
    sbrdec_qmf_synthesis_plain(output, re, im, b);
    return;
  }
  const float* w = b->window;
  float* acc = b->delay;
  alignas(16) float u[128], ur[128];
  for (int slot = 0; slot < b->slots; ++slot) {
    synthesis_modulate(re[slot], im[slot], u, b);
    for (int i = 0; i < 128; ++i) ur[i] = u[127 - i];
    for (int j = 0; j < 5; ++j) {
      float* a = acc + 128 * j;
      const float* wj = w + 128 * j;
      for (int i = 0; i < 128; i += 4)
        _mm_storeu_ps(a + i, _mm_add_ps(_mm_loadu_ps(a + i), _mm_mul_ps(_mm_load_ps(ur + i), _mm_loadu_ps(wj + i))));
    }
    float* out = output + slot * 64;
    for (int k = 0; k < 64; ++k) out[63 - k] = acc[576 + k];
    std::memmove(acc + 64, acc, sizeof(float) * 576);
    std::memset(acc, 0, sizeof(float) * 64);
  }
}
