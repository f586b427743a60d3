// Hybrid analysis filterbank: the standard's 32-band polyphase filter followed by an MDCT per
// subband, and the granule step that ties filterbank, thresholds and stereo decisions together.
#include "mp3enc/analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "mp3enc/attack.h"
#include "mp3enc/kernels.h"
#include "mp3enc/l3enc_tables.h"

namespace {

constexpr double pi = 3.14159265358979323846;

struct filter_tables {
  float cos32[32][32];      // polyphase matrixing, folded
  float window[4][36];      // long windows by block type
  float mdct_long[18][18];  // cosines of the folded long transform
  float mdct_short[6][12];
  float cs[8], ca[8];
  filter_tables() {
    for (int s = 0; s < 32; ++s)
      for (int m = 0; m < 32; ++m) cos32[s][m] = float(std::cos((2 * s + 1) * m * pi / 64));
    float (&w)[4][36] = window;
    for (int k = 0; k < 36; ++k) w[0][k] = float(std::sin(pi / 36 * (k + 0.5)));
    for (int k = 0; k < 36; ++k) {
      if (k < 18)
        w[1][k] = w[0][k];
      else if (k < 24)
        w[1][k] = 1.0f;
      else if (k < 30)
        w[1][k] = float(std::sin(pi / 12 * (k - 18 + 0.5)));
      else
        w[1][k] = 0.0f;
    }
    for (int k = 0; k < 36; ++k) w[3][k] = w[1][35 - k];
    for (int k = 0; k < 36; ++k) w[2][k] = w[0][k];  // never used for transforms
    // The cosine of input k changes sign from k to 17 - k and repeats from k to 53 - k, so
    // the 36 products fold into 18 sums: k = 0..8 and k = 18..26.
    for (int m = 0; m < 18; ++m)
      for (int i = 0; i < 18; ++i) {
        const int k = i < 9 ? i : i + 9;
        mdct_long[m][i] = float(std::cos(pi / 72 * (2 * k + 19) * (2 * m + 1)) / 9.0);
      }
    for (int m = 0; m < 6; ++m)
      for (int k = 0; k < 12; ++k)
        mdct_short[m][k] =
            float(std::sin(pi / 12 * (k + 0.5)) * std::cos(pi / 24 * (2 * k + 7) * (2 * m + 1)) / 3.0);
    const double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
    for (int i = 0; i < 8; ++i) {
      cs[i] = float(1.0 / std::sqrt(1.0 + c[i] * c[i]));
      ca[i] = float(c[i] / std::sqrt(1.0 + c[i] * c[i]));
    }
  }
};

const filter_tables& tables() {
  static const filter_tables t;
  return t;
}

}  // namespace

// ---- sample ring ----

int mp3enc_delay_create(mp3enc_sample_ring* ring, int frames, int channels) {
  if (!ring || frames < 1 || channels < 1) return 1;
  ring->buf = new (std::nothrow) float[size_t(frames) * channels]();
  if (!ring->buf) return 1;
  ring->channels = channels;
  ring->frames = frames;
  return 0;
}

int mp3enc_delay_init(mp3enc_sample_ring* ring, int length, int mirror, int write_pos) {
  ring->length = length;
  ring->mirror = mirror;
  ring->write = write_pos;
  ring->read = 0;
  return 0;
}

