// HF adjuster and tone synthesis: the state built once per band layout.
#include "mp3dec/sbr/sbr_adjust.h"

#include <cmath>
#include <cstring>

void sbrdec_adjust_init(SbrAdjuster* a) {
  std::memset(a->prev_gain, 0, sizeof(a->prev_gain));
  std::memset(a->prev_noise, 0, sizeof(a->prev_noise));
  a->prev_transient_last = 0;
  a->first_envelope = 1;
}

void sbrdec_tone_init(SbrToneRecord* t, int slots, int bands) {
  std::memset(t, 0, sizeof(*t));
  t->first_half = slots / 2;
  t->second_half = slots - slots / 2;
  // A tone in band k sits at the band's centre; its phase step per slot is fixed by the
  // synthesis modulation, so one complex factor per band places it.
  for (int k = 0; k < bands && k < 64; ++k) {
    const double a = (k + 0.5) * (0.5 * bands - 0.5) * M_PI / bands;
    t->cos_factor[k] = float(std::cos(a) * std::sqrt(2.0));
    t->sin_factor[k] = float(std::sin(a) * std::sqrt(2.0));
  }
}
