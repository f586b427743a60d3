// Reader of the SBR payload: CRC, header, and the single-channel and channel-pair elements
// with their grid, delta directions, envelope and noise values, tones and extended data.
#include "mp3dec/sbr/sbr_payload.h"

#include <cstring>

#include "mp3dec/sbr/sbr_tables.h"

void sbrdec_open_bits(SbrBitReader* r, const uint8_t* data, int length_bits) {
  r->data = data;
  r->length = length_bits < 0 ? 0 : length_bits;
  r->position = 0;
}

uint32_t sbrdec_get_bits(SbrBitReader* r, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) {
    const int p = r->position++;
    const int bit = p < r->length ? (r->data[p >> 3] >> (7 - (p & 7))) & 1 : 0;
    v = (v << 1) | uint32_t(bit);
  }
  return v;
}

bool sbrdec_check_crc(SbrBitReader* r, int covered, int required) {
  const int flag = int(sbrdec_get_bits(r, 1));
  if (!flag && !required) return true;
  if (!flag) return false;
  const uint32_t crc = sbrdec_get_bits(r, 7);
  SbrBitReader copy = *r;
  if (covered > sbrdec_bits_left(&copy)) covered = sbrdec_bits_left(&copy);
  if (covered < 0) return false;
  uint32_t reg = 0xFF;
  for (int i = 0; i < covered; ++i) {
    const uint32_t bit = sbrdec_get_bits(&copy, 1);
    const uint32_t top = (reg >> 7) & 1;
    reg = (reg << 1) & 0xFF;
    if (bit != top) reg ^= 0x45;
  }
  return (reg & 0x7F) == crc;
}

int sbrdec_read_header(SbrHeader* h, SbrBitReader* r, int element_mode, int mode, int core_rate) {
  const SbrHeader prev = *h;
  h->must_be_zero = int32_t(sbrdec_get_bits(r, 2));
  h->amp_resolution = int32_t(sbrdec_get_bits(r, 1));
  h->start_freq = int32_t(sbrdec_get_bits(r, 4));
  h->stop_freq = int32_t(sbrdec_get_bits(r, 4));
  h->crossover_band = int32_t(sbrdec_get_bits(r, 3));
  sbrdec_get_bits(r, 2);
  h->adjuster_mode_flag = int32_t(sbrdec_get_bits(r, 1));
  const int extra1 = int(sbrdec_get_bits(r, 1));
  const int extra2 = int(sbrdec_get_bits(r, 1));
  if (element_mode == 0) {
    if (h->channel_mode == 2) h->channel_mode = 3;
    const int32_t strength = int32_t(sbrdec_get_bits(r, 2));
    if (!h->stereo_lock) h->stereo_strength = strength;
  } else {
    h->channel_mode = 2;
  }
  if (extra1) {
    h->freq_scale = int32_t(sbrdec_get_bits(r, 2));
    h->alter_scale = int32_t(sbrdec_get_bits(r, 1));
    h->noise_bands = int32_t(sbrdec_get_bits(r, 2));
  } else {
    h->freq_scale = 2;
    h->alter_scale = 1;
    h->noise_bands = 2;
  }
  if (extra2) {
    h->limiter_bands = int32_t(sbrdec_get_bits(r, 2));
    h->limiter_gains = int32_t(sbrdec_get_bits(r, 2));
    h->interpol_freq = int32_t(sbrdec_get_bits(r, 1));
    h->smoothing_mode = int32_t(sbrdec_get_bits(r, 1));
    sbrdec_get_bits(r, 1);
  } else {
    h->limiter_bands = 2;
    h->limiter_gains = 2;
    h->interpol_freq = 1;
    h->smoothing_mode = 1;
  }
  (void)mode;
  if (h->must_be_zero != prev.must_be_zero) {
    if (prev.status == 3) {
      const int32_t lock = prev.stereo_lock;
      sbrdec_default_header(h, core_rate);
      h->stereo_lock = lock;
      if (lock) h->stereo_strength = 0;
      h->status = 3;
      return 3;
    }
    *h = prev;
    h->conceal = 1;
    h->status = 2;
    return 2;
  }
  h->reset = (h->start_freq != prev.start_freq || h->stop_freq != prev.stop_freq ||
              h->freq_scale != prev.freq_scale || h->alter_scale != prev.alter_scale || prev.status == 3)
                 ? 1
                 : 0;
  const int result =
      (h->reset == 0 && h->crossover_band == prev.crossover_band && h->noise_bands == prev.noise_bands) ? 0 : 1;
  h->status = result;
  return result;
}

