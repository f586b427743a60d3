// Stand-in for the SBR decoder behind its interface.
// Creation fails, and the core then decodes without SBR, so no stream is decoded as
// mp3PRO. The module that implements the extension replaces this file.
#include "mp3dec/sbrdec.h"

#include <cstring>

void sbrdec_default_config(SbrDecoderConfig* c, int mode) {
  std::memset(c, 0, sizeof(*c));
  c->mode = mode;
  c->hf_adjust = 2;
  c->unused2 = 2;
  c->inverse_filtering = 4;
  c->lowest_source_band = 1;
  c->unused5 = 1000.0f;
  c->crc_required = mode == 2 ? 1 : 0;
  c->core_gain = 1.0f;
  c->high_gain = 1.0f;
  c->unused9 = 0;
  c->history = 40;
  c->unused11 = 0.05f;
  c->chirp = 0.0f;
}

SbrDecoder* sbrdec_create(int, int, const SbrDecoderConfig*) { return nullptr; }
void sbrdec_destroy(SbrDecoder*) {}
void sbrdec_reset(SbrDecoder*) {}
float sbrdec_get_rate_factor(const SbrDecoder*) { return -1.0f; }
int sbrdec_get_output_channels(const SbrDecoder*, int core_channels) { return core_channels; }
void sbrdec_enable_high_band(SbrDecoder*, int) {}
void sbrdec_set_band_gains(SbrDecoder*, int, const int*, const float*) {}
int sbrdec_parse_payload(SbrDecoder*, const SbrPayload*) { return 13; }
int sbrdec_apply(SbrDecoder*, const SbrPayload*, float*, int) { return 13; }
void sbrdec_get_version(const char** date, const char** version) {
  *date = "Jul 29 2005";
  *version = "3.0";
}
