// mp3PRO streams from our encoder read back by our decoder: what the SBR encoder wrote and
// what the decoder's payload parser read, frame by frame, and the decoded audio.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mp3dec/sbr/sbr_freq.h"
#include "mp3dec/sbr/sbr_header.h"
#include "sbrenc/sbrenc_encoder.h"

// One element as the SBR encoder wrote it.
struct rt_written {
  int32_t element = 0;  // 1 one channel, 2 a pair
  int32_t header_bits = 0, data_bits = 0;
  sbrenc_header header{};
  int32_t timer_period = 0;
  struct channel {
    sbrenc_grid_info grid{};
    int32_t first_slot = 0;
    int32_t frame_class = 0;
    int32_t dir_env[sbrenc_max_envelopes] = {}, dir_noise[2] = {};
    int32_t band_count[sbrenc_max_envelopes] = {};
    int32_t invf = 0, word20 = 0, channel_value = 0;
    int32_t balance = 0, noise_bands = 0;
    std::vector<int32_t> env, noise;  // coded values in payload order
    int32_t tone_count = 0;
    sbrenc_tone_track tones[4]{};
  } ch[2];
  // Band tables in force.
  std::vector<int32_t> master, high, low;
  int32_t crossover_index = 0;
};

// One element as the decoder's parser read it.
struct rt_read {
  std::vector<uint8_t> payload;
  int length_bits = 0, bits_read = 0, pair = 0, crc_ok = 0, header_result = -1, element_read = 0, element_ok = 0;
  SbrElementData first{}, second{};
};

struct rt_options {
  int rate = 44100;        // input and output rate
  int output_rate = 0;     // when not 0, the output rate: the input passes a rate converter
  int input_channels = 1;
  uint32_t channel_mode = 1;  // 1 mono, 2 joint stereo, 3 mono core with SBR stereo
  uint32_t bit_rate = 32000;
  uint32_t vbr_quality = 0;
};

struct rt_result {
  bool configured = false;
  std::vector<uint8_t> stream;
  std::vector<rt_written> written;
  std::vector<rt_read> read;
  std::vector<float> decoded;  // interleaved, 16-bit scale
  int decoded_rate = 0, decoded_channels = 0, frames = 0, failed_frames = 0, mp3pro_frames = 0;
  int stated_delay = 0;  // the encoder's delay in samples at the output rate
  // Per decoded frame and channel, what the decoder's synthesis took: the energy of each QMF
  // band summed over the frame's slots, and the energy the limiter kept back from it.
  struct slots {
    std::vector<double> energy, limited;  // 64 each
  };
  std::vector<slots> qmf[2];
};

// Encodes interleaved float samples (16-bit scale) with SBR and decodes the stream, high band on;
// with gapless, the encoder writes the gapless block and the decoder trims by it.
rt_result rt_round_trip(const std::vector<float>& pcm, const rt_options& o, bool gapless = false);

// The differences between an element as written and as read ("" when they agree): CRC, bits
// and zero padding, header, grid, directions, inverse filtering, values and tones.
std::string rt_compare(const rt_written& w, const rt_read& r);

// Mean QMF energy per band (64) of channel `channel` over the frames [from, to) of 1152 samples.
std::vector<double> rt_qmf_band_energy(const std::vector<float>& pcm, int channels, int channel, int from_frame,
                                       int to_frame);

// Mean decoded QMF energy per band (64) of a channel over the frames [from, to) as the
// synthesis took it; with `limited`, the limiter's share added back.
std::vector<double> rt_decoded_band_energy(const rt_result& r, int channel, int from_frame, int to_frame,
                                           bool limited);

// Decoder band tables for a header as the decoder holds it, at output rate fs.
bool rt_decoder_tables(const SbrHeader& header, int fs, SbrFreqTables* t);

// Speech from espeak-ng resampled by sox; empty when a tool is missing.
std::vector<float> rt_speech(int rate, int channels, const std::string& text);
