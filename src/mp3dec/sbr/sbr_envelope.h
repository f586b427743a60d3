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
