#include "core_support.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <regex>
#include <sys/wait.h>

#include "mp3dec/l3tables.h"
#include "mp3enc/mp3enc.h"

std::vector<uint8_t> core_encode(const std::vector<float>& pcm, const core_options& o, int* delay,
                                 float* bandwidth) {
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
  p.mid_side = o.stereo_tools ? 1 : 0;
  p.intensity = o.stereo_tools && o.intensity ? 1 : 0;
  p.bandwidth = o.bandwidth;
  p.length = o.gapless_length > 0 ? o.gapless_length : 0;
  if (!mp3enc_set_params(h, &p)) {
    mp3enc_close(h);
    return out;
  }
  if (delay) *delay = mp3enc_get_params(h)->delay;
  if (bandwidth) *bandwidth = mp3enc_get_params(h)->bandwidth;
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

namespace {

struct side_channel {
  int part2_3_length, big_values, scalefac_compress, window_switching, block_type, mixed;
  int table_select[3], region0_count, region1_count, preflag, scalefac_scale, count1_table;
};

// One Huffman code of the decoder's tables at bit position pos of main data.
uint32_t huff_code(const std::vector<uint8_t>& m, size_t& pos, const uint32_t* tab, int fbits) {
  auto peek32 = [&](size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 32; ++i, ++at) {
      const size_t byte = at >> 3;
      v = (v << 1) | (byte < m.size() ? (m[byte] >> (7 - (at & 7))) & 1 : 0);
    }
    return v;
  };
  const uint32_t peek = peek32(pos);
  uint32_t e = tab[peek >> (32 - fbits)];
  if (e & 0x80000000u) {
    const int sb = int((e >> 24) & 31);
    e = tab[(e & 0xFFFFFFu) + ((peek << fbits) >> (32 - sb))];
    pos += size_t(fbits) + (e >> 16);
  } else {
    pos += e >> 16;
  }
  return e & 0xFFFFu;
}

// Bits of the scalefactors of one granule's channel, as a decoder reads them.
int part2_bits(const side_channel& g, int version, int gr, const int scfsi[4], bool intensity_right) {
  const bool short_blocks = g.window_switching && g.block_type == 2;
  if (version == 0) {
    const int s1 = l3_slen[g.scalefac_compress][0], s2 = l3_slen[g.scalefac_compress][1];
    if (short_blocks) return g.mixed ? 17 * s1 + 18 * s2 : 18 * s1 + 18 * s2;
    const int counts[4] = {6, 5, 5, 5};
    int bits = 0;
    for (int p = 0; p < 4; ++p)
      if (gr == 0 || !scfsi[p]) bits += counts[p] * (p < 2 ? s1 : s2);
    return bits;
  }
  int slen[4] = {}, tab;
  const int sfc = g.scalefac_compress;
  if (intensity_right) {
    const int isc = sfc >> 1;
    if (isc < 180) {
      slen[0] = isc / 36, slen[1] = (isc % 36) / 6, slen[2] = isc % 6, tab = 3;
    } else if (isc < 244) {
      const int t = isc - 180;
      slen[0] = (t % 64) >> 4, slen[1] = (t % 16) >> 2, slen[2] = t % 4, tab = 4;
    } else {
      const int t = isc - 244;
      slen[0] = t / 3, slen[1] = t % 3, tab = 5;
    }
  } else if (sfc < 400) {
    slen[0] = (sfc >> 4) / 5, slen[1] = (sfc >> 4) % 5, slen[2] = (sfc % 16) >> 2, slen[3] = sfc % 4, tab = 0;
  } else if (sfc < 500) {
    const int t = sfc - 400;
    slen[0] = (t >> 2) / 5, slen[1] = (t >> 2) % 5, slen[2] = t % 4, tab = 1;
  } else {
    const int t = sfc - 500;
    slen[0] = t / 3, slen[1] = t % 3, tab = 2;
  }
  const uint8_t* nr = l3_nr_of_sfb[tab][short_blocks ? (g.mixed ? 2 : 1) : 0];
  int bits = 0;
  for (int p = 0; p < 4; ++p) bits += nr[p] * slen[p];
  return bits;
}

// Reads one granule's channel from bit `start` of the main data: scalefactors, big values by
// region and count1 quadruples up to its end (ISO/IEC 11172-3 2.4.3.4; a last quadruple that
// runs past the end is one too many). Empty when it ends exactly at part2_3_length.
std::string check_granule(const std::vector<uint8_t>& m, size_t start, const side_channel& g, int version,
                          int sfreq_row, int gr, const int scfsi[4], bool intensity_right) {
  const size_t end = start + size_t(g.part2_3_length);
  size_t pos = start + size_t(part2_bits(g, version, gr, scfsi, intensity_right));
  if (pos > end) return "scalefactors run " + std::to_string(pos - end) + " bits past part2_3_length";
  const int16_t* lb = l3_sfb_long[sfreq_row];
  int r1, r2;
  if (g.window_switching) {
    r1 = (g.block_type == 2 && !g.mixed) ? 3 * l3_sfb_short[sfreq_row][3] : lb[8];
    r2 = 576;
  } else {
    const int i1 = g.region0_count + 1, i2 = g.region0_count + g.region1_count + 2;
    r1 = i1 > 22 ? 576 : lb[i1];
    r2 = i2 > 22 ? 576 : lb[i2];
  }
  const int bv = 2 * g.big_values;
  r1 = std::min(r1, bv);
  r2 = std::max(r1, std::min(r2, bv));
  int i = 0;
  for (int region = 0; region < 3; ++region) {
    const int region_end = region == 0 ? r1 : region == 1 ? r2 : bv;
    if (i >= region_end) continue;
    const l3_huff_table& t = l3_huff_tables[g.table_select[region]];
    if (!t.valid) return "table " + std::to_string(g.table_select[region]) + " does not exist";
    if (t.first_bits == 0) {
      i = region_end;
      continue;
    }
    for (; i < region_end; i += 2) {
      const uint32_t v = huff_code(m, pos, l3_huff_data + t.offset, t.first_bits);
      int x = int(v >> 4), y = int(v & 15);
      if (t.linbits && x == 15) pos += size_t(t.linbits);
      if (x) ++pos;
      if (t.linbits && y == 15) pos += size_t(t.linbits);
      if (y) ++pos;
    }
  }
  if (pos > end)
    return "big values run " + std::to_string(pos - end) + " bits past part2_3_length " +
           std::to_string(g.part2_3_length);
  const l3_huff_table& c1 = l3_count1_tables[g.count1_table];
  while (pos < end && i <= 572) {
    const uint32_t v = huff_code(m, pos, l3_huff_data + c1.offset, c1.first_bits);
    pos += size_t(((v >> 3) & 1) + ((v >> 2) & 1) + ((v >> 1) & 1) + (v & 1));
    if (pos > end) return "a count1 quadruple runs " + std::to_string(pos - end) + " bits past part2_3_length";
    i += 4;
  }
  if (pos != end)
    return std::to_string(end - pos) + " bits of part2_3_length " + std::to_string(g.part2_3_length) +
           " left after line 576";
  return "";
}

}  // namespace

