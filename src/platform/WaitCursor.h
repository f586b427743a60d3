#pragma once
// The wait cursor for the length of a scope; nothing without a toolkit.

#include <memory>

class wxBusyCursor;

class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    std::unique_ptr<wxBusyCursor> m_cursor;
};
