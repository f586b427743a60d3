#include "platform/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

#include <wx/string.h>

namespace {

// Code points that input methods on Linux produce where Windows produces another
// character of the same glyph; CP932 only knows the Windows ones.
char32_t MapForCp932(char32_t c) {
    switch (c) {
    case 0x301C: return 0xFF5E;  // WAVE DASH -> 81 60
    case 0x2016: return 0x2225;  // DOUBLE VERTICAL LINE -> 81 61
    case 0x2212: return 0xFF0D;  // MINUS SIGN -> 81 7C
    case 0x00A2: return 0xFFE0;  // CENT SIGN -> 81 91
    case 0x00A3: return 0xFFE1;  // POUND SIGN -> 81 92
    case 0x00AC: return 0xFFE2;  // NOT SIGN -> 81 CA
    default: return c;
    }
}

class Iconv {
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Iconv() { if (m_cd != reinterpret_cast<iconv_t>(-1)) iconv_close(m_cd); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // Converts `in` whole. On an input unit that cannot be converted, `skip(in, left)`
    // tells how many bytes to drop and the replacement is appended; without one, false.
    template <typename Skip>
    bool Run(const char* in, size_t left, std::string& out, const std::string* replacement, Skip skip) {
        if (m_cd == reinterpret_cast<iconv_t>(-1)) return false;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char buf[1024];
        char* src = const_cast<char*>(in);
        while (left > 0) {
            char* dst = buf;
            size_t room = sizeof buf;
            size_t r = iconv(m_cd, &src, &left, &dst, &room);
            out.append(buf, static_cast<size_t>(dst - buf));
            if (r != static_cast<size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            if (!replacement) return false;
            size_t n = skip(src, left);
            if (n > left) n = left;
            src += n;
            left -= n;
            out += *replacement;
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
        char* dst = buf;
        size_t room = sizeof buf;
        iconv(m_cd, nullptr, nullptr, &dst, &room);
        out.append(buf, static_cast<size_t>(dst - buf));
        return true;
    }

private:
    iconv_t m_cd;
};

// Opening a converter costs far more than most conversions (paths are converted at
// every file call), so each thread keeps its three open.
enum EDirection { kToCp932, kCp932ToUtf8, kCp932ToUtf16 };

Iconv& Converter(EDirection direction) {
    thread_local Iconv toCp932("CP932", "UTF-32LE");
    thread_local Iconv toUtf8("UTF-8", "CP932");
    thread_local Iconv toUtf16("UTF-16LE", "CP932");
    switch (direction) {
    case kToCp932: return toCp932;
    case kCp932ToUtf8: return toUtf8;
    default: return toUtf16;
    }
}

const std::string kQuestion = "?";
const std::string kQuestion16("?\0", 2);

// A bad character is dropped whole, but a lead byte never swallows a byte that cannot
// be its second byte.
size_t SkipCp932(const char* p, size_t left) {
    if (left < 2 || !CString::IsLeadByte(static_cast<unsigned char>(p[0]))) return 1;
    unsigned char t = static_cast<unsigned char>(p[1]);
    return (t >= 0x40 && t <= 0xFC && t != 0x7F) ? 2 : 1;
}

// Decodes UTF-8 leniently: a malformed byte becomes U+FFFD, which CP932 cannot hold.
// Overlong forms, surrogates and values above U+10FFFF are malformed too: an overlong
// "/" (C0 AF) in a name read from the disk must not turn into a path separator.
std::u32string DecodeUtf8(std::string_view s) {
    static constexpr char32_t kMinimum[5] = {0, 0, 0x80, 0x800, 0x10000};
    std::u32string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        int n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + static_cast<size_t>(n) > s.size()) { out += U'\xFFFD'; ++i; continue; }
        char32_t c = n == 1 ? b : (b & (0x7F >> n));
        bool ok = true;
        for (int k = 1; k < n; ++k) {
            unsigned char t = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            if ((t & 0xC0) != 0x80) { ok = false; break; }
            c = (c << 6) | (t & 0x3F);
        }
        if (ok && (c < kMinimum[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) ok = false;
        if (!ok) { out += U'\xFFFD'; ++i; continue; }
        out += c;
        i += static_cast<size_t>(n);
    }
    return out;
}

bool CodePointsToCp932(std::u32string cps, std::string& out, const std::string* replacement) {
    for (char32_t& c : cps) c = MapForCp932(c);
    Iconv& cv = Converter(kToCp932);
    return cv.Run(reinterpret_cast<const char*>(cps.data()), cps.size() * 4, out, replacement,
                  [](const char*, size_t) { return size_t{4}; });
}

}  // namespace

// CP932 keeps ASCII as it is (0x5C and 0x7E included), and most paths and keys are ASCII.
static bool IsAscii(const CString& text) {
    for (char c : text.str())
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

std::string Cp932ToUtf8(const CString& text) {
    if (IsAscii(text)) return text.str();
    std::string out;
    Iconv& cv = Converter(kCp932ToUtf8);
    cv.Run(text.c_str(), static_cast<size_t>(text.GetLength()), out, &kQuestion, SkipCp932);
    return out;
}

bool Cp932ToUtf8Strict(const CString& text, std::string& out) {
    if (IsAscii(text)) {
        out = text.str();
        return true;
    }
    out.clear();
    Iconv& cv = Converter(kCp932ToUtf8);
    return cv.Run(text.c_str(), static_cast<size_t>(text.GetLength()), out, nullptr, SkipCp932);
}

CString Utf8ToCp932(std::string_view utf8) {
    std::string out;
    CodePointsToCp932(DecodeUtf8(utf8), out, &kQuestion);
    return CString(std::move(out));
}

bool Utf8ToCp932Strict(std::string_view utf8, CString& out) {
    std::string s;
    bool ok = CodePointsToCp932(DecodeUtf8(utf8), s, nullptr);
    // A name is only as good as the way back: several characters share one CP932 form
    // (a wave dash and a full-width tilde, a yen sign and a backslash), and a path that
    // comes back as another name would open, list or create another file.
    if (ok) {
        std::string back;
        ok = Cp932ToUtf8Strict(CString(s), back) && back == utf8;
    }
    out = CString(ok ? std::move(s) : std::string());
    return ok;
}

std::u16string Cp932ToUtf16(const CString& text) {
    std::string bytes;
    Iconv& cv = Converter(kCp932ToUtf16);
    cv.Run(text.c_str(), static_cast<size_t>(text.GetLength()), bytes, &kQuestion16, SkipCp932);
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        out += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
    return out;
}

CString Utf16ToCp932(std::u16string_view utf16) {
    std::u32string cps;
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        cps += c;
    }
    std::string out;
    CodePointsToCp932(std::move(cps), out, &kQuestion);
    return CString(std::move(out));
}

wxString ToWx(const CString& text) { return wxString::FromUTF8(Cp932ToUtf8(text)); }

CString FromWx(const wxString& text) {
    const wxScopedCharBuffer utf8 = text.utf8_str();
    return Utf8ToCp932(std::string_view(utf8.data(), utf8.length()));
}
