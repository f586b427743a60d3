#include "core_support.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <regex>
#include <sys/wait.h>

#include "mp3enc/mp3enc.h"

std::vector<uint8_t> core_encode(const std::vector<float>& pcm, const core_options& o, int* delay) {
  std::vector<uint8_t> out;
  const int in_rate = o.input_rate ? o.input_rate : o.rate;
  const int in_channels = o.input_channels ? o.input_channels : o.channels;
  mp3enc_handle* h = mp3enc_open(in_rate, in_channels, 1);
  if (!h) return out;
  mp3enc_config cfg;
  cfg.output_rate = uint32_t(o.rate);
  cfg.channel_mode = o.channels == 1 ? 1 : o.joint ? 2 : 4;
  cfg.sbr_mode = 2;
  cfg.bit_rate = uint32_t(o.bit_rate);
  if (!mp3enc_set_config(h, &cfg)) {
    mp3enc_close(h);
    return out;
  }
  mp3enc_params p = *mp3enc_get_params(h);
  p.quality = o.effort;
  p.crc = o.crc ? 1 : 0;
  p.stereo_prep = o.stereo_prep ? 1 : 0;
  p.intensity = p.mid_side = o.stereo_tools ? 1 : 0;
  p.bandwidth = o.bandwidth;
  p.length = o.gapless_length > 0 ? o.gapless_length : 0;
  if (!mp3enc_set_params(h, &p)) {
    mp3enc_close(h);
    return out;
  }
  if (delay) *delay = mp3enc_get_params(h)->delay;
  std::vector<uint8_t> buf(8192);
  const uint8_t* in = reinterpret_cast<const uint8_t*>(pcm.data());
  const size_t total = pcm.size() * sizeof(float);
  size_t pos = 0;
  while (pos < total) {
    int32_t want = 0;
    mp3enc_get_input_size(h, &want);
    const int32_t n = int32_t(std::min<size_t>(size_t(std::max(want, 4)), total - pos));
    int32_t consumed = 0;
    const int32_t r = mp3enc_encode(h, in + pos, n, &consumed, buf.data(), int32_t(buf.size()), nullptr, nullptr);
    if (r < 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + r);
    pos += size_t(consumed);
    if (consumed == 0 && r == 0) break;
  }
  for (int guard = 0; guard < 10000; ++guard) {
    int32_t consumed = 0;
    const int32_t r = mp3enc_encode(h, nullptr, 0, &consumed, buf.data(), int32_t(buf.size()), nullptr, nullptr);
    if (r <= 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + r);
  }
  mp3enc_close(h);
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
    int types[2][2] = {};
    for (int g = 0; g < (version == 0 ? 2 : 1); ++g)
      for (int c = 0; c < nch; ++c) {
        main_bits += int(r.get(12));
        const int bv = int(r.get(9));
        max_bv = std::max(max_bv, bv);
        r.get(8);
        r.get(version == 0 ? 4 : 9);
        if (r.get(1)) {
          types[g][c] = int(r.get(2));
          r.get(1 + 10 + 9);
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
    frames->push_back({off, bytes, pad, mdb, max_bv, bi, {{types[0][0], types[0][1]}, {types[1][0], types[1][1]}}});
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

std::vector<float> lowpass(const std::vector<float>& x, double cutoff, int rate) {
  const int taps = 255, h = taps / 2;
  std::vector<double> k(taps);
  const double fc = cutoff / rate;
  double sum = 0;
  for (int i = 0; i < taps; ++i) {
    const int n = i - h;
    const double sinc = n == 0 ? 2 * fc : std::sin(2 * M_PI * fc * n) / (M_PI * n);
    const double w = 0.42 - 0.5 * std::cos(2 * M_PI * i / (taps - 1)) + 0.08 * std::cos(4 * M_PI * i / (taps - 1));
    k[size_t(i)] = sinc * w;
    sum += k[size_t(i)];
  }
  std::vector<float> y(x.size());
  for (size_t n = 0; n < x.size(); ++n) {
    double acc = 0;
    for (int i = 0; i < taps; ++i) {
      const long j = long(n) + i - h;
      if (j >= 0 && j < long(x.size())) acc += k[size_t(i)] / sum * x[size_t(j)];
    }
    y[n] = float(acc);
  }
  return y;
}

double segmental_snr(const std::vector<float>& ref, const std::vector<float>& out, int lag, int rate) {
  const size_t seg = size_t(rate / 50);
  double total = 0;
  int count = 0;
  for (size_t s = 0; s + seg <= ref.size(); s += seg) {
    double e = 0, d = 0;
    for (size_t i = s; i < s + seg; ++i) {
      const size_t j = i + size_t(lag);
      const double o = j < out.size() ? out[j] : 0.0;
      e += double(ref[i]) * ref[i];
      d += (ref[i] - o) * (ref[i] - o);
    }
    double v = 10 * std::log10((e + 1e-9) / (d + 1e-9));
    v = std::min(35.0, std::max(-10.0, v));
    total += v;
    ++count;
  }
  return count ? total / count : 0.0;
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

std::string ffmpeg_errors(const std::string& file) {
  int st = 0;
  std::string out = run_command(
      "ffmpeg -nostdin -v error -err_detect crccheck+bitstream+buffer+explode -xerror -i '" + file + "' -f null -",
      &st);
  if (st != 0 && out.empty()) out = "exit " + std::to_string(st);
  return out;
}

std::string mpg123_problems(const std::string& file) {
  int st = 0;
  const std::string out = run_command("mpg123 -t '" + file + "'", &st);
  std::string bad;
  size_t pos = 0;
  while (pos < out.size()) {
    size_t end = out.find('\n', pos);
    if (end == std::string::npos) end = out.size();
    const std::string line = out.substr(pos, end - pos);
    if (line.find("rror") != std::string::npos || line.find("arning") != std::string::npos ||
        line.find("Problem") != std::string::npos)
      bad += line + "\n";
    pos = end + 1;
  }
  if (st != 0) bad += "exit " + std::to_string(st);
  return bad;
}

bool have_peer_tools() {
  return have_tool("ffmpeg") && have_tool("mpg123") && have_tool("sox") && have_tool("espeak-ng");
}

bool write_wav(const core_scratch& dir, const std::vector<float>& pcm, int rate, const std::string& wav) {
  std::vector<uint8_t> bytes(pcm.size() * 2);
  for (size_t i = 0; i < pcm.size(); ++i) {
    const int16_t v = int16_t(pcm[i]);
    bytes[2 * i] = uint8_t(v & 0xFF);
    bytes[2 * i + 1] = uint8_t((v >> 8) & 0xFF);
  }
  const std::string raw = dir.path("wav_input.raw");
  if (!write_file(raw, bytes)) return false;
  int st = 0;
  run_command("sox -t raw -e signed -b 16 -L -r " + std::to_string(rate) + " -c 1 '" + raw + "' '" + wav + "'", &st);
  return st == 0;
}

bool measure_beside_lame(const core_scratch& dir, const std::string& wav, const std::vector<uint8_t>& ours,
                         const std::vector<float>& ref, int rate, int bit_rate, int lame_q, quality_pair* out,
                         std::string* why) {
  const std::string lame_mp3 = dir.path("lame.mp3"), our_mp3 = dir.path("ours.mp3");
  int st = 0;
  const std::string lame_out = run_command("lame --cbr -m m -b " + std::to_string(bit_rate / 1000) + " -q " +
                                               std::to_string(lame_q) + " --resample " +
                                               (rate == 22050 ? std::string("22.05") : std::string("44.1")) +
                                               " '" + wav + "' '" + lame_mp3 + "'",
                                           &st);
  if (st != 0) return *why = "lame: " + lame_out, false;
  double lame_bw = rate / 2.0;
  std::smatch m;
  if (std::regex_search(lame_out, m, std::regex("transition band: *([0-9]+) Hz"))) lame_bw = std::stod(m[1]);
  if (!write_file(our_mp3, ours)) return *why = "cannot write " + our_mp3, false;
  const double ours_bw = std::min(rate / 2.0f, 0.182f * float(bit_rate) + 1810);
  out->band = std::min(ours_bw, lame_bw);
  const std::vector<float> band_ref = lowpass(ref, out->band, rate);
  for (int k = 0; k < 2; ++k) {
    const std::string dec = dir.path("dec.raw");
    run_command("ffmpeg -nostdin -v error -y -i '" + (k ? lame_mp3 : our_mp3) + "' -f s16le -ac 1 '" + dec + "'", &st);
    if (st != 0) return *why = "ffmpeg cannot decode " + std::string(k ? "lame's" : "our") + " stream", false;
    const std::vector<float> decoded = lowpass(read_raw_s16(dec), out->band, rate);
    const int lag = best_lag(band_ref, decoded, 1, 3000);
    (k ? out->peer : out->ours) = segmental_snr(band_ref, decoded, lag, rate);
  }
  return true;
}
