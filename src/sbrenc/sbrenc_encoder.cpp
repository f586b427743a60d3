#include "sbrenc/sbrenc_encoder.h"

#include <algorithm>
#include <cstdlib>

#include "mp3enc/bitbuf.h"
#include "sbrenc/sbrenc_bands.h"

namespace {
constexpr int32_t bands = 64;
constexpr int32_t slots = 18;
constexpr int32_t grid_slots = 9;

template <typename T>
T* zalloc(size_t n = 1) {
  return static_cast<T*>(std::calloc(n, sizeof(T)));
}

void free_settings(sbrenc_settings* s) {
  if (!s) return;
  std::free(s->low);
  std::free(s->high);
  std::free(s->master);
  std::free(s);
}

const int32_t* const* table_pair(const sbrenc_settings* s, const int32_t* (&pair)[2], int32_t (&counts)[2]) {
  pair[0] = s->low;
  pair[1] = s->high;
  counts[0] = s->low_count;
  counts[1] = s->high_count;
  return pair;
}
}  // namespace

const mp3enc_error* sbrenc_update_band_tables(sbrenc_settings* s, sbrenc_header* h, int32_t band_count,
                                              int32_t rebuild_master) {
  if (rebuild_master) {
    int32_t k0, k2;
    if (const mp3enc_error* e =
            sbrenc_band_limits(s->sbr_rate, band_count, h->start_index, h->stop_index, h->dual_rate, &k0, &k2))
      return e;
    if (const mp3enc_error* e = sbrenc_master_table(s->master, &s->master_count, k0, k2, h->freq_scale, h->alter_scale))
      return e;
    h->crossover_index = 0;
  }
  sbrenc_high_table(s->high, &s->high_count, s->master, s->master_count, &h->crossover_index, h->dual_rate,
                    band_count);
  sbrenc_low_table(s->low, &s->low_count, s->high, s->high_count);
  s->crossover_hz = static_cast<float>(s->sbr_rate) * (static_cast<float>(s->low[0]) * 0.5f) * (1.0f / 64.0f);
  return nullptr;
}

const mp3enc_error* sbrenc_create_parts(sbrenc_settings* s, sbrenc_header* h, sbrenc_channel** out,
                                        const sbrenc_config* r) {
  *out = nullptr;
  auto* ch = zalloc<sbrenc_channel>();
  if (!ch) return mp3enc_generic_error();
  ch->freq_res_fixed = r->freq_res_fixed;
  if (r->channel_word20 == 4) {
    s->channel_word20_is4 = 1;
    ch->word20 = 0;
  } else {
    ch->word20 = r->channel_word20;
    s->channel_word20_is4 = 0;
  }
  ch->channel_value = r->channel_value;

  const mp3enc_error* e = sbrenc_qmf_create(&ch->qmf, 0, s->frame_length);
  if (!e && r->frame_length != 1152) e = mp3enc_generic_error();
  if (!e) e = sbrenc_subband_buffer_create(&ch->buffer, slots, bands, 576, grid_slots, slots / grid_slots, s);
  if (!e) {
    const int32_t* pair[2];
    int32_t counts[2];
    e = sbrenc_tonality_set_create(&ch->tonality, s->frame_length, grid_slots, ch->qmf->slots, s->delay_a,
                                   s->sbr_rate, bands, r->channel_value, s->low[0], s->master, s->master_count,
                                   r->noise_scale, table_pair(s, pair, counts), counts, h->noise_bands,
                                   r->band_scales, s->spare, r->detector_flag, s->kind);
  }
  if (!e) {
    ch->invf_level = 2;
    ch->tonality->invf_switch = 1;
    ch->noise_bands = ch->tonality->noise->band_count;
    ch->amp_res = h->amp_res;
    ch->high_count = s->high_count;
    const int32_t env_counts[2] = {s->low_count, s->high_count};
    const int32_t noise_counts[2] = {ch->noise_bands, ch->noise_bands};
    e = sbrenc_delta_coder_create(&ch->env_coder, env_counts, r->across_frames);
    if (!e) e = sbrenc_delta_coder_create(&ch->noise_coder, noise_counts, r->across_frames);
  }
  if (!e) e = sbrenc_select_huffman(&ch->books, ch->env_coder, ch->noise_coder, h->amp_res);
  if (!e && s->tone_tracker)
    e = sbrenc_tone_tracker_create(&ch->tone, bands, slots, s->low[0], r->channels > 0 ? r->bit_rate / r->channels : 0,
                                   s->kind);
  if (!e)
    e = sbrenc_grid_create(&ch->grid, r->spreading, 1 << r->static_env_log2, r->static_framing, r->filler_res_before,
                           r->filler_res_after, grid_slots, r->freq_res_fixed);
  if (!e) {
    const float f_stop = r->stop_freq_override != 0
                             ? static_cast<float>(r->stop_freq_override)
                             : static_cast<float>(sbrenc_stop_freq_hz(h->stop_index, bands, s->sbr_rate));
    const int32_t k = std::min(64, static_cast<int32_t>(f_stop * 2.0f * 64.0f / static_cast<float>(s->sbr_rate) + 0.5f));
    const float ratio = r->bit_rate > 0 ? static_cast<float>(r->ref_bit_rate * r->channels) / static_cast<float>(r->bit_rate)
                                        : 1.0f;
    e = sbrenc_transient_state_create(&ch->transient, s->frame_length, s->sbr_rate, ratio, r->trans_abs_threshold, k,
                                      r->trans_rel_threshold, slots, bands, ch->grid->offset * 2, 2 * slots);
  }
  if (e) {
    sbrenc_channel_free(&ch);
    return e;
  }
  s->channel_value = r->channel_value;
  *out = ch;
  return nullptr;
}

