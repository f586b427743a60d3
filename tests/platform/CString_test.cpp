#include "platform/CString.h"

#include <gtest/gtest.h>

#include <string>

// Literals are CP932 at run time: "ソ" is 83 5C and "表" is 95 5C, whose second bytes are
// the backslash; "ア" is 83 41, whose second byte is the letter "A".

TEST(CStringBytes, LiteralsAreCp932) {
    EXPECT_EQ(CString("ソ").str(), std::string("\x83\x5C"));
    EXPECT_EQ(CString("表").str(), std::string("\x95\x5C"));
    EXPECT_EQ(CString("見出し").GetLength(), 6);
}

TEST(CStringFind, NeverMatchesInsideADoubleByteCharacter) {
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
}

TEST(CStringFind, StartPositionAndSubstrings) {
    CString s("a,b,,c");
    EXPECT_EQ(s.Find(','), 1);
    EXPECT_EQ(s.Find(',', 2), 3);
    EXPECT_EQ(s.Find(",,"), 3);
    EXPECT_EQ(s.Find(',', 5), -1);
    EXPECT_EQ(s.Find("c", 99), -1);
    EXPECT_EQ(s.ReverseFind(','), 4);
    EXPECT_EQ(CString("見出し見出し").Find("出し", 3), 8);
}

TEST(CStringCut, LeftMidRightCountBytes) {
    CString s("abcdef");
    EXPECT_EQ(s.Left(-1), "");
    EXPECT_EQ(s.Left(99), "abcdef");
    EXPECT_EQ(s.Mid(2, 3), "cde");
    EXPECT_EQ(s.Mid(5, 10), "f");
    EXPECT_EQ(s.Mid(6), "");
    EXPECT_EQ(s.Right(2), "ef");
    EXPECT_EQ(s.Right(99), "abcdef");
    EXPECT_EQ(CString("見出し").Left(4), "見出");
    EXPECT_EQ(CString("見出し").Right(2), "し");
}

TEST(CStringCompare, CaseAndOrder) {
    EXPECT_EQ(CString("abc").Compare("abc"), 0);
    EXPECT_LT(CString("abc").Compare("abd"), 0);
    EXPECT_GT(CString("b").Compare("abc"), 0);
    EXPECT_LT(CString("ab").Compare("abc"), 0);
    EXPECT_EQ(CString("NCC.HTML").CompareNoCase("ncc.html"), 0);
    EXPECT_NE(CString("NCC.HTML").CompareNoCase("ncc.htm"), 0);
    EXPECT_GT(CString("a\xFC\x40").Compare("a"), 0);  // bytes compare unsigned
    EXPECT_EQ(CString("").CompareNoCase(""), 0);
}

TEST(CStringCompare, NoCaseLeavesSecondBytesAlone) {
    // 83 41 ("ア") and 83 61 ("ヂ") differ only by what would be the case of a letter.
    EXPECT_NE(CString("ア").CompareNoCase("ヂ"), 0);
    EXPECT_EQ(CString("aア").CompareNoCase("Aア"), 0);
    // A lead byte cut off at the end is not the whole character.
    EXPECT_LT(CString("\x83").CompareNoCase("ソ"), 0);
    EXPECT_GT(CString("ソ").CompareNoCase("\x83"), 0);
}

TEST(CStringCase, UpperAndLowerTouchOnlySingleByteLetters) {
    CString s("ヂaB");
    s.MakeUpper();
    EXPECT_EQ(s, "ヂAB");
    s.MakeLower();
    EXPECT_EQ(s, "ヂab");
    CString a("アx");
    a.MakeLower();
    EXPECT_EQ(a, "アx");
}

TEST(CStringTrim, BlanksAndCharacters) {
    CString s(" \t見出し \r\n");
    s.Trim();
    EXPECT_EQ(s, "見出し");
    CString l("  x "), r(" x  ");
    EXPECT_EQ(l.TrimLeft(), "x ");
    EXPECT_EQ(r.TrimRight(), " x");
    CString all("   ");
    EXPECT_TRUE(all.Trim().IsEmpty());
    // A trailing "\" that is the second byte of "ソ" is part of the character.
    CString path("dir\\ソ");
    path.TrimRight('\\');
    EXPECT_EQ(path, "dir\\ソ");
    CString folder("ソ\\\\");
    folder.TrimRight('\\');
    EXPECT_EQ(folder, "ソ");
    CString quoted("\"x\"");
    EXPECT_EQ(quoted.Trim('"'), "x");
    // The full-width space is a character, not a blank.
    CString wide("　x　");
    EXPECT_EQ(wide.Trim(), "　x　");
}

TEST(CStringReplace, WholeCharactersOnly) {
    CString s("ソ\\表\\");
    EXPECT_EQ(s.Replace('\\', '/'), 2);
    EXPECT_EQ(s, "ソ/表/");
    CString t("ソ\\表\\");
    EXPECT_EQ(t.Replace("\\", "/"), 2);
    EXPECT_EQ(t, "ソ/表/");
    CString u("a,,b,,");
    EXPECT_EQ(u.Replace(",,", ","), 2);
    EXPECT_EQ(u, "a,b,");
    CString v("abc");
    EXPECT_EQ(v.Replace("", "x"), 0);
    EXPECT_EQ(v.Replace("b", ""), 1);
    EXPECT_EQ(v, "ac");
    CString w("ソ\\x\\");
    EXPECT_EQ(w.Remove('\\'), 2);
    EXPECT_EQ(w, "ソx");
}

TEST(CStringFormat, PrintfRules) {
    CString s;
    s.Format("SEC%06d.sec", 12);
    EXPECT_EQ(s, "SEC000012.sec");
    s.Format("%d=%d,%s,%d", 1, 0, "見出し", -5);
    EXPECT_EQ(s, "1=0,見出し,-5");
    s.AppendFormat("|%u", 4294967295u);
    EXPECT_EQ(s, "1=0,見出し,-5|4294967295");
    EXPECT_EQ(CString::Formatted("%s", ""), "");
    // Longer than any small internal buffer.
    std::string big(5000, 'x');
    s.Format("[%s]", big.c_str());
    EXPECT_EQ(s.GetLength(), 5002);
    EXPECT_EQ(s.Right(2), "x]");
}

TEST(CStringBasics, EmptyLengthInsertDelete) {
    CString s;
    EXPECT_TRUE(s.IsEmpty());
    s = CString("ab") + 'c' + "d";
    EXPECT_EQ(s.GetLength(), 4);
    EXPECT_EQ(s.Insert(1, "XY"), 6);
    EXPECT_EQ(s.Delete(1, 2), 4);
    EXPECT_EQ(s.Delete(3, 10), 3);
    EXPECT_EQ(s, "abc");
    s.Empty();
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(CString(static_cast<const char*>(nullptr)), "");
}
