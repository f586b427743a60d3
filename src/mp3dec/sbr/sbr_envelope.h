// Envelope and noise-floor decoding: deltas to linear energies and noise levels, with the
// concealment of frames whose data are missing or unusable.
#pragma once

#include "mp3dec/sbr/sbr_header.h"

// One channel, or a coupled or uncoupled pair when `second` is given.
void sbrdec_decode_envelopes(SbrElementData* first, SbrPrevFrame* first_mem, SbrElementData* second,
                             SbrPrevFrame* second_mem, int mode);
// Concealment, delta decoding, range check and dequantisation of one channel.
void sbrdec_decode_channel_envelopes(SbrElementData* e, SbrPrevFrame* mem, const SbrPrevFrame* other, int mode);
void sbrdec_decode_noise(SbrElementData* e, SbrPrevFrame* mem);
// Delta decoding of the element's envelopes into its energies (still quantised), each value
// kept in the memory, clipped to the range; false when a value leaves the range.
bool sbrdec_delta_decode(SbrElementData* e, SbrPrevFrame* mem);
// Keeps one envelope value in the memory on the high-resolution grid: low resolution band
// `band` (resolution 0) writes every high band it covers, given d = 2 x low - high count.
void sbrdec_store_prev(float value, SbrPrevFrame* mem, int d, int band, int resolution);
