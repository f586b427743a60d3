#pragma once
// Conversions between the program's CP932 text and the outside world's UTF-8 and
// UTF-16. Only this layer converts; everything else holds CP932.

#include <string>
#include <string_view>

#include "platform/CString.h"

class wxString;

// Text: what cannot be represented becomes "?".
std::string Cp932ToUtf8(const CString& text);
CString Utf8ToCp932(std::string_view utf8);
std::u16string Cp932ToUtf16(const CString& text);
CString Utf16ToCp932(std::u16string_view utf16);

// Strict forms for paths: false (and nothing useful in `out`) when a character cannot
// be represented or would not convert back to the same text, so that such a path fails
// like a file that cannot be opened instead of naming another file.
bool Cp932ToUtf8Strict(const CString& text, std::string& out);
bool Utf8ToCp932Strict(std::string_view utf8, CString& out);

// The toolkit's strings.
wxString ToWx(const CString& text);
CString FromWx(const wxString& text);
