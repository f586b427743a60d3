#include "mp3enc/attack.h"

#include <new>

int mp3enc_attack_create(mp3enc_attack_state** out) {
  *out = new (std::align_val_t(16), std::nothrow) mp3enc_attack_state{};
  return *out ? 0 : 1;
}

int mp3enc_attack_reset(mp3enc_attack_state* s) {
  const int32_t stride = s->stride;
  *s = mp3enc_attack_state{};
  s->stride = stride;
  return 0;
}

void mp3enc_attack_free(mp3enc_attack_state* s) {
  if (s) ::operator delete(s, std::align_val_t(16));
}

int kern_attack_detect(mp3enc_attack_state* s, const float* x) {
  constexpr float kLoud = 47110000.0f;
  constexpr float kRatio = 0.25f;
  s->p0 = s->e0;
  s->p1 = s->e1;
  s->p2 = s->e2;
  // The high-pass keeps its memory from granule to granule so that a granule's first
  // samples are not taken for an attack.
  float xm = s->last_x, ym = s->last_y;
  float e[3];
  for (int k = 0; k < 3; ++k) {
    float sum = 0.0f;
    for (int n = 192 * k; n < 192 * k + 192; ++n) {
      const float xn = x[n * s->stride];
      const float y = 0.5095f * ym + 0.7548f * (xn - xm);
      sum += y * y;
      xm = xn;
      ym = y;
    }
    e[k] = sum;
  }
  s->last_x = xm;
  s->last_y = ym;
  s->e0 = e[0];
  s->e1 = e[1];
  s->e2 = e[2];

  bool attack = (s->e1 < kRatio * s->e2 && s->e0 < kRatio * s->e2 && s->e2 > kLoud) ||
                (s->e0 < kRatio * s->e1 && s->p2 < kRatio * s->e1 && s->e1 > kLoud) ||
                (s->p2 < kRatio * s->e0 && s->p1 < kRatio * s->e0 && s->e0 > kLoud);
  if (attack) {
    s->follow = 1;
  } else if (s->follow) {
    // the decay of an attack just found is as hard to code as the attack itself
    attack = (s->e0 > kLoud && s->e1 < kRatio * s->e0) || (s->p2 > kLoud && s->e0 < kRatio * s->p2);
    s->follow = 0;
  }
  const int32_t t = s->next_type;
  if (attack) {
    s->current_type = t == 0 ? 1 : 2;
    s->next_type = 2;
  } else {
    s->current_type = t;
    s->next_type = t == 2 ? 3 : 0;
  }
  return s->current_type;
}

int mp3enc_combine_block_types(mp3enc_attack_state* s0, mp3enc_attack_state* s1, int channels, int combine,
                               int32_t* type0, int32_t* type1) {
  static constexpr int32_t kCommon[4][4] = {{0, 1, 2, 3}, {1, 1, 2, 2}, {2, 2, 2, 2}, {3, 2, 2, 3}};
  if (channels < 2) {
    *type0 = s0->current_type;
    return 1;
  }
  if (!combine) {
    *type0 = s0->current_type;
    *type1 = s1->current_type;
    return 1;
  }
  const int32_t t = kCommon[s0->current_type & 3][s1->current_type & 3];
  s0->current_type = s1->current_type = t;
  *type0 = *type1 = t;
  return 1;
}
