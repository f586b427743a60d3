// Speed of mp3PRO-rate decoding: ten minutes of a 22050 Hz stereo core stream (sox and lame)
// decoded to float and taken through the SBR decoder's banks to 44100 Hz stereo, on one
// core. The counter "x_realtime" is the stream's duration over the time taken (aim >= 10).
// Beside it, ten minutes of mp3PRO frames (the decoder fuzz target's seed: a silent mono
// core with payloads asking for pseudo-stereo) through the whole decoder: payload, envelopes,
// high band generation and adjustment, 44100 Hz stereo out.
#include <benchmark/benchmark.h>
#include <sched.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mp3dec/mp3dec.h"
#include "mp3dec/sbrdec.h"

namespace {

const std::string dir = "/tmp/sbrdec_bench";

std::vector<uint8_t> stream() {
  static std::vector<uint8_t> bytes = [] {
    std::vector<uint8_t> b;
    const std::string path = dir + "/stereo22050_48k.mp3";
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
      const std::string wav = dir + "/stereo22050.wav";
      const std::string cmd = "mkdir -p " + dir + " && sox -R -n -r 22050 -c 2 " + wav +
                              " synth 600 sine 20-10000 pinknoise vol -20dB >/dev/null 2>&1 && lame --quiet -m j -b 48 " +
                              wav + " " + path + " && rm -f " + wav;
      if (std::system(cmd.c_str()) != 0) return b;
      f = std::fopen(path.c_str(), "rb");
      if (!f) return b;
    }
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) b.insert(b.end(), buf, buf + n);
    std::fclose(f);
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(0, &set);
    sched_setaffinity(0, sizeof(set), &set);
    return b;
  }();
  return bytes;
}

void BM_SbrDecode22050To44100Stereo(benchmark::State& state) {
  const std::vector<uint8_t> data = stream();
  if (data.empty()) {
    state.SkipWithError("sox or lame missing");
    return;
  }
  std::vector<float> out(size_t(MP3DEC_MAX_FRAME_OUTPUT_BYTES) / 4 + 2304);
  double seconds = 0.0;
  for (auto _ : state) {
    MP3Decoder* d = nullptr;
    MP3CreateDecoder(&d, 1, 0, 0, 0, 0);
    SbrDecoderConfig config;
    sbrdec_default_config(&config, 2);
    SbrDecoder* sbr = sbrdec_create(22050, 576, &config);
    SbrPayload none{};
    size_t pos = 0;
    long long samples = 0;
    for (;;) {
      if (pos < data.size()) {
        pos += size_t(d->Feed(data.data() + pos, int(std::min<size_t>(data.size() - pos, 16384))));
        if (pos >= data.size()) d->SetEndOfInput();
      }
      int bytes = 0;
      const SSC s = d->DecodeFrame(out.data(), MP3DEC_MAX_FRAME_OUTPUT_BYTES, &bytes, nullptr, nullptr, 1);
      if (s == SSC_SYNC_EOF) break;
      if (bytes == 576 * 2 * 4) {
        sbrdec_apply(sbr, &none, out.data(), 2);
        samples += 1152;
      }
    }
    benchmark::DoNotOptimize(out.data());
    sbrdec_destroy(sbr);
    d->Release();
    seconds = double(samples) / 44100.0;
  }
  state.counters["x_realtime"] =
      benchmark::Counter(seconds * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SbrDecode22050To44100Stereo)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_Mp3proStreamTo44100Stereo(benchmark::State& state) {
  const std::string seed = std::string(KORVANE_SOURCE_DIR) + "/fuzz/corpus/mp3dec_fuzz/seed_mp3pro_mono";
  std::vector<uint8_t> frames;
  if (FILE* f = std::fopen(seed.c_str(), "rb")) {
    uint8_t buf[65536];
    const size_t n = std::fread(buf, 1, sizeof(buf), f);
    std::fclose(f);
    if (n > 2) frames.assign(buf + 2, buf + n);  // the fuzz target's two option bytes
  }
  if (frames.empty()) {
    state.SkipWithError("seed missing");
    return;
  }
  std::vector<uint8_t> data;
  // 208-byte frames of 576 samples.
  while (data.size() / 208 * 576 < size_t(600 * 22050)) data.insert(data.end(), frames.begin(), frames.end());
  std::vector<float> out(size_t(MP3DEC_MAX_FRAME_OUTPUT_BYTES) / 4);
  double seconds = 0.0;
  for (auto _ : state) {
    MP3Decoder* d = nullptr;
    MP3CreateDecoder(&d, 1, 0, 0, 0, 0);
    size_t pos = 0;
    long long samples = 0;
    for (;;) {
      if (pos < data.size()) {
        pos += size_t(d->Feed(data.data() + pos, int(std::min<size_t>(data.size() - pos, 16384))));
        if (pos >= data.size()) d->SetEndOfInput();
      }
      int bytes = 0;
      const SSC s = d->DecodeFrame(out.data(), MP3DEC_MAX_FRAME_OUTPUT_BYTES, &bytes, nullptr, nullptr, 1);
      if (s == SSC_SYNC_EOF) break;
      samples += bytes / 8;
    }
    benchmark::DoNotOptimize(out.data());
    d->Release();
    seconds = double(samples) / 44100.0;
  }
  state.counters["x_realtime"] =
      benchmark::Counter(seconds * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Mp3proStreamTo44100Stereo)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
