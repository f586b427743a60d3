#include "platform/TextFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace {

class TextFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/korvane-tf-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_root = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
    }
    CString P(const char* rel) const { return CString(m_root) + "/" + rel; }
    std::string Sys(const char* rel) const { return m_root + "/" + rel; }
    static void Write(const std::string& sysPath, const std::string& bytes) {
        std::ofstream(sysPath, std::ios::binary) << bytes;
    }
    static std::string Read(const std::string& sysPath) {
        std::ifstream in(sysPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::string> Lines(const CString& path) {
        CTextFile f;
        std::vector<std::string> lines;
        EXPECT_TRUE(f.Open(path, CTextFile::modeRead));
        CString line;
        while (f.ReadString(line)) lines.push_back(line.str());
        EXPECT_TRUE(f.Close());
        return lines;
    }
    std::string m_root;
};

}  // namespace

TEST_F(TextFileTest, EveryNewlineIsWrittenAsCrLf) {
    CTextFile f;
    ASSERT_TRUE(f.Open(P("k.ncc"), CTextFile::modeCreateWriteExclusive));
    EXPECT_TRUE(f.WriteString("[Format]\n"));
    EXPECT_TRUE(f.WriteString("1=0,見出し,0,0,,,\n"));
    EXPECT_TRUE(f.WriteString("ソ表"));
    EXPECT_TRUE(f.WriteString("\n\nx\r\n"));  // a CR already there stays, as text mode does
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(Read(Sys("k.ncc")), CString("[Format]\r\n1=0,見出し,0,0,,,\r\nソ表\r\n\r\nx\r\r\n").str());
}

TEST_F(TextFileTest, LinesEndAtLfWithOrWithoutCr) {
    Write(Sys("in.txt"), std::string("l1\r\nl2\nl3\rX\r\n\r\n") + CString("ソ\\").str() + "\nlast");
    EXPECT_EQ(Lines(P("in.txt")),
              (std::vector<std::string>{"l1", "l2", "l3\rX", "", CString("ソ\\").str(), "last"}));
    Write(Sys("empty.txt"), "");
    EXPECT_TRUE(Lines(P("empty.txt")).empty());
    Write(Sys("one.txt"), "\r\n");
    EXPECT_EQ(Lines(P("one.txt")), (std::vector<std::string>{""}));
}

TEST_F(TextFileTest, WrittenTextReadsBack) {
    std::string longLine(200000, 'x');
    CTextFile out;
    ASSERT_TRUE(out.Open(P("t.txt"), CTextFile::modeCreateWrite));
    out.WriteString("a\n");
    out.WriteString(CString(longLine) + "\n");
    out.WriteString("表\n");
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(Lines(P("t.txt")), (std::vector<std::string>{"a", longLine, CString("表").str()}));
}

TEST_F(TextFileTest, OpenModes) {
    CTextFile f;
    EXPECT_FALSE(f.Open(P("missing.txt"), CTextFile::modeRead));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_FALSE(f.Open(P("no/folder.txt"), CTextFile::modeCreateWrite));
    EXPECT_FALSE(f.Open(P("bad\x83.txt"), CTextFile::modeCreateWrite));

    Write(Sys("old.txt"), "old contents");
    EXPECT_FALSE(f.Open(P("old.txt"), CTextFile::modeCreateWriteExclusive));
    EXPECT_EQ(Read(Sys("old.txt")), "old contents");
    ASSERT_TRUE(f.Open(P("old.txt"), CTextFile::modeCreateWrite));
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(Read(Sys("old.txt")), "");

    // A read-only file is not opened for writing, whoever runs the program.
    Write(Sys("ro.txt"), "keep");
    ASSERT_TRUE(SetFileReadOnly(P("ro.txt"), true));
    EXPECT_FALSE(f.Open(P("ro.txt"), CTextFile::modeCreateWrite));
    EXPECT_EQ(Read(Sys("ro.txt")), "keep");

    // Reading a file opened for writing, and the other way round, is refused.
    CString line;
    ASSERT_TRUE(f.Open(P("w.txt"), CTextFile::modeCreateWrite));
    EXPECT_FALSE(f.ReadString(line));
    f.Close();
    ASSERT_TRUE(f.Open(P("w.txt"), CTextFile::modeRead));
    EXPECT_FALSE(f.WriteString("x"));
    EXPECT_TRUE(f.Close());
    EXPECT_TRUE(f.Close());  // closing twice is harmless
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

TEST_F(TextFileTest, BinaryFileSeeksBeyond32Bits) {
    CBinaryFile f;
    ASSERT_TRUE(f.Open(P("a.wav"), CBinaryFile::modeCreateExclusive));
    ASSERT_TRUE(f.Write("RIFF\0\0\0\0WAVE", 12));
    const int64_t far = (5ll << 30) + 3;
    EXPECT_EQ(f.Seek(far, CBinaryFile::begin), far);
    ASSERT_TRUE(f.Write("end", 3));
    EXPECT_EQ(f.GetLength(), far + 3);
    EXPECT_EQ(f.GetPosition(), far + 3);
    EXPECT_EQ(f.Seek(-3, CBinaryFile::end), far);
    char buf[4] = {};
    EXPECT_EQ(f.Read(buf, 3), 3u);
    EXPECT_EQ(std::string(buf, 3), "end");
    EXPECT_EQ(f.Read(buf, 3), 0u);  // at the end
    // Patch a size field in place, then read on: switching directions needs no seek here.
    EXPECT_EQ(f.Seek(4, CBinaryFile::begin), 4);
    ASSERT_TRUE(f.Write("\x10\x00\x00\x00", 4));
    EXPECT_EQ(f.Read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "WAVE");
    EXPECT_TRUE(f.Close());

    ASSERT_TRUE(f.Open(P("a.wav"), CBinaryFile::modeRead));
    char head[12];
    EXPECT_EQ(f.Read(head, 12), 12u);
    EXPECT_EQ(std::string(head, 12), std::string("RIFF\x10\0\0\0WAVE", 12));
    EXPECT_FALSE(f.Write("x", 1));
    EXPECT_EQ(f.Seek(-1, CBinaryFile::begin), -1);
    f.Close();

    EXPECT_FALSE(f.Open(P("a.wav"), CBinaryFile::modeCreateExclusive));
    EXPECT_FALSE(f.Open(P("missing.wav"), CBinaryFile::modeReadWrite));
}
