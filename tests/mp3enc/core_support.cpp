#include "core_support.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/wait.h>

#include "mp3enc/ancillary.h"
#include "mp3enc/analysis.h"
#include "mp3enc/framewriter.h"
#include "mp3enc/quant.h"

std::vector<uint8_t> core_encode(const std::vector<float>& pcm, const core_options& o) {
  const int nch = o.channels;
  const int version = o.rate >= 32000 ? 0 : o.rate >= 16000 ? 1 : 2;
  const int granules = version == 0 ? 2 : 1;
  mp3enc_framewriter* fw = nullptr;
  mp3enc_framewriter_create(&fw);
  const int32_t cfg[7] = {nch == 1 ? 3 : (o.joint ? 1 : 0), o.bit_rate, o.rate, o.crc ? 1 : 0, 0, 0, 0};
  mp3enc_framewriter_config(fw, cfg);
  const int S = mp3enc_framewriter_head_bits(fw);
  float bw = o.bandwidth;
  if (bw <= 0) {
    if (nch == 1) {
      bw = std::min(o.rate / 2.0f, 0.182f * o.bit_rate + 1810);
    } else {
      const int A = (o.bit_rate * 576 * granules) / o.rate - S;
      const float k = o.rate >= 32000 ? 1.85f : 1.39f;
      bw = std::min(o.rate / 2.0f, (o.rate / 2.0f) * (1.0f / 576) * A / (2 * granules * k));
    }
  }
  mp3enc_analysis_params ap{o.rate, o.bit_rate, nch, bw, o.joint ? 0 : 1, o.joint ? 0 : 1, o.joint ? 0 : 1};
  mp3enc_analysis* an = nullptr;
  mp3enc_analysis_create(&an, &ap);
  mp3enc_analysis_init(an, &ap);
  mp3enc_granule_analysis* ga = nullptr;
  mp3enc_granule_analysis_create(&ga);
  mp3enc_granule* gr[2] = {};
  mp3enc_granule_create(&gr[0]);
  mp3enc_granule_create(&gr[1]);
  mp3enc_quant* q = nullptr;
  mp3enc_quant_create(&q);

  // Bitrate index of the frame size and the padding cadence.
  int index = 0;
  for (int i = 1; i < 15; ++i) {
    int32_t dummy;
    (void)dummy;
    const int bits = mp3enc_framewriter_frame_bits(fw, i);
    const long long want = 8LL * ((576LL * granules / 8 * o.bit_rate) / o.rate);
    if (bits == want) index = i;
  }
  const long long num = 576LL * granules / 8 * o.bit_rate;  // bytes * rate per frame
  const int lower_bits = mp3enc_framewriter_frame_bits(fw, index);
  int R = (512 * granules - 2) * 4;
  if (lower_bits + R > 7680) R = std::max(0, (7680 - lower_bits) / 8) * 8;
  const int max_main = R + lower_bits - S;
  const int per_frame = std::min(max_main, (o.bit_rate * 576 / o.rate) * granules - S);
  mp3enc_quant_setup setup{nch, version, max_main, per_frame, per_frame / granules, 0.0f, 0,
                           5760 * bw / (o.rate * 0.5f), 0, o.bit_rate / nch, 0, o.effort};
  mp3enc_quant_init(q, &setup);

  std::vector<uint8_t> out;
  std::vector<uint8_t> buf(16384);
  const size_t frames_in = pcm.size() / nch;
  long long acc = 0;
  int padding = 0, mode_ext = 0, granule = 0;
  size_t pos = 0;
  int silent = 0;
  int32_t pending_gapless = o.gapless_length;
  std::vector<float> block(576 * nch);
  while (silent < 1201 + 576 || granule % granules != 0) {
    const size_t n = std::min<size_t>(576, frames_in - std::min(frames_in, pos));
    std::fill(block.begin(), block.end(), 0.0f);
    std::copy(pcm.begin() + pos * nch, pcm.begin() + (pos + n) * nch, block.begin());
    pos += n;
    if (n < 576) silent += int(576 - n);
    mp3enc_analysis_push(an, block.data(), nch, 576 * nch);
    const int g = granule % granules;
    if (g == 0) {
      mode_ext = 0;
      acc += num % o.rate;
      padding = 0;
      if (acc >= o.rate) {
        acc -= o.rate;
        padding = 1;
      }
      const int frame = lower_bits + 8 * padding;
      mp3enc_quant_add_bits(q, frame - S);
      mp3enc_quant_clear_saved(q);
    }
    mp3enc_analysis_frame(an, g, ga);
    if (nch == 2) mode_ext |= (ga->ms ? 2 : 0) | (ga->is ? 1 : 0);
    int32_t seven = 7;
    mp3enc_quant_granule(q, ga, gr[g], 0, nullptr, pending_gapless >= 0 ? &seven : nullptr);
    if (pending_gapless >= 0) {
      mp3enc_gapless_block(gr[g]->user_anc, 1201, uint32_t(pending_gapless));
      gr[g]->user_anc_bits = 64;
      gr[g]->used_bits += 64;
      pending_gapless = -1;
    }
    mp3enc_quant_track_saved(q, gr[g]->used_bits);
    if (g == granules - 1) {
      int32_t produced = 0;
      const int bits = mp3enc_write_frame(fw, gr, nullptr, index, padding, mode_ext, buf.data(), int32_t(buf.size()),
                                          &produced);
      mp3enc_quant_add_bits(q, S - bits);
      out.insert(out.end(), buf.begin(), buf.begin() + produced);
      mp3enc_framewriter_clear_output(fw);
    }
    ++granule;
  }
  int32_t produced = 0;
  mp3enc_framewriter_flush(fw, buf.data(), int32_t(buf.size()), &produced);
  out.insert(out.end(), buf.begin(), buf.begin() + produced);
  mp3enc_quant_free(q);
  mp3enc_granule_free(gr[0]);
  mp3enc_granule_free(gr[1]);
  mp3enc_granule_analysis_free(ga);
  mp3enc_analysis_free(an);
  mp3enc_framewriter_free(fw);
  return out;
}

