#pragma once
// RIFF files (WAV) on buffered files with 64-bit offsets, in the shape the audio code
// is written against: open, descend into a chunk (searching within its parent),
// ascend out of it, create chunks whose sizes are patched on the way out, and plain
// read, write and seek in between.
//
// Tolerances kept on purpose, because recordings from other programs rely on them: a
// chunk may claim more bytes than the file holds (reads then come back short), and a
// search simply ends at the end of the file or of the parent chunk.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/CString.h"

// Four-character chunk codes, stored as they appear in the file (little-endian).
constexpr uint32_t RiffFourCC(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<unsigned char>(a)) |
           static_cast<uint32_t>(static_cast<unsigned char>(b)) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(c)) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(d)) << 24;
}
inline constexpr uint32_t kRiffIdRiff = RiffFourCC('R', 'I', 'F', 'F');
inline constexpr uint32_t kRiffIdList = RiffFourCC('L', 'I', 'S', 'T');

// Result codes. The values are those the audio code was written against (262, the
// cannot-write code, is reported by the WAV writer as is).
enum RiffError : int {
    kRiffOk = 0,
    kRiffErrFileNotFound = 257,
    kRiffErrOutOfMemory = 258,
    kRiffErrCannotOpen = 259,
    kRiffErrCannotClose = 260,
    kRiffErrCannotRead = 261,
    kRiffErrCannotWrite = 262,
    kRiffErrCannotSeek = 263,
    kRiffErrChunkNotFound = 265,
    kRiffErrPathNotFound = 267,
    kRiffErrAccessDenied = 268,
    kRiffErrTooManyOpenFiles = 271,
};

// Descend flags: what to search for from the current position. Without a flag the
// chunk at the current position is entered whatever it is.
enum RiffDescendFlags : unsigned {
    kRiffFindChunk = 0x10,  // a chunk whose id is `RiffChunk::id`
    kRiffFindRiff = 0x20,   // a "RIFF" chunk whose form type is `RiffChunk::formType`
    kRiffFindList = 0x40,   // a "LIST" chunk whose form type is `RiffChunk::formType`
};
// Create flags.
enum RiffCreateFlags : unsigned {
    kRiffCreateRiff = 0x20,  // a "RIFF" chunk with `RiffChunk::formType`
    kRiffCreateList = 0x40,  // a "LIST" chunk with `RiffChunk::formType`
};

// One chunk as found or created.
struct RiffChunk {
    uint32_t id = 0;
    uint32_t size = 0;          // bytes of data, form type included for RIFF and LIST
    uint32_t formType = 0;      // RIFF and LIST only
    int64_t dataOffset = 0;     // file offset of the first data byte
    bool dirty = false;         // created here: its size is patched when it is ascended
};

enum class RiffOpenMode {
    Read,    // an existing file, read only
    Create,  // create or truncate, read and write
};

class CRiffFile {
public:
    // Opens `path` (CP932, "/" separators). On failure returns null and sets `error`
    // to one of the codes above; a path that cannot be represented on disk fails as a
    // file that cannot be opened.
    static std::unique_ptr<CRiffFile> Open(const CString& path, RiffOpenMode mode, int& error);

    // Closes as Close() does, without a result to report.
    ~CRiffFile();
    CRiffFile(const CRiffFile&) = delete;
    CRiffFile& operator=(const CRiffFile&) = delete;

    // Gives every chunk created here and not ascended its size (up to the end of the
    // file), flushes and closes; 0 or kRiffErrCannotClose. A file whose writer stopped
    // half-way is still a file that readers can walk.
    int Close();

    // Byte counts actually transferred, or -1 on an error of the file.
    int64_t Read(void* buffer, int64_t count);
    int64_t Write(const void* buffer, int64_t count);
    // Origin as for fseek (SEEK_SET, SEEK_CUR, SEEK_END); the new position or -1.
    int64_t Seek(int64_t offset, int origin);
    int64_t Tell() const;
    int Flush();

    // Searches from the current position, within `parent` when given, and leaves the
    // position at the chunk's first data byte (after the form type of a RIFF or LIST
    // chunk). Not found: kRiffErrChunkNotFound, and the position is where it was.
    int Descend(RiffChunk& chunk, const RiffChunk* parent, unsigned flags);
    // Moves past the chunk and its pad byte. A chunk created here gets its real size
    // written and, when that is odd, a zero pad byte.
    int Ascend(RiffChunk& chunk);
    // Writes a chunk header at the current position (with the form type for RIFF and
    // LIST) and leaves the position at the first data byte.
    int CreateChunk(RiffChunk& chunk, unsigned flags);

private:
    explicit CRiffFile(std::FILE* file) : m_file(file) {}
    bool ReadExact(void* buffer, size_t count);
    bool WriteU32At(int64_t offset, uint32_t value);
    // Writes the size of the chunk whose data runs from `dataOffset` to `end`, and its
    // pad byte when that size is odd.
    int FinishChunk(int64_t dataOffset, int64_t end, uint32_t& size);
    bool PatchOpenChunks();

    std::FILE* m_file;
    std::vector<int64_t> m_open;  // data offsets of created chunks not yet ascended
};
