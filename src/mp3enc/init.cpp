// Initialisation: the rate stages, the core and the sizes the frame driver works with.
#include <cmath>

#include "mp3enc/alloc.h"
#include "mp3enc/handle.h"
#include "mp3enc/kernels.h"

namespace {

bool two_coded(uint32_t channel_mode) { return channel_mode == 2 || channel_mode == 4; }

bool params_valid(const mp3enc_params& p, uint32_t output_rate) {
  return p.quality >= 0 && p.quality <= 2 && p.padding >= 0 && p.padding <= 2 &&
         std::isfinite(p.bandwidth) && p.bandwidth >= 0.0f && p.bandwidth <= float(output_rate) * 0.5f;
}

}  // namespace

int mp3enc_rate_stage_create(mp3enc_rate_stage* stage, int32_t in_rate, int32_t out_rate, float cutoff,
                             int32_t channels, int32_t block_length, int32_t double_buffer, int32_t wide) {
  *stage = mp3enc_rate_stage{};
  if (resampler_enc_setup(&stage->converter, channels, 0, block_length, in_rate, out_rate, cutoff,
                          wide ? 0.218f : 0.1f, wide) != 0 ||
      !stage->converter) {
    stage->converter = nullptr;
    return 0;
  }
  int32_t n = stage->converter->in_block;
  if (double_buffer) n *= 2;
  stage->block.samples = static_cast<float*>(mp3enc_aligned_calloc(size_t(n) * sizeof(float)));
  if (!stage->block.samples || n < 1) {
    mp3enc_rate_stage_free(stage);
    return 0;
  }
  stage->block.capacity = n;
  stage->block.channels = channels;
  stage->active = 1;
  return 1;
}

void mp3enc_rate_stage_free(mp3enc_rate_stage* stage) {
  if (stage->converter) resampler_enc_free(stage->converter);
  mp3enc_aligned_free(stage->block.samples);
  *stage = mp3enc_rate_stage{};
}

void mp3enc_free_all(mp3enc_engine* e) {
  if (!e) return;
  mp3enc_core_free(e->core);
  mp3enc_delay_free(&e->line);
  mp3enc_rate_stage_free(&e->stages[1]);
  mp3enc_rate_stage_free(&e->stages[0]);
  sbrenc_destroy(e->sbr);
  mp3enc_anc_buffer_free(e->sbr_out);
  mp3enc_aligned_free(e->core_block.samples);
  mp3enc_free_record(e);
}

