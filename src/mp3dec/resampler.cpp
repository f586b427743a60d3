// Output sample-rate converter.
#include "mp3dec/resampler.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <numeric>
#include <vector>
#include <algorithm>

#include "mp3dec/cpu.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MP3DEC_X86 1
#endif

namespace {
constexpr double pi = 3.14159265358979323846;

// Dot product of taps with the history, newest sample first (wrapping).
typedef float (*dot_fn)(const float* taps, int n, const float* hist, int len, int newest);

float dot_plain(const float* taps, int n, const float* hist, int len, int newest) {
  float acc = 0.0f;
  int p = newest;
  for (int k = 0; k < n; ++k) {
    acc += taps[k] * hist[p];
    p = p == 0 ? len - 1 : p - 1;
  }
  return acc;
}

#ifdef MP3DEC_X86
// The history is kept twice (mirrored) so that the newest-first run is contiguous in reverse;
// the SSE form reads it backwards four at a time.
__attribute__((target("sse"))) float dot_sse(const float* taps, int n, const float* hist, int len,
                                              int newest) {
  // Unwrapped: hist[newest - k] for k < n, using the mirrored copy at +len.
  const float* h = hist + newest + len;  // h[-k] valid for k < len
  __m128 acc = _mm_setzero_ps();
  int k = 0;
  for (; k + 4 <= n; k += 4) {
    __m128 t = _mm_load_ps(taps + k);
    __m128 v = _mm_loadu_ps(h - k - 3);  // h[-k-3], h[-k-2], h[-k-1], h[-k]
    v = _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3));
    acc = _mm_add_ps(acc, _mm_mul_ps(t, v));
  }
  float r[4];
  _mm_storeu_ps(r, acc);
  float sum = (r[0] + r[1]) + (r[2] + r[3]);
  for (; k < n; ++k) sum += taps[k] * h[-k];
  return sum;
}
#endif

dot_fn dot_kernel = dot_plain;
bool mirrored = false;

double bessel_i0(double x) {
  double sum = 1.0, term = 1.0;
  const double q = x * x / 4.0;
  for (int k = 1; k < 1000; ++k) {
    term *= q / (double(k) * k);
    sum += term;
    if (term < sum * 1e-21) break;
  }
  return sum;
}

float* alloc_floats(size_t n) {
  // 32-byte aligned: the wide kernel loads its taps eight at a time.
  const size_t bytes = (n * sizeof(float) + 31) & ~size_t(31);
  float* p = static_cast<float*>(std::aligned_alloc(32, bytes ? bytes : 32));
  if (p) std::memset(p, 0, bytes);
  return p;
}
}  // namespace

bool resampler_dec_fail_next_create = false;
bool resampler_dec_no_wide_next_create = false;

void resampler_dec_destroy(RateConverter* r) {
  if (!r) return;
  if (r->phases) {
    for (int p = 0; p < r->L; ++p) {
      std::free(r->phases[p].coef);
      std::free(r->phases[p].rcoef);
    }
    delete[] r->phases;
  }
  for (auto& st : r->state) std::free(st.history);
  std::free(r->silence);
  std::free(r->scratch);
  std::free(r->lanes);
  delete r;
}

