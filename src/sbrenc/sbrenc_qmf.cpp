#include "sbrenc/sbrenc_qmf.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "sbrenc/sbrenc_grid.h"
#include "sbrenc/sbrenc_tables.h"

namespace {
constexpr int M = 64;
constexpr int W = 640;
constexpr double pi = 3.14159265358979323846;

// The transform splits into two of half the length: the even inputs give one directly,
// the odd inputs, summed with their neighbours, give the other after a scaling by
// 1 / (2 cos((2k + 1) pi / 2N)); outputs k and N - 1 - k are their sum and difference.
template <int N>
struct dct3_scale {
  float s[N / 2];
  dct3_scale() {
    for (int k = 0; k < N / 2; ++k) s[k] = static_cast<float>(0.5 / std::cos(pi * (2 * k + 1) / (2.0 * N)));
  }
};

template <int N>
void dct3(const float* x, float* y) {
  if constexpr (N == 1) {
    y[0] = x[0];
  } else {
    static const dct3_scale<N> scale;
    float u[N / 2], w[N / 2], a[N / 2], b[N / 2];
    for (int m = 0; m < N / 2; ++m) {
      u[m] = x[2 * m];
      w[m] = x[2 * m + 1] + (m > 0 ? x[2 * m - 1] : 0.0f);
    }
    dct3<N / 2>(u, a);
    dct3<N / 2>(w, b);
    for (int k = 0; k < N / 2; ++k) {
      const float t = b[k] * scale.s[k];
      y[k] = a[k] + t;
      y[N - 1 - k] = a[k] - t;
    }
  }
}
}  // namespace

const mp3enc_error* sbrenc_qmf_create(sbrenc_qmf** out, int32_t reserved, int32_t frame_length) {
  *out = nullptr;
  auto* q = static_cast<sbrenc_qmf*>(std::calloc(1, sizeof(sbrenc_qmf)));
  if (!q) return mp3enc_generic_error();
  q->bands = M;
  q->window_length = W;
  q->prototype = sbrenc_qmf_prototype;
  q->taps = 5;
  q->slots = frame_length / M;
  if (reserved != 0) {
    sbrenc_qmf_free(&q);
    return mp3enc_generic_error();
  }
  q->cos_table = static_cast<float*>(std::calloc(32, sizeof(float)));
  q->sin_table = static_cast<float*>(std::calloc(32, sizeof(float)));
  q->sin_table2 = static_cast<float*>(std::calloc(33, sizeof(float)));
  q->fold = static_cast<float*>(std::calloc(128, sizeof(float)));
  q->history = static_cast<float*>(std::calloc(W, sizeof(float)));
  if (!q->cos_table || !q->sin_table || !q->sin_table2 || !q->fold || !q->history) {
    sbrenc_qmf_free(&q);
    return mp3enc_generic_error();
  }
  for (int i = 0; i < 32; ++i) {
    q->cos_table[i] = static_cast<float>(std::cos((i + 0.25) * pi / 64));
    q->sin_table[i] = static_cast<float>(std::sin((i + 0.25) * pi / 64));
  }
  for (int i = 0; i <= 32; ++i) q->sin_table2[i] = static_cast<float>(std::sin(i * pi / 64));
  *out = q;
  return nullptr;
}

void sbrenc_qmf_free(sbrenc_qmf** qmf) {
  if (!qmf || !*qmf) return;
  sbrenc_qmf* q = *qmf;
  std::free(q->cos_table);
  std::free(q->sin_table);
  std::free(q->sin_table2);
  std::free(q->fold);
  std::free(q->history);
  std::free(q);
  *qmf = nullptr;
}

void sbrenc_fft(float* x) {
  float in[M];
  std::memcpy(in, x, sizeof in);
  dct3<M>(in, x);
}

