// Stream information, duration and seeking.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "mp3dec/bitbuf.h"
#include "mp3dec/mp3dec.h"
#include "mp3dec/mp3info.h"
#include "mp3dec/sbrdec.h"

namespace {

struct value_stats {
  int64_t count = 0, sum = 0;
  int64_t first = 0, min = 0, max = 0;
  bool constant = true;
  void add(int64_t v) {
    if (count == 0) {
      first = min = max = v;
    } else {
      if (v != first) constant = false;
      if (v < min) min = v;
      if (v > max) max = v;
    }
    ++count;
    sum += v;
  }
};

struct period_detector {
  int64_t kept[4] = {0, 0, 0, 0};
  bool broken[5] = {false, false, false, false, false};
  int64_t index = 0;
  void add(int64_t v) {
    if (v < 0) return;
    if (index < 4) kept[index] = v;
    for (int p = 1; p <= 4; ++p)
      if (index >= p && v != kept[index % p]) broken[p] = true;
    ++index;
  }
  int period() const {
    for (int p = 1; p <= 4; ++p)
      if (!broken[p]) return p;
    return 0;
  }
  int64_t period_sum() const {
    int64_t s = 0;
    for (int i = 0; i < period(); ++i) s += kept[i];
    return s;
  }
};

uint32_t be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
uint32_t be16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }

uint32_t clamp_to_u32(double v, double hi) {
  if (!(v > 0.0)) return 0;  // also NaN
  if (v > hi) v = hi;
  if (v > 4294967295.0) v = 4294967295.0;
  return uint32_t(v);
}

class MP3DecoderInfoImpl final : public MP3DecoderInfo {
 public:
  MP3DecoderInfoImpl() {
    std::memset(&info_, 0, sizeof(info_));
    info_.firstFrame = -1;
    std::snprintf(date_, sizeof(date_), "%s", "Jul 29 2005");
    std::snprintf(version_, sizeof(version_), "%s", "1.4.3");
  }
  void Release() override { delete this; }
  bool Open(const uint8_t* head, int length, uint32_t fileSize) override;
  const MP3StreamInfo* GetInfo() override { return &info_; }
  uint32_t PercentToOffset(float percent) override;
  uint32_t TimeToOffset(uint32_t milliseconds) override;
  void GetVersion(char* out) override;

 private:
  double frame_ms() const {
    const uint32_t rate = wave_.sample_rate;
    if (rate == 0) return 0.0;
    return (rate > 24000 ? 1152.0 : 576.0) / rate * 1000.0;
  }

  bool vbri_found_ = false, xing_found_ = false;
  MP3StreamInfo info_;
  Mp3WaveFormat wave_{};
  uint32_t stream_bytes_ = 0;
  int32_t first_frame_ = -1;
  Mp3VbriHeader vbri_;
  Mp3XingHeader xing_;
  char date_[40];
  char version_[40];
};

