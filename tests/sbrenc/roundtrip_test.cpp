// mp3PRO streams of our encoder through our decoder: every payload the encoder writes is read
// back bit for bit with the same values, the band tables of both sides agree, and the decoded
// high band carries the source's energy.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <set>
#include <sstream>

#include "mp3dec/mp3dec.h"
#include "mp3enc/core.h"
#include "roundtrip_support.h"
#include "sbrenc/sbrenc_config.h"

namespace {

enum signal_kind { music, tones, clicks, noise };

std::vector<float> make_signal(signal_kind kind, int rate, int channels, double seconds, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<float> g(0.0f, 1.0f);
  const long n = long(rate * seconds);
  std::vector<float> v(size_t(n * channels));
  // A one-pole low-pass colours the noise the way most recordings fall off towards the top.
  float lp[2] = {0, 0};
  for (long i = 0; i < n; ++i) {
    const double t = double(i) / rate;
    for (int c = 0; c < channels; ++c) {
      double x = 0;
      switch (kind) {
        case music:  // a chord of rich tones over soft noise
          for (int h = 1; h <= 40; ++h) {
            const double f1 = 196.0 * h * (1 + 0.002 * c), f2 = 293.7 * h;
            if (f1 < rate / 2) x += 2500.0 / h * std::sin(2 * M_PI * f1 * t + h);
            if (f2 < rate / 2) x += 1800.0 / h * std::sin(2 * M_PI * f2 * t + 2 * h);
          }
          lp[c] = 0.7f * lp[c] + 0.3f * g(rng);
          x += 600.0 * lp[c];
          break;
        case tones:  // two lines in silence, one above the crossover: what the tone tracker looks for
          x = 6000 * std::sin(2 * M_PI * 500 * t) + 4000 * std::sin(2 * M_PI * 10000 * t + c);
          break;
        case clicks:  // clicks at moving positions within the frames, in faint noise
          x = (i % 9973) < 40 ? 14000.0 * g(rng) : 40.0 * g(rng);
          break;
        case noise:
          lp[c] = 0.5f * lp[c] + 0.5f * g(rng);
          x = 3000.0 * lp[c];
          break;
      }
      v[size_t(i * channels + c)] = float(x);
    }
  }
  return v;
}

struct config_row {
  int rate, input_channels;
  uint32_t mode, bit_rate;
};

// One configuration for every tuning row a configuration can reach (the first row, 18000 to
// 24000 bit/s at 16000 Hz, lies below every bit rate the core offers, variable rates included),
// and the mono core with two-channel input.
const config_row configs[] = {
    {32000, 1, 1, 24000}, {32000, 1, 1, 32000}, {32000, 1, 1, 48000}, {44100, 1, 1, 32000}, {44100, 1, 1, 40000},
    {44100, 1, 1, 56000}, {48000, 1, 1, 32000}, {48000, 1, 1, 40000}, {48000, 1, 1, 48000}, {32000, 2, 2, 32000},
    {32000, 2, 2, 40000}, {32000, 2, 2, 48000}, {32000, 2, 2, 80000}, {44100, 2, 2, 40000}, {44100, 2, 2, 48000},
    {44100, 2, 2, 56000}, {44100, 2, 2, 64000}, {44100, 2, 2, 80000}, {44100, 2, 2, 96000}, {48000, 2, 2, 40000},
    {48000, 2, 2, 48000}, {48000, 2, 2, 56000}, {48000, 2, 2, 64000}, {48000, 2, 2, 80000}, {48000, 2, 2, 96000},
    {44100, 2, 3, 32000},
};

int tuning_row(const config_row& c) {
  const int channels = c.mode == 2 ? 2 : 1;
  for (int r = 0; r < sbrenc_tuning_rows; ++r) {
    const int32_t* t = sbrenc_tuning_table[r];
    if (t[sbrenc_tc_channels] == channels && t[sbrenc_tc_core_rate] == c.rate / 2 &&
        t[sbrenc_tc_min_rate] <= int32_t(c.bit_rate) && int32_t(c.bit_rate) < t[sbrenc_tc_max_rate])
      return r;
  }
  return -1;
}

std::string name(const config_row& c) {
  std::ostringstream s;
  s << c.rate << " Hz, mode " << c.mode << ", " << c.bit_rate << " bit/s";
  return s.str();
}

bool finite(const std::vector<float>& v) {
  for (float x : v)
    if (!std::isfinite(x)) return false;
  return true;
}

struct run_figures {
  size_t payloads = 0;
  long bits = 0;
  // Worst SBR band, in dB from the source: where the adjuster sets the energies, with the
  // limiter's share added back (held to a quantiser step), without it, and after the synthesis.
  double worst_db = 0, worst_without_limiter_db = 0, worst_output_db = 0;
};

// What the compared payloads exercised, so that a corpus that misses a syntax branch shows.
struct coverage {
  std::set<int> classes, amp_res;
  int coupled = 0, uncoupled = 0, tones = 0, time_coded = 0, freq_coded = 0, headers = 0;
  void add(const rt_written& w) {
    headers += w.header_bits > 0;
    amp_res.insert(w.header.amp_res);
    if (w.element == 2) (w.header.coupled ? coupled : uncoupled) += 1;
    for (int c = 0; c < w.element; ++c) {
      classes.insert(w.ch[c].frame_class);
      tones += w.ch[c].tone_count;
      for (int e = 0; e < w.ch[c].grid.envelopes; ++e) (w.ch[c].dir_env[e] ? time_coded : freq_coded) += 1;
    }
  }
};
coverage g_coverage;

// Encodes, decodes and compares a configuration with a signal; the figures go to the caller.
void check_round_trip(const config_row& c, signal_kind kind, double seconds, bool measure, run_figures* f) {
  const auto pcm = make_signal(kind, c.rate, c.input_channels, seconds, unsigned(c.bit_rate + c.rate + kind));
  rt_options o;
  o.rate = c.rate;
  o.input_channels = c.input_channels;
  o.channel_mode = c.mode;
  o.bit_rate = c.bit_rate;
  const rt_result r = rt_round_trip(pcm, o);
  ASSERT_TRUE(r.configured);
  EXPECT_EQ(r.failed_frames, 0);
  EXPECT_EQ(r.decoded_rate, c.rate);
  EXPECT_EQ(r.mp3pro_frames, r.frames);
  EXPECT_TRUE(finite(r.decoded));
  ASSERT_FALSE(r.written.empty());
  // Every frame's payload reaches the decoder, in order, to the last frame of the stream: the
  // SBR encoder writes one payload for each frame and no other.
  ASSERT_EQ(r.read.size(), r.written.size());
  EXPECT_EQ(int(r.read.size()), r.frames);
  int mismatched = 0;
  for (size_t i = 0; i < r.read.size(); ++i) {
    const std::string d = rt_compare(r.written[i], r.read[i]);
    if (!d.empty() && ++mismatched <= 3) ADD_FAILURE() << "frame " << i << ": " << d;
    f->bits += r.written[i].header_bits + r.written[i].data_bits;
    g_coverage.add(r.written[i]);
  }
  f->payloads += r.written.size();
  // The header goes out in the first frame and then once per period; other headers only where the
  // encoder had a reason (a changed crossover or level class, a dropped payload), and then the
  // decoder reads them too, as compared above.
  const int period = r.written[0].timer_period;
  for (size_t i = 0; i < r.written.size(); ++i) {
    if (i == 0 || (period > 0 && i % size_t(period) == 0)) {
      EXPECT_GT(r.written[i].header_bits, 0) << "frame " << i;
    }
  }

  // Band tables: the decoder's for the header it read equal the encoder's.
  const SbrHeader& h = r.read[0].first.header;
  SbrFreqTables t;
  ASSERT_TRUE(rt_decoder_tables(h, c.rate, &t));
  const rt_written& w = r.written[0];
  EXPECT_EQ(std::vector<int32_t>(t.master, t.master + t.n_master + 1), w.master) << "master";
  EXPECT_EQ(std::vector<int32_t>(t.high, t.high + t.n_high + 1), w.high) << "high resolution";
  EXPECT_EQ(std::vector<int32_t>(t.low, t.low + t.n_low + 1), w.low) << "low resolution";

  // Pseudo-stereo spreads the one SBR channel over two on purpose, so its channels are not the
  // source's.
  if (!measure || c.mode == 3) return;
  // Mean energy of each high-resolution SBR band, source against decoded, away from the ends.
  // Both sides define the band energies on the QMF slots: the encoder measures the source's,
  // the decoder's adjuster scales its own to them. So the decoded energy is taken from the
  // slots the decoder's synthesis takes. There the limiter may keep energy back from a band
  // whose replicated source is weak next to the rest of its limiter band; that is its job, so
  // its share is added back, and the envelope must then be met within one quantiser step.
  // The synthesis passes on only what a real signal can carry of the slots: the adjuster's
  // noise and the inverse filtering's whitening lose up to half their energy there, so the
  // output keeps between half and all of each band's slot energy (and half a decibel for what
  // leaks over a band's edges).
  const int frames = int(pcm.size() / size_t(c.input_channels) / 1152);
  const int out_ch = r.decoded_channels;
  for (int ch = 0; ch < (c.mode == 2 ? 2 : 1); ++ch) {
    const auto src = rt_qmf_band_energy(pcm, c.input_channels, ch, 8, frames - 4);
    const auto dec = rt_decoded_band_energy(r, ch, 8, frames - 4, false);
    const auto kept = rt_decoded_band_energy(r, ch, 8, frames - 4, true);
    const auto out = rt_qmf_band_energy(r.decoded, out_ch, ch, 8, frames - 4);
    // The decoder's slots are in the source's units: its core band carries the source's.
    double core_src = 0, core_dec = 0;
    for (int k = 1; k < t.kx; ++k) {
      core_src += src[size_t(k)];
      core_dec += dec[size_t(k)];
    }
    EXPECT_LT(std::fabs(10 * std::log10(core_dec / core_src)), 1.5) << "channel " << ch << " core band";
    auto db = [&](const std::vector<double>& e, int b) {
      double es = 0, ed = 0;
      for (int k = t.high[b]; k < t.high[b + 1]; ++k) {
        es += src[size_t(k)];
        ed += e[size_t(k)];
      }
      return 10 * std::log10((ed + 1e-9) / (es + 1e-9));
    };
    for (int b = 0; b < t.n_high; ++b) {
      const double d = db(kept, b);
      f->worst_db = std::max(f->worst_db, std::fabs(d));
      f->worst_without_limiter_db = std::max(f->worst_without_limiter_db, std::fabs(db(dec, b)));
      f->worst_output_db = std::max(f->worst_output_db, std::fabs(db(out, b)));
      EXPECT_LT(std::fabs(d), 3.0) << "channel " << ch << " band " << b << " (QMF " << t.high[b] << ".."
                                   << t.high[b + 1] << "): " << d << " dB";
      const double kept_by_synthesis = db(out, b) - db(dec, b);
      EXPECT_GT(kept_by_synthesis, -3.5) << "channel " << ch << " band " << b;
      EXPECT_LT(kept_by_synthesis, 0.5) << "channel " << ch << " band " << b;
    }
  }
}

TEST(SbrRoundTrip, EveryTuningRowReadsBackAsWrittenWithTheSourceEnergy) {
  std::set<int> rows;
  for (const config_row& c : configs) {
    rows.insert(tuning_row(c));
    for (signal_kind k : {music, noise}) {
      SCOPED_TRACE(name(c) + (k == music ? ", music" : ", noise"));
      run_figures f;
      check_round_trip(c, k, 1.6, true, &f);
      std::printf("%-32s %-6s payloads %3zu, %5.1f bits each, worst band %.2f dB (without the limiter's share "
                  "%.2f, at the output %.2f)\n",
                  name(c).c_str(), k == music ? "music" : "noise", f.payloads,
                  double(f.bits) / double(std::max<size_t>(f.payloads, 1)), f.worst_db, f.worst_without_limiter_db,
                  f.worst_output_db);
    }
  }
  rows.erase(-1);
  EXPECT_EQ(rows.size(), size_t(sbrenc_tuning_rows - 1));
}

TEST(SbrRoundTrip, TonesAndClicksReadBackAsWritten) {
  g_coverage = coverage{};
  for (const config_row& c : configs) {
    for (signal_kind k : {tones, clicks}) {
      SCOPED_TRACE(name(c) + (k == tones ? ", tones" : ", clicks"));
      run_figures f;
      check_round_trip(c, k, 1.2, false, &f);
    }
  }
  const coverage& v = g_coverage;
  std::printf("amplitude resolutions %zu, classes %zu, coupled %d, uncoupled %d, tone tracks %d, time/frequency coded %d/%d, headers %d\n",
              v.amp_res.size(), v.classes.size(), v.coupled, v.uncoupled, v.tones, v.time_coded, v.freq_coded, v.headers);
  EXPECT_EQ(v.classes, (std::set<int>{0, 1, 2, 3}));
  EXPECT_GT(v.tones, 0);
  EXPECT_GT(v.coupled, 0);
  EXPECT_GT(v.uncoupled, 0);
  EXPECT_GT(v.time_coded, 0);
  EXPECT_GT(v.freq_coded, 0);
}

}  // namespace

