// HF generator of one SBR channel: patch layout and chirp row (built once per band layout).
#include "mp3dec/sbr/sbr_hfgen.h"

#include <cmath>
#include <cstring>

#include "mp3dec/sbr/sbr_header.h"
#include "mp3dec/sbrdec.h"
#include "mp3dec/sbr/sbr_error.h"

namespace {

// Threshold in Hz, then the chirp for mode 0, mode 0 after mode 1, modes 1, 2, 3, and the
// increment of every further patch.
const float chirp_rows[9][7] = {
    {0, 0.0f, 0.35f, 0.7f, 0.85f, 0.95f, 0.1f},     {5000, 0.0f, 0.35f, 0.55f, 0.75f, 0.85f, 0.2f},
    {6000, 0.0f, 0.35f, 0.6f, 0.75f, 0.85f, 0.2f},  {6500, 0.0f, 0.35f, 0.7f, 0.8f, 0.9f, 0.2f},
    {7000, 0.0f, 0.35f, 0.7f, 0.8f, 0.9f, 0.1f},    {7500, 0.0f, 0.75f, 0.7f, 0.85f, 0.95f, 0.1f},
    {8000, 0.0f, 0.75f, 0.7f, 0.85f, 0.95f, 0.1f},  {9000, 0.0f, 0.75f, 0.7f, 0.85f, 0.95f, 0.1f},
    {10000, 0.0f, 0.75f, 0.7f, 0.85f, 0.95f, 0.1f},
};

int floor_even(int v) { return v >= 0 ? v & ~1 : -((-v + 1) & ~1); }

}  // namespace

SbrError* sbrdec_hfgen_create(SbrHfGenerator* g, const SbrDecoderConfig* config) {
  std::memset(g, 0, sizeof(*g));
  if (config->mode != 2 || int(config->history * 0.05f + 0.5f) != 2) return sbrdec_error();
  g->history = 2;
  g->fixed_chirp = config->chirp;
  g->lowest_source_band = config->lowest_source_band;
  for (int k = 0; k < 3; ++k) {
    const double s = std::sin((k + 0.5) * M_PI / 12.0);
    g->ramp_up[k] = float(s * s);
  }
  for (int k = 3; k < 6; ++k) g->ramp_up[k] = 1.0f - g->ramp_up[5 - k];
  for (int k = 0; k < 6; ++k) g->ramp_down[k] = g->ramp_up[5 - k];
  g->chirp_row = chirp_rows[0];
  g->prev_last_border = SBR_TIME_SLOTS;
  return nullptr;
}

void sbrdec_hfgen_reset(SbrHfGenerator* g) {
  std::memset(g->prev_alpha, 0, sizeof(g->prev_alpha));
  std::memset(g->prev_chirp, 0, sizeof(g->prev_chirp));
  g->prev_last_border = SBR_TIME_SLOTS;
}

