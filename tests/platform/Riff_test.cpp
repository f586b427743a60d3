#include "platform/Riff.h"

#include "TempFolder.h"

namespace {

std::string Le32(uint32_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                       static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
}

RiffChunk Chunk(const char (&id)[5], bool form = false) {
    RiffChunk c;
    (form ? c.formType : c.id) = RiffFourCC(id[0], id[1], id[2], id[3]);
    return c;
}

// RIFF "TEST": "odd1" (3 bytes + pad), LIST "INFO" { "name" 2 bytes }, "last" 4 bytes.
std::string Nested() {
    const std::string body = "TEST" + std::string("odd1") + Le32(3) + std::string("abc\0", 4) + "LIST" + Le32(14) +
                             "INFO" + "name" + Le32(2) + "xy" + "last" + Le32(4) + "1234";
    return "RIFF" + Le32(static_cast<uint32_t>(body.size())) + body;
}

class RiffTest : public TempFolderTest {
protected:
    std::unique_ptr<CRiffFile> Open(const char* name, RiffOpenMode mode = RiffOpenMode::Read) const {
        int error = -1;
        auto file = CRiffFile::Open(P(name), mode, error);
        EXPECT_EQ(error, kRiffOk);
        return file;
    }
};

}  // namespace

TEST_F(RiffTest, CreatedChunksGetTheirSizesAndPadByteAndCloseFinishesOpenOnes) {
    auto file = Open("made.bin", RiffOpenMode::Create);
    ASSERT_TRUE(file);
    RiffChunk riff = Chunk("TEST", true), odd = Chunk("odd1"), list = Chunk("INFO", true), name = Chunk("name");
    RiffChunk last = Chunk("last");
    ASSERT_EQ(file->CreateChunk(riff, kRiffCreateRiff), kRiffOk);
    ASSERT_EQ(file->CreateChunk(odd, 0), kRiffOk);
    ASSERT_EQ(file->Write("abc", 3), 3);
    ASSERT_EQ(file->Ascend(odd), kRiffOk);
    EXPECT_EQ(odd.size, 3u);
    ASSERT_EQ(file->CreateChunk(list, kRiffCreateList), kRiffOk);
    ASSERT_EQ(file->CreateChunk(name, 0), kRiffOk);
    ASSERT_EQ(file->Write("xy", 2), 2);
    ASSERT_EQ(file->Ascend(name), kRiffOk);
    ASSERT_EQ(file->Ascend(list), kRiffOk);
    ASSERT_EQ(file->CreateChunk(last, 0), kRiffOk);
    ASSERT_EQ(file->Write("1234", 4), 4);
    EXPECT_EQ(file->Close(), kRiffOk);  // "last" and the RIFF chunk are still open
    EXPECT_EQ(Read(Sys(u8"made.bin")), Nested());
    EXPECT_EQ(file->Close(), kRiffErrCannotClose);
}

TEST_F(RiffTest, DescendSearchesWithinTheParent) {
    Write(Sys(u8"nested.bin"), Nested() + "tail" + Le32(0));
    auto file = Open("nested.bin");
    ASSERT_TRUE(file);
    RiffChunk riff = Chunk("TEST", true), chunk, list = Chunk("INFO", true);
    ASSERT_EQ(file->Descend(riff, nullptr, kRiffFindRiff), kRiffOk);
    EXPECT_EQ(file->Tell(), 12);  // after the form type

    // Without a flag the chunk at the position is entered; ascending skips its pad.
    ASSERT_EQ(file->Descend(chunk, &riff, 0), kRiffOk);
    EXPECT_EQ(chunk.size, 3u);
    ASSERT_EQ(file->Ascend(chunk), kRiffOk);
    EXPECT_EQ(file->Tell(), 12 + 8 + 4);

    // A chunk after the parent's end is not inside it, nor a chunk of the list from the
    // level above it; the position stays.
    for (const char* id : {"tail", "name"}) {
        chunk.id = RiffFourCC(id[0], id[1], id[2], id[3]);
        EXPECT_EQ(file->Descend(chunk, &riff, kRiffFindChunk), kRiffErrChunkNotFound) << id;
        EXPECT_EQ(file->Tell(), 24);
    }
    ASSERT_EQ(file->Descend(list, &riff, kRiffFindList), kRiffOk);
    ASSERT_EQ(file->Descend(chunk, &list, kRiffFindChunk), kRiffOk);
    char bytes[4] = {};
    EXPECT_EQ(file->Read(bytes, 2), 2);
    EXPECT_EQ(std::string(bytes, 2), "xy");
    ASSERT_EQ(file->Ascend(chunk), kRiffOk);
    ASSERT_EQ(file->Ascend(list), kRiffOk);
    chunk = Chunk("last");
    ASSERT_EQ(file->Descend(chunk, &riff, kRiffFindChunk), kRiffOk);
    EXPECT_EQ(file->Read(bytes, 4), 4);
    EXPECT_EQ(std::string(bytes, 4), "1234");
}

