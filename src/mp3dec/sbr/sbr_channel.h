// One SBR channel: input delay line, QMF banks and slot rows, band tables, HF generator.
#pragma once

#include "mp3dec/sbr/sbr_adjust.h"
#include "mp3dec/sbr/sbr_freq.h"
#include "mp3dec/sbr/sbr_header.h"
#include "mp3dec/sbr/sbr_hfgen.h"
#include "mp3dec/sbr/sbr_qmf.h"

struct SbrDecoderConfig;

// Slot rows: two look-back rows for the HF generator's prediction, then the frame's 24 grid
// slots. The grid's last 6 slots reach into the next frame, so the analysis runs 6 slots
// ahead: it writes rows 8..25 and the synthesis reads rows 2..19.
constexpr int SBR_LOOKBACK = 2;
constexpr int SBR_GRID_LEAD = 6;
constexpr int SBR_ROWS = SBR_LOOKBACK + SBR_GRID_LEAD + SBR_QMF_SLOTS;
constexpr int SBR_ANALYSIS_ROW = SBR_LOOKBACK + SBR_GRID_LEAD;
constexpr int SBR_SYNTHESIS_ROW = SBR_LOOKBACK;

struct SbrChannel {
  int mode;
  int core_length, output_length;
  int core_rate, output_rate;
  int hf_adjust, invf_override;
  // History of the analysis window (288 samples) followed by the frame's 576.
  float input[320 - 32 + 576];
  alignas(16) float re[SBR_ROWS][64];
  alignas(16) float im[SBR_ROWS][64];
  float* re_rows[SBR_ROWS];
  float* im_rows[SBR_ROWS];
  QmfBank* analysis;
  QmfBank* synthesis;
  SbrFreqTables tables;
  SbrAdjuster adjuster;
  SbrToneRecord tones;
  SbrHfGenerator hfgen;
  int band_count;
  float band_gains[8];
  int band_edges[8];
  int tables_valid;
};

SbrError* sbrdec_channel_init(SbrChannel** out, int core_rate, int core_length, float factor,
                              const SbrDecoderConfig* config, SbrElementData* element, SbrHeader* header);
void sbrdec_channel_free(SbrChannel** ch);
// Rebuilds the band tables from the element's header and brings the banks, the slot rows,
// the HF generator and the adjuster in line with them.
SbrError* sbrdec_channel_reset(SbrChannel* ch, SbrElementData* element);
// Rebuilds the patches and the adjuster after a change of the element's adjuster field, on
// the tables in force; null or the error record.
SbrError* sbrdec_channel_set_adjuster_field(SbrChannel* ch, const SbrElementData* element);
// Clears the slot rows and every delay line.
void sbrdec_channel_clear(SbrChannel* ch);
void sbrdec_process_channel(SbrChannel* ch, const float* samples, int stride, SbrElementData* element,
                            int valid);
void sbrdec_synthesize_channel(SbrChannel* ch, SbrElementData* element, float* output, int valid);

// For tests that measure the high band where the adjuster shapes it, before the synthesis
// keeps only what a real signal can carry: when set, it is called for every channel of every
// frame with the 18 slot rows the synthesis is about to take. Unset, it costs one test.
struct SbrSlotsReport {
  int channel;
  int valid;  // the high band was generated from SBR data
  const float (*re)[64];
  const float (*im)[64];
  const float* limited;  // per QMF band: the energy the limiter kept back in this frame
};
extern void (*sbrdec_slots_report)(const SbrSlotsReport* report);
