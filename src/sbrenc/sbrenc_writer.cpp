#include "mp3enc/bitbuf.h"
#include "sbrenc/sbrenc_encoder.h"

namespace {

int32_t ilog2(int32_t n) {
  int32_t b = 0;
  while ((1 << b) < n) ++b;
  return b;
}

int32_t put(mp3enc_bitbuf* b, int32_t value, int32_t n) {
  return mp3enc_put_bits(b, static_cast<uint32_t>(value) & (n >= 32 ? 0xFFFFFFFFu : ((1u << n) - 1u)), n);
}

int32_t put_code(mp3enc_bitbuf* b, const sbrenc_huff_book* book, int32_t x) {
  const sbrenc_huff_code& c = book->codes[x + book->lav];
  return mp3enc_put_bits(b, c.code, c.length);
}

int32_t element_type(const sbrenc_header_timer* t, int32_t element, int32_t kind) {
  if (t->enable == 0) return 0;
  if (kind != 2) return 1;
  if (element == 1) return t->send ? 0x58 : 0x38;
  return t->send ? 0x88 : 0x68;
}

int32_t sbrenc_write_header(const sbrenc_header* h, const sbrenc_header_timer* t, sbrenc_output* o, int32_t element,
                            int32_t kind) {
  o->element_type = element_type(t, element, kind);
  if (!t->send) return o->header_bits = 0;
  mp3enc_bitbuf* b = o->bits;
  int32_t n = 0;
  n += put(b, h->field0, 2);
  n += put(b, h->amp_res, 1);
  n += put(b, h->start_index, 4);
  n += put(b, h->stop_index, 4);
  n += put(b, h->crossover_index, 3);
  if (kind == 2) {
    n += put(b, 0, 2);
    n += put(b, h->channel_value_flag, 1);
  }
  n += put(b, h->extra1, 1);
  n += put(b, h->extra2, 1);
  if (kind == 2 && element == 1) n += put(b, h->level_class, 2);
  if (h->extra1) {
    n += put(b, h->freq_scale, 2);
    n += put(b, h->alter_scale, 1);
    n += put(b, h->noise_bands, 2);
  }
  if (h->extra2) {
    n += put(b, h->limiter_bands, 2);
    n += put(b, h->limiter_gains, 2);
    n += put(b, h->interp_freq, 1);
    n += put(b, h->smoothing_mode, 1);
    n += put(b, 0, 1);
  }
  return o->header_bits = n;
}

int32_t sbrenc_write_grid(mp3enc_bitbuf* b, const sbrenc_grid_code* g, const sbrenc_channel* ch) {
  int32_t n = put(b, g->frame_class, 2);
  switch (g->frame_class) {
    case 0:
      n += put(b, ilog2(g->fixed_envelopes), 2);
      n += put(b, ch->freq_res_fixed, 1);
      break;
    case 1:
    case 2:
      n += put(b, g->frame_class == 1 ? g->var_border - (g->first_slot + g->slots) : g->var_border - g->first_slot, 3);
      n += put(b, g->n_rel, 2);
      for (int32_t k = 0; k < g->n_rel; ++k) n += put(b, (g->rel[k] - 2) / 2, 2);
      n += put(b, g->pointer, ilog2(g->n_rel + 2));
      for (int32_t k = 0; k <= g->n_rel; ++k) n += put(b, g->res[k], 1);
      break;
    default:
      n += put(b, g->lead_border - g->first_slot, 3);
      n += put(b, g->trail_border - (g->first_slot + g->slots), 3);
      n += put(b, g->n_lead, 2);
      n += put(b, g->n_trail, 2);
      for (int32_t k = 0; k < g->n_lead; ++k) n += put(b, (g->lead_rel[k] - 2) / 2, 2);
      for (int32_t k = 0; k < g->n_trail; ++k) n += put(b, (g->trail_rel[k] - 2) / 2, 2);
      n += put(b, g->pointer, ilog2(g->n_lead + g->n_trail + 2));
      for (int32_t k = 0; k <= g->n_lead + g->n_trail; ++k) n += put(b, g->res_vv[k], 1);
      break;
  }
  return n;
}

int32_t sbrenc_write_zero_bit(mp3enc_bitbuf* b) { return put(b, 0, 1); }

int32_t noise_envelopes(const sbrenc_channel* ch) { return ch->envelopes > 1 ? 2 : 1; }

int32_t write_directions(mp3enc_bitbuf* b, const sbrenc_channel* ch) {
  int32_t n = 0;
  for (int32_t e = 0; e < ch->envelopes; ++e) n += put(b, ch->env_dir[e], 1);
  for (int32_t q = 0; q < noise_envelopes(ch); ++q) n += put(b, ch->noise_dir[q], 1);
  return n;
}

int32_t write_envelope_values(mp3enc_bitbuf* b, const sbrenc_channel* ch, bool coupled) {
  const bool bal = coupled && ch->balance;
  const sbrenc_huff_book* tb = bal ? ch->books.t_env_bal : ch->books.t_env;
  const sbrenc_huff_book* fb = bal ? ch->books.f_env_bal : ch->books.f_env;
  const int32_t width = bal ? ch->books.env_width_balance : ch->books.env_width_level;
  int32_t n = 0;
  for (int32_t e = 0; e < ch->envelopes; ++e) {
    const int32_t* v = ch->envelope + 48 * e;
    if (ch->env_dir[e] == 0) {
      n += put(b, v[0], width);
      for (int32_t j = 1; j < ch->band_count[e]; ++j) n += put_code(b, fb, v[j]);
    } else {
      for (int32_t j = 0; j < ch->band_count[e]; ++j) n += put_code(b, tb, v[j]);
    }
  }
  return n;
}

// Noise-floor values.
int32_t sbrenc_write_envelope(mp3enc_bitbuf* b, const sbrenc_channel* ch, bool coupled) {
  const bool bal = coupled && ch->balance;
  const int32_t nb = ch->noise_bands;
  int32_t n = 0;
  for (int32_t q = 0; q < noise_envelopes(ch); ++q) {
    const int32_t* x = ch->noise + q * nb;
    if (ch->noise_dir[q] == 0) {
      n += put(b, x[0], bal ? ch->books.noise_width_balance : ch->books.noise_width_level);
      for (int32_t j = 1; j < nb; ++j) n += put_code(b, bal ? ch->books.f_noise_bal : ch->books.f_noise, x[j]);
    } else if (ch->noise_dir[q] == 1) {
      for (int32_t j = 0; j < nb; ++j) n += put_code(b, bal ? ch->books.t_noise_bal : ch->books.t_noise, x[j]);
    }
  }
  return n;
}

// The tone tracks found in the previous frame.
int32_t write_extension(mp3enc_bitbuf* b, const sbrenc_channel* ch) {
  const sbrenc_tone_state* x = ch->tone;
  if (!x || x->copy_count == 0) return put(b, 0, 1);
  int32_t n = put(b, 1, 1);
  n += put(b, x->copy_count - 1, 2);
  for (int32_t i = 0; i < x->copy_count; ++i) {
    const sbrenc_tone_track& t = x->copy[i];
    n += put(b, t.start, 6);
    n += put(b, t.bands - 1, 2);
    n += put(b, t.span + 1 - t.half, 2);
    n += put(b, t.continuation, 1);
    for (int32_t r = 0; r < t.bands; ++r) {
      const int32_t* row = t.rows[r];
      n += put(b, row[0] - 4, 1);
      n += put(b, row[1], 5);
      int32_t j = 0;
      for (int32_t h = 0; h < t.span; ++h)
        for (int32_t v = 0; v < x->half_slots[t.half + h]; ++v, ++j) {
          const int32_t q = row[2 + j];
          n += put(b, q < 0 ? -q : q, row[0] - 1);
          if (q != 0) n += put(b, q < 0 ? 1 : 0, 1);
        }
    }
  }
  return n;
}

int32_t sbrenc_write_data(sbrenc_encoder* enc, sbrenc_output* o, int32_t element, int32_t kind) {
  mp3enc_bitbuf* b = o->bits;
  const sbrenc_header* h = enc->header;
  int32_t n = 0;
  if (kind == 2) n += put(b, h->dual_rate, 1);
  if (element == 1) {
    const sbrenc_channel* ch = enc->channel[0];
    if (kind == 2) n += put(b, h->level_detector, 1);
    n += sbrenc_write_grid(b, ch->grid_code, ch);
    n += write_directions(b, ch);
    if (kind == 2) {
      n += put(b, ch->invf_level, 2);
      n += put(b, ch->word20, 2);
      if (h->channel_value_flag) n += put(b, ch->channel_value, 3);
    }
    n += write_envelope_values(b, ch, false);
    n += sbrenc_write_envelope(b, ch, false);
    if (kind == 2) n += write_extension(b, ch);
    n += sbrenc_write_zero_bit(b);
  } else {
    const sbrenc_channel* c0 = enc->channel[0];
    const sbrenc_channel* c1 = enc->channel[1];
    n += put(b, h->coupled, 1);
    if (!h->coupled) {
      n += sbrenc_write_grid(b, c0->grid_code, c0);
      n += sbrenc_write_grid(b, c1->grid_code, c1);
      n += write_directions(b, c0);
      n += write_directions(b, c1);
      if (kind == 2) {
        n += put(b, c0->invf_level, 2);
        n += put(b, c1->invf_level, 2);
        n += put(b, c0->word20, 2);
        n += put(b, c1->word20, 2);
        if (h->channel_value_flag) {
          n += put(b, c0->channel_value, 3);
          n += put(b, c1->channel_value, 3);
        }
      }
      n += write_envelope_values(b, c0, false);
      n += write_envelope_values(b, c1, false);
      n += sbrenc_write_envelope(b, c0, false);
      n += sbrenc_write_envelope(b, c1, false);
      if (kind == 2) {
        n += write_extension(b, c0);
        n += write_extension(b, c1);
        n += sbrenc_write_zero_bit(b);
        n += sbrenc_write_zero_bit(b);
      }
    } else {
      n += sbrenc_write_grid(b, c0->grid_code, c0);
      n += write_directions(b, c0);
      n += write_directions(b, c1);
      if (kind == 2) {
        n += put(b, c0->invf_level, 2);
        n += put(b, c0->word20, 2);
        if (h->channel_value_flag) n += put(b, c0->channel_value, 3);
      }
      n += write_envelope_values(b, c0, true);
      n += sbrenc_write_envelope(b, c0, true);
      n += write_envelope_values(b, c1, true);
      n += sbrenc_write_envelope(b, c1, true);
      if (kind == 2) {
        n += write_extension(b, c0);
        n += sbrenc_write_zero_bit(b);
      }
    }
  }
  o->data_bits = n;
  return n;
}

int32_t write_element(sbrenc_encoder* enc, sbrenc_output* o, int32_t element, int32_t kind) {
  o->header_bits = o->element_type = o->data_bits = 0;
  if (!enc->channel[0] || (element == 2 && !enc->channel[1])) return 0;
  // The header's bits go out before the data's.
  int32_t n = sbrenc_write_header(enc->header, enc->timer, o, element, kind);
  n += sbrenc_write_data(enc, o, element, kind);
  if (sbrenc_write_report && o->bits) sbrenc_write_report(enc, o, element);
  return n;
}
}  // namespace

void (*sbrenc_write_report)(const sbrenc_encoder*, const sbrenc_output*, int32_t) = nullptr;

int32_t sbrenc_write_single(sbrenc_encoder* enc, sbrenc_output* o, int32_t kind) { return write_element(enc, o, 1, kind); }

int32_t sbrenc_write_pair(sbrenc_encoder* enc, sbrenc_output* o, int32_t kind) { return write_element(enc, o, 2, kind); }

int32_t sbrenc_count_pair(sbrenc_encoder* enc, sbrenc_output* o, int32_t kind) {
  mp3enc_bitbuf* keep = o->bits;
  const int32_t h = o->header_bits, e = o->element_type, d = o->data_bits;
  o->bits = nullptr;
  const int32_t n = sbrenc_write_pair(enc, o, kind);
  o->bits = keep;
  o->header_bits = h;
  o->element_type = e;
  o->data_bits = d;
  return n;
}
