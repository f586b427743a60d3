// Time/frequency grid of an SBR channel: frame classes, fixed templates, variable grids
// around transients, and the small integer-list routines shared with other stages.
#pragma once

#include <cstdint>

#include "mp3enc/common/errorhnd.h"

// The grid as it is sent.
struct sbrenc_grid_code {
  int32_t first_slot;        // w0
  int32_t slots;             // w1
  int32_t frame_class;       // w2 0 fixed/fixed, 1 fixed/variable, 2 variable/fixed, 3 variable/variable
  int32_t fixed_envelopes;   // w3 1, 2 or 4
  int32_t var_border;        // w4 classes 1 and 2, absolute slot
  int32_t n_rel;             // w5
  int32_t pointer;           // w6
  int32_t rel[3];            // w7-w9
  int32_t res[4];            // w10-w13
  int32_t lead_border;       // w14
  int32_t trail_border;      // w15
  int32_t n_lead, n_trail;   // w16, w17
  int32_t lead_rel[3];       // w18-w20
  int32_t trail_rel[3];      // w21-w23
  int32_t res_vv[5];         // w24-w28
};
static_assert(sizeof(sbrenc_grid_code) == 29 * 4);

// The grid as the estimators read it.
struct sbrenc_grid_info {
  int32_t envelopes;         // 1..5
  int32_t borders[6];        // in grid slots, envelopes + 1 of them
  int32_t freq_res[5];       // 1 high, 0 low
  int32_t transient_env;     // 0 when none
  int32_t noise_envelopes;   // 1 or 2
  int32_t noise_borders[3];
};
static_assert(sizeof(sbrenc_grid_info) == 17 * 4);

inline constexpr int sbrenc_grid_list_max = 16;

struct sbrenc_grid_state {
  int32_t offset;                   // w0 slots added to the transient position
  int32_t static_framing;           // w1
  int32_t static_envelopes;         // w2
  int32_t freq_res_fixed;           // w3
  int32_t min_segment, max_segment; // w4, w5
  int32_t spreading;                // w6
  int32_t seg_len[3];               // w7-w9 around a transient: before it, after it, after that
  int32_t seg_res[3];               // w10-w12
  int32_t filler_res_before;        // w13
  int32_t filler_res_after;         // w14
  int32_t prev_class;               // w15
  int32_t fu_res[sbrenc_grid_list_max];
  int32_t res[sbrenc_grid_list_max];
  int32_t borders[sbrenc_grid_list_max];
  int32_t fu_borders[sbrenc_grid_list_max];
  int32_t spread;                   // w48
  int32_t n_borders, n_res;         // w49, w50
  int32_t fu_n_borders;             // w51
  int32_t fu_transient;             // w52 (-99 none, -4711 after reuse)
  int32_t fu_filler;                // w53
  int32_t fu_n_res;                 // w54
  sbrenc_grid_code* code;           // w55
  sbrenc_grid_info* info;           // w56
};

const mp3enc_error* sbrenc_grid_create(sbrenc_grid_state** out, int32_t spreading, int32_t static_envelopes,
                                       int32_t static_framing, int32_t filler_res_before, int32_t filler_res_after,
                                       int32_t slots, int32_t freq_res_fixed);
void sbrenc_grid_free(sbrenc_grid_state* state);

// transient = {position in grid slots (or the split decision), flag}. mode 2 limits the
// fillers after a transient to 4 slots.
const sbrenc_grid_info* sbrenc_frame_info(sbrenc_grid_state* state, const int32_t transient[2], int32_t mode);
void sbrenc_frame_class(int32_t* frame_class, int32_t* previous_class, int32_t transient_flag, int32_t* spread_flag);
void sbrenc_grid_template(sbrenc_grid_info* info, int32_t envelopes, int32_t slots);
// Joins the previous frame's follow-up to this frame's transient region in the working lists;
// returns the split between the leading and trailing relative borders.
int32_t sbrenc_grid_join(sbrenc_grid_state* state);
// The grid code of a frame of class frame_class from a border list, its frequency resolutions
// and the index of the transient border (-99 for none): the working lists for classes 1 and 3,
// the follow-up for class 2 and for class 3 while the spread flag is set. split divides the
// leading from the trailing borders of class 3.
void sbrenc_grid_encode(sbrenc_grid_state* state, const int32_t* borders, int32_t border_count,
                        const int32_t* freq_res, int32_t freq_res_count, int32_t transient_index,
                        int32_t frame_class, int32_t split);
// Grid record of a grid code, as a decoder derives it.
void sbrenc_grid_decode(const sbrenc_grid_code* code, int32_t freq_res_fixed, sbrenc_grid_info* info);

void sbrenc_append(int32_t* list, int32_t* count, int32_t value);
void sbrenc_prepend(int32_t* list, int32_t* count, int32_t value);
int32_t sbrenc_prepend_list(int32_t* list, int32_t* count, const int32_t* values, int32_t m);
void sbrenc_sort_ints(int32_t* list, int32_t n);
void sbrenc_sort_floats(float* list, int32_t n);
