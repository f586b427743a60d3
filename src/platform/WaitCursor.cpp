#include "platform/WaitCursor.h"

#include <wx/app.h>
#include <wx/utils.h>

CWaitCursor::CWaitCursor() {
    if (wxTheApp) m_cursor = std::make_unique<wxBusyCursor>();
}

CWaitCursor::~CWaitCursor() = default;