void sbrenc_channel_free(sbrenc_channel** slot) {
  if (!slot || !*slot) return;
  sbrenc_channel* ch = *slot;
  sbrenc_grid_free(ch->grid);
  sbrenc_qmf_free(&ch->qmf);
  sbrenc_delta_coder_free(ch->env_coder);
  sbrenc_delta_coder_free(ch->noise_coder);
  sbrenc_tone_tracker_free(ch->tone);
  sbrenc_transient_state_free(ch->transient);
  sbrenc_subband_buffer_free(ch->buffer);
  sbrenc_tonality_set_free(ch->tonality);
  std::free(ch);
  *slot = nullptr;
}

void sbrenc_destroy(sbrenc_encoder* enc) {
  if (!enc) return;
  sbrenc_channel_free(&enc->channel[0]);
  sbrenc_channel_free(&enc->channel[1]);
  sbrenc_level_detector_free(&enc->level_detector);
  free_settings(enc->settings);
  std::free(enc->header);
  std::free(enc->timer);
  std::free(enc);
}

const mp3enc_error* sbrenc_create(sbrenc_encoder** out, const sbrenc_config* r, sbrenc_output* o) {
  *out = nullptr;
  if (r->channels < 1 || r->channels > 2) return mp3enc_generic_error();
  auto* enc = zalloc<sbrenc_encoder>();
  if (!enc) return mp3enc_generic_error();
  enc->timer = zalloc<sbrenc_header_timer>();
  enc->settings = zalloc<sbrenc_settings>();
  enc->header = zalloc<sbrenc_header>();
  if (enc->settings) {
    enc->settings->low = zalloc<int32_t>(25);
    enc->settings->high = zalloc<int32_t>(49);
    enc->settings->master = zalloc<int32_t>(49);
  }
  sbrenc_settings* s = enc->settings;
  sbrenc_header* h = enc->header;
  sbrenc_header_timer* t = enc->timer;
  const mp3enc_error* e = nullptr;
  if (!t || !s || !h || !s->low || !s->high || !s->master) e = mp3enc_generic_error();

  if (!e) {
    s->channels = r->channels;
    s->kind = r->kind;
    s->stereo_mode = r->channels == 2 ? r->stereo_mode : 0;
    s->frame_length = r->frame_length;
    enc->stride = enc->analysed = enc->coded = r->channels;
    if (r->dual_rate == 1) {
      h->dual_rate = 1;
      s->sbr_rate = 2 * r->core_rate;
    } else if (r->dual_rate == 0) {
      h->dual_rate = 0;
      s->sbr_rate = r->core_rate;
    } else {
      e = mp3enc_generic_error();
    }
  }
  if (!e) {
    if (r->mono_downmix != 0 && r->channels == 1) {
      h->level_detector = 1;
      enc->stride = 2;
    }
    t->counter = 0;
    if (r->header_interval <= 0.0f) {
      t->period = 0;
    } else {
      const int32_t p = static_cast<int32_t>(r->header_interval * static_cast<float>(s->sbr_rate) /
                                             static_cast<float>(s->frame_length));
      t->period = p < 1 ? 1 : p;
    }
    t->enable = r->header_enable;
    t->send = 0;

    h->field0 = 0;
    h->amp_res = r->amp_res;
    h->start_index = r->start_index;
    h->stop_index = r->stop_index;
    h->crossover_index = 0;
    h->noise_bands = r->noise_bands;
    h->channel_value_flag = (r->kind == 2 && r->channel_value != 2) ? 1 : r->channel_value_flag;
    h->extra1 = !(r->freq_scale == 2 && r->alter_scale == 1 && r->noise_bands == 2);
    h->extra2 = !(r->limiter_bands == 2 && r->limiter_gains == 2 && r->interp_freq == 1 && r->smoothing_mode == 0);
    h->level_class = 0;
    h->limiter_bands = r->limiter_bands;
    h->limiter_gains = r->limiter_gains;
    h->interp_freq = r->interp_freq;
    h->smoothing_mode = r->smoothing_mode;
    h->alter_scale = r->alter_scale;
    h->freq_scale = r->freq_scale;
    s->tone_tracker = r->tone_tracker;
    s->spare = r->spare11;
    e = sbrenc_update_band_tables(s, h, bands, 1);
  }
  for (int32_t c = 0; !e && c < r->channels; ++c) e = sbrenc_create_parts(s, h, &enc->channel[c], r);
  if (!e && r->mono_downmix != 0 && r->channels == 1)
    e = sbrenc_level_detector_create(&enc->level_detector, s->sbr_rate, s->frame_length,
                                     enc->channel[0]->qmf->window_length - enc->channel[0]->qmf->bands);
  if (e) {
    sbrenc_destroy(enc);
    return e;
  }
  o->crossover_hz = o->requested_crossover_hz = s->crossover_hz;
  o->crossover_may_change = r->crossover_change_a != 0 && r->crossover_change_b != 0;
  o->channels = enc->coded;
  s->crossover_current = s->crossover_hz;
  enc->payload_limit = sbrenc_max_payload_bits;
  *out = enc;
  return nullptr;
}

