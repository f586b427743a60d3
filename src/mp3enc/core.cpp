// The core encoder: set-up of its modules, and one granule per call of the frame routine.
#include "mp3enc/core.h"

#include <algorithm>

#include "mp3enc/alloc.h"
#include "mp3enc/ancillary.h"
#include "mp3enc/config.h"
#include "sbrenc/sbrenc.h"

int32_t (*mp3enc_core_room_for_tests)(int32_t, int32_t) = nullptr;

namespace {

float automatic_bandwidth(const mp3enc_core_config& c, int32_t granules, int32_t head_bits) {
  const float half = float(c.rate) / 2.0f;
  if (c.vbr) return float(c.rate) * (c.vbr_quality > 70 ? 0.38f : 0.32f);
  if (c.channels == 1) return std::min(half, 0.182f * float(c.bit_rate) + 1810.0f);
  if (c.bit_rate < 32000) return std::min(half, 0.1125f * float(c.bit_rate) + 1600.0f);
  const int32_t a = int32_t(int64_t(c.bit_rate) * 576 * granules / c.rate) - head_bits;
  const float k = c.rate >= 32000 ? 1.85f : 1.39f;
  return std::min(half, half * (1.0f / 576.0f) * float(a) / (2.0f * float(granules) * k));
}

// The most main-data bits the frame being coded may take: what the reservoir holds plus its
// own slot (with VBR the largest slot, as its size is chosen after coding).
int32_t frame_room(const mp3enc_core* core) {
  const int32_t bits = core->cfg.vbr ? mp3enc_frame_bits(core->frames, 14) : core->frame_bits;
  return mp3enc_framewriter_room(core->writer, bits);
}

// Leaves this frame's SBR block out; the SBR encoder sends a header in the next frame, so
// that a decoder which missed this payload needs nothing from it. Returns the block's bits, 0.
int32_t drop_sbr_block(mp3enc_core* core, sbrenc_output* sbr_out) {
  sbrenc_drop_payload(core->sbr_encoder, sbr_out);
  return mp3enc_sbr_block_size(core->writer, sbr_out);
}

// One granule: the frame's size at its first granule, analysis and coding, the gapless
// block while a length is pending, and the frame itself after its last granule. Nonzero when
// the frame writer refuses the frame.
int encode_granule(mp3enc_core* core, const float* samples, int32_t count, int32_t* pending,
                    int32_t delay, sbrenc_output* sbr_out, uint8_t* out, int32_t out_size,
                    int32_t* produced, const uint8_t* user_bytes, int32_t* user_count) {
  const int32_t channels = core->cfg.channels;
  // The analysis always advances by a whole granule; what the caller did not give is silence.
  std::fill(core->block, core->block + channels * 576, 0.0f);
  if (count > 0) std::copy(samples, samples + count, core->block);
  mp3enc_analysis_push(core->analysis, core->block, channels, channels * 576);

  const int32_t gpf = core->granules_per_frame;
  const int32_t g = core->granule_counter % gpf;
  if (g == 0) {
    core->mode_ext = 0;
    core->used_bits = 0;
    if (!core->cfg.vbr) {
      mp3enc_pacer_next(core->frames);
      core->index = mp3enc_current_index(core->frames);
      core->padding = mp3enc_current_padding(core->frames);
      core->frame_bits = mp3enc_frame_bits(core->frames, core->index) + 8 * core->padding;
      mp3enc_quant_add_bits(core->quant, core->frame_bits - core->head_bits);
      mp3enc_quant_clear_saved(core->quant);
    }
  }
  mp3enc_stereo_prep_granule(core->prep, channels, mp3enc_analysis_input(core->analysis), 576);
  mp3enc_analysis_frame(core->analysis, g, core->result);
  if (channels == 2) core->mode_ext |= (core->result->ms ? 2 : 0) | (core->result->is ? 1 : 0);
  mp3enc_stereo_prep_update(core->result, core->prep);

  mp3enc_granule* rec = core->granules[g];
  const bool gapless = *pending != 0;
  // The SBR encoder fills the payload just before a frame's last granule, and the frame
  // writer puts one block into the frame: that granule alone reserves it. Whether it fits is
  // decided here, before the granule is coded: the granules before it have spent their bits
  // already, and a block left out now gives its bits to this granule instead.
  int32_t sbr_bits = 0;
  if (sbr_out && g == gpf - 1) {
    sbr_bits = mp3enc_sbr_block_size(core->writer, sbr_out);
    int32_t left = frame_room(core) - core->used_bits - (gapless ? 64 : 0);
    if (mp3enc_core_room_for_tests) left = mp3enc_core_room_for_tests(core->granule_counter, left);
    if (sbr_bits > left || sbr_bits > mp3enc_sbr_block_max_bits) sbr_bits = drop_sbr_block(core, sbr_out);
  }
  // While a gapless block waits, the granule keeps room for it instead of user bytes.
  int32_t reserve = 7;
  mp3enc_quant_granule(core->quant, core->result, rec, sbr_bits, user_bytes, gapless ? &reserve : user_count);
  if (gapless) {
    rec->used_bits -= rec->user_anc_bits;
    mp3enc_gapless_block(rec->user_anc, delay, uint32_t(*pending));
    rec->user_anc_bits = 64;
    rec->used_bits += 64;
    *pending = 0;
  }
  core->used_bits += rec->used_bits;
  mp3enc_quant_track_saved(core->quant, rec->used_bits);

  if (g == gpf - 1) {
    // A granule that cannot meet its budget still sends its scalefactors; should that leave
    // no room for the block after all, the block gives way, never the granules.
    if (rec->sbr_bits > 0 && core->used_bits > frame_room(core)) {
      core->used_bits -= rec->sbr_bits;
      rec->used_bits -= rec->sbr_bits;
      rec->sbr_bits = drop_sbr_block(core, sbr_out);
    }
    int32_t index = core->index, padding = core->padding;
    if (core->cfg.vbr) {
      index = mp3enc_index_for_bits(core->frames, core->used_bits - mp3enc_quant_get_bits(core->quant) +
                                                      core->head_bits);
      padding = 0;
    }
    int32_t bytes = 0;
    const int32_t bits = mp3enc_write_frame(core->writer, core->granules, sbr_out, index, padding, core->mode_ext,
                                            out + *produced, out_size - *produced, &bytes);
    if (bits < 0) return 5;
    *produced += bytes;
    mp3enc_quant_add_bits(core->quant, core->head_bits - bits);
    if (core->cfg.vbr) mp3enc_quant_add_bits(core->quant, mp3enc_frame_bits(core->frames, index) - core->head_bits);
    mp3enc_quant_update_sbr_average(core->quant, core->granules, gpf);
  }
  ++core->granule_counter;
  return 0;
}

}  // namespace

