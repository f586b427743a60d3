#include "platform/Riff.h"

#include <sys/stat.h>

#include <cerrno>
#include <limits>
#include <string>

#include "platform/CodePage.h"

namespace {

// Big enough that one second of 44100 Hz audio costs a couple of system calls.
constexpr size_t kBufferBytes = 64 * 1024;

uint32_t GetLe32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutLe32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

int OpenErrorFromErrno(int err, RiffOpenMode mode) {
    switch (err) {
    case ENOENT:
        // Reading, the file is missing; creating, a folder on the way is.
        return mode == RiffOpenMode::Read ? kRiffErrFileNotFound : kRiffErrPathNotFound;
    case ENOTDIR:
        return kRiffErrPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return kRiffErrAccessDenied;
    case EMFILE:
    case ENFILE:
        return kRiffErrTooManyOpenFiles;
    case ENOMEM:
        return kRiffErrOutOfMemory;
    default:
        return kRiffErrCannotOpen;
    }
}

}  // namespace

std::unique_ptr<CRiffFile> CRiffFile::Open(const CString& path, RiffOpenMode mode, int& error) {
    std::string native;
    if (!Cp932ToUtf8Strict(path, native) || native.empty()) {
        error = kRiffErrCannotOpen;
        return nullptr;
    }
    std::FILE* file = std::fopen(native.c_str(), mode == RiffOpenMode::Read ? "rb" : "w+b");
    if (!file) {
        error = OpenErrorFromErrno(errno, mode);
        return nullptr;
    }
    // A folder opens for reading on Linux; as a WAV file it is as unusable as on any
    // system that refuses it at the open.
    struct stat st {};
    if (fstat(fileno(file), &st) != 0 || S_ISDIR(st.st_mode)) {
        std::fclose(file);
        error = kRiffErrAccessDenied;
        return nullptr;
    }
    std::setvbuf(file, nullptr, _IOFBF, kBufferBytes);
    error = kRiffOk;
    return std::unique_ptr<CRiffFile>(new CRiffFile(file));
}

CRiffFile::~CRiffFile() {
    Close();
}

int CRiffFile::Close() {
    if (!m_file) return kRiffErrCannotClose;
    bool ok = PatchOpenChunks();
    ok = std::fflush(m_file) == 0 && ok;
    ok = std::fclose(m_file) == 0 && ok;
    m_file = nullptr;
    return ok ? kRiffOk : kRiffErrCannotClose;
}

int64_t CRiffFile::Read(void* buffer, int64_t count) {
    if (!m_file || count < 0) return -1;
    std::clearerr(m_file);
    size_t got = std::fread(buffer, 1, static_cast<size_t>(count), m_file);
    if (got == 0 && std::ferror(m_file)) return -1;
    return static_cast<int64_t>(got);
}

int64_t CRiffFile::Write(const void* buffer, int64_t count) {
    if (!m_file || count < 0) return -1;
    std::clearerr(m_file);
    size_t put = std::fwrite(buffer, 1, static_cast<size_t>(count), m_file);
    if (put == 0 && count > 0) return -1;
    return static_cast<int64_t>(put);
}

int64_t CRiffFile::Seek(int64_t offset, int origin) {
    if (!m_file) return -1;
    if (fseeko(m_file, static_cast<off_t>(offset), origin) != 0) return -1;
    return Tell();
}

int64_t CRiffFile::Tell() const {
    if (!m_file) return -1;
    return static_cast<int64_t>(ftello(m_file));
}

int CRiffFile::Flush() {
    if (!m_file) return kRiffErrCannotWrite;
    return std::fflush(m_file) == 0 ? kRiffOk : kRiffErrCannotWrite;
}

bool CRiffFile::ReadExact(void* buffer, size_t count) {
    return std::fread(buffer, 1, count, m_file) == count;
}

bool CRiffFile::WriteU32At(int64_t offset, uint32_t value) {
    unsigned char bytes[4];
    PutLe32(bytes, value);
    return fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) == 0 &&
           std::fwrite(bytes, 1, 4, m_file) == 4;
}

