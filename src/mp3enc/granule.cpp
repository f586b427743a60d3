// The granule coder: allocation between the channels, the loops, and the fit of each channel
// into its budget by raising the global gain.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "mp3dec/l3tables.h"
#include "mp3enc/ancillary.h"
#include "mp3enc/quant.h"

namespace {

// The part of the scalefactors that holds band idx.
int scalefac_part(const int32_t* sfb_count, int idx) {
  int part = 0, acc = 0;
  while (part < 3 && idx >= acc + sfb_count[part]) acc += sfb_count[part++];
  return part;
}

// part2_3_length has 12 bits.
constexpr int longest_granule = 4095;

// Quantises the mid lines x of one band again, at the same step, so that they decode at half
// their energy: what mid/side gives each channel. Rounding x / sqrt(2) alone would not do: at
// low bit rates most values are 0 or 1, and the 1s that fall to 0 take far more than half the
// energy with them. So the rounding offset is the one whose energy comes nearest; no value
// grows beyond its old q, so no more bits are needed than before.
void requantise_at_half_energy(const float* x, int n, int step, int32_t* q) {
  const double scale = std::pow(2.0, -0.1875 * step) * std::pow(0.5, 0.375);
  double target = 0;
  for (int i = 0; i < n; ++i) target += 0.5 * double(x[i]) * x[i];
  target *= std::pow(2.0, -0.5 * step);
  auto value = [&](int i, double offset) {
    const double v = std::pow(double(std::fabs(x[i])), 0.75) * scale + offset;
    return v < double(std::abs(q[i])) ? int(v) : std::abs(q[i]);  // a line that is not a number too
  };
  int best = 0;
  double best_gap = -1;
  for (int k = 0; k < 64; ++k) {
    double e = 0;
    for (int i = 0; i < n; ++i) e += std::pow(double(value(i, k / 64.0)), 8.0 / 3.0);
    if (best_gap < 0 || std::fabs(e - target) < best_gap) {
      best_gap = std::fabs(e - target);
      best = k;
    }
  }
  for (int i = 0; i < n; ++i) {
    const int v = value(i, best / 64.0);
    q[i] = x[i] < 0.0f ? -v : v;
  }
}

// MPEG-2 joint stereo: the bands below the intensity region whose side channel quantised to
// zero carry position 0, so every decoder takes the mid channel there as the intensity value,
// undivided by the sqrt(2) of mid/side. One more unit of the mid channel's scalefactor makes
// up for it exactly at scalefac_scale 0. Wider scalefactor parts are taken only from the bits
// the side channel left; otherwise only the bands whose part has room are raised. The bands
// left over (all of them at scalefac_scale 1, where a unit is twice too much) have their mid
// lines quantised again at half their energy, so that position 0 renders them as loud as
// mid/side would. Neither step lets the mid channel grow past the spare bits or its 12-bit
// length. Returns the bits the mid channel grew by (less than 0 when it shrank).
int centre_zero_side_bands(mp3enc_huff_state* huff, mp3enc_granule* rec, const mp3enc_channel_analysis& mid,
                           const mp3enc_channel_analysis& right, int spare) {
  bool centred[39] = {};
  bool any = false;
  for (int w = 0; w < right.windows; ++w)
    for (int b = right.first_is_band[w] - 1; b >= 0 && rec->band_max[1][b * right.windows + w] == 0; --b) {
      const int idx = b * right.windows + w;
      if (rec->band_max[0][idx] == 0) continue;
      centred[idx] = any = true;
    }
  if (!any) return 0;
  int32_t* sf = rec->scalefac[0];
  const int length = rec->part2_3_length[0];
  const int before = mp3enc_scalefac_bits(sf, rec->scalefac_compress[0], rec->sfb_count[0], rec->slen[0]);
  if (rec->scalefac_scale[0] == 0) {
    int32_t raised[39];
    std::memcpy(raised, sf, sizeof raised);
    for (int b = 0; b < 39; ++b)
      if (centred[b]) raised[b] = (raised[b] == mp3enc_no_step ? 0 : raised[b]) + 1;
    int32_t counts[4], slen[4];
    const int sc = mp3enc_scalefac_select_mpeg2(0, rec->block_type[0], raised, rec->preflag[0], counts, slen);
    const int grown = sc < 0 ? spare + 1 : mp3enc_scalefac_bits(raised, sc, counts, slen) - before;
    if (grown <= spare && length + grown <= longest_granule) {
      std::memcpy(sf, raised, sizeof raised);
      rec->scalefac_compress[0] = sc;
      std::memcpy(rec->sfb_count[0], counts, sizeof counts);
      std::memcpy(rec->slen[0], slen, sizeof slen);
      rec->part2_3_length[0] += grown;
      return grown;
    }
    for (int b = 0; b < 39; ++b) {
      const int widest = (1 << rec->slen[0][scalefac_part(rec->sfb_count[0], b)]) - 1;
      if (centred[b] && raised[b] <= widest) {
        sf[b] = raised[b];
        centred[b] = false;
      }
    }
  }
  int32_t q[576];
  std::memcpy(q, rec->quantized[0], sizeof q);
  int32_t band_max[39];
  std::memcpy(band_max, rec->band_max[0], sizeof band_max);
  any = false;
  for (int b = 0; b < mid.active_bands; ++b) {
    if (!centred[b]) continue;
    const int lo = mid.bounds[b], n = mid.bounds[b + 1] - lo;
    const int f = sf[b] == mp3enc_no_step ? 0 : sf[b];
    int shift = 0;
    if (mid.block_type != 2 && b < 21)
      shift = (f + (rec->preflag[0] ? l3_pretab[b] : 0)) << (rec->scalefac_scale[0] + 1);
    else if (mid.block_type == 2 && b < 36)
      shift = (f << (rec->scalefac_scale[0] + 1)) + 8 * rec->subblock_gain[0][b % 3];
    requantise_at_half_energy(mid.spectrum + lo, n, rec->global_gain[0] - shift, q + lo);
    band_max[b] = 0;
    for (int i = lo; i < lo + n; ++i) band_max[b] = std::max(band_max[b], std::abs(q[i]));
    any = true;
  }
  if (!any) return 0;
  mp3enc_huff_rec h;
  mp3enc_huff_find_regions(huff, q, band_max, mid.block_type, mid.active_bands, mid.bounds, &h);
  const int grown = h.huffman_bits + before - length;
  if (grown > spare || length + grown > longest_granule) return 0;
  std::memcpy(rec->quantized[0], q, sizeof q);
  std::memcpy(rec->band_max[0], band_max, sizeof band_max);
  rec->huff[0] = h;
  rec->part2_3_length[0] += grown;
  return grown;
}

}  // namespace

