#include <algorithm>
#include <cstring>
#include <utility>

#include "sbrenc/sbrenc_encoder.h"

namespace {
constexpr int32_t kind = 2;

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
}  // namespace

void sbrenc_extract_and_write(const float* input, sbrenc_encoder* enc, int32_t stereo_mode, sbrenc_output* o) {
  sbrenc_settings* s = enc->settings;
  sbrenc_header* h = enc->header;
  const int32_t nc = enc->coded;
  int32_t trans[2][2] = {{0, 0}, {0, 0}};

  for (int32_t c = 0; c < enc->analysed; ++c) {
    sbrenc_channel* ch = enc->channel[c];
    sbrenc_subband_buffer* b = ch->buffer;
    sbrenc_cplx_analysis(input + c, enc->stride, b->real + b->subband_start, b->imag + b->subband_start, ch->qmf);
  }
  for (int32_t c = 0; c < nc; ++c) {
    sbrenc_channel* ch = enc->channel[c];
    sbrenc_subband_buffer* b = ch->buffer;
    sbrenc_subband_energy(b->energy + b->carried_energy, b->real, b->imag, b->bands, b->rows);
    sbrenc_tonality_estimate(&ch->tonality->rec, b->real, b->imag);
    // The transient and split detectors come with the second stage; until then every
    // frame is stationary and unsplit.
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
    ch->invf_level = ch->invf_levels[0];
    ch->noise_bands = ch->tonality->noise->band_count;
    for (int32_t e = 0; e < grid[c]->envelopes; ++e)
      ch->band_count[e] = grid[c]->freq_res[e] ? s->high_count : s->low_count;
  }

  // Estimation, coding and the payload come with the second stage: no SBR block yet.
  o->header_bits = 0;
  o->element_type = 0;
  o->data_bits = 0;
  h->coupled = 0;

  for (int32_t c = 0; c < nc; ++c) advance_buffers(enc->channel[c]->buffer);
  h->prev_coupled = h->coupled;
}