bool resampler_dec_create(RateConverter** out, int channels, int count_kind, int count,
                          int input_rate, int output_rate, double cutoff_hz,
                          double relative_transition, int) {
  const bool no_wide = resampler_dec_no_wide_next_create;
  resampler_dec_no_wide_next_create = false;
  if (resampler_dec_fail_next_create) {
    resampler_dec_fail_next_create = false;
    return false;
  }
  if (!out || channels < 1 || channels > 2 || input_rate <= 0 || output_rate <= 0 || count < 1)
    return false;
  RateConverter* r = new (std::nothrow) RateConverter();
  if (!r) return false;
  r->channels = channels;
  r->input_rate = input_rate;
  r->output_rate = output_rate;
  const int lower = input_rate < output_rate ? input_rate : output_rate;
  double cutoff = cutoff_hz < lower / 2.0 ? cutoff_hz : lower / 2.0;
  const int g = std::gcd(input_rate, output_rate);
  r->L = output_rate / g;
  r->M = input_rate / g;
  if (input_rate == output_rate && cutoff == input_rate / 2.0) {
    r->mode = 0;
    r->in_count = count;
    r->out_count = count;
    *out = r;
    return true;
  }
  if (r->L > 512 * r->M || r->L >= 512) {
    delete r;
    return false;
  }
  r->mode = 1;
  const double trans = relative_transition * cutoff;
  const double fs = double(input_rate) * r->L;
  const double nc = cutoff / fs, nt = trans / fs;
  const double beta = 0.1102 * (90.0 - 8.7);
  const int N = int((90.0 - 7.95) / (14.36 * nt) + 1);
  const double fc = nc - nt / 2.0;
  std::vector<double> h(size_t(N), 0.0);
  const double i0b = bessel_i0(beta);
  double sum = 0.0;
  for (int k = 0; k < N; ++k) {
    const double j = k - (N - 1) / 2.0;  // distance from the centre (x.5 for even N)
    const double ratio = (N > 1) ? 2.0 * j / (N - 1) : 0.0;
    const double w = bessel_i0(beta * std::sqrt(std::max(0.0, 1.0 - ratio * ratio))) / i0b;
    h[size_t(k)] = (j == 0.0) ? 2.0 * pi * fc * w : w * std::sin(2.0 * pi * fc * j) / j;
    sum += h[size_t(k)];
  }
  for (double& v : h) v = v / sum * r->L;
  r->max_taps = (N + r->L - 1) / r->L;
  if (r->max_taps < 3) r->max_taps = 3;
  r->phases = new (std::nothrow) RatePhase[size_t(r->L)]();
  if (!r->phases) {
    delete r;
    return false;
  }
  bool ok = true;
  for (int p = 0; p < r->L && ok; ++p) {
    RatePhase& ph = r->phases[p];
    ph.taps = r->max_taps;
    ph.coef = alloc_floats(size_t(r->max_taps) + 4);
    if (!ph.coef) {
      ok = false;
      break;
    }
    for (int t = 0; t < r->max_taps; ++t) {
      const size_t idx = size_t(p) + size_t(t) * size_t(r->L);
      ph.coef[t] = idx < h.size() ? float(h[idx]) : 0.0f;
    }
  }
  r->wide = !no_wide && mp3dec_cpu_has_avx2_fma();
  for (int p = 0; p < r->L && ok && r->wide; ++p) {
    RatePhase& ph = r->phases[p];
    ph.rtaps = (ph.taps + 7) & ~7;
    ph.rcoef = alloc_floats(size_t(ph.rtaps));
    if (!ph.rcoef) {
      ok = false;
      break;
    }
    for (int t = 0; t < ph.taps; ++t) ph.rcoef[t] = ph.coef[ph.taps - 1 - t];
  }
#ifdef MP3DEC_X86
  if (mp3dec_cpu_has_sse()) {
    dot_kernel = dot_sse;
  } else {
    dot_kernel = dot_plain;
  }
#endif
  mirrored = true;  // histories are always kept mirrored, either kernel may run
  r->history_len = r->max_taps;
  for (int c = 0; c < channels && ok; ++c) {
    // Room past the mirrored copy for the wide kernel's zero-weighted padding reads.
    r->state[c].history = alloc_floats(size_t(2 * r->history_len) + 16);
    if (!r->state[c].history) ok = false;
  }
  r->silence = alloc_floats(size_t(r->max_taps) * channels);
  if (r->wide && ok && r->L == 2 && r->M == 1) {
    // Lengths without the zero taps at the end; the folding needs exact mirror images.
    int len[2];
    for (int p = 0; p < 2; ++p) {
      len[p] = r->phases[p].taps;
      while (len[p] > 0 && r->phases[p].coef[len[p] - 1] == 0.0f) --len[p];
    }
    bool symmetric = len[0] == len[1] + 1 && len[1] % 2 == 0 && len[1] > 0;
    for (int p = 0; p < 2 && symmetric; ++p)
      for (int k = 0; k < len[p]; ++k)
        if (r->phases[p].coef[k] != r->phases[p].coef[len[p] - 1 - k]) symmetric = false;
    r->doubling = symmetric;
    r->doubling_taps = len[1];
  }
  if (r->wide && ok) {
    r->scratch_len = r->history_len + 1024 + 16;
    r->scratch = alloc_floats(size_t(r->scratch_len));
    if (!r->scratch) ok = false;
  }
  if (r->doubling && ok) {
    // Rows of eight lanes for a whole scratch line: its input, the history before it, and
    // the two phases' outputs.
    const int rows = (r->scratch_len - r->history_len - 16) / 8;
    r->lanes = alloc_floats(size_t(8 * (rows + r->doubling_taps + 8) + 16 * rows));
    if (!r->lanes) ok = false;
  }
  if (!ok || !r->silence) {
    resampler_dec_destroy(r);
    return false;
  }
  for (int c = 0; c < channels; ++c) {
    RateChannelState& st = r->state[c];
    st.int_step = r->M / r->L;
    st.frac_step = r->M % r->L;
    st.phase = 0;
    st.write_pos = 0;
    st.to_take = 1;
  }
  if (count_kind == 1) {
    r->in_count = count;
    const long long per = (long long)(count / channels) * r->L;
    r->out_count = int((per + r->M - 1) / r->M) * channels;
  } else {
    r->out_count = count;
    const long long per = (long long)(count / channels) * r->M;
    r->in_count = int((per + r->L - 1) / r->L) * channels;
  }
  *out = r;
  return true;
}

