// Polyphase synthesis of a whole granule: 18 time slots of 32 subbands, in the plain form
// and a wide form for processors with AVX2 and FMA. Both keep the same V-vector state, so
// either may continue what the other began.
#pragma once

#include <cstdint>

// hybrid: 576 values, subband-major (hybrid[18 * sb + t]); out: 576 samples at stride.
typedef void (*l3_synth_granule_fn)(float v[16][64], int32_t* pos, const float* hybrid, float* out,
                                    int stride);
void l3_synth_granule_plain(float v[16][64], int32_t* pos, const float* hybrid, float* out, int stride);
void l3_synth_granule_avx2(float v[16][64], int32_t* pos, const float* hybrid, float* out, int stride);
// Process-wide: the plain forms until l3_select_synth (run by every decoder's start) finds
// AVX2 and FMA.
extern l3_synth_granule_fn l3_synth_granule;
extern bool l3_imdct_wide;  // long blocks through l3_imdct36_lanes_avx2
void l3_select_synth();
// Test hook: while set, l3_select_synth chooses the plain forms.
extern bool l3_plain_kernels_only;

// IMDCT of the long-block subbands first .. end-1 (18 lines each) with windowing and
// overlap-add, eight subbands at a time (AVX2 and FMA only). The tables are the plain
// transform's: tw18, tw9 and the folded 9-point cosines cos9[p][k].
void l3_imdct36_lanes_avx2(const float* xr, float* out, float* overlap, const float* win, int first, int end,
                           const float* tw18, const float* tw9, const float (*cos9)[4]);

// The AVX2 kernel itself (built with AVX2 and FMA code generation; call only when the
// processor has both). coef: the 32-point DCT's factors, [level][i].
void l3_synth_granule_avx2_kernel(float v[16][64], int32_t* pos, const float* hybrid, float* out,
                                  int stride, const float (*coef)[16], const float* window);
