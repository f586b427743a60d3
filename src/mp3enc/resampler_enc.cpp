#include "mp3enc/resampler_enc.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#define RESAMPLER_ENC_X86 1
#endif

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "mp3enc/kernels.h"

resampler_enc_dot_fn resampler_enc_dot_kernel = resampler_enc_phase_dot;

namespace {

constexpr int kFftSize = 1024;
constexpr int kMaxPhases = 512;
// Every output sample costs one multiplication per tap of its phase, and the flush pushes half
// as many samples of delay through the filter, so a converter's work grows with the square of
// its taps per phase. The encoder's own rates and bandwidths need at most about 1000; only a
// band below 56 Hz at 8000 Hz (335 Hz at 48000 Hz) asks for more than this, and a band of a
// few hertz would keep the flush running for hours.
constexpr int kMaxTapsPerPhase = 8192;
constexpr double kPi = 3.14159265358979323846;

float* alloc_floats(size_t n) {
  return new (std::align_val_t(16), std::nothrow) float[n]();
}
void free_floats(float* p) {
  if (p) ::operator delete[](p, std::align_val_t(16));
}

int gcd(int a, int b) {
  while (b != 0) {
    const int t = a % b;
    a = b;
    b = t;
  }
  return a;
}

// (a + bi)(c + di) written out: std::complex's operator* takes the NaN-aware library path,
// which costs more than the whole butterfly.
inline std::complex<float> cmul(std::complex<float> x, std::complex<float> y) {
  return {x.real() * y.real() - x.imag() * y.imag(), x.real() * y.imag() + x.imag() * y.real()};
}

// Real 1024-point transform through one 512-point complex transform. The packed spectrum
// holds bins 0..512: re[k] at [2k], im[k] at [2k+1], with bin 512's real part in [1]
// (bins 0 and 512 are real).
struct real_fft_1024 {
  // Twiddles of each pass, contiguous: the pass of half-length h reads e^{-2 pi i j/2h},
  // j < h, from offset h - 1 (forward; the inverse negates the imaginary parts).
  float twr[511], twi[511], twi_inv[511];
  std::complex<float> split[257];      // e^{-2 pi i k/1024}
  int rev[512];
  real_fft_1024() {
    for (int h = 1; h < 512; h <<= 1)
      for (int j = 0; j < h; ++j) {
        const double a = -2.0 * kPi * j / (2.0 * h);
        twr[h - 1 + j] = float(std::cos(a));
        twi[h - 1 + j] = float(std::sin(a));
        twi_inv[h - 1 + j] = -twi[h - 1 + j];
      }
    for (int k = 0; k <= 256; ++k) split[k] = std::polar(1.0f, float(-2.0 * kPi * k / 1024));
    for (int i = 0; i < 512; ++i) {
      int r = 0;
      for (int b = 0; b < 9; ++b) r |= ((i >> b) & 1) << (8 - b);
      rev[i] = r;
    }
  }
  // 512-point complex transform in place, interleaved re/im. The passes run on separate real
  // and imaginary arrays, four butterflies at a time, which the compiler turns into vector
  // arithmetic; the first two passes need no multiplications.
  void complex512(std::complex<float>* z, bool inverse) const {
    alignas(16) float re[512], im[512];
    for (int i = 0; i < 512; ++i) {
      re[i] = z[rev[i]].real();
      im[i] = z[rev[i]].imag();
    }
    for (int i = 0; i < 512; i += 4) {
      // pass 1 (w = 1) on both pairs, then pass 2 (w = 1 and -i, or +i inverse)
      const float a0r = re[i] + re[i + 1], a0i = im[i] + im[i + 1];
      const float a1r = re[i] - re[i + 1], a1i = im[i] - im[i + 1];
      const float b0r = re[i + 2] + re[i + 3], b0i = im[i + 2] + im[i + 3];
      const float b1r = re[i + 2] - re[i + 3], b1i = im[i + 2] - im[i + 3];
      const float t1r = inverse ? -b1i : b1i, t1i = inverse ? b1r : -b1r;
      re[i] = a0r + b0r;
      im[i] = a0i + b0i;
      re[i + 2] = a0r - b0r;
      im[i + 2] = a0i - b0i;
      re[i + 1] = a1r + t1r;
      im[i + 1] = a1i + t1i;
      re[i + 3] = a1r - t1r;
      im[i + 3] = a1i - t1i;
    }
    for (int h = 4; h < 512; h <<= 1) {
      const float* wr = twr + h - 1;
      const float* wi = (inverse ? twi_inv : twi) + h - 1;
      for (int i = 0; i < 512; i += 2 * h)
        for (int j = 0; j < h; j += 4) butterflies4(re + i + j, im + i + j, re + i + h + j, im + i + h + j, wr + j, wi + j);
    }
    for (int i = 0; i < 512; ++i) z[i] = {re[i], im[i]};
  }
  static void butterflies4(float* __restrict ar, float* __restrict ai, float* __restrict br, float* __restrict bi,
                           const float* __restrict wr, const float* __restrict wi) {
    float tr[4], ti[4];
    for (int k = 0; k < 4; ++k) {
      tr[k] = br[k] * wr[k] - bi[k] * wi[k];
      ti[k] = br[k] * wi[k] + bi[k] * wr[k];
    }
    for (int k = 0; k < 4; ++k) {
      br[k] = ar[k] - tr[k];
      bi[k] = ai[k] - ti[k];
      ar[k] += tr[k];
      ai[k] += ti[k];
    }
  }
  // x: 1024 reals in, packed spectrum out (in place).
  void forward(float* x) const {
    std::complex<float>* z = reinterpret_cast<std::complex<float>*>(x);
    complex512(z, false);
    const std::complex<float> z0 = z[0];
    for (int k = 1; k < 256; ++k) {
      const std::complex<float> a = z[k], b = std::conj(z[512 - k]);
      const std::complex<float> d = a - b;
      const std::complex<float> e = (a + b) * 0.5f, o(0.5f * d.imag(), -0.5f * d.real());  // (a - b) / 2i
      // bins k and 512-k come from the same pair of the half-size transform
      z[k] = e + cmul(split[k], o);
      z[512 - k] = std::conj(e - cmul(split[k], o));
    }
    // k = 256: split = -i
    z[256] = std::conj(z[256]);
    x[0] = z0.real() + z0.imag();
    x[1] = z0.real() - z0.imag();
  }
  // Packed spectrum in, 1024 reals out (in place), unscaled: a forward then inverse gives 512 x.
  void inverse(float* x) const {
    std::complex<float>* z = reinterpret_cast<std::complex<float>*>(x);
    const float r0 = x[0], r512 = x[1];
    for (int k = 1; k < 256; ++k) {
      const std::complex<float> a = z[k], b = std::conj(z[512 - k]);
      const std::complex<float> e = (a + b), o = cmul(a - b, std::conj(split[k]));
      const std::complex<float> io(-o.imag(), o.real());  // i * o
      const std::complex<float> zk = e + io;
      const std::complex<float> zm = std::conj(e - io);
      z[k] = zk * 0.5f;
      z[512 - k] = zm * 0.5f;
    }
    z[256] = std::conj(z[256]);
    z[0] = std::complex<float>((r0 + r512) * 0.5f, (r0 - r512) * 0.5f);
    complex512(z, true);
  }
};

const real_fft_1024& fft() {
  static const real_fft_1024 f;
  return f;
}

double bessel_i0(double x) {
  double sum = 1.0, term = 1.0;
  const double half = x / 2.0;
  for (int k = 1; k < 1000; ++k) {
    term *= half / k;
    const double t2 = term * term;
    sum += t2;
    if (t2 < 1e-21 * sum) break;
  }
  return sum;
}

void free_bank(resampler_enc_bank* b) {
  if (!b) return;
  if (b->phase) {
    for (int p = 0; p < b->phases; ++p) free_floats(b->phase[p].coef);
    delete[] b->phase;
  }
  free_floats(b->kernel_spectrum);
  delete b;
}

resampler_enc_bank* resampler_enc_bank_create(const std::vector<double>& proto, int phases, double gain, int kind) {
  const int n = int(proto.size());
  auto* b = new (std::nothrow) resampler_enc_bank{};
  if (!b) return nullptr;
  b->phases = phases;
  b->taps_per_phase = (n + phases - 1) / phases;
  b->phase = new (std::nothrow) resampler_enc_phase[phases]();
  if (!b->phase) {
    free_bank(b);
    return nullptr;
  }
  for (int p = 0; p < phases; ++p) {
    if (kind == 0) continue;  // the half-band path has its own fixed filter
    const int count = p < n ? (n - p + phases - 1) / phases : 0;
    if (count < 3) {
      free_bank(b);
      return nullptr;
    }
    b->phase[p].count = count;
    b->phase[p].coef = alloc_floats(size_t(count));
    if (!b->phase[p].coef) {
      free_bank(b);
      return nullptr;
    }
    for (int i = 0; i < count; ++i) b->phase[p].coef[i] = float(proto[size_t(p + i * phases)] * gain);
    resampler_enc_select_dot();
  }
  if (phases == 1 && b->taps_per_phase < kFftSize) {
    b->fft_hop = kFftSize - b->taps_per_phase;
    b->kernel_spectrum = alloc_floats(kFftSize);
    if (!b->kernel_spectrum) {
      free_bank(b);
      return nullptr;
    }
    // The inverse transform is unscaled (a round trip gives 512 times the input); fold that
    // into the kernel once here.
    for (int i = 0; i < b->taps_per_phase; ++i) b->kernel_spectrum[i] = float(proto[size_t(i)] * gain / 512.0);
    fft().forward(b->kernel_spectrum);
  }
  return b;
}

// Recursive half-band stage followed by a short symmetric FIR, for exact 2:1 decimation.
constexpr float kHbFeedback[8] = {1.1310506f,  -1.7547014f,   0.9621793f,    -0.6828080f,
                                  0.16827838f, -0.066939190f, 0.0038563511f, -0.00098495639f};
constexpr float kHbFir[9] = {0.021835933f, 0.072357543f, 0.15606825f, 0.23523770f, 0.26907015f,
                             0.23523770f,  0.15606825f,  0.072357543f, 0.021835933f};

void half_band_feed(resampler_enc_direct_state* s, float x) {
  float w = x;
  for (int k = 1; k <= 8; ++k) w += kHbFeedback[k - 1] * s->hb_ring[(s->hb_index - k + 16) & 15];
  s->hb_ring[s->hb_index] = w;
  s->hb_index = (s->hb_index + 1) & 15;
}

float half_band_output(const resampler_enc_direct_state* s) {
  float y = 0.0f;
  for (int k = 0; k < 9; ++k) y += kHbFir[k] * s->hb_ring[(s->hb_index - 1 - k + 16) & 15];
  return y;
}

// Filters the block's first fill samples by overlap-add and emits every M-th output.
void fft_block(resampler_enc_direct_state* s, const resampler_enc_bank* bank, float* out, int stride, int* produced,
               int capacity, int M) {
  const int fill = s->ring_pos;
  const int taps = bank->taps_per_phase;
  float* blk = s->block;
  std::fill(blk + fill, blk + kFftSize, 0.0f);
  fft().forward(blk);
  const float* k = bank->kernel_spectrum;
  blk[0] *= k[0];
  blk[1] *= k[1];
  for (int i = 2; i < kFftSize; i += 2) {
    const float re = blk[i] * k[i] - blk[i + 1] * k[i + 1];
    const float im = blk[i] * k[i + 1] + blk[i + 1] * k[i];
    blk[i] = re;
    blk[i + 1] = im;
  }
  fft().inverse(blk);
  for (int i = 0; i < taps; ++i) blk[i] += s->tail[i];
  std::memcpy(s->tail, blk + fill, sizeof(float) * size_t(taps));
  int p = s->out_offset;
  for (; p < fill; p += M) {
    if (*produced >= capacity) break;  // never past the caller's block
    out[size_t(*produced) * size_t(stride)] = blk[p];
    ++*produced;
  }
  s->out_offset = p >= fill ? p - fill : 0;
  s->ring_pos = 0;
}

}  // namespace

