#include "sbrenc/sbrenc_level.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {
const float b32[5] = {0.019443147f, -0.020179385f, 0.035663880f, -0.020179385f, 0.019443147f};
const float a32[4] = {-3.1251173f, 4.0943308f, -2.5959373f, 0.6750204f};
const float b44[5] = {0.014476057f, -0.029875640f, 0.040672760f, -0.029875640f, 0.014476057f};
const float a44[4] = {-3.4547217f, 4.7239532f, -3.0068376f, 0.7515528f};
const float b48[5] = {0.013666028f, -0.031308174f, 0.042385217f, -0.031308174f, 0.013666028f};
const float a48[4] = {-3.5172982f, 4.8522668f, -3.0940864f, 0.7691482f};
constexpr long double pi = 3.141592653589793238462643383279502884L;

// Returns the mean energy of the filtered frame, 0.25 sum y^2 / N.
float filter_channel(sbrenc_level_detector* d, float* buf, float* xh, float* yh) {
  const int32_t n = d->frame_length;
  // DC filter over the first N values; no state across frames.
  float prev_x = buf[0];
  for (int32_t i = 1; i < n; ++i) {
    const float x = buf[i];
    buf[i] = x - prev_x - d->dc * buf[i - 1];
    prev_x = x;
  }
  float energy = 0.0f;
  for (int32_t i = 0; i < n; ++i) {
    const float x = buf[i];
    float y = d->b[0] * x;
    for (int k = 1; k <= 4; ++k) y += d->b[k] * xh[k - 1] - d->a[k - 1] * yh[k - 1];
    for (int k = 3; k > 0; --k) {
      xh[k] = xh[k - 1];
      yh[k] = yh[k - 1];
    }
    xh[0] = x;
    yh[0] = y;
    buf[i] = y;
    energy += y * y;
  }
  return 0.25f * energy / static_cast<float>(n);
}
}  // namespace

const mp3enc_error* sbrenc_level_detector_create(sbrenc_level_detector** out, int32_t rate, int32_t n, int32_t h) {
  *out = nullptr;
  const float *a, *b;
  if (rate == 32000) {
    a = a32;
    b = b32;
  } else if (rate == 44100) {
    a = a44;
    b = b44;
  } else if (rate == 48000) {
    a = a48;
    b = b48;
  } else {
    return mp3enc_generic_error();
  }
  auto* d = static_cast<sbrenc_level_detector*>(std::calloc(1, sizeof(sbrenc_level_detector)));
  if (!d) return mp3enc_generic_error();
  d->a = a;
  d->b = b;
  d->frame_length = n;
  d->history = h;
  d->feedback_order = 3;
  d->feedforward_length = 4;
  const long double t = std::tan(0.19L * pi * n / rate);
  d->smooth_a = static_cast<float>((t - 1) / (t + 1));
  d->smooth_b = (1.0f + d->smooth_a) * 0.5f;
  d->peak_decay = static_cast<float>(std::exp(-static_cast<long double>(n) / (4.0L * rate)));
  const long double t2 = std::tan(0.5L * 20 * pi / rate);
  d->dc = static_cast<float>((t2 - 1) / (t2 + 1));
  bool ok = true;
  for (int c = 0; c < 2; ++c) {
    ok = ok && (d->x_hist[c] = static_cast<float*>(std::calloc(4, sizeof(float))));
    ok = ok && (d->y_hist[c] = static_cast<float*>(std::calloc(4, sizeof(float))));
    ok = ok && (d->buffer[c] = static_cast<float*>(std::calloc(h + n, sizeof(float))));
  }
  if (!ok) {
    sbrenc_level_detector_free(&d);
    return mp3enc_generic_error();
  }
  *out = d;
  return nullptr;
}

void sbrenc_level_detector_free(sbrenc_level_detector** p) {
  if (!p || !*p) return;
  sbrenc_level_detector* d = *p;
  for (int c = 0; c < 2; ++c) {
    std::free(d->x_hist[c]);
    std::free(d->y_hist[c]);
    std::free(d->buffer[c]);
  }
  std::free(d);
  *p = nullptr;
}

void sbrenc_level_detect(sbrenc_level_detector* d, const float* input) {
  const int32_t n = d->frame_length, h = d->history;
  for (int c = 0; c < 2; ++c) {
    float* b = d->buffer[c];
    std::memmove(b, b + n, h * sizeof(float));
    for (int32_t i = 0; i < n; ++i) b[h + i] = input[2 * i + c];
  }
  const float e2 = filter_channel(d, d->buffer[1], d->x_hist[0], d->y_hist[0]);
  const float e1 = filter_channel(d, d->buffer[0], d->x_hist[1], d->y_hist[1]);

  const bool silent = e2 < 0.3f && d->prev_e2 <= 0.3f && e1 > 2.0f && d->prev_e1 > 2.0f;
  d->prev_e2 = e2;
  d->prev_e1 = e1;
  const float g2 = e2 >= 100.0f ? e2 : 0.0f;
  const float r1 = g2 / (e1 + 3.2768f + g2);
  const float peak = std::max(e1, d->peak * d->peak_decay);
  d->peak = peak;
  const float r2 = g2 / (peak + 3.2768f);

  const float u1 = d->prev_share, u2 = d->smooth_in, y1 = d->smooth_out;
  float s;
  if (u1 - y1 <= 0.005f || r1 - y1 <= 0.005f)
    s = (u2 + u1) * d->smooth_b - y1 * d->smooth_a;
  else
    s = (u1 + u1) * d->smooth_b - u1 * d->smooth_a;
  int32_t cls = s > 0.16f ? 3 : (s > 0.017f ? 2 : 1);
  const float limit = d->decision <= 1 ? 0.0026f : 0.0016f;
  if ((r1 < 0.01f && u1 < 0.01f) || (r2 < limit && d->prev_ratio < limit)) {
    cls = 1;
    d->smooth_in = d->smooth_out = 0.0f;
  } else {
    d->smooth_out = s;
    d->smooth_in = u1;
  }
  d->decision = silent ? 0 : cls;
  d->prev_share = r1;
  d->prev_ratio = r2;
}