float sbrenc_stop_frequency(const sbrenc_encoder* enc) {
  const int32_t qmf_bands = enc->channel[0] ? enc->channel[0]->qmf->bands : bands;
  return static_cast<float>(sbrenc_stop_freq_hz(enc->header->stop_index, qmf_bands, enc->settings->sbr_rate));
}

void sbrenc_drop_payload(sbrenc_encoder* enc, sbrenc_output* o) {
  if (o->bits) mp3enc_bitbuf_reset(o->bits);
  o->header_bits = o->element_type = o->data_bits = 0;
  if (enc) enc->timer->force = 1;
}

int32_t sbrenc_input_stride(const sbrenc_encoder* enc) { return enc->stride; }

void sbrenc_delay_words(const sbrenc_encoder* enc, int32_t out[2]) {
  out[0] = enc->settings->delay_a;
  out[1] = enc->settings->delay_b;
}

const mp3enc_error* sbrenc_encode_frame(sbrenc_encoder* enc, sbrenc_output* o, const float* input) {
  if (!enc) return nullptr;
  sbrenc_settings* s = enc->settings;
  sbrenc_header* h = enc->header;
  sbrenc_header_timer* t = enc->timer;

  t->send = (t->counter == 0 || t->force) ? 1 : 0;
  t->force = 0;
  t->counter = t->period == 0 ? 1 : (t->counter + 1) % t->period;

  if (o->crossover_may_change) {
    if (s->kind != 2) return mp3enc_generic_error();
    if (o->requested_crossover_hz != s->crossover_current) {
      const int32_t target = static_cast<int32_t>(2.0f * o->requested_crossover_hz * 64.0f /
                                                  static_cast<float>(s->sbr_rate) + 0.5f);
      int32_t index = s->master_count;
      for (int32_t i = 0; i < s->master_count; ++i)
        if (s->master[i] == target) {
          index = i;
          break;
        }
      // The header carries the index in three bits: an unmatched request or an index the
      // field cannot hold keeps the crossover in force.
      if (index < s->master_count && index <= 7) {
        s->crossover_current = o->requested_crossover_hz;
        h->crossover_index = index;
        t->send = 1;
        if (const mp3enc_error* e = sbrenc_update_band_tables(s, h, bands, 0)) return e;
        for (int32_t c = 0; c < enc->coded; ++c) {
          sbrenc_channel* ch = enc->channel[c];
          ch->tonality->noise->bands_per_octave = h->noise_bands;
          const int32_t* pair[2];
          int32_t counts[2];
          if (const mp3enc_error* e =
                  sbrenc_tonality_set_update(ch->tonality, s->channel_value, s->high[0], s->master, s->master_count,
                                             s->sbr_rate, table_pair(s, pair, counts), counts, bands, s->kind))
            return e;
          ch->noise_bands = ch->tonality->noise->band_count;
          ch->high_count = s->high_count;
          sbrenc_delta_coder_set_bands(ch->noise_coder, ch->noise_bands, ch->noise_bands);
          sbrenc_delta_coder_set_bands(ch->env_coder, s->low_count, s->high_count);
          ch->env_coder->update = ch->noise_coder->update = 0;
        }
      }
    }
  }

  if (enc->coded == 1 && enc->level_detector) {
    sbrenc_level_detect(enc->level_detector, input);
    if (enc->level_detector->decision != h->level_class) t->send = 1;
    h->level_class = enc->level_detector->decision;
  }

  sbrenc_extract_and_write(input, enc, s->stereo_mode, o);
  return nullptr;
}
