// Reading DAISY books: clip times, the NCC and SMIL documents in their encodings, and
// the reader on books the build wrote and on books of other layouts.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "DaisyTestSupport.h"
#include "audio/Mp3Encode.h"
#include "audio/ViewWaveTaskHost.h"
#include "daisy/DaisyBookReader.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/MarkupDocument.h"
#include "platform/MessageBox.h"

using namespace daisytest;
namespace fs = std::filesystem;

namespace {

TEST(ClipTime, DecimalSecondsKeptToTenths) {
    struct Case {
        const char* value;
        uint32_t rate;
        bool ok;
        uint32_t bytes;
    };
    const Case cases[] = {
        {"npt=0.000s", 44100, true, 0},
        {"npt=2.345s", 44100, true, 2 * 44100 + 3 * 4410},
        {"npt=12s", 32000, true, 12 * 32000},
        {"npt=12.5s", 32000, true, 12 * 32000 + 5 * 3200},
        {"npt=12.3456s", 32000, true, 12 * 32000 + 3 * 3200},
        {"npt=.5s", 32000, true, 5 * 3200},
        {"3.999s", 44100, true, 3 * 44100 + 9 * 4410},
        {"npt=100000.000s", 44100, false, 0},  // past 32 bits
        {"npt=99999999999999999999s", 44100, false, 0},
        {"", 44100, false, 0},
        {"npt=s", 44100, false, 0},
        {"npt=-1.000s", 44100, false, 0},
        {"npt=1.2.3s", 44100, false, 0},
        {"npt=1:02.000s", 44100, false, 0},
        {"npt=abc", 44100, false, 0},
    };
    for (const Case& c : cases) {
        uint32_t bytes = 0;
        EXPECT_EQ(CDaisyBookReader::ClipTimeToBytes(c.value, c.rate, &bytes), c.ok) << c.value;
        if (c.ok) {
            EXPECT_EQ(bytes, c.bytes) << c.value;
        }
    }
}

TEST(MarkupDocument, EncodingsAreReadAsDeclaredAndUnknownOnesRefused) {
    struct Case {
        std::string bytes;
        bool html;
        EMarkupLoad load;
        const char* title;  // expected text of <title>, CP932
    };
    const std::string sjisTitle = "\x95\x5C\x83\x5C\x83\x74\x83\x67";  // 表ソフト in CP932
    const std::string utf8Title = "\xE8\xA1\xA8\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88";
    auto html = [](const std::string& decl, const std::string& meta, const std::string& title) {
        return decl + "<html><head>" + meta + "<title>" + title + "</title></head><body></body></html>";
    };
    const Case cases[] = {
        {html("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", "", sjisTitle), true, EMarkupLoad::Ok, "表ソフト"},
        {html("", "<meta http-equiv=\"Content-type\" content=\"text/html; charset=x-sjis\"/>", sjisTitle), true,
         EMarkupLoad::Ok, "表ソフト"},
        {html("<?xml version='1.0' encoding='SJIS'?>", "", sjisTitle), true, EMarkupLoad::Ok, "表ソフト"},
        {html("<?xml version=\"1.0\" encoding=\"Shift-JIS\"?>", "", sjisTitle), true, EMarkupLoad::Ok, "表ソフト"},
        {html("<?xml version='1.0' encoding='utf-8'?>", "", utf8Title), true, EMarkupLoad::Ok, "表ソフト"},
        {"\xEF\xBB\xBF" + html("", "", utf8Title), true, EMarkupLoad::Ok, "表ソフト"},
        // Undeclared: UTF-8 when it is UTF-8, else the system's code page.
        {html("", "", utf8Title), true, EMarkupLoad::Ok, "表ソフト"},
        {html("", "", sjisTitle), true, EMarkupLoad::Ok, "表ソフト"},
        // A page whose bytes belie its declaration is read as the system's code page; one
        // that is text in neither is refused.
        {html("<?xml version='1.0' encoding='utf-8'?>", "", sjisTitle), true, EMarkupLoad::Ok, "表ソフト"},
        {html("", "<meta charset=\"utf-8\">", "\x81\x20"), true, EMarkupLoad::BadBytes, ""},
        {html("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", "", "\x81\x20"), true, EMarkupLoad::BadBytes, ""},
        // A NEC extension character survives as CP932 has it.
        {html("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", "", "\x87\x40"), true, EMarkupLoad::Ok, "①"},
        // A character CP932 cannot hold becomes "?"; a non-breaking space a space.
        {html("", "<meta charset=\"utf-8\">", "a\xC2\xA0\xF0\x9F\x98\x80"), true, EMarkupLoad::Ok, "a ?"},
        {html("<?xml version=\"1.0\" encoding=\"x-klingon\"?>", "", "a"), true, EMarkupLoad::UnknownEncoding, ""},
        {"<html><head><title>cut", true, EMarkupLoad::Truncated, ""},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><smil><head><title>" + sjisTitle + "</title></head></smil>", false,
         EMarkupLoad::BadBytes, ""},
        {"<smil><head><title>" + sjisTitle + "</title></head></smil>", false, EMarkupLoad::BadBytes, ""},
        {"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><smil><head><title>" + sjisTitle + "</title></head></smil>",
         false, EMarkupLoad::Ok, "表ソフト"},
        {"<smil><head><title>a</title>", false, EMarkupLoad::ParseError, ""},
    };
    for (const Case& c : cases) {
        CMarkupDocument doc;
        const EMarkupLoad load = c.html ? doc.LoadHtml(c.bytes) : doc.LoadXml(c.bytes);
        EXPECT_EQ(static_cast<int>(load), static_cast<int>(c.load)) << c.bytes;
        if (load != EMarkupLoad::Ok) continue;
        const auto titles = doc.ElementsByTagName("TITLE");
        ASSERT_EQ(titles.size(), 1u) << c.bytes;
        EXPECT_EQ(CMarkupDocument::OuterText(titles[0]), c.title) << c.bytes;
    }
}

