// The encoder's bitstream ring, its marks and the CRC over marked regions.
#include "mp3enc/bitbuf.h"

#include "mp3enc/alloc.h"

namespace {

int32_t ring_bits(const mp3enc_bitbuf* b) { return b->size * 16; }

int32_t wrap(const mp3enc_bitbuf* b, int64_t pos) {
  const int64_t r = ring_bits(b);
  int64_t p = pos % r;
  return int32_t(p < 0 ? p + r : p);
}

void put_part(mp3enc_bitbuf* b, uint32_t v, int32_t k) {
  b->count += k;
  b->count_mod8 = (b->count_mod8 + k) & 7;
  b->reload |= (b->write_index == b->read_index);
  const uint32_t t = (uint32_t(b->acc) << k) | v;
  b->free -= k;
  if (b->free >= 0) {
    b->acc = uint16_t(t);
    return;
  }
  const int32_t o = -b->free;
  b->words[b->write_index] = uint16_t(t >> o);
  b->write_index = (b->write_index + 1) % b->size;
  b->free += 16;
  b->acc = uint16_t(t & ((1u << o) - 1));
}

void drop_marks_on(mp3enc_bitbuf* b, int32_t word) {
  while (b->mark_count > 0 && b->marks[0].word == word) {
    for (int i = 1; i < b->mark_count; ++i) b->marks[i - 1] = b->marks[i];
    b->marks[--b->mark_count] = mp3enc_mark{};
  }
}

void remove_mark(mp3enc_bitbuf* b, int32_t id) {
  for (int i = 0; i < b->mark_count; ++i) {
    if (b->marks[i].id != id) continue;
    for (int j = i + 1; j < b->mark_count; ++j) b->marks[j - 1] = b->marks[j];
    b->marks[--b->mark_count] = mp3enc_mark{};
    return;
  }
}

int bit_at(const mp3enc_bitbuf* b, int32_t pos) {
  return (b->words[pos >> 4] >> (15 - (pos & 15))) & 1;
}

// Patches one written bit in place, also in the writer's partial word and the
// reader's cached copy, so a later flush or read does not bring back the old value.
void set_bit_at(mp3enc_bitbuf* b, int32_t pos, int bit) {
  const int32_t word = pos >> 4, j = pos & 15;
  const uint16_t m = uint16_t(0x8000u >> j);
  b->words[word] = bit ? uint16_t(b->words[word] | m) : uint16_t(b->words[word] & ~m);
  if (word == b->write_index) {
    const int32_t held = 16 - b->free;
    if (j < held) {
      const uint16_t am = uint16_t(1u << (held - 1 - j));
      b->acc = bit ? uint16_t(b->acc | am) : uint16_t(b->acc & ~am);
    }
  }
  if (word == b->read_index) b->reload = 1;
}

}  // namespace

mp3enc_bitbuf* mp3enc_bitbuf_create(int32_t bits) {
  if (bits < 1) return nullptr;
  mp3enc_bitbuf* b = mp3enc_new_record<mp3enc_bitbuf>();
  if (!b) return nullptr;
  b->size = (bits + 15) / 16;
  b->words = static_cast<uint16_t*>(mp3enc_aligned_calloc(size_t(b->size) * sizeof(uint16_t)));
  if (!b->words) {
    mp3enc_free_record(b);
    return nullptr;
  }
  mp3enc_bitbuf_reset(b);
  return b;
}

void mp3enc_bitbuf_destroy(mp3enc_bitbuf** buffer) {
  if (!buffer || !*buffer) return;
  mp3enc_aligned_free((*buffer)->words);
  mp3enc_free_record(*buffer);
  *buffer = nullptr;
}

