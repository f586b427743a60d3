#include <gtest/gtest.h>

#include "platform/FontMap.h"

TEST(FontMap, OriginalFacesMapToTheIpaFontsOfTheSameMetrics) {
    EXPECT_EQ(MapFontFace("ＭＳＰ ゴシック"), "IPAPGothic");
    EXPECT_EQ(MapFontFace("ＭＳ ゴシック"), "IPAGothic");
    // Near misses are other faces and pass unchanged.
    for (const char* other : {"ＭＳＰゴシック", "ＭＳ  ゴシック", "ＭＳ 明朝", ""}) EXPECT_EQ(MapFontFace(other), other) << other;
}
