// Whole streams through the wide kernels and through the plain ones: the same PCM to
// rounding, for every block kind lame writes (the clicks bring short, start and stop blocks).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "mp3dec/cpu.h"
#include "mp3dec/synth.h"
#include "mp3dec_support.h"

namespace {

struct wide_case {
  const char* name;
  int rate, channels;
  const char* lame;
  int force44100;
};

TEST(Mp3decWidePeer, StreamsDecodeAsWithThePlainKernels) {
  if (!mp3dec_cpu_has_avx2_fma()) GTEST_SKIP() << "no AVX2 and FMA";
  if (!have_tool("lame") || !have_tool("sox")) GTEST_SKIP() << "lame or sox missing";
  const wide_case cases[] = {
      {"22050 mono 32k", 22050, 1, "-m m -b 32", 0},
      {"22050 mono 32k at 44100", 22050, 1, "-m m -b 32", 1},
      {"44100 mono 64k", 44100, 1, "-m m -b 64", 0},
      {"44100 joint 128k", 44100, 2, "-m j -b 128", 0},
      {"32000 stereo at 44100", 32000, 2, "-m s -b 96", 1},
  };
  scratch_dir env;
  for (const auto& c : cases) {
    const std::string r = " -r " + std::to_string(c.rate) + " -c " + std::to_string(c.channels) + " ";
    ASSERT_EQ(run_quiet("sox -R -n" + r + env.path("a.wav") + " synth 1 sine 20-10000 vol -10dB"), 0);
    ASSERT_EQ(run_quiet("sox -R -n" + r + env.path("b.wav") + " synth 1 square 3 vol 0.5"), 0);
    ASSERT_EQ(run_quiet("sox -R " + env.path("a.wav") + " " + env.path("b.wav") + " " + env.path("in.wav")), 0);
    ASSERT_EQ(run_quiet(std::string("lame --quiet ") + c.lame + " " + env.path("in.wav") + " " + env.path("x.mp3")), 0);
    const auto mp3 = read_file(env.path("x.mp3"));
    l3_plain_kernels_only = true;
    const decode_result plain = decode_stream(mp3, 1, 0, c.force44100, 0, 0);
    l3_plain_kernels_only = false;
    const decode_result wide = decode_stream(mp3, 1, 0, c.force44100, 0, 0);
    const auto a = as_floats(plain.pcm), b = as_floats(wide.pcm);
    ASSERT_EQ(a.size(), b.size()) << c.name;
    ASSERT_GT(a.size(), size_t(c.rate));
    double worst = 0, sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
      const double d = std::fabs(double(a[i]) - b[i]);
      worst = std::max(worst, d);
      sum += d * d;
    }
    // At 16-bit scale: far below one step (the comparison with mpg123 allows 2), as the two
    // differ only in rounding.
    EXPECT_LT(worst, 0.1) << c.name;
    EXPECT_LT(std::sqrt(sum / double(a.size())), 0.01) << c.name;
    std::printf("%s: wide against plain, peak %.4f LSB, RMS %.5f LSB\n", c.name, worst, std::sqrt(sum / double(a.size())));
  }
}

}  // namespace
