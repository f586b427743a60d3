// Frame sizes and bit budgets.
#include "mp3enc/reservoir.h"

#include <cstdlib>

#include "mp3enc/alloc.h"

namespace {

constexpr int32_t bit_rates[3][15] = {
    {0, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 160000, 192000, 224000,
     256000, 320000},
    {0, 8000, 16000, 24000, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 144000,
     160000},
    {0, 8000, 16000, 24000, 32000, 40000, 48000, 56000, 64000, 64000, 64000, 64000, 64000, 64000,
     64000},
};

int version_of(int32_t rate) { return rate < 16000 ? 2 : rate < 32000 ? 1 : 0; }

int pacer_init(mp3enc_pacer* p, int64_t num, int64_t den, int32_t usable, const int32_t* bits,
               int32_t padding_mode) {
  mp3enc_reduce_fraction(&num, &den);
  *p = mp3enc_pacer{};
  p->numerator = num;
  p->denominator = den;
  const int32_t last = usable - 1;
  if (den < 1 || num < bits[0] * den || num > (bits[last] + 8) * den) return 1;
  int found = 0;
  for (int32_t i = 0; i <= last && !found; ++i) {
    if (bits[i] * den == num) {
      p->lower = p->upper = i;
      found = 1;
    } else if (bits[i] * den < num && (i == last || bits[i + 1] * den > num)) {
      p->lower = i;
      p->upper = i == last ? i : i + 1;
      found = 1;
    }
  }
  if (!found) return 1;
  p->lower_bits = bits[p->lower];
  p->upper_bits = bits[p->upper];
  p->padding_mode = padding_mode;
  return 0;
}

}  // namespace

void mp3enc_reduce_fraction(int64_t* a, int64_t* b) {
  static const int64_t primes[8] = {2, 3, 5, 7, 11, 13, 17, 19};
  for (int64_t p : primes)
    while (*a % p == 0 && *b % p == 0 && *b != 0) {
      *a /= p;
      *b /= p;
    }
}

int mp3enc_reservoir_create(mp3enc_reservoir** out) {
  if (!out) return 1;
  *out = mp3enc_new_record<mp3enc_reservoir>();
  return *out ? 0 : 1;
}

void mp3enc_reservoir_free(mp3enc_reservoir* r) { mp3enc_free_record(r); }

int mp3enc_reservoir_setup(mp3enc_reservoir* r, int32_t bit_rate, int32_t rate, int32_t policy) {
  if (!r || rate < 1 || bit_rate < 0) return 1;
  const int v = version_of(rate);
  const int64_t n = v == 0 ? 1152 : 576;
  for (int i = 0; i < 15; ++i) r->frame_bits[i] = int32_t(n * bit_rates[v][i] / rate) & ~7;
  r->cycle_frames = 1;
  r->cycle_bytes = 1;
  const int32_t usable = v == 2 ? 9 : 15;
  if (policy == 0) return pacer_init(&r->pacer, n * bit_rate, rate, usable, r->frame_bits, 0);

  const int64_t target = n * bit_rate;
  const int p = (policy == 2 || (policy == 3 && target % rate > rate / 2)) ? 1 : 0;
  const int32_t mode = p ? 2 : 1;
  const int32_t* row = bit_rates[v];
  for (int i = 0; i < 15; ++i) {
    if (row[i] == bit_rate) {
      r->cycle_bytes = p + r->frame_bits[i] / 8;
      return pacer_init(&r->pacer, r->frame_bits[i] + 8 * p, 1, usable, r->frame_bits, mode);
    }
    if (i < 14 && row[i] < bit_rate && bit_rate < row[i + 1]) {
      const int lo = i, hi = i + 1;
      int64_t d = row[hi] - row[lo], u = row[hi] - bit_rate;
      const int64_t num = (((r->frame_bits[hi] / 8 + p) * int64_t(bit_rate - row[lo])) / 1000 +
                           ((r->frame_bits[lo] / 8 + p) * u) / 1000) * 8;
      const int64_t den = d / 1000;
      if (den < 1) return 1;
      mp3enc_reduce_fraction(&d, &u);
      r->cycle_frames = int32_t(d);
      r->cycle_bytes = int32_t(((num / den) * d) / 8);
      return pacer_init(&r->pacer, num, den, usable, r->frame_bits, mode);
    }
  }
  return 1;
}

