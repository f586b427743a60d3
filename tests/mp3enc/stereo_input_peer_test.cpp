// Two-channel input at full scale: down-mixed to one coded channel (also through the rate
// stage), and coded as two channels at the low bit rates where the image is narrowed. The
// streams must be sound for the peers and our decoder, and nothing may overload.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <complex>
#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core_support.h"

namespace {

enum class pair { same, opposite, left_only, noise, wide_speech };

std::vector<float> stereo(pair kind, int rate, double seconds, const core_scratch& dir) {
  const size_t n = size_t(rate * seconds);
  std::vector<float> x(2 * n);
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(-32768.0f, 32767.0f);
  if (kind == pair::wide_speech) {
    // speech on the left, the same speech a little later and inverted on the right: a wide,
    // hard image at full scale
    std::vector<float> s = speech(dir, rate, 1, "The steady voice of the narrator went on, page after page.");
    if (s.empty()) return {};
    float peak = 1.0f;
    for (float v : s) peak = std::max(peak, std::fabs(v));
    s.resize(std::min(s.size(), n));
    x.assign(2 * s.size(), 0.0f);
    for (size_t i = 0; i < s.size(); ++i) {
      x[2 * i] = s[i] * 32767.0f / peak;
      x[2 * i + 1] = i >= 40 ? -s[i - 40] * 32767.0f / peak : 0.0f;
    }
    return x;
  }
  for (size_t i = 0; i < n; ++i) {
    const float v = float(32767.0 * std::sin(2 * M_PI * 997.0 * double(i) / rate));
    switch (kind) {
      case pair::same: x[2 * i] = x[2 * i + 1] = v; break;
      case pair::opposite: x[2 * i] = v, x[2 * i + 1] = -v; break;
      case pair::left_only: x[2 * i] = v, x[2 * i + 1] = 0.0f; break;
      default: x[2 * i] = u(rng), x[2 * i + 1] = u(rng); break;
    }
  }
  return x;
}

TEST(StereoInput, FullScaleTwoChannelsStaySoundAndWithinRange) {
  if (!have_peer_tools()) GTEST_SKIP() << "needs ffmpeg, mpg123, sox and espeak-ng";
  core_scratch dir;
  struct row {
    int input_rate, rate, coded, bit_rate;
    pair kind;
  } rows[] = {
      // one coded channel: the pair is mixed down, (L + R) / 2
      {44100, 44100, 1, 64000, pair::same},       {44100, 44100, 1, 64000, pair::opposite},
      {44100, 44100, 1, 64000, pair::left_only},  {44100, 22050, 1, 32000, pair::same},
      {44100, 22050, 1, 32000, pair::noise},      {22050, 22050, 1, 32000, pair::wide_speech},
      // two coded channels at bit rates where the narrowing runs
      {44100, 44100, 2, 48000, pair::same},       {44100, 44100, 2, 48000, pair::noise},
      {44100, 44100, 2, 48000, pair::wide_speech}, {22050, 22050, 2, 32000, pair::left_only},
      {44100, 22050, 2, 32000, pair::wide_speech}, {16000, 16000, 2, 24000, pair::noise},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.input_rate << " -> " << r.rate << " coded " << r.coded << " " << r.bit_rate
                                    << " kind " << int(r.kind));
    const auto pcm = stereo(r.kind, r.input_rate, 3.0, dir);
    ASSERT_FALSE(pcm.empty());
    core_options o;
    o.input_rate = r.input_rate;
    o.input_channels = 2;
    o.rate = r.rate;
    o.channels = r.coded;
    o.bit_rate = r.bit_rate;
    o.stereo_prep = true;
    const auto s = core_encode(pcm, o);
    std::vector<walked_frame> frames;
    std::string why;
    ASSERT_TRUE(walk_frames(s, &frames, &why)) << why;
    const std::string file = dir.path("s.mp3");
    ASSERT_TRUE(write_file(file, s));
    EXPECT_EQ("", ffmpeg_errors(file));
    EXPECT_EQ("", mpg123_problems(file));
    const decoded d = decode_ours(s, false);
    EXPECT_EQ(int(frames.size()), d.frames);
    EXPECT_EQ(0, d.failed_frames);
    ASSERT_EQ(r.coded, d.channels);
    // Level against what goes in, per coded channel: (L + R) / 2 for one, L and R for two.
    // An overload (a sum not halved, a mix whose weights pass 1) shows as 3 to 6 dB more.
    for (int c = 0; c < r.coded; ++c) {
      double in = 0, out = 0;
      for (size_t i = 0; i < pcm.size() / 2; ++i) {
        const double v = r.coded == 1 ? 0.5 * (double(pcm[2 * i]) + pcm[2 * i + 1]) : pcm[2 * i + size_t(c)];
        in += v * v;
      }
      for (size_t i = size_t(c); i < d.samples.size(); i += size_t(r.coded)) out += double(d.samples[i]) * d.samples[i];
      in /= double(pcm.size() / 2);
      out /= double(d.samples.size() / size_t(r.coded));
      // (a silent channel may take some of the other one, through the narrowing's first
      // granules and intensity stereo: allowed up to 40 dB below full scale)
      EXPECT_LT(out, 1.26 * in + 328.0 * 328.0) << "channel " << c;
    }
    // after the first granule of audio, whose full-scale onset overshoots as any band-limited
    // step does
    float peak = 0.0f;
    for (size_t i = size_t(r.coded) * (1201 + 576); i < d.samples.size(); ++i)
      peak = std::max(peak, std::fabs(d.samples[i]));
    // coding noise may lift a full-scale peak a little, an overflow lifts it far; full-scale
    // noise cut to the coded band has peaks beyond full scale of its own
    if (r.kind != pair::noise) {
      EXPECT_LT(peak, 1.15f * 32768.0f);
    }
    if (r.coded == 1 && r.input_rate == r.rate && r.kind != pair::noise && r.kind != pair::wide_speech) {
      // the mix keeps the level of (L + R) / 2: full, nothing, or half
      const float expected = r.kind == pair::same ? 32767.0f : r.kind == pair::left_only ? 16384.0f : 0.0f;
      EXPECT_NEAR(expected, peak, 0.1f * 32768.0f);
    }
  }
}