SbrError* sbrdec_hfgen_setup(SbrHfGenerator* g, int one, int adjuster_field, int kx, const int32_t* master,
                             int n_master, const int32_t* noise, int n_noise, int fs, int bands, int mode) {
  g->patch_count = 0;
  if (one != 1 || n_master < 1 || fs <= 0) return sbrdec_error();
  const int k0 = master[0], k2 = master[n_master];
  int l = g->lowest_source_band < 1 ? 1 : g->lowest_source_band;
  if (k0 - l < 4) return sbrdec_error();
  int b = k0, d = kx - k0;
  if (adjuster_field == 1) {
    b = kx;
    d = 0;
  }
  int goal = int(double(bands) * 32000.0 / fs + 0.5);
  if (goal <= k0) {
    goal = k0;
  } else if (goal >= k2) {
    goal = k2;
  } else {
    int i = 0;
    while (master[i] < goal) ++i;
    goal = master[i];
  }
  if (mode == 2 && std::abs(goal - k2) < 4) goal = k2;

  int t = kx, limit = l + d;
  int count = 0;
  // The loop counts its passes, not only the patches it records: a pass that records
  // nothing leaves t where it was, and some layouts would repeat it without end.
  for (int pass = 0; t < k2; ++pass) {
    if (pass == SBR_MAX_PATCHES + 1) return sbrdec_error();
    int w = goal - t;
    if (w >= b - limit) {
      int e = floor_even(t - limit) + b;
      if (e > k0) {
        int i = n_master;
        while (i > 0 && master[i] > e) --i;
        e = master[i];
      } else {
        e = k0;
      }
      w = e - t;
    }
    const int offset = floor_even(w - b + t + 1);
    if (w > 0) {
      if (count == SBR_MAX_PATCHES + 1) return sbrdec_error();
      SbrPatch& p = g->patches[count++];
      p = {t - offset, t - offset + w, offset, w};
      // The copies read the analysis bands below kx only.
      if (p.source_start < 0 || p.source_end > kx) return sbrdec_error();
      t += w;
    }
    limit = l;
    if (goal - t < 3) goal = k2;
  }
  if (count > 1 && g->patches[count - 1].width < 3) --count;
  if (count < 1 || count > SBR_MAX_PATCHES) return sbrdec_error();
  g->patch_count = count;
  g->lowest_source = g->patches[0].source_start;
  g->highest_source = 0;
  g->highest_target = 0;
  for (int i = 0; i < count; ++i) {
    const SbrPatch& p = g->patches[i];
    if (p.source_start < g->lowest_source) g->lowest_source = p.source_start;
    if (p.source_end > g->highest_source) g->highest_source = p.source_end;
    if (p.source_end + p.offset > g->highest_target) g->highest_target = p.source_end + p.offset;
  }
  const int edge_hz = int(double(kx) / 64.0 * fs * 0.5);
  g->chirp_row = chirp_rows[0];
  for (const auto& row : chirp_rows)
    if (row[0] <= float(edge_hz)) g->chirp_row = row;
  g->kx = kx;
  g->kmax = k2;
  (void)noise;
  (void)n_noise;
  return nullptr;
}

namespace {

struct cfloat {
  float re, im;
};

inline cfloat mul(cfloat a, cfloat b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }

// The frame's chirp factors from its inverse-filtering mode, smoothed against the last ones.
void update_chirp(SbrHfGenerator* g, int invf_mode) {
  float c;
  if (g->fixed_chirp > 0.0f) {
    c = g->fixed_chirp;
  } else {
    const float* row = g->chirp_row;
    const int m = invf_mode & 3;
    c = m == 0 ? (g->prev_invf_mode == 1 ? row[2] : row[1]) : row[2 + m];
  }
  g->prev_invf_mode = invf_mode & 3;
  const float old = g->prev_chirp[0];
  c = c < old ? 0.75f * c + 0.25f * old : 0.90625f * c + 0.09375f * old;
  if (c < 0.015625f) c = 0.0f;
  for (int p = 0; p < g->patch_count; ++p) {
    float v = c;
    if (p > 0 && c > 0.0f) {
      v = c + g->chirp_row[6];
      if (v > 0.99609375f) v = 0.99609375f;
    }
    g->chirp[p] = v;
  }
}

// Second-order prediction coefficients of one band over rows [from, to) (each row's two
// predecessors included); zero where the covariance leaves them undefined or unstable.
void predict(float* const* re, float* const* im, int band, int from, int to, float* alpha) {
  double r01r = 0, r01i = 0, r02r = 0, r02i = 0, r11 = 0, r12r = 0, r12i = 0, r22 = 0;
  for (int n = from; n < to; ++n) {
    const double x0r = re[n][band], x0i = im[n][band];
    const double x1r = re[n - 1][band], x1i = im[n - 1][band];
    const double x2r = re[n - 2][band], x2i = im[n - 2][band];
    r01r += x0r * x1r + x0i * x1i;
    r01i += x0i * x1r - x0r * x1i;
    r02r += x0r * x2r + x0i * x2i;
    r02i += x0i * x2r - x0r * x2i;
    r11 += x1r * x1r + x1i * x1i;
    r12r += x1r * x2r + x1i * x2i;
    r12i += x1i * x2r - x1r * x2i;
    r22 += x2r * x2r + x2i * x2i;
  }
  double a1r = 0, a1i = 0, a0r = 0, a0i = 0;
  const double det = r11 * r22 - (r12r * r12r + r12i * r12i) * 0.999999;
  if (det >= 1e-38) {
    // (r01 r12 - r02 r11) / det
    a1r = ((r01r * r12r - r01i * r12i) - r02r * r11) / det;
    a1i = ((r01r * r12i + r01i * r12r) - r02i * r11) / det;
  }
  if (r11 >= 1e-38) {
    // -(r01 + alpha1 conj(r12)) / r11
    a0r = -(r01r + a1r * r12r + a1i * r12i) / r11;
    a0i = -(r01i + a1i * r12r - a1r * r12i) / r11;
  }
  if (a0r * a0r + a0i * a0i >= 16.0 || a1r * a1r + a1i * a1i >= 16.0) a0r = a0i = a1r = a1i = 0;
  alpha[0] = float(a0r);
  alpha[1] = float(a0i);
  alpha[2] = float(a1r);
  alpha[3] = float(a1i);
}

cfloat filtered(float* const* re, float* const* im, int n, int p, const float* alpha, float q) {
  const cfloat x0{re[n][p], im[n][p]};
  if (q == 0.0f) return x0;
  const cfloat x1{re[n - 1][p], im[n - 1][p]}, x2{re[n - 2][p], im[n - 2][p]};
  const cfloat t1 = mul({q * alpha[0], q * alpha[1]}, x1);
  const cfloat t2 = mul({q * q * alpha[2], q * q * alpha[3]}, x2);
  return {x0.re + t1.re + t2.re, x0.im + t1.im + t2.im};
}

}  // namespace

