// Complex FFT kernels of the SBR filter banks.
// The power-of-two sizes are radix-2 kernels instantiated per size, so the compiler sees
// every loop bound; 240 and 480 are prime-factor (Good-Thomas) transforms of 16 x 15 and
// 32 x 15, which need no twiddles between their stages, with a 15-point transform that is
// itself a 3 x 5 prime-factor transform.
#include "mp3dec/sbr/sbr_fft.h"

#include <cmath>

namespace {

struct cpx {
  float re, im;
};

template <int N>
struct pow2_plan {
  int rev[N];
  cpx tw[N / 2];  // e^(-2 pi i k / N)
  pow2_plan() {
    int bits = 0;
    while ((1 << bits) < N) ++bits;
    for (int i = 0; i < N; ++i) {
      int r = 0;
      for (int b = 0; b < bits; ++b)
        if (i & (1 << b)) r |= 1 << (bits - 1 - b);
      rev[i] = r;
    }
    for (int k = 0; k < N / 2; ++k) {
      const double a = 2.0 * M_PI * k / N;
      tw[k] = {float(std::cos(a)), float(-std::sin(a))};
    }
  }
};

template <int N>
const pow2_plan<N>& plan() {
  static const pow2_plan<N> p;
  return p;
}

template <int N>
void fft_pow2(cpx* x) {
  const pow2_plan<N>& p = plan<N>();
  for (int i = 0; i < N; ++i) {
    const int r = p.rev[i];
    if (r > i) {
      const cpx t = x[i];
      x[i] = x[r];
      x[r] = t;
    }
  }
  for (int len = 2; len <= N; len <<= 1) {
    const int half = len >> 1, step = N / len;
    for (int i = 0; i < N; i += len) {
      for (int j = 0; j < half; ++j) {
        const cpx w = p.tw[j * step];
        cpx& a = x[i + j];
        cpx& b = x[i + j + half];
        const float tr = b.re * w.re - b.im * w.im;
        const float ti = b.re * w.im + b.im * w.re;
        b.re = a.re - tr;
        b.im = a.im - ti;
        a.re += tr;
        a.im += ti;
      }
    }
  }
}

void dft3(cpx& a, cpx& b, cpx& c) {
  constexpr float h = 0.8660254037844386f;  // sin(2 pi / 3)
  const float sr = b.re + c.re, si = b.im + c.im;
  const float dr = b.re - c.re, di = b.im - c.im;
  const float mr = a.re - 0.5f * sr, mi = a.im - 0.5f * si;
  a.re += sr;
  a.im += si;
  b = {mr + h * di, mi - h * dr};
  c = {mr - h * di, mi + h * dr};
}

void dft5(cpx* x0, cpx* x1, cpx* x2, cpx* x3, cpx* x4) {
  constexpr float c1 = 0.30901699437494745f, c2 = -0.8090169943749475f;
  constexpr float s1 = 0.9510565162951535f, s2 = 0.5877852522924731f;
  const cpx t1{x1->re + x4->re, x1->im + x4->im}, t2{x2->re + x3->re, x2->im + x3->im};
  const cpx t3{x1->re - x4->re, x1->im - x4->im}, t4{x2->re - x3->re, x2->im - x3->im};
  const cpx a1{x0->re + c1 * t1.re + c2 * t2.re, x0->im + c1 * t1.im + c2 * t2.im};
  const cpx a2{x0->re + c2 * t1.re + c1 * t2.re, x0->im + c2 * t1.im + c1 * t2.im};
  const cpx b1{s1 * t3.re + s2 * t4.re, s1 * t3.im + s2 * t4.im};
  const cpx b2{s2 * t3.re - s1 * t4.re, s2 * t3.im - s1 * t4.im};
  x0->re += t1.re + t2.re;
  x0->im += t1.im + t2.im;
  *x1 = {a1.re + b1.im, a1.im - b1.re};  // a1 - i b1
  *x4 = {a1.re - b1.im, a1.im + b1.re};
  *x2 = {a2.re + b2.im, a2.im - b2.re};
  *x3 = {a2.re - b2.im, a2.im + b2.re};
}

// 15 points as 3 x 5: input n = (5 n1 + 3 n2) mod 15, output k = (10 k1 + 6 k2) mod 15.
void dft15(cpx* x) {
  cpx m[3][5];
  for (int n2 = 0; n2 < 5; ++n2)
    for (int n1 = 0; n1 < 3; ++n1) m[n1][n2] = x[(5 * n1 + 3 * n2) % 15];
  for (int n2 = 0; n2 < 5; ++n2) dft3(m[0][n2], m[1][n2], m[2][n2]);
  for (int k1 = 0; k1 < 3; ++k1) {
    cpx* r = m[k1];
    dft5(r, r + 1, r + 2, r + 3, r + 4);
    for (int k2 = 0; k2 < 5; ++k2) x[(10 * k1 + 6 * k2) % 15] = r[k2];
  }
}

// N = N1 x 15 with N1 a power of two: input n = (15 n1 + N1 n2) mod N; output k is the
// number that is k1 modulo N1 and k2 modulo 15.
template <int N1>
struct pfa_plan {
  static constexpr int N = N1 * 15;
  int in[15][N1];
  int out[N1][15];
  pfa_plan() {
    for (int n2 = 0; n2 < 15; ++n2)
      for (int n1 = 0; n1 < N1; ++n1) in[n2][n1] = (15 * n1 + N1 * n2) % N;
    for (int k = 0; k < N; ++k) out[k % N1][k % 15] = k;
  }
};

template <int N1>
void fft_pfa(cpx* x) {
  static const pfa_plan<N1> p;
  cpx m[15][N1];
  for (int n2 = 0; n2 < 15; ++n2) {
    for (int n1 = 0; n1 < N1; ++n1) m[n2][n1] = x[p.in[n2][n1]];
    fft_pow2<N1>(m[n2]);
  }
  for (int k1 = 0; k1 < N1; ++k1) {
    cpx col[15];
    for (int n2 = 0; n2 < 15; ++n2) col[n2] = m[n2][k1];
    dft15(col);
    for (int k2 = 0; k2 < 15; ++k2) x[p.out[k1][k2]] = col[k2];
  }
}

}  // namespace

void sbrdec_fft(float* data, int n) {
  cpx* x = reinterpret_cast<cpx*>(data);
  switch (n) {
    case 4: fft_pow2<4>(x); break;
    case 8: fft_pow2<8>(x); break;
    case 16: fft_pow2<16>(x); break;
    case 32: fft_pow2<32>(x); break;
    case 240: fft_pfa<16>(x); break;
    case 480: fft_pfa<32>(x); break;
    default: break;
  }
}
