#pragma once
// A CP932 (Shift_JIS) byte string: the text type of the whole program. Lengths and
// positions are bytes; searching and cutting never split a double-byte character,
// because 0x5C ("\") and other ASCII bytes occur as second bytes ("ソ" is 83 5C).

#include <compare>
#include <cstdarg>
#include <string>
#include <string_view>

class CString {
public:
    CString() = default;
    CString(const char* s) : m_str(s ? s : "") {}
    CString(const char* s, int len) : m_str(s ? std::string(s, static_cast<size_t>(len < 0 ? 0 : len)) : std::string()) {}
    CString(std::string s) : m_str(std::move(s)) {}
    CString(std::string_view s) : m_str(s) {}
    CString(char ch, int repeat = 1) : m_str(static_cast<size_t>(repeat < 0 ? 0 : repeat), ch) {}

    // True for the first byte of a two-byte CP932 character.
    static bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    const char* c_str() const { return m_str.c_str(); }
    const char* GetString() const { return m_str.c_str(); }
    const std::string& str() const { return m_str; }
    char GetAt(int i) const { return m_str.at(static_cast<size_t>(i)); }
    void SetAt(int i, char ch) { m_str.at(static_cast<size_t>(i)) = ch; }
    char operator[](int i) const { return GetAt(i); }

    void Format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void AppendFormat(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(const char* fmt, va_list args);
    static CString Formatted(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

    // Byte positions of whole characters; -1 when not found. A start inside the
    // string is taken as a character boundary.
    int Find(char ch, int start = 0) const;
    int Find(const char* sub, int start = 0) const;
    int Find(const CString& sub, int start = 0) const { return Find(sub.c_str(), start); }
    int ReverseFind(char ch) const;
    int FindOneOf(const char* chars) const;

    CString Left(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Right(int count) const;

    int Compare(const char* other) const;
    int CompareNoCase(const char* other) const;  // ASCII letters fold; double-byte characters compare as bytes
    int Compare(const CString& other) const { return Compare(other.c_str()); }
    int CompareNoCase(const CString& other) const { return CompareNoCase(other.c_str()); }

    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();
    CString& Trim(char ch);
    CString& TrimLeft(char ch);
    CString& TrimRight(char ch);
    int Replace(const char* oldText, const char* newText);
    int Replace(char oldCh, char newCh);
    int Remove(char ch);
    int Insert(int index, const char* text);
    int Delete(int index, int count = 1);
    CString& MakeUpper();
    CString& MakeLower();

    CString& operator+=(const CString& s) { m_str += s.m_str; return *this; }
    CString& operator+=(const char* s) { if (s) m_str += s; return *this; }
    CString& operator+=(char ch) { m_str += ch; return *this; }
    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_str + b.m_str); }
    friend CString operator+(const CString& a, const char* b) { return CString(a.m_str + (b ? b : "")); }
    friend CString operator+(const char* a, const CString& b) { return CString((a ? std::string(a) : std::string()) + b.m_str); }
    friend CString operator+(const CString& a, char b) { return CString(a.m_str + b); }
    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
    friend bool operator==(const CString& a, const char* b) { return a.m_str == (b ? b : ""); }
    friend std::strong_ordering operator<=>(const CString& a, const CString& b) { return a.m_str <=> b.m_str; }

private:
    // True when byte `pos` begins a character (walking from the start).
    bool IsBoundary(size_t pos) const;
    std::string m_str;
};