float resampler_enc_phase_dot(const float* coef, int count, const float* ring, int ring_len, int pos) {
  double acc = 0.0;
  int k = 0;
  // newest sample first, wrapping once to the end of the ring
  const int first = std::min(count, pos + 1);
  for (; k < first; ++k) acc += double(coef[k]) * ring[pos - k];
  for (; k < count; ++k) acc += double(coef[k]) * ring[pos - k + ring_len];
  return float(acc);
}

#ifdef RESAMPLER_ENC_X86
// Four products at a time in single precision: the ring is read backwards, so each group of
// four samples is turned round before it meets four coefficients in order.
__attribute__((target("sse"))) float resampler_enc_phase_dot_sse(const float* coef, int count, const float* ring,
                                                                int ring_len, int pos) {
  __m128 acc = _mm_setzero_ps();
  float tail = 0.0f;
  int k = 0;
  // newest sample first: ring[pos], ring[pos - 1], ... then on from the ring's end
  for (int part = 0; part < 2; ++part) {
    const int end = part == 0 ? std::min(count, pos + 1) : count;
    const float* x = part == 0 ? ring + pos : ring + pos + ring_len;
    for (; k + 4 <= end; k += 4) {
      const __m128 c = _mm_loadu_ps(coef + k);
      const __m128 v = _mm_shuffle_ps(_mm_loadu_ps(x - k - 3), _mm_loadu_ps(x - k - 3), _MM_SHUFFLE(0, 1, 2, 3));
      acc = _mm_add_ps(acc, _mm_mul_ps(c, v));
    }
    for (; k < end; ++k) tail += coef[k] * x[-k];
  }
  alignas(16) float lanes[4];
  _mm_store_ps(lanes, acc);
  return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]) + tail;
}
#endif

