#include "platform/PrivateProfile.h"

#include <unistd.h>

#include <climits>

#include "TempFolder.h"
#include "platform/FileSystem.h"
#include "platform/TextFile.h"

namespace {

class ProfileTest : public TempFolderTest {
protected:
    // Written behind the layer's back, as another program would.
    void Put(const CString& text) const { Write(Sys(u8"Korvane.ncc"), text.str()); }
    std::string Get() const { return Read(Sys(u8"Korvane.ncc")); }
    CString S(const char* section, const char* key) const { return GetPrivateProfileString(section, key, "?", File()); }
    CString File() const { return P("Korvane.ncc"); }
};

}  // namespace

TEST_F(ProfileTest, ReadingRules) {
    // "ゾ" is 83 5D: its second byte is "]". "ア" (83 41) and "ヂ" (83 61) differ only in
    // what would be the case of a letter.
    Put("Loose=1\r\n[Format]\r\nCompression=3\r\n  [ BookInfo ]  \r\n  Title  =  本の 題名  \r\n"
        "[ゾーン]\r\nア=1\r\nヂ=2\r\n[Dup]\r\n1=first\r\n1=second\r\n[dup]\r\n1=third\r\n3=later\r\n"
        "[S]\nq1=\"quoted\"\nq2=' spaced '\nq3=\"half'\nq4=\"\nq5=a=b=c\nq6=\nq7=  \t\nq8=x \"y\" z\n"
        "no equals sign\n=nameless\nlast=end");  // and no line end at the end of the file
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"Format", "Compression", "3"}, {" FORMAT ", " compression ", "3"}, {"bookinfo", "title", "本の 題名"},
        {"Format", "Title", "?"},  // keys belong to their own section
        {"Missing", "Title", "?"}, {"S", "Loose", "?"}, {"", "Loose", "?"},  // before the first section: none
        {"ゾーン", "ア", "1"},     {"ゾーン", "ヂ", "2"},
        {"Dup", "1", "first"},     {"Dup", "3", "later"},  // a repeated section adds to the first
        {"S", "q1", "quoted"},     {"S", "q2", " spaced "}, {"S", "q3", "\"half'"}, {"S", "q4", "\""},
        {"S", "q5", "a=b=c"},      {"S", "q6", ""},  // present but empty: not the default
        {"S", "q7", ""},           {"S", "q8", "x \"y\" z"}, {"S", "no equals sign", "?"}, {"S", "last", "end"},
    };
    for (const auto& c : cases) EXPECT_EQ(S(c.section, c.key), c.value) << c.section << "/" << c.key;
}

TEST_F(ProfileTest, DefaultsAndValuesCutToTheCallersSize) {
    EXPECT_EQ(GetPrivateProfileString("S", "K", "dflt  ", P("none.ini")), "dflt");
    EXPECT_EQ(GetPrivateProfileInt("Format", "SamplePerSec", 22050, P("none.ini")), 22050);
    EXPECT_EQ(GetPrivateProfileString("S", "K", "d", P("bad\x83.ini")), "d");
    EXPECT_EQ(GetPrivateProfileString("S", "K", "d", CString(root)), "d");  // a folder

    Put(CString("[S]\r\nlong=") + std::string(5000, 'v').c_str() + "\r\nkanji=あいう\r\n");
    EXPECT_EQ(S("S", "long").GetLength(), kProfileValueMax);
    EXPECT_EQ(GetPrivateProfileString("S", "long", "", File(), 10), "vvvvvvvvvv");
    EXPECT_EQ(GetPrivateProfileString("S", "kanji", "", File(), 5), "あい");  // never half a character
}

TEST_F(ProfileTest, IntegersReadLikeAtoi) {
    Put("[N]\na=  -12abc\nb=+7\nc=abc\nd=\ne=4294967295\nf=-2147483648\ng=\"42\"\ni=- 5\nj=2147483648\n");
    const std::pair<const char*, int> cases[] = {{"a", -12}, {"b", 7},         {"c", 0},  {"d", 777} /* empty */,
                                                 {"missing", 777}, {"e", -1},  {"f", INT_MIN}, {"g", 42},
                                                 {"i", 0}, {"j", INT_MIN}};
    for (const auto& [key, value] : cases) EXPECT_EQ(GetPrivateProfileInt("N", key, 777, File()), value) << key;
}

TEST_F(ProfileTest, WritingKeepsTheOtherLines) {
    ASSERT_TRUE(WritePrivateProfileString("Format", "Compression", "1", File()));
    ASSERT_TRUE(WritePrivateProfileString("format", "SamplePerSec", "22050", File()));
    ASSERT_TRUE(WritePrivateProfileString("BookInfo", "Title", "題名", File()));
    ASSERT_TRUE(WritePrivateProfileString("FORMAT", "compression", "4", File()));
    EXPECT_EQ(Get(), CString("[Format]\r\ncompression=4\r\nSamplePerSec=22050\r\n[BookInfo]\r\nTitle=題名\r\n").str());

    // In a hand-made file new lines end in CR LF; the old ones keep their own ends, and a
    // missing one is added.
    Put("; comment\n[A]\nx=1\n\n[B]\ny=2");
    ASSERT_TRUE(WritePrivateProfileString("A", "z", "3", File()));
    ASSERT_TRUE(WritePrivateProfileString("B", "w", "4", File()));
    ASSERT_TRUE(WritePrivateProfileString("B", "Y", "5", File()));
    EXPECT_EQ(Get(), "; comment\n[A]\nx=1\nz=3\r\n\n[B]\nY=5\r\nw=4\r\n");

    ASSERT_TRUE(SetFileReadOnly(File(), true));
    EXPECT_FALSE(WritePrivateProfileString("A", "x", "9", File()));
    EXPECT_EQ(S("A", "x"), "1");
    EXPECT_FALSE(WritePrivateProfileString("A", "x", "9", P("no/such.ini")));
}

TEST_F(ProfileTest, ChangedFilesAreReadAgain) {
    Put("[S]\nk=1\n");
    EXPECT_EQ(S("S", "k"), "1");
    // Same size, written at once: the time stamp alone may not show the change.
    Put("[S]\nk=2\n");
    EXPECT_EQ(S("S", "k"), "2");
    CTextFile f;
    ASSERT_TRUE(f.Open(File(), CTextFile::modeCreateWrite));
    f.WriteString("[S]\nk=3\n");
    ASSERT_TRUE(f.Close());
    EXPECT_EQ(S("S", "k"), "3");
    ::usleep(120000);  // long enough for the file to count as settled
    EXPECT_EQ(S("S", "k"), "3");
    ASSERT_TRUE(DeleteFileAt(File()));
    EXPECT_EQ(S("S", "k"), "?");

    // Reading two files in turn, as a project and its section files are read.
    Put("[S]\nk=4\n");
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "5", P("SEC000001.sec")));
    CProfile profile;
    for (int round = 0; round < 2; ++round) {
        profile.SetProfileFile(File());
        EXPECT_EQ(profile.GetProfileInt("S", "k", 0), 4);
        profile.SetProfileFile(P("SEC000001.sec"));
        EXPECT_EQ(profile.GetProfileString("S", "k"), "5");
    }
}