namespace {

int pointer_bits(int envelopes) { return envelopes == 1 ? 1 : envelopes <= 3 ? 2 : 3; }

void fixed_template(SbrGrid* g, int n) {
  static const int borders[3][5] = {{0, 9}, {0, 5, 9}, {0, 2, 5, 7, 9}};
  const int t = n == 1 ? 0 : n == 2 ? 1 : 2;
  g->envelopes = n;
  for (int i = 0; i <= n; ++i) g->borders[i] = borders[t][i];
  for (int i = 0; i < n; ++i) g->freq_res[i] = 1;
  g->transient = -1;
  g->noise_floors = n == 1 ? 1 : 2;
  g->noise_borders[0] = 0;
  if (n == 1) {
    g->noise_borders[1] = 9;
  } else {
    g->noise_borders[1] = 5;
    g->noise_borders[2] = 9;
  }
}

}  // namespace

int sbrdec_read_grid(SbrGrid* g, SbrBitReader* r) {
  std::memset(g, 0, sizeof(*g));
  g->frame_class = int32_t(sbrdec_get_bits(r, 2));
  int n = 0, p = 0;
  switch (g->frame_class) {
    case 0: {
      n = 1 << sbrdec_get_bits(r, 2);
      if (n > 4) return 0;
      const int res = int(sbrdec_get_bits(r, 1));
      fixed_template(g, n);
      if (!res)
        for (int i = 0; i < n; ++i) g->freq_res[i] = 0;
      return 1;
    }
    case 1: {
      const int b = int(sbrdec_get_bits(r, 3));
      n = int(sbrdec_get_bits(r, 2)) + 1;
      g->envelopes = n;
      g->borders[0] = 0;
      g->borders[n] = 9 + b;
      for (int i = n - 1; i >= 1; --i) g->borders[i] = g->borders[i + 1] - 2 * int(sbrdec_get_bits(r, 2)) - 2;
      p = int(sbrdec_get_bits(r, pointer_bits(n)));
      if (p > n) return 0;
      g->transient = p ? n + 1 - p : -1;
      for (int i = n - 1; i >= 0; --i) g->freq_res[i] = int32_t(sbrdec_get_bits(r, 1));
      g->noise_floors = n == 1 ? 1 : 2;
      if (n > 1) g->noise_borders[1] = p <= 1 ? g->borders[n - 1] : g->borders[g->transient];
      break;
    }
    case 2: {
      const int b = int(sbrdec_get_bits(r, 3));
      n = int(sbrdec_get_bits(r, 2)) + 1;
      g->envelopes = n;
      g->borders[0] = b;
      for (int i = 1; i < n; ++i) g->borders[i] = g->borders[i - 1] + 2 * int(sbrdec_get_bits(r, 2)) + 2;
      g->borders[n] = 9;
      p = int(sbrdec_get_bits(r, pointer_bits(n)));
      if (p > n) return 0;
      g->transient = p <= 1 ? -1 : p - 1;
      for (int i = 0; i < n; ++i) g->freq_res[i] = int32_t(sbrdec_get_bits(r, 1));
      g->noise_floors = n == 1 ? 1 : 2;
      if (n > 1) g->noise_borders[1] = p == 0 ? g->borders[1] : p == 1 ? g->borders[n - 1] : g->borders[g->transient];
      break;
    }
    default: {
      const int b0 = int(sbrdec_get_bits(r, 3));
      const int b1 = int(sbrdec_get_bits(r, 3));
      const int r0 = int(sbrdec_get_bits(r, 2));
      const int r1 = int(sbrdec_get_bits(r, 2));
      n = r0 + r1 + 1;
      if (n > 4) return 0;
      g->envelopes = n;
      g->borders[0] = b0;
      g->borders[n] = 9 + b1;
      for (int i = 1; i <= r0; ++i) g->borders[i] = g->borders[i - 1] + 2 * int(sbrdec_get_bits(r, 2)) + 2;
      for (int i = n - 1; i >= n - r1; --i) g->borders[i] = g->borders[i + 1] - 2 * int(sbrdec_get_bits(r, 2)) - 2;
      p = int(sbrdec_get_bits(r, pointer_bits(n)));
      if (p > n) return 0;
      g->transient = p ? n + 1 - p : -1;
      for (int i = 0; i < n; ++i) g->freq_res[i] = int32_t(sbrdec_get_bits(r, 1));
      g->noise_floors = n == 1 ? 1 : 2;
      if (n > 1) g->noise_borders[1] = p > 1 ? g->borders[g->transient] : g->borders[n - 1];
      break;
    }
  }
  g->noise_borders[0] = g->borders[0];
  g->noise_borders[g->noise_floors] = g->borders[n];
  return 1;
}

