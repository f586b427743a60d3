#pragma once
// One phrase: a stretch of audio in a project file with its page, group and mark flags.
// Positions and lengths are bytes of 16-bit mono PCM at the project rate.

#include <cstdint>

#include "platform/CString.h"

class CPhraseInformation {
public:
    CPhraseInformation() { Reset(); }
    virtual ~CPhraseInformation() = default;

    void Reset();

    CString GetLengthText() const;
    CString GetPauseText() const;
    CString GetGroupText() const;
    CString GetPageText() const;
    CString GetMarkText() const;

    uint32_t m_nStart;
    uint32_t m_nLength;
    uint32_t m_nPause;
    CString m_strFileName;
    uint32_t m_nPageKind;  // 0 none, 1 automatic, 2 manual, 3 front matter, 4 special
    CString m_strPageText;
    uint32_t m_nGroup;
    uint32_t m_nMark;
    CString m_strComment;
    uint32_t m_nBytesPerSec;
};
