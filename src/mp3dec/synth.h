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
// Process-wide: the plain form until l3_select_synth finds AVX2 and FMA.
extern l3_synth_granule_fn l3_synth_granule;
void l3_select_synth();

// The AVX2 kernel itself (built with AVX2 and FMA code generation; call only when the
// processor has both). coef: the 32-point DCT's factors, [level][i].
void l3_synth_granule_avx2_kernel(float v[16][64], int32_t* pos, const float* hybrid, float* out,
                                  int stride, const float (*coef)[16], const float* window);
