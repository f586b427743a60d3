// mp3dec_pcm [-44100] FILE: decodes FILE to 16-bit native-endian PCM on standard output.
// -44100 forces 44100 Hz output. Exit status 0 on a clean end, 1 on a usage or file error.
#include <cstdio>
#include <cstring>
#include <vector>

#include "mp3dec/mp3dec.h"

int main(int argc, char** argv) {
  int force44100 = 0;
  int arg = 1;
  if (arg < argc && std::strcmp(argv[arg], "-44100") == 0) {
    force44100 = 1;
    ++arg;
  }
  if (arg + 1 != argc) {
    std::fprintf(stderr, "usage: mp3dec_pcm [-44100] FILE\n");
    return 1;
  }
  FILE* in = std::fopen(argv[arg], "rb");
  if (!in) {
    std::perror(argv[arg]);
    return 1;
  }
  MP3Decoder* d = nullptr;
  if (MP3CreateDecoder(&d, 0, 0, force44100, 1, 0) != SSC_OK || !d) return 1;
  std::vector<uint8_t> chunk(1 << 16);
  size_t have = 0, used = 0;
  bool eof = false;
  // Output is gathered so that the writes are as few as mpg123's; frames are decoded straight
  // into the gathering buffer.
  constexpr size_t flush_at = 1 << 16;
  std::vector<char> pending(flush_at + MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16);
  size_t fill = 0;
  for (;;) {
    if (!eof && used == have) {
      have = std::fread(chunk.data(), 1, chunk.size(), in);
      used = 0;
      if (have == 0) {
        eof = true;
        d->SetEndOfInput();
      }
    }
    if (used < have) used += size_t(d->Feed(chunk.data() + used, int(have - used)));
    int bytes = 0;
    const SSC s = d->DecodeFrame(pending.data() + fill, MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16, &bytes, nullptr,
                                 nullptr, 0);
    if (s == SSC_SYNC_EOF) break;
    if (bytes > 0) fill += size_t(bytes);
    if (fill >= flush_at) {
      if (std::fwrite(pending.data(), 1, fill, stdout) != fill) return 1;
      fill = 0;
    }
  }
  if (fill > 0 && std::fwrite(pending.data(), 1, fill, stdout) != fill) return 1;
  d->Release();
  std::fclose(in);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
