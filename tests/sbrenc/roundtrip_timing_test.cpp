// The high band that our decoder rebuilds from the SBR payloads keeps time with the core's low
// band, from the first frame to the last one of the stream.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "roundtrip_support.h"

namespace {

// Energy of a 64-sample block after a second difference, which weighs the band above the
// crossover about ten times the core's.
double high_energy(const std::vector<float>& v, int channels, int channel, long at) {
  double e = 0;
  for (long i = at; i < at + 64; ++i) {
    const auto x = [&](long k) { return double(v[size_t(k * channels + channel)]); };
    const double d = x(i) - 2 * x(i - 1) + x(i - 2);
    e += d * d;
  }
  return e;
}

struct edges {
  long on = 0, off = 0;  // where the decoded high band rises above and falls below half its level
};

// The decoded burst [from, to) of the source (at the output rate), found at the stated delay.
edges burst_edges(const rt_result& r, long from, long to) {
  const int ch = r.decoded_channels;
  const long n = long(r.decoded.size()) / ch, d = r.stated_delay;
  double level = 0;
  for (long b = from + d + 1000; b + 64 <= to + d - 1000; b += 64) level += high_energy(r.decoded, ch, 0, b);
  level /= double((to - from - 2000) / 64);
  edges e;
  for (long b = from + d - 3000; b + 64 < n; b += 32)
    if (high_energy(r.decoded, ch, 0, b) > level / 2) {
      e.on = b - (from + d);
      break;
    }
  for (long b = std::min(to + d + 3000, n - 64); b > from + d; b -= 32)
    if (high_energy(r.decoded, ch, 0, b) > level / 2) {
      e.off = b - (to + d);
      break;
    }
  return e;
}

TEST(SbrRoundTripTiming, HighBandStartsAndEndsWithTheSource) {
  struct row {
    int rate, channels;
    uint32_t mode, bit_rate;
    int output_rate;
  };
  const row rows[] = {{32000, 1, 1, 32000, 0}, {44100, 1, 1, 32000, 0}, {48000, 1, 1, 40000, 0},
                      {44100, 2, 2, 64000, 0}, {48000, 1, 1, 32000, 44100}};
  for (const row& c : rows) {
    rt_options o;
    o.rate = c.rate;
    o.output_rate = c.output_rate;
    o.input_channels = c.channels;
    o.channel_mode = c.mode;
    o.bit_rate = c.bit_rate;
    // A burst in the middle, and one that runs to the last sample of the input, whose high
    // band the stream's last frames have to carry; the ends fall anywhere within a frame.
    const long n = long(c.rate * 1.2);
    const long bursts[][2] = {{23340, 35340}, {n - 9000 - c.rate % 1152, n}};
    for (const auto& b : bursts) {
      std::ostringstream name;
      name << c.rate << " Hz, mode " << c.mode << ", burst " << b[0] << ".." << b[1];
      SCOPED_TRACE(name.str());
      std::mt19937 rng(unsigned(c.rate + b[0]));
      std::normal_distribution<float> g(0.0f, 1.0f);
      std::vector<float> pcm(size_t(n * c.channels));
      for (long i = 0; i < n * c.channels; ++i) pcm[size_t(i)] = (i / c.channels >= b[0] && i / c.channels < b[1] ? 3000 : 3) * g(rng);
      const rt_result r = rt_round_trip(pcm, o);
      ASSERT_GT(r.decoded_channels, 0);
      const double k = c.output_rate ? double(c.output_rate) / c.rate : 1.0;
      ASSERT_GE(long(r.decoded.size()) / r.decoded_channels, long(double(n) * k) + r.stated_delay);
      const edges e = burst_edges(r, long(double(b[0]) * k), long(double(b[1]) * k));
      // Within four QMF slots; a late payload put them 1500 samples late.
      EXPECT_LE(std::abs(e.on), 256) << "high band starts " << e.on << " samples off";
      EXPECT_LE(std::abs(e.off), 256) << "high band ends " << e.off << " samples off";
    }
  }
}

}  // namespace
