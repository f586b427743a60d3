// One SBR channel: set-up, band layout changes and the per-frame order of its parts.
#include "mp3dec/sbr/sbr_channel.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "mp3dec/sbrdec.h"
#include "mp3dec/sbr/sbr_error.h"

SbrError* sbrdec_channel_init(SbrChannel** out, int core_rate, int core_length, float factor,
                              const SbrDecoderConfig* config, SbrElementData* element, SbrHeader* header) {
  *out = nullptr;
  const int output_rate = int(float(core_rate) * factor);
  const int output_length = int(float(core_length) * factor);
  if (output_length != 1152 || core_length != 576) return sbrdec_error();
  SbrChannel* ch = static_cast<SbrChannel*>(std::calloc(1, sizeof(SbrChannel)));
  if (!ch) return sbrdec_error();
  ch->mode = config->mode;
  ch->core_length = core_length;
  ch->output_length = output_length;
  ch->core_rate = core_rate;
  ch->output_rate = output_rate;
  ch->hf_adjust = config->hf_adjust;
  ch->invf_override = config->inverse_filtering;
  for (int r = 0; r < SBR_ROWS; ++r) {
    ch->re_rows[r] = ch->re[r];
    ch->im_rows[r] = ch->im[r];
  }
  if (sbrdec_qmf_analysis_create(&ch->analysis, 0, int(factor), core_length) ||
      sbrdec_qmf_synthesis_create(&ch->synthesis, 0, output_length, config->core_gain, config->high_gain) ||
      sbrdec_hfgen_create(&ch->hfgen, config)) {
    sbrdec_channel_free(&ch);
    return sbrdec_error();
  }
  element->time_slots = SBR_TIME_SLOTS;
  element->prev_last_border = SBR_TIME_SLOTS;
  element->invf_count = 1;
  sbrdec_default_grid(&element->grid);
  element->header = *header;
  sbrdec_tone_init(&ch->tones, SBR_QMF_SLOTS, 64);
  if (sbrdec_channel_reset(ch, element)) {
    sbrdec_channel_free(&ch);
    return sbrdec_error();
  }
  *out = ch;
  return nullptr;
}

void sbrdec_channel_free(SbrChannel** ch) {
  if (!ch || !*ch) return;
  sbrdec_qmf_free(&(*ch)->analysis);
  sbrdec_qmf_free(&(*ch)->synthesis);
  std::free(*ch);
  *ch = nullptr;
}

namespace {

SbrError* build_patches(SbrChannel* ch, const SbrElementData* element) {
  const SbrFreqTables& t = ch->tables;
  return sbrdec_hfgen_setup(&ch->hfgen, 1, element->adjuster_field, t.kx, t.master, t.n_master, t.noise,
                            t.n_noise, ch->output_rate, 64, ch->mode);
}

}  // namespace

SbrError* sbrdec_channel_set_adjuster_field(SbrChannel* ch, const SbrElementData* element) {
  if (!ch->tables_valid || build_patches(ch, element)) return sbrdec_error();
  sbrdec_adjust_init(&ch->adjuster);
  return nullptr;
}

SbrError* sbrdec_channel_reset(SbrChannel* ch, SbrElementData* element) {
  SbrHeader* h = &element->header;
  const int old_kx = ch->tables_valid ? ch->tables.kx : 32;
  ch->tables_valid = 0;
  if (sbrdec_reset_freq_tables(&ch->tables, h, 64, ch->output_rate, ch->mode)) return sbrdec_error();
  const SbrFreqTables& t = ch->tables;
  if (build_patches(ch, element)) return sbrdec_error();
  ch->synthesis->low = t.kx;
  ch->synthesis->high = t.kmax;
  ch->analysis->low = 0;
  ch->analysis->high = t.kx;
  element->low_bands = t.n_low;
  element->high_bands = t.n_high;
  element->noise_bands = t.n_noise;
  element->invf_count = 1;
  // The rows kept for the next frame hold analysis bands below the old kx; the ones between
  // the two crossovers belong to neither side now.
  const int lo = old_kx < t.kx ? old_kx : t.kx, hi = old_kx < t.kx ? t.kx : old_kx;
  for (int r = 0; r < SBR_ROWS; ++r) {
    for (int k = lo; k < hi && k < 64; ++k) ch->re[r][k] = ch->im[r][k] = 0.0f;
  }
  sbrdec_hfgen_reset(&ch->hfgen);
  for (int r = 0; r < SBR_LOOKBACK; ++r) {
    std::memset(ch->re[r], 0, sizeof(float) * 32);
    std::memset(ch->im[r], 0, sizeof(float) * 32);
  }
  sbrdec_adjust_init(&ch->adjuster);
  ch->tables_valid = 1;
  return nullptr;
}

