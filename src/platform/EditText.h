#pragma once
// Text of edit controls as the original's edit controls hand it over: CP932, and in
// multi-line edits with CR LF line ends (the toolkit's multi-line control uses "\n"), so
// that byte limits count a line break as two bytes and "\r\n" removal finds them.

#include "platform/CString.h"

class wxTextCtrl;
class wxWindow;

CString GetEditText(const wxTextCtrl& edit);
// CR LF pairs (and lone LF) become the toolkit's line breaks in a multi-line edit.
void SetEditText(wxTextCtrl& edit, const CString& text);

// A multi-line edit whose text keeps a few pixels off its border, as the original's do;
// the toolkit's own draws the text right on the border.
wxTextCtrl* CreateMultiLineEdit(wxWindow* parent, int id);

// The conversions themselves, for any text.
CString LfToCrLf(const CString& text);
CString CrLfToLf(const CString& text);