TEST(MarkupDocument, XmlErrorsSayWhereAndWhitespaceIsNoNode) {
    CMarkupDocument doc;
    ASSERT_EQ(doc.LoadXml("<smil>\n<body>\n<text>a & b</text>\n</body></smil>"), EMarkupLoad::ParseError);
    EXPECT_TRUE(doc.GetError().badCharacter);
    EXPECT_EQ(doc.GetError().line, 3);

    ASSERT_EQ(doc.LoadXml("<par>\n  <text id=\"t\"/>\n  <seq>\n    <audio id=\"a\"/>\n  </seq>\n</par>\n"), EMarkupLoad::Ok);
    const auto par = doc.ElementsByTagName("par");
    ASSERT_EQ(par.size(), 1u);
    const auto children = CMarkupDocument::ChildElements(par[0]);
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(CMarkupDocument::TagName(children.back()), "seq");
    CString id;
    EXPECT_TRUE(CMarkupDocument::GetAttribute(CMarkupDocument::ChildElements(children.back()).front(), "ID", id));
    EXPECT_EQ(id, "a");
    EXPECT_FALSE(CMarkupDocument::GetAttribute(par[0], "id", id));

    // Rendered text: runs of white space are one blank, none at the ends.
    ASSERT_EQ(doc.LoadHtml("<html><body><h1>\n  <a href=\"x\">  第1章\n\t ソフト </a></h1></body></html>"),
              EMarkupLoad::Ok);
    EXPECT_EQ(CMarkupDocument::OuterText(doc.ElementsByTagName("a").at(0)), "第1章 ソフト");
    // No external entity or DTD is fetched.
    ASSERT_EQ(doc.LoadXml("<?xml version=\"1.0\"?><!DOCTYPE s [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><s>&x;</s>"),
              EMarkupLoad::Ok);
    EXPECT_EQ(CMarkupDocument::OuterText(doc.ElementsByTagName("s").at(0)), "");
}

