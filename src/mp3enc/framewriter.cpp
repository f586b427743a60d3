// Layer III frame writer.
#include "mp3enc/framewriter.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "mp3dec/l3tables.h"
#include "mp3enc/l3enc_tables.h"

namespace {

constexpr int side_ring_bits = 78128;
constexpr int main_ring_bits = 16384;

// Decoders skip fill bits, but ours looks at the ancillary bytes for an mp3PRO payload (a first
// nibble of 12 to 15), user blocks (a byte 0xAn) and the gapless block (0xB0). Fill bits come
// before these blocks and start at any bit offset; zeros can never look like any of them, and
// the decoder steps over whole zero bytes to the block that follows. (Ones with a zero among
// them read from a byte boundary as 0xEF: a two-channel payload tag.)
const uint8_t fill_bytes[33] = {};

int fill_bit(mp3enc_fill_pattern& f) {
  const int k = f.pos;
  const int byte = f.bytes[k / 8], r = k % 8;
  const int bit = (r >= 2 && r <= 5) ? (byte >> r) & 1 : (byte >> (7 - r)) & 1;
  f.pos = (f.pos + 1) % f.period;
  return bit;
}

int queued(const mp3enc_framewriter* w) {
  return (w->queue_write - w->queue_read + mp3enc_queue_frames) % mp3enc_queue_frames;
}

// Copies the oldest queued frame to out; missing main data (at the end of the stream) is zero.
int emit_one(mp3enc_framewriter* w, uint8_t* out) {
  const mp3enc_framewriter::entry e = w->queue[w->queue_read];
  const int head = e.head_bits / 8;
  mp3enc_bitbuf_read_bytes(w->side_buffer, out, head);
  if (w->crc) {
    uint16_t crc = 0xFFFF;
    crc = mp3enc_crc16_update(0x8005, 0x8000, crc, out[2]);
    crc = mp3enc_crc16_update(0x8005, 0x8000, crc, out[3]);
    for (int i = 6; i < head; ++i) crc = mp3enc_crc16_update(0x8005, 0x8000, crc, out[i]);
    out[4] = uint8_t(crc >> 8);
    out[5] = uint8_t(crc);
  }
  const int slot = e.slot_bits / 8;
  const int have = std::min(slot, mp3enc_bitbuf_count(w->main_buffer) / 8);
  mp3enc_bitbuf_read_bytes(w->main_buffer, out + head, have);
  std::memset(out + head + have, 0, size_t(slot - have));
  w->queue_read = (w->queue_read + 1) % mp3enc_queue_frames;
  w->output.bytes[w->output.frames++] = head + slot;
  return head + slot;
}

int emit(mp3enc_framewriter* w, uint8_t* out, int32_t out_size, bool all) {
  int written = 0;
  while (queued(w) > 0 && w->output.frames < mp3enc_queue_frames) {
    const mp3enc_framewriter::entry& e = w->queue[w->queue_read];
    if (!all && mp3enc_bitbuf_count(w->main_buffer) < e.slot_bits) break;
    if (written + (e.head_bits + e.slot_bits) / 8 > out_size) break;
    written += emit_one(w, out + written);
  }
  return written;
}

}  // namespace

uint16_t mp3enc_crc16_update(uint16_t poly, uint16_t top, uint16_t crc, uint8_t byte) {
  for (int i = 7; i >= 0; --i) {
    const bool bit = (byte >> i) & 1;
    const bool feedback = ((crc & top) != 0) != bit;
    crc = uint16_t(crc << 1);
    if (feedback) crc ^= poly;
  }
  return crc;
}

int mp3enc_framewriter_create(mp3enc_framewriter** out) {
  if (!out) return 1;
  *out = nullptr;
  mp3enc_framewriter* w = new (std::nothrow) mp3enc_framewriter();
  if (!w) return 1;
  w->side_buffer = mp3enc_bitbuf_create(side_ring_bits);
  w->main_buffer = mp3enc_bitbuf_create(main_ring_bits);
  if (w->main_buffer) w->anc_crc = mp3enc_anc_crc_create(w->main_buffer);
  if (!w->side_buffer || !w->main_buffer || !w->anc_crc || mp3enc_sbr_block_create(&w->sbr_block)) {
    mp3enc_framewriter_free(w);
    return 1;
  }
  w->fill.period = 264;
  std::memcpy(w->fill.bytes, fill_bytes, sizeof fill_bytes);
  *out = w;
  return 0;
}

