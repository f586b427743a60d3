#pragma once
// Text of edit controls as the original's edit controls hand it over: CP932, and in
// multi-line edits with CR LF line ends (the toolkit's multi-line control uses "\n"), so
// that byte limits count a line break as two bytes and "\r\n" removal finds them.

#include "platform/CString.h"

class wxTextCtrl;

CString GetEditText(const wxTextCtrl& edit);
// CR LF pairs (and lone LF) become the toolkit's line breaks in a multi-line edit.
void SetEditText(wxTextCtrl& edit, const CString& text);

// The conversions themselves, for any text.
CString LfToCrLf(const CString& text);
CString CrLfToLf(const CString& text);
