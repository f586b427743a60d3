#pragma once
// Helpers of the book build that others use too (the export names its folder with it).

#include "platform/CString.h"

// The text after the last "/" of a path; the whole text when there is none.
CString GetLastPathComponent(const CString& path);
