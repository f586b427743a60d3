#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "sbrenc/sbrenc_encoder.h"
#include "sbrenc/sbrenc_envelope.h"

namespace {
constexpr int32_t kind = 2;
constexpr int32_t env_room = sbrenc_max_envelopes * 48;

bool same_grid(const sbrenc_grid_info* a, const sbrenc_grid_info* b) {
  if (a->envelopes != b->envelopes || a->transient_env != b->transient_env) return false;
  for (int32_t i = 0; i <= a->envelopes; ++i)
    if (a->borders[i] != b->borders[i]) return false;
  for (int32_t i = 0; i < a->envelopes; ++i)
    if (a->freq_res[i] != b->freq_res[i]) return false;
  return true;
}

// Moves the energy rows on by one frame: this frame's rows become the previous frame's.
void advance_buffers(sbrenc_subband_buffer* b) {
  for (int32_t i = 0; i < b->carried_energy; ++i) std::swap(b->energy[i], b->energy[i + b->rows]);
}

int32_t ceilq(float x) { return x > 30.0f ? 30 : static_cast<int32_t>(std::ceil(x)); }

void quantise_noise(const float* nf, int32_t* qn) {
  for (int32_t i = 0; i < 10; ++i) qn[i] = ceilq(nf[i]);
}

void quantise_noise_coupled(const float* nf0, const float* nf1, int32_t* level, int32_t* balance) {
  static const int32_t steps[5] = {0, 2, 4, 8, 12};
  for (int32_t i = 0; i < 10; ++i) {
    const double a0 = std::pow(2.0, 6.0 + nf0[i]);
    const double a1 = std::pow(2.0, 6.0 + nf1[i]);
    const double lv = std::log((a0 + a1) * 0.5) * 1.4426950216293335 - 6.0;
    const double bv = std::log(a0 / a1) * 1.4426950216293335;
    level[i] = ceilq(static_cast<float>(lv));
    const int32_t b = std::max(-30, ceilq(static_cast<float>(bv)));
    const int32_t s = b > 0 ? 1 : -1;
    int32_t best = steps[0];
    for (int32_t k = 1; k < 5; ++k)
      if (std::abs(steps[k] - s * b) < std::abs(best - s * b)) best = steps[k];
    balance[i] = s * best + 12;
  }
}

bool all_zero(const int32_t* v, const sbrenc_channel* ch) {
  int32_t n = 0;
  for (int32_t e = 0; e < ch->envelopes; ++e) n += ch->band_count[e];
  for (int32_t i = 0; i < n; ++i)
    if (v[i] != 0) return false;
  return true;
}

// What the trial coding of a channel pair saves and restores.
struct coder_state {
  int32_t env_prev[48], noise_prev[48];
  int32_t env_update, noise_update;
  int32_t env_dir[sbrenc_max_envelopes], noise_dir[2];
};

void save(const sbrenc_channel* ch, coder_state* s) {
  std::memcpy(s->env_prev, ch->env_coder->prev, sizeof s->env_prev);
  std::memcpy(s->noise_prev, ch->noise_coder->prev, sizeof s->noise_prev);
  s->env_update = ch->env_coder->update;
  s->noise_update = ch->noise_coder->update;
  std::memcpy(s->env_dir, ch->env_dir, sizeof s->env_dir);
  std::memcpy(s->noise_dir, ch->noise_dir, sizeof s->noise_dir);
}

void restore(sbrenc_channel* ch, const coder_state* s) {
  std::memcpy(ch->env_coder->prev, s->env_prev, sizeof s->env_prev);
  std::memcpy(ch->noise_coder->prev, s->noise_prev, sizeof s->noise_prev);
  ch->env_coder->update = s->env_update;
  ch->noise_coder->update = s->noise_update;
  std::memcpy(ch->env_dir, s->env_dir, sizeof s->env_dir);
  std::memcpy(ch->noise_dir, s->noise_dir, sizeof s->noise_dir);
}

void clear_across(sbrenc_channel* ch) { ch->env_coder->update = ch->noise_coder->update = 0; }

// Codes one channel's envelope and noise values in place and hands them to the channel.
void code_channel(sbrenc_channel* ch, const sbrenc_grid_info* grid, int32_t* env, int32_t* qn, int32_t coupling,
                  int32_t balance, int32_t header) {
  static const int32_t high_res[2] = {1, 1};
  std::memcpy(ch->quantised_envelope, env, sizeof ch->quantised_envelope);
  std::memcpy(ch->quantised_noise, qn, sizeof ch->quantised_noise);
  sbrenc_code_envelope(qn, high_res, ch->noise_coder, ch->noise_dir, coupling, grid->envelopes > 1 ? 2 : 1, balance,
                       header);
  sbrenc_code_envelope(env, grid->freq_res, ch->env_coder, ch->env_dir, coupling, grid->envelopes, balance, header);
  ch->balance = balance;
  int32_t i = 0;
  for (int32_t e = 0; e < grid->envelopes; ++e)
    for (int32_t b = 0; b < ch->band_count[e]; ++b) ch->envelope[48 * e + b] = env[i++];
  std::memcpy(ch->noise, qn, 10 * sizeof(int32_t));
}

struct pair_values {
  int32_t env[2][env_room];
  int32_t qn[2][10];
};
}  // namespace