// At a low bit rate a wide, hard two-channel signal is narrowed before analysis: the decoded
// side channel keeps less of the input's than without the narrowing, while the mid channel
// keeps its level.
TEST(StereoInput, LowBitRatesNarrowTheImage) {
  if (!have_tool("espeak-ng") || !have_tool("sox")) GTEST_SKIP() << "needs espeak-ng and sox";
  core_scratch dir;
  struct row {
    int rate, bit_rate;
  } rows[] = {{44100, 48000}, {22050, 32000}, {16000, 24000}};
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.rate << " " << r.bit_rate);
    std::vector<float> s = speech(dir, r.rate, 1,
                                  "Chapter two begins in the morning, when the library opens and the readers come in.");
    ASSERT_FALSE(s.empty());
    // the right channel: the same voice 2 ms later plus its own hiss, so the side channel is
    // strong but below the mid
    std::mt19937 rng(9);
    std::normal_distribution<float> hiss(0.0f, 600.0f);
    const size_t lag = size_t(r.rate / 500);
    std::vector<float> pcm(2 * s.size());
    for (size_t i = 0; i < s.size(); ++i) {
      pcm[2 * i] = s[i];
      pcm[2 * i + 1] = (i >= lag ? s[i - lag] : 0.0f) + hiss(rng);
    }
    double side[2], mid[2];
    for (int on = 0; on < 2; ++on) {
      core_options o;
      o.rate = r.rate;
      o.channels = 2;
      o.bit_rate = r.bit_rate;
      o.stereo_prep = on == 1;
      const decoded d = decode_ours(core_encode(pcm, o), false);
      ASSERT_EQ(2, d.channels);
      side[on] = mid[on] = 0;
      for (size_t i = 0; i + 1 < d.samples.size(); i += 2) {
        const double m = 0.5 * (d.samples[i] + d.samples[i + 1]), sd = 0.5 * (d.samples[i] - d.samples[i + 1]);
        mid[on] += m * m;
        side[on] += sd * sd;
      }
    }
    const double narrowed_db = 10 * std::log10(side[0] / side[1]), mid_db = 10 * std::log10(mid[1] / mid[0]);
    std::printf("%d Hz %d bit/s: side channel %.1f dB lower with the narrowing, mid %+.2f dB\n", r.rate, r.bit_rate,
                narrowed_db, mid_db);
    EXPECT_GT(narrowed_db, 1.0);
    EXPECT_NEAR(0.0, mid_db, 0.5);
  }
}