mp3enc_core* mp3enc_core_alloc() { return mp3enc_new_record<mp3enc_core>(); }

int mp3enc_core_init(mp3enc_core** out, const mp3enc_core_config* cfg) {
  if (!out) return 1;
  *out = nullptr;
  if (!cfg) return 1;
  const mp3enc_core_config& c = *cfg;
  if (c.channels < 1 || c.channels > 2 || c.channels2 > c.channels || c.vbr_quality < 0 ||
      c.vbr_quality > 100 || !mp3enc_valid_rate(c.rate))
    return 1;
  if (!c.vbr) {
    const bool low = c.rate < 32000;
    if (c.bit_rate / c.channels < 8000 || c.bit_rate < (low ? 8000 : 32000) ||
        c.bit_rate > (low ? 160000 : 320000))
      return 1;
  }
  // A bandwidth the caller could not have meant (negative, not finite) never gets this far.
  if (!(c.bandwidth >= 0.0f && c.bandwidth <= float(c.rate) * 0.5f)) return 1;

  mp3enc_core* core = mp3enc_core_alloc();
  if (!core) return 1;
  core->cfg = c;
  if (c.vbr) core->cfg.bit_rate = 0;
  core->granules_per_frame = c.rate < 32000 ? 1 : 2;
  const int32_t gpf = core->granules_per_frame;

  bool ok = mp3enc_reservoir_create(&core->frames) == 0 &&
            mp3enc_reservoir_setup(core->frames, core->cfg.bit_rate, c.rate, c.padding) == 0;
  const int32_t mode = c.channels == 1 ? 3 : c.joint_off ? 2 : 1;
  const int32_t writer_cfg[7] = {mode, core->cfg.bit_rate, c.rate, c.crc, c.private_bit, c.copyright, c.original};
  ok = ok && mp3enc_framewriter_create(&core->writer) == 0 &&
       mp3enc_framewriter_config(core->writer, writer_cfg) == 0;
  if (ok) {
    core->head_bits = mp3enc_framewriter_head_bits(core->writer);
    if (core->cfg.bandwidth == 0.0f) core->cfg.bandwidth = automatic_bandwidth(core->cfg, gpf, core->head_bits);
  }
  mp3enc_analysis_params ap{c.rate, core->cfg.bit_rate, c.channels, core->cfg.bandwidth,
                            c.intensity_off, c.ms_off, c.joint_off};
  ok = ok && mp3enc_granule_analysis_create(&core->result) == 0 &&
       mp3enc_analysis_create(&core->analysis, &ap) == 0 && mp3enc_analysis_init(core->analysis, &ap) == 0;
  ok = ok && mp3enc_stereo_prep_create(&core->prep, c.channels, core->cfg.bit_rate, c.rate, c.stereo_prep) == 0;
  for (int g = 0; ok && g < gpf; ++g) ok = mp3enc_granule_create(&core->granules[g]) == 0;
  ok = ok && mp3enc_quant_create(&core->quant) == 0;
  ok = ok && mp3enc_compute_budget(core->frames, core->cfg.bit_rate, c.rate, gpf, core->head_bits,
                                   c.vbr != 0, &core->budget) == 0;
  if (ok) {
    const float allowance = c.sbr ? float(c.channels) * (c.rate < 32000 ? 96.0f : 24.0f) : 0.0f;
    const mp3enc_quant_setup setup{c.channels,
                                   c.rate >= 32000 ? 0 : c.rate >= 16000 ? 1 : 2,
                                   core->budget.max_main_bits,
                                   core->budget.frame_main_bits,
                                   core->budget.granule_main_bits,
                                   allowance,
                                   0,
                                   5760.0f * core->cfg.bandwidth / (float(c.rate) * 0.5f),
                                   c.vbr_quality,
                                   core->cfg.bit_rate / c.channels,
                                   c.quality_flag,
                                   c.quality};
    ok = mp3enc_quant_init(core->quant, &setup) == 0;
  }
  if (!ok) {
    mp3enc_core_free(core);
    return 1;
  }
  core->cycle_granules = core->budget.cycle_granules;
  core->min_output_bytes = core->budget.min_output_bytes;
  core->delay = 1201;
  core->silent_samples = 0;
  *out = core;
  return 0;
}