bool walk_frames(const std::vector<uint8_t>& s, std::vector<walked_frame>* frames, std::string* why) {
  static const int rates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
  static const int kbps[3][15] = {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
                                  {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
                                  {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
  size_t off = 0;
  int reservoir = 0;  // main-data bytes the stream holds before the current frame's slot
  std::vector<uint8_t> main;  // the main data of every frame so far, slot after slot
  while (off + 4 <= s.size()) {
    const uint8_t* h = s.data() + off;
    const std::string at = "frame " + std::to_string(frames->size()) + " at " + std::to_string(off);
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
    const bool intensity = (h[3] >> 6) == 1 && ((h[3] >> 4) & 1);
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
    const int ngr = version == 0 ? 2 : 1;
    r.get(version == 0 ? (mono ? 5 : 3) : (mono ? 1 : 2));
    int scfsi[2][4] = {};
    if (version == 0)
      for (int c = 0; c < nch; ++c)
        for (int p = 0; p < 4; ++p) scfsi[c][p] = int(r.get(1));
    int max_bv = 0, main_bits = 0;
    int types[2][2] = {};
    side_channel side[2][2] = {};
    for (int g = 0; g < ngr; ++g)
      for (int c = 0; c < nch; ++c) {
        side_channel& sc = side[g][c];
        sc.part2_3_length = int(r.get(12));
        main_bits += sc.part2_3_length;
        sc.big_values = int(r.get(9));
        max_bv = std::max(max_bv, sc.big_values);
        r.get(8);
        sc.scalefac_compress = int(r.get(version == 0 ? 4 : 9));
        sc.window_switching = int(r.get(1));
        if (sc.window_switching) {
          types[g][c] = sc.block_type = int(r.get(2));
          sc.mixed = int(r.get(1));
          for (int k = 0; k < 2; ++k) sc.table_select[k] = int(r.get(5));
          r.get(9);
        } else {
          for (int k = 0; k < 3; ++k) sc.table_select[k] = int(r.get(5));
          sc.region0_count = int(r.get(4));
          sc.region1_count = int(r.get(3));
        }
        if (version == 0) sc.preflag = int(r.get(1));
        sc.scalefac_scale = int(r.get(1));
        sc.count1_table = int(r.get(1));
        if (sc.window_switching && sc.block_type == 0) {
          *why = at + ": window switching with block type 0";
          return false;
        }
      }
    if (max_bv > 288) {
      *why = "big_values above 288 at " + std::to_string(off);
      return false;
    }
    const int side_bytes = version == 0 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const int slot = bytes - 4 - (crc ? 2 : 0) - side_bytes;
    if ((main_bits + 7) / 8 > mdb + slot) {
      *why = "main data larger than its room at " + std::to_string(off);
      return false;
    }
    // Every granule's scalefactors and Huffman data must end exactly where its part2_3_length
    // says: a decoder that trusts the length reads the next granule from there.
    const size_t first = main.size() - size_t(mdb);
    main.insert(main.end(), h + bytes - slot, h + bytes);
    size_t bit = first * 8;
    for (int g = 0; g < ngr; ++g)
      for (int c = 0; c < nch; ++c) {
        const std::string bad = check_granule(main, bit, side[g][c], version, version * 3 + si, g, scfsi[c],
                                              intensity && c == 1);
        if (!bad.empty()) {
          *why = at + ", granule " + std::to_string(g) + ", channel " + std::to_string(c) + ": " + bad;
          return false;
        }
        bit += size_t(side[g][c].part2_3_length);
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
  std::vector<walked_frame> walked;
  if (!walk_frames(stream, &walked, &d.walk_error)) ++d.failed_frames;
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
  run_command("sox -R '" + wav + "' -t raw -e signed -b 16 -L -r " + std::to_string(rate) + " -c " +
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
  run_command("sox -R -t raw -e signed -b 16 -L -r " + std::to_string(rate) + " -c 1 '" + raw + "' '" + wav + "'", &st);
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
