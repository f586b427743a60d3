#include "sbrenc/sbrenc_tonality.h"

#include <cstdlib>
#include <cstring>

#include "sbrenc/sbrenc_encoder.h"

namespace {
float** alloc_rows(int32_t rows, int32_t len) {
  auto** r = static_cast<float**>(std::calloc(rows, sizeof(float*)));
  if (!r) return nullptr;
  for (int32_t i = 0; i < rows; ++i)
    if (!(r[i] = static_cast<float*>(std::calloc(len, sizeof(float))))) {
      for (int32_t j = 0; j < i; ++j) std::free(r[j]);
      std::free(r);
      return nullptr;
    }
  return r;
}

template <typename T>
void free_rows(T** r, int32_t rows) {
  if (!r) return;
  for (int32_t i = 0; i < rows; ++i) std::free(r[i]);
  std::free(r);
}
}  // namespace

const mp3enc_error* sbrenc_subband_buffer_create(sbrenc_subband_buffer** out, int32_t rows, int32_t bands,
                                                 int32_t size_a, int32_t size_b, int32_t time_step,
                                                 sbrenc_settings* settings) {
  *out = nullptr;
  if (!settings || settings->kind != 2) return mp3enc_generic_error();
  auto* b = static_cast<sbrenc_subband_buffer*>(std::calloc(1, sizeof(sbrenc_subband_buffer)));
  if (!b) return mp3enc_generic_error();
  b->rows = rows;
  b->bands = bands;
  b->size_a = size_a;
  b->size_b = size_b;
  b->time_step = time_step;
  b->carried_energy = rows;
  b->energy = alloc_rows(2 * rows, bands);
  b->real = alloc_rows(rows, bands);
  b->imag = alloc_rows(rows, bands);
  b->work = static_cast<float*>(std::calloc(48, sizeof(float)));
  if (!b->energy || !b->real || !b->imag || !b->work) {
    sbrenc_subband_buffer_free(b);
    return mp3enc_generic_error();
  }
  settings->delay_a = rows * bands;
  settings->delay_b = bands * 3 * time_step;
  *out = b;
  return nullptr;
}

void sbrenc_subband_buffer_free(sbrenc_subband_buffer* b) {
  if (!b) return;
  free_rows(b->energy, 2 * b->rows);
  free_rows(b->real, b->rows);
  free_rows(b->imag, b->rows);
  std::free(b->work);
  std::free(b);
}

void sbrenc_autocorr2(sbrenc_autocorr* a, const float* const* re, const float* const* im, int32_t k, int32_t n) {
  double r00 = 0, r11 = 0, r22 = 0, r01r = 0, r01i = 0, r02r = 0, r02i = 0, r12r = 0, r12i = 0;
  for (int32_t i = 0; i < n; ++i) {
    const double x0r = re[i][k], x0i = im[i][k];
    const double x1r = re[i - 1][k], x1i = im[i - 1][k];
    const double x2r = re[i - 2][k], x2i = im[i - 2][k];
    r00 += x0r * x0r + x0i * x0i;
    r11 += x1r * x1r + x1i * x1i;
    r22 += x2r * x2r + x2i * x2i;
    r01r += x0r * x1r + x0i * x1i;
    r01i += x0i * x1r - x0r * x1i;
    r02r += x0r * x2r + x0i * x2i;
    r02i += x0i * x2r - x0r * x2i;
    r12r += x1r * x2r + x1i * x2i;
    r12i += x1i * x2r - x1r * x2i;
  }
  *a = {r00, r11, r01r, r01i, r02r, r02i, r12r, r12i, r22, r11 * r22 - 0.9999990000010025 * (r12r * r12r + r12i * r12i)};
}

