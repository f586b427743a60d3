// Granule synthesis: the plain form, and the choice of the wide form by processor features.
#include "mp3dec/synth.h"

#include <cmath>

#include "mp3dec/cpu.h"
#include "mp3dec/l3dec.h"
#include "mp3dec/l3tables.h"

namespace {
// The same factors as the plain DCT's, from the same formula, so both forms start alike.
struct dct_factors {
  float c[5][16] = {};
  dct_factors() {
    const double pi = 3.14159265358979323846;
    for (int l = 0, n = 32; n >= 2; ++l, n /= 2)
      for (int i = 0; i < n / 2; ++i) c[l][i] = float(0.5 / std::cos(pi * (2 * i + 1) / (2.0 * n)));
  }
};
const dct_factors& factors() {
  static const dct_factors f;
  return f;
}
}  // namespace

void l3_synth_granule_plain(float v[16][64], int32_t* pos, const float* hybrid, float* out, int stride) {
  for (int t = 0; t < 18; ++t) {
    float sbs[32];
    for (int sb = 0; sb < 32; ++sb) sbs[sb] = hybrid[18 * sb + t];
    l3_synth_slot(v, pos, sbs, out + t * 32 * stride, stride);
  }
}

void l3_synth_granule_avx2(float v[16][64], int32_t* pos, const float* hybrid, float* out, int stride) {
#if defined(__x86_64__) || defined(__i386__)
  l3_synth_granule_avx2_kernel(v, pos, hybrid, out, stride, factors().c, l3_synth_window);
#else
  l3_synth_granule_plain(v, pos, hybrid, out, stride);
#endif
}

l3_synth_granule_fn l3_synth_granule = l3_synth_granule_plain;
bool l3_imdct_wide = false;
bool l3_plain_kernels_only = false;

void l3_select_synth() {
  factors();
  const bool wide = !l3_plain_kernels_only && mp3dec_cpu_has_avx2_fma();
  l3_synth_granule = wide ? l3_synth_granule_avx2 : l3_synth_granule_plain;
#if defined(__x86_64__) || defined(__i386__)
  l3_imdct_wide = wide;
#endif
}