void sbrdec_generate_hf(float* const* re, float* const* im, SbrElementData* e, SbrHfGenerator* g, int mode) {
  (void)mode;
  // Row of grid slot s: s + 2 (two look-back rows first).
  const int first = 2 + 2 * e->grid.borders[0];
  const int last = 2 + 2 * e->grid.borders[e->grid.envelopes];
  update_chirp(g, e->invf_mode);
  for (int n = first; n < last; ++n) {
    for (int k = g->kx; k < 64; ++k) re[n][k] = im[n][k] = 0.0f;
  }
  const bool overshoot = g->prev_last_border > SBR_TIME_SLOTS;
  const int window = overshoot ? first + 2 : first;
  const int top_source = g->highest_source < 32 ? g->highest_source : 32;
  if (overshoot)
    for (int p = top_source; p < 32; ++p) std::memset(g->prev_alpha[p], 0, sizeof(g->prev_alpha[p]));
  for (int p = g->lowest_source; p < top_source; ++p) {
    float alpha[4];
    predict(re, im, p, window, last, alpha);
    for (int i = 0; i < g->patch_count; ++i) {
      const SbrPatch& patch = g->patches[i];
      if (p < patch.source_start || p >= patch.source_end) continue;
      const int target = p + patch.offset;
      if (target >= g->kmax || target >= 64) continue;
      for (int n = first; n < last; ++n) {
        cfloat y = filtered(re, im, n, p, alpha, g->chirp[i]);
        const int k = n - first;
        if (overshoot && k < 6) {
          // The previous frame's filter fades out over the first six slots.
          const cfloat old = filtered(re, im, n, p, g->prev_alpha[p], g->prev_chirp[i]);
          y = {g->ramp_up[k] * y.re + g->ramp_down[k] * old.re, g->ramp_up[k] * y.im + g->ramp_down[k] * old.im};
        }
        re[n][target] = y.re;
        im[n][target] = y.im;
      }
    }
    std::memcpy(g->prev_alpha[p], alpha, sizeof(alpha));
  }
  for (int i = 0; i < g->patch_count; ++i) g->prev_chirp[i] = g->chirp[i];
  g->prev_last_border = e->grid.borders[e->grid.envelopes];
}
