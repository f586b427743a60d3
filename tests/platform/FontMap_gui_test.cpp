#include <gtest/gtest.h>

#include <wx/bitmap.h>
#include <wx/dcmemory.h>

#include "WxTestApp.h"
#include "platform/CodePage.h"
#include "platform/FontMap.h"

namespace {

class FontMapGui : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(EnsureWxApp()); }

    // Width of `text` drawn in `font`.
    static int Width(const wxFont& font, const CString& text) {
        wxBitmap bitmap(16, 16);
        wxMemoryDC dc(bitmap);
        dc.SetFont(font);
        return dc.GetTextExtent(ToWx(text)).x;
    }
};

}  // namespace

TEST_F(FontMapGui, FontsOfTheViewGetTheMappedFaceAndWeight) {
    const wxFont button = KvCreateFont(-12, FW_NORMAL, "ＭＳＰ ゴシック");
    EXPECT_EQ(FromWx(button.GetFaceName()), "IPAPGothic");
    EXPECT_EQ(button.GetNumericWeight(), FW_NORMAL);
    const wxFont label = KvCreateFont(14, FW_BOLD, "ＭＳ ゴシック");
    EXPECT_EQ(FromWx(label.GetFaceName()), "IPAGothic");
    EXPECT_EQ(label.GetNumericWeight(), FW_BOLD);
    EXPECT_EQ(KvCreateFont(12, FW_DONTCARE, "ＭＳＰ ゴシック").GetNumericWeight(), FW_NORMAL);
}

TEST_F(FontMapGui, CharactersAreExactlyThePixelHeightWideInTheRealFaces) {
    // A full-width character is one em wide: the em is the height asked for, at every
    // height the view uses.
    for (int height : {12, 14, 18, 24}) {
        EXPECT_EQ(Width(KvCreateFont(-height, FW_NORMAL, "ＭＳ ゴシック"), "あ"), height) << height;
        EXPECT_EQ(Width(KvCreateFont(height, FW_BOLD, "ＭＳ ゴシック"), "ああ"), 2 * height) << height;
        EXPECT_EQ(Width(KvCreateFont(-height, FW_NORMAL, "ＭＳＰ ゴシック"), "　"), height) << height;
    }
    // A substitute face would not keep the fixed pitch of the one and the proportional
    // pitch of the other.
    const wxFont fixed = KvCreateFont(-18, FW_NORMAL, "ＭＳ ゴシック");
    EXPECT_EQ(Width(fixed, "iiii"), Width(fixed, "WWWW"));
    const wxFont proportional = KvCreateFont(-18, FW_NORMAL, "ＭＳＰ ゴシック");
    EXPECT_LT(Width(proportional, "iiii"), Width(proportional, "WWWW"));
}
