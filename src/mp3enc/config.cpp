// Configuration derivation: channel mode, mp3PRO or plain, and the output rate.
#include "mp3enc/config.h"

#include <cstddef>

namespace {

struct rate_row {
  uint32_t lowest, preferred, highest, flag_a, flag_b, bound;
};

// Output rates by bit rate; a row serves the bit rates below its bound not served above.
constexpr rate_row one_channel_rows[] = {
    {8000, 8000, 11025, 0, 0, 16000},    {11025, 16000, 16000, 0, 0, 24000},
    {11025, 16000, 24000, 0, 0, 32000},  {16000, 22050, 24000, 0, 0, 40000},
    {22050, 22050, 24000, 0, 0, 48000},  {22050, 32000, 44100, 0, 0, 64000},
    {32000, 44100, 48000, 0, 0, 320000}, {32000, 44100, 48000, 0, 0, 320001},
};
constexpr rate_row two_channel_rows[] = {
    {0, 0, 0, 0, 0, 16000},              {8000, 8000, 12000, 0, 0, 20000},
    {8000, 11025, 12000, 1, 1, 24000},   {11025, 11025, 12000, 1, 1, 32000},
    {11025, 16000, 16000, 1, 1, 40000},  {16000, 22050, 24000, 1, 1, 48000},
    {16000, 22050, 24000, 1, 1, 64000},  {22050, 22050, 24000, 1, 1, 80000},
    {22050, 22050, 32000, 1, 1, 96000},  {22050, 32000, 44100, 1, 1, 112000},
    {32000, 44100, 48000, 0, 1, 160000}, {32000, 44100, 48000, 0, 0, 320000},
    {32000, 48000, 48000, 0, 0, 320001},
};

template <size_t N>
const rate_row& row_for(const rate_row (&rows)[N], uint32_t bit_rate) {
  for (const rate_row& r : rows)
    if (r.bound > bit_rate) return r;
  return rows[N - 1];
}

bool find_tuning_row(int32_t kind, uint32_t bitrate, uint32_t channels, uint32_t core) {
  for (const auto& row : sbrenc_tuning_table) {
    if (row[sbrenc_tc_kind] == kind && uint32_t(row[sbrenc_tc_channels]) == channels &&
        uint32_t(row[sbrenc_tc_core_rate]) == core && uint32_t(row[sbrenc_tc_min_rate]) <= bitrate &&
        bitrate < uint32_t(row[sbrenc_tc_max_rate]))
      return true;
  }
  return false;
}

bool two_coded(uint32_t channel_mode) { return channel_mode == 2 || channel_mode == 4; }

}  // namespace

bool mp3enc_valid_rate(int64_t rate) {
  switch (rate) {
    case 8000: case 11025: case 12000: case 16000: case 22050:
    case 24000: case 32000: case 44100: case 48000:
      return true;
    default:
      return false;
  }
}

uint32_t default_bitrate_for_rate(uint32_t rate, uint32_t channels) {
  uint32_t b;
  switch (rate) {
    case 44100: case 48000: b = 40000; break;
    case 16000: case 32000: b = 24000; break;
    case 22050: case 24000: b = 32000; break;
    case 11025: case 12000: b = 16000; break;
    case 8000: b = 8000; break;
    default: return 0;
  }
  return rate >= 22050 ? b * channels : b;
}

int mp3enc_lookup_core_rate(int32_t kind, uint32_t bitrate, uint32_t channels, uint32_t rate,
                            int halve_stereo, uint32_t* core_rate) {
  if (rate < 22050) return 0;
  if (halve_stereo && channels == 2) {
    channels = 1;
    bitrate >>= 1;
  }
  if (find_tuning_row(kind, bitrate, channels, rate >> 1)) {
    *core_rate = rate >> 1;
    return 1;
  }
  const struct {
    uint32_t above, core;
  } fixed[] = {{44100, 22050}, {32000, 16000}, {24000, 12000}, {22050, 11025}};
  for (const auto& f : fixed) {
    if (rate <= f.above) continue;
    if (f.core == 11025) *core_rate = 11025;
    if (find_tuning_row(kind, bitrate, channels, f.core)) {
      *core_rate = f.core;
      return 1;
    }
  }
  return 0;
}

