#include "sbrenc/sbrenc_config.h"

// kind, min rate, max rate (exclusive), core rate, channels, start, start, stop, stop,
// noise bands, band scale, noise scale, stereo mode, frequency scale.
const int32_t sbrenc_tuning_table[sbrenc_tuning_rows][14] = {
    {2, 18000, 24000, 16000, 1, 4, 4, 12, 12, 2, 0, 6, 0, 3},
    {2, 24000, 32000, 16000, 1, 5, 5, 12, 12, 2, 0, 6, 0, 2},
    {2, 32000, 40000, 16000, 1, 8, 8, 13, 13, 2, 0, 6, 0, 2},
    {2, 40000, 56001, 16000, 1, 10, 10, 13, 13, 2, 0, 6, 0, 2},
    {2, 32000, 40000, 22050, 1, 6, 6, 9, 9, 2, 0, 6, 0, 2},
    {2, 40000, 48000, 22050, 1, 8, 8, 9, 9, 2, 0, 6, 0, 2},
    {2, 48000, 56001, 22050, 1, 10, 10, 9, 9, 2, 0, 6, 0, 2},
    {2, 32000, 40000, 24000, 1, 6, 6, 9, 9, 2, 0, 6, 0, 2},
    {2, 40000, 48000, 24000, 1, 8, 8, 9, 9, 2, 0, 6, 0, 2},
    {2, 48000, 56001, 24000, 1, 10, 10, 9, 9, 2, 0, 6, 0, 2},
    {2, 32000, 40000, 16000, 2, 4, 4, 12, 12, 2, 12, 6, 3, 2},
    {2, 40000, 48000, 16000, 2, 6, 6, 13, 13, 2, 0, 6, 3, 2},
    {2, 48000, 56000, 16000, 2, 9, 9, 13, 13, 2, 0, 6, 3, 2},
    {2, 56000, 96001, 16000, 2, 10, 10, 13, 13, 2, 0, 6, 3, 2},
    {2, 40000, 48000, 22050, 2, 4, 4, 9, 9, 2, 0, 6, 3, 2},
    {2, 48000, 56000, 22050, 2, 7, 7, 9, 9, 2, 0, 6, 3, 2},
    {2, 56000, 64000, 22050, 2, 8, 8, 9, 9, 2, 0, 6, 3, 2},
    {2, 64000, 80000, 22050, 2, 10, 10, 9, 9, 2, 0, 6, 3, 2},
    {2, 80000, 96000, 22050, 2, 11, 11, 12, 12, 2, 0, 6, 1, 2},
    {2, 96000, 96001, 22050, 2, 11, 11, 13, 13, 2, 0, 6, 1, 2},
    {2, 40000, 48000, 24000, 2, 4, 4, 9, 9, 2, 0, 6, 3, 2},
    {2, 48000, 56000, 24000, 2, 7, 7, 9, 9, 2, 0, 6, 3, 2},
    {2, 56000, 64000, 24000, 2, 8, 8, 9, 9, 2, 0, 6, 3, 2},
    {2, 64000, 80000, 24000, 2, 10, 10, 9, 9, 2, 0, 6, 3, 2},
    {2, 80000, 96000, 24000, 2, 11, 11, 11, 11, 2, 0, 6, 1, 2},
    {2, 96000, 96001, 24000, 2, 12, 12, 13, 13, 2, 0, 6, 1, 2},
};

