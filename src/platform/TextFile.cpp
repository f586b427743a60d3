#include "platform/TextFile.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/FileSystem.h"

namespace {

// The original platform does not open a read-only file for writing; on Linux root could.
bool WritableOrMissing(const std::string& sys) {
    struct stat st;
    return ::stat(sys.c_str(), &st) != 0 || (st.st_mode & S_IWUSR);
}

FILE* OpenSystemFile(const CString& path, const char* mode, bool writing) {
    std::string sys;
    if (!ToSystemPath(path, sys)) return nullptr;
    if (writing && !WritableOrMissing(sys)) return nullptr;
    if (writing) NoteFileChange();
    FILE* f = std::fopen(sys.c_str(), mode);
    if (f) std::setvbuf(f, nullptr, _IOFBF, 1 << 16);
    return f;
}

// Hands the buffered data to the system and closes; false when any of it went wrong.
bool CloseSystemFile(FILE*& f, bool failedBefore) {
    if (!f) return true;
    bool ok = !failedBefore;
    if (std::fflush(f) != 0 || std::ferror(f)) ok = false;
    if (std::fclose(f) != 0) ok = false;
    f = nullptr;
    return ok;
}

}  // namespace

CTextFile::~CTextFile() {
    Close();
    std::free(m_pLine);
}

bool CTextFile::Open(const CString& path, OpenMode mode) {
    Close();
    static const char* const kModes[] = {"rbe", "wbe", "wbxe"};
    m_bWriting = mode != modeRead;
    m_bFailed = false;
    m_file = OpenSystemFile(path, kModes[mode], m_bWriting);
    return m_file != nullptr;
}

bool CTextFile::WriteString(const CString& text) {
    if (!m_file || !m_bWriting) return false;
    if (m_bFailed) return false;
    const char* p = text.c_str();
    const char* end = p + text.GetLength();
    // "\n" (0x0A) is never part of a double-byte character, so a byte scan is safe.
    while (p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        size_t run = static_cast<size_t>((nl ? nl : end) - p);
        if (run && std::fwrite(p, 1, run, m_file) != run) m_bFailed = true;
        if (nl && std::fwrite("\r\n", 1, 2, m_file) != 2) m_bFailed = true;
        p += run + (nl ? 1 : 0);
    }
    return !m_bFailed;
}

bool CTextFile::ReadString(CString& line) {
    if (!m_file || m_bWriting) return false;
    ssize_t n = ::getdelim(&m_pLine, &m_nLineSize, '\n', m_file);
    if (n <= 0) return false;
    size_t len = static_cast<size_t>(n);
    if (m_pLine[len - 1] == '\n') {
        --len;
        if (len > 0 && m_pLine[len - 1] == '\r') --len;
    }
    line = CString(std::string(m_pLine, len));
    return true;
}

bool CTextFile::Close() {
    if (m_file && m_bWriting) NoteFileChange();
    bool ok = CloseSystemFile(m_file, m_bFailed);
    m_bFailed = false;
    return ok;
}

CBinaryFile::~CBinaryFile() { Close(); }

bool CBinaryFile::Open(const CString& path, OpenMode mode) {
    Close();
    static const char* const kModes[] = {"rbe", "r+be", "w+be", "w+bxe"};
    m_bFailed = false;
    m_nLastOp = 0;
    m_bWriting = mode != modeRead;
    m_file = OpenSystemFile(path, kModes[mode], m_bWriting);
    return m_file != nullptr;
}

void CBinaryFile::Switch(int op) {
    if (m_nLastOp != 0 && m_nLastOp != op && ::fseeko(m_file, 0, SEEK_CUR) != 0) m_bFailed = true;
    m_nLastOp = op;
}

size_t CBinaryFile::Read(void* buffer, size_t count) {
    if (!m_file || count == 0) return 0;
    Switch(1);
    return std::fread(buffer, 1, count, m_file);
}

bool CBinaryFile::Write(const void* data, size_t count) {
    if (!m_file) return false;
    Switch(2);
    if (count && std::fwrite(data, 1, count, m_file) != count) m_bFailed = true;
    return !m_bFailed;
}

int64_t CBinaryFile::Seek(int64_t offset, SeekFrom from) {
    if (!m_file || ::fseeko(m_file, static_cast<off_t>(offset), from) != 0) return -1;
    m_nLastOp = 0;
    return GetPosition();
}

int64_t CBinaryFile::GetPosition() const {
    if (!m_file) return -1;
    return static_cast<int64_t>(::ftello(m_file));
}

int64_t CBinaryFile::GetLength() const {
    if (!m_file) return -1;
    // Buffered data not yet written counts: flush before asking the system.
    if (std::fflush(m_file) != 0) return -1;
    struct stat st;
    if (::fstat(::fileno(m_file), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool CBinaryFile::Close() {
    if (m_file && m_bWriting) NoteFileChange();
    bool ok = CloseSystemFile(m_file, m_bFailed);
    m_bFailed = false;
    return ok;
}
