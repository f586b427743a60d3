// Bit buffer, frame header and frame synchroniser.
#include "mp3dec/bitbuf.h"

#include <cstring>

namespace {
int pow2_size(int requested) {
  int size = 1;
  while (size < requested && size < 65536) size <<= 1;
  return size;
}
}  // namespace

void bitbuf_init(BitBuffer* b, uint8_t* storage, int requested_bytes) {
  b->size_bytes = pow2_size(requested_bytes);
  b->size_bits = b->size_bytes * 8;
  b->storage = storage;
  bitbuf_reset(b);
}

void bitbuf_reset(BitBuffer* b) {
  b->bits_available = 0;
  b->write_pos = 0;
  b->bits_consumed = 0;
  b->read_pos = 0;
  b->end_flag = 0;
}

uint32_t bitbuf_get_bits(BitBuffer* b, int n) {
  if (n <= 0) return 0;
  const int mask = b->size_bytes - 1;
  const int byte = (b->read_pos >> 3) & ~1;
  const int shift = b->read_pos & 15;
  uint32_t word = (uint32_t(b->storage[byte & mask]) << 8) | b->storage[(byte + 1) & mask];
  word = (word << shift) & 0xFFFFu;
  if (n > 16 - shift) {
    const int next = (byte + 2) & mask;
    uint32_t w2 = (uint32_t(b->storage[next]) << 8) | b->storage[(next + 1) & mask];
    word |= w2 >> (16 - shift);
  }
  b->read_pos = (b->read_pos + n) & (b->size_bits - 1);
  b->bits_consumed += n;
  b->bits_available -= n;
  return (word & 0xFFFFu) >> (16 - n);
}

uint32_t bitbuf_get_32(BitBuffer* b) {
  uint32_t hi = bitbuf_get_bits(b, 16);
  return (hi << 16) | bitbuf_get_bits(b, 16);
}

int bitbuf_skip_bits(BitBuffer* b, int n) {
  int pos = (b->read_pos + n) % b->size_bits;
  if (pos < 0) pos += b->size_bits;
  b->read_pos = pos;
  b->bits_consumed += n;
  b->bits_available -= n;
  return 1;
}

int bitbuf_free_bytes(const BitBuffer* b) { return (b->size_bits - b->bits_available) / 8; }

int bitbuf_feed(BitBuffer* b, const uint8_t* bytes, int count) {
  if (count < 1 || !bytes) return 0;
  int take = bitbuf_free_bytes(b);
  if (count < take) take = count;
  if (take <= 0) return 0;
  int first = b->size_bytes - b->write_pos;
  if (first > take) first = take;
  std::memcpy(b->storage + b->write_pos, bytes, first);
  if (take > first) std::memcpy(b->storage, bytes + first, take - first);
  b->write_pos = (b->write_pos + take) & (b->size_bytes - 1);
  b->bits_available += take * 8;
  return take;
}

int bitbuf_copy(BitBuffer* dst, BitBuffer* src, int count) {
  int n = count;
  if (src->bits_available / 8 < n) n = src->bits_available / 8;
  if (bitbuf_free_bytes(dst) < n) n = bitbuf_free_bytes(dst);
  for (int i = 0; i < n; ++i) {
    dst->storage[dst->write_pos] = uint8_t(bitbuf_get_bits(src, 8));
    dst->write_pos = (dst->write_pos + 1) & (dst->size_bytes - 1);
  }
  if (n > 0) dst->bits_available += n * 8;
  return n < 0 ? 0 : n;
}

void bitbuf_set_end(BitBuffer* b) { b->end_flag = 1; }
int bitbuf_is_end(const BitBuffer* b) { return b->end_flag; }

void bitbuf_read_bytes(BitBuffer* b, uint8_t* out, int count) {
  if ((b->read_pos & 7) == 0) {
    int pos = b->read_pos >> 3;
    const int mask = b->size_bytes - 1;
    int first = b->size_bytes - pos;
    if (first > count) first = count;
    std::memcpy(out, b->storage + pos, first);
    if (count > first) std::memcpy(out + first, b->storage, count - first);
    pos = (pos + count) & mask;
    b->read_pos = pos << 3;
    b->bits_consumed += count * 8;
    b->bits_available -= count * 8;
    return;
  }
  for (int i = 0; i < count; ++i) out[i] = uint8_t(bitbuf_get_bits(b, 8));
}

// ---------------------------------------------------------------- header

