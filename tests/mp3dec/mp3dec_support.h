// Helpers of the decoder tests: a bit writer, a Layer III frame builder, whole-stream decoding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mp3dec/mp3dec.h"

struct bit_writer {
  std::vector<uint8_t> bytes;
  int bits = 0;
  void put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
      if (bits % 8 == 0) bytes.push_back(0);
      if ((value >> i) & 1) bytes.back() |= uint8_t(0x80 >> (bits % 8));
      ++bits;
    }
  }
  void put_bits(const std::string& s) {
    for (char c : s) put(c == '1', 1);
  }
};

struct frame_spec {
  int version = 0;  // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
  int rate_index = 0;
  int bitrate_index = 9;
  int mode = 3;  // 3 mono
  int mode_ext = 0;
  int crc = 0;
  int padding = 0;
  std::vector<uint8_t> side;  // side information bytes (zeros when empty)
  std::vector<uint8_t> main;  // main data (+ ancillary) bytes, padded with zeros
};

uint32_t frame_header_word(const frame_spec& f);
int frame_bytes(const frame_spec& f);
int side_bytes(const frame_spec& f);
std::vector<uint8_t> build_frame(const frame_spec& f);
std::vector<uint8_t> repeat_frames(const frame_spec& f, int count);
// 8-byte gapless block with a correct CRC-8.
std::vector<uint8_t> gapless_block(uint32_t delay, uint32_t length);

struct decode_result {
  std::vector<uint8_t> pcm;  // bytes as delivered
  std::vector<SSC> statuses;
  int frames = 0;
  bool eos = false;
};

decode_result decode_stream(const std::vector<uint8_t>& data, int float_output, int no_crc,
                            int force44100, int gapless, int limiter, int capacity = 0);
std::vector<uint8_t> read_file(const std::string& path);
bool write_file(const std::string& path, const std::vector<uint8_t>& data);
std::vector<float> as_floats(const std::vector<uint8_t>& bytes);
