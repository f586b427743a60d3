#include "app/SplitString.h"

#include <cctype>

std::vector<CString> SplitString(const CString& text, const CString& separator) {
    std::vector<CString> fields;
    if (separator.IsEmpty()) {
        fields.push_back(text);
        return fields;
    }
    const std::string s = text.str() + separator.str();
    const std::string& sep = separator.str();
    size_t pos = 0;
    for (size_t found = s.find(sep, pos); found != std::string::npos; found = s.find(sep, pos)) {
        fields.emplace_back(s.substr(pos, found - pos));
        pos = found + sep.size();
    }
    return fields;
}

int ParseDecimal(const CString& text) {
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    // Accumulate in 64 bits and keep the low 32: what "%d" or "%u" wrote comes back.
    unsigned long long value = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) value = value * 10 + static_cast<unsigned>(*p++ - '0');
    uint32_t low = static_cast<uint32_t>(negative ? 0ull - value : value);
    return static_cast<int>(low);
}
