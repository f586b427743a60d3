// Stream scan and Xing/VBRI header parsing.
#pragma once

#include <cstdint>
#include <vector>

// Laid out as the published MPEGLAYER3WAVEFORMAT record.
struct Mp3WaveFormat {
  uint16_t format_tag;
  uint16_t channels;
  uint32_t sample_rate;
  uint32_t avg_bytes_per_sec;
  uint16_t block_align;
  uint16_t bits_per_sample;
  uint16_t extra_size;
  uint16_t id;
  uint32_t flags;
  uint16_t block_size;
  uint16_t frames_per_block;
  uint16_t codec_delay;
};

struct Mp3VbriHeader {
  uint32_t version = 0, delay = 0, quality = 0, bytes = 0, frames = 0, entries = 0, scale = 0,
           entry_size = 0, frames_per_entry = 0;
  std::vector<uint64_t> table;  // entries + 1 cumulative byte offsets
};

struct Mp3XingHeader {
  uint32_t flags = 0, frames = 0, bytes = 0;
  uint8_t toc[100] = {};
  uint32_t quality = 0;
};

// Returns the first frame's bit position or -1.
int32_t mp3info_scan_frames(const uint8_t* bytes, int length, Mp3WaveFormat* wf, int32_t* bitrate_out);
bool mp3info_parse_vbri(const uint8_t* frame, int length, Mp3VbriHeader* v);
bool mp3info_parse_xing(const uint8_t* frame, int length, Mp3XingHeader* x);
