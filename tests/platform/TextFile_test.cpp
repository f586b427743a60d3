#include "platform/TextFile.h"

#include <unistd.h>

#include <vector>

#include "TempFolder.h"
#include "platform/FileSystem.h"

namespace {

class TextFileTest : public TempFolderTest {
protected:
    std::vector<std::string> Lines(const char* rel) const {
        CTextFile f;
        std::vector<std::string> lines;
        EXPECT_TRUE(f.Open(P(rel), CTextFile::modeRead));
        for (CString line; f.ReadString(line);) lines.push_back(line.str());
        return lines;
    }
};

}  // namespace

TEST_F(TextFileTest, NewlinesAreWrittenAsCrLfAndReadBackAsLf) {
    const std::string longLine(200000, 'x');
    CTextFile f;
    ASSERT_TRUE(f.Open(P("k.ncc"), CTextFile::modeCreateWriteExclusive));
    EXPECT_TRUE(f.WriteString("1=0,見出し,0,0,,,\n"));
    EXPECT_TRUE(f.WriteString("ソ表"));
    EXPECT_TRUE(f.WriteString("\n\nx\r\n"));  // a CR already there stays, as text mode does
    EXPECT_TRUE(f.WriteString(CString(longLine) + "\n"));
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(Read(Sys(u8"k.ncc")), CString("1=0,見出し,0,0,,,\r\nソ表\r\n\r\nx\r\r\n").str() + longLine + "\r\n");
    EXPECT_EQ(Lines("k.ncc"), (std::vector<std::string>{CString("1=0,見出し,0,0,,,").str(), CString("ソ表").str(),
                                                         "", "x\r", longLine}));

    Write(Sys(u8"in.txt"), std::string("l1\r\nl2\nl3\rX\r\n\r\n") + CString("ソ\\").str() + "\nlast");
    EXPECT_EQ(Lines("in.txt"), (std::vector<std::string>{"l1", "l2", "l3\rX", "", CString("ソ\\").str(), "last"}));
}

TEST_F(TextFileTest, OpenModes) {
    CTextFile f;
    EXPECT_FALSE(f.Open(P("missing.txt"), CTextFile::modeRead));
    EXPECT_FALSE(f.Open(P("bad\x83.txt"), CTextFile::modeCreateWrite));
    Write(Sys(u8"old.txt"), "old contents");
    EXPECT_FALSE(f.Open(P("old.txt"), CTextFile::modeCreateWriteExclusive));
    // A read-only file is not opened for writing, whoever runs the program.
    ASSERT_TRUE(SetFileReadOnly(P("old.txt"), true));
    EXPECT_FALSE(f.Open(P("old.txt"), CTextFile::modeCreateWrite));
    EXPECT_EQ(Read(Sys(u8"old.txt")), "old contents");
    // Writing a file opened for reading is refused.
    ASSERT_TRUE(f.Open(P("old.txt"), CTextFile::modeRead));
    EXPECT_FALSE(f.WriteString("x"));
}

TEST_F(TextFileTest, AFullDiskIsAFailureAtClose) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    CTextFile f;
    ASSERT_TRUE(f.Open("/dev/full", CTextFile::modeCreateWrite));
    f.WriteString("a line that cannot be stored\n");
    EXPECT_FALSE(f.Close());
    CBinaryFile b;
    ASSERT_TRUE(b.Open("/dev/full", CBinaryFile::modeReadWrite));
    b.Write("data", 4);
    EXPECT_FALSE(b.Close());
}

TEST_F(TextFileTest, BinaryFileSeeksBeyond32BitsAndPatchesInPlace) {
    CBinaryFile f;
    ASSERT_TRUE(f.Open(P("a.wav"), CBinaryFile::modeCreateExclusive));
    ASSERT_TRUE(f.Write("RIFF\0\0\0\0WAVE", 12));
    const int64_t far = (5ll << 30) + 3;
    EXPECT_EQ(f.Seek(far, CBinaryFile::begin), far);
    ASSERT_TRUE(f.Write("end", 3));
    EXPECT_EQ(f.GetLength(), far + 3);
    EXPECT_EQ(f.Seek(-3, CBinaryFile::end), far);
    char buf[12] = {};
    EXPECT_EQ(f.Read(buf, 3), 3u);
    EXPECT_EQ(std::string(buf, 3), "end");
    // Patch a size field in place, then read on: switching directions needs no seek here.
    EXPECT_EQ(f.Seek(4, CBinaryFile::begin), 4);
    ASSERT_TRUE(f.Write("\x10\x00\x00\x00", 4));
    EXPECT_EQ(f.Read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "WAVE");
    EXPECT_TRUE(f.Close());
    ASSERT_TRUE(f.Open(P("a.wav"), CBinaryFile::modeRead));
    EXPECT_EQ(f.Read(buf, 12), 12u);
    EXPECT_EQ(std::string(buf, 12), std::string("RIFF\x10\0\0\0WAVE", 12));
}