void sbrenc_cplx_analysis(const float* input, int32_t stride, float* const* real_rows, float* const* imag_rows,
                          sbrenc_qmf* q) {
  float* s = q->history;
  float* u = q->fold;
  const float* t = q->prototype;
  for (int l = 0; l < q->slots; ++l) {
    std::memmove(s, s + M, (W - M) * sizeof(float));
    for (int i = 0; i < M; ++i) s[W - M + i] = input[i * stride];
    input += M * stride;

    for (int n = 0; n < M; ++n) {
      float acc = 0.0f;
      for (int j = 0; j < 5; ++j) acc += t[5 * n + j] * s[n + 128 * j];
      u[127 - n] = acc;
    }
    {
      float acc = 0.0f;
      for (int j = 0; j < 5; ++j) acc += t[320 + j] * s[127 + 128 * j];
      u[0] = acc;
    }
    for (int n = 0; n < M - 1; ++n) {
      float acc = 0.0f;
      for (int j = 0; j < 5; ++j) acc += t[314 - 5 * n - j] * s[64 + n + 128 * j];
      u[63 - n] = acc;
    }

    float* a = real_rows[l];
    float* b = imag_rows[l];
    a[0] = u[0];
    for (int i = 1; i < M; ++i) {
      a[i] = u[i] - u[128 - i];
      b[i - 1] = u[i] + u[128 - i];
    }
    b[63] = u[64];
    sbrenc_fft(a);
    for (int i = 0; i < 32; ++i) {
      float tmp = b[i];
      b[i] = b[63 - i];
      b[63 - i] = tmp;
    }
    sbrenc_fft(b);
    for (int i = 1; i < M; i += 2) b[i] = -b[i];
  }
}

void sbrenc_subband_energy(float* const* energy_rows, const float* const* real_rows, const float* const* imag_rows,
                           int32_t band_count, int32_t slot_count) {
  for (int l = 0; l < slot_count; ++l)
    for (int k = 0; k < band_count; ++k)
      energy_rows[l][k] = real_rows[l][k] * real_rows[l][k] + imag_rows[l][k] * imag_rows[l][k];
}

namespace {
const int32_t start_offset[16] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 11, 13, 16, 20, 24, 28, 33};

int32_t rate_minimum(int32_t band_count, int32_t sample_rate, double low, double mid, double high) {
  double f = sample_rate < 32000 ? low : (sample_rate < 64000 ? mid : high);
  return static_cast<int32_t>(band_count * f / sample_rate + 0.5);
}

int32_t hz_of_band(int32_t band, int32_t band_count, int32_t sample_rate) {
  return static_cast<int32_t>(static_cast<float>((sample_rate * band) / (2 * band_count)) + 0.5f);
}
}  // namespace

int32_t sbrenc_lower_edge_band(int32_t start_index, int32_t band_count, int32_t sample_rate) {
  if (start_index < 0 || start_index > 15) return -1;
  return rate_minimum(band_count, sample_rate, 6000.0, 8000.0, 10000.0) + start_offset[start_index];
}

int32_t sbrenc_lower_edge_hz(int32_t start_index, int32_t band_count, int32_t sample_rate) {
  if (start_index < 0 || start_index > 15) return -1;
  return hz_of_band(sbrenc_lower_edge_band(start_index, band_count, sample_rate), band_count, sample_rate);
}

int32_t sbrenc_stop_band(int32_t stop_index, int32_t band_count, int32_t sample_rate) {
  if (stop_index < 0 || stop_index > 13) return -1;
  const int32_t minimum = rate_minimum(band_count, sample_rate, 12000.0, 16000.0, 20000.0);
  int32_t k[14], d[13];
  for (int i = 0; i < 14; ++i)
    k[i] = static_cast<int32_t>(minimum * std::pow(64.0 / minimum, i / 13.0) + 0.5);
  for (int i = 0; i < 13; ++i) d[i] = k[i + 1] - k[i];
  sbrenc_sort_ints(d, 13);
  int32_t band = minimum;
  for (int i = 0; i < stop_index; ++i) band += d[i];
  return band;
}

int32_t sbrenc_stop_freq_hz(int32_t stop_index, int32_t band_count, int32_t sample_rate) {
  if (stop_index < 0 || stop_index > 13) return -1;
  return hz_of_band(sbrenc_stop_band(stop_index, band_count, sample_rate), band_count, sample_rate);
}
