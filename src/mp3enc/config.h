// Completing and checking an encoder configuration for a given input.
#pragma once

#include <cstdint>

#include "mp3enc/mp3enc.h"
#include "sbrenc/sbrenc_config.h"

bool mp3enc_valid_rate(int64_t rate);
uint32_t default_bitrate_for_rate(uint32_t rate, uint32_t channels);
// 1 when an SBR set-up exists for the bit rate at this output rate; *core_rate gets its core rate.
int mp3enc_lookup_core_rate(int32_t kind, uint32_t bitrate, uint32_t channels, uint32_t rate,
                            int halve_stereo, uint32_t* core_rate);
// Fills words 0 to 2 of config for the input; 1 accepted, 0 rejected.
int mp3enc_derive_config(uint32_t channels, uint32_t input_rate, mp3enc_config* config,
                         int try_sub_rates);
// The whole rule of mp3enc_set_config on copies: the caller's words, the handle's
// input, and an SBR record to select into. Returns false, touching nothing of the
// caller's, when the configuration is rejected.
bool mp3enc_complete_config(uint32_t channels, uint32_t input_rate, const mp3enc_config& asked,
                            mp3enc_config* in_force, sbrenc_config* sbr);