int sbrdec_check_grid(const SbrGrid* g, int time_slots) {
  const int n = g->envelopes;
  if (n < 1 || n > 4 || time_slots != SBR_TIME_SLOTS) return 0;
  if (g->noise_floors < 1 || g->noise_floors > 2 || (n == 1 && g->noise_floors != 1)) return 0;
  if (g->borders[0] > 3 || g->borders[0] >= g->borders[n]) return 0;
  if (g->borders[n] < 9 || g->borders[n] > 12) return 0;
  for (int i = 0; i < n; ++i)
    if (g->borders[i + 1] <= g->borders[i]) return 0;
  if (g->transient > n) return 0;
  const int q = g->noise_floors;
  if (g->noise_borders[0] != g->borders[0] || g->noise_borders[q] != g->borders[n]) return 0;
  for (int i = 0; i < q; ++i)
    if (g->noise_borders[i + 1] <= g->noise_borders[i]) return 0;
  for (int i = 1; i < q; ++i) {
    bool found = false;
    for (int k = 0; k <= n; ++k) found |= g->noise_borders[i] == g->borders[k];
    if (!found) return 0;
  }
  return 1;
}

int sbrdec_decode_huffman(SbrBitReader* r, const int8_t (*tree)[2]) {
  int node = 0;
  // Every tree has fewer than 128 nodes; a code cannot be longer than that.
  for (int depth = 0; depth < 128; ++depth) {
    const int b = tree[node][sbrdec_get_bits(r, 1)];
    if (b < 0) return b + 64;
    node = b;
  }
  return 0;
}

int sbrdec_read_envelope(SbrElementData* e, SbrBitReader* r) {
  const bool balance = e->coupling == 2;
  const bool fine = e->header.amp_resolution == 0;
  const int8_t (*t_tree)[2];
  const int8_t (*f_tree)[2];
  int start_bits;
  if (fine) {
    t_tree = balance ? sbrdec_huff_t_huffman_env_bal_1_5dB : sbrdec_huff_t_huffman_env_1_5dB;
    f_tree = balance ? sbrdec_huff_f_huffman_env_bal_1_5dB : sbrdec_huff_f_huffman_env_1_5dB;
    start_bits = balance ? 6 : 7;
  } else {
    t_tree = balance ? sbrdec_huff_t_huffman_env_bal_3_0dB : sbrdec_huff_t_huffman_env_3_0dB;
    f_tree = balance ? sbrdec_huff_f_huffman_env_bal_3_0dB : sbrdec_huff_f_huffman_env_3_0dB;
    start_bits = balance ? 5 : 6;
  }
  const float scale = balance ? 2.0f : 1.0f;
  int k = 0;
  for (int l = 0; l < e->grid.envelopes; ++l) {
    const int bands = e->grid.freq_res[l] ? e->high_bands : e->low_bands;
    if (bands < 0 || k + bands > SBR_MAX_ENV_VALUES) return 0;
    for (int b = 0; b < bands; ++b) {
      int v;
      if (e->dir_env[l] == 0)
        v = b == 0 ? int(sbrdec_get_bits(r, start_bits)) : sbrdec_decode_huffman(r, f_tree);
      else
        v = sbrdec_decode_huffman(r, t_tree);
      e->env[k++] = float(v) * scale;
    }
  }
  return 1;
}