int mp3enc_derive_config(uint32_t channels, uint32_t input_rate, mp3enc_config* c,
                         int try_sub_rates) {
  if (c->bit_rate < 8000 || c->bit_rate > 320000 || c->sbr_mode > 2 || c->channel_mode > 4 ||
      c->vbr_quality > 100 || (c->output_rate && c->output_rate > input_rate) ||
      (c->channel_mode >= 2 && channels != 2))
    return 0;
  uint32_t core = 0;
  int sbr_possible = mp3enc_lookup_core_rate(2, c->bit_rate, 1, input_rate, 0, &core);
  if (c->output_rate && !mp3enc_lookup_core_rate(2, c->bit_rate, 1, c->output_rate, 0, &core))
    sbr_possible = 0;

  if (c->channel_mode == 3 && !(sbr_possible && channels == 2)) return 0;
  if (c->channel_mode == 0) {
    if (channels == 2) {
      if (sbr_possible)
        c->channel_mode = c->bit_rate < 36000 ? 3 : 2;
      else
        c->channel_mode = c->bit_rate < 44000 ? 1 : 2;
    } else {
      c->channel_mode = 1;
    }
  }
  const rate_row& row = two_coded(c->channel_mode) ? row_for(two_channel_rows, c->bit_rate)
                                                   : row_for(one_channel_rows, c->bit_rate);

  if (c->output_rate == 0) {
    if (two_coded(c->channel_mode))
      sbr_possible = mp3enc_lookup_core_rate(2, c->bit_rate, 2, input_rate, 0, &core);
    if (c->sbr_mode == 1) {
      if (!sbr_possible) return 0;
      c->output_rate = 2 * core;
    } else if (c->sbr_mode == 0 && sbr_possible) {
      c->sbr_mode = 1;
      c->output_rate = 2 * core;
    }
  } else {
    if (two_coded(c->channel_mode))
      sbr_possible = mp3enc_lookup_core_rate(2, c->bit_rate, 2, c->output_rate, 0, &core);
    if (c->sbr_mode == 1 && !sbr_possible) return 0;
    if (c->sbr_mode == 0) c->sbr_mode = sbr_possible ? 1 : 2;
  }

  if (c->output_rate == 0) {
    if (input_rate >= row.preferred)
      c->output_rate = row.preferred;
    else if (input_rate >= row.lowest)
      c->output_rate = row.lowest;
    if (c->output_rate == 0) return 0;
    c->sbr_mode = 2;
    if (try_sub_rates) {
      for (uint32_t d = 1; d <= 6; ++d) {
        const uint32_t candidate = uint32_t((1.0 / d) * input_rate);
        if (candidate >= row.lowest && candidate <= row.highest && mp3enc_valid_rate(candidate) &&
            candidate * d == input_rate) {
          c->output_rate = candidate;
          break;
        }
      }
    }
  }
  if (!sbr_possible && (c->output_rate < row.lowest || c->output_rate > row.highest)) return 0;
  return 1;
}

bool mp3enc_complete_config(uint32_t channels, uint32_t input_rate, const mp3enc_config& asked,
                            mp3enc_config* in_force, sbrenc_config* sbr) {
  mp3enc_config c = asked;
  if (asked.bit_rate != 0 && asked.vbr_quality == 0 &&
      (asked.output_rate == 0 || asked.channel_mode == 0 || asked.sbr_mode == 0)) {
    c = {asked.output_rate, asked.channel_mode, asked.sbr_mode, asked.bit_rate, 0};
    if (!mp3enc_derive_config(channels, input_rate, &c, 1)) {
      if (asked.channel_mode != 0) return false;
      c.channel_mode = c.sbr_mode == 2 ? 1 : 3;
      if (!mp3enc_derive_config(channels, input_rate, &c, 1)) {
        c.channel_mode = 1;
        if (!mp3enc_derive_config(channels, input_rate, &c, 1)) return false;
      }
    }
  } else {
    if (two_coded(asked.channel_mode) && channels == 1) return false;
    if (asked.output_rate > input_rate) return false;
    if (asked.channel_mode == 3 && channels != 2) return false;
    // Words the derivation never checks on this path.
    if (asked.channel_mode > 4 || asked.sbr_mode > 2) return false;
  }

  if (asked.vbr_quality != 0) {
    if (asked.vbr_quality > 100) return false;
    if (c.sbr_mode == 0) c.sbr_mode = input_rate >= 32000 ? 1 : 2;
    if (c.output_rate != 0 && c.output_rate < 32000) c.sbr_mode = 2;
    if (c.output_rate == 0) {
      c.output_rate = input_rate;
      if (c.sbr_mode == 1 && input_rate < 32000) return false;
    }
    if (c.output_rate <= 12000) return false;
    if (c.channel_mode == 0) c.channel_mode = channels == 2 ? 2 : 1;
  }

  sbrenc_config record = *sbr;
  if (c.sbr_mode == 1) {
    if (sbrenc_config_select(&record, c.bit_rate, two_coded(c.channel_mode) ? 2 : 1,
                             c.output_rate / 2, 3, 32000, c.vbr_quality, 0, 0, 1) != 0)
      return false;
  } else if (c.channel_mode == 3) {
    return false;
  }
  *in_force = c;
  *sbr = record;
  return true;
}