namespace {

int best_lag(const std::vector<float>& in, int in_ch, const std::vector<float>& out, int out_ch, int max_lag) {
  double best = -1e300;
  int lag = -1;
  const size_t n = in.size() / size_t(in_ch);
  for (int l = 0; l <= max_lag; ++l) {
    double acc = 0;
    for (size_t i = 0; i < n && (i + size_t(l)) * size_t(out_ch) < out.size(); ++i)
      acc += double(in[i * size_t(in_ch)]) * out[(i + size_t(l)) * size_t(out_ch)];
    if (acc > best) {
      best = acc;
      lag = l;
    }
  }
  return lag;
}

// The delay the encoder states is the one its stream has through our decoder, SBR banks
// included, so the gapless block trims exactly to the input.
TEST(SbrRoundTrip, StatedDelayIsTheDecodedDelayAndGaplessTrimsToTheInput) {
  const config_row rows[] = {{32000, 1, 1, 32000}, {44100, 2, 2, 64000}, {48000, 1, 1, 40000}};
  for (const config_row& c : rows) {
    SCOPED_TRACE(name(c));
    std::vector<float> pcm;
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-9000.0f, 9000.0f);
    for (int i = 0; i < c.rate; ++i) {
      const double t = double(i) / c.rate;
      const float v = float(8000 * std::sin(2 * M_PI * (200 + 1500 * t) * t)) + ((i % 5000) < 30 ? u(rng) : 0.0f);
      for (int k = 0; k < c.input_channels; ++k) pcm.push_back(v);
    }
    rt_options o;
    o.rate = c.rate;
    o.input_channels = c.input_channels;
    o.channel_mode = c.mode;
    o.bit_rate = c.bit_rate;
    const rt_result plain = rt_round_trip(pcm, o, false);
    ASSERT_GT(plain.decoded_channels, 0);
    EXPECT_EQ(best_lag(pcm, c.input_channels, plain.decoded, plain.decoded_channels, 6000), plain.stated_delay);
    const rt_result trimmed = rt_round_trip(pcm, o, true);
    ASSERT_GT(trimmed.decoded_channels, 0);
    EXPECT_EQ(trimmed.decoded.size() / size_t(trimmed.decoded_channels), pcm.size() / size_t(c.input_channels));
    EXPECT_EQ(best_lag(pcm, c.input_channels, trimmed.decoded, trimmed.decoded_channels, 200), 0);
  }
}

}  // namespace