void resampler_dec_clear(RateConverter* r) {
  if (!r || r->mode == 0) return;
  for (int c = 0; c < r->channels; ++c) {
    RateChannelState& st = r->state[c];
    std::memset(st.history, 0, sizeof(float) * size_t(2 * r->history_len));
    st.phase = 0;
    st.write_pos = 0;
    st.to_take = 1;
  }
}

int resampler_dec_predict(const RateConverter* r, int in_count) {
  if (r->mode == 0) return in_count;
  if (in_count == 0) in_count = r->max_taps * r->channels;
  const int per = in_count / r->channels;
  const RateChannelState& st = r->state[0];
  // Doubling from the state between inputs: two outputs per input, and the same state after.
  if (r->L == 2 && r->M == 1 && st.phase == 0 && st.to_take == 1) return 2 * per * r->channels;
  int phase = st.phase, take = st.to_take, consumed = 0, produced = 0;
  while (true) {
    if (take > 0) {
      const int n = take < per - consumed ? take : per - consumed;
      consumed += n;
      take -= n;
      if (take > 0) break;
    } else {
      ++produced;
      phase += st.frac_step;
      take += st.int_step;
      if (phase >= r->L) {
        phase -= r->L;
        take += 1;
      }
    }
  }
  return produced * r->channels;
}

void resampler_dec_run(RateConverter* r, const float* in, float* out, int* in_count,
                       int* out_count) {
  if (r->mode == 0) {
    std::memcpy(out, in, sizeof(float) * size_t(*in_count));
    *out_count = *in_count;
    return;
  }
  const int nch = r->channels;
  int total_in = *in_count;
  if (total_in == 0) {  // drain: convert silence
    in = r->silence;
    total_in = r->max_taps * nch;
  }
  const int per = total_in / nch;
  const int len = r->history_len;
  int consumed_all = 0, produced_all = 0;
  for (int c = 0; c < nch; ++c) {
    RateChannelState& st = r->state[c];
    int consumed = 0, produced = 0;
    if (r->wide) {
      consumed = resampler_dec_run_channel_avx2(r, &st, in + c, per, nch, out + c, &produced);
      consumed_all += consumed;
      produced_all += produced;
      continue;
    }
    float* hist = st.history;
    while (true) {
      if (st.to_take > 0) {
        if (consumed >= per) break;
        const float v = in[consumed * nch + c];
        ++consumed;
        st.write_pos = st.write_pos + 1 == len ? 0 : st.write_pos + 1;
        hist[st.write_pos] = v;
        hist[st.write_pos + len] = v;
        --st.to_take;
      } else {
        const RatePhase& ph = r->phases[st.phase];
        out[produced * nch + c] = dot_kernel(ph.coef, ph.taps, hist, len, st.write_pos);
        ++produced;
        st.phase += st.frac_step;
        st.to_take += st.int_step;
        if (st.phase >= r->L) {
          st.phase -= r->L;
          st.to_take += 1;
        }
      }
    }
    consumed_all += consumed;
    produced_all += produced;
  }
  (void)mirrored;
  *in_count = consumed_all;
  *out_count = produced_all;
}
