#include "mp3enc/stereo_prep.h"

#include "mp3enc/analysis.h"

#include <algorithm>
#include <cmath>
#include <new>

mp3enc_stereo_prep* mp3enc_stereo_prep_alloc(int channels, int bit_rate, int sample_rate) {
  auto* p = new (std::align_val_t(16), std::nothrow) mp3enc_stereo_prep{};
  if (!p) return nullptr;
  const double br = bit_rate, sr = sample_rate;
  p->bits_per_granule = float(br * 576.0 / (channels * sr));
  p->control_db = 0.1f * 15.0f;
  p->rise_factor = float(22050.0 * 6000.0 / (sr * br));
  p->fall_factor = float(22050.0 * 3000.0 / (sr * br));
  p->target_scale = float(11520000000.0 / (br * br));
  return p;
}

int mp3enc_stereo_prep_create(mp3enc_stereo_prep** out, int channels, int bit_rate, int sample_rate, int enable) {
  *out = nullptr;
  if (!enable || channels < 2) return 0;
  if (bit_rate <= 0 || sample_rate <= 0) return 1;
  *out = mp3enc_stereo_prep_alloc(channels, bit_rate, sample_rate);
  return *out ? 0 : 1;
}

void mp3enc_stereo_prep_free(mp3enc_stereo_prep* p) {
  if (p) ::operator delete(p, std::align_val_t(16));
}

void mp3enc_stereo_prep_update_values(mp3enc_stereo_prep* p, float energy_l, float energy_r, float energy_m,
                                      float energy_s, float pe0, float pe1) {
  if (!p) return;
  p->energy_l = energy_l;
  p->energy_r = energy_r;
  p->energy_m = energy_m;
  p->energy_s = energy_s;
  const float n = p->weight;
  p->smoothed_pe = (1.0f - n) * p->smoothed_pe + 0.5f * n * (pe0 + pe1);
  if (n > 0.1f) p->weight = n - 0.1f;
}

void mp3enc_stereo_prep_update(const mp3enc_granule_analysis* a, mp3enc_stereo_prep* p) {
  if (!p || !a) return;
  mp3enc_stereo_prep_update_values(p, a->ch[0].total, a->ch[1].total, a->ch[0].ms_total, a->ch[1].ms_total,
                                   a->ch[0].pe, a->ch[1].pe);
}

void mp3enc_stereo_prep_granule(mp3enc_stereo_prep* p, int channels, float* input, int count) {
  if (!p) return;
  const float g = p->mix, n = p->weight;
  const float el = p->energy_l, er = p->energy_r, em = p->energy_m, es = p->energy_s;
  const float a = (1 + g) * el + (1 - g) * er - (1 - g * g) * em;
  const float b = (1 + g) * er + (1 - g) * el - (1 - g * g) * em;
  const float d = (a == 0.0f || b == 0.0f) ? p->relation_ramp_end : std::fabs(10.0f * std::log10(std::fabs(a / b)));
  const float q = std::fabs(10.0f * std::log10((1.0f + el + er) / (1.0f + p->prev_total)));
  p->side_to_mid_db = (1.0f - n) * p->side_to_mid_db + n * 10.0f * std::log10((1.0f + es) / (1.0f + em));

  float w = 1.0f;
  const float sm = p->side_to_mid_db;
  if (sm > p->side_ramp_start) w = sm <= p->side_ramp_end ? (p->side_ramp_end - sm) / p->side_ramp_end : 0.0f;
  if (d > p->relation_ramp_start)
    w *= d <= p->relation_ramp_end ? (p->relation_ramp_end - d) / (p->relation_ramp_end - p->relation_ramp_start) : 0.0f;

  const float difficulty = 150.0f * p->smoothed_pe / p->bits_per_granule;
  float k = 0.0f;
  if (difficulty > p->difficulty_start) {
    const float r = (difficulty - p->difficulty_start) / (p->difficulty_end - p->difficulty_start);
    k = r * r;
  }
  k = std::min(k, p->difficulty_cap);

  const float c = p->control_db;
  float t = std::min(k * w * p->target_scale, p->largest_target);
  if (std::fabs(t - c) < 2.0f && t != 0.0f) t = c;  // no change within 2 dB

  constexpr float kNinth = 0.11111111f;
  const float s = std::max(0.2f * q, 1.0f) * (6.0f + c) / (10.0f + d);
  const float fall_step = std::max(d - p->prev_relation_db, 3.0f);
  const float rise_step = std::max(p->prev_relation_db - d, 3.0f);
  const float fall = std::min(std::min(fall_step * fall_step * kNinth * s, 50.0f * n) * p->fall_factor, 0.8f * c);
  const float rise = std::min(rise_step * rise_step * kNinth * s, 50.0f * n) * p->rise_factor;
  t = std::min(t, c + rise);
  t = std::max(t, c - fall);
  p->control_db = p->override_db != 0.0f ? p->override_db : t;

  if (channels == 2 && p->mixing_on) {
    p->mix = std::pow(10.0f, p->control_db * -0.5f * 0.05f);
    const float ma = (1.0f + p->mix) * 0.5f, mb = (1.0f - p->mix) * 0.5f;
    for (int i = 0; i < count; ++i) {
      const float l = input[2 * i], r = input[2 * i + 1];
      input[2 * i] = ma * l + mb * r;
      input[2 * i + 1] = mb * l + ma * r;
    }
  }
  p->prev_relation_db = d;
  p->prev_total = el + er;
}