mp3enc_engine* mp3enc_init(const mp3enc_handle* h) {
  const mp3enc_config& cfg = h->config;
  const mp3enc_params& par = h->params;
  const int32_t coded = two_coded(cfg.channel_mode) ? 2 : 1;
  const int32_t sample_size = h->width == 1 ? 4 : h->width == 0 ? 2 : 0;
  if (!sample_size || !params_valid(par, cfg.output_rate)) return nullptr;
  if (cfg.output_rate == 0 || cfg.output_rate > uint32_t(h->rate)) return nullptr;
  mp3enc_install_kernels(1);

  mp3enc_engine* e = mp3enc_new_record<mp3enc_engine>();
  if (!e) return nullptr;
  auto fail = [e]() -> mp3enc_engine* {
    mp3enc_free_all(e);
    return nullptr;
  };
  const bool sbr_mode = cfg.sbr_mode == 1;
  const int32_t out_rate = int32_t(cfg.output_rate);
  const int32_t core_rate = sbr_mode ? out_rate / 2 : out_rate;
  e->core_block.capacity = coded * 576;
  e->core_block.channels = coded;
  e->core_block.samples = static_cast<float*>(mp3enc_aligned_calloc(size_t(coded) * 576 * sizeof(float)));
  if (!e->core_block.samples) return fail();
  e->filter = par.quality == 2 ? 1 : 0;
  e->first_rate = out_rate;
  int32_t block_length;
  int32_t sbr_channels = 1;
  sbrenc_config sbr = h->sbr;
  if (sbr_mode) {
    e->filter = 0;
    sbr.mono_downmix = cfg.channel_mode == 3 ? 1 : 0;
    if (h->channels == 2 && coded == 1) {
      block_length = cfg.channel_mode == 3 ? 2304 : 1152;
      sbr_channels = cfg.channel_mode == 3 ? 2 : 1;
      e->downmix = cfg.channel_mode == 3 ? 2 : 1;
    } else {
      block_length = coded == 2 ? 2304 : 1152;
      sbr_channels = coded;
    }
    e->sbr_pair = e->downmix == 2;
    e->stages[1].active = out_rate != h->rate ? 1 : 0;
    e->stages[0].active = 1;
  } else {
    if (h->channels == 2 && coded == 1) {
      e->downmix = 1;
      block_length = 576;
    } else {
      block_length = coded == 2 ? 1152 : 576;
    }
    e->stages[1].active = (out_rate != h->rate || e->filter) ? 1 : 0;
  }
  e->block_bytes = h->channels * 576 * sample_size;

  if (sbr_mode && h->rate >= 32000) {
    e->sbr_out = mp3enc_anc_buffer_create(4096);
    if (!e->sbr_out) return fail();
    if (cfg.channel_mode == 4) sbr.stereo_mode = 1;
    if (sbrenc_create(&e->sbr, &sbr, e->sbr_out) != nullptr || !e->sbr) {
      e->sbr = nullptr;
      return fail();
    }
  }

  mp3enc_core_config cc;
  cc.rate = core_rate;
  cc.bit_rate = int32_t(cfg.bit_rate);
  cc.channels = cc.channels2 = coded;
  cc.bandwidth = e->sbr ? e->sbr_out->crossover_hz : par.bandwidth;
  cc.vbr = cfg.vbr_quality != 0;
  cc.vbr_quality = int32_t(cfg.vbr_quality);
  cc.intensity_off = cc.vbr ? (e->sbr ? 0 : 1) : par.intensity == 0;
  cc.ms_off = par.mid_side == 0;
  cc.joint_off = cfg.channel_mode == 4;
  cc.quality_flag = par.quality != 0;
  cc.quality = par.quality;
  cc.padding = par.padding;
  cc.crc = par.crc;
  cc.private_bit = par.private_bit != 0;
  cc.copyright = par.copyright != 0;
  cc.original = par.original != 0;
  cc.stereo_prep = par.stereo_prep && coded == 2 && cfg.bit_rate <= 48000 && cfg.channel_mode != 4 && !cc.vbr;
  cc.sbr = e->sbr ? 1 : 0;
  if (mp3enc_core_init(&e->core, &cc) != 0) return fail();
  e->core->sbr_encoder = e->sbr;
  mp3enc_core_get_info(e->core, &e->info);
  e->bandwidth = e->sbr ? sbrenc_stop_frequency(e->sbr) : e->info.bandwidth;
  e->delay = e->info.delay;

  if (sbr_mode) {
    const float half = float(core_rate) / 2.0f;
    const int32_t wide = par.quality == 0 && e->info.bandwidth <= 0.782f * half ? 1 : 0;
    const float cutoff = wide ? half : 1.15f * e->info.bandwidth;
    if (!mp3enc_rate_stage_create(&e->stages[0], out_rate, core_rate, cutoff, coded, coded * 576, e->sbr_pair,
                                  wide))
      return fail();
    e->block_bytes = e->stages[0].block.capacity * sample_size;
    const int32_t latency = e->stages[0].converter->latency;
    e->delay = e->delay * (out_rate / core_rate) + latency;
    e->margin_samples = latency;
  }
  if (e->sbr) {
    e->sbr_frame = sbr.frame_length;
    const int32_t f = e->sbr_frame;
    int32_t words[2] = {0, 0};
    sbrenc_delay_words(e->sbr, words);
    if (f < 1 || mp3enc_delay_create(&e->line, 8 * f, sbr_channels) != 0) return fail();
    // The SBR encoder describes the frame before the one it is given (words[0] samples late),
    // and a decoder lays a frame's envelopes words[1] samples before the core's frame: the
    // line is shorter than the core's delay by the one and longer by the other. With the two
    // the other way round every envelope reached the decoder 1536 samples late, and the high
    // band of a stream's last audio came after its last frame.
    mp3enc_delay_init(&e->line, 6 * f, 2 * f, e->delay - words[0] + words[1] + 1);
    // The decoder's banks and its look-back delay the output by 578 + words[1] samples; the
    // line itself delays no audio. Stated larger, gapless decoding cut the start of the audio.
    e->delay += 578 + words[1];
  }
  if (e->stages[1].active) {
    const int32_t smaller = h->rate < e->first_rate ? h->rate : e->first_rate;
    const float cutoff = e->filter ? e->info.bandwidth : float(smaller / 2);
    const int32_t stage_channels = e->downmix == 1 ? 1 : h->channels;
    if (!mp3enc_rate_stage_create(&e->stages[1], h->rate, e->first_rate, cutoff, stage_channels, block_length,
                                  0, 0))
      return fail();
    e->block_bytes = e->stages[1].block.capacity * sample_size;
    const int32_t latency = e->stages[1].converter->latency;
    e->margin_samples = (h->rate / core_rate) * e->margin_samples + latency;
    e->delay += int32_t(int64_t(latency) * e->first_rate / h->rate);
  }
  if (e->downmix == 1 && (sbr_mode || e->stages[1].active)) e->block_bytes *= 2;
  // The margin counts input sample frames; a two-channel frame takes two samples.
  e->margin_bytes = e->margin_samples * sample_size * h->channels;
  e->wanted = e->block_bytes;
  e->frame_counter = 0;
  e->finished = 0;
  return e;
}