// Every `from` in the file becomes `to`; false when there is none.
bool ReplaceEvery(const std::string& path, const std::string& from, const std::string& to) {
    std::string bytes = ReadBytes(path);
    if (bytes.find(from) == std::string::npos) return false;
    for (size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + to.size()))
        bytes.replace(at, from.size(), to);
    WriteBytes(path, bytes);
    return true;
}

// A book written by the build's writers from the golden book, with recordings to match.
class WrittenBook : public ::testing::Test {
protected:
    void SetUp() override {
        FillGoldenBook(view);
        ASSERT_EQ(view.WriteNcc(CString(book.Root())), 0);
        ASSERT_EQ(view.WriteSmilFiles(CString(book.Root())), 0);
        for (int n = 1; n <= 3; ++n)
            WriteWav(book.Path(CString::Formatted("A%06d.wav", n).str()), 22050,
                     Pattern(view.m_lstSection.GetAt(n - 1)->m_nSectionTime, n));
        reader.m_strProjectFolder = CString(project.Root());
    }
    int Read(int autoPage = 0, const std::string& ncc = "NCC.html") {
        return reader.LoadNcc(CString(book.Path(ncc)), &info, &sections, autoPage);
    }

    ScratchFolder book{"book"};
    ScratchFolder project{"project"};
    ScopedClock clock;
    CKorvaneView view;
    CDaisyBookReader reader;
    BookInfo info;
    CRecordList<CSectionInformation> sections;
};

TEST_F(WrittenBook, GivesBackTheBookItWasWrittenFrom) {
    info.m_strGenre = "kept?";
    ASSERT_EQ(Read(0, "ncc.HTML"), 0);
    EXPECT_EQ(info.m_strTitle, CKorvaneView::EscapeMarkup(view.m_bookInfo.m_strTitle));
    EXPECT_EQ(info.m_strPublisher, "点字図書館”声”");
    EXPECT_EQ(info.m_strOrgPublishDate, "19990102");
    EXPECT_EQ(info.m_strPublishDate, "20240315");
    EXPECT_EQ(info.m_strGenre, "技術書");
    EXPECT_EQ(info.m_strScheme, "NDC");
    EXPECT_EQ(info.m_strDiscrimination, view.m_bookInfo.m_strDiscrimination);

    ASSERT_EQ(sections.GetCount(), 3);
    for (int s = 0; s < 3; ++s) {
        const CSectionInformation* want = view.m_lstSection.GetAt(s);
        const CSectionInformation* got = sections.GetAt(s);
        EXPECT_EQ(got->m_nLevel, want->m_nLevel);
        EXPECT_EQ(got->m_strHeading, CKorvaneView::EscapeMarkup(want->m_strHeading));
        EXPECT_EQ(got->m_nSectionTime, want->m_nSectionTime);
        ASSERT_EQ(got->m_lstPhrase.GetCount(), want->m_lstPhrase.GetCount());
        uint32_t start = 0;
        for (int j = 0; j < got->m_lstPhrase.GetCount(); ++j) {
            const CPhraseInformation* w = want->m_lstPhrase.GetAt(j);
            const CPhraseInformation* g = got->m_lstPhrase.GetAt(j);
            const std::string where = "section " + std::to_string(s) + " phrase " + std::to_string(j);
            EXPECT_EQ(g->m_strFileName, CString::Formatted("A%06d.wav", s + 1)) << where;
            EXPECT_EQ(g->m_nBytesPerSec, 44100u) << where;
            EXPECT_EQ(g->m_nStart, start) << where;
            EXPECT_EQ(g->m_nLength, w->m_nLength) << where;
            start += w->m_nLength;
            // Automatic pages come back as the numbered pages they were written as; a
            // group on a section's first phrase is the heading's own and not written.
            EXPECT_EQ(g->m_nPageKind, w->m_nPageKind == 1 ? 2u : w->m_nPageKind) << where;
            if (w->m_nPageKind != 0) {
                EXPECT_EQ(g->m_strPageText, CKorvaneView::EscapeMarkup(w->m_strPageText)) << where;
            }
            EXPECT_EQ(g->m_nGroup, j == 0 ? 0u : w->m_nGroup) << where;
        }
    }
    EXPECT_FALSE(FileExists(CString(project.Path(kTempSmilName))));
}