bool MP3DecoderInfoImpl::Open(const uint8_t* head, int length, uint32_t fileSize) {
  stream_bytes_ = fileSize;
  std::memset(&info_, 0, sizeof(info_));
  info_.firstFrame = -1;
  first_frame_ = -1;
  vbri_found_ = xing_found_ = false;
  if (!head || length <= 0) return false;
  int32_t bitrate = 0;
  const int32_t p = mp3info_scan_frames(head, length, &wave_, &bitrate);
  if (p < 0) return false;
  first_frame_ = p;
  info_.firstFrame = p;
  info_.bitrate = bitrate;
  info_.channels = wave_.channels;
  info_.sampleRate = wave_.sample_rate;
  // Mended fault: 64-bit arithmetic, guarded divisor, clamped before conversion.
  if (fileSize != 0 && bitrate > 0) {
    const double bytes = double(fileSize) - double(p / 8);
    info_.duration = clamp_to_u32(bytes * 1000.0 / (bitrate * 0.125), 4294967295.0);
  }
  info_.vbr = (wave_.flags & 0x100) ? 1 : 0;
  info_.seekable = info_.vbr ? 0 : 1;
  info_.vbrHeader = 0;
  const double d = frame_ms();
  const uint8_t* frame = head + p / 8;
  const int frame_len = length - p / 8;
  if ((p & 7) == 0 && mp3info_parse_vbri(frame, frame_len, &vbri_)) {
    vbri_found_ = true;
    stream_bytes_ = vbri_.bytes;
    const double x = double(vbri_.frames) * d;
    if (x > 0) {
      info_.bitrate = int32_t(clamp_to_u32(double(stream_bytes_) * 8.0 / (x * 0.001), 2147483647.0));
    }
    info_.duration = clamp_to_u32(x, 4294967295.0);
    info_.vbr = info_.vbrHeader = info_.seekable = 1;
    wave_.avg_bytes_per_sec = uint32_t(info_.bitrate / 8);
  } else if ((p & 7) == 0 && mp3info_parse_xing(frame, frame_len, &xing_)) {
    xing_found_ = true;
    if (xing_.flags & 2) stream_bytes_ = xing_.bytes;
    if (xing_.flags & 1) {
      const double x = double(xing_.frames) * d;
      if (x > 0) {
        info_.bitrate = int32_t(clamp_to_u32(double(stream_bytes_) * 8.0 / (x * 0.001), 2147483647.0));
      }
      info_.duration = clamp_to_u32(x, 4294967295.0);
      wave_.avg_bytes_per_sec = uint32_t(info_.bitrate / 8);
    }
    info_.vbr = info_.vbrHeader = 1;
    info_.seekable = (xing_.flags & 4) ? 1 : 0;
  }
  // Probe decode.
  MP3Decoder* dec = nullptr;
  if (MP3CreateDecoder(&dec, 0, 0, 0, 0, 0) != SSC_OK || !dec) return true;
  const int taken = dec->Feed(head, length);
  int attempts = taken / 1440;
  if (attempts < 1) attempts = 1;
  static thread_local int16_t pcm[2304];
  for (int a = 0; a < attempts; ++a) {
    int bytes = 0;
    const SSC s = dec->DecodeFrame(pcm, sizeof(pcm), &bytes, nullptr, nullptr, 1);
    if (SSC_SUCCESS(s)) {
      const MP3FrameInfo* fi = dec->GetFrameInfo();
      info_.mp3pro = fi->mp3proActive;
      info_.outputChannels = fi->outputChannels;
      info_.outputRate = fi->outputRate;
      info_.finalRate = fi->finalRate;
      info_.bitsPerSample = fi->bitsPerSample;
      dec->Release();
      return true;
    }
  }
  dec->Release();
  return false;
}

uint32_t MP3DecoderInfoImpl::PercentToOffset(float percent) {
  double p = percent;
  if (!(p >= 0.0)) p = 0.0;
  if (p > 100.0) p = 100.0;
  if (xing_found_ && stream_bytes_ != 0 && (xing_.flags & 4)) {
    int i = int(p);
    if (i > 99) i = 99;
    const double a = xing_.toc[i];
    const double b = i == 99 ? 256.0 : xing_.toc[i + 1];
    const double off = (a + (b - a) * (p - i)) * double(stream_bytes_) / 256.0;
    return clamp_to_u32(off, double(stream_bytes_));
  }
  return TimeToOffset(clamp_to_u32(p * 0.01 * info_.duration, 4294967295.0));
}

uint32_t MP3DecoderInfoImpl::TimeToOffset(uint32_t t) {
  if (t > info_.duration) t = info_.duration;
  if (xing_found_ && stream_bytes_ != 0 && (xing_.flags & 4)) {
    const double pct = info_.duration ? double(t) * 100.0 / info_.duration : 0.0;
    return PercentToOffset(float(pct));
  }
  const double fd = frame_ms();
  const double f = fd > 0.0 ? double(t) / fd : 0.0;
  const double base = first_frame_ > 0 ? double(first_frame_ / 8) : 0.0;
  double off;
  if (vbri_found_ && vbri_.frames_per_entry != 0 && !vbri_.table.empty()) {
    const double fpe = vbri_.frames_per_entry;
    uint32_t k = clamp_to_u32(f / fpe, double(vbri_.entries));
    const double a = double(vbri_.table[k]);
    double b, fb;
    if (k + 1 <= vbri_.entries) {
      b = double(vbri_.table[k + 1]);
      fb = double(k + 1) * fpe;
    } else {
      b = double(stream_bytes_);
      fb = double(vbri_.frames);
    }
    const double fa = double(k) * fpe;
    off = fb != fa ? (b - a) / (fb - fa) * (f - fa) + a : a;
  } else if (wave_.block_size > 1 && wave_.frames_per_block >= 1) {
    off = std::floor(f / wave_.frames_per_block) * wave_.block_size + base;
  } else {
    off = std::floor(double(info_.bitrate) * 0.125 * double(t) * 0.001) + base;
  }
  return clamp_to_u32(off, double(stream_bytes_));
}

