#include "platform/MarkupDocument.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace {

std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool IsNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.' || c == ':';
}

// The encoding name that follows `pos` (after optional blanks, "=" and a quote).
std::string NameAfter(const std::string& text, size_t pos) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '=' || text[pos] == '"' || text[pos] == '\'' ||
                                 text[pos] == '\t' || text[pos] == '\r' || text[pos] == '\n'))
        ++pos;
    size_t end = pos;
    while (end < text.size() && IsNameChar(text[end])) ++end;
    return text.substr(pos, end - pos);
}

// What the file says it is written in: the XML declaration first, then (HTML) a meta
// charset near the top. Empty when it says nothing.
std::string DeclaredEncoding(const std::string& bytes, bool html) {
    const std::string head = LowerAscii(bytes.substr(0, std::min<size_t>(bytes.size(), 4096)));
    if (head.rfind("<?xml", 0) == 0) {
        const size_t end = head.find("?>");
        const size_t enc = head.find("encoding", 5);
        if (enc != std::string::npos && (end == std::string::npos || enc < end)) {
            const std::string name = NameAfter(bytes, enc + 8);
            if (!name.empty()) return name;
        }
    }
    if (html) {
        const size_t at = head.find("charset");
        if (at != std::string::npos) return NameAfter(bytes, at + 7);
    }
    return {};
}

bool CanConvert(const std::string& name) {
    iconv_t cd = ::iconv_open("UTF-8", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    ::iconv_close(cd);
    return true;
}

// False at the first byte that is no character in `from`.
bool ConvertToUtf8(const std::string& from, const std::string& bytes, std::string& out) {
    out.clear();
    iconv_t cd = ::iconv_open("UTF-8", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string input = bytes;
    char* in = input.data();
    size_t inLeft = input.size();
    std::string buffer(16384, '\0');
    bool ok = true;
    while (inLeft > 0) {
        char* o = buffer.data();
        size_t oLeft = buffer.size();
        const size_t r = ::iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buffer.data(), buffer.size() - oLeft);
        if (r != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        ok = false;
        break;
    }
    ::iconv_close(cd);
    return ok;
}

// A folder is no document, whatever its name.
bool ReadWholeFile(const CString& path, std::string& bytes) {
    std::string sys;
    if (!ToSystemPath(path, sys) || FolderExists(path)) return false;
    FILE* file = std::fopen(sys.c_str(), "rb");
    if (!file) return false;
    bytes.clear();
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

CString FromXml(const xmlChar* text) {
    if (!text) return CString();
    std::string s(reinterpret_cast<const char*>(text));
    // A non-breaking space renders as a space; CP932 has no character for it.
    for (size_t at = s.find("\xC2\xA0"); at != std::string::npos; at = s.find("\xC2\xA0", at)) s.replace(at, 2, " ");
    return Utf8ToCp932(s);
}

bool IsBadCharacterError(int code) {
    switch (code) {
    case XML_ERR_NAME_REQUIRED:
    case XML_ERR_ENTITYREF_NO_NAME:
    case XML_ERR_ENTITYREF_SEMICOL_MISSING:
    case XML_ERR_UNDECLARED_ENTITY:
    case XML_WAR_UNDECLARED_ENTITY:
    case XML_ERR_LT_IN_ATTRIBUTE:
    case XML_ERR_INVALID_CHAR:
        return true;
    default:
        return false;
    }
}

}  // namespace

std::string MarkupEncodingName(const std::string& declared) {
    const std::string lower = LowerAscii(declared);
    // Windows books say Shift_JIS and mean the Windows code page, extensions and all.
    for (const char* sjis : {"shift_jis", "shift-jis", "sjis", "x-sjis", "ms_kanji", "windows-31j", "cp932", "ms932"})
        if (lower == sjis) return "CP932";
    if (lower == "utf8") return "UTF-8";
    return CanConvert(declared) ? declared : std::string();
}

CMarkupDocument::~CMarkupDocument() { Free(); }

void CMarkupDocument::Free() {
    if (m_doc) xmlFreeDoc(m_doc);
    m_doc = nullptr;
}

EMarkupLoad CMarkupDocument::LoadHtmlFile(const CString& path) {
    std::string bytes;
    Free();
    if (!ReadWholeFile(path, bytes)) return EMarkupLoad::CannotRead;
    return Load(bytes, true);
}

EMarkupLoad CMarkupDocument::LoadXmlFile(const CString& path) {
    std::string bytes;
    Free();
    if (!ReadWholeFile(path, bytes)) return EMarkupLoad::CannotRead;
    return Load(bytes, false);
}

EMarkupLoad CMarkupDocument::LoadHtml(const std::string& bytes) { return Load(bytes, true); }
EMarkupLoad CMarkupDocument::LoadXml(const std::string& bytes) { return Load(bytes, false); }

EMarkupLoad CMarkupDocument::Load(const std::string& raw, bool html) {
    Free();
    m_error = CMarkupError();

    std::string bytes = raw;
    // Undeclared, a file is taken for UTF-8 (XML by rule); an HTML page that is not
    // falls back as below.
    std::string encoding = "UTF-8", named = "UTF-8";
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        bytes.erase(0, 3);
    } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
               static_cast<unsigned char>(bytes[1]) == 0xFE) {
        bytes.erase(0, 2);
        encoding = named = "UTF-16LE";
    } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
               static_cast<unsigned char>(bytes[1]) == 0xFF) {
        bytes.erase(0, 2);
        encoding = named = "UTF-16BE";
    } else {
        const std::string declared = DeclaredEncoding(bytes, html);
        if (!declared.empty()) {
            named = declared;
            encoding = MarkupEncodingName(declared);
            if (encoding.empty()) {
                m_error.encoding = Utf8ToCp932(declared);
                return EMarkupLoad::UnknownEncoding;
            }
        }
    }
    m_error.encoding = Utf8ToCp932(named);

    // An HTML page whose bytes are no text in its code is read in the system's code page,
    // as the browser on the original system would: books made there often declare a code
    // their editor never wrote. A page that is text in neither is refused, not shown as
    // rows of "?" that would pass for its headings and title.
    std::string utf8;
    if (!ConvertToUtf8(encoding, bytes, utf8) && !(html && ConvertToUtf8("CP932", bytes, utf8)))
        return EMarkupLoad::BadBytes;
    // The parsers stop at a NUL; text after it would be lost without a word.
    if (utf8.find('\0') != std::string::npos) {
        if (!html) return EMarkupLoad::BadBytes;
        utf8.erase(std::remove(utf8.begin(), utf8.end(), '\0'), utf8.end());
    }

    if (html) {
        // A page cut short still parses; its missing rest must not pass for an empty one.
        const std::string lower = LowerAscii(utf8);
        if (lower.find("</body") == std::string::npos && lower.find("</html") == std::string::npos)
            return EMarkupLoad::Truncated;
        m_doc = htmlReadMemory(utf8.data(), static_cast<int>(utf8.size()), nullptr, "UTF-8",
                               HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                   HTML_PARSE_IGNORE_ENC);
        return m_doc ? EMarkupLoad::Ok : EMarkupLoad::CannotRead;
    }

    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (!ctxt) return EMarkupLoad::CannotRead;
    xmlDocPtr doc = xmlCtxtReadMemory(ctxt, utf8.data(), static_cast<int>(utf8.size()), nullptr, "UTF-8",
                                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_IGNORE_ENC);
    if (doc && ctxt->wellFormed) {
        m_doc = doc;
        xmlFreeParserCtxt(ctxt);
        return EMarkupLoad::Ok;
    }
    if (doc) xmlFreeDoc(doc);
    const xmlError* error = xmlCtxtGetLastError(ctxt);
    if (error) {
        m_error.code = error->code;
        m_error.line = error->line;
        m_error.badCharacter = IsBadCharacterError(error->code);
        CString reason = FromXml(reinterpret_cast<const xmlChar*>(error->message));
        m_error.reason = reason.TrimRight();
    }
    xmlFreeParserCtxt(ctxt);
    return EMarkupLoad::ParseError;
}