// Converters of other encoders may be running on other threads: only the first filter made
// writes the choice.
void resampler_enc_select_dot() {
  static std::once_flag chosen;
  std::call_once(chosen, [] {
#ifdef RESAMPLER_ENC_X86
    resampler_enc_dot_kernel = cpu_has_sse() ? resampler_enc_phase_dot_sse : resampler_enc_phase_dot;
#else
    resampler_enc_dot_kernel = resampler_enc_phase_dot;
#endif
  });
}

int resampler_enc_ratio_ok(int L, int M, int* mode_out) {
  if (int64_t(L) > int64_t(kMaxPhases) * M) return 0;
  *mode_out = L >= kMaxPhases ? 2 : 1;
  return 1;
}

int resampler_enc_design_length(double width, double attenuation_db) {
  // A tiny transition width asks for more taps than an int holds: say so with a length
  // far beyond what any converter accepts instead of converting out of range.
  const double n = (attenuation_db - 7.95) / (14.36 * width) + 1.0;
  if (!(n < double(1 << 30))) return 1 << 30;
  return n < 0.0 ? 0 : int(n);
}

int resampler_enc_design(double fc_cut, double width, double a, int align, double* coef, int capacity) {
  if (!(width > 0.0)) return 0;
  int n = resampler_enc_design_length(width, a);
  if (n < 1 || n > capacity) return 0;
  if (align > 1) n += (align - (n - 1) % align) % align;
  if (n > capacity) return 0;
  double beta = 0.0;
  if (a >= 25.0 && a <= 140.0) beta = a <= 50.0 ? 0.5842 * std::pow(a - 21.0, 0.4) + 0.07886 * (a - 21.0) : 0.1102 * (a - 8.7);
  const double i0b = bessel_i0(beta);
  const double fc = fc_cut - 0.5 * width;  // pass-band edge
  auto window = [&](double r) { return bessel_i0(beta * std::sqrt(std::max(0.0, 1.0 - r * r))) / i0b; };
  if (n % 2 == 1) {
    const int h = (n - 1) / 2;
    coef[h] = 2.0 * kPi * fc;
    for (int i = 1; i <= h; ++i) {
      const double w = window(double(i) / h);
      const double v = std::sin(2.0 * kPi * fc * i) / i * w;
      coef[h + i] = v;
      coef[h - i] = v;
    }
  } else {
    const int h = n / 2;
    for (int i = 0; i < h; ++i) {
      const double d = i + 0.5;
      const double w = window(d / h);
      const double v = std::sin(2.0 * kPi * fc * d) / d * w;
      coef[h + i] = v;
      coef[h - 1 - i] = v;
    }
  }
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += coef[i];
  if (sum == 0.0 || !std::isfinite(sum)) return 0;
  for (int i = 0; i < n; ++i) coef[i] /= sum;
  return n;
}

