// The SBR block against the room a frame has left: kept when it fits, left out when it does
// not, never a back-pointer outside its range.
#include <gtest/gtest.h>

#include <vector>

#include "mp3enc/ancillary.h"
#include "mp3enc/bitbuf.h"
#include "mp3enc/core.h"
#include "mp3enc/framewriter.h"
#include "mp3enc/quant.h"

namespace {

struct core_box {
  mp3enc_core* core = nullptr;
  // bit_rate 0: variable bit rate.
  explicit core_box(int rate, int bit_rate) {
    mp3enc_core_config c;
    c.rate = rate;
    c.bit_rate = bit_rate;
    c.vbr = bit_rate == 0;
    c.vbr_quality = bit_rate == 0 ? 50 : 0;
    c.sbr = 1;
    EXPECT_EQ(mp3enc_core_init(&core, &c), 0);
  }
  ~core_box() { mp3enc_core_free(core); }
};

// One frame of silence; the payload (counted only: no ring) is handed over for it.
void silent_frame(mp3enc_core* core, sbrenc_output* sbr, int payload_bits) {
  sbr->header_bits = 0;
  sbr->element_type = 0;
  sbr->data_bits = payload_bits;
  std::vector<float> block(576, 0.0f);
  std::vector<uint8_t> out(16384);
  int32_t pending = 0, made = 0;
  for (int g = 0; g < core->granules_per_frame; ++g)
    ASSERT_EQ(mp3enc_core_encode_frame(&pending, 0, core, sbr, block.data(), 576, out.data(), int32_t(out.size()),
                                       &made, nullptr, nullptr),
              0);
}

int32_t block_bits(int32_t payload_bits) {
  mp3enc_sbr_block* layout = nullptr;
  EXPECT_EQ(mp3enc_sbr_block_create(&layout), 0);
  sbrenc_output o;
  o.data_bits = payload_bits;
  const int32_t bits = mp3enc_sbr_block_layout(layout, &o, 2);
  mp3enc_sbr_block_free(layout);
  return bits;
}

TEST(SbrRoom, AFrameWithoutPayloadCarriesNoBlock) {
  mp3enc_sbr_block* layout = nullptr;
  ASSERT_EQ(mp3enc_sbr_block_create(&layout), 0);
  sbrenc_output o;
  o.data_bits = 300;
  EXPECT_GT(mp3enc_sbr_block_layout(layout, &o, 2), 0);
  // What the writer or a dropped payload leaves behind: bit counts zero, element type kept.
  o.data_bits = 0;
  o.element_type = 0x58;
  EXPECT_EQ(mp3enc_sbr_block_layout(layout, &o, 2), 0);
  EXPECT_EQ(layout->total, 0);  // the frame writer writes nothing for it
  mp3enc_sbr_block_free(layout);
}

TEST(SbrRoom, LargestPayloadFillsTheLargestBlock) {
  sbrenc_output o;
  o.element_type = 0x58;
  o.data_bits = 4068;  // the SBR encoder's own limit
  mp3enc_sbr_block* layout = nullptr;
  ASSERT_EQ(mp3enc_sbr_block_create(&layout), 0);
  EXPECT_EQ(mp3enc_sbr_block_layout(layout, &o, 2), mp3enc_sbr_block_max_bits);
  EXPECT_EQ(layout->length2, 254);
  o.data_bits += 8;
  EXPECT_GT(mp3enc_sbr_block_layout(layout, &o, 2), mp3enc_sbr_block_max_bits);
  mp3enc_sbr_block_free(layout);
}

// After a few silent frames the reservoir holds its most (255 bytes at these rates), so the
// room of the next frame is 2040 bits plus its own main-data slot.
TEST(SbrRoom, BlockIsKeptWhenItFitsAndLeftOutWhenNot) {
  struct row {
    const char* what;
    int rate, bit_rate, fill_frames, payload;
    bool kept;
  } rows[] = {
      {"fits the reservoir", 22050, 32000, 6, 1500, true},
      {"more than reservoir and slot", 22050, 32000, 6, 3000, false},
      {"first frame, empty reservoir", 22050, 32000, 0, 1000, false},
      {"large frame, largest block", 22050, 160000, 6, 4060, true},
      {"room enough, but beyond the length bytes", 22050, 160000, 6, 4090, false},
      {"two granules, first frame", 44100, 32000, 0, 1000, false},
      {"two granules, reservoir full", 44100, 32000, 8, 3000, true},
      {"variable rate: the largest frame's slot", 22050, 0, 0, 3000, true},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    core_box box(r.rate, r.bit_rate);
    mp3enc_core* core = box.core;
    ASSERT_NE(core, nullptr);
    sbrenc_output sbr;
    for (int f = 0; f < r.fill_frames; ++f) silent_frame(core, &sbr, 0);
    silent_frame(core, &sbr, r.payload);
    const int last = core->granules_per_frame - 1;
    EXPECT_EQ(core->granules[last]->sbr_bits, r.kept ? block_bits(r.payload) : 0);
    EXPECT_EQ(core->writer->sbr_block->total, r.kept ? block_bits(r.payload) : 0);
    // Only the frame's last granule reserves the one block the frame carries.
    if (last > 0) {
      EXPECT_EQ(core->granules[0]->sbr_bits, 0);
    }
    EXPECT_EQ(sbr.header_bits + sbr.data_bits, 0);
    // The frames after it are unharmed: the reservoir and the back-pointer stay in range.
    for (int f = 0; f < 3; ++f) silent_frame(core, &sbr, 200);
    EXPECT_EQ(core->granules[last]->sbr_bits, block_bits(200));
  }
}

// 24000 Hz at 32000 bit/s: every frame is 768 bits, so the room is known exactly.
TEST(SbrRoom, BlockThatTakesEveryBitLeftIsKeptOneByteMoreIsNot) {
  for (int over : {0, 8}) {
    SCOPED_TRACE(over);
    core_box box(24000, 32000);
    mp3enc_core* core = box.core;
    ASSERT_NE(core, nullptr);
    sbrenc_output sbr;
    for (int f = 0; f < 6; ++f) silent_frame(core, &sbr, 0);
    const int32_t room = mp3enc_framewriter_room(core->writer, 768);
    ASSERT_EQ(room, 255 * 8 + 768 - mp3enc_framewriter_head_bits(core->writer));
    int32_t payload = room;
    while (block_bits(payload) > room) --payload;
    ASSERT_EQ(block_bits(payload), room);
    silent_frame(core, &sbr, payload + over);
    EXPECT_EQ(core->granules[0]->sbr_bits, over == 0 ? room : 0);
    EXPECT_EQ(core->writer->main_data_begin, over == 0 ? 0 : 255);
  }
}

// A frame the writer cannot write as it stands is refused whole: nothing queued, nothing
// written, the back-pointer as it was. Cut to the width of its field, a value would make
// decoders read another granule than the one coded (a part2_3_length of 4096 reads as 0).
TEST(SbrRoom, FrameThatCannotBeWrittenIsRefusedWhole) {
  mp3enc_framewriter* w = nullptr;
  ASSERT_EQ(mp3enc_framewriter_create(&w), 0);
  mp3enc_granule *g = nullptr, *second = nullptr;
  ASSERT_EQ(mp3enc_granule_create(&g), 0);
  ASSERT_EQ(mp3enc_granule_create(&second), 0);
  mp3enc_granule* const frame[2] = {g, second};  // MPEG-1 frames have two granules
  std::vector<uint8_t> out(16384);
  const struct row {
    const char* what;
    int rate, bit_rate_index;
    void (*set)(mp3enc_granule&);
    bool written;
    int begin = 0;  // the back-pointer the frame finds
  } rows[] = {
      // 24000 Hz mono at 32000 bit/s: a first frame's slot is 768 - 104 bits; one byte more
      // would take the back-pointer below zero
      {"slot filled", 24000, 4, [](mp3enc_granule& r) { r.part2_3_length[0] = 768 - 104; }, true},
      {"slot and a byte", 24000, 4, [](mp3enc_granule& r) { r.part2_3_length[0] = 768 - 104 + 8; }, false},
      // 48000 Hz mono at 320000 bit/s: room for 7512 main-data bits, more than one granule holds
      {"longest granule", 48000, 14, [](mp3enc_granule& r) { r.part2_3_length[0] = 4095; }, true},
      {"granule of 4096 bits", 48000, 14, [](mp3enc_granule& r) { r.part2_3_length[0] = 4096; }, false},
      {"granule of 4102 bits", 48000, 14, [](mp3enc_granule& r) { r.part2_3_length[0] = 4102; }, false},
      {"big_values 289", 48000, 14, [](mp3enc_granule& r) { r.huff[0].big_values = 289; }, false},
      {"global_gain 106", 48000, 14, [](mp3enc_granule& r) { r.global_gain[0] = 106; }, false},
      {"global_gain -151", 48000, 14, [](mp3enc_granule& r) { r.global_gain[0] = -151; }, false},
      {"scalefac_compress 16", 48000, 14, [](mp3enc_granule& r) { r.scalefac_compress[0] = 16; }, false},
      {"table 32", 48000, 14, [](mp3enc_granule& r) { r.huff[0].table_select[2] = 32; }, false},
      {"region0_count 16", 48000, 14, [](mp3enc_granule& r) { r.huff[0].region0_count = 16; }, false},
      {"region1_count 8", 48000, 14, [](mp3enc_granule& r) { r.huff[0].region1_count = 8; }, false},
      {"subblock_gain 8", 48000, 14,
       [](mp3enc_granule& r) {
         r.block_type[0] = 2;
         r.subblock_gain[0][2] = 8;
       },
       false},
      // a frame of no bits: banked bytes let it past the reservoir check
      {"bit rate index 15", 48000, 15, [](mp3enc_granule&) {}, false, 100},
  };
  for (const row& r : rows) {
    const int32_t cfg[7] = {3, 0, r.rate, 0, 0, 0, 0};
    ASSERT_EQ(mp3enc_framewriter_config(w, cfg), 0);
    w->main_data_begin = r.begin;
    *g = *second = mp3enc_granule{};
    r.set(*g);
    int32_t bytes = -1;
    const int bits = mp3enc_write_frame(w, frame, nullptr, r.bit_rate_index, 0, 0, out.data(), int32_t(out.size()),
                                        &bytes);
    EXPECT_EQ(bits >= 0, r.written) << r.what;
    EXPECT_EQ(mp3enc_framewriter_queued(w) + mp3enc_framewriter_output(w)->frames, r.written ? 1 : 0) << r.what;
    EXPECT_EQ(w->main_data_begin, r.begin) << r.what;
    if (!r.written) {
      EXPECT_EQ(bits, -1) << r.what;
      EXPECT_EQ(bytes, 0) << r.what;
      EXPECT_EQ(mp3enc_bitbuf_count(w->main_buffer), 0) << r.what;
    }
  }
  mp3enc_granule_free(g);
  mp3enc_granule_free(second);
  mp3enc_framewriter_free(w);
}

// The core stops at a frame its writer refuses, rather than go on with the frame's bits lost.
TEST(SbrRoom, CoreStopsAtAFrameItsWriterRefuses) {
  core_box box(22050, 32000);
  ASSERT_NE(box.core, nullptr);
  box.core->writer->main_data_begin = 256;  // past its 8-bit field
  std::vector<float> block(576, 0.0f);
  std::vector<uint8_t> out(16384);
  int32_t pending = 0, made = 0;
  EXPECT_EQ(mp3enc_core_encode_frame(&pending, 0, box.core, nullptr, block.data(), 576, out.data(),
                                     int32_t(out.size()), &made, nullptr, nullptr),
            5);
}

}  // namespace
