// Frequency band tables of one SBR channel: master, high and low resolution envelope bands,
// noise-floor bands and limiter bands, all in QMF bands of the 64-band synthesis.
#pragma once

#include "mp3dec/sbr/sbr_header.h"

struct SbrError;

constexpr int SBR_MAX_MASTER = 48;

struct SbrFreqTables {
  int32_t master[SBR_MAX_MASTER + 1];
  int32_t n_master;
  int32_t high[SBR_MAX_MASTER + 1];
  int32_t n_high;
  int32_t low[SBR_MAX_MASTER / 2 + 2];
  int32_t n_low;
  int32_t noise[6];
  int32_t n_noise;
  int32_t limiter[13];  // relative to kx
  int32_t n_limiter;
  int32_t kx, kmax, m;
  int32_t valid;
};

// k0 and k2 for a start and stop index at output rate fs; null or the error record.
SbrError* sbrdec_start_stop_channel(int fs, int bands, int start, int stop, int mode, int rate_flag,
                                    int* k0, int* k2);
int sbrdec_stop_channel(int bands, int fs, int stop);
// Master table for k0..k2; returns its band count, 0 when the layout has none.
int sbrdec_master_table(int k0, int k2, int freq_scale, int alter_scale, int32_t* master);
void sbrdec_sort_ints(int32_t* v, int n);
// The high-resolution table: the master edges from the crossover band on; returns its count.
int sbrdec_high_table(const int32_t* master, int n_master, int crossover, int32_t* high);
// The low-resolution table: every second high edge (an odd count keeps the first); returns
// its count.
int sbrdec_low_table(const int32_t* high, int n_high, int32_t* low);
// Edges that split the n bands of `table` into `count` parts as evenly as whole bands allow
// (the noise and limiter tables).
void sbrdec_split_table(const int32_t* table, int n, int count, int32_t* out);
// Rebuilds the tables from the header (the master table only when its reset flag is set)
// and stores NQ in it; null or the error record.
SbrError* sbrdec_reset_freq_tables(SbrFreqTables* t, SbrHeader* h, int bands, int fs, int mode);
