// Complex QMF banks of the SBR decoder: the 32-band analysis of the core signal and the
// 64-band synthesis at twice its rate.
#pragma once

struct SbrError;

constexpr int SBR_QMF_SLOTS = 18;

struct QmfBank {
  int bands;  // M: 32 or 64
  int log2_bands;
  int window_length;  // 320 or 640
  const float* window;
  int window_step;  // analysis 2, synthesis 1
  int blocks;       // 2M-sample window blocks (5)
  int slots;        // per frame
  // Active range. Analysis: bands [low, high) are written. Synthesis: below `low` the
  // core-band gain, from `low` to `high` the high-band gain, above nothing.
  int low, high;
  float pre_cos[32], pre_sin[32];  // (k + 0.25) pi / M, k < M/2
  float post_sin[33];              // sin(k pi / M), k = 0..M/2
  float rot_cos[64], rot_sin[64];  // analysis output rotation
  float core_gain, high_gain, high_gain_config;
  float* delay;  // synthesis accumulator (10 M values); unused by the analysis
  float* work;   // 4 M values
};

SbrError* sbrdec_qmf_analysis_create(QmfBank** out, int unused, int factor, int frame_length);
SbrError* sbrdec_qmf_synthesis_create(QmfBank** out, int unused, int frame_length, float core_gain,
                                      float high_gain);
void sbrdec_qmf_free(QmfBank** bank);
void sbrdec_qmf_clear(QmfBank* bank);

// Analysis of bank->slots slots: input is the delay line at the first slot (oldest sample
// first, window length + (slots - 1) M samples); rows are the slots' real and imaginary
// rows of 64 floats.
using qmf_analysis_fn = void (*)(const float* input, float* const* re, float* const* im, QmfBank* bank);
// Synthesis of bank->slots slots into slots x M output samples.
using qmf_synthesis_fn = void (*)(float* output, float* const* re, float* const* im, QmfBank* bank);
extern qmf_analysis_fn g_qmfAnalysis;
extern qmf_synthesis_fn g_qmfSynthesis;
void sbrdec_qmf_analysis_plain(const float* input, float* const* re, float* const* im, QmfBank* bank);
void sbrdec_qmf_synthesis_plain(float* output, float* const* re, float* const* im, QmfBank* bank);
void sbrdec_qmf_analysis_sse(const float* input, float* const* re, float* const* im, QmfBank* bank);
void sbrdec_qmf_synthesis_sse(float* output, float* const* re, float* const* im, QmfBank* bank);
// Points the routines at the SSE forms when the processor has SSE.
void sbrdec_select_simd();

// DCT-IV and DST-IV of length n (32 or 64) in place, through an n/2-point complex FFT.
void sbrdec_dct4(float* x, const QmfBank* bank, float* work);
void sbrdec_dst4(float* x, const QmfBank* bank, float* work);
