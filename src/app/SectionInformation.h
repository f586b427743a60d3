#pragma once
// One section of the book: a heading with its level and the phrases it owns.

#include <cstdint>

#include "app/PhraseInformation.h"
#include "app/RecordList.h"
#include "platform/CString.h"

class CSectionInformation {
public:
    CSectionInformation() { Reset(); }
    virtual ~CSectionInformation() = default;  // the phrase list deletes its phrases, front to back

    // Only applied to records that hold no phrases: the list is emptied without deleting.
    void Reset();

    CString GetLevelText() const;
    CString GetPhraseCountText() const;
    CString GetTimeText() const;
    CString GetPageText() const;

    int m_nLevel;  // 0..5, shown as 1..6
    CString m_strHeading;
    CString m_strStartPage;
    CString m_strEndPage;
    CString m_strComment;
    uint32_t m_nPhraseCount;  // as read from the project files; the live count is m_lstPhrase
    uint32_t m_nSectionTime;  // bytes of the section's audio
    CRecordList<CPhraseInformation> m_lstPhrase;
};
