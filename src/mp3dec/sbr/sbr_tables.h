// Standard tables of the SBR decoder (generated into sbr_tables.cpp by tools/sbrdec_tables).
#pragma once

// The 640-tap QMF prototype, from its second coefficient on, the first (0) last.
extern const float sbrdec_qmf_window[640];
// The random noise table of the HF adjuster: 512 complex values (re, im).
extern const float sbrdec_noise_table[512][2];
