// Peer check of the SBR filter banks: with nothing above the core band, the SBR decoder's
// output is the core upsampled by two, as sox's rate conversion makes it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "mp3dec/sbrdec.h"
#include "mp3dec_support.h"

namespace {

TEST(SbrPeer, EmptyHighBandGivesTheCoreUpsampledLikeSox) {
  if (!have_tool("sox")) GTEST_SKIP() << "sox missing";
  scratch_dir dir;
  // Tones and a sweep up to 0.8 of the core's Nyquist frequency (8820 Hz at 22050 Hz).
  const int frames = 40;
  std::vector<float> core(size_t(frames * 576));
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> phase(0.0, 2.0 * M_PI);
  const double tones[] = {100.0, 440.0, 1234.5, 3000.0, 5555.0, 7000.0, 8500.0};
  std::vector<double> phases;
  for (size_t t = 0; t < std::size(tones); ++t) phases.push_back(phase(rng));
  for (size_t i = 0; i < core.size(); ++i) {
    const double s = double(i) / 22050.0;
    double v = 0.0;
    for (size_t t = 0; t < std::size(tones); ++t) v += 0.08 * std::sin(2.0 * M_PI * tones[t] * s + phases[t]);
    v += 0.1 * std::sin(2.0 * M_PI * (50.0 * s + 0.5 * 8700.0 / 1.1 * s * s));  // 50 Hz - 8750 Hz sweep
    core[i] = float(v);
  }
  std::vector<uint8_t> raw(core.size() * 4);
  std::memcpy(raw.data(), core.data(), raw.size());
  ASSERT_TRUE(write_file(dir.path("core.f32"), raw));
  ASSERT_EQ(run_quiet("sox -R -t f32 -r 22050 -c 1 " + dir.path("core.f32") + " -t f32 " + dir.path("up.f32") +
                      " rate -v 44100"),
            0);
  const std::vector<float> ref = as_floats(read_file(dir.path("up.f32")));
  ASSERT_GE(ref.size(), size_t(frames * 1152 - 8));

  SbrDecoderConfig config;
  sbrdec_default_config(&config, 2);
  SbrDecoder* d = sbrdec_create(22050, 576, &config);
  ASSERT_NE(d, nullptr);
  SbrPayload none{};
  std::vector<float> ours;
  for (int f = 0; f < frames; ++f) {
    std::vector<float> buf(1152);
    for (int i = 0; i < 576; ++i) buf[size_t(i)] = core[size_t(f * 576 + i)] * 32768.0f;
    ASSERT_EQ(sbrdec_apply(d, &none, buf.data(), 1), 0);
    for (float v : buf) ours.push_back(v / 32768.0f);
  }
  sbrdec_destroy(d);

  const size_t delay = 578 + 384;  // banks, then the grid's lead of 6 slots
  double sig = 0.0, err = 0.0;
  for (size_t i = 2000; i + delay < ours.size() && i < ref.size() - 2000; ++i) {
    sig += double(ref[i]) * ref[i];
    err += (double(ours[i + delay]) - ref[i]) * (double(ours[i + delay]) - ref[i]);
  }
  const double snr = 10.0 * std::log10(sig / err);
  EXPECT_GT(snr, 50.0);
  RecordProperty("snr_db", std::to_string(snr));
}

}  // namespace