void mp3enc_framewriter_free(mp3enc_framewriter* w) {
  if (!w) return;
  mp3enc_crc_destroy(&w->anc_crc);
  mp3enc_bitbuf_destroy(&w->side_buffer);
  mp3enc_bitbuf_destroy(&w->main_buffer);
  mp3enc_sbr_block_free(w->sbr_block);
  delete w;
}

int mp3enc_framewriter_config(mp3enc_framewriter* w, const int32_t cfg[7]) {
  const int rate = cfg[2], mode = cfg[0];
  int version, index;
  if (rate >= 24001) {
    version = 0;
    index = rate == 44100 ? 0 : rate == 48000 ? 1 : rate == 32000 ? 2 : -1;
  } else if (rate < 12001) {
    version = 2;
    index = rate == 11025 ? 0 : rate == 12000 ? 1 : rate == 8000 ? 2 : -1;
  } else {
    version = 1;
    index = rate == 22050 ? 0 : rate == 24000 ? 1 : rate == 16000 ? 2 : -1;
  }
  if (index < 0 || mode < 0 || mode > 3) return 1;
  w->mode = mode;
  w->bit_rate = cfg[1];
  w->sample_rate = rate;
  w->crc = cfg[3] != 0;
  w->private_bit = cfg[4] != 0;
  w->copyright = cfg[5] != 0;
  w->original = cfg[6] != 0;
  w->channels = mode == 3 ? 1 : 2;
  w->version = version;
  w->sample_rate_index = index;
  w->granules = version == 0 ? 2 : 1;
  w->side_bits = version == 0 ? (w->channels == 1 ? 136 : 256) : (w->channels == 1 ? 72 : 136);
  w->crc_bits = w->crc ? 16 : 0;
  w->header_bits = 32;
  w->head_bits = w->side_bits + w->crc_bits + 32;
  w->main_data_begin = 0;
  w->queue_read = w->queue_write = 0;
  w->output.frames = 0;
  mp3enc_bitbuf_reset(w->side_buffer);
  mp3enc_bitbuf_reset(w->main_buffer);
  return 0;
}

int mp3enc_framewriter_head_bits(const mp3enc_framewriter* w) { return w->head_bits; }

int mp3enc_framewriter_frame_bits(const mp3enc_framewriter* w, int bitrate_index) {
  static const int rates[3][16] = {
      {8000, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 160000, 192000, 224000, 256000,
       320000, -1},
      {4000, 8000, 16000, 24000, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 144000, 160000,
       -1},
      {4000, 8000, 16000, 24000, 32000, 40000, 48000, 56000, 64000, 0, 0, 0, 0, 0, 0, -1}};
  if (bitrate_index < 0 || bitrate_index > 15) return 0;
  const int samples = w->version == 0 ? 1152 : 576;
  const long long br = rates[w->version][bitrate_index];
  if (br <= 0) return 0;
  return int(8 * ((samples / 8 * br) / w->sample_rate));
}

int mp3enc_sbr_block_size(mp3enc_framewriter* w, const sbrenc_output* sbr_out) {
  return mp3enc_sbr_block_layout(w->sbr_block, sbr_out, 2);
}

int mp3enc_framewriter_room(const mp3enc_framewriter* w, int frame_bits) {
  return w->main_data_begin * 8 + frame_bits - w->head_bits;
}

namespace {

void write_escape(const mp3enc_huff_code& h, int x, int y, int linbits, mp3enc_bitbuf* b) {
  const int ax = x < 0 ? -x : x, ay = y < 0 ? -y : y;
  const int i = std::min(ax, 15) * 16 + std::min(ay, 15);
  mp3enc_put_bits(b, h.code[i], h.len[i]);
  if (ax >= 15) mp3enc_put_bits(b, uint32_t(ax - 15), linbits);
  if (ax) mp3enc_put_bits(b, x < 0, 1);
  if (ay >= 15) mp3enc_put_bits(b, uint32_t(ay - 15), linbits);
  if (ay) mp3enc_put_bits(b, y < 0, 1);
}

void write_nothing(int, int, int, mp3enc_bitbuf*) {}

void write_quad(int table, int v, int w, int x, int y, mp3enc_bitbuf* b) {
  const int idx = 8 * (v != 0) + 4 * (w != 0) + 2 * (x != 0) + (y != 0);
  mp3enc_put_bits(b, mp3enc_count1_code[table][idx], mp3enc_count1_len[table][idx]);
  if (v) mp3enc_put_bits(b, v < 0, 1);
  if (w) mp3enc_put_bits(b, w < 0, 1);
  if (x) mp3enc_put_bits(b, x < 0, 1);
  if (y) mp3enc_put_bits(b, y < 0, 1);
}

}  // namespace

