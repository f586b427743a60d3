#include "platform/CString.h"

#include <gtest/gtest.h>

#include <string>

// Literals are CP932 at run time: "ソ" is 83 5C and "表" is 95 5C, whose second bytes are
// the backslash; "ア" is 83 41, whose second byte is the letter "A".

TEST(CStringFind, NeverMatchesInsideADoubleByteCharacter) {
    EXPECT_EQ(CString("ソ").str(), std::string("\x83\x5C"));
    CString s("ソ表\\x");
    EXPECT_EQ(s.Find('\\'), 4);
    EXPECT_EQ(s.ReverseFind('\\'), 4);
    EXPECT_EQ(s.Find("\\"), 4);
    EXPECT_EQ(s.FindOneOf("/\\"), 4);
    EXPECT_EQ(CString("ソ表").Find('\\'), -1);
    EXPECT_EQ(CString("ソ表").ReverseFind('\\'), -1);
    EXPECT_EQ(CString("ア").Find('A'), -1);
    EXPECT_EQ(CString("ア").Find("A"), -1);
    // "\x5C\x83" would straddle the two characters "ソ" and "ソ".
    EXPECT_EQ(CString("ソソ").Find("\x5C\x83"), -1);
    EXPECT_EQ(CString("見出し見出し").Find("出し", 3), 8);
    EXPECT_EQ(CString("a,b,,c").Find("c", 99), -1);
}

TEST(CStringCut, LeftMidRightCountBytes) {
    CString s("abcdef");
    EXPECT_EQ(s.Left(-1), "");
    EXPECT_EQ(s.Mid(2, 3), "cde");
    EXPECT_EQ(s.Mid(5, 10), "f");
    EXPECT_EQ(s.Right(99), "abcdef");
    EXPECT_EQ(CString("見出し").Left(4), "見出");
}

TEST(CStringCompare, UnsignedBytesAndCaseOfSingleByteLettersOnly) {
    EXPECT_LT(CString("ab").Compare("abc"), 0);
    EXPECT_GT(CString("a\xFC\x40").Compare("a"), 0);  // bytes compare unsigned
    EXPECT_EQ(CString("NCC.HTML").CompareNoCase("ncc.html"), 0);
    // 83 41 ("ア") and 83 61 ("ヂ") differ only by what would be the case of a letter.
    EXPECT_NE(CString("ア").CompareNoCase("ヂ"), 0);
    EXPECT_EQ(CString("aア").CompareNoCase("Aア"), 0);
    // A lead byte cut off at the end is not the whole character.
    EXPECT_LT(CString("\x83").CompareNoCase("ソ"), 0);
    CString s("ヂアaB");
    EXPECT_EQ(s.MakeUpper(), "ヂアAB");
    EXPECT_EQ(s.MakeLower(), "ヂアab");
}

TEST(CStringEdit, TrimAndReplaceTakeWholeCharacters) {
    CString s(" \t見出し \r\n");
    EXPECT_EQ(s.Trim(), "見出し");
    // A trailing "\" that is the second byte of "ソ" is part of the character.
    CString path("dir\\ソ");
    EXPECT_EQ(path.TrimRight('\\'), "dir\\ソ");
    CString folder("ソ\\\\");
    EXPECT_EQ(folder.TrimRight('\\'), "ソ");
    // The full-width space is a character, not a blank.
    CString wide("　x　");
    EXPECT_EQ(wide.Trim(), "　x　");

    CString t("ソ\\表\\");
    EXPECT_EQ(t.Replace('\\', '/'), 2);
    EXPECT_EQ(t, "ソ/表/");
    CString u("ソ\\表\\,,");
    EXPECT_EQ(u.Replace("\\", "/"), 2);
    EXPECT_EQ(u.Replace(",,", ","), 1);
    EXPECT_EQ(u.Replace("", "x"), 0);
    EXPECT_EQ(u, "ソ/表/,");
    CString w("ソ\\x\\");
    EXPECT_EQ(w.Remove('\\'), 2);
    EXPECT_EQ(w, "ソx");
}

TEST(CStringFormat, PrintfRulesWithoutALengthLimit) {
    CString s;
    s.Format("SEC%06d.sec|%s|%u", 12, "見出し", 4294967295u);
    EXPECT_EQ(s, "SEC000012.sec|見出し|4294967295");
    s.AppendFormat("|%d", -5);
    EXPECT_EQ(s.Right(3), "|-5");
    const std::string big(5000, 'x');  // longer than any small internal buffer
    s.Format("[%s]", big.c_str());
    EXPECT_EQ(s.GetLength(), 5002);
    EXPECT_EQ(s.Right(2), "x]");
    EXPECT_EQ(CString(static_cast<const char*>(nullptr)), "");
}
