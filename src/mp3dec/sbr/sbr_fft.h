// Complex FFT kernels of the SBR filter banks.
#pragma once

// Forward DFT, X[k] = sum x[n] e^(-2 pi i n k / N), in place on N interleaved (re, im)
// floats, natural order, no scaling. N = 4, 8, 16, 32, 240 or 480; other sizes are left as
// they are.
void sbrdec_fft(float* data, int n);
