// libFuzzer target over the encoder's handle functions. The data chooses the input format,
// a configuration, a parameter block (any bit patterns, NaN and infinite floats included),
// the PCM (16-bit or float bit patterns), the block sizes fed, the output capacity and user
// ancillary bytes. Checked: results within their ranges, nothing written past the output
// capacity, the flush ends, and a finished handle stays finished.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "mp3enc/mp3enc.h"

namespace {

struct Reader {
  const uint8_t* p;
  size_t n;
  uint32_t u8() {
    if (!n) return 0;
    --n;
    return *p++;
  }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | u8();
    return v;
  }
};

void check(bool ok) {
  if (!ok) std::abort();
}

const int32_t rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 44000};
const uint32_t bit_rates[] = {0, 8000, 16000, 24000, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000,
                              128000, 160000, 192000, 320000};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader r{data, size};
  const uint32_t format = r.u8();
  const int32_t rate = rates[(format & 15) % 10];
  const int32_t channels = int32_t((format >> 4) & 3);  // 0 and 3 must be refused
  const int32_t width = int32_t((format >> 6) & 3) == 3 ? 2 : int32_t((format >> 6) & 1);
  mp3enc_handle* h = mp3enc_open(rate, channels, width);
  if (channels < 1 || channels > 2 || width > 1) check(h == nullptr);
  if (!h) return 0;

  const uint32_t what = r.u8();
  if (what & 1) {
    mp3enc_config c;
    const uint32_t pick = r.u8();
    c.output_rate = (pick & 1) ? uint32_t(rates[r.u8() % 10]) : 0;
    c.channel_mode = (pick >> 1) & 7;
    c.sbr_mode = (pick >> 4) & 3;
    c.bit_rate = (pick & 0x40) ? r.u32() : bit_rates[r.u8() & 15];
    c.vbr_quality = (pick & 0x80) ? r.u8() % 120 : 0;
    const mp3enc_config asked = c;
    if (!mp3enc_set_config(h, &c)) check(std::memcmp(&asked, &c, sizeof c) == 0);
  }
  if (what & 2) {
    mp3enc_params* own = mp3enc_get_params(h);
    check(own != nullptr);
    mp3enc_params p = *own;
    const uint32_t mask = r.u32();
    uint32_t words[12];
    std::memcpy(words, &p, sizeof words);
    for (int i = 0; i < 12; ++i)
      if (mask & (1u << i)) words[i] = (mask & (1u << (12 + i % 8))) ? r.u32() : r.u8() % 4;
    std::memcpy(&p, words, sizeof p);
    // Writing the length straight into the handle's block is allowed.
    if (mask & (1u << 31)) own->length = int32_t(words[11]);
    const mp3enc_params before = *own;
    if (!mp3enc_set_params(h, &p)) check(std::memcmp(&before, own, sizeof before) == 0);
  }

  const uint32_t shape = r.u8();
  int32_t out_size = 8192;
  if (shape & 1) out_size = int32_t(r.u8() * 16);  // may be below the minimum: -1
  std::vector<uint8_t> out(size_t(out_size) + 32, 0xA5);
  std::vector<uint8_t> anc(64);
  for (auto& b : anc) b = uint8_t(r.u8());
  int32_t anc_left = (shape & 2) ? int32_t(r.u8()) % 64 : 0;
  const bool with_anc = (shape & 4) != 0;

  const size_t pcm_bytes = r.n;
  const uint8_t* pcm = r.p;
  size_t at = 0;
  bool finished = false;
  int calls = 0;
  const int32_t sample = width ? 4 : 2;
  auto call = [&](const uint8_t* in, int32_t bytes) {
    int32_t used = -7;
    const int32_t got = mp3enc_encode(h, in, bytes, &used, out.data(), out_size, with_anc ? anc.data() : nullptr,
                                      with_anc ? &anc_left : nullptr);
    check(got >= -1 && got <= out_size);
    check(used >= 0 && used <= bytes);
    for (size_t i = size_t(out_size); i < out.size(); ++i) check(out[i] == 0xA5);
    if (finished) check(got == 0 && used == 0);
    check(anc_left >= 0);
    ++calls;
    return std::make_pair(got, used);
  };
  // Input, in pieces whose sizes come from the data itself.
  while (at < pcm_bytes && calls < 64) {
    int32_t wanted = 0;
    check(mp3enc_get_input_size(h, &wanted) == 1 && wanted >= 0);
    int32_t n = int32_t(pcm[at]) * sample * channels + sample * channels;
    if (n > wanted && wanted > 0) n = wanted;
    if (size_t(n) > pcm_bytes - at) n = int32_t(pcm_bytes - at);
    const auto [got, used] = call(pcm + at, n);
    if (got < 0 && used == 0) break;
    at += size_t(used) ? size_t(used) : size_t(n);
  }
  // The flush ends within a bounded number of calls, and after it every call returns 0.
  for (int i = 0; i < 200 && !finished; ++i) {
    const auto [got, used] = call(nullptr, 0);
    if (got <= 0) finished = got == 0;
    if (got < 0) break;
  }
  if (finished) call(pcm, pcm_bytes >= 8 ? 8 : 0);
  check(mp3enc_close(h) == 1);
  return 0;
}