namespace {

// Offset of the SBR block that ends frame 0's main data in a mono MPEG-2 stream without CRC.
int first_block(const std::vector<uint8_t>& s) {
  static const int br2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
  static const int rates[3] = {22050, 24000, 16000};
  const int bytes0 = 72000 * br2[s[2] >> 4] / rates[(s[2] >> 2) & 3] + ((s[2] >> 1) & 1);
  const int end = bytes0 - s[size_t(bytes0) + 4];  // frame 1's main_data_begin
  for (int p = 13; p + 2 <= end; ++p) {
    const int tag = s[size_t(p)] >> 4, len = ((s[size_t(p)] & 15) << 4) | (s[size_t(p) + 1] >> 4);
    if ((tag == 13 || tag == 15) && p + 2 + len == end) return p;
  }
  return -1;
}

// A first frame whose payload fails its CRC is no proof of mp3PRO: plain streams carry such
// bytes by chance. With the CRC intact the same stream decodes at twice the rate.
TEST(SbrRoundTrip, FirstFrameTurnsSbrOnOnlyWithAPayloadThatPassesItsCrc) {
  const config_row c{44100, 1, 1, 32000};
  const auto pcm = make_signal(noise, c.rate, 1, 0.5, 3);
  rt_options o;
  o.rate = c.rate;
  o.bit_rate = c.bit_rate;
  rt_result r = rt_round_trip(pcm, o);
  ASSERT_EQ(r.decoded_rate, 44100);
  const int p = first_block(r.stream);
  ASSERT_GT(p, 0);
  r.stream[size_t(p) + 1] ^= 0x01;  // a bit of the CRC field
  MP3Decoder* dec = nullptr;
  ASSERT_EQ(MP3CreateDecoder(&dec, 1, 0, 0, 0, 0), SSC_OK);
  ASSERT_GT(dec->Feed(r.stream.data(), int(std::min<size_t>(r.stream.size(), 4000))), 0);
  std::vector<uint8_t> out(MP3DEC_MAX_FRAME_OUTPUT_BYTES);
  int bytes = 0;
  SSC s = SSC_SYNC_NEED_DATA;
  for (int guard = 0; guard < 10 && s == SSC_SYNC_NEED_DATA; ++guard)
    s = dec->DecodeFrame(out.data(), int(out.size()), &bytes, nullptr, nullptr, 1);
  EXPECT_TRUE(SSC_SUCCESS(s));
  EXPECT_EQ(dec->GetFrameInfo()->outputRate, 22050u);
  EXPECT_EQ(dec->GetFrameInfo()->mp3proActive, 0u);
  dec->Release();
}

}  // namespace