// The peers' picture of a stream: interleaved stereo samples; empty when the tool fails.
std::vector<float> peer_decoded(const core_scratch& dir, const std::string& mp3, bool ffmpeg) {
  const std::string raw = dir.path("peer.raw");
  int st = 0;
  run_command(ffmpeg ? "ffmpeg -nostdin -v error -y -i '" + mp3 + "' -f s16le -ac 2 '" + raw + "'"
                     : "mpg123 -q -O '" + raw + "' '" + mp3 + "'",
              &st);
  return st == 0 ? read_raw_s16(raw) : std::vector<float>{};
}

// Energy of channel c of a stereo signal in the band from lo to hi Hz.
double band_energy(const std::vector<float>& x, int c, int rate, double lo, double hi) {
  std::vector<float> ch(x.size() / 2);
  for (size_t i = 0; i < ch.size(); ++i) ch[i] = x[2 * i + size_t(c)];
  const std::vector<float> top = lowpass(ch, hi, rate),
                           bottom = lo > 0 ? lowpass(ch, lo, rate) : std::vector<float>(ch.size());
  double e = 0;
  for (size_t i = 0; i < ch.size(); ++i) e += double(top[i] - bottom[i]) * (top[i] - bottom[i]);
  return e;
}

// Level of the right channel against the left in dB, over the band from lo to hi Hz.
double right_to_left_db(const std::vector<float>& x, int rate, double lo, double hi) {
  return 10 * std::log10(band_energy(x, 1, rate, lo, hi) / band_energy(x, 0, rate, lo, hi));
}

