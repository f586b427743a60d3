// HF adjuster and tone synthesis: the state built once per band layout.
#include "mp3dec/sbr/sbr_adjust.h"

#include <cmath>
#include <cstring>

void sbrdec_adjust_init(SbrAdjuster* a) {
  std::memset(a->prev_gain, 0, sizeof(a->prev_gain));
  std::memset(a->prev_noise, 0, sizeof(a->prev_noise));
  a->prev_transient_last = 0;
  a->first_envelope = 1;
  std::memset(a->limited, 0, sizeof(a->limited));
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

#include "mp3dec/sbr/sbr_freq.h"
#include "mp3dec/sbr/sbr_header.h"
#include "mp3dec/sbr/sbr_tables.h"

namespace {
const float limiter_gains[4] = {0.5011932f, 1.0f, 1.9952693f, 1e20f};
const float smoothing_weights[4] = {0.6666667f, 0.3651638f, 0.1469943f, 0.0318305f};
}  // namespace

float sbrdec_tone_amplitude(int index) {
  static const float extra[3] = {1294700.5f, 1597930.25f, 1971322.875f};
  if (index < 0 || index > 31) return 0.0f;
  if (index >= 29) return extra[index - 29];
  return float(2048.0 * std::exp2((index - 1) / 3.0));
}

void sbrdec_adjust_hf(SbrAdjuster* a, const SbrFreqTables* t, SbrElementData* e, float* const* re, float* const* im,
                      int mode) {
  (void)mode;
  const SbrHeader& h = e->header;
  const int kx = t->kx, kmax = t->kmax;
  float target[64], estimate[64], gain[64], noise[64];
  int q = 0;
  int k = 0;  // index into the envelope energies
  std::memset(a->limited, 0, sizeof(a->limited));
  for (int l = 0; l < e->grid.envelopes; ++l) {
    const int start = 2 + 2 * e->grid.borders[l], end = 2 + 2 * e->grid.borders[l + 1];
    if (e->grid.noise_floors > 1 && e->grid.borders[l] == e->grid.noise_borders[1]) q = 1;
    const bool transient = l == e->grid.transient || (l == 0 && a->prev_transient_last);
    const int smoothing = transient ? 0 : (h.smoothing_mode == 0 ? 4 : 0);
    const bool high = e->grid.freq_res[l] != 0;
    const int32_t* edges = high ? t->high : t->low;
    const int bands = high ? t->n_high : t->n_low;
    const float slots = float(end - start);
    for (int b = 0; b < bands; ++b, ++k) {
      const float energy = e->energy[k];
      float band_sum = 0.0f;
      for (int m = edges[b]; m < edges[b + 1] && m < 64; ++m) {
        float s = 0.0f;
        for (int n = start; n < end; ++n) s += re[n][m] * re[n][m] + im[n][m] * im[n][m];
        estimate[m] = s / slots;
        band_sum += estimate[m];
        target[m] = energy;
      }
      if (!h.interpol_freq && edges[b + 1] > edges[b]) {
        const float mean = band_sum / float(edges[b + 1] - edges[b]);
        for (int m = edges[b]; m < edges[b + 1] && m < 64; ++m) estimate[m] = mean;
      }
    }
    for (int m = kx; m < kmax; ++m) {
      int nb = 0;
      while (nb + 1 < t->n_noise && m >= t->noise[nb + 1]) ++nb;
      const float qn = e->noise_level[q][nb];
      gain[m] = transient ? target[m] / (1.0f + estimate[m]) : target[m] / (1.0f + qn) / (1.0f + estimate[m]);
      noise[m] = target[m] * qn / (1.0f + qn);
    }
    for (int lb = 0; lb < t->n_limiter; ++lb) {
      const int lo = kx + t->limiter[lb], hi = kx + t->limiter[lb + 1];
      float se = 0.0f, ss = 0.0f;
      for (int m = lo; m < hi; ++m) {
        se += target[m];
        ss += estimate[m];
      }
      float gmax = se / (ss + 1e-12f) * limiter_gains[h.limiter_gains & 3];
      if (gmax > 1e10f) gmax = 1e10f;
      for (int m = lo; m < hi; ++m)
        if (gain[m] > gmax) {
          a->limited[m] += (gain[m] - gmax) * estimate[m] * slots;
          gain[m] = gmax;
        }
    }
    for (int m = kx; m < kmax; ++m) {
      gain[m] = std::sqrt(gain[m]);
      noise[m] = std::sqrt(noise[m]);
    }
    if (a->first_envelope) {
      for (int m = kx; m < kmax; ++m) {
        a->prev_gain[m] = gain[m];
        a->prev_noise[m] = noise[m];
      }
      a->first_envelope = 0;
    }
    for (int n = start; n < end; ++n) {
      const int i = n - start;
      const float w = smoothing == 4 && i < 4 ? smoothing_weights[i] : 0.0f;
      for (int m = kx; m < kmax; ++m) {
        const float g = w * a->prev_gain[m] + (1.0f - w) * gain[m];
        const float nl = transient ? 0.0f : w * a->prev_noise[m] + (1.0f - w) * noise[m];
        a->noise_index = (a->noise_index + 1) & 511;
        re[n][m] = g * re[n][m] + nl * sbrdec_noise_table[a->noise_index][0];
        im[n][m] = g * im[n][m] + nl * sbrdec_noise_table[a->noise_index][1];
      }
    }
    for (int m = kx; m < kmax; ++m) {
      a->prev_gain[m] = gain[m];
      a->prev_noise[m] = noise[m];
    }
  }
  a->prev_transient_last = e->grid.transient == e->grid.envelopes ? 1 : 0;
}

void sbrdec_synthesize_tones(SbrToneRecord* t, const SbrElementData* e, int kx, int core_bands, float* const* re,
                             float* const* im) {
  const SbrToneExtension& x = e->tones;
  if (e->header.conceal || x.count == 0) {
    t->had_tones = 0;
    return;
  }
  if (kx <= core_bands) {
    for (int i = 0; i < x.count && i < 4; ++i) {
      const SbrToneEntry& en = x.entries[i];
      const int from = (en.range & 2) ? 0 : t->first_half;
      const int to = (en.range & 1) ? t->first_half + t->second_half : t->first_half;
      for (int j = 0; j < en.band_count && j < 4; ++j) {
        const int b = en.first_band + j;
        if (b < 0 || b > 63) break;
        const float amp = sbrdec_tone_amplitude(en.amplitude[j]) / float(1 << (en.width[j] - 1));
        float f = t->had_tones ? 1.0f : 0.0f;
        for (int s = from; s < to; ++s) {
          const float v = float(en.values[j][s]);
          re[s][b] = v * amp * f * t->cos_factor[b] + (1.0f - f) * re[s][b];
          im[s][b] = v * amp * f * t->sin_factor[b] + (1.0f - f) * im[s][b];
          if (en.fade_out && s >= to - 9)
            f = f - 0.1f < 0.0f ? 0.0f : f - 0.1f;
          else
            f = f + 0.1f > 1.0f ? 1.0f : f + 0.1f;
        }
      }
    }
  }
  t->had_tones = 1;
}