void mp3enc_core_free(mp3enc_core* core) {
  if (!core) return;
  mp3enc_quant_free(core->quant);
  for (auto* g : core->granules) mp3enc_granule_free(g);
  mp3enc_framewriter_free(core->writer);
  mp3enc_analysis_free(core->analysis);
  mp3enc_granule_analysis_free(core->result);
  mp3enc_stereo_prep_free(core->prep);
  mp3enc_reservoir_free(core->frames);
  mp3enc_free_record(core);
}

int mp3enc_core_get_info(const mp3enc_core* core, mp3enc_core_info* out) {
  if (!core || !out) return 0;
  out->bandwidth = core->cfg.bandwidth;
  out->delay = core->delay;
  out->min_output_bytes = core->min_output_bytes;
  out->cycle_frames = mp3enc_cycle_frames(core->frames);
  out->cycle_bytes = mp3enc_cycle_bytes(core->frames);
  return 0;
}

int mp3enc_frame_due(const mp3enc_core* core) {
  const int32_t gpf = core->granules_per_frame;
  return core->granule_counter % gpf == gpf - 1 ? 1 : 0;
}

const mp3enc_frame_output* mp3enc_core_get_output(mp3enc_core* core) {
  return core ? mp3enc_framewriter_output(core->writer) : nullptr;
}

namespace {

// Enough silence has gone in for the analysis delay and the pacing cycle is complete.
bool end_reached(const mp3enc_core* core) {
  return core->silent_samples >= 1201 && core->granule_counter % core->cycle_granules == 0;
}

}  // namespace

int mp3enc_core_drained(const mp3enc_core* core) {
  return core->flushed && mp3enc_framewriter_queued(core->writer) == 0;
}

int mp3enc_core_encode_frame(int32_t* pending, int32_t delay, mp3enc_core* core, sbrenc_output* sbr_out,
                             const float* samples, int32_t count, uint8_t* out, int32_t out_size,
                             int32_t* produced, const uint8_t* user_bytes, int32_t* user_count) {
  const int32_t channels = core->cfg.channels;
  if (count < 0 || count > channels * 576 || count % channels != 0) return 1;
  if (out_size < core->min_output_bytes) return 2;
  *produced = 0;
  mp3enc_framewriter_clear_output(core->writer);

  if (count != 0) {
    if (count < channels * 576) core->silent_samples += 576 - count / channels;
    if (const int failed = encode_granule(core, samples, count, pending, delay, sbr_out, out, out_size, produced,
                                          user_bytes, user_count))
      return failed;
    return *produced > out_size ? 4 : 0;
  }
  // End of the stream: silent granules until the analysis delay has passed and a cycle of
  // frame sizes is complete, then the frame writer gives up what it still holds. One silent
  // granule per call, even when it completes no frame: the driver runs the SBR encoder
  // before every frame's last granule, and a second granule here would take a frame past it
  // without a payload of its own.
  if (end_reached(core)) {
    int32_t bytes = 0;
    mp3enc_framewriter_flush(core->writer, out, out_size, &bytes);
    *produced = bytes;
    core->flushed = 1;
    return *produced > out_size ? 4 : 0;
  }
  core->silent_samples += 576;
  if (const int failed =
          encode_granule(core, nullptr, 0, pending, delay, sbr_out, out, out_size, produced, user_bytes, user_count))
    return failed;
  return *produced > out_size ? 4 : 0;
}

int mp3enc_core_codes_granule(const mp3enc_core* core, int32_t count) {
  return count != 0 || !end_reached(core) ? 1 : 0;
}