int resampler_enc_setup_params(resampler_enc_params* p, int given_is_input, int block_size, int in_rate, int out_rate,
                               float cutoff_hz, float width_factor) {
  *p = resampler_enc_params{};
  p->in_rate = in_rate;
  p->out_rate = out_rate;
  float cutoff = std::min(cutoff_hz, 0.5f * float(std::min(in_rate, out_rate)));
  if (in_rate == out_rate && cutoff == float(in_rate / 2)) {
    p->copy = 1;
    cutoff = 0.0f;
  }
  p->max_phases = kMaxPhases;
  // A filter stage that keeps the rate must delay by whole samples, or every sample of
  // the coded signal sits half a sample from where the stated delay puts it.
  p->force_odd = in_rate == out_rate ? 1 : 0;
  p->given_is_input = given_is_input;
  p->cutoff_hz = cutoff;
  p->attenuation_db = 90.0f;
  p->width_hz = cutoff * width_factor;
  p->gain = 1.0f;
  p->taps = 0;
  p->post_design = 0;
  if (given_is_input)
    p->in_block = block_size;
  else
    p->out_block = block_size;
  return 0;
}

int resampler_enc_setup(resampler_enc** out, int channels, int given_is_input, int block_size, int in_rate, int out_rate,
                        float cutoff_hz, float width_factor, int allow_half_band) {
  resampler_enc_params p;
  resampler_enc_setup_params(&p, given_is_input, block_size, in_rate, out_rate, cutoff_hz, width_factor);
  return resampler_enc_create(out, &p, channels, &p.in_block, &p.out_block, allow_half_band);
}

