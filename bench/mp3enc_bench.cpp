// Encode speed of the MP3 encoder library beside lame.
// Ten minutes of speech (espeak-ng, repeated by sox) at the two project formats, 22050 Hz mono
// 32 kbit/s and 44100 Hz mono 64 kbit/s, encoded from 16-bit PCM in memory at each quality
// level; beside `lame --silent --cbr -m m -b 32/64` on the same WAV file; one core; median of 5.
// A third road starts from 44100 Hz speech coded at 22050 Hz, 32 kbit/s (our input rate stage
// beside lame's --resample 22.05); a fourth from 48000 Hz coded at 44100 Hz, 64 kbit/s, where
// the converter runs its polyphase filter (and its phase dot product) rather than the FFT.
// The ratios are printed at the end (aim: at most 0.7 of lame's time).
#include <benchmark/benchmark.h>
#include <sched.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "mp3enc/mp3enc.h"

namespace {

const std::string dir = "/tmp/mp3enc_bench";

struct corpus_file {
  std::string wav;
  std::vector<int16_t> pcm;
  int rate = 0;
};

bool make(int rate, corpus_file* out) {
  out->rate = rate;
  out->wav = dir + "/speech" + std::to_string(rate) + ".wav";
  const std::string raw = dir + "/speech" + std::to_string(rate) + ".raw";
  FILE* f = std::fopen(raw.c_str(), "rb");
  if (!f) {
    const std::string once = dir + "/once.wav";
    const std::string cmd =
        "mkdir -p " + dir + " && espeak-ng -w " + once +
        " 'The talking book goes on, page after page, with the steady voice of a narrator who has read a "
        "thousand books before this one. Chapter two begins in the morning, when the library opens.'"
        " >/dev/null 2>&1 && sox -R " + once + " -r " + std::to_string(rate) + " -c 1 " + out->wav +
        " repeat 80 trim 0 600 >/dev/null 2>&1 && sox -R " + out->wav + " -t raw -e signed -b 16 -L " + raw +
        " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return false;
    f = std::fopen(raw.c_str(), "rb");
    if (!f) return false;
  }
  int16_t buf[32768];
  size_t n;
  while ((n = std::fread(buf, 2, 32768, f)) > 0) out->pcm.insert(out->pcm.end(), buf, buf + n);
  std::fclose(f);
  return !out->pcm.empty();
}

const corpus_file* file(int which) {
  static corpus_file files[3];
  static bool ok[3] = {make(22050, &files[0]), make(44100, &files[1]), make(48000, &files[2])};
  static bool pinned = [] {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(0, &set);
    return sched_setaffinity(0, sizeof(set), &set) == 0;
  }();
  (void)pinned;
  return ok[which] ? &files[which] : nullptr;
}

std::map<std::string, std::vector<double>>& times() {
  static std::map<std::string, std::vector<double>> t;
  return t;
}

// Processor time of this process, and of the children it has waited for: on a loaded machine
// these compare the encoders where the wall clock measures the neighbours.
double own_cpu() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}
double children_cpu() {
  rusage u;
  getrusage(RUSAGE_CHILDREN, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

const char* const names[4] = {"22050 Hz mono 32 kbit/s", "44100 Hz mono 64 kbit/s",
                              "44100 -> 22050 Hz mono 32 kbit/s", "48000 -> 44100 Hz mono 64 kbit/s"};
// Road r: corpus file, output rate, kbit/s.
const int road_file[4] = {0, 1, 1, 2};
const int road_rate[4] = {22050, 44100, 22050, 44100};
const int road_kbps[4] = {32, 64, 32, 64};

struct ratio_printer {
  ratio_printer() { times(); }
  ~ratio_printer() {
    auto& t = times();
    for (const char* name : names) {
      const double lame = median(t[std::string("lame ") + name]);
      const double lame_cpu = median(t[std::string("cpu lame ") + name]);
      for (int q = 0; q < 3; ++q) {
        const double ours = median(t["ours q" + std::to_string(q) + " " + name]);
        const double ours_cpu = median(t["cpu ours q" + std::to_string(q) + " " + name]);
        if (ours > 0 && lame > 0)
          std::printf("%s quality %d: ours %.1f ms, lame %.1f ms, ours/lame %.2f (aim <= 0.7); processor time %.1f / "
                      "%.1f ms = %.2f\n",
                      name, q, ours * 1e3, lame * 1e3, ours / lame, ours_cpu * 1e3, lame_cpu * 1e3,
                      lame_cpu > 0 ? ours_cpu / lame_cpu : 0.0);
      }
    }
  }
} printer;

size_t encode_all(const corpus_file& f, int road, int quality) {
  mp3enc_handle* h = mp3enc_open(f.rate, 1, 0);
  mp3enc_config cfg{uint32_t(road_rate[road]), 1, 2, uint32_t(road_kbps[road] * 1000), 0};
  mp3enc_set_config(h, &cfg);
  mp3enc_params p = *mp3enc_get_params(h);
  p.quality = quality;
  mp3enc_set_params(h, &p);
  static uint8_t out[8192];
  size_t produced = 0, pos = 0;
  const uint8_t* in = reinterpret_cast<const uint8_t*>(f.pcm.data());
  const size_t total = f.pcm.size() * 2;
  while (pos < total) {
    int32_t want = 0, consumed = 0;
    mp3enc_get_input_size(h, &want);
    const int32_t r = mp3enc_encode(h, in + pos, int32_t(std::min<size_t>(size_t(want), total - pos)), &consumed, out,
                                    sizeof out, nullptr, nullptr);
    if (r < 0 || consumed == 0) break;
    produced += size_t(r);
    pos += size_t(consumed);
  }
  for (int32_t consumed = 0, r; (r = mp3enc_encode(h, nullptr, 0, &consumed, out, sizeof out, nullptr, nullptr)) > 0;)
    produced += size_t(r);
  mp3enc_close(h);
  return produced;
}

void BM_Ours(benchmark::State& state, int which, int quality) {
  const corpus_file* f = file(road_file[which]);
  if (!f) {
    state.SkipWithError("espeak-ng or sox missing");
    return;
  }
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = own_cpu();
    benchmark::DoNotOptimize(encode_all(*f, which, quality));
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.SetIterationTime(s);
    times()["ours q" + std::to_string(quality) + " " + names[which]].push_back(s);
    times()["cpu ours q" + std::to_string(quality) + " " + names[which]].push_back(own_cpu() - c0);
  }
}

void BM_Lame(benchmark::State& state, int which) {
  const corpus_file* f = file(road_file[which]);
  if (!f || std::system("command -v lame >/dev/null 2>&1") != 0) {
    state.SkipWithError("lame or the corpus missing");
    return;
  }
  const std::string resample =
      road_rate[which] == f->rate ? "" : road_rate[which] == 22050 ? " --resample 22.05" : " --resample 44.1";
  const std::string cmd = "taskset -c 0 lame --silent --cbr -m m -b " + std::to_string(road_kbps[which]) + resample +
                          " " + f->wav + " " + dir + "/lame.mp3";
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = children_cpu();
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("lame failed");
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.SetIterationTime(s);
    times()[std::string("lame ") + names[which]].push_back(s);
    times()[std::string("cpu lame ") + names[which]].push_back(children_cpu() - c0);
  }
}

#define KORVANE_BENCH_ARGS ->UseManualTime()->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)
BENCHMARK_CAPTURE(BM_Ours, q0_mono22050_32k, 0, 0) KORVANE_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Ours, q1_mono22050_32k, 0, 1) KORVANE_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Ours, q2_mono22050_32k, 0, 2) KORVANE_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Lame, mono22050_32k, 0) KORVANE_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Ours, q0_mono44100_64k, 1, 0) KORVANE_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Ours, q1_mono44100_64k, 1, 1) KORVANE_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Ours, q2_mono44100_64k, 1, 2) KORVANE_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Lame, mono44100_64k, 1) KORVANE_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Ours, q0_mono44100_to_22050_32k, 2, 0) KORVANE_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Ours, q1_mono44100_to_22050_32k, 2, 1) KORVANE_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Ours, q2_mono44100_to_22050_32k, 2, 2) KORVANE_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Lame, mono44100_to_22050_32k, 2) KORVANE_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Ours, q1_mono48000_to_44100_64k, 3, 1) KORVANE_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Lame, mono48000_to_44100_64k, 3) KORVANE_BENCH_ARGS;

}  // namespace
