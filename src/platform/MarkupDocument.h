#pragma once
// A parsed NCC (HTML) or SMIL (XML) file of a DAISY book, with its texts in CP932.
//
// The bytes are decoded here, not by the parser: the declared encoding (byte-order mark,
// XML declaration, or an HTML meta charset) is looked up in our own table, where every
// spelling of Shift_JIS means CP932, and the text is handed to libxml2 as UTF-8. An
// encoding nobody knows is refused rather than guessed. An HTML page that is no text in
// its code is read as CP932; bytes that are text in neither are refused. HTML is parsed
// leniently (a browser shows what it can); XML strictly, with the first error's line
// and reason.
// No network, no DTD, no external entities.

#include <string>
#include <vector>

#include "platform/CString.h"

struct _xmlDoc;
struct _xmlNode;

enum class EMarkupLoad {
    Ok,
    CannotRead,       // the file is missing or unreadable
    UnknownEncoding,  // the declared encoding is none we know
    BadBytes,         // the bytes are not text in the declared (or assumed) encoding,
                      // nor, for HTML, in CP932
    ParseError,       // XML: not well formed (see GetError)
    Truncated,        // HTML: the document ends before its closing tags
};

struct CMarkupError {
    int code = 0;       // the parser's error number
    int line = 0;       // 1-based line of the first error
    bool badCharacter = false;  // a raw "&" or "<" where text belongs
    CString reason;     // the parser's text
    CString encoding;   // the code the file declared (or is taken to be in, "UTF-8")
};

class CMarkupDocument {
public:
    using Node = _xmlNode*;

    CMarkupDocument() = default;
    ~CMarkupDocument();
    CMarkupDocument(const CMarkupDocument&) = delete;
    CMarkupDocument& operator=(const CMarkupDocument&) = delete;

    EMarkupLoad LoadHtmlFile(const CString& path);
    EMarkupLoad LoadXmlFile(const CString& path);
    EMarkupLoad LoadHtml(const std::string& bytes);
    EMarkupLoad LoadXml(const std::string& bytes);
    const CMarkupError& GetError() const { return m_error; }
    bool IsLoaded() const { return m_doc != nullptr; }

    // Elements whose name equals `tag` without case, in document order.
    std::vector<Node> ElementsByTagName(const char* tag) const;
    // Every element below `node`, in document order (not only its children).
    static std::vector<Node> Descendants(Node node);
    // The element children of `node`: white space between elements is not a node here.
    static std::vector<Node> ChildElements(Node node);
    static CString TagName(Node node);
    // False when the element has no such attribute.
    static bool GetAttribute(Node node, const char* name, CString& value);
    // The text a browser renders for the element: white space collapsed and trimmed.
    static CString OuterText(Node node);

private:
    EMarkupLoad Load(const std::string& bytes, bool html);
    void Free();

    _xmlDoc* m_doc = nullptr;
    CMarkupError m_error;
};

// The encoding a name stands for, as iconv knows it ("CP932" for every spelling of
// Shift_JIS); empty when iconv cannot convert it.
std::string MarkupEncodingName(const std::string& declared);