int resampler_enc_create(resampler_enc** out, resampler_enc_params* p, int channels, int32_t* in_count,
                         int32_t* out_count, int allow_half_band) {
  *out = nullptr;
  if (p->in_rate < 1 || p->out_rate < 1 || channels < 1) return 1;
  const int given = p->given_is_input ? *in_count : *out_count;
  if (given < 0 || given % channels != 0) return 1;
  const int g = gcd(p->in_rate, p->out_rate);
  const int L = p->out_rate / g, M = p->in_rate / g;
  p->L = L;
  p->M = M;

  auto* r = new (std::nothrow) resampler_enc{};
  if (!r) return 1;
  r->channels = channels;
  if (p->copy) {
    p->unused3 = 0;
    r->mode = 0;
    if (p->given_is_input)
      *out_count = *in_count;
    else
      *in_count = *out_count;
    r->in_block = r->out_block = *in_count;
    r->in_per_channel = r->out_per_channel = *in_count / channels;
    *out = r;
    return 0;
  }
  int mode = 0;
  if (!resampler_enc_ratio_ok(L, M, &mode)) {
    delete r;
    return 1;
  }
  r->mode = mode;
  const int P = std::min(kMaxPhases, L);
  const double scale = double(p->in_rate) * P;
  const float fcn = float(double(p->cutoff_hz) / scale);
  const float wn = float(double(p->width_hz) / scale);
  const int est = resampler_enc_design_length(wn, p->attenuation_db);
  if (!(wn > 0.0f) || est < 1 || est > (1 << 22) || (est + P - 1) / P > kMaxTapsPerPhase) {
    delete r;
    return 1;
  }
  // A pure decimation by M (the same-rate filter stage is M = 1) delays by (N - 1) / 2 input
  // samples; with N - 1 a multiple of 2M that is a whole number of output samples, so the
  // delay the encoder states (latency times the rate ratio) is exact and the coded signal
  // does not sit half a sample off it.
  const int align = L == 1 ? 2 * M : p->force_odd ? 2 : 1;
  std::vector<double> proto(size_t(est) + size_t(align) + 1);
  const int n = resampler_enc_design(fcn, wn, p->attenuation_db, align, proto.data(), int(proto.size()));
  if (n < 1) {
    delete r;
    return 1;
  }
  proto.resize(size_t(n));
  p->taps = n;
  p->gain = float(P) * p->gain;

  const int T = mode == 1 ? (n + L - 1) / L : (n + kMaxPhases - 1) / kMaxPhases;
  if (p->given_is_input) {
    *out_count = int((int64_t(L) * (*in_count / channels) + M - 1) / M) * channels;
  } else {
    *in_count = int((int64_t(M) * (*out_count / channels) + L - 1) / L) * channels;
  }
  r->in_block = *in_count;
  r->out_block = *out_count;
  r->in_per_channel = r->in_block / channels;
  r->out_per_channel = r->out_block / channels;
  if (mode == 2 && r->in_per_channel < T - 1) {
    delete r;
    return 1;
  }
  r->kind = 1;
  if (allow_half_band && p->in_rate == 2 * p->out_rate && 2.0f * fcn == 0.5f && !(wn < 0.0545f)) r->kind = 0;

  r->bank = resampler_enc_bank_create(proto, P, p->gain, r->kind);
  if (!r->bank) {
    delete r;
    return 1;
  }
  r->taps_per_phase = T;
  r->latency = r->kind == 1 ? T / 2 : 4;
  r->hop_or_input = P == 1 ? (T < kFftSize ? kFftSize - T : 0) : r->in_per_channel;

  bool ok = true;
  if (mode == 1) {
    r->direct = new (std::nothrow) resampler_enc_direct_state[size_t(channels)]();
    ok = r->direct != nullptr;
    for (int c = 0; ok && c < channels; ++c) {
      auto& s = r->direct[c];
      s.step = M / L;
      s.remainder = M % L;
      s.given_is_input = p->given_is_input;
      s.ring = alloc_floats(size_t(T) + 4);
      ok = s.ring != nullptr;
      if (ok) s.ring += 4;
      if (ok && L == 1) {
        s.block = alloc_floats(kFftSize);
        s.tail = alloc_floats(size_t(T));
        ok = s.block && s.tail;
      }
    }
  } else {
    r->interp = new (std::nothrow) resampler_enc_interp_state[size_t(channels)]();
    ok = r->interp != nullptr;
    const int g2 = gcd(L, kMaxPhases * M);
    for (int c = 0; ok && c < channels; ++c) {
      auto& s = r->interp[c];
      s.a = L / g2;
      s.b = kMaxPhases * M / g2;
      s.b_div_a = s.b / s.a;
      s.b_mod_a = s.b % s.a;
      s.phase_pos = kMaxPhases;
      s.phases = kMaxPhases;
      s.given_is_input = p->given_is_input;
      s.ring = alloc_floats(size_t(T) + 1 + 4);
      ok = s.ring != nullptr;
      if (ok) s.ring += 4;
    }
  }
  if (!ok) {
    resampler_enc_free(r);
    return 1;
  }
  *out = r;
  return 0;
}