template <int n>
void mp3enc_huff_write_t(int x, int y, int, mp3enc_bitbuf* b) {
  const mp3enc_huff_code& h = mp3enc_huff_codes[n];
  const int ax = x < 0 ? -x : x, ay = y < 0 ? -y : y;
  const int i = ax * h.ylen + ay;
  mp3enc_put_bits(b, h.code[i], h.len[i]);
  if (ax) mp3enc_put_bits(b, x < 0, 1);
  if (ay) mp3enc_put_bits(b, y < 0, 1);
}

void mp3enc_huff_write_esc16(int x, int y, int linbits, mp3enc_bitbuf* b) {
  write_escape(mp3enc_huff_codes[16], x, y, linbits, b);
}

void mp3enc_huff_write_esc24(int x, int y, int linbits, mp3enc_bitbuf* b) {
  write_escape(mp3enc_huff_codes[24], x, y, linbits, b);
}

const mp3enc_huff_writer mp3enc_huff_writers[32] = {
    {write_nothing, 0},           {mp3enc_huff_write_t<1>, 0},  {mp3enc_huff_write_t<2>, 0},
    {mp3enc_huff_write_t<3>, 0},  {write_nothing, 0},           {mp3enc_huff_write_t<5>, 0},
    {mp3enc_huff_write_t<6>, 0},  {mp3enc_huff_write_t<7>, 0},  {mp3enc_huff_write_t<8>, 0},
    {mp3enc_huff_write_t<9>, 0},  {mp3enc_huff_write_t<10>, 0}, {mp3enc_huff_write_t<11>, 0},
    {mp3enc_huff_write_t<12>, 0}, {mp3enc_huff_write_t<13>, 0}, {write_nothing, 0},
    {mp3enc_huff_write_t<15>, 0}, {mp3enc_huff_write_esc16, 1}, {mp3enc_huff_write_esc16, 2},
    {mp3enc_huff_write_esc16, 3}, {mp3enc_huff_write_esc16, 4}, {mp3enc_huff_write_esc16, 6},
    {mp3enc_huff_write_esc16, 8}, {mp3enc_huff_write_esc16, 10}, {mp3enc_huff_write_esc16, 13},
    {mp3enc_huff_write_esc24, 4}, {mp3enc_huff_write_esc24, 5}, {mp3enc_huff_write_esc24, 6},
    {mp3enc_huff_write_esc24, 7}, {mp3enc_huff_write_esc24, 8}, {mp3enc_huff_write_esc24, 9},
    {mp3enc_huff_write_esc24, 11}, {mp3enc_huff_write_esc24, 13},
};

void mp3enc_huff_write_count1_a(int v, int w, int x, int y, mp3enc_bitbuf* b) { write_quad(0, v, w, x, y, b); }
void mp3enc_huff_write_count1_b(int v, int w, int x, int y, mp3enc_bitbuf* b) { write_quad(1, v, w, x, y, b); }

void mp3enc_huff_write_pair(int x, int y, int table, mp3enc_bitbuf* b) {
  const mp3enc_huff_writer& w = mp3enc_huff_writers[table];
  w.write(x, y, w.linbits, b);
}

void mp3enc_huff_write_quad(int v, int w, int x, int y, int table, mp3enc_bitbuf* b) {
  (table ? mp3enc_huff_write_count1_b : mp3enc_huff_write_count1_a)(v, w, x, y, b);
}

