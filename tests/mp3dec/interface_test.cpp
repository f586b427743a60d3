// Status codes, texts, factories, version.
#include <gtest/gtest.h>

#include <cstring>

#include "mp3dec/mp3dec.h"

TEST(Mp3decInterface, StatusTextsClassesAndNullFactories) {
  EXPECT_STREQ(MP3GetStatusText(SSC_OK), "(Ru3Dud) success: no error");
  EXPECT_STREQ(MP3GetStatusText(0x80010004u), "(Ru3Dud) error: I/O - read error");
  EXPECT_STREQ(MP3GetStatusText(SSC_SYNC_EOF), "(Ru3Dud) warning: Decoder - sync eof");
  EXPECT_STREQ(MP3GetStatusText(SSC_INFO_NOT_ENOUGH_MAIN_DATA),
               "(Ru3Dud) info: Decoder - not enough main data present");
  EXPECT_STREQ(MP3GetStatusText(0x12345678u), "(Ru3Dud) unknown SSC");
  // Information codes are successes; warnings and errors are not.
  EXPECT_TRUE(SSC_SUCCESS(SSC_INFO_NOT_ENOUGH_MAIN_DATA));
  EXPECT_FALSE(SSC_SUCCESS(SSC_SYNC_EOF));
  EXPECT_FALSE(SSC_SUCCESS(SSC_DEC_WRONG_LAYER));
  EXPECT_EQ(MP3CreateDecoder(nullptr, 0, 0, 0, 1, 0), 0xC0000001u);
  EXPECT_EQ(MP3CreateDecoderInfo(nullptr), 0xC0000001u);
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