void sbrenc_tonality_estimate(sbrenc_tonality_record* t, const float* const* re, const float* const* im) {
  const int32_t h = t->history, b = t->blocks, len = t->row_length;
  for (int32_t i = 0; i < h; ++i) {
    std::memcpy(t->tonality[i], t->tonality[i + b], len * sizeof(float));
    std::memcpy(t->sign[i], t->sign[i + b], len * sizeof(int32_t));
  }
  std::memmove(t->block_energy, t->block_energy + b, h * sizeof(float));
  for (int32_t i = h; i < h + b; ++i) t->block_energy[i] = 0.0f;
  for (int32_t k = 0; k < len; ++k) t->mean_energy[k] = 0.0f;

  for (int32_t i = 0; i < b; ++i) {
    const int32_t start = t->first_slot + i * t->stride;
    float* ton = t->tonality[h + i];
    int32_t* sgn = t->sign[h + i];
    for (int32_t k = 0; k < t->stop_band; ++k) {
      sbrenc_autocorr a;
      sbrenc_autocorr2(&a, re + start, im + start, k, t->slots);
      double a1r = 0, a1i = 0, a0r = 0, a0i = 0;
      if (a.det != 0.0) {
        a1r = (a.r01_re * a.r12_re - a.r01_im * a.r12_im - a.r02_re * a.r11) / a.det;
        a1i = (a.r01_im * a.r12_re + a.r01_re * a.r12_im - a.r02_im * a.r11) / a.det;
      }
      if (a.r11 != 0.0) {
        // alpha0 = -(r01 + alpha1 conj(r12)) / r11
        a0r = -(a.r01_re + a1r * a.r12_re + a1i * a.r12_im) / a.r11;
        a0i = -(a.r01_im + a1i * a.r12_re - a1r * a.r12_im) / a.r11;
      }
      if (a.r00 == 0.0) {
        ton[k] = 0.0f;
        sgn[k] = 1;
      } else {
        const double rho = -(a0r * a.r01_re + a0i * a.r01_im + a1r * a.r02_re + a1i * a.r02_im) / (a.r00 + 1.0);
        ton[k] = static_cast<float>(rho / (1.0000009999999975 - rho));
        double q = a.r11 != 0.0 ? a.r01_re / a.r11 : 0.0;
        if (q > 1.0) q = 1.0;
        if (q < -1.0) q = -1.0;
        const bool even = (k & 1) == 0;
        if (a.r11 == 0.0 || q >= 0.0)
          sgn[k] = even ? -1 : 1;
        else
          sgn[k] = even ? 1 : -1;
      }
      t->block_energy[h + i] += static_cast<float>(a.r00);
      t->mean_energy[k] += static_cast<float>(a.r00);
    }
  }
  const float inv_b = 1.0f / static_cast<float>(b);
  for (int32_t k = 0; k < t->stop_band; ++k) t->mean_energy[k] *= inv_b;
}

const mp3enc_error* sbrenc_build_patches(sbrenc_tonality_set* set, int32_t patch_flag, int32_t first_target,
                                         const int32_t* t, int32_t n, int32_t sbr_rate, int32_t subbands) {
  const int32_t k_stop = t[n];
  int32_t s0, offset;
  if (patch_flag == 1) {
    s0 = first_target;
    offset = 0;
  } else {
    s0 = t[0];
    offset = first_target - t[0];
  }
  const int32_t goal = static_cast<int32_t>(2.0f * subbands * 16000.0f / static_cast<float>(sbr_rate) + 0.5f);
  int32_t limit;
  if (t[0] >= goal) {
    limit = t[0];
  } else if (goal >= k_stop) {
    limit = k_stop;
  } else {
    limit = k_stop;
    for (int32_t i = 0; i <= n; ++i)
      if (t[i] >= goal) {
        limit = t[i];
        break;
      }
  }
  if (std::abs(k_stop - limit) < 4) limit = k_stop;

  int32_t margin0 = 1 + offset;
  int32_t usb = first_target;
  int32_t count = 0;
  // A patch that cannot advance (target already above the limit) would loop for ever.
  for (int32_t rounds = 0; usb < k_stop; ++rounds) {
    if (count + 1 > 6 || rounds > 64) return mp3enc_generic_error();
    sbrenc_patch& p = set->patches[count];
    p.target_start = usb;
    usb += set->patch_gap;
    p.target_after_gap = usb;
    int32_t width = limit - usb;
    if (s0 - margin0 <= width) {
      const int32_t tt = ((usb - margin0) & ~1) + s0;
      int32_t v;
      if (tt <= t[0]) {
        v = t[0];
      } else if (tt >= t[n]) {
        v = t[n];
      } else {
        v = t[0];
        for (int32_t i = 0; i <= n && t[i] <= tt; ++i) v = t[i];
      }
      width = v - usb;
    }
    const int32_t shift = (usb - s0 + 1 + width) & ~1;
    if (width > 0) {
      p.shift = shift;
      p.width = width;
      p.source_start = usb - shift;
      p.source_end = p.source_start + width;
      usb += width;
      ++count;
    } else if (std::abs(usb - limit) >= 3) {
      limit = k_stop;
    }
    margin0 = set->margin;
    if (std::abs(usb - limit) < 3) limit = k_stop;
  }
  if (count >= 2 && set->patches[count - 1].width < 3) --count;
  if (count > 6) return mp3enc_generic_error();
  set->patch_count = count;

  const int32_t first = count > 0 ? set->patches[0].target_start : subbands;
  for (int32_t k = 0; k < first && k < 64; ++k) set->source_map[k] = k;
  for (int32_t i = 0; i < count; ++i) {
    const sbrenc_patch& p = set->patches[i];
    for (int32_t k = p.target_start; k < p.target_after_gap && k < 64; ++k) set->source_map[k] = -1;
    for (int32_t k = 0; k < p.width && p.target_after_gap + k < 64; ++k)
      set->source_map[p.target_after_gap + k] = p.source_start + k;
  }
  return nullptr;
}