void MP3DecoderInfoImpl::GetVersion(char* out) {
  if (!out) return;
  const char *sdate, *sver;
  sbrdec_get_version(&sdate, &sver);
  std::memset(out, 0, 80);
  std::string a = std::string(date_) + " sbr: " + sdate;
  std::string b = std::string(version_) + " sbr: " + sver;
  std::memcpy(out, a.c_str(), a.size() < 39 ? a.size() : 39);
  std::memcpy(out + 40, b.c_str(), b.size() < 39 ? b.size() : 39);
}

}  // namespace

int32_t mp3info_scan_frames(const uint8_t* bytes, int length, Mp3WaveFormat* wf, int32_t* bitrate_out) {
  std::memset(wf, 0, sizeof(*wf));
  *bitrate_out = 0;
  if (!bytes || length <= 0) return -1;
  int size = 1;
  while (size < length && size < 65536) size <<= 1;
  if (length > size) length = size;
  std::vector<uint8_t> copy(size_t(size) + 4, 0);
  std::memcpy(copy.data(), bytes, size_t(length));
  FrameSync sync;
  mpasync_attach(&sync, copy.data(), length);
  bitbuf_set_end(&sync.buf);
  value_stats channels, rate, bitrate, padding, crc;
  period_detector frame_len, rate_period;
  int32_t first = -1;
  int guard = 0;
  for (;;) {
    const SSC s = mpasync_find_frame(&sync);
    if (s == SSC_SYNC_EOF) break;
    if (s == SSC_OK) {
      if (first < 0) first = sync.steps;
      const MpaHeader& h = sync.header;
      channels.add(h.channels);
      rate.add(h.sample_rate);
      bitrate.add(h.bitrate);
      padding.add(h.padding);
      crc.add(h.crc_present);
      frame_len.add(h.frame_bits);
      rate_period.add(h.bitrate);
      bitbuf_skip_bits(&sync.buf, h.frame_bits);
    }
    if (++guard > 8 * 65536 + 16) break;
  }
  if (first < 0) return -1;
  uint32_t flags = 0;
  if (bitrate.constant && !padding.constant) {
    wf->block_size = 1;
    wf->frames_per_block = 1;
  } else {
    const int64_t bs = frame_len.period_sum() / 8;
    wf->block_size = uint16_t(bs > 0 && bs < 65536 ? bs : 1);
    wf->frames_per_block = uint16_t(frame_len.period() ? frame_len.period() : 1);
    if (padding.constant) flags |= padding.first ? 1 : 2;
  }
  if (crc.constant) flags |= crc.first ? 16 : 32;
  int64_t avg;
  if (rate_period.period()) {
    avg = rate_period.period_sum() / rate_period.period();
  } else {
    avg = bitrate.count ? bitrate.sum / bitrate.count : 0;
    flags |= 0x100;
  }
  wf->format_tag = 85;
  wf->channels = uint16_t(channels.count ? channels.sum / channels.count : 0);
  wf->sample_rate = uint32_t(rate.count ? rate.sum / rate.count : 0);
  wf->avg_bytes_per_sec = uint32_t(avg / 8);
  wf->block_align = 1;
  wf->bits_per_sample = 0;
  wf->extra_size = 12;
  wf->id = 1;
  wf->codec_delay = 0;
  *bitrate_out = int32_t(avg);
  if ((first & 7) == 0) {
    const uint8_t* f = bytes + first / 8;
    const int flen = length - first / 8;
    uint32_t frames = 0, nbytes = 0;
    Mp3VbriHeader vb;
    Mp3XingHeader xg;
    if (mp3info_parse_vbri(f, flen, &vb)) {
      frames = vb.frames;
      nbytes = vb.bytes;
    } else if (wf->sample_rate >= 16000 && mp3info_parse_xing(f, flen, &xg)) {
      if (xg.flags & 1) frames = xg.frames;
      if (xg.flags & 2) nbytes = xg.bytes;
    }
    if (frames && nbytes && wf->sample_rate) {
      const double spf = wf->sample_rate > 24000 ? 1152.0 : 576.0;
      const double secs = spf / wf->sample_rate * 1000.0 * frames * 0.001;
      const double br = secs > 0 ? double(nbytes) * 8.0 / secs : 0.0;
      *bitrate_out = int32_t(clamp_to_u32(br, 2147483647.0));
      flags |= 0x100;
      wf->avg_bytes_per_sec = uint32_t(*bitrate_out / 8);
    }
  }
  wf->flags = flags;
  return first;
}

