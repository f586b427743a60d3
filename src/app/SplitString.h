#pragma once

#include <vector>

#include "platform/CString.h"

// Splits at every occurrence of the separator: n separators give n + 1 fields, empty
// ones included. The separator must be a byte that never stands inside a double-byte
// character (","), which the project files rely on.
std::vector<CString> SplitString(const CString& text, const CString& separator);

// A decimal number as the project readers take it: blanks, an optional sign, digits up
// to the first other character; 0 without digits. The 32-bit pattern of "%d" survives.
int ParseDecimal(const CString& text);