void resampler_enc_process(resampler_enc_direct_state* s, const resampler_enc_bank* bank, const float* in, float* out,
                           int* in_count, int* out_count, int stride, int kind) {
  const int in_n = *in_count, out_cap = *out_count;
  int used = 0, made = 0;
  const int T = bank->taps_per_phase;
  if (kind == 1 && bank->phases == 1 && bank->kernel_spectrum) {
    const int hop = bank->fft_hop;
    const int M = s->step;  // pure decimation: L = 1, the step is M
    while (used < in_n) {
      s->block[s->ring_pos++] = in[size_t(used) * size_t(stride)];
      ++used;
      if (s->ring_pos == hop) fft_block(s, bank, out, stride, &made, out_cap, M);
    }
    if (s->ring_pos > 0) fft_block(s, bank, out, stride, &made, out_cap, M);
    *in_count = used;
    *out_count = made;
    return;
  }
  for (;;) {
    while (s->need > 0) {
      if (used >= in_n) goto done;
      s->ring_pos = s->ring_pos + 1 == T ? 0 : s->ring_pos + 1;
      const float x = in[size_t(used) * size_t(stride)];
      s->ring[s->ring_pos] = x;
      if (kind == 0) half_band_feed(s, x);
      ++used;
      --s->need;
    }
    if (made >= out_cap) goto done;
    if (kind == 1) {
      const resampler_enc_phase& ph = bank->phase[s->phase];
      out[size_t(made) * size_t(stride)] = resampler_enc_dot_kernel(ph.coef, ph.count, s->ring, T, s->ring_pos);
    } else {
      out[size_t(made) * size_t(stride)] = half_band_output(s);
    }
    ++made;
    s->phase += s->remainder;
    s->need += s->step;
    if (s->phase >= bank->phases) {
      s->phase -= bank->phases;
      ++s->need;
    }
  }
done:
  *in_count = used;
  *out_count = made;
}

