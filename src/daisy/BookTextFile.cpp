#include "daisy/BookTextFile.h"

bool CBookTextFile::Open(const CString& path) {
    m_strPath = path;
    return m_file.Open(path, CTextFile::modeCreateWrite);
}

void CBookTextFile::Line(int tabs, const CString& text) {
    m_strLine = CString('\t', tabs);
    m_strLine += text;
    m_strLine += '\n';
    m_file.WriteString(m_strLine);
}

bool CBookTextFile::Close() {
    bool written = m_file.Close();
    return !BookFileFails(m_step, m_strPath) && written;
}
