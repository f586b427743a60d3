// mp3PRO extension interface: the surface the Layer III core sees.
// The SBR decoder (src/mp3dec/sbr) stands behind it.
#pragma once

#include <cstdint>

struct SbrDecoderConfig {
  int32_t mode;                // 0
  int32_t hf_adjust;           // 1
  int32_t unused2;             // 2
  int32_t inverse_filtering;   // 3
  int32_t lowest_source_band;  // 4
  float unused5;               // 5
  int32_t crc_required;        // 6
  float core_gain;             // 7
  float high_gain;             // 8
  int32_t unused9;             // 9
  int32_t history;             // 10
  float unused11;              // 11
  float chirp;                 // 12
};

struct SbrPayloadElement {
  int32_t mode;    // 0 one channel, 2 two channels
  int32_t kind;    // 12 without header, 13 with header
  int32_t length;  // bytes
  uint8_t bytes[1024];
};

struct SbrPayload {
  int32_t count;  // 0 or 1
  SbrPayloadElement element[1];
};

struct SbrDecoder;

void sbrdec_default_config(SbrDecoderConfig* config, int mode);
SbrDecoder* sbrdec_create(int core_rate, int core_frame_length, const SbrDecoderConfig* config);
void sbrdec_destroy(SbrDecoder* decoder);
void sbrdec_reset(SbrDecoder* decoder);
float sbrdec_get_rate_factor(const SbrDecoder* decoder);
int sbrdec_get_output_channels(const SbrDecoder* decoder, int core_channels);
void sbrdec_enable_high_band(SbrDecoder* decoder, int flag);
void sbrdec_set_band_gains(SbrDecoder* decoder, int count, const int* band_edges, const float* gains);
int sbrdec_parse_payload(SbrDecoder* decoder, const SbrPayload* payload);
int sbrdec_apply(SbrDecoder* decoder, const SbrPayload* payload, float* samples, int core_channels);
// Build date and version of the SBR module ("Jul 29 2005", "3.0").
void sbrdec_get_version(const char** date, const char** version);
