#include "platform/PrivateProfile.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/FileSystem.h"
#include "platform/TextFile.h"

namespace {

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/korvane-pp-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_root = tmpl;
        m_file = CString(m_root) + "/Korvane.ncc";
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
    }
    // Written behind the layer's back, as another program would.
    void Put(const CString& text) { std::ofstream(m_root + "/Korvane.ncc", std::ios::binary) << text.str(); }
    std::string Get() const {
        std::ifstream in(m_root + "/Korvane.ncc", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    CString S(const char* section, const char* key, const char* def = "?") const {
        return GetPrivateProfileString(section, key, def, m_file);
    }
    int I(const char* section, const char* key, int def = 777) const {
        return GetPrivateProfileInt(section, key, def, m_file);
    }
    std::string m_root;
    CString m_file;
};

}  // namespace

TEST_F(ProfileTest, NamesMatchWithoutCaseOrBlanks) {
    Put("[Format]\r\nCompression=3\r\n  [ BookInfo ]  \r\n  Title  =  本の 題名  \r\n");
    EXPECT_EQ(S("Format", "Compression"), "3");
    EXPECT_EQ(S("FORMAT", "compression"), "3");
    EXPECT_EQ(S(" format ", " COMPRESSION "), "3");
    EXPECT_EQ(S("bookinfo", "title"), "本の 題名");
    EXPECT_EQ(S("Format", "Title"), "?");      // keys belong to their own section
    EXPECT_EQ(S("Missing", "Title"), "?");
}

TEST_F(ProfileTest, SecondBytesAreNeitherFoldedNorBrackets) {
    // "ゾ" is 83 5D: its second byte is "]". "ア" (83 41) and "ヂ" (83 61) differ only in
    // what would be the case of a letter.
    Put("[ゾーン]\r\nア=1\r\nヂ=2\r\n");
    EXPECT_EQ(S("ゾーン", "ア"), "1");
    EXPECT_EQ(S("ゾーン", "ヂ"), "2");
}

TEST_F(ProfileTest, FirstOfDuplicateKeysWins) {
    Put("[Section]\r\n1=first\r\n1=second\r\n[Other]\r\n2=x\r\n[section]\r\n1=third\r\n3=later\r\n");
    EXPECT_EQ(S("Section", "1"), "first");
    EXPECT_EQ(S("Section", "3"), "later");  // a repeated section adds to the first
}

TEST_F(ProfileTest, ValuesLoseBlanksAndMatchingQuotes) {
    Put("[S]\nq1=\"quoted\"\nq2=' spaced '\nq3=\"half'\nq4=\"\nq5=a=b=c\nq6=\nq7=  \t\nq8=x \"y\" z\n"
        "no equals sign\n=nameless\n");
    EXPECT_EQ(S("S", "q1"), "quoted");
    EXPECT_EQ(S("S", "q2"), " spaced ");
    EXPECT_EQ(S("S", "q3"), "\"half'");
    EXPECT_EQ(S("S", "q4"), "\"");
    EXPECT_EQ(S("S", "q5"), "a=b=c");
    EXPECT_EQ(S("S", "q6"), "");  // present but empty: not the default
    EXPECT_EQ(S("S", "q7"), "");
    EXPECT_EQ(S("S", "q8"), "x \"y\" z");
    EXPECT_EQ(S("S", "no equals sign"), "?");
}

TEST_F(ProfileTest, KeysBeforeTheFirstSectionBelongToNone) {
    Put("Loose=1\n[S]\nKey=2");  // and no line end at the end of the file
    EXPECT_EQ(S("S", "Loose"), "?");
    EXPECT_EQ(S("", "Loose"), "?");
    EXPECT_EQ(S("S", "Key"), "2");
}

TEST_F(ProfileTest, DefaultsForMissingFilesAndKeys) {
    EXPECT_EQ(GetPrivateProfileString("S", "K", "dflt  ", CString(m_root) + "/none.ini"), "dflt");
    EXPECT_EQ(GetPrivateProfileInt("Format", "SamplePerSec", 22050, CString(m_root) + "/none.ini"), 22050);
    EXPECT_EQ(GetPrivateProfileString("S", "K", "d", CString(m_root) + "/bad\x83.ini"), "d");
    EXPECT_EQ(GetPrivateProfileString("S", "K", "d", CString(m_root)), "d");  // a folder
}

TEST_F(ProfileTest, ValuesAreCutToTheCallersSize) {
    std::string longValue(5000, 'v');
    Put(CString("[S]\r\nlong=") + longValue.c_str() + "\r\nkanji=あいう\r\n");
    EXPECT_EQ(S("S", "long").GetLength(), kProfileValueMax);
    EXPECT_EQ(GetPrivateProfileString("S", "long", "", m_file, 10), "vvvvvvvvvv");
    EXPECT_EQ(GetPrivateProfileString("S", "kanji", "", m_file, 5), "あい");  // never half a character
    EXPECT_EQ(GetPrivateProfileString("S", "kanji", "", m_file, 0), "");
    EXPECT_EQ(GetPrivateProfileString("S", "none", "default", m_file, 3), "def");
}

