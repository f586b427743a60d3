// libFuzzer target over MP3Decoder::DecodeFrame and MP3DecoderInfo::Open.
// The first byte chooses the options and the output capacity; the rest is the stream, fed
// in pieces whose sizes come from the data. Checked: only the library's status codes, output
// never above the capacity, ancillary text never above its capacity, bounded calls.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "mp3dec/mp3dec.h"

namespace {
bool allowed(SSC s) {
  switch (s) {
    case SSC_OK:
    case SSC_INFO_CRC_ERROR:
    case SSC_INFO_NOT_ENOUGH_MAIN_DATA:
    case SSC_INFO_MP3PRO_DETECTED:
    case SSC_DEC_WRONG_LAYER:
    case SSC_DEC_BUFFER_TOO_SMALL:
    case SSC_ERR_NO_MEMORY:
    case SSC_SYNC_SEARCHED:
    case SSC_SYNC_LOST:
    case SSC_SYNC_NEED_DATA:
    case SSC_SYNC_EOF:
      return true;
    default:
      return false;
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t opts = data[0];
  const uint8_t chunk_sel = data[1];
  data += 2;
  size -= 2;

  // Stream information.
  MP3DecoderInfo* info = nullptr;
  if (MP3CreateDecoderInfo(&info) == SSC_OK) {
    const int head = int(size > 8192 ? 8192 : size);
    const uint32_t file_size = (opts & 0x80) ? uint32_t(size) : uint32_t(size) * 977u;
    if (info->Open(data, head, file_size)) {
      const MP3StreamInfo* s = info->GetInfo();
      for (float p : {0.0f, 12.5f, 50.0f, 99.9f, 100.0f, 150.0f, -5.0f}) {
        if (info->PercentToOffset(p) > file_size && s->vbrHeader == 0) std::abort();
      }
      for (uint32_t t : {0u, 1u, 999u, s->duration / 2, s->duration, 0xFFFFFFFFu}) info->TimeToOffset(t);
    }
    char version[80];
    info->GetVersion(version);
    info->Release();
  }

  // Decoding.
  MP3Decoder* d = nullptr;
  if (MP3CreateDecoder(&d, opts & 1, opts & 2, opts & 4, opts & 8, opts & 16) != SSC_OK) return 0;
  static const int capacities[4] = {4608, MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16, MP3DEC_MAX_FRAME_OUTPUT_BYTES, 1000};
  const int capacity = capacities[(opts >> 5) & 3];
  std::vector<uint8_t> out(size_t(capacity) + 64, 0xA5);
  std::vector<uint8_t> anc(64 + 32, 0x5A);
  const int anc_capacity = 64;
  const size_t chunk = 1 + size_t(chunk_sel) * 37;
  size_t pos = 0;
  int idle = 0;
  for (int calls = 0; calls < 20000; ++calls) {
    if (pos < size && d->GetFreeInputSpace() > 0) {
      const size_t n = std::min(chunk, size - pos);
      pos += size_t(d->Feed(data + pos, int(n)));
      if (pos >= size) d->SetEndOfInput();
    } else if (pos >= size) {
      d->SetEndOfInput();
    }
    int bytes = -1, anc_count = anc_capacity;
    const SSC s = d->DecodeFrame((opts & 64) && calls % 7 == 3 ? nullptr : out.data(), capacity, &bytes,
                                 (opts & 128) ? anc.data() : nullptr, &anc_count, opts & 32);
    if (!allowed(s)) std::abort();
    if (bytes < 0 || bytes > capacity) std::abort();
    for (size_t i = size_t(capacity); i < out.size(); ++i)
      if (out[i] != 0xA5) std::abort();
    if ((opts & 128) && (anc_count < 0 || anc_count > anc_capacity)) std::abort();
    for (size_t i = size_t(anc_capacity); i < anc.size(); ++i)
      if (anc[i] != 0x5A) std::abort();
    if (s == SSC_SYNC_EOF) {
      if (!d->IsEndOfStream()) std::abort();
      break;
    }
    if (s == SSC_DEC_BUFFER_TOO_SMALL || s == SSC_ERR_NO_MEMORY) {
      if (++idle > 64) break;  // the caller would grow its buffer; we stop
    }
  }
  d->Release();
  return 0;
}