const mp3enc_error* sbrenc_tonality_set_create(sbrenc_tonality_set** out, int32_t frame_length, int32_t grid_length,
                                               int32_t buffer_length, int32_t buffer_size, int32_t sbr_rate,
                                               int32_t subbands, int32_t patch_flag, int32_t first_target,
                                               const int32_t* master, int32_t master_count, int32_t noise_scale,
                                               const int32_t* const tables[2], const int32_t counts[2],
                                               int32_t noise_bands_per_octave, const int32_t* band_scales,
                                               int32_t /*spare*/, int32_t detector_flag, int32_t kind) {
  *out = nullptr;
  if (kind != 2) return mp3enc_generic_error();
  auto* s = static_cast<sbrenc_tonality_set*>(std::calloc(1, sizeof(sbrenc_tonality_set)));
  if (!s) return mp3enc_generic_error();
  sbrenc_tonality_record& r = s->rec;
  r.rows = static_cast<int32_t>(static_cast<float>(buffer_size) / static_cast<float>(frame_length) + 1.0f);
  r.history = r.rows - 1;
  r.blocks = 1;
  r.stride = buffer_length;
  r.slots = buffer_length - 2;
  r.first_slot = 2;
  r.row_length = subbands;
  r.stop_band = tables[1][counts[1]];
  r.mean_energy = static_cast<float*>(std::calloc(subbands, sizeof(float)));
  r.block_energy = static_cast<float*>(std::calloc(r.rows, sizeof(float)));
  r.tonality = alloc_rows(r.rows, subbands);
  r.sign = static_cast<int32_t**>(std::calloc(r.rows, sizeof(int32_t*)));
  bool ok = r.mean_energy && r.block_energy && r.tonality && r.sign;
  for (int32_t i = 0; ok && i < r.rows; ++i)
    ok = (r.sign[i] = static_cast<int32_t*>(std::calloc(subbands, sizeof(int32_t))));
  const mp3enc_error* e = ok ? nullptr : mp3enc_generic_error();
  if (!e) {
    s->patch_gap = 0;
    s->margin = 1;
    e = sbrenc_build_patches(s, patch_flag, first_target, master, master_count, sbr_rate, subbands);
  }
  if (!e)
    e = sbrenc_noise_create(&s->noise, noise_scale, tables[0], counts[0], noise_bands_per_octave, band_scales,
                            grid_length, detector_flag);
  if (!e) e = sbrenc_invf_create(&s->invf, 2, s->noise->borders, s->noise->band_count);
  if (e) {
    sbrenc_tonality_set_free(s);
    return e;
  }
  *out = s;
  return nullptr;
}

const mp3enc_error* sbrenc_tonality_set_update(sbrenc_tonality_set* s, int32_t patch_flag, int32_t first_target,
                                               const int32_t* master, int32_t master_count, int32_t sbr_rate,
                                               const int32_t* const tables[2], const int32_t counts[2],
                                               int32_t subbands, int32_t kind) {
  s->patch_gap = 0;
  s->margin = 1;
  if (const mp3enc_error* e = sbrenc_build_patches(s, patch_flag, first_target, master, master_count, sbr_rate, subbands))
    return e;
  s->rec.stop_band = tables[1][counts[1]];
  if (const mp3enc_error* e = sbrenc_noise_bands(s->noise, tables[0], counts[0])) return e;
  return sbrenc_invf_set_bands(s->invf, s->noise->borders, s->noise->band_count, kind);
}

void sbrenc_tonality_set_free(sbrenc_tonality_set* s) {
  if (!s) return;
  free_rows(s->rec.tonality, s->rec.rows);
  free_rows(s->rec.sign, s->rec.rows);
  std::free(s->rec.mean_energy);
  std::free(s->rec.block_energy);
  sbrenc_noise_free(s->noise);
  sbrenc_invf_free(s->invf);
  std::free(s);
}
