// Pseudo-stereo: the mono signal is split at a low corner; the high part feeds a delayed,
// all-pass coloured copy that is added to one side and taken from the other, while the
// strength follows the stream's index smoothly from frame to frame.
#include "mp3dec/sbr/sbr_stereo.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "mp3dec/sbr/sbr_error.h"

SbrError* sbrdec_stereo_create(SbrPseudoStereo** out, int fs, int n) {
  *out = nullptr;
  if (fs <= 0 || n <= 0) return sbrdec_error();
  SbrPseudoStereo* s = static_cast<SbrPseudoStereo*>(std::calloc(1, sizeof(SbrPseudoStereo)));
  if (!s) return sbrdec_error();
  s->frame_length = n;
  s->attack = float(1.0 - std::exp(-double(n) / (fs * 0.07)));
  const double t = std::tan(0.05 * 2.0 * n / fs * M_PI / 2.0);
  s->a = float(-(1.0 - t) / (1.0 + t));
  s->b = (s->a + 1.0f) / 2.0f;
  if (fs == 32000) {
    s->split_p = -0.92439044f, s->split_q = 0.037804723f, s->g = 0.41165161f, s->a0 = -0.57443237f, s->a1 = -0.05029297f;
  } else if (fs == 44100) {
    s->split_p = -0.944574f, s->split_q = 0.027712941f, s->g = 0.34075927f, s->a0 = -0.60690308f, s->a1 = -0.07943726f;
  } else {
    s->split_p = -0.9489646f, s->split_q = 0.025517702f, s->g = 0.34472656f, s->a0 = -0.61126709f, s->a1 = -0.06530762f;
  }
  s->delay_length = int(fs * 0.007 + 0.5);
  s->delay = static_cast<float*>(std::calloc(size_t(s->delay_length), sizeof(float)));
  if (!s->delay) {
    std::free(s);
    return sbrdec_error();
  }
  *out = s;
  return nullptr;
}

void sbrdec_stereo_free(SbrPseudoStereo** state) {
  if (!state || !*state) return;
  std::free((*state)->delay);
  std::free(*state);
  *state = nullptr;
}

void sbrdec_stereo_clear(SbrPseudoStereo* s) {
  s->prev_target = s->prev_strength = s->prev_side = 0.0f;
  s->split_prev_in = s->split_prev_out = 0.0f;
  s->y1 = s->y2 = 0.0f;
  s->position = 0;
  std::memset(s->delay, 0, sizeof(float) * size_t(s->delay_length));
}

void sbrdec_mono_to_stereo(SbrPseudoStereo* s, float* x, int index) {
  static const float strengths[4] = {0.0f, 0.0f, 0.4480625f, 0.70710677f};
  const float target = strengths[index & 3];
  float v = 0.0f;
  if ((index & 3) != 0) {
    v = (target + s->prev_target) * s->b - s->prev_strength * s->a;
    if (v < target) v += (target - v) * s->attack;
  }
  const float w = std::sqrt(1.0f - v * v);
  const int n = s->frame_length;
  const float dv = (v - s->prev_strength) / float(n), dw = (w - s->prev_side) / float(n);
  for (int i = 0; i < n; ++i) {
    const float vi = s->prev_strength + dv * float(i), wi = s->prev_side + dw * float(i);
    const float in = x[2 * i];
    const float low = (in + s->split_prev_in) * s->split_q - s->split_p * s->split_prev_out;
    s->split_prev_in = in;
    s->split_prev_out = low;
    const float high = in - low;
    const float y = s->g * s->delay[s->position] - s->a0 * s->y1 - s->a1 * s->y2;
    s->y2 = s->y1;
    s->y1 = y;
    x[2 * i] = vi * y + wi * high + low;
    x[2 * i + 1] = wi * high - vi * y + low;
    s->delay[s->position] = high;
    if (++s->position == s->delay_length) s->position = 0;
  }
  s->prev_target = target;
  s->prev_strength = v;
  s->prev_side = w;
}