int sbrenc_config_defaults(sbrenc_config* r, int32_t kind, int32_t mode, int32_t granule_length) {
  r->kind = kind;
  if (mode == 1)
    r->dual_rate = 0;
  else if (mode == 2)
    r->dual_rate = 1;
  else
    return -1;
  if (kind != 2) return -1;
  // w0-w4, w10 and w20 belong to the selection.
  r->header_interval = 1.0f;
  r->tone_tracker = 1;
  r->header_enable = 1;
  r->crossover_change_a = 0;
  r->spare11 = 0;
  r->freq_res_fixed = 1;
  r->trans_abs_threshold = 6000.0f;
  r->trans_rel_threshold = 0.0f;
  for (int32_t& s : r->band_scales) s = 0;
  r->frame_length = mode * granule_length;
  r->channel_value_flag = 0;
  r->amp_res = 1;
  r->noise_scale = 6;
  r->stop_freq_override = 0;
  r->const27 = 1;
  r->spreading = 1;
  r->static_framing = 0;
  r->static_env_log2 = 1;
  r->filler_res_before = 1;
  r->filler_res_after = 1;
  r->stereo_mode = 3;
  r->across_frames = 1;
  r->invf_control = 4;
  r->channel_word20 = 2;
  r->channel_value = 2;
  r->const38 = 0;
  r->start_index = 5;
  r->stop_index = 9;
  r->const41 = 0;
  r->mono_downmix = 0;
  r->crossover_change_b = 0;
  r->freq_scale = 2;
  r->alter_scale = 1;
  r->noise_bands = 2;
  r->limiter_bands = 2;
  r->limiter_gains = 2;
  r->interp_freq = 1;
  r->smoothing_mode = 0;
  return 0;
}

namespace {
uint32_t vbr_rate_per_channel(uint32_t quality) {
  if (quality < 30) return 24000;
  if (quality < 40) return 28000;
  if (quality < 60) return 32000;
  if (quality < 75) return 40000;
  return 48000;
}
}  // namespace

int sbrenc_config_select(sbrenc_config* r, uint32_t bit_rate, uint32_t channels, uint32_t core_rate,
                         uint32_t word3, uint32_t word4, uint32_t vbr_quality, uint32_t word20,
                         uint32_t stereo_as_mono, uint32_t dual_rate) {
  if (r->kind == 99) return -1;
  r->channels = static_cast<int32_t>(channels);
  r->core_rate = static_cast<int32_t>(core_rate);
  r->word3 = static_cast<int32_t>(word3);
  r->ref_bit_rate = static_cast<int32_t>(word4);
  const uint32_t out_rate = dual_rate == 1 ? 2 * core_rate : core_rate;

  const bool as_mono = stereo_as_mono != 0 && channels == 2;
  uint32_t lookup_channels = as_mono ? 1 : channels;
  uint32_t lookup_rate = as_mono ? bit_rate / 2 : bit_rate;

  if (vbr_quality != 0) {
    lookup_rate = vbr_rate_per_channel(vbr_quality) * lookup_channels;
    if (lookup_channels == 1 && (out_rate == 44100 || out_rate == 48000) && vbr_quality < 40) lookup_rate = 32000;
    r->bit_rate = static_cast<int32_t>(lookup_rate);
  } else {
    // The full rate is kept even when stereo-as-mono looks up half of it.
    r->bit_rate = static_cast<int32_t>(bit_rate);
  }

  const int32_t* row = nullptr;
  for (const auto& t : sbrenc_tuning_table) {
    if (t[sbrenc_tc_kind] == r->kind && static_cast<uint32_t>(t[sbrenc_tc_channels]) == lookup_channels &&
        static_cast<uint32_t>(t[sbrenc_tc_core_rate]) == core_rate &&
        static_cast<uint32_t>(t[sbrenc_tc_min_rate]) <= lookup_rate &&
        lookup_rate < static_cast<uint32_t>(t[sbrenc_tc_max_rate])) {
      row = t;
      break;
    }
  }
  if (!row) return -1;

  r->start_index = row[sbrenc_tc_start];
  r->stop_index = row[sbrenc_tc_stop];
  r->noise_bands = row[sbrenc_tc_noise_bands];
  for (int32_t& s : r->band_scales) s = row[sbrenc_tc_band_scale];
  r->noise_scale = row[sbrenc_tc_noise_scale];
  r->stereo_mode = as_mono ? 1 : row[sbrenc_tc_stereo_mode];
  r->freq_scale = row[sbrenc_tc_freq_scale];

  // At low rates every grid segment is sent at low frequency resolution.
  if ((lookup_channels > 1 && lookup_rate < 28000) || (lookup_channels == 1 && lookup_rate < 20000)) {
    r->freq_res_fixed = 0;
    r->filler_res_before = 0;
    r->filler_res_after = 0;
  }
  r->detector_flag = static_cast<int32_t>(word20);
  return 0;
}