int mp3enc_granule_create(mp3enc_granule** out) {
  if (!out) return 1;
  *out = new (std::nothrow) mp3enc_granule();
  return *out ? 0 : 1;
}

void mp3enc_granule_free(mp3enc_granule* g) { delete g; }

int mp3enc_granule_reset(mp3enc_granule*) { return 0; }

int mp3enc_quant_create(mp3enc_quant** out) {
  if (!out) return 1;
  *out = nullptr;
  mp3enc_quant* q = new (std::nothrow) mp3enc_quant();
  if (!q) return 1;
  if (mp3enc_bitalloc_create(&q->bitalloc) || mp3enc_huff_create(&q->huff)) {
    mp3enc_quant_free(q);
    return 1;
  }
  *out = q;
  return 0;
}

void mp3enc_quant_free(mp3enc_quant* q) {
  if (!q) return;
  mp3enc_bitalloc_free(q->bitalloc);
  mp3enc_huff_free(q->huff);
  delete q;
}

int mp3enc_quant_init(mp3enc_quant* q, const mp3enc_quant_setup* w) {
  q->channels = w->channels;
  q->version = w->version;
  q->max_bits = w->max_bits;
  q->frame_bits = w->frame_bits;
  q->granule_bits = w->granule_bits;
  q->sbr_bits_average = w->sbr_allowance;
  q->reservoir_bits = w->reservoir;
  q->frame_saved_bits = 0;
  mp3enc_huff_set_search(q->huff, w->huff_search);
  static const float rows[6][3] = {{0, 550.0f, 40000},  {20, 625.0f, 48000},  {40, 850.0f, 56000},
                                   {60, 1200.0f, 64000}, {80, 2100.0f, 80000}, {100, 3500.0f, 96000}};
  const int quality = std::clamp(int(w->quality), 0, 100);
  int k = 0;
  while (k < 4 && quality > rows[k + 1][0]) ++k;
  const float t = (quality - rows[k][0]) / (rows[k + 1][0] - rows[k][0]);
  q->demand_scale = rows[k][1] * (1 - t) + rows[k + 1][1] * t;
  int rate = w->rate_per_channel;
  if (rate == 0) {
    rate = int(rows[k][2] * (1 - t) + rows[k + 1][2] * t);
    if (q->version != 0) rate /= 2;
  }
  mp3enc_bitalloc_init(q->bitalloc, w->bandwidth_figure, rate);
  q->effort = w->effort;
  if (q->effort > 0) mp3enc_pow43_table_init();
  return 0;
}