int mp3enc_delay_write(mp3enc_sample_ring* ring, const float* src0, const float* src1, int stride, float scale,
                       int frames) {
  const int ch = ring->channels;
  const float* src[2] = {src0, src1};
  // Frames from..from+n-1 of the sources into the ring from frame pos on, channel by channel.
  auto put = [&](int pos, int from, int n) {
    for (int c = 0; c < (ch == 2 ? 2 : 1); ++c) {
      float* dst = ring->buf + size_t(pos) * ch + c;
      if (src[c])
        mp3enc_scale_strided(scale, src[c] + size_t(from) * stride, stride, dst, ch, n);
      else
        mp3enc_fill_strided(0.0f, dst, ch, n);
    }
  };
  auto mirror = [&](int pos, int end) {
    if (end > ring->mirror) end = ring->mirror;
    float* from = ring->buf + size_t(pos) * ch;
    if (pos < end) kern_copy(from, from + size_t(ring->length) * ch, (end - pos) * ch);
  };
  const int first = std::min(frames, ring->length - ring->write);
  put(ring->write, 0, first);
  put(0, first, frames - first);
  mirror(0, frames - first);
  mirror(ring->write, ring->write + first);
  const int wraps = (ring->write + frames) / ring->length;
  ring->write = (ring->write + frames) % ring->length;
  return wraps;
}

float* mp3enc_delay_read(mp3enc_sample_ring* ring, int offset, int channel) {
  return ring->buf + size_t((ring->read + offset) % ring->length) * ring->channels + channel;
}

int mp3enc_delay_advance(mp3enc_sample_ring* ring, int frames) {
  ring->read = (ring->read + frames) % ring->length;
  return 0;
}

void mp3enc_delay_free(mp3enc_sample_ring* ring) {
  if (!ring || !ring->buf) return;
  delete[] ring->buf;
  ring->buf = nullptr;
}

// ---- filterbank ----

int mp3enc_polyphase_create(mp3enc_polyphase_state** out) {
  *out = new (std::nothrow) mp3enc_polyphase_state();
  return *out ? 0 : 1;
}

void mp3enc_polyphase_free(mp3enc_polyphase_state* st) { delete st; }

void mp3enc_polyphase_reset(mp3enc_polyphase_state* st) { std::memset(st->hist, 0, sizeof st->hist); }

void mp3enc_subband_shift(float (*subband)[36]) {
  for (int s = 0; s < 32; ++s) std::memcpy(subband[s], subband[s] + 18, sizeof(float) * 18);
}

void mp3enc_scale_strided(float g, const float* src, int src_stride, float* dst, int dst_stride, int n) {
  for (int i = 0; i < n; ++i) dst[size_t(i) * dst_stride] = g * src[size_t(i) * src_stride];
}

void mp3enc_polyphase(mp3enc_polyphase_state* st, const float* x, int stride, float (*subband)[36]) {
  float* X = st->hist;
  for (int t = 0; t < 18; ++t) {
    std::memmove(X + 32, X, sizeof(float) * 480);
    for (int i = 0; i < 32; ++i) X[31 - i] = x[size_t(32 * t + i) * stride];
    float Y[64] = {};
    for (int k = 0; k < 8; ++k)
      for (int j = 0; j < 64; ++j) Y[j] += mp3enc_window_c[j + 64 * k] * X[j + 64 * k];
    float S[32];
    mp3enc_dct32(Y, S);
    for (int s = 0; s < 32; ++s) subband[s][18 + t] = (t & 1) && (s & 1) ? -S[s] : S[s];  // frequency inversion
  }
}

void mp3enc_dct32(const float* Y, float* S) {
  const filter_tables& tb = tables();
  // cos((2s+1)(j-16)pi/64) is even in j - 16 and changes sign from m to 64 - m, so the 64
  // sums fold into 32 (the one at m = 32 vanishes).
  float W[32];
  W[0] = Y[16];
  for (int m = 1; m <= 16; ++m) W[m] = Y[16 + m] + Y[16 - m];
  for (int m = 17; m < 32; ++m) W[m] = Y[16 + m] - Y[80 - m];
  for (int s = 0; s < 32; ++s) {
    float acc = 0.0f;
    const float* c = tb.cos32[s];
    for (int m = 0; m < 32; ++m) acc += c[m] * W[m];
    S[s] = acc;
  }
}

void mp3enc_mdct_long_window(const float* u, int block_type, float* f18) {
  const filter_tables& tb = tables();
  const float* w = tb.window[(block_type == 1 || block_type == 3) ? block_type : 0];
  float z[36];
  for (int k = 0; k < 36; ++k) z[k] = w[k] * u[k];
  for (int i = 0; i < 9; ++i) {
    f18[i] = z[i] - z[17 - i];
    f18[9 + i] = z[18 + i] + z[35 - i];
  }
}

