// Encoding speed of mp3PRO beside plain MPEG audio: ten minutes of speech (espeak-ng, made
// 44100 Hz mono by sox, repeated), encoded in memory at 44100 Hz mono, plain at 64 kbit/s
// and mp3PRO at 48 kbit/s (core 22050 Hz); one core; median of 3. The ratio is printed at
// the end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "mp3enc/mp3enc.h"

namespace {

const std::string dir = "/tmp/sbrenc_bench";

const std::vector<int16_t>* speech() {
  static std::vector<int16_t> pcm;
  static bool tried = false;
  if (tried) return pcm.empty() ? nullptr : &pcm;
  tried = true;
  const std::string raw = dir + "/speech.raw";
  const std::string cmd = "mkdir -p " + dir + " && espeak-ng -w " + dir +
                          "/speech.wav 'The talking book is read aloud chapter by chapter, with pauses between the "
                          "sentences and the headings, so that a listener can move through it phrase by phrase.' "
                          ">/dev/null 2>&1 && sox -R " + dir + "/speech.wav -t raw -e signed -b 16 -L -r 44100 -c 1 " +
                          raw + " >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return nullptr;
  FILE* f = std::fopen(raw.c_str(), "rb");
  if (!f) return nullptr;
  std::vector<int16_t> once;
  int16_t buf[4096];
  size_t n;
  while ((n = std::fread(buf, 2, 4096, f)) > 0) once.insert(once.end(), buf, buf + n);
  std::fclose(f);
  if (once.empty()) return nullptr;
  const size_t total = 44100u * 600u;
  pcm.reserve(total);
  while (pcm.size() < total) pcm.insert(pcm.end(), once.begin(), once.begin() + std::min(once.size(), total - pcm.size()));
  return &pcm;
}

// Returns the bytes written, or -1.
long encode(const std::vector<int16_t>& pcm, uint32_t sbr_mode, uint32_t bit_rate) {
  mp3enc_handle* h = mp3enc_open(44100, 1, 0);
  if (!h) return -1;
  mp3enc_config c;
  c.output_rate = 44100;
  c.channel_mode = 1;
  c.sbr_mode = sbr_mode;
  c.bit_rate = bit_rate;
  if (!mp3enc_set_config(h, &c)) {
    mp3enc_close(h);
    return -1;
  }
  static std::vector<uint8_t> out(1 << 20);
  const auto* p = reinterpret_cast<const uint8_t*>(pcm.data());
  const long bytes = static_cast<long>(pcm.size() * 2);
  long pos = 0, written = 0;
  for (;;) {
    int32_t want = 0;
    mp3enc_get_input_size(h, &want);
    const int32_t n = static_cast<int32_t>(std::min<long>(want, bytes - pos));
    int32_t used = 0;
    const int32_t r = mp3enc_encode(h, p + pos, n, &used, out.data(), static_cast<int32_t>(out.size()), nullptr, nullptr);
    if (r < 0) {
      written = -1;
      break;
    }
    written += r;
    pos += used;
    if (n == 0 && r == 0) break;
  }
  mp3enc_close(h);
  return written;
}

std::map<std::string, std::vector<double>>& times() {
  static std::map<std::string, std::vector<double>> t;
  return t;
}

// On a shared machine the processor time of the process is steadier than the wall clock.
double cpu_seconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

void BM_Encode(benchmark::State& state, uint32_t sbr_mode, uint32_t bit_rate, const char* name) {
  const auto* pcm = speech();
  if (!pcm) {
    state.SkipWithError("espeak-ng or sox missing");
    return;
  }
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = cpu_seconds();
    if (encode(*pcm, sbr_mode, bit_rate) <= 0) state.SkipWithError("encoding failed");
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.SetIterationTime(s);
    times()[name].push_back(s);
    times()[std::string(name) + " cpu"].push_back(cpu_seconds() - c0);
  }
}

#define SBRENC_BENCH_ARGS ->UseManualTime()->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)
BENCHMARK_CAPTURE(BM_Encode, plain_64k, 2, 64000, "plain") SBRENC_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Encode, mp3pro_48k, 1, 48000, "mp3PRO") SBRENC_BENCH_ARGS;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const double plain = median(times()["plain"]), pro = median(times()["mp3PRO"]);
  const double plain_cpu = median(times()["plain cpu"]), pro_cpu = median(times()["mp3PRO cpu"]);
  if (plain > 0 && pro > 0)
    std::printf("10 min of speech, 44100 Hz mono: plain 64 kbit/s %.2f s (cpu %.2f s), mp3PRO 48 kbit/s %.2f s "
                "(cpu %.2f s); mp3PRO / plain: %.2f (cpu %.2f)\n",
                plain, plain_cpu, pro, pro_cpu, pro / plain, pro_cpu / plain_cpu);
  return 0;
}
