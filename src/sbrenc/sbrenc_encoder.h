// Records of the SBR encoder shared by its stages.
#pragma once

#include <cstdint>

#include "sbrenc/sbrenc.h"
#include "sbrenc/sbrenc_delta.h"
#include "sbrenc/sbrenc_grid.h"
#include "sbrenc/sbrenc_level.h"
#include "sbrenc/sbrenc_qmf.h"
#include "sbrenc/sbrenc_tonality.h"
#include "sbrenc/sbrenc_tone.h"
#include "sbrenc/sbrenc_transient.h"

struct sbrenc_settings {
  int32_t kind;              // w0
  int32_t channels;          // w1
  int32_t low_count;         // w2
  int32_t high_count;        // w3
  int32_t master_count;      // w4
  int32_t sbr_rate;          // w5
  int32_t frame_length;      // w6
  float crossover_hz;        // w7 from the lowest SBR band
  float crossover_current;   // w8 crossover in force
  int32_t* low;              // w9 25 entries
  int32_t* high;             // w10 49 entries
  int32_t* master;           // w11 49 entries
  int32_t delay_a;           // w12 slots x bands
  int32_t delay_b;           // w13 bands x 3 x time step
  int32_t stereo_mode;       // w14
  int32_t tone_tracker;      // w15
  int32_t spare;             // w16
  int32_t channel_value;     // w17
  int32_t channel_word20_is4;// w18
};

struct sbrenc_header {
  int32_t field0;            // w0 two-bit field, 0
  int32_t amp_res;           // w1
  int32_t start_index;       // w2
  int32_t stop_index;        // w3
  int32_t crossover_index;   // w4
  int32_t noise_bands;       // w5
  int32_t channel_value_flag;// w6
  int32_t extra1;            // w7
  int32_t extra2;            // w8
  int32_t level_class;       // w9
  int32_t limiter_bands;     // w10
  int32_t limiter_gains;     // w11
  int32_t interp_freq;       // w12
  int32_t smoothing_mode;    // w13
  int32_t alter_scale;       // w14
  int32_t freq_scale;        // w15
  int32_t dual_rate;         // w16
  int32_t coupled;           // w17 this frame
  int32_t prev_coupled;      // w18
  int32_t level_detector;    // w19
};

struct sbrenc_header_timer {
  int32_t force;             // a dropped payload asks for a header in the next frame
  int32_t unused[2];
  int32_t send;              // w3 header goes out this frame
  int32_t enable;            // w4
  int32_t period;            // w5 in frames, 0 = first frame only
  int32_t counter;           // w6
};

inline constexpr int sbrenc_max_envelopes = 5;

struct sbrenc_channel {
  sbrenc_transient_state* transient;
  sbrenc_delta_coder* env_coder;
  sbrenc_delta_coder* noise_coder;
  sbrenc_subband_buffer* buffer;
  sbrenc_qmf* qmf;
  sbrenc_grid_state* grid;
  sbrenc_tonality_set* tonality;
  int32_t channel_value;          // w7 three-bit value sent per channel
  int32_t freq_res_fixed;         // w8
  int32_t invf_level;             // w9 level sent for the channel
  int32_t invf_levels[10];        // w10.. per band group
  int32_t word20;                 // w20 two-bit value sent per channel
  int32_t envelope[sbrenc_max_envelopes * 48];
  int32_t noise[2 * 10];
  int32_t envelopes;
  int32_t band_count[sbrenc_max_envelopes];
  int32_t env_dir[sbrenc_max_envelopes];
  int32_t noise_dir[2];
  int32_t noise_bands;
  int32_t balance;
  int32_t amp_res;
  int32_t high_count;             // copy of the settings' high-resolution count
  const sbrenc_grid_code* grid_code;  // of the frame, for the payload writer
  sbrenc_books books;
  // The values before delta coding, kept for tests that read the payload back.
  int32_t quantised_envelope[sbrenc_max_envelopes * 48];
  int32_t quantised_noise[10];
  sbrenc_tone_state* tone;        // optional tone tracker; its copied list is the extension block
};

struct sbrenc_encoder {
  sbrenc_settings* settings;
  sbrenc_header* header;
  sbrenc_header_timer* timer;
  sbrenc_channel* channel[2];
  sbrenc_level_detector* level_detector;  // one SBR channel made from two-channel input
  int32_t stride;                 // input interleave stride
  int32_t analysed;               // channels run through the QMF bank
  int32_t coded;                  // channels estimated and coded
  int32_t payload_limit;          // largest payload in bits that the ancillary block can carry
};

// The 4096-bit ring and the two length bytes of the ancillary block (at most 254 + 255
// bytes after the first 4 bits) bound a payload: 4 + 8 * 509 bits, less the CRC field.
inline constexpr int32_t sbrenc_max_payload_bits = 4 + 8 * 509 - 8;

const mp3enc_error* sbrenc_create_parts(sbrenc_settings* settings, sbrenc_header* header, sbrenc_channel** out,
                                        const sbrenc_config* config);
const mp3enc_error* sbrenc_update_band_tables(sbrenc_settings* settings, sbrenc_header* header, int32_t bands,
                                              int32_t rebuild_master);
void sbrenc_channel_free(sbrenc_channel** slot);
int32_t sbrenc_write_single(sbrenc_encoder* encoder, sbrenc_output* output, int32_t kind);
int32_t sbrenc_write_pair(sbrenc_encoder* encoder, sbrenc_output* output, int32_t kind);
int32_t sbrenc_count_pair(sbrenc_encoder* encoder, sbrenc_output* output, int32_t kind);
void sbrenc_extract_and_write(const float* input, sbrenc_encoder* encoder, int32_t stereo_mode, sbrenc_output* output);