void mp3enc_bitbuf_reset(mp3enc_bitbuf* b) {
  if (!b) return;
  b->read_cache = 0;
  b->acc = 0;
  b->free = 16;
  b->read_left = 0;
  b->write_index = 0;
  b->read_index = -1;
  b->count = 0;
  b->count_mod8 = 0;
  b->reload = 0;
  for (auto& m : b->marks) m = mp3enc_mark{};
  b->mark_count = 0;
}

int32_t mp3enc_put_bits(mp3enc_bitbuf* b, uint32_t value, int32_t n) {
  if (!b || n <= 0) return n;
  if (n > 16) {
    put_part(b, (value >> 16) & ((1u << (n - 16)) - 1), n - 16);
    put_part(b, value & 0xFFFFu, 16);
  } else {
    put_part(b, value & ((1u << n) - 1), n);
  }
  return n;
}

int32_t mp3enc_bitbuf_count(const mp3enc_bitbuf* b) { return b ? b->count : 0; }

int32_t mp3enc_bitbuf_position(const mp3enc_bitbuf* b) {
  if (!b) return 0;
  const int32_t pos = b->write_index * 16 + (16 - b->free);
  return pos == ring_bits(b) ? 0 : pos;
}

void mp3enc_bitbuf_flush_word(mp3enc_bitbuf* b) {
  if (!b) return;
  const int32_t held = 16 - b->free;
  if (held <= 0) return;
  const uint16_t low = uint16_t(b->free >= 16 ? 0xFFFFu : (1u << b->free) - 1);
  b->words[b->write_index] = uint16_t((uint32_t(b->acc) << b->free) | (b->words[b->write_index] & low));
}

uint32_t mp3enc_bitbuf_read(mp3enc_bitbuf* b, int32_t n) {
  if (!b || n <= 0) return 0;
  b->count -= n;
  if (b->reload) {
    b->reload = 0;
    if (b->read_index >= 0) {
      if (b->read_index == b->write_index) mp3enc_bitbuf_flush_word(b);
      const int32_t consumed = 16 - b->read_left;
      b->read_cache = uint16_t(uint32_t(b->words[b->read_index]) << consumed);
    }
  }
  uint32_t v = 0;
  while (n > 0) {
    if (b->read_left == 0) {
      const int32_t left = b->read_index;
      b->read_index = (b->read_index + 1) % b->size;
      if (left >= 0) drop_marks_on(b, left);
      if (b->read_index == b->write_index) mp3enc_bitbuf_flush_word(b);
      b->read_cache = b->words[b->read_index];
      b->read_left = 16;
      b->reload = 0;
    }
    const int32_t k = n < b->read_left ? n : b->read_left;
    v = (v << k) | (uint32_t(b->read_cache) >> (16 - k));
    b->read_cache = uint16_t(uint32_t(b->read_cache) << k);
    b->read_left -= k;
    n -= k;
  }
  return v;
}

void mp3enc_bitbuf_copy(mp3enc_bitbuf* dst, mp3enc_bitbuf* src, int32_t n) {
  for (; n >= 16; n -= 16) mp3enc_put_bits(dst, mp3enc_bitbuf_read(src, 16), 16);
  if (n > 0) mp3enc_put_bits(dst, mp3enc_bitbuf_read(src, n), n);
}

void mp3enc_bitbuf_read_bytes(mp3enc_bitbuf* b, uint8_t* dst, int32_t n) {
  int32_t i = 0;
  for (; i + 1 < n; i += 2) {
    const uint32_t w = mp3enc_bitbuf_read(b, 16);
    dst[i] = uint8_t(w >> 8);
    dst[i + 1] = uint8_t(w);
  }
  if (i < n) dst[i] = uint8_t(mp3enc_bitbuf_read(b, 8));
}

void mp3enc_bitbuf_mark(mp3enc_bitbuf* b, int32_t id, uint32_t value, int32_t width) {
  if (!b) return;
  if (b->mark_count < mp3enc_max_marks) {
    const int32_t pos = mp3enc_bitbuf_position(b);
    b->marks[b->mark_count++] = mp3enc_mark{id, pos >> 4, pos & 15, width};
  }
  mp3enc_put_bits(b, value, width);
}

