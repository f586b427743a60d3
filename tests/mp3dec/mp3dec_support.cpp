#include "mp3dec_support.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "mp3dec/l3dec.h"

std::vector<uint8_t> side_info(const frame_spec& f, int nch, const std::vector<const gr_side*>& grs) {
  bit_writer w;
  const bool m1 = f.version == 0;
  w.put(0, m1 ? 9 : 8);
  w.put(0, m1 ? (nch == 1 ? 5 : 3) : (nch == 1 ? 1 : 2));
  if (m1) w.put(0, 4 * nch);
  for (const gr_side* g : grs) {
    w.put(uint32_t(g->part2_3), 12);
    w.put(uint32_t(g->big_values), 9);
    w.put(uint32_t(g->global_gain), 8);
    w.put(uint32_t(g->sfc), m1 ? 4 : 9);
    w.put(uint32_t(g->ws), 1);
    if (g->ws) {
      w.put(uint32_t(g->block_type), 2);
      w.put(uint32_t(g->mixed), 1);
      w.put(uint32_t(g->table_select[0]), 5);
      w.put(uint32_t(g->table_select[1]), 5);
      for (int i = 0; i < 3; ++i) w.put(uint32_t(g->subblock_gain[i]), 3);
    } else {
      for (int i = 0; i < 3; ++i) w.put(uint32_t(g->table_select[i]), 5);
      w.put(uint32_t(g->region0), 4);
      w.put(uint32_t(g->region1), 3);
    }
    if (m1) w.put(uint32_t(g->preflag), 1);
    w.put(uint32_t(g->sf_scale), 1);
    w.put(uint32_t(g->count1), 1);
  }
  return w.bytes;
}

uint32_t frame_header_word(const frame_spec& f) {
  const uint32_t b20 = f.version == 2 ? 0 : 1;
  const uint32_t b19 = f.version == 0 ? 1 : 0;
  return 0xFFE00000u | (b20 << 20) | (b19 << 19) | (1u << 17) | (uint32_t(f.crc ? 0 : 1) << 16) |
         (uint32_t(f.bitrate_index) << 12) | (uint32_t(f.rate_index) << 10) |
         (uint32_t(f.padding) << 9) | (uint32_t(f.mode) << 6) | (uint32_t(f.mode_ext) << 4);
}