TEST_F(ProfileTest, IntegersReadLikeAtoi) {
    Put("[N]\na=  -12abc\nb=+7\nc=abc\nd=\ne=4294967295\nf=-2147483648\ng=\"42\"\nh=0012\ni=- 5\nj=2147483648\n");
    EXPECT_EQ(I("N", "a"), -12);
    EXPECT_EQ(I("N", "b"), 7);
    EXPECT_EQ(I("N", "c"), 0);
    EXPECT_EQ(I("N", "d"), 777);  // empty: the default
    EXPECT_EQ(I("N", "missing"), 777);
    EXPECT_EQ(I("N", "e"), -1);   // the 32-bit pattern comes back
    EXPECT_EQ(I("N", "f"), INT_MIN);
    EXPECT_EQ(I("N", "g"), 42);
    EXPECT_EQ(I("N", "h"), 12);
    EXPECT_EQ(I("N", "i"), 0);
    EXPECT_EQ(I("N", "j"), INT_MIN);
}

TEST_F(ProfileTest, WritingKeepsTheOtherLines) {
    ASSERT_TRUE(WritePrivateProfileString("Format", "Compression", "1", m_file));
    EXPECT_EQ(Get(), "[Format]\r\nCompression=1\r\n");
    ASSERT_TRUE(WritePrivateProfileString("format", "SamplePerSec", "22050", m_file));
    ASSERT_TRUE(WritePrivateProfileString("BookInfo", "Title", "題名", m_file));
    EXPECT_EQ(Get(), CString("[Format]\r\nCompression=1\r\nSamplePerSec=22050\r\n[BookInfo]\r\nTitle=題名\r\n").str());
    ASSERT_TRUE(WritePrivateProfileString("FORMAT", "compression", "4", m_file));
    EXPECT_EQ(I("Format", "Compression"), 4);
    EXPECT_EQ(S("BookInfo", "Title"), "題名");
    EXPECT_EQ(Get(), CString("[Format]\r\ncompression=4\r\nSamplePerSec=22050\r\n[BookInfo]\r\nTitle=題名\r\n").str());
}

TEST_F(ProfileTest, WritingIntoAHandMadeFile) {
    Put("; comment\n[A]\nx=1\n\n[B]\ny=2");
    ASSERT_TRUE(WritePrivateProfileString("A", "z", "3", m_file));
    ASSERT_TRUE(WritePrivateProfileString("B", "w", "4", m_file));
    // New lines end in CR LF; the old ones keep their own ends, and a missing one is added.
    EXPECT_EQ(Get(), "; comment\n[A]\nx=1\nz=3\r\n\n[B]\ny=2\r\nw=4\r\n");
    ASSERT_TRUE(WritePrivateProfileString("B", "Y", "5", m_file));
    EXPECT_EQ(Get(), "; comment\n[A]\nx=1\nz=3\r\n\n[B]\nY=5\r\nw=4\r\n");

    ASSERT_TRUE(SetFileReadOnly(m_file, true));
    EXPECT_FALSE(WritePrivateProfileString("A", "x", "9", m_file));
    EXPECT_EQ(S("A", "x"), "1");
    EXPECT_FALSE(WritePrivateProfileString("A", "x", "9", CString(m_root) + "/no/such.ini"));
}

TEST_F(ProfileTest, ChangedFilesAreReadAgain) {
    Put("[S]\nk=1\n");
    EXPECT_EQ(S("S", "k"), "1");
    // Same size, written at once: the time stamp alone may not show the change.
    Put("[S]\nk=2\n");
    EXPECT_EQ(S("S", "k"), "2");
    CTextFile f;
    ASSERT_TRUE(f.Open(m_file, CTextFile::modeCreateWrite));
    f.WriteString("[S]\nk=3\n");
    ASSERT_TRUE(f.Close());
    EXPECT_EQ(S("S", "k"), "3");
    ::usleep(120000);  // long enough for the file to count as settled
    EXPECT_EQ(S("S", "k"), "3");
    ASSERT_TRUE(DeleteFileAt(m_file));
    EXPECT_EQ(S("S", "k"), "?");
    Put("[S]\nk=4\n");
    EXPECT_EQ(S("S", "k"), "4");
}

TEST_F(ProfileTest, ManySectionsReadKeyByKey) {
    // The shape of a large project: one key per section, read alternately with a section file.
    CTextFile f;
    ASSERT_TRUE(f.Open(m_file, CTextFile::modeCreateWriteExclusive));
    f.WriteString("[BookInfo]\nSectionCount=20000\n[Section]\n");
    for (int n = 1; n <= 20000; ++n) f.WriteString(CString::Formatted("%d=%d,見出し%d,1,0,,,\n", n, n % 6, n));
    ASSERT_TRUE(f.Close());
    const CString sec = CString(m_root) + "/SEC000001.sec";
    ASSERT_TRUE(WritePrivateProfileString("Section", "SectionTime", "96000", sec));

    CProfile profile;
    profile.SetProfileFile(m_file);
    EXPECT_EQ(profile.GetProfileFile(), m_file);
    ASSERT_EQ(profile.GetProfileInt("BookInfo", "SectionCount", 0), 20000);
    for (int n = 1; n <= 20000; ++n) {
        ASSERT_EQ(profile.GetProfileString("Section", CString::Formatted("%d", n)),
                  CString::Formatted("%d,見出し%d,1,0,,,", n % 6, n));
        if (n % 1000 == 0) {
            profile.SetProfileFile(sec);
            ASSERT_EQ(profile.GetProfileInt("Section", "SectionTime", 0), 96000);
            profile.SetProfileFile(m_file);
        }
    }
    EXPECT_EQ(profile.GetProfileString("Section", "20001", "none"), "none");
}
