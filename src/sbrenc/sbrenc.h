// The mp3PRO SBR encoder as the MP3 encoder drives it: created from the SBR configuration
// record, run once per frame on the full-rate input, its payload handed over in the
// output block for the frame's ancillary data.
#pragma once

#include <cstdint>

#include "mp3enc/common/errorhnd.h"
#include "mp3enc/sbr_output.h"
#include "sbrenc/sbrenc_config.h"

struct sbrenc_encoder;

const mp3enc_error* sbrenc_create(sbrenc_encoder** out, const sbrenc_config* config, sbrenc_output* output);
// input: one frame (1152 sample frames at the SBR rate), interleaved with the stride of
// sbrenc_input_stride. A null encoder returns at once.
const mp3enc_error* sbrenc_encode_frame(sbrenc_encoder* encoder, sbrenc_output* output, const float* input);
void sbrenc_destroy(sbrenc_encoder* encoder);
// Leaves this frame's SBR block out (the frame has no room for it) and sends a header, and
// so frequency-direction coding, in the next frame.
void sbrenc_drop_payload(sbrenc_encoder* encoder, sbrenc_output* output);
// Upper edge of the SBR range in Hz.
float sbrenc_stop_frequency(const sbrenc_encoder* encoder);
int32_t sbrenc_input_stride(const sbrenc_encoder* encoder);
// The two delay words of the SBR encoder (settings w12 and w13: 1152 and 384).
void sbrenc_delay_words(const sbrenc_encoder* encoder, int32_t out[2]);