void sbrdec_channel_clear(SbrChannel* ch) {
  std::memset(ch->re, 0, sizeof(ch->re));
  std::memset(ch->im, 0, sizeof(ch->im));
  std::memset(ch->input, 0, sizeof(ch->input));
  sbrdec_qmf_clear(ch->analysis);
  sbrdec_qmf_clear(ch->synthesis);
}

void sbrdec_process_channel(SbrChannel* ch, const float* samples, int stride, SbrElementData* element,
                            int valid) {
  const int n = ch->core_length;
  const int keep = int(sizeof(ch->input) / sizeof(float)) - n;
  std::memmove(ch->input, ch->input + n, sizeof(float) * size_t(keep));
  for (int i = 0; i < n; ++i) ch->input[keep + i] = samples[i * stride];
  if (ch->invf_override < 4) element->invf_mode = ch->invf_override;
  valid = valid && ch->tables_valid;
  if (valid) {
    // Mended: a frame without valid data widens the ranges to the whole core band, so a
    // valid frame sets them back to its tables.
    ch->analysis->low = 0;
    ch->analysis->high = ch->tables.kx;
    ch->synthesis->low = ch->tables.kx;
    ch->synthesis->high = ch->tables.kmax;
  } else {
    ch->analysis->low = 0;
    ch->analysis->high = 32;
    ch->synthesis->low = 32;
    ch->synthesis->high = 64;
  }
  g_qmfAnalysis(ch->input, ch->re_rows + SBR_ANALYSIS_ROW, ch->im_rows + SBR_ANALYSIS_ROW, ch->analysis);
  if (valid) {
    sbrdec_generate_hf(ch->re_rows, ch->im_rows, element, &ch->hfgen, ch->mode);
    if (ch->hf_adjust) sbrdec_adjust_hf(&ch->adjuster, &ch->tables, element, ch->re_rows, ch->im_rows, ch->mode);
    sbrdec_synthesize_tones(&ch->tones, element, ch->tables.kx, 32, ch->re_rows + SBR_SYNTHESIS_ROW,
                            ch->im_rows + SBR_SYNTHESIS_ROW);
  } else {
    ch->hfgen.prev_last_border = SBR_TIME_SLOTS;
    const int from = ch->tables_valid ? ch->synthesis->low : ch->analysis->high;
    for (int r = SBR_SYNTHESIS_ROW; r < SBR_ROWS; ++r) {
      for (int k = from; k < 64; ++k) ch->re[r][k] = ch->im[r][k] = 0.0f;
    }
  }
}

void sbrdec_synthesize_channel(SbrChannel* ch, SbrElementData* element, float* output, int valid) {
  g_qmfSynthesis(output, ch->re_rows + SBR_SYNTHESIS_ROW, ch->im_rows + SBR_SYNTHESIS_ROW, ch->synthesis);
  constexpr int carried = SBR_ROWS - SBR_QMF_SLOTS;
  std::memmove(ch->re, ch->re[SBR_QMF_SLOTS], sizeof(float) * 64 * carried);
  std::memmove(ch->im, ch->im[SBR_QMF_SLOTS], sizeof(float) * 64 * carried);
  (void)element;
  (void)valid;
}
