#pragma once
// Private-profile (INI) files with the original platform's reading rules: section and
// key names match without case and without the blanks around them, the first of
// duplicate keys wins (sections of the same name count as one), blanks around a value
// are dropped and so are matching quotes ('...' or "...") around it, and a value is cut
// to the caller's size. Files are CP932 text with lines ending in CR LF or LF.
//
// A project file holds one key per section of the book and is read key by key, so the
// parsed file is kept and used again while the file on the disk stays the same.

#include "platform/CString.h"

// The longest value the program's readers take, in bytes.
constexpr int kProfileValueMax = 4095;

// The value, or `defaultValue` (without its trailing blanks) when the file, the section
// or the key is missing. At most `maxBytes` bytes, never half a double-byte character.
CString GetPrivateProfileString(const CString& section, const CString& key, const CString& defaultValue,
                                const CString& path, int maxBytes = kProfileValueMax);

// The value read as a decimal number: optional sign, digits up to the first non-digit,
// 0 without digits; the 32-bit pattern of what was written with "%d" or "%u" comes back.
// `defaultValue` when the key is missing or its value is empty.
int GetPrivateProfileInt(const CString& section, const CString& key, int defaultValue, const CString& path);

// Sets the value of the first matching key, adds the key to the end of the section, or
// the section to the end of the file; creates the file when it is missing. Other lines
// stay as they were. False when the file cannot be written (read-only, no folder...).
bool WritePrivateProfileString(const CString& section, const CString& key, const CString& value,
                               const CString& path);

// The application's profile: the file that the application currently reads its
// profile values from.
class CProfile {
public:
    void SetProfileFile(const CString& path) { m_strProfileFile = path; }
    const CString& GetProfileFile() const { return m_strProfileFile; }

    int GetProfileInt(const CString& section, const CString& key, int defaultValue) const;
    CString GetProfileString(const CString& section, const CString& key, const CString& defaultValue = CString()) const;

private:
    CString m_strProfileFile;
};
