#include "platform/CString.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
bool IsSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

void CString::FormatV(const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int n = vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) { m_str.clear(); return; }
    if (static_cast<size_t>(n) < sizeof small) { m_str.assign(small, static_cast<size_t>(n)); return; }
    std::vector<char> big(static_cast<size_t>(n) + 1);
    vsnprintf(big.data(), big.size(), fmt, args);
    m_str.assign(big.data(), static_cast<size_t>(n));
}

void CString::Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    FormatV(fmt, args);
    va_end(args);
}

void CString::AppendFormat(const char* fmt, ...) {
    CString tail;
    va_list args;
    va_start(args, fmt);
    tail.FormatV(fmt, args);
    va_end(args);
    m_str += tail.m_str;
}

CString CString::Formatted(const char* fmt, ...) {
    CString s;
    va_list args;
    va_start(args, fmt);
    s.FormatV(fmt, args);
    va_end(args);
    return s;
}

bool CString::IsBoundary(size_t pos) const {
    size_t i = 0;
    while (i < pos) i += (IsLeadByte(static_cast<unsigned char>(m_str[i])) && i + 1 < m_str.size()) ? 2 : 1;
    return i == pos;
}

int CString::Find(char ch, int start) const {
    if (start < 0) start = 0;
    for (size_t i = static_cast<size_t>(start); i < m_str.size();) {
        unsigned char b = static_cast<unsigned char>(m_str[i]);
        if (IsLeadByte(b) && i + 1 < m_str.size()) { i += 2; continue; }
        if (m_str[i] == ch) return static_cast<int>(i);
        ++i;
    }
    return -1;
}

int CString::Find(const char* sub, int start) const {
    if (!sub) return -1;
    size_t n = std::strlen(sub);
    if (start < 0) start = 0;
    if (static_cast<size_t>(start) > m_str.size()) return -1;
    if (n == 0) return start;
    for (size_t i = static_cast<size_t>(start); i + n <= m_str.size();) {
        if (std::memcmp(m_str.data() + i, sub, n) == 0) return static_cast<int>(i);
        i += (IsLeadByte(static_cast<unsigned char>(m_str[i])) && i + 1 < m_str.size()) ? 2 : 1;
    }
    return -1;
}

int CString::ReverseFind(char ch) const {
    int found = -1;
    for (size_t i = 0; i < m_str.size();) {
        unsigned char b = static_cast<unsigned char>(m_str[i]);
        if (IsLeadByte(b) && i + 1 < m_str.size()) { i += 2; continue; }
        if (m_str[i] == ch) found = static_cast<int>(i);
        ++i;
    }
    return found;
}

int CString::FindOneOf(const char* chars) const {
    if (!chars) return -1;
    for (size_t i = 0; i < m_str.size();) {
        unsigned char b = static_cast<unsigned char>(m_str[i]);
        if (IsLeadByte(b) && i + 1 < m_str.size()) { i += 2; continue; }
        if (m_str[i] != '\0' && std::strchr(chars, m_str[i])) return static_cast<int>(i);
        ++i;
    }
    return -1;
}

CString CString::Left(int count) const {
    if (count <= 0) return CString();
    return CString(m_str.substr(0, static_cast<size_t>(count)));
}

CString CString::Mid(int first) const {
    if (first < 0) first = 0;
    if (static_cast<size_t>(first) >= m_str.size()) return CString();
    return CString(m_str.substr(static_cast<size_t>(first)));
}