void mp3enc_mdct18(const float* f18, float* out18) {
  const filter_tables& tb = tables();
  for (int m = 0; m < 18; ++m) {
    const float* c = tb.mdct_long[m];
    float acc = 0.0f;
    for (int i = 0; i < 18; ++i) acc += c[i] * f18[i];
    out18[m] = acc;
  }
}

void mp3enc_mdct6(const float* u12, float* out6) {
  const filter_tables& tb = tables();
  for (int m = 0; m < 6; ++m) {
    float acc = 0.0f;
    for (int k = 0; k < 12; ++k) acc += tb.mdct_short[m][k] * u12[k];
    out6[m] = acc;
  }
}

int kern_polyphase(mp3enc_polyphase_state* st, const float* input, int32_t stride, float* subbands) {
  mp3enc_polyphase(st, input, stride, reinterpret_cast<float (*)[36]>(subbands));
  return 1;
}

int kern_polyphase_stereo(mp3enc_polyphase_state* st, const float* input, float* subbands) {
  for (int c = 0; c < 2; ++c) kern_polyphase(st + c, input + c, 2, subbands + c * 32 * 36);
  return 1;
}

void mp3enc_alias_reduce(float* x) {
  const filter_tables& tb = tables();
  for (int s = 1; s < 32; ++s)
    for (int i = 0; i < 8; ++i) {
      const float a = x[18 * s - 1 - i], b = x[18 * s + i];
      x[18 * s - 1 - i] = a * tb.cs[i] + b * tb.ca[i];
      x[18 * s + i] = b * tb.cs[i] - a * tb.ca[i];
    }
}

// ---- stage ----

int mp3enc_granule_analysis_create(mp3enc_granule_analysis** out) {
  if (!out) return 1;
  *out = new (std::nothrow) mp3enc_granule_analysis();
  return *out ? 0 : 1;
}

void mp3enc_granule_analysis_free(mp3enc_granule_analysis* g) { delete g; }

int mp3enc_analysis_create(mp3enc_analysis** out, const mp3enc_analysis_params* params) {
  if (!out) return 1;
  *out = nullptr;
  if (!params || params->channels < 1 || params->channels > 2) return 1;
  mp3enc_analysis* st = new (std::nothrow) mp3enc_analysis();
  if (!st) return 1;
  st->channels = params->channels;
  bool failed = mp3enc_delay_create(&st->fifo, 2592, params->channels) != 0;
  for (int c = 0; c < params->channels && !failed; ++c) {
    failed = mp3enc_attack_create(&st->ch[c].attack) != 0 || mp3enc_polyphase_create(&st->ch[c].poly) != 0;
    if (!failed) st->ch[c].attack->stride = params->channels;
  }
  if (failed) {
    mp3enc_analysis_free(st);
    return 1;
  }
  tables();
  *out = st;
  return 0;
}

int mp3enc_analysis_init(mp3enc_analysis* st, const mp3enc_analysis_params* p) {
  if (!st || !p) return 1;
  for (int kind = 0; kind < 2; ++kind) {
    mp3enc_band_params& t = st->bands[kind];
    mp3enc_band_params_init(p->bit_rate, p->sample_rate, p->bandwidth, kind * 2, &t);
    if (p->intensity_off || p->joint_off) t.is_allowed = 0;
    if (p->ms_off || p->joint_off) t.ms_allowed = 0;
    mp3enc_psy_band_bark(kind ? 192 : 576, p->sample_rate, t.band_count, t.bounds, t.bark, &t.bark_scale, t.down,
                         t.up);
    mp3enc_psy_abs_threshold(t.band_count, &t);
  }
  mp3enc_delay_init(&st->fifo, 1872, 720, 144);
  for (int c = 0; c < st->channels; ++c) {
    mp3enc_analysis_channel& ch = st->ch[c];
    ch.block_type = 0;
    mp3enc_attack_reset(ch.attack);
    ch.attack->stride = st->channels;
    mp3enc_polyphase_reset(ch.poly);
    std::memset(ch.subband, 0, sizeof ch.subband);
  }
  if (st->channels == 2) {
    const int pos = st->bands[0].rate_class == 0 ? 3 : 0;
    for (int i = 0; i < 39; ++i) st->stereo.pos[i] = pos;
  }
  return 0;
}

