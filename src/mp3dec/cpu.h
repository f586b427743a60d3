// Processor features (CPUID leaf 1, EDX bit 25: SSE) and float-to-16-bit conversion.
#pragma once

#include <cstdint>

bool mp3dec_cpu_has_sse();
// AVX2 and FMA, with the operating system saving the wide registers.
bool mp3dec_cpu_has_avx2_fma();

typedef void (*mp3dec_float_to_pcm16_fn)(int count, const float* src, int16_t* dst);
void mp3dec_float_to_pcm16_plain(int count, const float* src, int16_t* dst);
void mp3dec_float_to_pcm16_sse(int count, const float* src, int16_t* dst);
// Process-wide converter pointer: plain until a Reset finds SSE.
extern mp3dec_float_to_pcm16_fn mp3dec_float_to_pcm16;
void mp3dec_select_pcm16_converter();
