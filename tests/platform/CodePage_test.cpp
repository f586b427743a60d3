#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <string>

#include <wx/string.h>

namespace {
// u8 literals stay UTF-8 whatever the execution character set is.
std::string U8(const char8_t* s) { return std::string(reinterpret_cast<const char*>(s)); }
CString Bytes(const char* s) { return CString(s); }
}  // namespace

TEST(CodePageText, RoundTripsKeepingBackslashTildeAndExtensionCharacters) {
    // The Japanese "SHIFT_JIS" tables would give a yen sign and an overline for "\" and "~".
    const CString text("見出し ソ表 ｶﾅ abc\\~ ①Ⅰ㈱ⅰ髙");
    const std::string utf8 = Cp932ToUtf8(text);
    EXPECT_EQ(utf8, U8(u8"見出し ソ表 ｶﾅ abc\\~ ①Ⅰ㈱ⅰ髙"));
    EXPECT_EQ(Utf8ToCp932(utf8), text);
    EXPECT_EQ(Cp932ToUtf16(text), u"見出し ソ表 ｶﾅ abc\\~ ①Ⅰ㈱ⅰ髙");
    EXPECT_EQ(Utf16ToCp932(Cp932ToUtf16(text)), text);
    EXPECT_EQ(FromWx(ToWx(text)), text);
    EXPECT_EQ(Utf8ToCp932(U8(u8"①Ⅰ")).str(), "\x87\x40\x87\x54");
}

TEST(CodePageText, InputMethodCodePointsBecomeTheCp932Forms) {
    const std::pair<const char8_t*, const char*> cases[] = {
        {u8"\u301C", "\x81\x60"}, {u8"\u2016", "\x81\x61"}, {u8"\u2212", "\x81\x7C"},
        {u8"\u00A2", "\x81\x91"}, {u8"\u00A3", "\x81\x92"}, {u8"\u00AC", "\x81\xCA"},
    };
    for (const auto& [utf8, cp932] : cases) EXPECT_EQ(Utf8ToCp932(U8(utf8)).str(), cp932) << cp932;
    EXPECT_EQ(Utf16ToCp932(u"\u301C\u2212").str(), "\x81\x60\x81\x7C");
    // And what Windows produces for those bytes comes back.
    EXPECT_EQ(Cp932ToUtf8(Bytes("\x81\x60")), U8(u8"\uFF5E"));
}

TEST(CodePageText, UnrepresentableOrMalformedTextBecomesQuestionMarks) {
    EXPECT_EQ(Utf8ToCp932(U8(u8"a\u00E9b")), "a?b");
    EXPECT_EQ(Utf8ToCp932(U8(u8"x\U0001F600y")), "x?y");
    EXPECT_EQ(Utf16ToCp932(u"a\xD800" u"b"), "a?b");  // lone surrogate
    // Bad CP932 bytes: a lone lead byte at the end, a lead byte before a blank.
    EXPECT_EQ(Cp932ToUtf8(Bytes("ab\x83")), "ab?");
    EXPECT_EQ(Cp932ToUtf8(Bytes("\x83 x")), "? x");
    // An overlong "/" must not become a separator in a name read from the disk.
    EXPECT_EQ(Utf8ToCp932("a\xC0\xAF" "b").Find('/'), -1);
    EXPECT_EQ(Utf8ToCp932("\xED\xA0\x80"), "???");      // an encoded surrogate
    EXPECT_EQ(Utf8ToCp932("\xF4\x90\x80\x80"), "????");  // above U+10FFFF

    // Long text crosses the internal buffers.
    std::string utf8;
    CString cp;
    for (int i = 0; i < 3000; ++i) {
        utf8 += U8(u8"表");
        cp += "表";
    }
    EXPECT_EQ(Utf8ToCp932(utf8 + U8(u8"é")), cp + "?");
}

TEST(CodePagePaths, StrictConversionFailsInsteadOfReplacing) {
    std::string utf8;
    EXPECT_TRUE(Cp932ToUtf8Strict(CString("プロジェクト/表.wav"), utf8));
    EXPECT_EQ(utf8, U8(u8"プロジェクト/表.wav"));
    EXPECT_FALSE(Cp932ToUtf8Strict(Bytes("dir/\x83"), utf8));
    EXPECT_FALSE(Cp932ToUtf8Strict(Bytes("\x85\x40"), utf8));  // a lead byte with an unassigned pair
    CString cp;
    EXPECT_TRUE(Utf8ToCp932Strict(U8(u8"ソ/表\uFF5E"), cp));
    EXPECT_EQ(cp, CString("ソ/表") + "\x81\x60");
    // Characters that share a CP932 form with another come back as that other one: as a
    // name they would open, list or create another file, so they are no path.
    for (const char8_t* name : {u8"第1\u301C3章.txt", u8"\u2212", u8"\u2016", u8"\u00A2", u8"\u00A3", u8"\u00AC",
                                u8"\u00A5", u8"\u203E"})
        EXPECT_FALSE(Utf8ToCp932Strict(U8(name), cp)) << Cp932ToUtf8(Utf8ToCp932(U8(name)));
    EXPECT_FALSE(Utf8ToCp932Strict(U8(u8"caf\u00E9"), cp));
    EXPECT_FALSE(Utf8ToCp932Strict(U8(u8"\U0001F600"), cp));
    EXPECT_FALSE(Utf8ToCp932Strict("a\xC0\xAF", cp));
}