// Joint stereo at the low rates: a centred low band below a high band that leans left by a
// known level. Decoded by both peers, the high band must lean as far as the source (the
// intensity directions are those of the scale the stream announces) and the low band must
// stay centred (bands of a zero side channel that decoders take as intensity coded).
TEST(StereoInput, JointStereoKeepsTheSourcesDirections) {
  if (!have_peer_tools()) GTEST_SKIP() << "needs ffmpeg, mpg123, sox and espeak-ng";
  core_scratch dir;
  struct row {
    int rate, bit_rate;
    double right_db;
  } rows[] = {{22050, 32000, -3.0}, {22050, 32000, -6.0}, {22050, 32000, -9.0}, {11025, 16000, -6.0}};
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.rate << " " << r.bit_rate << " right " << r.right_db << " dB");
    std::mt19937 rng(5);
    std::normal_distribution<float> n(0.0f, 4000.0f);
    const size_t len = size_t(r.rate) * 4;
    std::vector<float> a(len), b(len);
    for (size_t i = 0; i < len; ++i) a[i] = n(rng), b[i] = n(rng);
    const std::vector<float> low = lowpass(a, 0.05 * r.rate, r.rate), b_top = lowpass(b, 0.17 * r.rate, r.rate),
                             b_bottom = lowpass(b, 0.1 * r.rate, r.rate);
    const float g = float(std::pow(10.0, r.right_db / 20));
    std::vector<float> pcm(2 * len);
    for (size_t i = 0; i < len; ++i) {
      const float high = b_top[i] - b_bottom[i];
      pcm[2 * i] = low[i] + high;
      pcm[2 * i + 1] = low[i] + g * high;
    }
    core_options o;
    o.rate = r.rate;
    o.channels = 2;
    o.bit_rate = r.bit_rate;
    const std::string file = dir.path("j.mp3");
    ASSERT_TRUE(write_file(file, core_encode(pcm, o)));
    EXPECT_NEAR(r.right_db, right_to_left_db(pcm, r.rate, 0.115 * r.rate, 0.155 * r.rate), 0.05);
    const double low_in = band_energy(pcm, 0, r.rate, 0, 0.04 * r.rate);
    for (const char* name : {"ffmpeg", "mpg123", "ours"}) {
      const std::vector<float> d = name[0] == 'o' ? decode_ours(read_file(file), false).samples
                                                  : peer_decoded(dir, file, name[0] == 'f');
      ASSERT_GT(d.size(), pcm.size()) << name;
      const double high = right_to_left_db(d, r.rate, 0.115 * r.rate, 0.155 * r.rate),
                   low = right_to_left_db(d, r.rate, 0, 0.04 * r.rate),
                   low_level = 10 * std::log10(band_energy(d, 0, r.rate, 0, 0.04 * r.rate) / low_in);
      std::printf("%d Hz %d bit/s, %s: high band R/L %+.2f dB (source %+.1f), low band %+.2f dB at %+.2f dB\n",
                  r.rate, r.bit_rate, name, high, r.right_db, low, low_level);
      EXPECT_NEAR(r.right_db, high, 0.2) << name;
      EXPECT_NEAR(0.0, low, 0.2) << name;
      EXPECT_NEAR(0.0, low_level, 0.3) << name;
    }
  }
}

// Energy per band of each channel of a stereo signal: Hann-windowed power spectra of 1024
// samples, half overlapping, summed over the bins from lo to hi Hz of every band.
std::vector<std::array<double, 2>> band_energies(const std::vector<float>& x, int rate,
                                                 const std::vector<std::pair<double, double>>& bands) {
  const size_t n = 1024;
  std::vector<std::array<double, 2>> e(bands.size(), {0.0, 0.0});
  std::vector<std::complex<double>> f(n);
  for (size_t start = 0; start + n <= x.size() / 2; start += n / 2)
    for (int c = 0; c < 2; ++c) {
      for (size_t i = 0; i < n; ++i)
        f[i] = x[2 * (start + i) + size_t(c)] * (0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(n)));
      for (size_t i = 1, j = 0; i < n; ++i) {  // iterative radix-2 transform
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(f[i], f[j]);
      }
      for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> w = std::polar(1.0, -2 * M_PI / double(len));
        for (size_t i = 0; i < n; i += len) {
          std::complex<double> wk = 1.0;
          for (size_t k = 0; k < len / 2; ++k, wk *= w) {
            const std::complex<double> a = f[i + k], b = f[i + k + len / 2] * wk;
            f[i + k] = a + b;
            f[i + k + len / 2] = a - b;
          }
        }
      }
      for (size_t k = 1; k < n / 2; ++k) {
        const double hz = double(k) * rate / double(n);
        for (size_t b = 0; b < bands.size(); ++b)
          if (hz >= bands[b].first && hz < bands[b].second) e[b][size_t(c)] += std::norm(f[k]);
      }
    }
  return e;
}

// The decoded signal from the encoder's delay on, as long as the input.
std::vector<float> aligned(const std::vector<float>& decoded, int delay, size_t length) {
  std::vector<float> a(length, 0.0f);
  for (size_t i = 0; i < length && 2 * size_t(delay) + i < decoded.size(); ++i) a[i] = decoded[2 * size_t(delay) + i];
  return a;
}

