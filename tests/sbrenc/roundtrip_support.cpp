#include "roundtrip_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "mp3dec/mp3dec.h"
#include "mp3dec/sbr/sbr_channel.h"
#include "mp3dec/sbr/sbr_payload.h"
#include "mp3enc/mp3enc.h"
#include "sbrenc/sbrenc_qmf.h"

namespace {

std::vector<rt_written>* g_written = nullptr;
std::vector<rt_read>* g_read = nullptr;
rt_result* g_slots = nullptr;

void on_slots(const SbrSlotsReport* r) {
  if (!g_slots || r->channel < 0 || r->channel > 1) return;
  rt_result::slots x;
  x.energy.assign(64, 0.0);
  x.limited.assign(r->limited, r->limited + 64);
  for (int s = 0; s < 18; ++s)
    for (int k = 0; k < 64; ++k)
      x.energy[size_t(k)] += double(r->re[s][k]) * r->re[s][k] + double(r->im[s][k]) * r->im[s][k];
  g_slots->qmf[r->channel].push_back(std::move(x));
}

void on_written(const sbrenc_encoder* enc, const sbrenc_output* o, int32_t element) {
  rt_written w;
  w.element = element;
  w.header_bits = o->header_bits;
  w.data_bits = o->data_bits;
  w.header = *enc->header;
  w.timer_period = enc->timer->period;
  for (int c = 0; c < element; ++c) {
    const sbrenc_channel* ch = enc->channel[c];
    rt_written::channel& x = w.ch[c];
    // A coupled pair sends one grid, the first channel's.
    const sbrenc_grid_code* code = (element == 2 && enc->header->coupled) ? enc->channel[0]->grid_code : ch->grid_code;
    sbrenc_grid_decode(code, ch->freq_res_fixed, &x.grid);
    x.first_slot = code->frame_class == 0 ? 0 : code->first_slot;
    x.frame_class = code->frame_class;
    for (int e = 0; e < ch->envelopes; ++e) {
      x.dir_env[e] = ch->env_dir[e];
      x.band_count[e] = ch->band_count[e];
      for (int j = 0; j < ch->band_count[e]; ++j) x.env.push_back(ch->envelope[48 * e + j]);
    }
    const int floors = ch->envelopes > 1 ? 2 : 1;
    for (int q = 0; q < floors; ++q) {
      x.dir_noise[q] = ch->noise_dir[q];
      for (int j = 0; j < ch->noise_bands; ++j) x.noise.push_back(ch->noise[q * ch->noise_bands + j]);
    }
    x.invf = ch->invf_level;
    x.word20 = ch->word20;
    x.channel_value = ch->channel_value;
    x.balance = element == 2 && enc->header->coupled ? ch->balance : 0;
    x.noise_bands = ch->noise_bands;
    if (ch->tone) {
      x.tone_count = ch->tone->copy_count;
      for (int i = 0; i < x.tone_count; ++i) x.tones[i] = ch->tone->copy[i];
    }
  }
  const sbrenc_settings* s = enc->settings;
  w.master.assign(s->master, s->master + s->master_count + 1);
  w.high.assign(s->high, s->high + s->high_count + 1);
  w.low.assign(s->low, s->low + s->low_count + 1);
  w.crossover_index = enc->header->crossover_index;
  if (g_written) g_written->push_back(std::move(w));
}

void on_read(const SbrReadReport* r) {
  rt_read x;
  x.payload.assign(r->bytes, r->bytes + (r->length_bits + 7) / 8);
  x.length_bits = r->length_bits;
  x.bits_read = r->bits_read;
  x.pair = r->pair;
  x.crc_ok = r->crc_ok;
  x.header_result = r->header_result;
  x.element_read = r->element_read;
  x.element_ok = r->element_ok;
  x.first = *r->first;
  if (r->second) x.second = *r->second;
  if (g_read) g_read->push_back(std::move(x));
}

std::vector<uint8_t> encode(const std::vector<float>& pcm, const rt_options& o, bool gapless, bool* configured,
                            int* delay) {
  std::vector<uint8_t> stream;
  *configured = false;
  mp3enc_handle* h = mp3enc_open(o.rate, o.input_channels, 1);
  if (!h) return stream;
  mp3enc_config c;
  c.output_rate = uint32_t(o.output_rate ? o.output_rate : o.rate);
  c.channel_mode = o.channel_mode;
  c.sbr_mode = 1;
  c.bit_rate = o.vbr_quality ? 0 : o.bit_rate;
  c.vbr_quality = o.vbr_quality;
  if (!mp3enc_set_config(h, &c) || c.sbr_mode != 1) {
    mp3enc_close(h);
    return stream;
  }
  *configured = true;
  mp3enc_params p = *mp3enc_get_params(h);
  if (gapless) {
    p.length = int32_t(pcm.size() / size_t(o.input_channels));
    mp3enc_set_params(h, &p);
  }
  *delay = mp3enc_get_params(h)->delay;
  std::vector<uint8_t> out(1 << 16);
  const auto* in = reinterpret_cast<const uint8_t*>(pcm.data());
  const size_t bytes = pcm.size() * sizeof(float);
  size_t pos = 0;
  for (int guard = 0; guard < 1000000; ++guard) {
    int32_t want = 0, used = 0;
    mp3enc_get_input_size(h, &want);
    const int32_t n = int32_t(std::min<size_t>(size_t(std::max(want, 0)), bytes - pos));
    const int32_t r = mp3enc_encode(h, n ? in + pos : nullptr, n, &used, out.data(), int32_t(out.size()), nullptr, nullptr);
    if (r < 0) break;
    stream.insert(stream.end(), out.begin(), out.begin() + r);
    pos += size_t(used);
    if (n == 0 && r == 0) break;
  }
  mp3enc_close(h);
  return stream;
}

}  // namespace

