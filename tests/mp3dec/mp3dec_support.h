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
  std::vector<uint8_t> side{};  // side information bytes (zeros when empty)
  std::vector<uint8_t> main{};  // main data (+ ancillary) bytes, padded with zeros
};

// The side-information fields of one granule of one channel.
struct gr_side {
  int part2_3 = 0, big_values = 0, global_gain = 0, sfc = 0, ws = 0, block_type = 0, mixed = 0;
  int table_select[3] = {0, 0, 0};
  int subblock_gain[3] = {0, 0, 0};
  int region0 = 0, region1 = 0, preflag = 0, sf_scale = 0, count1 = 0;
};

// Side information with main_data_begin 0 and no scfsi, for the version of `f`; `grs` in
// the order granule 0 ch 0, (ch 1), (granule 1 ch 0, (ch 1)).
std::vector<uint8_t> side_info(const frame_spec& f, int nch, const std::vector<const gr_side*>& grs);

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

// The tools of the peer tests.
bool have_tool(const char* tool);
int run_quiet(const std::string& command);  // exit status, output discarded

// A scratch folder of a peer test, removed with the object.
struct scratch_dir {
  std::string dir;
  scratch_dir();
  ~scratch_dir();
  std::string path(const std::string& name) const { return dir + "/" + name; }
};

// The accuracy bound at 16-bit scale (full scale 32768), in LSB: an RMS difference below
// 2^-15 / sqrt(12) and a peak difference of at most 2^-14 of full scale.
constexpr double rms_limit = 0.28867513459481287;  // 1 / sqrt(12)
constexpr double peak_limit = 2.0;

struct comparison {
  double rms = 0.0, peak = 0.0;
  size_t compared = 0;
};
// Compares our float stream from `offset` on with a reference at +-1 scale, on the
// reference samples within +-32767.
comparison compare(const std::vector<float>& ours, const std::vector<float>& ref, size_t offset = 0);
// mpg123's float output for an MP3 file (gapless off); empty when it fails.
std::vector<float> mpg123_f32(const scratch_dir& dir, const std::string& mp3);