namespace {

void write_side(mp3enc_framewriter* w, mp3enc_granule* const* granules, int bitrate_index, int padding,
                int mode_extension) {
  mp3enc_bitbuf* s = w->side_buffer;
  mp3enc_put_bits(s, w->version == 2 ? 0xFFE : 0xFFF, 12);
  mp3enc_put_bits(s, w->version == 0 ? 1 : 0, 1);
  mp3enc_put_bits(s, 1, 2);
  mp3enc_put_bits(s, w->crc ? 0 : 1, 1);
  mp3enc_put_bits(s, uint32_t(bitrate_index), 4);
  mp3enc_put_bits(s, uint32_t(w->sample_rate_index), 2);
  mp3enc_put_bits(s, padding ? 1 : 0, 1);
  mp3enc_put_bits(s, uint32_t(w->private_bit), 1);
  mp3enc_put_bits(s, uint32_t(w->mode), 2);
  mp3enc_put_bits(s, uint32_t(w->mode == 1 ? mode_extension & 3 : 0), 2);
  mp3enc_put_bits(s, uint32_t(w->copyright), 1);
  mp3enc_put_bits(s, uint32_t(w->original), 1);
  mp3enc_put_bits(s, 0, 2);
  if (w->crc) mp3enc_put_bits(s, 0, 16);
  const int nch = w->channels;
  if (w->version == 0) {
    mp3enc_put_bits(s, uint32_t(w->main_data_begin), 9);
    mp3enc_put_bits(s, 0, nch == 1 ? 5 : 3);
    for (int c = 0; c < nch; ++c) mp3enc_put_bits(s, 0, 4);
  } else {
    mp3enc_put_bits(s, uint32_t(w->main_data_begin), 8);
    mp3enc_put_bits(s, 0, nch == 1 ? 1 : 2);
  }
  for (int g = 0; g < w->granules; ++g)
    for (int c = 0; c < nch; ++c) {
      const mp3enc_granule& gr = *granules[g];
      const mp3enc_huff_rec& h = gr.huff[c];
      mp3enc_put_bits(s, uint32_t(gr.part2_3_length[c]), 12);
      mp3enc_put_bits(s, uint32_t(h.big_values), 9);
      mp3enc_put_bits(s, uint32_t(gr.global_gain[c] + 150), 8);
      mp3enc_put_bits(s, uint32_t(gr.scalefac_compress[c]), w->version == 0 ? 4 : 9);
      const int bt = gr.block_type[c];
      mp3enc_put_bits(s, bt != 0, 1);
      if (bt != 0) {
        mp3enc_put_bits(s, uint32_t(bt), 2);
        mp3enc_put_bits(s, 0, 1);
        mp3enc_put_bits(s, uint32_t(h.table_select[0]), 5);
        mp3enc_put_bits(s, uint32_t(h.table_select[1]), 5);
        for (int k = 0; k < 3; ++k) mp3enc_put_bits(s, uint32_t(gr.subblock_gain[c][k]), 3);
      } else {
        for (int k = 0; k < 3; ++k) mp3enc_put_bits(s, uint32_t(h.table_select[k]), 5);
        mp3enc_put_bits(s, uint32_t(h.region0_count), 4);
        mp3enc_put_bits(s, uint32_t(h.region1_count), 3);
      }
      if (w->version == 0) mp3enc_put_bits(s, uint32_t(gr.preflag[c]), 1);
      mp3enc_put_bits(s, uint32_t(gr.scalefac_scale[c]), 1);
      mp3enc_put_bits(s, uint32_t(h.count1_table), 1);
    }
}

// Every value of the header and side information within the width of its field. A value
// that does not fit would be cut to its low bits, and a decoder would read another granule
// than the one coded; a part2_3_length of 4096 reads as 0.
bool side_fits(const mp3enc_framewriter* w, mp3enc_granule* const* granules, int bitrate_index) {
  auto fits = [](int v, int bits) { return v >= 0 && v < (1 << bits); };
  if (bitrate_index < 1 || bitrate_index > 14) return false;
  for (int g = 0; g < w->granules; ++g)
    for (int c = 0; c < w->channels; ++c) {
      const mp3enc_granule& gr = *granules[g];
      const mp3enc_huff_rec& h = gr.huff[c];
      const int bt = gr.block_type[c];
      bool ok = fits(gr.part2_3_length[c], 12) && fits(h.big_values, 9) && h.big_values <= 288 &&
                fits(gr.global_gain[c] + 150, 8) && fits(gr.scalefac_compress[c], w->version == 0 ? 4 : 9) &&
                fits(bt, 2) && fits(gr.scalefac_scale[c], 1) && fits(h.count1_table, 1) &&
                (w->version != 0 || fits(gr.preflag[c], 1));
      for (int k = 0; k < (bt != 0 ? 2 : 3); ++k) ok = ok && fits(h.table_select[k], 5);
      if (bt != 0)
        for (int k = 0; k < 3; ++k) ok = ok && fits(gr.subblock_gain[c][k], 3);
      else
        ok = ok && fits(h.region0_count, 4) && fits(h.region1_count, 3);
      if (!ok) return false;
    }
  return true;
}

void write_channel(mp3enc_bitbuf* m, const mp3enc_granule& gr, int c) {
  int written = 0, b = 0;
  for (int p = 0; p < 4; ++p) {
    for (int k = 0; k < gr.sfb_count[c][p]; ++k, ++b)
      if (gr.slen[c][p] > 0) written += mp3enc_put_bits(m, uint32_t(gr.scalefac[c][b]), gr.slen[c][p]);
  }
  const int32_t* q = gr.quantized[c];
  const mp3enc_huff_rec& h = gr.huff[c];
  const int before = mp3enc_bitbuf_count(m);
  int i = 0;
  for (int r = 0; r < 3; ++r)
    for (int k = 0; k < h.region_pairs[r]; ++k, i += 2) mp3enc_huff_write_pair(q[i], q[i + 1], h.table_select[r], m);
  for (int k = 0; k < h.count1_quads; ++k, i += 4)
    mp3enc_huff_write_quad(q[i], q[i + 1], q[i + 2], q[i + 3], h.count1_table, m);
  written += mp3enc_bitbuf_count(m) - before;
  int rest = gr.part2_3_length[c] - written;
  while (rest >= 16) {
    mp3enc_put_bits(m, 0xFFFF, 16);
    rest -= 16;
  }
  if (rest > 0) mp3enc_put_bits(m, (1u << rest) - 1, rest);
}

}  // namespace