rt_result rt_round_trip(const std::vector<float>& pcm, const rt_options& o, bool gapless) {
  rt_result res;
  g_written = &res.written;
  sbrenc_write_report = on_written;
  res.stream = encode(pcm, o, gapless, &res.configured, &res.stated_delay);
  sbrenc_write_report = nullptr;
  g_written = nullptr;
  if (!res.configured) return res;

  MP3Decoder* dec = nullptr;
  if (MP3CreateDecoder(&dec, 1, 0, 0, gapless ? 1 : 0, 0) != SSC_OK) return res;
  g_read = &res.read;
  sbrdec_read_report = on_read;
  g_slots = &res;
  sbrdec_slots_report = on_slots;
  size_t fed = 0;
  std::vector<uint8_t> out(MP3DEC_MAX_FRAME_OUTPUT_BYTES);
  for (int guard = 0; guard < 1000000; ++guard) {
    while (fed < res.stream.size() && dec->GetFreeInputSpace() > 0) {
      const int n = std::min<int>(dec->GetFreeInputSpace(), int(res.stream.size() - fed));
      fed += size_t(dec->Feed(res.stream.data() + fed, n));
    }
    if (fed >= res.stream.size()) dec->SetEndOfInput();
    int bytes = 0;
    const SSC s = dec->DecodeFrame(out.data(), int(out.size()), &bytes, nullptr, nullptr, 1);
    if (s == SSC_SYNC_EOF || dec->IsEndOfStream()) break;
    if (s == SSC_SYNC_NEED_DATA) continue;
    ++res.frames;
    if (!SSC_SUCCESS(s) || s == SSC_INFO_CRC_ERROR || s == SSC_INFO_NOT_ENOUGH_MAIN_DATA) ++res.failed_frames;
    const MP3FrameInfo* fi = dec->GetFrameInfo();
    res.decoded_rate = int(fi->outputRate);
    res.decoded_channels = int(fi->outputChannels);
    if (fi->mp3proActive) ++res.mp3pro_frames;
    const float* f = reinterpret_cast<const float*>(out.data());
    res.decoded.insert(res.decoded.end(), f, f + bytes / 4);
  }
  sbrdec_read_report = nullptr;
  g_read = nullptr;
  sbrdec_slots_report = nullptr;
  g_slots = nullptr;
  dec->Release();
  return res;
}