bool mp3info_parse_vbri(const uint8_t* f, int length, Mp3VbriHeader* v) {
  *v = Mp3VbriHeader();
  if (!f || length < 62) return false;
  if (std::memcmp(f + 36, "VBRI", 4) != 0) return false;
  if (be16(f + 40) != 1) return false;
  v->version = 1;
  v->delay = be16(f + 42);
  v->quality = be16(f + 44);
  v->bytes = be32(f + 46);
  v->frames = be32(f + 50);
  v->entries = be16(f + 54);
  v->scale = be16(f + 56);
  v->entry_size = be16(f + 58);
  v->frames_per_entry = be16(f + 60);
  if (v->entry_size < 1 || v->entry_size > 4) {
    if (v->entries != 0) {
      *v = Mp3VbriHeader();
      return false;
    }
  }
  const int64_t need = int64_t(v->entries) * v->entry_size + 62;
  if (need > length) {
    *v = Mp3VbriHeader();
    return false;
  }
  v->table.assign(size_t(v->entries) + 1, 0);
  const uint8_t* e = f + 62;
  for (uint32_t i = 1; i <= v->entries; ++i) {
    uint64_t val = 0;
    for (uint32_t k = 0; k < v->entry_size; ++k) val = (val << 8) | *e++;
    v->table[i] = v->table[i - 1] + uint64_t(v->scale) * val;
  }
  return true;
}

bool mp3info_parse_xing(const uint8_t* f, int length, Mp3XingHeader* x) {
  *x = Mp3XingHeader();
  if (!f || length < 4) return false;
  static const int rates[4] = {44100, 48000, 32000, 99999};
  int rate = rates[(f[2] >> 2) & 3];
  const int id = (f[1] >> 3) & 1;
  const int b25 = (f[1] >> 4) & 1;
  if (!id && b25) rate /= 2;
  if (!id && !b25) rate /= 4;
  if (rate < 16000) return false;
  const bool stereo = ((f[3] >> 6) & 3) != 3;
  const int off = rate >= 32000 ? (stereo ? 36 : 21) : (stereo ? 21 : 13);
  if (length < off + 120) return false;
  if (std::memcmp(f + off, "Xing", 4) != 0) return false;
  const uint8_t* p = f + off + 4;
  x->flags = be32(p);
  p += 4;
  if (x->flags & 1) {
    x->frames = be32(p);
    p += 4;
  }
  if (x->flags & 2) {
    x->bytes = be32(p);
    p += 4;
  }
  if (x->flags & 4) {
    std::memcpy(x->toc, p, 100);
    p += 100;
  }
  if (x->flags & 8) x->quality = be32(p);
  return true;
}

SSC MP3CreateDecoderInfo(MP3DecoderInfo** out) {
  if (!out) return SSC_ERR_WRONG_PARAMETER;
  MP3DecoderInfoImpl* d = new (std::nothrow) MP3DecoderInfoImpl();
  if (!d) return SSC_ERR_NO_MEMORY;
  *out = d;
  return SSC_OK;
}
