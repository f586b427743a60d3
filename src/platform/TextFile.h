#pragma once
// Buffered files. Text files are written and read as the original platform's text mode
// does: "\n" goes to the disk as CR LF, and CR LF comes back as one line end. Errors do
// not throw; a file remembers that a write failed and Close says so, so that a full
// disk is a failure the caller sees rather than a short file it never hears about.

#include <cstdint>
#include <cstdio>

#include "platform/CString.h"

class CTextFile {
public:
    enum OpenMode {
        modeRead,                  // existing file
        modeCreateWrite,           // created, or emptied when it exists
        modeCreateWriteExclusive,  // created; fails when the file exists
    };

    CTextFile() = default;
    ~CTextFile();
    CTextFile(const CTextFile&) = delete;
    CTextFile& operator=(const CTextFile&) = delete;

    bool Open(const CString& path, OpenMode mode);
    bool IsOpen() const { return m_file != nullptr; }

    // Writes the text with every "\n" as CR LF. False once any write has failed.
    bool WriteString(const CString& text);
    // The next line without its end (LF, or CR LF); a CR on its own stays in the line.
    // False at the end of the file, or when the file is not open for reading.
    bool ReadString(CString& line);

    // Closes the file; false when a write failed or the data could not be handed to
    // the system. Closing a file that is not open is not a failure.
    bool Close();

private:
    FILE* m_file = nullptr;
    bool m_bWriting = false;
    bool m_bFailed = false;
    char* m_pLine = nullptr;  // getdelim's buffer, kept between lines
    size_t m_nLineSize = 0;
};

// A plain byte file with 64-bit positions, for the audio files.
class CBinaryFile {
public:
    enum OpenMode {
        modeRead,                  // existing file, read only
        modeReadWrite,             // existing file
        modeCreate,                // created or emptied, read and write
        modeCreateExclusive,       // created; fails when the file exists
    };
    enum SeekFrom { begin = SEEK_SET, current = SEEK_CUR, end = SEEK_END };

    CBinaryFile() = default;
    ~CBinaryFile();
    CBinaryFile(const CBinaryFile&) = delete;
    CBinaryFile& operator=(const CBinaryFile&) = delete;

    bool Open(const CString& path, OpenMode mode);
    bool IsOpen() const { return m_file != nullptr; }

    // Bytes read: fewer than asked at the end of the file or on an error.
    size_t Read(void* buffer, size_t count);
    // False when not every byte was written; the failure is remembered for Close.
    bool Write(const void* data, size_t count);
    // The new position from the start, or -1 on failure.
    int64_t Seek(int64_t offset, SeekFrom from);
    int64_t GetPosition() const;
    int64_t GetLength() const;

    // False when a write failed or the data could not be handed to the system.
    bool Close();

private:
    // A stream open for both must be repositioned between reading and writing.
    void Switch(int op);

    FILE* m_file = nullptr;
    bool m_bWriting = false;
    bool m_bFailed = false;
    int m_nLastOp = 0;  // 0 none or repositioned, 1 read, 2 write
};