namespace {

// A coupled pair sends one tone block; the tracker took the tone out of both channels'
// envelopes, so both channels must get it back.
TEST(SbrRoundTrip, TonesOfACoupledPairReachBothChannels) {
  const config_row c{44100, 2, 2, 40000};
  const auto pcm = make_signal(tones, c.rate, 2, 1.6, 1);
  rt_options o;
  o.rate = c.rate;
  o.input_channels = 2;
  o.channel_mode = c.mode;
  o.bit_rate = c.bit_rate;
  const rt_result r = rt_round_trip(pcm, o);
  ASSERT_EQ(r.decoded_channels, 2);
  int coupled_with_tones = 0;
  for (const rt_written& w : r.written) coupled_with_tones += w.header.coupled && w.ch[0].tone_count > 0;
  ASSERT_GT(coupled_with_tones, 20);
  const int k = int(10000.0 * 64 / (c.rate / 2.0));  // the QMF band of the 10 kHz line
  for (int ch = 0; ch < 2; ++ch) {
    const auto src = rt_qmf_band_energy(pcm, 2, ch, 8, 60);
    const auto dec = rt_qmf_band_energy(r.decoded, 2, ch, 8, 60);
    const double db = 10 * std::log10((dec[size_t(k)] + dec[size_t(k) + 1] + 1e-9) / (src[size_t(k)] + src[size_t(k) + 1] + 1e-9));
    EXPECT_LT(std::fabs(db), 3.0) << "channel " << ch << ": " << db << " dB";
  }
}

}  // namespace