namespace {

struct bit_reader {
  const uint8_t* p;
  size_t pos = 0;
  uint32_t get(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i, ++pos) v = (v << 1) | ((p[pos >> 3] >> (7 - (pos & 7))) & 1);
    return v;
  }
};

}  // namespace

bool walk_frames(const std::vector<uint8_t>& s, std::vector<walked_frame>* frames, std::string* why) {
  static const int rates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
  static const int kbps[3][15] = {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
                                  {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
                                  {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
  size_t off = 0;
  int reservoir = 0;  // main-data bytes the stream holds before the current frame's slot
  while (off + 4 <= s.size()) {
    const uint8_t* h = s.data() + off;
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) {
      *why = "no sync at " + std::to_string(off);
      return false;
    }
    const int vbits = (h[1] >> 3) & 3;
    const int version = vbits == 3 ? 0 : vbits == 2 ? 1 : vbits == 0 ? 2 : -1;
    if (version < 0 || ((h[1] >> 1) & 3) != 1) {
      *why = "bad version or layer at " + std::to_string(off);
      return false;
    }
    const bool crc = !(h[1] & 1);
    const int bi = h[2] >> 4, si = (h[2] >> 2) & 3, pad = (h[2] >> 1) & 1;
    const int mono = (h[3] >> 6) == 3;
    if (bi == 0 || bi == 15 || si == 3) {
      *why = "bad bitrate or rate index at " + std::to_string(off);
      return false;
    }
    const int rate = rates[version][si];
    const int samples = version == 0 ? 1152 : 576;
    const int bytes = samples / 8 * kbps[version][bi] * 1000 / rate + pad;
    if (off + size_t(bytes) > s.size()) {
      *why = "truncated frame at " + std::to_string(off);
      return false;
    }
    bit_reader r{h + 4 + (crc ? 2 : 0)};
    const int mdb = int(r.get(version == 0 ? 9 : 8));
    const int limit = version == 0 ? 511 : 255;
    if (mdb > limit || mdb > reservoir) {
      *why = "main_data_begin " + std::to_string(mdb) + " beyond the reservoir at " + std::to_string(off);
      return false;
    }
    const int nch = mono ? 1 : 2;
    r.get(version == 0 ? (mono ? 5 : 3) : (mono ? 1 : 2));
    if (version == 0) r.get(4 * nch);
    int max_bv = 0, main_bits = 0;
    for (int g = 0; g < (version == 0 ? 2 : 1); ++g)
      for (int c = 0; c < nch; ++c) {
        main_bits += int(r.get(12));
        const int bv = int(r.get(9));
        max_bv = std::max(max_bv, bv);
        r.get(8);
        r.get(version == 0 ? 4 : 9);
        if (r.get(1)) {
          r.get(2 + 1 + 10 + 9);
        } else {
          r.get(15 + 7);
        }
        r.get(version == 0 ? 3 : 2);
      }
    if (max_bv > 288) {
      *why = "big_values above 288 at " + std::to_string(off);
      return false;
    }
    const int side = version == 0 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const int slot = bytes - 4 - (crc ? 2 : 0) - side;
    if ((main_bits + 7) / 8 > mdb + slot) {
      *why = "main data larger than its room at " + std::to_string(off);
      return false;
    }
    reservoir = std::min(reservoir + slot, 4096);
    frames->push_back({off, bytes, pad, mdb, max_bv, bi});
    off += size_t(bytes);
  }
  if (off != s.size()) {
    *why = "trailing bytes";
    return false;
  }
  return true;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::string run_command(const std::string& cmd, int* status) {
  std::string out;
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) {
    *status = -1;
    return out;
  }
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  const int st = pclose(p);
  *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return out;
}

bool have_tool(const std::string& name) {
  int st;
  run_command("command -v " + name + " >/dev/null", &st);
  return st == 0;
}

#include "mp3dec/mp3dec.h"

decoded decode_ours(const std::vector<uint8_t>& stream, bool gapless) {
  decoded d;
  MP3Decoder* dec = nullptr;
  if (MP3CreateDecoder(&dec, 1, 0, 0, gapless ? 1 : 0, 0) != SSC_OK) return d;
  size_t fed = 0;
  std::vector<uint8_t> out(MP3DEC_MAX_FRAME_OUTPUT_BYTES);
  for (int guard = 0; guard < 1000000; ++guard) {
    while (fed < stream.size() && dec->GetFreeInputSpace() > 0) {
      const int n = std::min<int>(dec->GetFreeInputSpace(), int(stream.size() - fed));
      fed += size_t(dec->Feed(stream.data() + fed, n));
    }
    if (fed >= stream.size()) dec->SetEndOfInput();
    int bytes = 0;
    const SSC s = dec->DecodeFrame(out.data(), int(out.size()), &bytes, nullptr, nullptr, 0);
    if (s == SSC_SYNC_EOF || dec->IsEndOfStream()) break;
    if (s == SSC_SYNC_NEED_DATA) continue;
    ++d.frames;
    if (!SSC_SUCCESS(s) || s == SSC_INFO_CRC_ERROR || s == SSC_INFO_NOT_ENOUGH_MAIN_DATA) ++d.failed_frames;
    const MP3FrameInfo* fi = dec->GetFrameInfo();
    d.channels = int(fi->outputChannels);
    const float* f = reinterpret_cast<const float*>(out.data());
    for (int i = 0; i < bytes / 4; ++i) d.samples.push_back(f[i]);
  }
  dec->Release();
  return d;
}

int best_lag(const std::vector<float>& in, const std::vector<float>& out, int channels, int max_lag) {
  const size_t n = in.size() / channels;
  double best = -1e300;
  int lag = 0;
  for (int l = 0; l <= max_lag; ++l) {
    double acc = 0;
    for (size_t i = 0; i < n && (i + size_t(l)) * channels < out.size(); ++i)
      acc += double(in[i * channels]) * out[(i + size_t(l)) * channels];
    if (acc > best) {
      best = acc;
      lag = l;
    }
  }
  return lag;
}

double snr_db(const std::vector<float>& in, const std::vector<float>& out, int channels, int lag) {
  const size_t n = in.size() / channels;
  double s = 0, e = 0;
  for (size_t i = 0; i < n; ++i) {
    const size_t j = (i + size_t(lag)) * channels;
    const double o = j < out.size() ? out[j] : 0.0;
    s += double(in[i * channels]) * in[i * channels];
    e += (in[i * channels] - o) * (in[i * channels] - o);
  }
  return 10 * std::log10(s / std::max(e, 1e-9));
}

#include <cstdlib>
#include <filesystem>

core_scratch::core_scratch() {
  char tmpl[] = "/tmp/mp3enc_core_XXXXXX";
  const char* d = mkdtemp(tmpl);
  dir = d ? d : "/tmp";
}

core_scratch::~core_scratch() {
  std::error_code ec;
  if (dir != "/tmp") std::filesystem::remove_all(dir, ec);
}

std::vector<uint8_t> read_file(const std::string& path) {
  std::vector<uint8_t> v;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return v;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) v.insert(v.end(), buf, buf + n);
  std::fclose(f);
  return v;
}

std::vector<float> read_raw_s16(const std::string& path) {
  const auto b = read_file(path);
  std::vector<float> v(b.size() / 2);
  for (size_t i = 0; i < v.size(); ++i) v[i] = float(int16_t(uint16_t(b[2 * i] | (b[2 * i + 1] << 8))));
  return v;
}

std::vector<float> speech(const core_scratch& dir, int rate, int channels, const std::string& text) {
  int st = 0;
  const std::string wav = dir.path("speech.wav"), raw = dir.path("speech.raw");
  run_command("espeak-ng -w '" + wav + "' '" + text + "'", &st);
  if (st != 0) return {};
  run_command("sox '" + wav + "' -t raw -e signed -b 16 -L -r " + std::to_string(rate) + " -c " +
                  std::to_string(channels) + " '" + raw + "'",
              &st);
  if (st != 0) return {};
  return read_raw_s16(raw);
}