int sbrdec_read_noise(SbrElementData* e, SbrBitReader* r) {
  const bool balance = e->coupling == 2;
  const int8_t (*t_tree)[2] = balance ? sbrdec_huff_t_huffman_noise_bal_3_0dB : sbrdec_huff_t_huffman_noise_3_0dB;
  const int8_t (*f_tree)[2] = balance ? sbrdec_huff_f_huffman_env_bal_3_0dB : sbrdec_huff_f_huffman_env_3_0dB;
  const float scale = balance ? 2.0f : 1.0f;
  if (e->noise_bands < 1 || e->noise_bands > SBR_MAX_NOISE_BANDS) return 0;
  for (int q = 0; q < e->grid.noise_floors; ++q) {
    for (int b = 0; b < e->noise_bands; ++b) {
      int v;
      if (e->dir_noise[q] == 0)
        v = b == 0 ? int(sbrdec_get_bits(r, 5)) : sbrdec_decode_huffman(r, f_tree);
      else
        v = sbrdec_decode_huffman(r, t_tree);
      e->noise[q][b] = float(v) * scale;
    }
  }
  return 1;
}

int sbrdec_read_extension_payload(SbrToneExtension* t, SbrBitReader* r) {
  t->count = 0;
  if (!sbrdec_get_bits(r, 1)) return 1;
  const int count = int(sbrdec_get_bits(r, 2)) + 1;
  for (int i = 0; i < count; ++i) {
    SbrToneEntry& x = t->entries[i];
    x.first_band = int32_t(sbrdec_get_bits(r, 6));
    x.band_count = int32_t(sbrdec_get_bits(r, 2)) + 1;
    x.range = int32_t(sbrdec_get_bits(r, 2));
    if (x.range == 0) return 0;
    x.fade_out = int32_t(sbrdec_get_bits(r, 1));
    const int first = (x.range & 2) ? 0 : 9, last = (x.range & 1) ? 18 : 9;
    for (int b = 0; b < x.band_count; ++b) {
      x.width[b] = int32_t(sbrdec_get_bits(r, 1)) + 4;
      x.amplitude[b] = int32_t(sbrdec_get_bits(r, 5));
      for (int s = first; s < last; ++s) {
        int v = int(sbrdec_get_bits(r, x.width[b] - 1));
        if (v && sbrdec_get_bits(r, 1)) v = -v;
        x.values[b][s] = int8_t(v);
      }
    }
    t->count = i + 1;
  }
  return 1;
}

void sbrdec_read_extended_data(SbrBitReader* r) {
  if (!sbrdec_get_bits(r, 1)) return;
  int size = int(sbrdec_get_bits(r, 4));
  if (size == 15) size += int(sbrdec_get_bits(r, 8));
  // A 2-bit identifier and the rest; nothing here is interpreted.
  for (int i = 0; i < size; ++i) sbrdec_get_bits(r, 8);
}

namespace {

void read_directions(SbrElementData* e, SbrBitReader* r) {
  for (int l = 0; l < e->grid.envelopes; ++l) e->dir_env[l] = int32_t(sbrdec_get_bits(r, 1));
  for (int q = 0; q < e->grid.noise_floors; ++q) e->dir_noise[q] = int32_t(sbrdec_get_bits(r, 1));
}

}  // namespace

