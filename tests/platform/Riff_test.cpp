#include "platform/Riff.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string Le32(uint32_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                       static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
}

std::string U8(const char8_t* s) { return std::string(reinterpret_cast<const char*>(s)); }

class RiffTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/korvane-riff-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
    }
    std::string Sys(const std::string& name) const { return m_root + "/" + name; }
    CString P(const char* name) const { return CString(m_root) + "/" + name; }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(Sys(name), std::ios::binary) << bytes;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(Sys(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::unique_ptr<CRiffFile> OpenRead(const char* name) const {
        int error = -1;
        auto file = CRiffFile::Open(P(name), RiffOpenMode::Read, error);
        EXPECT_EQ(error, kRiffOk);
        return file;
    }

    std::string m_root;
};

// RIFF "TEST": "odd1" (3 bytes + pad), LIST "INFO" { "name" 2 bytes }, "last" 4 bytes.
std::string Nested() {
    const std::string body = "TEST" + std::string("odd1") + Le32(3) + std::string("abc\0", 4) + "LIST" + Le32(14) +
                             "INFO" + "name" + Le32(2) + "xy" + "last" + Le32(4) + "1234";
    return "RIFF" + Le32(static_cast<uint32_t>(body.size())) + body;
}

}  // namespace

TEST_F(RiffTest, CreatedChunksGetTheirSizesAndPadByte) {
    int error = -1;
    auto file = CRiffFile::Open(P("made.bin"), RiffOpenMode::Create, error);
    ASSERT_TRUE(file);
    RiffChunk riff, odd, list, name, last;
    riff.formType = RiffFourCC('T', 'E', 'S', 'T');
    ASSERT_EQ(file->CreateChunk(riff, kRiffCreateRiff), kRiffOk);
    odd.id = RiffFourCC('o', 'd', 'd', '1');
    ASSERT_EQ(file->CreateChunk(odd, 0), kRiffOk);
    ASSERT_EQ(file->Write("abc", 3), 3);
    ASSERT_EQ(file->Ascend(odd), kRiffOk);
    EXPECT_EQ(odd.size, 3u);
    list.formType = RiffFourCC('I', 'N', 'F', 'O');
    ASSERT_EQ(file->CreateChunk(list, kRiffCreateList), kRiffOk);
    name.id = RiffFourCC('n', 'a', 'm', 'e');
    ASSERT_EQ(file->CreateChunk(name, 0), kRiffOk);
    ASSERT_EQ(file->Write("xy", 2), 2);
    ASSERT_EQ(file->Ascend(name), kRiffOk);
    ASSERT_EQ(file->Ascend(list), kRiffOk);
    // A size declared up front is kept when the data matches it.
    last.id = RiffFourCC('l', 'a', 's', 't');
    last.size = 4;
    ASSERT_EQ(file->CreateChunk(last, 0), kRiffOk);
    ASSERT_EQ(file->Write("1234", 4), 4);
    ASSERT_EQ(file->Ascend(last), kRiffOk);
    ASSERT_EQ(file->Ascend(riff), kRiffOk);
    EXPECT_EQ(file->Close(), kRiffOk);
    EXPECT_EQ(Read("made.bin"), Nested());
}

TEST_F(RiffTest, CloseFinishesChunksLeftOpen) {
    int error = -1;
    auto file = CRiffFile::Open(P("open.bin"), RiffOpenMode::Create, error);
    ASSERT_TRUE(file);
    RiffChunk riff, data;
    riff.formType = RiffFourCC('W', 'A', 'V', 'E');
    ASSERT_EQ(file->CreateChunk(riff, kRiffCreateRiff), kRiffOk);
    data.id = RiffFourCC('d', 'a', 't', 'a');
    ASSERT_EQ(file->CreateChunk(data, 0), kRiffOk);
    ASSERT_EQ(file->Write("12345", 5), 5);
    EXPECT_EQ(file->Close(), kRiffOk);
    EXPECT_EQ(Read("open.bin"), "RIFF" + Le32(18) + "WAVE" + "data" + Le32(5) + std::string("12345\0", 6));
    EXPECT_EQ(file->Close(), kRiffErrCannotClose);
}

TEST_F(RiffTest, DescendSearchesWithinTheParent) {
    Write("nested.bin", Nested() + "tail" + Le32(0));
    auto file = OpenRead("nested.bin");
    ASSERT_TRUE(file);
    RiffChunk riff, chunk, list;
    riff.formType = RiffFourCC('T', 'E', 'S', 'T');
    ASSERT_EQ(file->Descend(riff, nullptr, kRiffFindRiff), kRiffOk);
    EXPECT_EQ(riff.dataOffset, 8);
    EXPECT_EQ(file->Tell(), 12);  // after the form type

    // Without a flag the chunk at the position is entered; ascending skips its pad.
    ASSERT_EQ(file->Descend(chunk, &riff, 0), kRiffOk);
    EXPECT_EQ(chunk.size, 3u);
    ASSERT_EQ(file->Ascend(chunk), kRiffOk);
    EXPECT_EQ(file->Tell(), 12 + 8 + 4);

    // Past the list to the last chunk.
    chunk.id = RiffFourCC('l', 'a', 's', 't');
    ASSERT_EQ(file->Descend(chunk, &riff, kRiffFindChunk), kRiffOk);
    EXPECT_EQ(chunk.size, 4u);
    char bytes[5] = {};
    EXPECT_EQ(file->Read(bytes, 4), 4);
    EXPECT_STREQ(bytes, "1234");

    // A chunk after the parent's end is not inside it; the position stays.
    file->Seek(12, SEEK_SET);
    chunk.id = RiffFourCC('t', 'a', 'i', 'l');
    EXPECT_EQ(file->Descend(chunk, &riff, kRiffFindChunk), kRiffErrChunkNotFound);
    EXPECT_EQ(file->Tell(), 12);
    // A chunk of the list is not found from the level above it.
    chunk.id = RiffFourCC('n', 'a', 'm', 'e');
    EXPECT_EQ(file->Descend(chunk, &riff, kRiffFindChunk), kRiffErrChunkNotFound);

    list.formType = RiffFourCC('I', 'N', 'F', 'O');
    ASSERT_EQ(file->Descend(list, &riff, kRiffFindList), kRiffOk);
    ASSERT_EQ(file->Descend(chunk, &list, kRiffFindChunk), kRiffOk);
    EXPECT_EQ(file->Read(bytes, 2), 2);
    EXPECT_EQ(std::string(bytes, 2), "xy");
    ASSERT_EQ(file->Ascend(chunk), kRiffOk);
    ASSERT_EQ(file->Ascend(list), kRiffOk);
    // Without a flag the chunk at the position is entered.
    ASSERT_EQ(file->Descend(chunk, &riff, 0), kRiffOk);
    EXPECT_EQ(chunk.id, RiffFourCC('l', 'a', 's', 't'));
}