// Equal channels in joint stereo at the rates of MPEG-2 and 2.5: with the side channel zero
// the decoders take every band as intensity coded at position 0, which plays the mid channel
// 3 dB louder than mid/side unless the encoder made up for it. The reference is the same input
// coded as plain left/right. Where the bit rate leaves each plain channel little but values of
// 1, plain coding itself decodes louder than its input: rounding at 0.4054 lifts lines of a
// third to two thirds of a step to a whole step (up to +1.2 dB in noise-like bands), as one
// channel alone at half the bit rate does too, while joint stereo spends the same bits on one
// channel and keeps the level. Those rows compare with mid/side alone, and in every band where
// joint and plain part, plain coding must be the louder one and louder than the input. At
// 16 kbit/s (8 a channel) pink noise is left out: there mid/side and joint stereo too stray from
// the input by up to 1.9 dB in the upper octaves.
TEST(StereoInput, CentredSoundKeepsTheLevelOfPlainStereo) {
  if (!have_peer_tools()) GTEST_SKIP() << "needs ffmpeg, mpg123, sox and espeak-ng";
  core_scratch dir;
  // The bit rates (kbit/s) at which plain coding strays from the input, by rate: speech (the
  // recorded speech too), pink noise.
  const struct {
    int rate;
    std::vector<int> speech, pink;
  } loud_plain[] = {
      {8000, {16}, {24, 32}},           {11025, {16, 24}, {24, 32}},
      {12000, {16}, {24, 32, 40}},      {16000, {16, 24, 32}, {24, 32, 40, 48, 56}},
      {22050, {16, 24, 64}, {24, 32, 40, 48, 56, 64}}, {24000, {16, 24, 64}, {24, 32, 40, 48, 56, 64, 80}},
  };
  const int kbps[] = {16, 24, 32, 40, 48, 56, 64, 80, 96};  // intensity is allowed up to 96 kbit/s
  for (const auto& by_rate : loud_plain) {
    const int rate = by_rate.rate;
    const std::vector<float> talk =
        speech(dir, rate, 1, "A voice in the middle of the room reads the chapter aloud, slowly and clearly.");
    ASSERT_FALSE(talk.empty());
    // pink noise (-3 dB an octave) from a fixed seed: white noise through a sum of one-pole
    // low-passes an octave apart
    std::mt19937 rng(17);
    std::normal_distribution<double> white(0.0, 1.0);
    std::vector<float> pink(size_t(3 * rate));
    double state[8] = {};
    for (float& v : pink) {
      const double w = white(rng);
      double sum = 0;
      for (int k = 0; k < 8; ++k) {
        const double a = std::exp(-2 * M_PI * 20.0 * std::pow(2.0, k) / rate);
        state[k] = a * state[k] + (1 - a) * w * std::pow(2.0, k / 2.0);
        sum += state[k];
      }
      v = float(600.0 * sum);
    }
    // at 8000 Hz also the recorded speech on which the fault was seen (its channels are equal)
    std::vector<float> recorded;
    if (rate == 8000) {
      const std::vector<float> pair =
          read_raw_s16(std::string(KORVANE_SHARED_DIR) + "/cases/encoder/centred-speech-8000-stereo.raw");
      ASSERT_FALSE(pair.empty());
      for (size_t i = 0; i < pair.size(); i += 2) recorded.push_back(pair[i]);
    }
    for (int kb : kbps)
      for (const auto& [name, mono] : {std::pair{"speech", &talk}, std::pair{"pink noise", &std::as_const(pink)},
                                       std::pair{"recorded speech", &std::as_const(recorded)}}) {
        if (mono->empty()) continue;
        if (rate < 16000 && kb > 64) continue;  // beyond MPEG-2.5's bit rates
        if (kb == 16 && mono == &pink) continue;
        const std::vector<int>& listed = mono == &pink ? by_rate.pink : by_rate.speech;
        const bool plain_strays = std::find(listed.begin(), listed.end(), kb) != listed.end();
        SCOPED_TRACE(testing::Message() << name << ", " << rate << " Hz, " << kb << " kbit/s");
        std::vector<float> pcm(2 * mono->size());
        for (size_t i = 0; i < mono->size(); ++i) pcm[2 * i] = pcm[2 * i + 1] = (*mono)[i];
        core_options o;
        o.rate = rate;
        o.channels = 2;
        o.bit_rate = kb * 1000;
        int delay = 0;
        float bandwidth = 0;
        const auto joint = core_encode(pcm, o, &delay, &bandwidth);
        o.stereo_tools = false;
        const auto plain = core_encode(pcm, o);
        o.stereo_tools = true;
        o.intensity = false;
        const auto mid_side = plain_strays ? core_encode(pcm, o) : std::vector<uint8_t>{};
        std::vector<walked_frame> frames;
        std::string why;
        ASSERT_TRUE(walk_frames(joint, &frames, &why)) << why;
        int intensity = 0;
        for (const walked_frame& f : frames) intensity += (joint[f.offset + 3] & 0x10) != 0;
        EXPECT_GT(intensity, 0) << "no frame uses intensity";
        std::vector<std::pair<double, double>> bands;
        for (double lo = 100; lo * 1.5 < bandwidth; lo *= 2) bands.push_back({lo, std::min(2 * lo, double(bandwidth))});
        const std::string jf = dir.path("joint.mp3"), pf = dir.path("plain.mp3"), mf = dir.path("mid_side.mp3");
        ASSERT_TRUE(write_file(jf, joint));
        ASSERT_TRUE(write_file(pf, plain));
        if (plain_strays) {
          ASSERT_TRUE(write_file(mf, mid_side));
        }
        const auto in = band_energies(pcm, rate, bands);
        for (bool ffmpeg : {true, false}) {
          const char* decoder = ffmpeg ? "ffmpeg" : "mpg123";
          auto levels = [&](const std::string& file) {
            const std::vector<float> d = peer_decoded(dir, file, ffmpeg);
            EXPECT_GT(d.size(), pcm.size()) << decoder << " on " << file;
            return band_energies(aligned(d, delay, pcm.size()), rate, bands);
          };
          const auto j = levels(jf), p = levels(pf);
          const auto ref = plain_strays ? levels(mf) : p;
          auto db = [](const std::array<double, 2>& a, const std::array<double, 2>& b) {
            return 10 * std::log10((a[0] + a[1]) / (b[0] + b[1]));
          };
          std::printf("%s, %d Hz, %d kbit/s, %s, joint against %s by octave:", name, rate, kb, decoder,
                      plain_strays ? "mid/side" : "plain");
          for (size_t b = 0; b < bands.size(); ++b) std::printf(" %+.2f", db(j[b], ref[b]));
          if (plain_strays) {
            std::printf("; against plain:");
            for (size_t b = 0; b < bands.size(); ++b) std::printf(" %+.2f", db(j[b], p[b]));
            std::printf("; plain against the input:");
            for (size_t b = 0; b < bands.size(); ++b) std::printf(" %+.2f", db(p[b], in[b]));
          }
          std::printf(" dB\n");
          bool parted = false;
          for (size_t b = 0; b < bands.size(); ++b) {
            SCOPED_TRACE(testing::Message() << decoder << ", " << bands[b].first << " to " << bands[b].second << " Hz");
            EXPECT_NEAR(0.0, db(j[b], ref[b]), 0.5);
            EXPECT_NEAR(0.0, 10 * std::log10(j[b][1] / j[b][0]), 0.005) << "balance";
            if (plain_strays && std::fabs(db(j[b], p[b])) > 0.5) {
              // plain coding too loud, not joint stereo
              parted = true;
              EXPECT_LT(db(j[b], p[b]), 0.0) << "joint stereo louder than plain coding";
              EXPECT_GT(db(p[b], in[b]), 0.0) << "plain coding not louder than the input";
            }
          }
          if (plain_strays) {
            EXPECT_TRUE(parted) << decoder << ": plain coding holds here, compare with it";
          }
        }
      }
  }
}

}  // namespace