void mp3enc_analysis_free(mp3enc_analysis* st) {
  if (!st) return;
  for (mp3enc_analysis_channel& ch : st->ch) {
    mp3enc_attack_free(ch.attack);
    mp3enc_polyphase_free(ch.poly);
  }
  mp3enc_delay_free(&st->fifo);
  delete st;
}

int mp3enc_analysis_push(mp3enc_analysis* st, const float* samples, int channels, int count) {
  // NaN or infinite input would poison every energy and threshold after it, and values far
  // beyond full scale overflow them: such samples go in as silence or clipped to full scale.
  float clean[2 * 576];
  const int frames = count / channels;
  for (int done = 0; done < frames;) {
    const int n = std::min(576, frames - done);
    for (int i = 0; i < n * channels; ++i) {
      const float v = samples[size_t(done) * channels + i];
      clean[i] = std::isfinite(v) ? std::clamp(v, -32768.0f, 32768.0f) : 0.0f;
    }
    mp3enc_delay_write(&st->fifo, clean, clean + 1, channels, 1.0f, n);
    done += n;
  }
  return 0;
}

float* mp3enc_analysis_input(mp3enc_analysis* st) { return mp3enc_delay_read(&st->fifo, 0, 0); }

namespace {

// Thresholds of one window: energy ratio, cap, spreading, absolute threshold, limit against the
// previous window or granule.
void window_thresholds(const mp3enc_band_params& t, const float* energy, float* thr, float* prev, int block_type,
                       bool is_short) {
  const int n = t.active_bands;
  for (int b = 0; b < n; ++b) thr[b] = std::fmin(energy[b] * t.energy_ratio, t.cap);
  mp3enc_psy_spread(n, t.down, t.up, thr);
  for (int b = 0; b < n; ++b) thr[b] = std::fmax(thr[b], t.abs_thr[b]);
  if (!is_short && block_type == 3)
    for (int b = 0; b < n; ++b) prev[b] = mp3enc_no_limit;
  mp3enc_psy_limit(prev, n, t.rise, t.floor_factor, thr);
  if (!is_short && block_type == 1)
    for (int b = 0; b < n; ++b) prev[b] = mp3enc_no_limit;
  for (int b = n; b < t.band_count; ++b) thr[b] = mp3enc_no_limit;
}

void transform_channel(mp3enc_analysis* st, int c) {
  mp3enc_analysis_channel& ch = st->ch[c];
  if (ch.block_type != 2) {
    const mp3enc_band_params& t = st->bands[0];
    for (int s = 0; s < 32; ++s) {
      float f[18];
      mp3enc_mdct_long_window(ch.subband[s], ch.block_type, f);
      mp3enc_mdct18(f, ch.spectrum + 18 * s);
    }
    mp3enc_alias_reduce(ch.spectrum);
    for (int i = t.cutoff; i < 576; ++i) ch.spectrum[i] = 0.0f;
    ch.total[0] = mp3enc_band_energy(ch.spectrum, t.bounds, t.active_bands, ch.energy);
    for (int b = t.active_bands; b < t.band_count; ++b) ch.energy[b] = 0.0f;
    if (c == 1 && t.ms_allowed) {
      mp3enc_band_energy2(st->ch[0].spectrum, ch.spectrum, t.bounds, t.active_bands, st->ch[0].ms_energy,
                          &st->ch[0].ms_total[0], ch.ms_energy, &ch.ms_total[0]);
      for (int b = t.active_bands; b < t.band_count; ++b) st->ch[0].ms_energy[b] = ch.ms_energy[b] = 0.0f;
    }
    window_thresholds(t, ch.energy, ch.thr, ch.prev_thr, ch.block_type, false);
    if (c == 1 && t.is_allowed) {
      mp3enc_stereo_state& ss = st->stereo;
      mp3enc_analysis_channel& l = st->ch[0];
      ss.first_is_band[0] =
          mp3enc_intensity_search(t.rate_class, l.spectrum, ch.spectrum, l.energy, ch.energy, l.thr, ch.thr,
                                  t.bounds, t.is_start_band, t.active_bands, 0, t.is_factor, ss.pos, ss.weight_b,
                                  ss.weight_a, ss.cross);
    } else if (c == 1) {
      st->stereo.first_is_band[0] = t.active_bands;
    }
    return;
  }
  const mp3enc_band_params& t = st->bands[1];
  for (int v = 0; v < 3; ++v) {
    float* w = ch.spectrum + 192 * v;
    for (int s = 0; s < 32; ++s) mp3enc_mdct6(ch.subband[s] + 6 + 6 * v, w + 6 * s);
    for (int i = t.cutoff; i < 192; ++i) w[i] = 0.0f;
    float* e = ch.energy + 13 * v;
    ch.total[v] = mp3enc_band_energy(w, t.bounds, t.active_bands, e);
    for (int b = t.active_bands; b < 13; ++b) e[b] = 0.0f;
    if (c == 1 && t.ms_allowed) {
      mp3enc_band_energy2(st->ch[0].spectrum + 192 * v, w, t.bounds, t.active_bands, st->ch[0].ms_energy + 13 * v,
                          &st->ch[0].ms_total[v], ch.ms_energy + 13 * v, &ch.ms_total[v]);
      for (int b = t.active_bands; b < 13; ++b) st->ch[0].ms_energy[13 * v + b] = ch.ms_energy[13 * v + b] = 0.0f;
    }
    window_thresholds(t, e, ch.thr + 13 * v, ch.prev_thr, 2, true);
    if (c == 1) {
      mp3enc_stereo_state& ss = st->stereo;
      if (t.is_allowed) {
        mp3enc_analysis_channel& l = st->ch[0];
        ss.first_is_band[v] = mp3enc_intensity_search(
            t.rate_class, l.spectrum + 192 * v, w, l.energy + 13 * v, e, l.thr + 13 * v, ch.thr + 13 * v, t.bounds,
            t.is_start_band, t.active_bands, 1, t.is_factor, ss.pos + 13 * v, ss.weight_b + 13 * v,
            ss.weight_a + 13 * v, ss.cross + 13 * v);
      } else {
        ss.first_is_band[v] = t.active_bands;
      }
    }
  }
}

void store(const mp3enc_analysis* st, int c, mp3enc_channel_analysis* out) {
  const mp3enc_analysis_channel& ch = st->ch[c];
  out->block_type = ch.block_type;
  if (ch.block_type != 2) {
    const mp3enc_band_params& t = st->bands[0];
    out->windows = 1;
    out->band_count = t.band_count;
    out->active_bands = t.active_bands;
    std::memcpy(out->bounds, t.bounds, sizeof(int32_t) * (t.band_count + 1));
    std::memcpy(out->spectrum, ch.spectrum, sizeof ch.spectrum);
    std::memcpy(out->energy, ch.energy, sizeof(float) * t.band_count);
    std::memcpy(out->ms_energy, ch.ms_energy, sizeof(float) * t.band_count);
    std::memcpy(out->thr, ch.thr, sizeof(float) * t.band_count);
    out->total = ch.total[0];
    out->ms_total = ch.ms_total[0];
    return;
  }
  const mp3enc_band_params& t = st->bands[1];
  out->windows = 3;
  out->band_count = 39;
  out->active_bands = 3 * t.active_bands;
  int o = 0;
  for (int b = 0; b < 13; ++b) {
    const int lo = t.bounds[b], n = t.bounds[b + 1] - lo;
    for (int v = 0; v < 3; ++v) {
      out->bounds[3 * b + v] = o + v * n;
      std::memcpy(out->spectrum + o + v * n, ch.spectrum + 192 * v + lo, sizeof(float) * n);
      out->energy[3 * b + v] = ch.energy[13 * v + b];
      out->ms_energy[3 * b + v] = ch.ms_energy[13 * v + b];
      out->thr[3 * b + v] = ch.thr[13 * v + b];
    }
    o += 3 * n;
  }
  out->bounds[39] = 576;
  out->total = ch.total[0] + ch.total[1] + ch.total[2] + 0.0f;
  out->ms_total = ch.ms_total[0] + ch.ms_total[1] + ch.ms_total[2] + 0.0f;
}

}  // namespace

