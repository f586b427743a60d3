// Pseudo-stereo: two decorrelated channels from one-channel SBR output.
#pragma once

struct SbrError;

struct SbrPseudoStereo {
  float a, b;  // strength smoothing
  float attack;
  float prev_target, prev_strength, prev_side;
  float split_p, split_q, split_prev_in, split_prev_out;
  float g, a0, a1, y1, y2;
  float* delay;
  int delay_length, position;
  int frame_length;
};

SbrError* sbrdec_stereo_create(SbrPseudoStereo** out, int fs, int frame_length);
void sbrdec_stereo_free(SbrPseudoStereo** state);
void sbrdec_stereo_clear(SbrPseudoStereo* state);
// One frame of interleaved pairs in place; both channels hold the mono signal on entry.
void sbrdec_mono_to_stereo(SbrPseudoStereo* state, float* samples, int strength_index);