TEST_F(RiffTest, ToleratesChunksLargerThanTheFileAndTruncatedHeaders) {
    Write("short.bin", "RIFF" + Le32(1000) + "WAVE" + "data" + Le32(500) + "abcd");
    auto file = OpenRead("short.bin");
    ASSERT_TRUE(file);
    RiffChunk riff, data, missing;
    riff.formType = RiffFourCC('W', 'A', 'V', 'E');
    ASSERT_EQ(file->Descend(riff, nullptr, kRiffFindRiff), kRiffOk);
    data.id = RiffFourCC('d', 'a', 't', 'a');
    ASSERT_EQ(file->Descend(data, &riff, kRiffFindChunk), kRiffOk);
    EXPECT_EQ(data.size, 500u);
    char buffer[600];
    EXPECT_EQ(file->Read(buffer, 500), 4);
    EXPECT_EQ(file->Read(buffer, 500), 0);
    // Ascending past the end is allowed; searching from there finds nothing.
    EXPECT_EQ(file->Ascend(data), kRiffOk);
    missing.id = RiffFourCC('n', 'o', 'n', 'e');
    EXPECT_EQ(file->Descend(missing, &riff, kRiffFindChunk), kRiffErrChunkNotFound);

    Write("cut.bin", "RIFF" + Le32(100) + "WAVE" + "fm");
    auto cut = OpenRead("cut.bin");
    ASSERT_TRUE(cut);
    ASSERT_EQ(cut->Descend(riff, nullptr, kRiffFindRiff), kRiffOk);
    EXPECT_EQ(cut->Descend(missing, &riff, 0), kRiffErrChunkNotFound);
    EXPECT_EQ(cut->Tell(), 12);
}

TEST_F(RiffTest, OpenFailuresAndNames) {
    int error = 0;
    EXPECT_FALSE(CRiffFile::Open(P("missing.wav"), RiffOpenMode::Read, error));
    EXPECT_EQ(error, kRiffErrFileNotFound);
    EXPECT_FALSE(CRiffFile::Open(P("no/such/folder.wav"), RiffOpenMode::Create, error));
    EXPECT_EQ(error, kRiffErrPathNotFound);
    EXPECT_FALSE(CRiffFile::Open(CString(m_root), RiffOpenMode::Read, error));
    EXPECT_FALSE(CRiffFile::Open(CString(), RiffOpenMode::Read, error));
    // A lead byte without its second byte is no character at all.
    EXPECT_FALSE(CRiffFile::Open(P("bad\x81"), RiffOpenMode::Create, error));
    EXPECT_EQ(error, kRiffErrCannotOpen);

    // A Japanese name (with 0x5C as a second byte) lands on disk in UTF-8.
    auto file = CRiffFile::Open(P("表ソ.wav"), RiffOpenMode::Create, error);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Write("x", 1), 1);
    EXPECT_EQ(file->Close(), kRiffOk);
    EXPECT_TRUE(std::filesystem::exists(Sys(U8(u8"表ソ.wav"))));
    EXPECT_TRUE(CRiffFile::Open(P("表ソ.wav"), RiffOpenMode::Read, error));
}

TEST_F(RiffTest, OffsetsBeyondFourGigabytes) {
    // A sparse file: nothing is written before the far offset.
    int error = 0;
    auto file = CRiffFile::Open(P("big.bin"), RiffOpenMode::Create, error);
    ASSERT_TRUE(file);
    const int64_t far = (int64_t{5} << 30) + 3;
    ASSERT_EQ(file->Seek(far, SEEK_SET), far);
    RiffChunk chunk;
    chunk.id = RiffFourCC('f', 'a', 'r', ' ');
    ASSERT_EQ(file->CreateChunk(chunk, 0), kRiffOk);
    EXPECT_EQ(chunk.dataOffset, far + 8);
    ASSERT_EQ(file->Write("z", 1), 1);
    ASSERT_EQ(file->Ascend(chunk), kRiffOk);
    EXPECT_EQ(file->Tell(), far + 10);
    ASSERT_EQ(file->Close(), kRiffOk);

    auto back = OpenRead("big.bin");
    ASSERT_TRUE(back);
    ASSERT_EQ(back->Seek(far, SEEK_SET), far);
    RiffChunk found;
    ASSERT_EQ(back->Descend(found, nullptr, 0), kRiffOk);
    EXPECT_EQ(found.size, 1u);
    EXPECT_EQ(found.dataOffset, far + 8);
    EXPECT_EQ(back->Seek(0, SEEK_END), far + 10);
}