std::vector<CMarkupDocument::Node> CMarkupDocument::ElementsByTagName(const char* tag) const {
    std::vector<Node> found;
    if (!m_doc) return found;
    for (xmlNodePtr top = m_doc->children; top; top = top->next) {
        if (top->type != XML_ELEMENT_NODE) continue;
        if (xmlStrcasecmp(top->name, reinterpret_cast<const xmlChar*>(tag)) == 0) found.push_back(top);
        for (Node n : Descendants(top))
            if (xmlStrcasecmp(n->name, reinterpret_cast<const xmlChar*>(tag)) == 0) found.push_back(n);
    }
    return found;
}

std::vector<CMarkupDocument::Node> CMarkupDocument::Descendants(Node node) {
    std::vector<Node> out;
    if (!node) return out;
    // Iterative: a hostile file may nest as deep as the parser lets it.
    xmlNodePtr cur = node->children;
    while (cur) {
        if (cur->type == XML_ELEMENT_NODE) {
            out.push_back(cur);
            if (cur->children) {
                cur = cur->children;
                continue;
            }
        }
        while (cur && !cur->next) {
            cur = cur->parent;
            if (cur == node) return out;
        }
        if (cur) cur = cur->next;
    }
    return out;
}

std::vector<CMarkupDocument::Node> CMarkupDocument::ChildElements(Node node) {
    std::vector<Node> out;
    if (!node) return out;
    for (xmlNodePtr c = node->children; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE) out.push_back(c);
    return out;
}

CString CMarkupDocument::TagName(Node node) { return node ? FromXml(node->name) : CString(); }

bool CMarkupDocument::GetAttribute(Node node, const char* name, CString& value) {
    if (!node) return false;
    for (xmlAttrPtr a = node->properties; a; a = a->next) {
        if (xmlStrcasecmp(a->name, reinterpret_cast<const xmlChar*>(name)) != 0) continue;
        xmlChar* text = xmlNodeListGetString(node->doc, a->children, 1);
        value = FromXml(text);
        if (text) xmlFree(text);
        return true;
    }
    return false;
}

CString CMarkupDocument::OuterText(Node node) {
    if (!node) return CString();
    xmlChar* content = xmlNodeGetContent(node);
    std::string raw = content ? reinterpret_cast<const char*>(content) : "";
    if (content) xmlFree(content);
    for (size_t at = raw.find("\xC2\xA0"); at != std::string::npos; at = raw.find("\xC2\xA0", at)) raw.replace(at, 2, " ");
    std::string collapsed;
    bool space = false;
    for (char c : raw) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            space = true;
            continue;
        }
        if (space && !collapsed.empty()) collapsed += ' ';
        space = false;
        collapsed += c;
    }
    return Utf8ToCp932(collapsed);
}
