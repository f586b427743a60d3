// Decode speed of the MP3 decoder library beside mpg123.
// Ten minutes of 22050 Hz mono 32 kbit/s and of 44100 Hz mono 64 kbit/s, made by sox and
// lame, decoded to 16-bit PCM in memory; beside `mpg123 -q -t --cpu generic` and plain
// `mpg123 -q -t` on the same files; one core; median of 5. The ratios are printed at the end.
#include <benchmark/benchmark.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "mp3dec/mp3dec.h"

namespace {

const std::string dir = "/tmp/mp3dec_bench";

struct corpus_file {
  std::string path;
  std::vector<uint8_t> bytes;
};

bool make(const std::string& name, int rate, int kbps, corpus_file* out) {
  out->path = dir + "/" + name + ".mp3";
  FILE* f = std::fopen(out->path.c_str(), "rb");
  if (!f) {
    const std::string wav = dir + "/" + name + ".wav";
    const std::string cmd = "mkdir -p " + dir + " && sox -R -n -r " + std::to_string(rate) + " -c 1 " + wav +
                            " synth 600 sine 20-10000 vol -20dB >/dev/null 2>&1 && lame --quiet -m m -b " +
                            std::to_string(kbps) + " " + wav + " " + out->path + " && rm -f " + wav;
    if (std::system(cmd.c_str()) != 0) return false;
    f = std::fopen(out->path.c_str(), "rb");
    if (!f) return false;
  }
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) out->bytes.insert(out->bytes.end(), buf, buf + n);
  std::fclose(f);
  return !out->bytes.empty();
}

const corpus_file* file(int which) {
  static corpus_file files[2];
  static bool ok[2] = {make("mono22050_32k", 22050, 32, &files[0]), make("mono44100_64k", 44100, 64, &files[1])};
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

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

struct ratio_printer {
  ratio_printer() { times(); }  // constructed first, destroyed after the printer
  ~ratio_printer() {
    auto& t = times();
    for (const char* name : {"22050 Hz mono 32 kbit/s", "44100 Hz mono 64 kbit/s"}) {
      const double ours = median(t[std::string("ours ") + name]);
      const double generic = median(t[std::string("mpg123 generic ") + name]);
      const double best = median(t[std::string("mpg123 ") + name]);
      if (ours > 0 && generic > 0 && best > 0)
        std::printf("%s: ours %.1f ms, mpg123 --cpu generic %.1f ms, mpg123 %.1f ms; "
                    "ours/generic %.2f (aim < 1), ours/best %.2f (aim <= 1.5)\n",
                    name, ours * 1e3, generic * 1e3, best * 1e3, ours / generic, ours / best);
    }
  }
} printer;

void decode_all(const std::vector<uint8_t>& data) {
  MP3Decoder* d = nullptr;
  MP3CreateDecoder(&d, 0, 0, 0, 1, 0);
  static int16_t pcm[MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16 / 2];
  size_t pos = 0;
  for (;;) {
    if (pos < data.size()) {
      pos += size_t(d->Feed(data.data() + pos, int(data.size() - pos)));
      if (pos >= data.size()) d->SetEndOfInput();
    }
    int bytes = 0;
    const SSC s = d->DecodeFrame(pcm, sizeof(pcm), &bytes, nullptr, nullptr, 0);
    if (s == SSC_SYNC_EOF) break;
    benchmark::DoNotOptimize(pcm[0]);
  }
  d->Release();
}

void BM_Ours(benchmark::State& state, int which, const char* name) {
  const corpus_file* f = file(which);
  if (!f) {
    state.SkipWithError("sox or lame missing");
    return;
  }
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    decode_all(f->bytes);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.SetIterationTime(s);
    times()[std::string("ours ") + name].push_back(s);
  }
}

void BM_Mpg123(benchmark::State& state, int which, const char* name, bool generic) {
  const corpus_file* f = file(which);
  if (!f || std::system("command -v mpg123 >/dev/null 2>&1") != 0) {
    state.SkipWithError("mpg123 or the corpus missing");
    return;
  }
  const std::string cmd = std::string("taskset -c 0 mpg123 -q -t ") + (generic ? "--cpu generic " : "") + f->path +
                          " >/dev/null 2>&1";
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("mpg123 failed");
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.SetIterationTime(s);
    times()[std::string(generic ? "mpg123 generic " : "mpg123 ") + name].push_back(s);
  }
}

#define KORVANE_BENCH_ARGS ->UseManualTime()->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)
BENCHMARK_CAPTURE(BM_Ours, mono22050_32k, 0, "22050 Hz mono 32 kbit/s") KORVANE_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Mpg123, generic_mono22050_32k, 0, "22050 Hz mono 32 kbit/s", true) KORVANE_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Mpg123, best_mono22050_32k, 0, "22050 Hz mono 32 kbit/s", false) KORVANE_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Ours, mono44100_64k, 1, "44100 Hz mono 64 kbit/s") KORVANE_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Mpg123, generic_mono44100_64k, 1, "44100 Hz mono 64 kbit/s", true) KORVANE_BENCH_ARGS;
BENCHMARK_CAPTURE(BM_Mpg123, best_mono44100_64k, 1, "44100 Hz mono 64 kbit/s", false) KORVANE_BENCH_ARGS;

}  // namespace