namespace {

int32_t two_tight_frames(int32_t granule, int32_t room) { return granule == 20 || granule == 21 ? 10 : room; }

// A frame without room for its payload leaves it out; the next frame brings a header and codes
// its envelopes afresh, and the stream stays sound.
TEST(SbrRoundTrip, PayloadWithoutRoomIsLeftOutAndAHeaderFollows) {
  for (const config_row& c : {config_row{44100, 1, 1, 32000}, config_row{48000, 2, 2, 64000}}) {
    SCOPED_TRACE(name(c));
    const auto pcm = make_signal(music, c.rate, c.input_channels, 1.2, 4);
    rt_options o;
    o.rate = c.rate;
    o.input_channels = c.input_channels;
    o.channel_mode = c.mode;
    o.bit_rate = c.bit_rate;
    mp3enc_core_room_for_tests = two_tight_frames;
    const rt_result r = rt_round_trip(pcm, o);
    mp3enc_core_room_for_tests = nullptr;
    ASSERT_TRUE(r.configured);
    EXPECT_EQ(r.failed_frames, 0);
    EXPECT_EQ(r.mp3pro_frames, r.frames);
    EXPECT_TRUE(finite(r.decoded));
    ASSERT_GT(r.written.size(), 30u);
    // Frames 20 and 21 carry no payload; the decoder reads the others in order, to the last.
    ASSERT_EQ(r.read.size() + 2, r.written.size());
    EXPECT_EQ(r.read.size() + 2, size_t(r.frames));
    for (size_t j = 0; j < r.read.size(); ++j) {
      const size_t i = j < 20 ? j : j + 2;
      const std::string d = rt_compare(r.written[i], r.read[j]);
      EXPECT_TRUE(d.empty()) << "frame " << i << ": " << d;
    }
    const rt_written& next = r.written[22];
    EXPECT_GT(next.header_bits, 0);
    for (int ch = 0; ch < next.element; ++ch) EXPECT_EQ(next.ch[ch].dir_env[0], 0) << "channel " << ch;
  }
}

}  // namespace