TEST_F(RiffTest, ChunksLargerThanTheFileReadShortAndTruncatedHeadersAreNotFound) {
    Write(Sys(u8"short.bin"), "RIFF" + Le32(1000) + "WAVE" + "data" + Le32(500) + "abcd");
    auto file = Open("short.bin");
    RiffChunk riff = Chunk("WAVE", true), data = Chunk("data"), missing = Chunk("none");
    ASSERT_EQ(file->Descend(riff, nullptr, kRiffFindRiff), kRiffOk);
    ASSERT_EQ(file->Descend(data, &riff, kRiffFindChunk), kRiffOk);
    EXPECT_EQ(data.size, 500u);
    char buffer[600];
    EXPECT_EQ(file->Read(buffer, 500), 4);
    EXPECT_EQ(file->Ascend(data), kRiffOk);  // past the end is allowed
    EXPECT_EQ(file->Descend(missing, &riff, kRiffFindChunk), kRiffErrChunkNotFound);

    Write(Sys(u8"cut.bin"), "RIFF" + Le32(100) + "WAVE" + "fm");
    auto cut = Open("cut.bin");
    ASSERT_EQ(cut->Descend(riff, nullptr, kRiffFindRiff), kRiffOk);
    EXPECT_EQ(cut->Descend(missing, &riff, 0), kRiffErrChunkNotFound);
    EXPECT_EQ(cut->Tell(), 12);
}

TEST_F(RiffTest, OpenFailuresAndJapaneseNames) {
    int error = 0;
    EXPECT_FALSE(CRiffFile::Open(P("missing.wav"), RiffOpenMode::Read, error));
    EXPECT_EQ(error, kRiffErrFileNotFound);
    EXPECT_FALSE(CRiffFile::Open(P("no/such/folder.wav"), RiffOpenMode::Create, error));
    EXPECT_EQ(error, kRiffErrPathNotFound);
    EXPECT_FALSE(CRiffFile::Open(P("bad\x81"), RiffOpenMode::Create, error));
    EXPECT_EQ(error, kRiffErrCannotOpen);
    // A name with 0x5C as a second byte lands on disk in UTF-8.
    ASSERT_TRUE(Open("表ソ.wav", RiffOpenMode::Create));
    EXPECT_TRUE(std::filesystem::exists(Sys(u8"表ソ.wav")));
}

TEST_F(RiffTest, OffsetsBeyondFourGigabytes) {
    auto file = Open("big.bin", RiffOpenMode::Create);  // sparse: nothing before the far offset
    const int64_t far = (int64_t{5} << 30) + 3;
    ASSERT_EQ(file->Seek(far, SEEK_SET), far);
    RiffChunk chunk = Chunk("far ");
    ASSERT_EQ(file->CreateChunk(chunk, 0), kRiffOk);
    EXPECT_EQ(chunk.dataOffset, far + 8);
    ASSERT_EQ(file->Write("z", 1), 1);
    ASSERT_EQ(file->Ascend(chunk), kRiffOk);
    ASSERT_EQ(file->Close(), kRiffOk);

    auto back = Open("big.bin");
    ASSERT_EQ(back->Seek(far, SEEK_SET), far);
    RiffChunk found;
    ASSERT_EQ(back->Descend(found, nullptr, 0), kRiffOk);
    EXPECT_EQ(found.size, 1u);
    EXPECT_EQ(found.dataOffset, far + 8);
    EXPECT_EQ(back->Seek(0, SEEK_END), far + 10);
}
