#pragma once
// One text file of the book (NCC, SMIL, DiscInfo): CP932 lines, each stored with CR LF,
// indented by tabs. A file counts as written only when every line reached the disk and
// the close succeeded, so that a full disk fails the build instead of leaving a short
// book behind.

#include "daisy/BookFileFaults.h"
#include "platform/CString.h"
#include "platform/TextFile.h"

class CBookTextFile {
public:
    explicit CBookTextFile(EBookFileStep step) : m_step(step) {}

    // Creates the file, or empties it when it exists.
    bool Open(const CString& path);
    // Writes `tabs` tab characters, the text and a line end.
    void Line(int tabs, const CString& text);
    // False when a write or the close failed.
    bool Close();

private:
    EBookFileStep m_step;
    CString m_strPath;
    CTextFile m_file;
    CString m_strLine;
};
