// Whole streams through the encoder's handle interface, a walker over the frames, our own
// decoder and the peer tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct core_options {
  int rate = 44100;
  int channels = 1;  // coded channels
  int bit_rate = 64000;
  int effort = 1;  // quality level 0..2
  bool crc = false;
  bool joint = true;  // two channels: joint stereo (mid/side, intensity)
  int gapless_length = -1;  // >= 0: a gapless block with this length in the first frame
  float bandwidth = 0.0f;   // 0: as the initialisation chooses
  bool stereo_prep = false;  // two-channel narrowing, off so that outputs compare with inputs
  bool stereo_tools = true;  // joint stereo may use mid/side and intensity
  bool intensity = true;     // with stereo_tools: intensity too
  int input_rate = 0;        // rate of pcm; 0: o.rate (no conversion)
  int input_channels = 0;    // channels of pcm; 0: o.channels
};

// Encodes interleaved float samples (16-bit units) at o.input_rate (or o.rate) into a whole
// flushed stream at o.rate.
// *delay receives the encoder delay the handle reports, *bandwidth the coded bandwidth in Hz.
std::vector<uint8_t> core_encode(const std::vector<float>& pcm, const core_options& o, int* delay = nullptr,
                                 float* bandwidth = nullptr);

struct walked_frame {
  size_t offset;
  int bytes;
  int padding;
  int main_data_begin;
  int max_big_values;
  int bitrate_index;
  int block_type[2][2];  // [granule][channel]; 0 for granules and channels the frame lacks
};
// Walks the frames from the start; fails with a message unless they are contiguous and sound,
// down to every granule's scalefactors and Huffman data ending exactly at its part2_3_length
// (the message names the frame, granule and channel).
bool walk_frames(const std::vector<uint8_t>& s, std::vector<walked_frame>* frames, std::string* why);

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes);
std::string run_command(const std::string& cmd, int* status);
bool have_tool(const std::string& name);

// Decodes with our own decoder (float output at 16-bit scale, no rate change, no limiter).
struct decoded {
  std::vector<float> samples;  // interleaved
  int channels = 0;
  int frames = 0;
  int failed_frames = 0;  // frames whose status was not a success or carried a CRC error, plus
                          // one when walk_frames refuses the stream
  std::string walk_error;  // what walk_frames said
};
decoded decode_ours(const std::vector<uint8_t>& stream, bool gapless);

// Lag (in sample frames, 0..max_lag) at which channel 0 of `out` best matches `in`.
int best_lag(const std::vector<float>& in, const std::vector<float>& out, int channels, int max_lag);
// SNR in dB of `out` shifted by lag against `in` (channel 0 frames), over the input's length.
double snr_db(const std::vector<float>& in, const std::vector<float>& out, int channels, int lag);

// Low-pass by a windowed-sinc FIR of 255 taps (zero phase), for comparing streams of
// different bandwidths over the band both keep.
std::vector<float> lowpass(const std::vector<float>& x, double cutoff, int rate);
// Mean over 20 ms segments of the SNR of `out` shifted by lag against `ref` (mono), each
// segment's value held within -10..35 dB.
double segmental_snr(const std::vector<float>& ref, const std::vector<float>& out, int lag, int rate);

// A scratch folder of a peer test, removed with the object.
struct core_scratch {
  std::string dir;
  core_scratch();
  ~core_scratch();
  std::string path(const std::string& name) const { return dir + "/" + name; }
};
std::vector<uint8_t> read_file(const std::string& path);
// Interleaved samples of a headerless 16-bit little-endian file.
std::vector<float> read_raw_s16(const std::string& path);
// Speech of espeak-ng, converted by sox to the rate and channels; empty when a tool fails.
std::vector<float> speech(const core_scratch& dir, int rate, int channels, const std::string& text);

// A mono WAV file of `pcm` (16-bit units) made by sox; false when sox fails.
bool write_wav(const core_scratch& dir, const std::vector<float>& pcm, int rate, const std::string& wav);
// Our stream beside lame's on the same input: lame at a constant bit rate, mono, quality
// lame_q, converting `wav` to `rate` itself; both decoded by ffmpeg, band-limited to the
// narrower of the two bandwidths and aligned to `ref` (the input at `rate`), then measured by
// segmental SNR. False, with the reason, when a tool fails.
struct quality_pair {
  double ours = 0, peer = 0, band = 0;
};
bool measure_beside_lame(const core_scratch& dir, const std::string& wav, const std::vector<uint8_t>& ours,
                         const std::vector<float>& ref, int rate, int bit_rate, int lame_q, quality_pair* out,
                         std::string* why);

// What ffmpeg with every error check reports on a file, and the error and warning lines of
// mpg123's test mode; both empty for a sound stream.
std::string ffmpeg_errors(const std::string& file);
std::string mpg123_problems(const std::string& file);
bool have_peer_tools();