int CRiffFile::Descend(RiffChunk& chunk, const RiffChunk* parent, unsigned flags) {
    if (!m_file) return kRiffErrCannotRead;
    const int64_t start = Tell();
    if (start < 0) return kRiffErrCannotSeek;
    const int64_t end = parent ? parent->dataOffset + parent->size : std::numeric_limits<int64_t>::max();

    int64_t pos = start;
    while (pos <= end - 8) {
        if (fseeko(m_file, static_cast<off_t>(pos), SEEK_SET) != 0) break;
        unsigned char header[8];
        if (!ReadExact(header, sizeof header)) break;
        const uint32_t id = GetLe32(header);
        const uint32_t size = GetLe32(header + 4);
        const bool hasForm = id == kRiffIdRiff || id == kRiffIdList;
        uint32_t form = 0;
        if (hasForm) {
            unsigned char type[4];
            if (!ReadExact(type, sizeof type)) break;
            form = GetLe32(type);
        }

        bool match;
        if (flags & kRiffFindRiff)
            match = id == kRiffIdRiff && form == chunk.formType;
        else if (flags & kRiffFindList)
            match = id == kRiffIdList && form == chunk.formType;
        else if (flags & kRiffFindChunk)
            match = id == chunk.id;
        else
            match = true;
        if (match) {
            chunk.id = id;
            chunk.size = size;
            chunk.formType = form;
            chunk.dataOffset = pos + 8;
            chunk.dirty = false;
            return kRiffOk;
        }
        pos += 8 + static_cast<int64_t>(size) + (size & 1);
    }
    fseeko(m_file, static_cast<off_t>(start), SEEK_SET);
    return kRiffErrChunkNotFound;
}

int CRiffFile::Ascend(RiffChunk& chunk) {
    if (!m_file) return kRiffErrCannotSeek;
    if (chunk.dirty) {
        int result = FinishChunk(chunk.dataOffset, Tell(), chunk.size);
        if (result != kRiffOk) return result;
        chunk.dirty = false;
        // Chunks opened inside this one and not ascended stay as written.
        while (!m_open.empty() && m_open.back() >= chunk.dataOffset) m_open.pop_back();
    }
    const int64_t next = chunk.dataOffset + chunk.size + (chunk.size & 1);
    return fseeko(m_file, static_cast<off_t>(next), SEEK_SET) == 0 ? kRiffOk : kRiffErrCannotSeek;
}

int CRiffFile::FinishChunk(int64_t dataOffset, int64_t end, uint32_t& size) {
    if (end < dataOffset) return kRiffErrCannotSeek;
    const int64_t length = end - dataOffset;
    // The size field is 32 bits; what does not fit cannot be described.
    if (length > std::numeric_limits<uint32_t>::max()) return kRiffErrCannotWrite;
    if (length & 1) {
        const unsigned char pad = 0;
        if (fseeko(m_file, static_cast<off_t>(end), SEEK_SET) != 0 || std::fwrite(&pad, 1, 1, m_file) != 1)
            return kRiffErrCannotWrite;
    }
    if (!WriteU32At(dataOffset - 4, static_cast<uint32_t>(length))) return kRiffErrCannotWrite;
    size = static_cast<uint32_t>(length);
    return kRiffOk;
}

bool CRiffFile::PatchOpenChunks() {
    bool ok = true;
    while (!m_open.empty()) {
        const int64_t dataOffset = m_open.back();
        m_open.pop_back();
        uint32_t size = 0;
        ok = fseeko(m_file, 0, SEEK_END) == 0 && FinishChunk(dataOffset, Tell(), size) == kRiffOk && ok;
    }
    return ok;
}

int CRiffFile::CreateChunk(RiffChunk& chunk, unsigned flags) {
    if (!m_file) return kRiffErrCannotWrite;
    if (flags & kRiffCreateRiff)
        chunk.id = kRiffIdRiff;
    else if (flags & kRiffCreateList)
        chunk.id = kRiffIdList;
    const bool hasForm = (flags & (kRiffCreateRiff | kRiffCreateList)) != 0;

    const int64_t pos = Tell();
    if (pos < 0) return kRiffErrCannotSeek;
    unsigned char header[12];
    PutLe32(header, chunk.id);
    PutLe32(header + 4, chunk.size);
    PutLe32(header + 8, chunk.formType);
    const size_t length = hasForm ? 12 : 8;
    if (std::fwrite(header, 1, length, m_file) != length) return kRiffErrCannotWrite;
    chunk.dataOffset = pos + 8;
    chunk.dirty = true;
    m_open.push_back(chunk.dataOffset);
    return kRiffOk;
}