TEST_F(WrittenBook, AutomaticPagesTakeEveryPageMarkWithoutItsText) {
    ASSERT_EQ(Read(1), 0);
    for (const auto& section : sections)
        for (const auto& phrase : section->m_lstPhrase)
            if (phrase->m_nPageKind != 0) {
                EXPECT_EQ(phrase->m_nPageKind, 1u);
                EXPECT_EQ(phrase->m_strPageText, "");
            }
    EXPECT_EQ(sections.GetAt(0)->m_lstPhrase.GetAt(0)->m_nPageKind, 1u);  // the front page
}

TEST_F(WrittenBook, WronglyDeclaredFilesAreReadAsShiftJis) {
    // An NCC that says UTF-8 and holds Shift_JIS is read in Shift_JIS.
    ASSERT_TRUE(ReplaceEvery(book.Path("NCC.html"), "Shift_JIS", "UTF-8"));
    // Without its declaration the Shift_JIS SMIL file is no UTF-8: the copy declares it.
    std::string smil = ReadBytes(book.Path("A000002.smil"));
    smil.erase(0, smil.find("\r\n") + 2);
    WriteBytes(book.Path("A000002.smil"), smil);
    // With a declaration the file's bytes contradict, the copy replaces it.
    std::string third = ReadBytes(book.Path("A000003.smil"));
    third.replace(0, third.find("\r\n"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    WriteBytes(book.Path("A000003.smil"), third);
    CUiScript script;
    ASSERT_EQ(Read(), 0);
    EXPECT_EQ(info.m_strTitle, CKorvaneView::EscapeMarkup(view.m_bookInfo.m_strTitle));
    ASSERT_EQ(sections.GetCount(), 3);
    for (int s = 0; s < 3; ++s)
        EXPECT_EQ(sections.GetAt(s)->m_strHeading, CKorvaneView::EscapeMarkup(view.m_lstSection.GetAt(s)->m_strHeading));
    EXPECT_EQ(sections.GetAt(2)->m_lstPhrase.GetCount(), 4);
    EXPECT_FALSE(FileExists(CString(project.Path(kTempSmilName))));
}

TEST_F(WrittenBook, ReaderFaultsAreShownAndNameTheFile) {
    struct Case {
        const char* what;
        const char* file;
        std::string from, to;  // every `from` in the file becomes `to`
        const char* message;   // part of the first box
    };
    const Case cases[] = {
        {"an unreadable clip file", "A000002.wav", "RIFF", "JUNK", "A000002.wav の音声形式が読み取れません。"},
        {"an end before its begin", "A000001.smil", "clip-end=\"npt=3.500s\"", "clip-end=\"npt=1.900s\"",
         "A000001.smil のクリップの終了時間が開始時間より前です。"},
        {"a time that is no time", "A000001.smil", "clip-begin=\"npt=0.000s\"", "clip-begin=\"npt=zero\"",
         "A000001.smil のクリップ時間が正しくありません。"},
        {"a clip past the recording", "A000003.smil", "clip-end=\"npt=50.000s\"", "clip-end=\"npt=90.000s\"",
         "A000003.smil のクリップ（npt=0.000s - npt=90.000s）が A000003.wav の長さを超えています。"},
        {"no clip at all", "A000003.smil", "<audio ", "<video ", "GetPhraseInformationでエラーが発生しました。"},
        {"a raw ampersand", "A000002.smil", "<body>", "<body>&", "A000002.smil の 16行目のデータに不正な文字"},
        {"a page mark without its phrase", "NCC.html", "<span id=\"page_000001\"", "<span id=\"page_999999\"",
         "GetTargetPhrase（Page）でエラーが発生しました。"},
        {"a page before any heading", "NCC.html", "<body>",
         "<body><span id=\"x\" class=\"page-normal\"><a href=\"A000001.smil#x\">1</a></span>",
         "フレーズが存在しません。（Page）"},
        {"a missing SMIL file", "NCC.html", "A000002.smil#", "A000009.smil#", "A000009.smil が存在しません。"},
        {"a link to the book's folder", "NCC.html", "A000002.smil#", "#", "が存在しません。"},
        {"an NCC in an encoding nobody knows", "NCC.html", "encoding=\"Shift_JIS\"", "encoding=\"x-nowhere\"",
         "NCC.htmlの文字コード（x-nowhere）には対応していません。"},
        {"an NCC that is no text", "NCC.html", "<body>", "<body>\x81\x20",
         "NCC.html には文字コード（Shift_JIS）として読めないデータが含まれているためインポート出来ません。"},
    };
    for (const Case& c : cases) {
        SetUp();
        ASSERT_TRUE(ReplaceEvery(book.Path(c.file), c.from, c.to)) << c.what;
        CUiScript script;
        script.AnswerBox(IDOK);
        EXPECT_NE(Read(), 0) << c.what;
        ASSERT_FALSE(script.BoxTexts().empty()) << c.what;
        EXPECT_NE(script.BoxTexts().front().str().find(c.message), std::string::npos)
            << c.what << ": " << script.BoxTexts().front().str();
        EXPECT_FALSE(FileExists(CString(project.Path(kTempSmilName)))) << c.what;
        sections.RemoveAll();
    }
}

// A book reads its own files only; the outside holds copies of the book's files, so
// that a link that reached them would read without a fault.
TEST_F(WrittenBook, LinksThatLeaveTheBookAreRefused) {
    ScratchFolder outside("outside");
    // Beside the book, under a name that begins with the book folder's own.
    ScratchFolder sibling("book2");
    ASSERT_EQ(sibling.Root().rfind(book.Root(), 0), 0u);
    const std::string out = "../" + fs::path(outside.Root()).filename().string();
    struct Case {
        const char* what;
        const char* file;
        std::string from, to;  // every `from` in the file becomes `to`
        std::string link;      // made a symbolic link to `target` in the book, when given
        std::string target;
        std::string message;   // the box; empty: the book reads
    };
    const std::string refused = "が図書のフォルダの外を指しているためインポート出来ません。";
    const Case cases[] = {
        {"an NCC link up and out", "NCC.html", "A000002.smil#", out + "/A000002.smil#", "", "",
         "NCC.html のリンク「" + out + "/A000002.smil」" + refused},
        {"a clip up and out", "A000002.smil", "src=\"A000002.wav\"", "src=\"" + out + "/secret.wav\"", "", "",
         "A000002.smil のリンク「" + out + "/secret.wav」" + refused},
        {"a clip by its own path", "A000002.smil", "src=\"A000002.wav\"", "src=\"" + outside.Path("secret.wav") + "\"",
         "", "", "A000002.smil のリンク「" + outside.Path("secret.wav") + "」" + refused},
        {"a clip file that links out", "A000002.smil", "", "", "A000002.wav", outside.Path("secret.wav"),
         "A000002.smil のリンク「A000002.wav」" + refused},
        {"a clip file that links into a folder beside the book", "A000002.smil", "", "", "A000002.wav",
         sibling.Path("secret.wav"), "A000002.smil のリンク「A000002.wav」" + refused},
        {"a clip file that links out, named in other case", "A000002.smil", "src=\"A000002.wav\"",
         "src=\"a000002.wav\"", "A000002.wav", outside.Path("secret.wav"),
         "A000002.smil のリンク「a000002.wav」" + refused},
        {"a SMIL file that links out", "NCC.html", "", "", "A000003.smil", outside.Path("A000003.smil"),
         "NCC.html のリンク「A000003.smil」" + refused},
        {"a folder that links out", "NCC.html", "A000002.smil#", "sub/A000002.smil#", "sub", outside.Root(),
         "NCC.html のリンク「sub/A000002.smil」" + refused},
        // Links that stay in the book are followed.
        {"a link to a file of the book", "A000002.smil", "src=\"A000002.wav\"", "src=\"./same.wav\"", "same.wav",
         "A000002.wav", ""},
    };
    for (const Case& c : cases) {
        SetUp();
        for (const char* name : {"A000002.smil", "A000003.smil"})
            WriteBytes(outside.Path(name), ReadBytes(book.Path(name)));
        WriteBytes(outside.Path("secret.wav"), ReadBytes(book.Path("A000002.wav")));
        WriteBytes(sibling.Path("secret.wav"), ReadBytes(book.Path("A000002.wav")));
        if (!c.from.empty()) {
            ASSERT_TRUE(ReplaceEvery(book.Path(c.file), c.from, c.to)) << c.what;
        }
        if (!c.link.empty()) {
            fs::remove(book.Path(c.link));
            fs::create_symlink(c.target, book.Path(c.link));
        }
        CUiScript script;
        if (!c.message.empty()) script.AnswerBox(IDOK);
        EXPECT_EQ(Read(), c.message.empty() ? 0 : 1) << c.what;
        std::string boxes;
        for (const CString& text : script.BoxTexts()) boxes += text.str();
        EXPECT_EQ(boxes, c.message) << c.what;
        fs::remove(book.Path(c.link.empty() ? "none" : c.link));
        sections.RemoveAll();
    }
}

// A clip may end after its audio by what the times' tenths of a second and an MP3
// file's whole frames round off, and no more: the rest of its speech is gone.
TEST(DaisyBookReader, AClipThatEndsAfterItsAudioIsRefused) {
    ScratchFolder book("book"), project("project");
    // A recording whose header promises 4 s and whose file was cut after 3.
    WriteWav(book.Path("cut.wav"), 16000, Pattern(4 * 32000, 1));
    const std::string wav = ReadBytes(book.Path("cut.wav"));
    WriteBytes(book.Path("cut.wav"), wav.substr(0, wav.size() - 32000));
    // 11 s of MP3 at 32 kbit/s, whole and cut after its first 12,000 bytes (3 s).
    WriteWav(book.Path("speech.wav"), 22050, Pattern(11 * 44100, 2));
    CViewWaveTaskHost host(nullptr);
    ASSERT_EQ(EncodeWaveToMp3(host, CString(book.Path("speech.wav")), CString(book.Path("speech.mp3")), 32000, 1, "c",
                              "t"),
              0);
    WriteBytes(book.Path("cut.mp3"), ReadBytes(book.Path("speech.mp3")).substr(0, 12000));
    WriteBytes(book.Path("ncc.html"),
               "<html><head><title>T</title></head><body><h1><a href=\"s.smil#t\">One</a></h1></body></html>");
    const struct {
        const char* src;
        const char* begin;
        const char* end;
        uint32_t length;      // of the phrase read
        const char* message;  // the box; empty: the clip is taken
    } rows[] = {
        {"cut.wav", "0.000", "4.000", 0, "s.smil のクリップ（npt=0.000s - npt=4.000s）が cut.wav の長さを超えています。"},
        {"cut.wav", "1.000", "3.200", 0, "s.smil のクリップ（npt=1.000s - npt=3.200s）が cut.wav の長さを超えています。"},
        {"cut.wav", "1.000", "3.100", 2 * 32000 + 3200, ""},
        {"speech.mp3", "2.000", "30.000", 0,
         "s.smil のクリップ（npt=2.000s - npt=30.000s）が speech.mp3 の長さを超えています。"},
        {"speech.mp3", "2.000", "11.000", 9 * 44100, ""},
        {"cut.mp3", "0.000", "5.000", 0, "s.smil のクリップ（npt=0.000s - npt=5.000s）が cut.mp3 の長さを超えています。"},
        {"cut.mp3", "0.000", "2.900", 2 * 44100 + 9 * 4410, ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.src) + " " + r.begin + " - " + r.end);
        WriteBytes(book.Path("s.smil"), std::string("<?xml version='1.0' encoding='utf-8'?><smil><body><seq>"
                                                    "<par id=\"t\"><text src=\"ncc.html#t\" id=\"t\"/><audio src=\"") +
                                            r.src + "\" clip-begin=\"npt=" + r.begin + "s\" clip-end=\"npt=" + r.end +
                                            "s\" id=\"a\"/></par></seq></body></smil>");
        CDaisyBookReader reader;
        reader.m_strProjectFolder = CString(project.Root());
        BookInfo info;
        CRecordList<CSectionInformation> sections;
        CUiScript script;
        if (*r.message) script.AnswerBox(IDOK);
        const int read = reader.LoadNcc(CString(book.Path("ncc.html")), &info, &sections, 0);
        std::string boxes;
        for (const CString& text : script.BoxTexts()) boxes += text.str();
        EXPECT_EQ(boxes, r.message);
        EXPECT_EQ(read, *r.message ? 1 : 0);
        if (read == 0) {
            EXPECT_EQ(sections.GetAt(0)->m_lstPhrase.GetAt(0)->m_nLength, r.length);
        }
    }
}

TEST(DaisyBookReader, ParsWithTheirClipsInsideAndMarksOfOtherKinds) {
    // A layout of another producer: each par holds its clip directly, and a note
    // reference span is no page mark.
    ScratchFolder book("book"), project("project");
    WriteWav(book.Path("a.wav"), 16000, Pattern(32000 * 3, 1));
    WriteBytes(book.Path("ncc.htm"),
               "<html><head><title>T</title><meta name=\"DC:Creator\" content=\"Me\"/>"
               "<meta name=\"dc:date\" content=\"2007-05-21\"/></head><body>"
               "<H1 class=\"title\"><a href=\"s.smil\">One</a></H1>"
               "<span class=\"noteref\" id=\"n\"><a href=\"s.smil#t2\">1</a></span>"
               "<span class=\"PAGE-FRONT\" id=\"p\"><a href=\"s.smil#t2\">ii</a></span>"
               "<div id=\"g\"><a href=\"s.smil#t3\">g</a></div></body></html>");
    WriteBytes(book.Path("s.smil"),
               "<?xml version='1.0' encoding='utf-8'?><smil><body><seq>"
               "<par id=\"t1\"><text src=\"c.html#x1\" id=\"x1\"/><audio src=\"A.WAV\" clip-begin=\"npt=0.000s\" "
               "clip-end=\"npt=1.000s\" id=\"a1\"/></par>"
               "<par id=\"t2\"><text src=\"c.html#x2\" id=\"p\"/><audio src=\"a.wav\" clip-begin=\"npt=1.000s\" "
               "clip-end=\"npt=2.5s\" id=\"a2\"/></par>"
               "<par id=\"t3\"><text src=\"ncc.htm#g\" id=\"x3\"/><audio src=\"a.wav\" clip-begin=\"npt=2.5s\" "
               "clip-end=\"npt=3s\" id=\"a3\"/></par></seq></body></smil>");
    CDaisyBookReader reader;
    reader.m_strProjectFolder = CString(project.Root());
    BookInfo info;
    info.m_strReader = "kept";
    CRecordList<CSectionInformation> sections;
    ASSERT_EQ(reader.LoadNcc(CString(book.Path("ncc.htm")), &info, &sections, 0), 0);
    EXPECT_EQ(info.m_strAuthor, "Me");
    EXPECT_EQ(info.m_strPublishDate, "20070521");
    EXPECT_EQ(info.m_strReader, "kept");
    ASSERT_EQ(sections.GetCount(), 1);
    const auto& phrases = sections.GetAt(0)->m_lstPhrase;
    ASSERT_EQ(phrases.GetCount(), 3);
    EXPECT_EQ(phrases.GetAt(1)->m_nStart, 32000u);
    EXPECT_EQ(phrases.GetAt(1)->m_nLength, 48000u);
    EXPECT_EQ(phrases.GetAt(0)->m_nPageKind, 0u);
    EXPECT_EQ(phrases.GetAt(1)->m_nPageKind, 3u);
    EXPECT_EQ(phrases.GetAt(1)->m_strPageText, "ii");
    EXPECT_EQ(phrases.GetAt(2)->m_nGroup, 1u);
    EXPECT_EQ(sections.GetAt(0)->m_nSectionTime, 96000u);
}

}  // namespace