void resampler_enc_process_interp(resampler_enc_interp_state* s, const resampler_enc_bank* bank, const float* in,
                                  float* out, int* in_count, int* out_count, int stride) {
  const int in_n = *in_count, out_cap = *out_count;
  const int ring_len = bank->taps_per_phase + 1;
  int used = 0, made = 0;
  for (;;) {
    if (s->phase_pos >= s->phases) {
      if (used >= in_n) break;
      s->phase_pos -= s->phases;
      s->ring_pos = s->ring_pos + 1 == ring_len ? 0 : s->ring_pos + 1;
      s->ring[s->ring_pos] = in[size_t(used) * size_t(stride)];
      ++used;
      continue;
    }
    if (made >= out_cap) break;
    const int i = s->phase_pos;
    float y1, y2;
    if (i == 0) {
      const int prev = s->ring_pos == 0 ? ring_len - 1 : s->ring_pos - 1;
      const resampler_enc_phase& last = bank->phase[s->phases - 1];
      y1 = resampler_enc_dot_kernel(last.coef, last.count, s->ring, ring_len, prev);
      y2 = resampler_enc_dot_kernel(bank->phase[0].coef, bank->phase[0].count, s->ring, ring_len, s->ring_pos);
    } else {
      y1 = resampler_enc_dot_kernel(bank->phase[i - 1].coef, bank->phase[i - 1].count, s->ring, ring_len, s->ring_pos);
      y2 = resampler_enc_dot_kernel(bank->phase[i].coef, bank->phase[i].count, s->ring, ring_len, s->ring_pos);
    }
    out[size_t(made) * size_t(stride)] = y1 + (y2 - y1) * float(s->fraction) / float(s->a);
    ++made;
    s->fraction += s->b_mod_a;
    s->phase_pos += s->b_div_a;
    if (s->fraction > s->a - 1) {
      s->fraction -= s->a;
      s->phase_pos += 1;
    }
  }
  *in_count = used;
  *out_count = made;
}

void resampler_enc_run(resampler_enc* r, float* in, float* out, int* in_count, int* out_count) {
  if (r->mode == 0) {
    std::memmove(out, in, sizeof(float) * size_t(std::max(*in_count, 0)));
    *out_count = *in_count;
    return;
  }
  if (r->mode != 1 && r->mode != 2) {
    *in_count = 0;
    *out_count = 0;
    return;
  }
  const int ch = r->channels;
  int n = r->in_per_channel;
  if (r->mode == 1) {
    if (*in_count == 0) {
      const int z = std::min(r->in_block, r->taps_per_phase);
      std::fill(in, in + z, 0.0f);
      n = z / ch;
    } else if (*in_count < r->in_block) {
      n = *in_count / ch;
    }
  } else if (*in_count < r->in_block) {
    const int end = std::min(std::max(*in_count, 0) + r->taps_per_phase, r->in_block);
    std::fill(in + std::max(*in_count, 0), in + end, 0.0f);
    n = end / ch;
  }
  int in_lim = n, out_lim = r->out_per_channel;
  int total_in = 0, total_out = 0;
  for (int c = 0; c < ch; ++c) {
    int ci = in_lim, co = out_lim;
    if (r->mode == 1)
      resampler_enc_process(&r->direct[c], r->bank, in + c, out + c, &ci, &co, ch, r->kind);
    else
      resampler_enc_process_interp(&r->interp[c], r->bank, in + c, out + c, &ci, &co, ch);
    total_in += ci;
    total_out += co;
    in_lim = ci;
    out_lim = co;
  }
  *in_count = total_in;
  *out_count = total_out;
}

void resampler_enc_free(resampler_enc* r) {
  if (!r) return;
  if (r->direct) {
    for (int c = 0; c < r->channels; ++c) {
      if (r->direct[c].ring) free_floats(r->direct[c].ring - 4);
      free_floats(r->direct[c].block);
      free_floats(r->direct[c].tail);
    }
    delete[] r->direct;
  }
  if (r->interp) {
    for (int c = 0; c < r->channels; ++c)
      if (r->interp[c].ring) free_floats(r->interp[c].ring - 4);
    delete[] r->interp;
  }
  free_bank(r->bank);
  delete r;
}