namespace {
const int bitrate_mpeg1[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
const int bitrate_mpeg2[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
const int rates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
}  // namespace

int mpa_header_decode(MpaHeader* h, uint32_t w) {
  std::memset(h, 0, sizeof(*h));
  const int sync = int(w >> 21);
  const int b20 = (w >> 20) & 1, b19 = (w >> 19) & 1;
  const int layer = 4 - int((w >> 17) & 3);
  const int bri = (w >> 12) & 15;
  const int sri = (w >> 10) & 3;
  if (sync != 0x7FF || layer != 3 || bri < 1 || bri > 14 || sri > 2 || (!b20 && b19)) return 0;
  h->sync = sync;
  h->mpeg25_bit = b20;
  h->id_bit = b19;
  h->layer = layer;
  h->crc_present = ((w >> 16) & 1) ? 0 : 1;
  h->bitrate_index = bri;
  h->samplerate_index = sri;
  h->padding = (w >> 9) & 1;
  h->private_bit = (w >> 8) & 1;
  h->mode = (w >> 6) & 3;
  h->mode_ext = (w >> 4) & 3;
  h->copyright = (w >> 3) & 1;
  h->original = (w >> 2) & 1;
  h->emphasis = w & 3;
  h->valid = 1;
  h->version = b19 ? 0 : (b20 ? 1 : 2);
  h->channels = h->mode == 3 ? 1 : 2;
  h->sample_rate = rates[h->version][sri];
  h->bitrate = (h->version == 0 ? bitrate_mpeg1[bri] : bitrate_mpeg2[bri]) * 1000;
  const int spf = mpa_samples_per_frame(h);
  h->frame_bits = 8 * (h->bitrate / 8 * spf / h->sample_rate + h->padding);
  h->frame_ms = float(spf) * 1000.0f / float(h->sample_rate);
  return 1;
}

int mpa_samples_per_frame(const MpaHeader* h) {
  if (h->layer == 1) return 384;
  if (h->layer == 2) return 1152;
  return h->version == 0 ? 1152 : 576;
}

// ---------------------------------------------------------------- synchroniser

namespace {
constexpr uint32_t header_mask = 0xFFFE0C00u;
}

void mpasync_init(FrameSync* s, uint8_t* storage, int size) {
  bitbuf_init(&s->buf, storage, size);
  mpasync_reset(s);
}

void mpasync_attach(FrameSync* s, uint8_t* bytes, int length) {
  bitbuf_init(&s->buf, bytes, length);
  s->buf.bits_available = length * 8;
  s->buf.write_pos = length & (s->buf.size_bytes - 1);
  std::memset(&s->header, 0, sizeof(s->header));
  s->state = SSC_SYNC_SEARCHED;
  s->reference = 0;
  s->confidence = 0;
  s->steps = 0;
}

void mpasync_reset(FrameSync* s) {
  bitbuf_reset(&s->buf);
  std::memset(&s->header, 0, sizeof(s->header));
  s->state = SSC_SYNC_SEARCHED;
  s->reference = 0;
  s->confidence = 0;
  s->steps = 0;
}

SSC mpasync_find_frame(FrameSync* s) {
  BitBuffer* b = &s->buf;
  if (s->state == SSC_SYNC_EOF) return SSC_SYNC_EOF;
  if (b->bits_available < 32) {
    s->state = (s->state == SSC_OK || s->state == SSC_SYNC_NEED_DATA) ? SSC_SYNC_NEED_DATA
                                                                       : SSC_SYNC_SEARCHED;
  } else if (s->state == SSC_OK || s->state == SSC_SYNC_NEED_DATA) {
    s->steps = 0;
    const uint32_t word = bitbuf_get_32(b);
    const int valid = mpa_header_decode(&s->header, word);
    if ((word & header_mask) != s->reference || !valid) {
      bitbuf_skip_bits(b, -32);
      s->state = SSC_SYNC_LOST;
    } else if (b->bits_available < s->header.frame_bits - 32) {
      bitbuf_skip_bits(b, -32);
      s->state = SSC_SYNC_NEED_DATA;
    } else {
      bool lost = false;
      if (s->confidence != 0 && b->bits_available >= s->header.frame_bits) {
        bitbuf_skip_bits(b, s->header.frame_bits - 32);
        const uint32_t next = bitbuf_get_32(b);
        bitbuf_skip_bits(b, -(s->header.frame_bits + 32));  // back to the frame's start
        if ((next & header_mask) != s->reference) lost = true;
      } else {
        bitbuf_skip_bits(b, -32);
      }
      if (lost) {
        s->state = SSC_SYNC_LOST;
      } else {
        if (s->confidence != 0) --s->confidence;
        s->state = SSC_OK;
      }
    }
  } else {
    s->state = SSC_SYNC_SEARCHED;
    s->steps = 0;
    while (b->bits_available >= 32) {
      const uint32_t word = bitbuf_get_32(b);
      if (mpa_header_decode(&s->header, word)) {
        const int fb = s->header.frame_bits;
        if (b->bits_available < fb) {  // frame plus the next header not yet here
          bitbuf_skip_bits(b, -32);
          s->state = SSC_SYNC_SEARCHED;
          break;
        }
        bitbuf_skip_bits(b, fb - 32);
        const uint32_t next = bitbuf_get_32(b);
        if ((next & header_mask) == (word & header_mask)) {
          s->reference = word & header_mask;
          s->confidence = 10;
          bitbuf_skip_bits(b, -(fb + 32));
          s->state = SSC_OK;
          break;
        }
        bitbuf_skip_bits(b, -(fb + 32) + 1);
      } else {
        bitbuf_skip_bits(b, -31);
      }
      ++s->steps;
    }
  }
  if (b->end_flag && (s->state == SSC_SYNC_SEARCHED || s->state == SSC_SYNC_NEED_DATA))
    s->state = SSC_SYNC_EOF;
  return s->state;
}