CString CString::Mid(int first, int count) const {
    if (first < 0) first = 0;
    if (count <= 0 || static_cast<size_t>(first) >= m_str.size()) return CString();
    return CString(m_str.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString CString::Right(int count) const {
    if (count <= 0) return CString();
    if (static_cast<size_t>(count) >= m_str.size()) return *this;
    return CString(m_str.substr(m_str.size() - static_cast<size_t>(count)));
}

int CString::Compare(const char* other) const {
    int r = std::strcmp(m_str.c_str(), other ? other : "");
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::CompareNoCase(const char* other) const {
    const char* a = m_str.c_str();
    const char* b = other ? other : "";
    // Walk both strings character by character so that a second byte that happens to be
    // an ASCII letter (0x40..0x7E) is never folded.
    while (*a && *b) {
        unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
        if (IsLeadByte(ca) || IsLeadByte(cb)) {
            if (ca != cb) return ca < cb ? -1 : 1;
            // A lead byte cut off at the end is shorter than a whole character, not equal to it.
            if (a[1] != b[1]) return static_cast<unsigned char>(a[1]) < static_cast<unsigned char>(b[1]) ? -1 : 1;
            if (!a[1]) return 0;
            a += 2; b += 2;
            continue;
        }
        char fa = FoldAscii(*a), fb = FoldAscii(*b);
        if (fa != fb) return static_cast<unsigned char>(fa) < static_cast<unsigned char>(fb) ? -1 : 1;
        ++a; ++b;
    }
    unsigned char ea = static_cast<unsigned char>(FoldAscii(*a)), eb = static_cast<unsigned char>(FoldAscii(*b));
    return ea == eb ? 0 : (ea < eb ? -1 : 1);
}

CString& CString::TrimLeft() {
    size_t i = 0;
    while (i < m_str.size() && IsSpace(static_cast<unsigned char>(m_str[i]))) ++i;
    m_str.erase(0, i);
    return *this;
}

CString& CString::TrimRight() {
    // A second byte is never white space (0x40..0xFC), so trimming from the end is safe.
    size_t n = m_str.size();
    while (n > 0 && IsSpace(static_cast<unsigned char>(m_str[n - 1]))) --n;
    m_str.erase(n);
    return *this;
}

CString& CString::Trim() { TrimRight(); return TrimLeft(); }

CString& CString::TrimLeft(char ch) {
    size_t i = 0;
    while (i < m_str.size() && m_str[i] == ch) ++i;
    m_str.erase(0, i);
    return *this;
}

CString& CString::TrimRight(char ch) {
    // Only remove bytes that stand as whole characters.
    while (!m_str.empty() && m_str.back() == ch && IsBoundary(m_str.size() - 1)) m_str.pop_back();
    return *this;
}

CString& CString::Trim(char ch) { TrimRight(ch); return TrimLeft(ch); }

int CString::Replace(const char* oldText, const char* newText) {
    if (!oldText || !*oldText) return 0;
    std::string repl = newText ? newText : "";
    size_t n = std::strlen(oldText);
    std::string out;
    int count = 0;
    for (size_t i = 0; i < m_str.size();) {
        if (i + n <= m_str.size() && std::memcmp(m_str.data() + i, oldText, n) == 0) {
            out += repl;
            i += n;
            ++count;
            continue;
        }
        size_t step = (IsLeadByte(static_cast<unsigned char>(m_str[i])) && i + 1 < m_str.size()) ? 2 : 1;
        out.append(m_str, i, step);
        i += step;
    }
    if (count) m_str.swap(out);
    return count;
}

int CString::Replace(char oldCh, char newCh) {
    int count = 0;
    for (size_t i = 0; i < m_str.size();) {
        if (IsLeadByte(static_cast<unsigned char>(m_str[i])) && i + 1 < m_str.size()) { i += 2; continue; }
        if (m_str[i] == oldCh) { m_str[i] = newCh; ++count; }
        ++i;
    }
    return count;
}

int CString::Remove(char ch) {
    std::string out;
    int count = 0;
    for (size_t i = 0; i < m_str.size();) {
        if (IsLeadByte(static_cast<unsigned char>(m_str[i])) && i + 1 < m_str.size()) { out.append(m_str, i, 2); i += 2; continue; }
        if (m_str[i] == ch) ++count; else out += m_str[i];
        ++i;
    }
    m_str.swap(out);
    return count;
}

int CString::Insert(int index, const char* text) {
    if (index < 0) index = 0;
    if (static_cast<size_t>(index) > m_str.size()) index = GetLength();
    m_str.insert(static_cast<size_t>(index), text ? text : "");
    return GetLength();
}

int CString::Delete(int index, int count) {
    if (index < 0) index = 0;
    if (count > 0 && static_cast<size_t>(index) < m_str.size()) m_str.erase(static_cast<size_t>(index), static_cast<size_t>(count));
    return GetLength();
}

CString& CString::MakeUpper() {
    for (size_t i = 0; i < m_str.size();) {
        if (IsLeadByte(static_cast<unsigned char>(m_str[i])) && i + 1 < m_str.size()) { i += 2; continue; }
        if (m_str[i] >= 'a' && m_str[i] <= 'z') m_str[i] = static_cast<char>(m_str[i] - 'a' + 'A');
        ++i;
    }
    return *this;
}

CString& CString::MakeLower() {
    for (size_t i = 0; i < m_str.size();) {
        if (IsLeadByte(static_cast<unsigned char>(m_str[i])) && i + 1 < m_str.size()) { i += 2; continue; }
        m_str[i] = FoldAscii(m_str[i]);
        ++i;
    }
    return *this;
}