mp3enc_crc* mp3enc_crc_create(mp3enc_bitbuf* buffer, uint16_t poly, uint16_t top, uint16_t init,
                              int32_t width, int32_t regions) {
  if (width < 1 || width > 16 || regions < 1) return nullptr;
  mp3enc_crc* c = mp3enc_new_record<mp3enc_crc>();
  if (!c) return nullptr;
  c->regions = static_cast<mp3enc_crc_region*>(
      mp3enc_aligned_calloc(size_t(regions) * sizeof(mp3enc_crc_region)));
  if (!c->regions) {
    mp3enc_free_record(c);
    return nullptr;
  }
  for (int i = 0; i < regions; ++i) new (&c->regions[i]) mp3enc_crc_region{};
  c->buffer = buffer;
  c->poly = poly;
  c->top = top;
  c->init = init;
  c->width = width;
  c->mask = uint16_t(0xFFFFu >> (16 - width));
  c->region_count = regions;
  mp3enc_crc_reset(c);
  return c;
}

void mp3enc_crc_destroy(mp3enc_crc** crc) {
  if (!crc || !*crc) return;
  mp3enc_aligned_free((*crc)->regions);
  mp3enc_free_record(*crc);
  *crc = nullptr;
}

void mp3enc_crc_reset(mp3enc_crc* c) {
  if (!c) return;
  c->reg = c->init;
  for (int i = 0; i < c->region_count; ++i) c->regions[i] = mp3enc_crc_region{};
}

void mp3enc_crc_field(mp3enc_crc* c) {
  if (!c || !c->buffer) return;
  mp3enc_bitbuf* b = c->buffer;
  int32_t id = -128;
  for (bool taken = true; taken;) {
    taken = false;
    for (int i = 0; i < b->mark_count; ++i)
      if (b->marks[i].id == id) {
        ++id;
        taken = true;
      }
  }
  c->mark_id = id;
  mp3enc_bitbuf_mark(b, id, 0, c->width);
}

void mp3enc_crc_region_begin(mp3enc_crc* c, int32_t r, int32_t length) {
  if (!c || !c->buffer || r < 0 || r >= c->region_count) return;
  c->regions[r].start = mp3enc_bitbuf_position(c->buffer);
  c->regions[r].end = mp3enc_unset;
  c->regions[r].length = length > 0 ? length : 0;
}

void mp3enc_crc_finish(mp3enc_crc* c) {
  if (!c || !c->buffer) return;
  mp3enc_bitbuf* b = c->buffer;
  mp3enc_bitbuf_flush_word(b);
  for (int r = 0; r < c->region_count; ++r) {
    mp3enc_crc_region& g = c->regions[r];
    if (g.start == mp3enc_unset) continue;
    if (g.end == mp3enc_unset) g.end = mp3enc_bitbuf_position(b);
    int32_t len = wrap(b, int64_t(g.end) - g.start);
    if (g.length >= 0 && len > g.length) len = g.length;
    for (int32_t i = 0; i < len; ++i) {
      const int bit = bit_at(b, wrap(b, int64_t(g.start) + i));
      const bool feedback = ((c->reg & c->top) != 0) != (bit != 0);
      c->reg = uint16_t(c->reg << 1);
      if (feedback) c->reg ^= c->poly;
    }
  }
  for (int i = 0; i < b->mark_count; ++i) {
    const mp3enc_mark m = b->marks[i];
    if (m.id != c->mark_id) continue;
    const uint32_t value = c->reg & c->mask;
    const int32_t start = m.word * 16 + m.bit;
    for (int32_t k = 0; k < m.width; ++k)
      set_bit_at(b, wrap(b, int64_t(start) + k), int((value >> (m.width - 1 - k)) & 1));
    remove_mark(b, m.id);
    break;
  }
}