void mp3enc_quant_add_bits(mp3enc_quant* q, int n) { q->reservoir_bits += n; }
int mp3enc_quant_get_bits(const mp3enc_quant* q) { return q->reservoir_bits; }
void mp3enc_quant_clear_saved(mp3enc_quant* q) { q->frame_saved_bits = 0; }
void mp3enc_quant_track_saved(mp3enc_quant* q, int used) { q->frame_saved_bits += q->granule_bits - used; }

void mp3enc_quant_update_sbr_average(mp3enc_quant* q, mp3enc_granule* const* records, int granules) {
  if (granules < 1) return;
  int sum = 0;
  for (int g = 0; g < granules; ++g) sum += records[g]->sbr_bits;
  q->sbr_bits_average = 0.98f * q->sbr_bits_average + 0.02f * float(sum) / granules;
}

int mp3enc_quant_granule(mp3enc_quant* q, mp3enc_granule_analysis* an, mp3enc_granule* rec, int sbr_bits,
                         const uint8_t* user_bytes, int32_t* user_count) {
  const int nch = q->channels;
  rec->sbr_bits = sbr_bits;
  rec->used_bits = 0;
  rec->user_anc_bits = 0;
  int R = 0;
  if (user_count && *user_count > 0) R = std::min(8 * *user_count + 16, 2176);

  float S[2][39], M[2][39];
  for (int c = 0; c < nch; ++c) mp3enc_band_sqrt_sum(&an->ch[c], S[c], M[c]);

  float share[2] = {1.0f, 0.0f};
  int budget[2] = {0, 0};
  if (q->frame_bits < 1) {
    mp3enc_bitalloc_demand(q->bitalloc, an, share, S, nch, q->max_bits - sbr_bits, q->demand_scale);
    for (int c = 0; c < nch; ++c) budget[c] = int(std::lround((q->max_bits - sbr_bits) * share[c]));
  } else {
    const int base = q->granule_bits - int(std::lround(q->sbr_bits_average));
    const int cap = q->reservoir_bits - q->frame_bits + q->frame_saved_bits;
    mp3enc_bitalloc_budget(q->bitalloc, an, share, S, nch, base, cap, q->max_bits - q->frame_bits);
    const int X = q->frame_saved_bits - q->frame_bits + q->granule_bits + q->reservoir_bits - sbr_bits;
    for (int c = 0; c < nch; ++c) budget[c] = int(std::lround(8.0 * (X / 8) * share[c]));
  }
  for (int c = 0; c < nch; ++c) budget[c] = std::min(budget[c], 4096);
  if (nch == 2 && an->is) {
    const int least = an->ch[1].block_type == 2 ? 108 : 63;
    if (budget[1] < least) {
      budget[0] -= least - budget[1];
      budget[1] = least;
    }
  }

  for (int c = 0; c < nch; ++c) mp3enc_quant_estimate_steps(&an->ch[c], rec->scalefac[c], S[c], M[c]);
  for (int c = 0; c < nch; ++c) {
    const mp3enc_channel_analysis& ch = an->ch[c];
    const int32_t counts[4] = {ch.block_type == 2 ? 9 : 6, ch.block_type == 2 ? 9 : 5, ch.block_type == 2 ? 9 : 5,
                               ch.block_type == 2 ? 9 : 5};
    for (int p = 0; p < 4; ++p) {
      rec->sfb_count[c][p] = counts[p];
      rec->slen[c][p] = p < 2 ? 4 : 3;
    }
    mp3enc_quant_outer_loop(ch.active_bands, ch.block_type, rec->scalefac[c], &rec->global_gain[c],
                            rec->subblock_gain[c], &rec->scalefac_scale[c], rec->sfb_count[c], rec->slen[c],
                            q->version == 0 && !an->is, &rec->preflag[c], ch.bounds, q->effort, ch.spectrum,
                            ch.energy, ch.thr, S[c], rec->quantized[c]);
  }

  int given[2] = {0, 0};
  for (int c = 0; c < nch; ++c) {
    const mp3enc_channel_analysis& ch = an->ch[c];
    const bool is_channel = c == 1 && an->is;
    if (c == 1 && q->frame_bits > 0)
      budget[1] = std::min(4096, budget[1] + budget[0] - 1 - (given[0] + rec->part2_3_length[0]));
    int32_t copy[39];
    std::memcpy(copy, rec->scalefac[c], sizeof copy);
    // The gain can only move within what its 8-bit field holds.
    const int32_t unclamped = rec->global_gain[c];
    rec->global_gain[c] = std::clamp(rec->global_gain[c], mp3enc_gain_min, mp3enc_gain_max);
    bool first = rec->global_gain[c] == unclamped, zeroed = false;
    auto drop_spectrum = [&] {
      std::fill(rec->quantized[c], rec->quantized[c] + 576, 0);
      zeroed = true;
    };
    for (;;) {
      if (!(first && q->effort != 0) && !zeroed) {
        std::memcpy(rec->scalefac[c], copy, sizeof copy);
        mp3enc_quant_bands(ch.active_bands, ch.bounds, ch.spectrum, rec->global_gain[c], ch.block_type,
                           rec->subblock_gain[c], rec->preflag[c], rec->scalefac_scale[c], rec->scalefac[c],
                           rec->quantized[c]);
      }
      first = false;
      int m = 0;
      for (int b = 0; b < ch.active_bands; ++b) {
        int bm = 0;
        for (int i = ch.bounds[b]; i < ch.bounds[b + 1]; ++i) bm = std::max(bm, std::abs(rec->quantized[c][i]));
        rec->band_max[c][b] = bm;
        m = std::max(m, bm);
      }
      for (int b = ch.active_bands; b < 39; ++b) rec->band_max[c][b] = 0;
      if (m >= 8192) {
        if (rec->global_gain[c] < mp3enc_gain_max) {
          ++rec->global_gain[c];
          continue;
        }
        drop_spectrum();
        continue;
      }
      if (is_channel) {
        // The right channel's scalefactors in the intensity region carry the positions; below
        // it, MPEG-1 decoders take every band whose right channel is zero as intensity coded
        // too, so such bands get the illegal position 7 unless the left is zero as well.
        for (int w = 0; w < ch.windows; ++w) {
          const int fb = ch.first_is_band[w];
          for (int b = fb; b < ch.active_bands / ch.windows; ++b)
            rec->scalefac[1][b * ch.windows + w] = an->is_pos[b * ch.windows + w];
          if (q->version == 0)
            for (int b = fb - 1; b >= 0 && rec->band_max[1][b * ch.windows + w] == 0; --b)
              rec->scalefac[1][b * ch.windows + w] = rec->band_max[0][b * ch.windows + w] == 0 ? 0 : 7;
        }
      }
      for (int b = ch.active_bands; b < ch.band_count; ++b) rec->scalefac[c][b] = mp3enc_no_step;
      if (q->version == 0) {
        rec->scalefac_compress[c] =
            mp3enc_scalefac_select_mpeg1(ch.block_type, rec->scalefac[c], rec->sfb_count[c], rec->slen[c]);
      } else {
        int sc = mp3enc_scalefac_select_mpeg2(is_channel, ch.block_type, rec->scalefac[c], rec->preflag[c],
                                              rec->sfb_count[c], rec->slen[c]);
        if (sc < 0) {
          // No case holds these scalefactors: fall back to all-zero scalefactors, which case 0
          // (or 3 with intensity) always holds, and let the gain absorb the difference.
          for (int b = 0; b < 39; ++b) rec->scalefac[c][b] = 0;
          rec->preflag[c] = 0;
          sc = mp3enc_scalefac_select_mpeg2(is_channel, ch.block_type, rec->scalefac[c], 0, rec->sfb_count[c],
                                            rec->slen[c]);
        }
        rec->scalefac_compress[c] = sc;
        // Decoders in use take every position of these bands as a direction, the illegal one
        // too. Under mid/side a zero side channel means a centred sound, which position 0
        // renders as such; left/right keeps the illegal position, which leaves the left alone.
        if (is_channel)
          for (int w = 0; w < ch.windows; ++w)
            for (int b = ch.first_is_band[w] - 1; b >= 0 && rec->band_max[1][b * ch.windows + w] == 0; --b) {
              const int idx = b * ch.windows + w;
              rec->scalefac[1][idx] = an->ms ? 0 : (1 << rec->slen[c][scalefac_part(rec->sfb_count[c], idx)]) - 1;
            }
      }
      rec->block_type[c] = ch.block_type;
      mp3enc_huff_find_regions(q->huff, rec->quantized[c], rec->band_max[c], ch.block_type, ch.active_bands,
                               ch.bounds, &rec->huff[c]);
      rec->part2_3_length[c] = rec->huff[c].huffman_bits +
                               mp3enc_scalefac_bits(rec->scalefac[c], rec->scalefac_compress[c],
                                                    rec->sfb_count[c], rec->slen[c]);
      if (budget[c] <= rec->part2_3_length[c] + R && m > 0) {
        for (int b = 0; b < 39; ++b)
          if (rec->band_max[c][b] == 0) copy[b] = 0;
        // At the ceiling of the gain nothing coarser is left: give up the spectrum.
        if (rec->global_gain[c] < mp3enc_gain_max)
          ++rec->global_gain[c];
        else
          drop_spectrum();
        continue;
      }
      break;
    }
    rec->used_bits += rec->part2_3_length[c];
    given[c] = std::max(0, std::min(budget[c] - rec->part2_3_length[c], R));
    R -= given[c];
  }
  if (nch == 2 && an->is && an->ms && q->version != 0)
    rec->used_bits +=
        centre_zero_side_bands(q->huff, rec, an->ch[0], an->ch[1], budget[1] - rec->part2_3_length[1] - given[1]);
  rec->used_bits += sbr_bits;
  rec->user_anc_bits =
      mp3enc_pack_user_ancillary(user_bytes, rec->user_anc, user_count, (given[0] + given[1]) / 8 - 2);
  rec->used_bits += rec->user_anc_bits;
  mp3enc_bitalloc_set_spent(q->bitalloc, rec->used_bits);
  for (int c = 0; c < nch; ++c)
    for (int b = 0; b < an->ch[c].band_count; ++b)
      if (rec->scalefac[c][b] == mp3enc_no_step) rec->scalefac[c][b] = 0;
  return 0;
}