std::vector<double> rt_qmf_band_energy(const std::vector<float>& pcm, int channels, int channel, int from_frame,
                                       int to_frame) {
  std::vector<double> e(64, 0.0);
  sbrenc_qmf* q = nullptr;
  if (sbrenc_qmf_create(&q, 0, 1152) != nullptr) return e;
  std::vector<float> re(18 * 64), im(18 * 64);
  float* rr[18];
  float* ii[18];
  for (int s = 0; s < 18; ++s) {
    rr[s] = re.data() + 64 * s;
    ii[s] = im.data() + 64 * s;
  }
  const int frames = int(pcm.size() / size_t(channels) / 1152);
  int counted = 0;
  for (int f = 0; f < frames && f < to_frame; ++f) {
    sbrenc_cplx_analysis(pcm.data() + size_t(f) * 1152 * size_t(channels) + size_t(channel), channels, rr, ii, q);
    if (f < from_frame) continue;
    for (int s = 0; s < 18; ++s)
      for (int k = 0; k < 64; ++k) e[size_t(k)] += double(rr[s][k]) * rr[s][k] + double(ii[s][k]) * ii[s][k];
    counted += 18;
  }
  sbrenc_qmf_free(&q);
  for (double& v : e) v /= std::max(counted, 1);
  return e;
}

std::vector<double> rt_decoded_band_energy(const rt_result& r, int channel, int from_frame, int to_frame,
                                           bool limited) {
  std::vector<double> e(64, 0.0);
  const auto& frames = r.qmf[channel & 1];
  int counted = 0;
  for (int f = from_frame; f < to_frame && f < int(frames.size()); ++f) {
    for (int k = 0; k < 64; ++k)
      e[size_t(k)] += frames[size_t(f)].energy[size_t(k)] + (limited ? frames[size_t(f)].limited[size_t(k)] : 0.0);
    counted += 18;
  }
  for (double& v : e) v /= std::max(counted, 1);
  return e;
}

bool rt_decoder_tables(const SbrHeader& header, int fs, SbrFreqTables* t) {
  SbrHeader h = header;
  h.reset = 1;
  std::memset(t, 0, sizeof *t);
  return sbrdec_reset_freq_tables(t, &h, 64, fs, 2) == nullptr;
}

std::vector<float> rt_speech(int rate, int channels, const std::string& text) {
  char dir[] = "/tmp/sbrenc_rt_XXXXXX";
  if (!mkdtemp(dir)) return {};
  const std::string wav = std::string(dir) + "/s.wav", raw = std::string(dir) + "/s.raw";
  std::vector<float> v;
  const std::string cmd = "espeak-ng -w '" + wav + "' '" + text + "' >/dev/null 2>&1 && sox -R '" + wav +
                          "' -t raw -e signed -b 16 -L -r " + std::to_string(rate) + " -c " +
                          std::to_string(channels) + " '" + raw + "' >/dev/null 2>&1";
  if (std::system(cmd.c_str()) == 0) {
    if (FILE* f = std::fopen(raw.c_str(), "rb")) {
      int16_t s[1024];
      size_t n;
      while ((n = std::fread(s, 2, 1024, f)) > 0)
        for (size_t i = 0; i < n; ++i) v.push_back(float(s[i]));
      std::fclose(f);
    }
  }
  std::remove(wav.c_str());
  std::remove(raw.c_str());
  rmdir(dir);
  return v;
}

