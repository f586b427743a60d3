// The three book files: exact bytes for a fixed book, and the rules behind them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "DaisyTestSupport.h"
#include "daisy/DaisyBuild.h"

using namespace daisytest;

namespace {

const char* const kBookFiles[] = {"NCC.html", "A000001.smil", "A000002.smil", "A000003.smil", "DiscInfo.html"};

class BookWriters : public ::testing::Test {
protected:
    void SetUp() override { FillGoldenBook(view); }
    void Write() {
        ASSERT_EQ(view.WriteNcc(CString(folder.Root())), 0);
        ASSERT_EQ(view.WriteSmilFiles(CString(folder.Root())), 0);
        ASSERT_EQ(view.WriteDiscInfo(CString(folder.Root()), "SoftBook"), 0);
    }

    ScratchFolder folder;
    ScopedClock clock;
    CKorvaneView view;
};

TEST_F(BookWriters, FixedBookGivesTheGoldenBytes) {
    Write();
    const bool update = std::getenv("KORVANE_UPDATE_GOLDEN") != nullptr;
    for (const char* name : kBookFiles) {
        const std::string actual = ReadBytes(folder.Path(name));
        const std::string golden = DataPath(std::string("daisy/golden/") + name);
        if (update) WriteBytes(golden, actual);
        EXPECT_EQ(actual, ReadBytes(golden)) << name;
        // Lines end in CR LF, and the markup characters of the book's texts are escaped.
        for (size_t i = actual.find_first_of("\r\n"); i != std::string::npos; i = actual.find_first_of("\r\n", i + 2))
            ASSERT_EQ(actual.compare(i, 2, "\r\n"), 0) << name << " at " << i;
        EXPECT_EQ(actual.find('&'), std::string::npos) << name;
        EXPECT_EQ(actual.find("<上"), std::string::npos) << name;
    }
    EXPECT_EQ(CheckBookLinks(folder.Root()), std::vector<std::string>{});
}

TEST_F(BookWriters, ChangesToTheFixedBookShowInTheFiles) {
    struct Case {
        const char* what;
        std::function<void(CKorvaneView&)> change;
        const char* file;
        const char* expected;
    };
    auto fiveHourSections = [](CKorvaneView& v) {
        // Four sections of five hours at 44.1 kHz pass 2^32 bytes after the third.
        v.SetProjectFormat(2);
        v.m_lstSection.RemoveAll();
        for (int i = 0; i < 4; ++i)
            v.m_lstSection.Add(std::make_unique<CSectionInformation>())->m_nSectionTime = 5u * 3600u * 88200u;
    };
    const Case cases[] = {
        {"an identifier of the book's own is kept", [](CKorvaneView& v) { v.m_bookInfo.m_strDiscrimination = "BOOK-1"; },
         "A000003.smil", "<meta name=\"dc:identifier\" content=\"BOOK-1\"/>"},
        {"an eight-byte date is reshaped", [](CKorvaneView& v) { v.m_bookInfo.m_strPublishDate = "20230401"; },
         "NCC.html", "<meta name=\"dc:date\" content=\"2023-04-01\" scheme=\"yyyy-mm-dd\"/>"},
        {"dates are escaped", [](CKorvaneView& v) { v.m_bookInfo.m_strOrgPublishDate = "1999<1>"; }, "NCC.html",
         "<meta name=\"ncc:sourceDate\" content=\"1999＜1＞\" scheme=\"yyyy-mm-dd\"/>"},
        {"the first heading is the title at any level", [](CKorvaneView& v) { v.m_lstSection.GetAt(0)->m_nLevel = 2; },
         "NCC.html",
         "\t<h1 id=\"heading_000001\" class=\"title\"><a href=\"A000001.smil#bookid_000001\">"},
        {"page texts are escaped",
         [](CKorvaneView& v) { v.m_lstSection.GetAt(1)->m_lstPhrase.GetAt(0)->m_strPageText = "1&\"2\""; },
         "NCC.html", ">1＆”2”</a></span>"},
        {"DiscInfo without a title links by the project's name",
         [](CKorvaneView& v) { v.m_bookInfo.m_strTitle = ""; }, "DiscInfo.html",
         "<a href=\"./SoftBook/NCC.html\">タイトルなし</a>\r\n"},
        {"a section without phrases has no audio",
         [](CKorvaneView& v) { v.m_lstSection.GetAt(2)->m_lstPhrase.RemoveAll(); }, "A000003.smil",
         "id=\"bookid_000009\"/>\r\n\t</par>\r\n</seq>\r\n</body>\r\n</smil>\r\n"},
        {"a page number beyond int is the largest int, not a wrapped one",
         [](CKorvaneView& v) { v.m_lstSection.GetAt(1)->m_lstPhrase.GetAt(0)->m_strPageText = "99999999999999"; },
         "NCC.html", "<meta name=\"ncc:maxPageNormal\" content=\"2147483647\"/>"},
        {"the total time sums in 64 bits", fiveHourSections, "NCC.html",
         "<meta name=\"ncc:totalTime\" content=\"20:00:00\" scheme=\"hh:mm:ss\"/>"},
        {"the elapsed time sums in 64 bits", fiveHourSections, "A000004.smil",
         "<meta name=\"ncc:totalElapsedTime\" content=\"15:00:00\"/>"},
    };
    for (const Case& c : cases) {
        FillGoldenBook(view);
        c.change(view);
        Write();
        EXPECT_NE(ReadBytes(folder.Path(c.file)).find(c.expected), std::string::npos) << c.what;
    }
}

TEST_F(BookWriters, ABookWithoutAnOriginalDateNamesNone) {
    view.m_bookInfo.m_strOrgPublishDate = "";
    Write();
    const std::string ncc = ReadBytes(folder.Path("NCC.html"));
    EXPECT_EQ(ncc.find("ncc:sourceDate"), std::string::npos);
    EXPECT_NE(ncc.find("<meta name=\"ncc:sourcePublisher\""), std::string::npos);
    EXPECT_NE(ncc.find("<meta name=\"ncc:multimediaType\" content=\"audioNcc\"/>"), std::string::npos);
}

TEST(BookText, EscapeMarkupOnceAndLastPathComponent) {
    // The golden files hold the escapes of every markup character; escaping again changes nothing.
    EXPECT_EQ(CKorvaneView::EscapeMarkup(CKorvaneView::EscapeMarkup("a&b<c>d'e\"f")), "a＆b＜c＞d’e”f");
    EXPECT_EQ(GetLastPathComponent("/home/u/表ソフト"), "表ソフト");
    EXPECT_EQ(GetLastPathComponent("ソ"), "ソ");
    EXPECT_EQ(GetLastPathComponent("/a/b/"), "");
}

}  // namespace