int32_t mp3enc_frame_bits(const mp3enc_reservoir* r, int32_t index) {
  return index >= 0 && index < 15 ? r->frame_bits[index] : 0;
}

int32_t mp3enc_index_for_bits(const mp3enc_reservoir* r, int32_t bits) {
  for (int32_t i = 1; i <= 13; ++i)
    if (r->frame_bits[i] >= bits) return i;
  return 14;
}

int mp3enc_pacer_next(mp3enc_reservoir* r) {
  mp3enc_pacer& p = r->pacer;
  const int64_t e = p.error - p.numerator;
  const struct {
    int32_t bits;
    int32_t upper, padded;
  } candidates[4] = {{p.lower_bits, 0, 0}, {p.lower_bits + 8, 0, 1}, {p.upper_bits, 1, 0},
                     {p.upper_bits + 8, 1, 1}};
  int best = -1;
  int64_t best_distance = 0;
  for (int c = 0; c < 4; ++c) {
    if (candidates[c].padded ? p.padding_mode == 1 : p.padding_mode == 2) continue;
    const int64_t distance = std::llabs(candidates[c].bits * p.denominator + e);
    if (best < 0 || distance < best_distance) {
      best = c;
      best_distance = distance;
    }
  }
  if (best < 0) {
    p.error = e;
    return 1;
  }
  p.use_upper = candidates[best].upper;
  p.padding = candidates[best].padded;
  p.error = e + candidates[best].bits * p.denominator;
  return 0;
}

int32_t mp3enc_current_index(const mp3enc_reservoir* r) {
  return r->pacer.use_upper ? r->pacer.upper : r->pacer.lower;
}
int32_t mp3enc_current_padding(const mp3enc_reservoir* r) { return r->pacer.padding; }
int32_t mp3enc_cycle_frames(const mp3enc_reservoir* r) { return r->cycle_frames; }
int32_t mp3enc_cycle_bytes(const mp3enc_reservoir* r) { return r->cycle_bytes; }

int mp3enc_compute_budget(const mp3enc_reservoir* r, int32_t bit_rate, int32_t rate, int32_t g,
                          int32_t head_bits, bool vbr, mp3enc_budget* b) {
  *b = mp3enc_budget{};
  const int32_t* fb = r->frame_bits;
  if (vbr) {
    b->min_output_bytes = 2 * fb[14] / 8;
    b->cycle_granules = g;
    b->max_main_bits = (fb[14] - head_bits) / g;
    return b->max_main_bits > 0 ? 0 : 1;
  }
  const int32_t average = int32_t(int64_t(bit_rate) * 576 * g / rate);
  b->upper = mp3enc_index_for_bits(r, average);
  b->lower = fb[b->upper] <= average ? b->upper : b->upper - 1;
  const int32_t lower_bits = fb[b->lower], upper_bits = fb[b->upper];
  if (lower_bits - head_bits <= 0) return 1;
  int32_t capacity = (512 * g - 2) * 4;
  if (lower_bits + capacity > 7680) {
    const int32_t room = (7680 - lower_bits) / 8;
    capacity = (room > 0 ? room : 0) * 8;
  }
  b->reservoir_bits = capacity;
  b->fill_frames = (capacity + (lower_bits - head_bits) - 1) / (lower_bits - head_bits);
  b->min_output_bytes = (lower_bits * b->fill_frames - lower_bits) / 8 + 2 + 2 * (upper_bits / 8);
  b->cycle_granules = r->cycle_frames * g;
  b->max_main_bits = capacity + lower_bits - head_bits;
  const int32_t per_frame = int32_t(int64_t(bit_rate) * 576 / rate) * g - head_bits;
  b->frame_main_bits = per_frame < b->max_main_bits ? per_frame : b->max_main_bits;
  b->granule_main_bits = b->frame_main_bits / g;
  return 0;
}
