#pragma once
// The book's bibliographic information, in the order of the project file's keys.

#include "platform/CString.h"

class BookInfo {
public:
    void Clear();

    CString m_strTitle;
    CString m_strAuthor;
    CString m_strIsbn;
    CString m_strDiscrimination;
    CString m_strPublisher;
    CString m_strReader;
    CString m_strEditor;
    CString m_strOrgPublisher;
    CString m_strOrgPublishDate;
    CString m_strPublishDate;
    CString m_strGenre;
    CString m_strScheme;
};
