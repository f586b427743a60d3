// Reader of the SBR payload: CRC, header, single-channel and channel-pair elements.
#pragma once

#include <cstdint>

#include "mp3dec/sbr/sbr_header.h"

struct SbrBitReader {
  const uint8_t* data;
  int32_t length;  // bits
  int32_t position;  // bits read
};

void sbrdec_open_bits(SbrBitReader* r, const uint8_t* data, int length_bits);
// The next n bits (0..32), most significant first; past the end they read as 0 and the
// reader counts as overrun.
uint32_t sbrdec_get_bits(SbrBitReader* r, int n);
inline int sbrdec_bits_left(const SbrBitReader* r) { return r->length - r->position; }
inline bool sbrdec_overrun(const SbrBitReader* r) { return r->position > r->length; }

// The CRC part: passes when the flag is 0 and the CRC is not required, or when the 7-bit
// CRC matches the next `covered` bits (fewer when fewer remain).
bool sbrdec_check_crc(SbrBitReader* r, int covered, int required);
// Header result: 0 unchanged, 1 changed (reset), 2 ignored, 3 invalid.
int sbrdec_read_header(SbrHeader* h, SbrBitReader* r, int element_mode, int mode, int core_rate);
int sbrdec_read_grid(SbrGrid* g, SbrBitReader* r);
int sbrdec_check_grid(const SbrGrid* g, int time_slots);
int sbrdec_read_single_channel(SbrElementData* e, SbrBitReader* r);
int sbrdec_read_channel_pair(SbrElementData* first, SbrElementData* second, SbrBitReader* r);
int sbrdec_decode_huffman(SbrBitReader* r, const int8_t (*tree)[2]);
// The pieces of an element, each 1 when well formed: envelope and noise values (still deltas;
// balance values doubled), and the tone extension.
int sbrdec_read_envelope(SbrElementData* e, SbrBitReader* r);
int sbrdec_read_noise(SbrElementData* e, SbrBitReader* r);
int sbrdec_read_extension_payload(SbrToneExtension* t, SbrBitReader* r);
// Skips an extended-data container; nothing in it is interpreted.
void sbrdec_read_extended_data(SbrBitReader* r);

// For tests that compare what the parser reads with what an encoder wrote: when set, it is
// called once for every payload element the parser has gone through. Unset, it costs one test.
struct SbrReadReport {
  const uint8_t* bytes;  // the payload, its tag in the first four bits
  int length_bits;
  int bits_read;         // where the parser stopped, from the payload's first bit
  int pair;
  int crc_ok;
  int header_result;     // -1 when the element carried no header
  int element_read;      // the element's data were read (a header is in force)
  int element_ok;        // ... and were well formed and filled the payload's bytes
  const SbrElementData* first;
  const SbrElementData* second;  // null for one channel
};
extern void (*sbrdec_read_report)(const SbrReadReport* report);
