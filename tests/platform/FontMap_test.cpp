#include <gtest/gtest.h>

#include "platform/FontMap.h"

TEST(FontMap, OriginalFacesMapToTheIpaFontsOfTheSameMetrics) {
    EXPECT_EQ(MapFontFace("ＭＳＰ ゴシック"), "IPAPGothic");
    EXPECT_EQ(MapFontFace("ＭＳ ゴシック"), "IPAGothic");
    // Near misses are other faces and pass unchanged.
    for (const char* other : {"ＭＳＰゴシック", "ＭＳゴシック", "ＭＳ  ゴシック", "ＭＳ 明朝", "", "IPAGothic"})
        EXPECT_EQ(MapFontFace(other), other) << other;
}

TEST(FontMap, PixelHeightsBecomeExactPointSizes) {
    EXPECT_DOUBLE_EQ(PointSizeForPixels(12), 9.0);
    EXPECT_DOUBLE_EQ(PointSizeForPixels(14), 10.5);
    EXPECT_DOUBLE_EQ(PointSizeForPixels(18), 13.5);
    EXPECT_DOUBLE_EQ(PointSizeForPixels(24), 18.0);
}