std::string rt_compare(const rt_written& w, const rt_read& r) {
  std::ostringstream d;
  auto same = [&](const char* what, long a, long b) {
    if (a != b) d << what << " written " << a << " read " << b << "; ";
  };
  same("crc", 1, r.crc_ok);
  same("pair", w.element == 2, r.pair);
  same("element read and well formed", 1, r.element_ok);
  same("header present", w.header_bits > 0, r.header_result >= 0);
  // 4 tag bits, the CRC flag and 7 CRC bits come before the header.
  same("bits", 12 + w.header_bits + w.data_bits, r.bits_read);
  if (r.length_bits - r.bits_read >= 8 || r.length_bits < r.bits_read) d << "padding of " << r.length_bits - r.bits_read << " bits; ";
  for (int b = r.bits_read; b < r.length_bits; ++b)
    if ((r.payload[size_t(b / 8)] >> (7 - b % 8)) & 1) {
      d << "padding bit " << b << " is 1; ";
      break;
    }
  const SbrHeader& h = r.first.header;
  if (w.header_bits > 0) {
    same("amplitude resolution", w.header.amp_res, h.amp_resolution);
    same("start", w.header.start_index, h.start_freq);
    same("stop", w.header.stop_index, h.stop_freq);
    same("crossover", w.header.crossover_index, h.crossover_band);
    same("adjuster flag", w.header.channel_value_flag, h.adjuster_mode_flag);
    // Fields of an absent extra part are the decoder's defaults; the encoder must use them too.
    same("frequency scale", w.header.extra1 ? w.header.freq_scale : 2, h.freq_scale);
    same("alter scale", w.header.extra1 ? w.header.alter_scale : 1, h.alter_scale);
    same("noise bands", w.header.extra1 ? w.header.noise_bands : 2, h.noise_bands);
    same("limiter bands", w.header.extra2 ? w.header.limiter_bands : 2, h.limiter_bands);
    same("limiter gains", w.header.extra2 ? w.header.limiter_gains : 2, h.limiter_gains);
    same("interpolation", w.header.extra2 ? w.header.interp_freq : 1, h.interpol_freq);
    same("smoothing", w.header.extra2 ? w.header.smoothing_mode : 1, h.smoothing_mode);
    if (w.element == 1 && !h.stereo_lock) same("stereo strength", w.header.level_class, h.stereo_strength);
  }
  same("rate flag", w.header.dual_rate, h.rate_flag);
  if (w.element == 2) same("coupling", w.header.coupled, r.first.coupling == 1);
  for (int c = 0; c < w.element; ++c) {
    const rt_written::channel& x = w.ch[c];
    const SbrElementData& e = c == 0 ? r.first : r.second;
    const SbrGrid& g = e.grid;
    same("envelopes", x.grid.envelopes, g.envelopes);
    if (x.grid.envelopes != g.envelopes) continue;
    for (int i = 0; i <= g.envelopes; ++i) same("border", x.grid.borders[i] - x.first_slot, g.borders[i]);
    for (int i = 0; i < g.envelopes; ++i) same("frequency resolution", x.grid.freq_res[i], g.freq_res[i]);
    same("transient", x.grid.transient_env == 0 ? -1 : x.grid.transient_env, g.transient);
    same("noise floors", x.grid.noise_envelopes, g.noise_floors);
    for (int i = 0; i <= g.noise_floors && i < 3; ++i)
      same("noise border", x.grid.noise_borders[i] - x.first_slot, g.noise_borders[i]);
    for (int i = 0; i < g.envelopes; ++i) same("envelope direction", x.dir_env[i], e.dir_env[i]);
    for (int i = 0; i < g.noise_floors; ++i) same("noise direction", x.dir_noise[i], e.dir_noise[i]);
    // A coupled pair sends these fields once, the first channel's, for both.
    const rt_written::channel& sent = w.element == 2 && w.header.coupled ? w.ch[0] : x;
    same("inverse filtering", sent.invf, e.invf_mode);
    same("two-bit field", sent.word20, e.unused_field);
    if (h.adjuster_mode_flag) same("adjuster field", sent.channel_value, e.adjuster_field);
    // The encoder halves balance values before coding them and the decoder doubles them back.
    const int scale = x.balance ? 2 : 1;
    for (size_t i = 0; i < x.env.size() && i < 192; ++i) same("envelope value", scale * x.env[i], long(e.env[i]));
    for (int q = 0; q < g.noise_floors; ++q)
      for (int j = 0; j < x.noise_bands; ++j)
        same("noise value", scale * x.noise[size_t(q * x.noise_bands + j)], long(e.noise[q][j]));
    // A coupled pair sends the first channel's tones for both.
    const rt_written::channel& toned = w.element == 2 && w.header.coupled ? w.ch[0] : x;
    same("tone entries", toned.tone_count, e.tones.count);
    for (int i = 0; i < toned.tone_count && i < e.tones.count; ++i) {
      const sbrenc_tone_track& t = toned.tones[i];
      const SbrToneEntry& y = e.tones.entries[i];
      same("tone band", t.start, y.first_band);
      same("tone bands", t.bands, y.band_count);
      same("tone range", t.span + 1 - t.half, y.range);
      same("tone fade", t.continuation, y.fade_out);
      const int first = (y.range & 2) ? 0 : 9;
      for (int b = 0; b < t.bands && b < y.band_count; ++b) {
        same("tone width", t.rows[b][0], y.width[b]);
        same("tone amplitude", t.rows[b][1], y.amplitude[b]);
        for (int s = 0; s < 9 * t.span; ++s) same("tone value", t.rows[b][2 + s], y.values[b][first + s]);
      }
    }
  }
  return d.str();
}
