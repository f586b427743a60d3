// Status codes, texts, factories, version.
#include <gtest/gtest.h>

#include <cstring>

#include "mp3dec/mp3dec.h"

TEST(Mp3decInterface, StatusTexts) {
  EXPECT_STREQ(MP3GetStatusText(SSC_OK), "(Ru3Dud) success: no error");
  EXPECT_STREQ(MP3GetStatusText(0x80010004u), "(Ru3Dud) error: I/O - read error");
  EXPECT_STREQ(MP3GetStatusText(0x12345678u), "(Ru3Dud) unknown SSC");
  EXPECT_STREQ(MP3GetStatusText(SSC_SYNC_EOF), "(Ru3Dud) warning: Decoder - sync eof");
  EXPECT_STREQ(MP3GetStatusText(SSC_INFO_NOT_ENOUGH_MAIN_DATA),
               "(Ru3Dud) info: Decoder - not enough main data present");
  EXPECT_STREQ(MP3GetStatusText(SSC_DEC_BUFFER_TOO_SMALL), "(Ru3Dud) error: Decoder - buffer is too small");
}

TEST(Mp3decInterface, StatusClasses) {
  EXPECT_TRUE(SSC_SUCCESS(SSC_OK));
  EXPECT_TRUE(SSC_SUCCESS(SSC_INFO_NOT_ENOUGH_MAIN_DATA));
  EXPECT_FALSE(SSC_SUCCESS(SSC_SYNC_EOF));
  EXPECT_FALSE(SSC_SUCCESS(SSC_IO_READ_ERROR));
  EXPECT_FALSE(SSC_SUCCESS(SSC_DEC_WRONG_LAYER));
}

TEST(Mp3decInterface, FactoriesRejectNull) {
  EXPECT_EQ(MP3CreateDecoder(nullptr, 0, 0, 0, 1, 0), 0xC0000001u);
  EXPECT_EQ(MP3CreateDecoderInfo(nullptr), 0xC0000001u);
  MP3Decoder* d = nullptr;
  ASSERT_EQ(MP3CreateDecoder(&d, 0, 0, 0, 1, 0), SSC_OK);
  ASSERT_NE(d, nullptr);
  const MP3FrameInfo* fi = d->GetFrameInfo();
  EXPECT_EQ(fi->layer, 0u);
  EXPECT_EQ(fi->sampleRate, 0u);
  EXPECT_EQ(d->GetFreeInputSpace(), 8192);
  EXPECT_EQ(d->GetBufferedInput(), 0);
  EXPECT_FALSE(d->IsEndOfStream());
  d->Release();
}

TEST(Mp3decInterface, VersionFillsBothHalves) {
  MP3DecoderInfo* i = nullptr;
  ASSERT_EQ(MP3CreateDecoderInfo(&i), SSC_OK);
  char buf[80];
  std::memset(buf, 'x', sizeof(buf));
  i->GetVersion(buf);
  EXPECT_STREQ(buf, "Jul 29 2005 sbr: Jul 29 2005");
  EXPECT_STREQ(buf + 40, "1.4.3 sbr: 3.0");
  i->Release();
}

TEST(Mp3decInterface, MaxFrameOutputConstant) {
  // 576 samples at 8000 Hz, two channels, forced to 44100 Hz, is the largest frame output.
  EXPECT_GE(MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16, 2 * 2 * (576 * 44100 / 8000 + 1));
  EXPECT_GT(MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16, 4608);
  EXPECT_EQ(MP3DEC_MAX_FRAME_OUTPUT_BYTES, 2 * MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16);
}