int mp3enc_write_frame(mp3enc_framewriter* w, mp3enc_granule* const* granules, sbrenc_output* sbr_out,
                       int bitrate_index, int padding, int mode_extension, uint8_t* out, int32_t out_size,
                       int32_t* out_bytes) {
  const int F = mp3enc_framewriter_frame_bits(w, bitrate_index) + (padding ? 8 : 0);
  int M = w->version == 0 ? 511 : 255;
  if ((w->version == 0 ? 4088 : 2040) + F > 7680) M = std::max(0, (7680 - F) / 8);
  int U = 0;
  for (int g = 0; g < w->granules; ++g) {
    for (int c = 0; c < w->channels; ++c) U += granules[g]->part2_3_length[c];
    U += granules[g]->sbr_bits + granules[g]->user_anc_bits;
  }
  // Bits the next frame cannot reach go out as fill bits after this frame's Huffman data. They
  // are not stuffed into part2_3_length: a decoder reads such bits as count1 quadruples, and
  // strict decoders reject a granule whose bits run past its last line.
  int E = F - M * 8 - U + w->main_data_begin * 8 - w->head_bits;
  if (E < 1) E = (8 - U % 8) % 8;

  // The back-pointer goes into a 9-bit (MPEG-1) or 8-bit field. Below zero after this frame,
  // its main data would run on past its slot into the next frame's header: the driver must
  // never hand over more than mp3enc_framewriter_room allows. Above M the fill bits were
  // miscounted. Nothing of a frame that cannot be written goes out.
  const int next_begin = w->main_data_begin - (U + E) / 8 + (F - w->head_bits) / 8;
  if (w->main_data_begin < 0 || w->main_data_begin > (w->version == 0 ? 511 : 255) || next_begin < 0 ||
      next_begin > M || !side_fits(w, granules, bitrate_index)) {
    if (out_bytes) *out_bytes = 0;
    return -1;
  }
  write_side(w, granules, bitrate_index, padding, mode_extension);
  mp3enc_bitbuf* m = w->main_buffer;
  for (int g = 0; g < w->granules; ++g)
    for (int c = 0; c < w->channels; ++c) write_channel(m, *granules[g], c);
  w->main_data_begin = next_begin;
  for (int k = 0; k < E; ++k) mp3enc_put_bits(m, uint32_t(fill_bit(w->fill)), 1);
  if (sbr_out && w->sbr_block->total > 0) mp3enc_write_ancillary(w->sbr_block, m, sbr_out, w->anc_crc, 2);
  for (int g = 0; g < w->granules; ++g)
    for (int k = 0; k < granules[g]->user_anc_bits / 8; ++k) mp3enc_put_bits(m, granules[g]->user_anc[k], 8);
  w->queue[w->queue_write] = {w->head_bits, F - w->head_bits};
  w->queue_write = (w->queue_write + 1) % mp3enc_queue_frames;
  const int written = emit(w, out, out_size, false);
  if (out_bytes) *out_bytes = written;
  return U + w->head_bits + E;
}

int mp3enc_framewriter_flush(mp3enc_framewriter* w, uint8_t* out, int32_t out_size, int32_t* out_bytes) {
  const int written = emit(w, out, out_size, true);
  if (out_bytes) *out_bytes = written;
  return written;
}

int mp3enc_framewriter_queued(const mp3enc_framewriter* w) { return queued(w); }

const mp3enc_frame_output* mp3enc_framewriter_output(const mp3enc_framewriter* w) { return &w->output; }

void mp3enc_framewriter_clear_output(mp3enc_framewriter* w) { w->output.frames = 0; }
