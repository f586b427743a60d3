// mp3enc_wav [-b KBPS] [-q 0..2] IN.wav OUT.mp3: encodes a 16-bit PCM WAV file into a mono,
// constant-bit-rate MP3 file at the file's rate (64 kbit/s and quality 1 by default).
// Exit status 0 on success, 1 on a usage, file or encoder error.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "mp3enc/mp3enc.h"

namespace {

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

}  // namespace

int main(int argc, char** argv) {
  int kbps = 64, quality = 1, arg = 1;
  while (arg + 1 < argc && argv[arg][0] == '-') {
    if (std::strcmp(argv[arg], "-b") == 0) kbps = std::atoi(argv[arg + 1]);
    else if (std::strcmp(argv[arg], "-q") == 0) quality = std::atoi(argv[arg + 1]);
    else break;
    arg += 2;
  }
  if (arg + 2 != argc) {
    std::fprintf(stderr, "usage: mp3enc_wav [-b KBPS] [-q 0..2] IN.wav OUT.mp3\n");
    return 1;
  }
  FILE* in = std::fopen(argv[arg], "rb");
  if (!in) {
    std::perror(argv[arg]);
    return 1;
  }
  std::vector<uint8_t> file;
  uint8_t buf[1 << 16];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, in)) > 0;) file.insert(file.end(), buf, buf + n);
  std::fclose(in);
  // RIFF "WAVE": the format and the samples, wherever their chunks lie.
  uint32_t rate = 0, channels = 0, bits = 0;
  const uint8_t* data = nullptr;
  size_t data_size = 0;
  for (size_t pos = 12; file.size() >= 12 && pos + 8 <= file.size();) {
    const uint32_t size = le32(&file[pos + 4]);
    const size_t body = pos + 8, avail = file.size() - body < size ? file.size() - body : size;
    if (std::memcmp(&file[pos], "fmt ", 4) == 0 && avail >= 16) {
      channels = le16(&file[body + 2]);
      rate = le32(&file[body + 4]);
      bits = le16(&file[body + 14]);
    } else if (std::memcmp(&file[pos], "data", 4) == 0) {
      data = &file[body];
      data_size = avail;
    }
    pos = body + size + (size & 1);
  }
  if (!data || bits != 16 || channels < 1 || channels > 2) {
    std::fprintf(stderr, "%s: not a 16-bit PCM WAV file\n", argv[arg]);
    return 1;
  }
  mp3enc_handle* h = mp3enc_open(int32_t(rate), int32_t(channels), 0);
  mp3enc_config config;
  config.output_rate = rate;
  config.channel_mode = 1;
  config.sbr_mode = 2;
  config.bit_rate = uint32_t(kbps) * 1000;
  mp3enc_params* params = h ? mp3enc_get_params(h) : nullptr;
  mp3enc_params wanted = params ? *params : mp3enc_params{};
  wanted.quality = quality;
  if (!h || !mp3enc_set_config(h, &config) || !mp3enc_set_params(h, &wanted)) {
    std::fprintf(stderr, "the encoder refuses %u Hz at %d kbit/s\n", rate, kbps);
    return 1;
  }
  FILE* out = std::fopen(argv[arg + 1], "wb");
  if (!out) {
    std::perror(argv[arg + 1]);
    return 1;
  }
  std::vector<uint8_t> mp3(1 << 16);
  size_t pos = 0;
  bool ok = true;
  for (;;) {
    int32_t want = 0;
    mp3enc_get_input_size(h, &want);
    const int32_t n = int32_t(data_size - pos < size_t(want > 0 ? want : 0) ? data_size - pos : size_t(want));
    int32_t consumed = 0;
    const int32_t got = mp3enc_encode(h, data + pos, n, &consumed, mp3.data(), int32_t(mp3.size()), nullptr, nullptr);
    if (got < 0) {
      ok = false;
      break;
    }
    if (got > 0 && std::fwrite(mp3.data(), 1, size_t(got), out) != size_t(got)) ok = false;
    pos += size_t(consumed > 0 ? consumed : 0);
    if (n == 0 && got == 0) break;
  }
  mp3enc_close(h);
  if (std::fclose(out) != 0 || !ok) {
    std::fprintf(stderr, "%s: encoding or writing failed\n", argv[arg + 1]);
    return 1;
  }
  return 0;
}