int frame_bytes(const frame_spec& f) {
  static const int br1[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  static const int br2[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  static const int rates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
  const int br = (f.version == 0 ? br1 : br2)[f.bitrate_index] * 1000;
  const int spf = f.version == 0 ? 1152 : 576;
  return br / 8 * spf / rates[f.version][f.rate_index] + f.padding;
}

int side_bytes(const frame_spec& f) {
  if (f.version == 0) return f.mode == 3 ? 17 : 32;
  return f.mode == 3 ? 9 : 17;
}

std::vector<uint8_t> build_frame(const frame_spec& f) {
  const int n = frame_bytes(f);
  std::vector<uint8_t> out(size_t(n), 0);
  const uint32_t w = frame_header_word(f);
  out[0] = uint8_t(w >> 24);
  out[1] = uint8_t(w >> 16);
  out[2] = uint8_t(w >> 8);
  out[3] = uint8_t(w);
  const int hdr = f.crc ? 6 : 4;
  const int sb = side_bytes(f);
  for (int i = 0; i < sb && i < int(f.side.size()); ++i) out[size_t(hdr + i)] = f.side[size_t(i)];
  for (size_t i = 0; i < f.main.size() && hdr + sb + int(i) < n; ++i) out[size_t(hdr + sb) + i] = f.main[i];
  if (f.crc) {
    uint16_t crc = 0xFFFF;
    auto upd = [&](uint8_t byte) {
      for (int i = 7; i >= 0; --i) {
        const int bit = (byte >> i) & 1;
        const int top = (crc >> 15) & 1;
        crc = uint16_t(crc << 1);
        if (bit ^ top) crc ^= 0x8005;
      }
    };
    upd(out[2]);
    upd(out[3]);
    for (int i = 0; i < sb; ++i) upd(out[size_t(6 + i)]);
    out[4] = uint8_t(crc >> 8);
    out[5] = uint8_t(crc);
  }
  return out;
}

std::vector<uint8_t> repeat_frames(const frame_spec& f, int count) {
  std::vector<uint8_t> out;
  const std::vector<uint8_t> one = build_frame(f);
  for (int i = 0; i < count; ++i) out.insert(out.end(), one.begin(), one.end());
  return out;
}

std::vector<uint8_t> gapless_block(uint32_t delay, uint32_t length) {
  std::vector<uint8_t> b = {0xB0, uint8_t(delay >> 8), uint8_t(delay), uint8_t(length >> 24),
                            uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length)};
  b.push_back(l3_crc8(b.data(), 7));
  return b;
}

decode_result decode_stream(const std::vector<uint8_t>& data, int float_output, int no_crc,
                            int force44100, int gapless, int limiter, int capacity) {
  decode_result r;
  MP3Decoder* d = nullptr;
  if (MP3CreateDecoder(&d, float_output, no_crc, force44100, gapless, limiter) != SSC_OK) return r;
  if (capacity <= 0) capacity = MP3DEC_MAX_FRAME_OUTPUT_BYTES;
  std::vector<uint8_t> buf(size_t(capacity) + 64, 0xEE);
  size_t pos = 0;
  for (int guard = 0; guard < 10000000; ++guard) {
    if (pos < data.size()) {
      pos += size_t(d->Feed(data.data() + pos, int(data.size() - pos)));
      if (pos >= data.size()) d->SetEndOfInput();
    } else if (guard == 0) {
      d->SetEndOfInput();
    }
    int bytes = 0;
    const SSC s = d->DecodeFrame(buf.data(), capacity, &bytes, nullptr, nullptr, 0);
    r.statuses.push_back(s);
    if (s == SSC_SYNC_EOF) break;
    if (SSC_SUCCESS(s)) {
      ++r.frames;
      r.pcm.insert(r.pcm.end(), buf.begin(), buf.begin() + bytes);
    } else if (s == SSC_DEC_BUFFER_TOO_SMALL) {
      break;
    }
  }
  r.eos = d->IsEndOfStream();
  d->Release();
  return r;
}

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool write_file(const std::string& path, const std::vector<uint8_t>& data) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

std::vector<float> as_floats(const std::vector<uint8_t>& bytes) {
  std::vector<float> out(bytes.size() / 4);
  std::memcpy(out.data(), bytes.data(), out.size() * 4);
  return out;
}

bool have_tool(const char* tool) { return run_quiet(std::string("command -v ") + tool) == 0; }

int run_quiet(const std::string& command) { return std::system(("(" + command + ") >/dev/null 2>&1").c_str()); }

scratch_dir::scratch_dir() {
  char tmpl[] = "/tmp/mp3dec_peer_XXXXXX";
  const char* d = mkdtemp(tmpl);
  dir = d ? d : "/tmp";
}

scratch_dir::~scratch_dir() {
  std::error_code ec;
  if (dir != "/tmp") std::filesystem::remove_all(dir, ec);
}

comparison compare(const std::vector<float>& ours, const std::vector<float>& ref, size_t offset) {
  comparison c;
  double se = 0.0;
  for (size_t i = 0; i + offset < ours.size() && i < ref.size(); ++i) {
    const double y = double(ref[i]) * 32768.0;
    if (std::fabs(y) > 32767.0) continue;
    const double d = double(ours[i + offset]) - y;
    se += d * d;
    c.peak = std::max(c.peak, std::fabs(d));
    ++c.compared;
  }
  c.rms = c.compared ? std::sqrt(se / double(c.compared)) : 0.0;
  return c;
}

std::vector<float> mpg123_f32(const scratch_dir& dir, const std::string& mp3) {
  const std::string out = dir.path("ref.f32");
  if (run_quiet("mpg123 -q --no-gapless -e f32 -s " + mp3 + " > " + out) != 0) return {};
  return as_floats(read_file(out));
}
