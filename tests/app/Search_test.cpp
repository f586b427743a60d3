#include <gtest/gtest.h>

#include <memory>

#include "app/SearchDlgs.h"

namespace {

CRecordList<CSectionInformation> Book(std::initializer_list<std::pair<const char*, int>> sections) {
    CRecordList<CSectionInformation> book;
    for (const auto& [heading, level] : sections) {
        auto s = std::make_unique<CSectionInformation>();
        s->m_strHeading = heading;
        s->m_nLevel = level;
        book.Add(std::move(s));
    }
    return book;
}

void AddPhrase(CSectionInformation& section, uint32_t kind, const char* text) {
    auto p = std::make_unique<CPhraseInformation>();
    p->m_nPageKind = kind;
    p->m_strPageText = text;
    section.m_lstPhrase.Add(std::move(p));
}

TEST(Search, SectionsByHeadingAndLevelWrapOnceWithTheStartLast) {
    const auto book = Book({{"第一章", 0}, {"表紙ソ", 1}, {"付録", 1}, {"第一章の続き", 2}});
    const struct {
        int selected;
        const char* text;
        int found;
    } headings[] = {
        {0, "第一章", 3}, {3, "第一章", 0},  {1, "表紙", 1},  // only the selected one matches: found last
        {-1, "付録", 2},  {4, "第一", 0},    // nothing selected, or the extra row: from the top
        {0, "\\", -1},    {0, "ソ", 1},      // 0x5C is never matched inside a character
        {0, "無い", -1},
    };
    for (const auto& c : headings) EXPECT_EQ(FindSectionByHeading(book, c.selected, c.text), c.found) << c.text;
    EXPECT_EQ(FindSectionByLevel(book, 1, 1), 2);
    EXPECT_EQ(FindSectionByLevel(book, 2, 1), 1);
    EXPECT_EQ(FindSectionByLevel(book, 0, 5), -1);
    EXPECT_EQ(FindSectionByHeading(CRecordList<CSectionInformation>(), -1, "x"), -1);
}

TEST(Search, PagesInTurnFromThePhraseAfterTheSelectionAroundTheBook) {
    auto book = Book({{"a", 0}, {"b", 0}, {"c", 0}});
    AddPhrase(*book.GetAt(0), 2, "1");
    AddPhrase(*book.GetAt(0), 0, "1");  // no page: never found, whatever its text
    AddPhrase(*book.GetAt(1), 1, "10");
    AddPhrase(*book.GetAt(2), 3, "表");
    AddPhrase(*book.GetAt(2), 2, "21");
    // Repeated searches visit pages 1, 10 and 21, then 1 again.
    int s = 0, p = -1;
    const std::pair<int, int> expected[] = {{0, 0}, {1, 0}, {2, 1}, {0, 0}};
    for (const auto& [es, ep] : expected) {
        ASSERT_TRUE(FindPhraseByPage(book, s, p, "1", s, p));
        EXPECT_EQ(std::make_pair(s, p), std::make_pair(es, ep));
    }
    // The start section is searched again from its first phrase at the end.
    ASSERT_TRUE(FindPhraseByPage(book, 2, 1, "表", s, p));
    EXPECT_EQ(std::make_pair(s, p), std::make_pair(2, 0));
    EXPECT_FALSE(FindPhraseByPage(book, 0, 0, "\\", s, p));
    // Nothing selected, or the extra row: from the first phrase of the first section.
    ASSERT_TRUE(FindPhraseByPage(book, -1, -1, "1", s, p));
    EXPECT_EQ(std::make_pair(s, p), std::make_pair(0, 0));
    ASSERT_TRUE(FindPhraseByPage(book, 3, 0, "1", s, p));
    EXPECT_EQ(std::make_pair(s, p), std::make_pair(0, 0));
}

}  // namespace