int sbrdec_read_single_channel(SbrElementData* e, SbrBitReader* r) {
  // The rate flag fixes the output rate the decoder was made for; a frame that changes it
  // fails, and the flag keeps its value (stored, it would halve the rate of later frames).
  const bool rate_changed = int32_t(sbrdec_get_bits(r, 1)) != e->header.rate_flag;
  const int ps = int(sbrdec_get_bits(r, 1));
  if (e->header.channel_mode == 0) e->header.channel_mode = ps ? 3 : 1;
  if (rate_changed) return 0;
  if (!sbrdec_read_grid(&e->grid, r) || !sbrdec_check_grid(&e->grid, e->time_slots)) return 0;
  read_directions(e, r);
  if (e->dir_env[0] == 0) e->header.conceal = 0;
  e->invf_mode = int32_t(sbrdec_get_bits(r, 2));
  e->unused_field = int32_t(sbrdec_get_bits(r, 2));
  if (e->header.adjuster_mode_flag) e->adjuster_field = int32_t(sbrdec_get_bits(r, 3));
  if (!sbrdec_read_envelope(e, r) || !sbrdec_read_noise(e, r)) return 0;
  if (!sbrdec_read_extension_payload(&e->tones, r)) return 0;
  sbrdec_read_extended_data(r);
  return sbrdec_overrun(r) ? 0 : 1;
}

int sbrdec_read_channel_pair(SbrElementData* a, SbrElementData* b, SbrBitReader* r) {
  const int32_t rate = int32_t(sbrdec_get_bits(r, 1));
  if (rate != a->header.rate_flag || rate != b->header.rate_flag) return 0;
  const bool coupled = sbrdec_get_bits(r, 1) != 0;
  a->coupling = coupled ? 1 : 0;
  b->coupling = coupled ? 2 : 0;
  if (!sbrdec_read_grid(&a->grid, r) || !sbrdec_check_grid(&a->grid, a->time_slots)) return 0;
  if (coupled) {
    b->grid = a->grid;
    b->header.conceal = a->header.conceal;
  } else if (!sbrdec_read_grid(&b->grid, r) || !sbrdec_check_grid(&b->grid, b->time_slots)) {
    return 0;
  }
  read_directions(a, r);
  read_directions(b, r);
  if (a->dir_env[0] == 0 && b->dir_env[0] == 0) a->header.conceal = b->header.conceal = 0;
  const bool adjuster = a->header.adjuster_mode_flag != 0;
  if (coupled) {
    a->invf_mode = b->invf_mode = int32_t(sbrdec_get_bits(r, 2));
    a->unused_field = b->unused_field = int32_t(sbrdec_get_bits(r, 2));
    if (adjuster) a->adjuster_field = b->adjuster_field = int32_t(sbrdec_get_bits(r, 3));
    if (!sbrdec_read_envelope(a, r) || !sbrdec_read_noise(a, r) || !sbrdec_read_envelope(b, r) ||
        !sbrdec_read_noise(b, r))
      return 0;
    // A coupled pair carries one tone block for both channels, as it carries one grid; a second
    // block read here took the extended-data bit and ran past the payload's last byte. The
    // encoder takes the tones out of both channels' envelopes, so both get them back.
    if (!sbrdec_read_extension_payload(&a->tones, r)) return 0;
    b->tones = a->tones;
    sbrdec_read_extended_data(r);
  } else {
    a->invf_mode = int32_t(sbrdec_get_bits(r, 2));
    b->invf_mode = int32_t(sbrdec_get_bits(r, 2));
    a->unused_field = int32_t(sbrdec_get_bits(r, 2));
    b->unused_field = int32_t(sbrdec_get_bits(r, 2));
    if (adjuster) {
      a->adjuster_field = int32_t(sbrdec_get_bits(r, 3));
      b->adjuster_field = int32_t(sbrdec_get_bits(r, 3));
    }
    if (!sbrdec_read_envelope(a, r) || !sbrdec_read_envelope(b, r) || !sbrdec_read_noise(a, r) ||
        !sbrdec_read_noise(b, r))
      return 0;
    if (!sbrdec_read_extension_payload(&a->tones, r) || !sbrdec_read_extension_payload(&b->tones, r)) return 0;
    sbrdec_read_extended_data(r);
    sbrdec_read_extended_data(r);
  }
  return sbrdec_overrun(r) ? 0 : 1;
}
