// Spectral envelope of a frame per grid envelope and scale-factor band, quantised in 1.5
// or 3.0 dB steps; for a coupled pair the common level and the quantised balance.
#pragma once

#include <cstdint>

struct sbrenc_grid_info;
struct sbrenc_settings;
struct sbrenc_channel;

// energy2, bal and max_err only with coupling 2.
void sbrenc_calc_envelope(const float* const* energy, const float* const* energy2, const sbrenc_grid_info* grid,
                          int32_t* env, int32_t* bal, const sbrenc_settings* settings, const sbrenc_channel* channel,
                          int32_t coupling, float* max_err);