int mp3enc_analysis_frame(mp3enc_analysis* st, int granule_index, mp3enc_granule_analysis* result) {
  const int nch = st->channels;
  // The detectors look 144 frames ahead of what the filterbank takes in this granule.
  for (int c = 0; c < nch; ++c) mp3enc_kernels().attack_detect(st->ch[c].attack, mp3enc_delay_read(&st->fifo, 144, c));
  for (int c = 0; c < nch; ++c) mp3enc_subband_shift(st->ch[c].subband);
  for (int c = 0; c < nch; ++c)
    mp3enc_kernels().polyphase(st->ch[c].poly, mp3enc_delay_read(&st->fifo, 0, c), nch, &st->ch[c].subband[0][0]);
  mp3enc_combine_block_types(st->ch[0].attack, nch == 2 ? st->ch[1].attack : nullptr, nch, 1, &st->ch[0].block_type,
                             &st->ch[1].block_type);
  for (int c = 0; c < nch; ++c) transform_channel(st, c);
  mp3enc_delay_advance(&st->fifo, 576);

  if (nch == 2) {
    const int kind = st->ch[0].block_type == 2 ? 1 : 0;
    const mp3enc_band_params& t = st->bands[kind];
    mp3enc_analysis_channel& l = st->ch[0];
    mp3enc_analysis_channel& r = st->ch[1];
    mp3enc_stereo_state& ss = st->stereo;
    // The frame's header holds one intensity flag, set in granule 0: a later granule without
    // it codes every band as the mid/side decision says, whatever its own search found.
    if (granule_index == 0) {
      result->is = 0;
      if (t.is_allowed)
        for (int w = 0; w < t.windows; ++w)
          if (ss.first_is_band[w] < t.active_bands) result->is = 1;
    }
    int32_t per_window[3];
    for (int w = 0; w < 3; ++w)
      per_window[w] = w < t.windows && result->is ? ss.first_is_band[w] : t.active_bands;
    if (!t.ms_allowed) {
      result->ms = 0;
    } else {
      result->ms = mp3enc_ms_decision(t.windows, l.energy, r.energy, l.ms_energy, r.ms_energy, l.spectrum,
                                       r.spectrum, l.thr, r.thr, &ss, granule_index, per_window, t.bounds) != 0;
    }
    for (int w = 0; w < 3; ++w) {
      result->ch[0].first_is_band[w] = t.active_bands;
      result->ch[1].first_is_band[w] = per_window[w];
    }
    if (result->is) {
      mp3enc_intensity_stereo(t.rate_class, l.energy, r.energy, l.spectrum, r.spectrum, l.thr, r.thr, ss.weight_b,
                              ss.weight_a, ss.cross, per_window, t.active_bands, t.bounds, t.windows);
      for (int w = 0; w < t.windows; ++w)
        for (int b = 0; b < t.active_bands; ++b) result->is_pos[b * t.windows + w] = ss.pos[13 * w + b];
    }
  }
  for (int c = 0; c < nch; ++c) store(st, c, &result->ch[c]);
  return 0;
}
