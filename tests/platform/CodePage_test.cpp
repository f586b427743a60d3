#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <string>

#include <wx/string.h>

namespace {
// u8 literals stay UTF-8 whatever the execution character set is.
std::string U8(const char8_t* s) { return std::string(reinterpret_cast<const char*>(s)); }
CString Bytes(const char* s) { return CString(s); }
}  // namespace

TEST(CodePageText, RoundTripsThroughUtf8AndUtf16) {
    const CString text("見出し ソ表 ｶﾅ abc\\~");
    const std::string utf8 = Cp932ToUtf8(text);
    EXPECT_EQ(utf8, U8(u8"見出し ソ表 ｶﾅ abc\\~"));
    EXPECT_EQ(Utf8ToCp932(utf8), text);
    const std::u16string utf16 = Cp932ToUtf16(text);
    EXPECT_EQ(utf16, u"見出し ソ表 ｶﾅ abc\\~");
    EXPECT_EQ(Utf16ToCp932(utf16), text);
    EXPECT_EQ(ToWx(text), wxString::FromUTF8(utf8));
    EXPECT_EQ(FromWx(ToWx(text)), text);
    EXPECT_EQ(Cp932ToUtf8(CString()), "");
}

TEST(CodePageText, BackslashAndTildeStayAscii) {
    // The Japanese "SHIFT_JIS" tables would give a yen sign and an overline here.
    EXPECT_EQ(Cp932ToUtf8(Bytes("\\")), "\\");
    EXPECT_EQ(Cp932ToUtf8(Bytes("~")), "~");
    EXPECT_EQ(Utf8ToCp932("C:\\x~"), Bytes("C:\\x~"));
}

TEST(CodePageText, InputMethodCodePointsBecomeTheCp932Forms) {
    EXPECT_EQ(Utf8ToCp932(U8(u8"\u301C")).str(), "\x81\x60");
    EXPECT_EQ(Utf8ToCp932(U8(u8"\u2016")).str(), "\x81\x61");
    EXPECT_EQ(Utf8ToCp932(U8(u8"\u2212")).str(), "\x81\x7C");
    EXPECT_EQ(Utf8ToCp932(U8(u8"\u00A2")).str(), "\x81\x91");
    EXPECT_EQ(Utf8ToCp932(U8(u8"\u00A3")).str(), "\x81\x92");
    EXPECT_EQ(Utf8ToCp932(U8(u8"\u00AC")).str(), "\x81\xCA");
    EXPECT_EQ(Utf16ToCp932(u"\u301C\u2212").str(), "\x81\x60\x81\x7C");
    CString strict;
    ASSERT_TRUE(Utf8ToCp932Strict(U8(u8"a\u301Cb"), strict));
    EXPECT_EQ(strict.str(), "a\x81\x60" "b");
    // And what Windows produces for those bytes comes back.
    EXPECT_EQ(Cp932ToUtf8(Bytes("\x81\x60")), U8(u8"\uFF5E"));
}

TEST(CodePageText, ExtensionCharactersSurvive) {
    for (const char8_t* s : {u8"①", u8"Ⅰ", u8"㈱", u8"ⅰ", u8"髙"}) {
        const CString cp = Utf8ToCp932(U8(s));
        EXPECT_EQ(cp.GetLength(), 2) << U8(s);
        EXPECT_EQ(Cp932ToUtf8(cp), U8(s));
    }
    EXPECT_EQ(Utf8ToCp932(U8(u8"①")).str(), "\x87\x40");
    EXPECT_EQ(Utf8ToCp932(U8(u8"Ⅰ")).str(), "\x87\x54");
}

TEST(CodePageText, UnrepresentableTextBecomesQuestionMarks) {
    EXPECT_EQ(Utf8ToCp932(U8(u8"a\u00E9b")), "a?b");
    EXPECT_EQ(Utf8ToCp932(U8(u8"x\U0001F600y")), "x?y");
    EXPECT_EQ(Utf16ToCp932(u"a\xD800" u"b"), "a?b");  // lone surrogate
    EXPECT_EQ(Utf8ToCp932("a\xFF" "b"), "a?b");         // malformed UTF-8
    // Bad CP932 bytes: a lone lead byte at the end, a lead byte before a blank.
    EXPECT_EQ(Cp932ToUtf8(Bytes("ab\x83")), "ab?");
    EXPECT_EQ(Cp932ToUtf8(Bytes("\x83 x")), "? x");
    EXPECT_EQ(Cp932ToUtf16(Bytes("a\x83")), u"a?");
}

TEST(CodePageText, OverlongAndSurrogateUtf8IsMalformed) {
    // An overlong "/" must not become a separator in a name read from the disk.
    EXPECT_EQ(Utf8ToCp932("a\xC0\xAF" "b").Find('/'), -1);
    EXPECT_EQ(Utf8ToCp932("\xE0\x80\xAF").Find('/'), -1);
    EXPECT_EQ(Utf8ToCp932("\xC0\x80").GetLength(), 2);  // no zero byte either: "??"
    EXPECT_EQ(Utf8ToCp932("\xED\xA0\x80"), "???");      // an encoded surrogate
    EXPECT_EQ(Utf8ToCp932("\xF4\x90\x80\x80"), "????");  // above U+10FFFF
    CString out;
    EXPECT_FALSE(Utf8ToCp932Strict("a\xC0\xAF", out));
}

TEST(CodePagePaths, StrictConversionFailsInsteadOfReplacing) {
    std::string utf8;
    EXPECT_TRUE(Cp932ToUtf8Strict(CString("プロジェクト/表.wav"), utf8));
    EXPECT_EQ(utf8, U8(u8"プロジェクト/表.wav"));
    EXPECT_FALSE(Cp932ToUtf8Strict(Bytes("dir/\x83"), utf8));
    EXPECT_FALSE(Cp932ToUtf8Strict(Bytes("\x85\x40"), utf8));  // a lead byte with an unassigned pair
    CString cp;
    EXPECT_TRUE(Utf8ToCp932Strict(U8(u8"ソ/表"), cp));
    EXPECT_EQ(cp, CString("ソ/表"));
    EXPECT_FALSE(Utf8ToCp932Strict(U8(u8"caf\u00E9"), cp));
    EXPECT_FALSE(Utf8ToCp932Strict(U8(u8"\U0001F600"), cp));
}

TEST(CodePageText, LongTextCrossesInternalBuffers) {
    std::string utf8;
    CString cp;
    for (int i = 0; i < 3000; ++i) {
        utf8 += U8(u8"表");
        cp += "表";
    }
    utf8 += U8(u8"é");
    cp += "?";
    EXPECT_EQ(Utf8ToCp932(utf8), cp);
    EXPECT_EQ(Cp932ToUtf8(cp).size(), 3000u * 3 + 1);
}