void sbrenc_extract_and_write(const float* input, sbrenc_encoder* enc, int32_t stereo_mode, sbrenc_output* o) {
  sbrenc_settings* s = enc->settings;
  sbrenc_header* h = enc->header;
  sbrenc_header_timer* timer = enc->timer;
  const int32_t nc = enc->coded;
  int32_t trans[2][2] = {{0, 0}, {0, 0}};
  float nf[2][20] = {};

  for (int32_t c = 0; c < enc->analysed; ++c) {
    sbrenc_channel* ch = enc->channel[c];
    sbrenc_subband_buffer* b = ch->buffer;
    sbrenc_cplx_analysis(input + c, enc->stride, b->real + b->subband_start, b->imag + b->subband_start, ch->qmf);
  }
  for (int32_t c = 0; c < nc; ++c) {
    sbrenc_channel* ch = enc->channel[c];
    sbrenc_subband_buffer* b = ch->buffer;
    sbrenc_subband_energy(b->energy + b->carried_energy, b->real, b->imag, b->bands, b->rows);
    if (s->tone_tracker && ch->tone)
      sbrenc_tone_tracker(ch->tone, b->real, b->imag, b->energy + b->carried_energy, b->bands, b->rows);
    sbrenc_tonality_estimate(&ch->tonality->rec, b->real, b->imag);
    sbrenc_find_transient(b->energy, ch->transient, trans[c], 2);
    sbrenc_frame_split(b->energy, ch->transient, s->high, s->high_count, 2, 18, trans[c]);
  }

  if (stereo_mode == 2) {
    int32_t p;
    if (trans[0][1] && trans[1][1])
      p = std::min(trans[0][0], trans[1][0]);
    else if (trans[0][1])
      p = trans[0][0];
    else if (trans[1][1])
      p = trans[1][0];
    else
      p = std::max(trans[0][0], trans[1][0]);
    trans[0][0] = trans[1][0] = p;
  }

  const sbrenc_grid_info* grid[2] = {nullptr, nullptr};
  grid[0] = sbrenc_frame_info(enc->channel[0]->grid, trans[0], kind);
  enc->channel[0]->grid_code = enc->channel[0]->grid->code;
  if (nc == 2) {
    if (stereo_mode == 2) {
      grid[1] = grid[0];
      enc->channel[1]->grid_code = enc->channel[0]->grid->code;
    } else {
      grid[1] = sbrenc_frame_info(enc->channel[1]->grid, trans[1], kind);
      enc->channel[1]->grid_code = enc->channel[1]->grid->code;
      if (stereo_mode == 3 && !same_grid(grid[0], grid[1])) stereo_mode = 1;
    }
  }

  for (int32_t c = 0; c < nc; ++c) {
    sbrenc_channel* ch = enc->channel[c];
    ch->buffer->transient[0] = trans[c][0];
    ch->buffer->transient[1] = trans[c][1];
    ch->envelopes = grid[c]->envelopes;
    if (h->amp_res != ch->books.amp_res) {
      sbrenc_select_huffman(&ch->books, ch->env_coder, ch->noise_coder, h->amp_res);
      timer->send = 1;
    }
    ch->amp_res = h->amp_res;
    sbrenc_band_detectors(ch->tonality, ch->invf_levels, nf[c], grid[c], trans[c], kind);
    ch->invf_level = ch->invf_levels[0];
    ch->noise_bands = ch->tonality->noise->band_count;
    for (int32_t e = 0; e < grid[c]->envelopes; ++e)
      ch->band_count[e] = grid[c]->freq_res[e] ? s->high_count : s->low_count;
  }

  static thread_local pair_values lr, cp;
  float max_err = 0.0f;
  const float* const* e0 = enc->channel[0]->buffer->energy;
  const float* const* e1 = nc == 2 ? enc->channel[1]->buffer->energy : nullptr;
  switch (stereo_mode) {
    case 0:
      sbrenc_calc_envelope(e0, nullptr, grid[0], lr.env[0], nullptr, s, enc->channel[0], 0, nullptr);
      break;
    case 1:
      sbrenc_calc_envelope(e0, nullptr, grid[0], lr.env[0], nullptr, s, enc->channel[0], 0, nullptr);
      sbrenc_calc_envelope(e1, nullptr, grid[1], lr.env[1], nullptr, s, enc->channel[1], 0, nullptr);
      break;
    case 2:
      sbrenc_calc_envelope(e0, e1, grid[0], cp.env[0], cp.env[1], s, enc->channel[0], 2, &max_err);
      break;
    default:
      sbrenc_calc_envelope(e0, nullptr, grid[0], lr.env[0], nullptr, s, enc->channel[0], 0, nullptr);
      sbrenc_calc_envelope(e1, nullptr, grid[1], lr.env[1], nullptr, s, enc->channel[1], 0, nullptr);
      sbrenc_calc_envelope(e0, e1, grid[0], cp.env[0], cp.env[1], s, enc->channel[0], 2, &max_err);
      break;
  }

  if (stereo_mode == 3) {
    const float f = h->amp_res != 0 ? 1.5f : 3.0f;
    const bool z0 = all_zero(lr.env[0], enc->channel[0]), z1 = all_zero(lr.env[1], enc->channel[1]);
    if (max_err * f > 20.0f || z0 != z1) {
      for (int32_t c = 0; c < 2; ++c) clear_across(enc->channel[c]);
      stereo_mode = 1;
    }
  }

  if (stereo_mode == 0 || stereo_mode == 1 || stereo_mode == 3)
    for (int32_t c = 0; c < nc; ++c) quantise_noise(nf[c], lr.qn[c]);
  if (stereo_mode == 2 || stereo_mode == 3) quantise_noise_coupled(nf[0], nf[1], cp.qn[0], cp.qn[1]);

  const int32_t header = timer->send;
  switch (stereo_mode) {
    case 0:
      h->coupled = 0;
      code_channel(enc->channel[0], grid[0], lr.env[0], lr.qn[0], 0, 0, header);
      break;
    case 1:
      h->coupled = 0;
      code_channel(enc->channel[0], grid[0], lr.env[0], lr.qn[0], 0, 0, header);
      code_channel(enc->channel[1], grid[1], lr.env[1], lr.qn[1], 0, 0, header);
      break;
    case 2:
      h->coupled = 1;
      code_channel(enc->channel[0], grid[0], cp.env[0], cp.qn[0], 1, 0, header);
      code_channel(enc->channel[1], grid[0], cp.env[1], cp.qn[1], 1, 1, header);
      break;
    default: {
      sbrenc_channel* c0 = enc->channel[0];
      sbrenc_channel* c1 = enc->channel[1];
      coder_state before[2], after_lr[2];
      save(c0, &before[0]);
      save(c1, &before[1]);
      if (h->prev_coupled) {
        clear_across(c0);
        clear_across(c1);
      }
      static thread_local pair_values lr_coded;
      lr_coded = lr;
      h->coupled = 0;
      code_channel(c0, grid[0], lr_coded.env[0], lr_coded.qn[0], 0, 0, header);
      code_channel(c1, grid[1], lr_coded.env[1], lr_coded.qn[1], 0, 0, header);
      const int32_t bits_lr = sbrenc_count_pair(enc, o, kind);
      save(c0, &after_lr[0]);
      save(c1, &after_lr[1]);
      restore(c0, &before[0]);
      restore(c1, &before[1]);
      if (!h->prev_coupled) {
        clear_across(c0);
        clear_across(c1);
      }
      h->coupled = 1;
      code_channel(c0, grid[0], cp.env[0], cp.qn[0], 1, 0, header);
      code_channel(c1, grid[0], cp.env[1], cp.qn[1], 1, 1, header);
      const int32_t bits_c = sbrenc_count_pair(enc, o, kind);
      if (bits_c >= bits_lr) {
        restore(c0, &after_lr[0]);
        restore(c1, &after_lr[1]);
        h->coupled = 0;
        for (int32_t c = 0; c < 2; ++c) {
          sbrenc_channel* ch = enc->channel[c];
          int32_t i = 0;
          for (int32_t e = 0; e < grid[c]->envelopes; ++e)
            for (int32_t b = 0; b < ch->band_count[e]; ++b) ch->envelope[48 * e + b] = lr_coded.env[c][i++];
          std::memcpy(ch->noise, lr_coded.qn[c], 10 * sizeof(int32_t));
          std::memcpy(ch->quantised_envelope, lr.env[c], sizeof ch->quantised_envelope);
          std::memcpy(ch->quantised_noise, lr.qn[c], sizeof ch->quantised_noise);
          ch->balance = 0;
        }
      }
      break;
    }
  }

  // A payload the ancillary block cannot carry is counted, not written, and left out.
  mp3enc_bitbuf* ring = o->bits;
  o->bits = nullptr;
  const int32_t need = nc == 2 ? sbrenc_write_pair(enc, o, kind) : sbrenc_write_single(enc, o, kind);
  o->bits = ring;
  if (need > enc->payload_limit)
    sbrenc_drop_payload(enc, o);
  else if (nc == 2)
    sbrenc_write_pair(enc, o, kind);
  else
    sbrenc_write_single(enc, o, kind);

  for (int32_t c = 0; c < nc; ++c) advance_buffers(enc->channel[c]->buffer);
  h->prev_coupled = h->coupled;
}
