// HF generator of one SBR channel: patch layout and chirp row (built once per band layout).
#include "mp3dec/sbr/sbr_hfgen.h"

#include <cmath>
#include <cstring>

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
  return nullptr;
}

void sbrdec_hfgen_reset(SbrHfGenerator* g) {
  std::memset(g->prev_alpha, 0, sizeof(g->prev_alpha));
  std::memset(g->prev_chirp, 0, sizeof(g->prev_chirp));
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
  (void)noise;
  (void)n_noise;
  return nullptr;
}
