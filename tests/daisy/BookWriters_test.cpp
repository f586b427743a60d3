// The three book files: exact bytes for a fixed book, and the rules behind them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "DaisyTestSupport.h"
#include "daisy/DaisyBuild.h"

using namespace daisytest;

namespace {

const char* const kBookFiles[] = {"NCC.html", "A000001.smil", "A000002.smil", "A000003.smil", "DiscInfo.html"};

class BookWriters : public ::testing::Test {
protected:
    void SetUp() override { FillGoldenBook(view); }
    std::string Write() {
        EXPECT_EQ(view.WriteNcc(CString(folder.Root())), 0);
        EXPECT_EQ(view.WriteSmilFiles(CString(folder.Root())), 0);
        EXPECT_EQ(view.WriteDiscInfo(CString(folder.Root()), "SoftBook"), 0);
        return ReadBytes(folder.Path("NCC.html"));
    }
    std::string File(const char* name) { return ReadBytes(folder.Path(name)); }
    static bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

    ScratchFolder folder;
    ScopedClock clock{FixedTime()};
    CKorvaneView view;
};

TEST_F(BookWriters, FixedBookGivesTheGoldenBytes) {
    Write();
    const bool update = std::getenv("KORVANE_UPDATE_GOLDEN") != nullptr;
    for (const char* name : kBookFiles) {
        const std::string actual = File(name);
        const std::string golden = DataPath(std::string("daisy/golden/") + name);
        if (update) WriteBytes(golden, actual);
        EXPECT_EQ(actual, ReadBytes(golden)) << name;
        // Every line ends in CR LF; no bare LF or CR anywhere.
        for (size_t i = 0; i < actual.size(); ++i) {
            if (actual[i] == '\n') {
                ASSERT_TRUE(i > 0 && actual[i - 1] == '\r') << name << " at " << i;
            } else if (actual[i] == '\r') {
                ASSERT_TRUE(i + 1 < actual.size() && actual[i + 1] == '\n') << name << " at " << i;
            }
        }
    }
    EXPECT_TRUE(CheckBookLinks(folder.Root()).empty());
}

TEST_F(BookWriters, EmptyIdentifierBecomesTheTimeStampEverywhere) {
    const std::string ncc = Write();
    EXPECT_EQ(view.m_bookInfo.m_strDiscrimination, "240315093005");
    EXPECT_TRUE(Contains(ncc, "<meta name=\"dc:identifier\" content=\"240315093005\"/>"));
    for (const char* smil : {"A000001.smil", "A000002.smil", "A000003.smil"})
        EXPECT_TRUE(Contains(File(smil), "<meta name=\"dc:identifier\" content=\"240315093005\"/>")) << smil;
    // A book that has an identifier keeps it.
    view.m_bookInfo.m_strDiscrimination = "BOOK-1";
    EXPECT_TRUE(Contains(Write(), "content=\"BOOK-1\""));
}

TEST_F(BookWriters, MaxPageNormalReadsTheLeadingNumber) {
    CPhraseInformation* p = view.m_lstSection.GetAt(1)->m_lstPhrase.GetAt(0);
    p->m_strPageText = " 120a";
    EXPECT_EQ(view.GetMaxPageNormal(), 120);
    p->m_strPageText = "99999999999999";  // beyond int: the largest value, not a wrapped one
    EXPECT_EQ(view.GetMaxPageNormal(), 2147483647);
    view.m_lstSection.RemoveAll();
    EXPECT_EQ(view.GetMaxPageNormal(), 0);
    EXPECT_EQ(view.GetMaxDepth(), 1);
}

TEST_F(BookWriters, FirstHeadingIsTheTitleWhateverItsLevel) {
    view.m_lstSection.GetAt(0)->m_nLevel = 2;
    view.m_lstSection.GetAt(1)->m_nLevel = 0;
    const std::string ncc = Write();
    EXPECT_TRUE(Contains(ncc, "\t<h1 id=\"heading_000001\" class=\"title\"><a href=\"A000001.smil#bookid_000001\">"));
    EXPECT_TRUE(Contains(ncc, "\t<h1 id=\"heading_000002\" class=\"section\"><a href=\"A000002.smil#bookid_000003\">"));
}

TEST_F(BookWriters, DatesAreReshapedOnlyWhenEightBytesLong) {
    view.m_bookInfo.m_strPublishDate = "20230401";
    view.m_bookInfo.m_strOrgPublishDate = "";
    std::string ncc = Write();
    EXPECT_TRUE(Contains(ncc, "<meta name=\"dc:date\" content=\"2023-04-01\" scheme=\"yyyy-mm-dd\"/>"));
    EXPECT_TRUE(Contains(ncc, "<meta name=\"ncc:sourceDate\" content=\"\" scheme=\"yyyy-mm-dd\"/>"));
    view.m_bookInfo.m_strPublishDate = "2023/04/01";
    view.m_bookInfo.m_strOrgPublishDate = "1999<1>";
    ncc = Write();
    EXPECT_TRUE(Contains(ncc, "content=\"2023/04/01\" scheme=\"yyyy-mm-dd\"/>"));
    // Dates are free text in the record: escaped like any other.
    EXPECT_TRUE(Contains(ncc, "<meta name=\"ncc:sourceDate\" content=\"1999＜1＞\" scheme=\"yyyy-mm-dd\"/>"));
    // An empty publication date is the day of the build.
    view.m_bookInfo.m_strPublishDate = "";
    EXPECT_TRUE(Contains(Write(), "<meta name=\"dc:date\" content=\"2024-03-15\" scheme=\"yyyy-mm-dd\"/>"));
}

TEST_F(BookWriters, PageTextsAndTitleAreEscapedEverywhere) {
    view.m_lstSection.GetAt(1)->m_lstPhrase.GetAt(0)->m_strPageText = "1&\"2\"";
    const std::string ncc = Write();
    EXPECT_TRUE(Contains(ncc, ">1＆”2”</a></span>"));
    EXPECT_TRUE(Contains(ncc, "<title>ソフトウェア表現の本 ＆ ＜上＞</title>"));
    EXPECT_TRUE(Contains(File("A000001.smil"), "<meta name=\"dc:title\" content=\"ソフトウェア表現の本 ＆ ＜上＞\"/>"));
    EXPECT_TRUE(Contains(File("DiscInfo.html"), "<a href=\"./SoftBook/NCC.html\">ソフトウェア表現の本 ＆ ＜上＞</a>"));
    for (const char* name : kBookFiles) {
        const std::string text = File(name);
        EXPECT_FALSE(Contains(text, "&")) << name;
        EXPECT_FALSE(Contains(text, "<上")) << name;
    }
}

TEST_F(BookWriters, DiscInfoWithoutTitleLinksByProjectName) {
    view.m_bookInfo.m_strTitle = "";
    ASSERT_EQ(view.WriteDiscInfo(CString(folder.Root()), "表ソフト"), 0);
    EXPECT_TRUE(Contains(File("DiscInfo.html"), "<a href=\"./表ソフト/NCC.html\">タイトルなし</a>\r\n"));
}

TEST_F(BookWriters, TotalTimeSumsIn64Bits) {
    // One hour, one minute and one second in all.
    view.m_lstSection.GetAt(0)->m_nSectionTime = 3600u * 44100u;
    view.m_lstSection.GetAt(1)->m_nSectionTime = 60u * 44100u;
    view.m_lstSection.GetAt(2)->m_nSectionTime = 44100u + 44099u;
    EXPECT_EQ(view.GetTotalTimeText(), "01:01:01");

    // Four sections of five hours at 44.1 kHz pass 2^32 bytes after the third.
    view.SetProjectFormat(2);
    view.m_lstSection.RemoveAll();
    for (int i = 0; i < 4; ++i) {
        auto* s = view.m_lstSection.Add(std::make_unique<CSectionInformation>());
        s->m_nSectionTime = 5u * 3600u * 88200u;
    }
    EXPECT_EQ(view.GetTotalTimeText(), "20:00:00");
    const std::string ncc = Write();
    EXPECT_TRUE(Contains(ncc, "<meta name=\"ncc:totalTime\" content=\"20:00:00\" scheme=\"hh:mm:ss\"/>"));
    EXPECT_TRUE(Contains(File("A000004.smil"), "<meta name=\"ncc:totalElapsedTime\" content=\"15:00:00\"/>"));
}

TEST_F(BookWriters, SmilClipsAndEmptySections) {
    view.SetProjectFormat(2);
    CSectionInformation* s = view.m_lstSection.GetAt(0);
    s->m_lstPhrase.GetAt(0)->m_nStart = 88200;
    s->m_lstPhrase.GetAt(0)->m_nLength = 44100;
    view.m_lstSection.GetAt(2)->m_lstPhrase.RemoveAll();
    Write();
    const std::string smil1 = File("A000001.smil");
    // The page mark on the first phrase: the heading's par holds only its text.
    EXPECT_TRUE(Contains(smil1,
                         "\t\t<text src=\"NCC.html#heading_000001\" id=\"bookid_000001\"/>\r\n\t</par>\r\n"
                         "\t<par endsync=\"last\">\r\n\t\t<text src=\"NCC.html#page_000001\" id=\"bookid_000002\"/>\r\n"
                         "\t\t<seq>\r\n\t\t\t<audio src=\"A000001.wav\" clip-begin=\"npt=1.000s\" clip-end=\"npt=1.500s\" "
                         "id=\"phrase_000001\"/>\r\n"));
    const std::string smil3 = File("A000003.smil");
    EXPECT_FALSE(Contains(smil3, "<audio"));
    EXPECT_TRUE(Contains(smil3, "id=\"bookid_000009\"/>\r\n\t</par>\r\n</seq>\r\n</body>\r\n</smil>\r\n"));
}

TEST_F(BookWriters, FailuresAreReported) {
    // A folder that does not exist: nothing can be opened.
    const CString missing = CString(folder.Path("missing"));
    EXPECT_EQ(view.WriteNcc(missing), 4);
    EXPECT_EQ(view.WriteSmilFiles(missing), 4);
    EXPECT_EQ(view.WriteDiscInfo(missing, "x"), 4);
    // A write that does not reach the disk is a failure too, not a short file.
    {
        ScopedFault fault(EBookFileStep::Ncc);
        EXPECT_NE(view.WriteNcc(CString(folder.Root())), 0);
    }
    {
        ScopedFault fault(EBookFileStep::DiscInfo);
        EXPECT_NE(view.WriteDiscInfo(CString(folder.Root()), "x"), 0);
    }
    {
        ScopedFault fault(EBookFileStep::Smil, 2);
        EXPECT_NE(view.WriteSmilFiles(CString(folder.Root())), 0);
        EXPECT_TRUE(std::filesystem::exists(folder.Path("A000001.smil")));
        EXPECT_FALSE(std::filesystem::exists(folder.Path("A000003.smil")));
    }
}

TEST(BookText, EscapeMarkupUsesFullWidthFormsOnce) {
    EXPECT_EQ(CKorvaneView::EscapeMarkup("a&b<c>d'e\"f"), "a＆b＜c＞d’e”f");
    EXPECT_EQ(CKorvaneView::EscapeMarkup("＆＜"), "＆＜");
    const CString once = CKorvaneView::EscapeMarkup("<&>");
    EXPECT_EQ(CKorvaneView::EscapeMarkup(once), once);
    // "ソ" and "表" end in 0x5C; they pass through untouched.
    EXPECT_EQ(CKorvaneView::EscapeMarkup("ソ表\\"), "ソ表\\");
    EXPECT_EQ(std::string(CKorvaneView::EscapeMarkup("&").c_str()), "\x81\x95");
    EXPECT_EQ(CKorvaneView::EscapeMarkup(""), "");
}

TEST(BookText, LastPathComponent) {
    EXPECT_EQ(GetLastPathComponent("/home/u/表ソフト"), "表ソフト");
    EXPECT_EQ(GetLastPathComponent("ソ"), "ソ");
    EXPECT_EQ(GetLastPathComponent("/a/b/"), "");
    EXPECT_EQ(GetLastPathComponent(""), "");
}

}  // namespace
