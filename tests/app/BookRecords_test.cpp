#include <gtest/gtest.h>

#include <memory>

#include "app/BookInfo.h"
#include "app/SectionInformation.h"

namespace {

CPhraseInformation* AddPhrase(CSectionInformation& s, uint32_t length, uint32_t bytesPerSec, uint32_t pageKind = 0,
                              const char* pageText = "") {
    auto p = std::make_unique<CPhraseInformation>();
    p->m_nLength = length;
    p->m_nBytesPerSec = bytesPerSec;
    p->m_nPageKind = pageKind;
    p->m_strPageText = pageText;
    return s.m_lstPhrase.Add(std::move(p));
}

TEST(SectionRecord, FreshSectionShowsDefaults) {
    CSectionInformation s;
    EXPECT_EQ(s.GetLevelText(), "1");
    EXPECT_EQ(s.m_strHeading, "見出し");
    EXPECT_EQ(s.GetPhraseCountText(), "0");
    EXPECT_EQ(s.GetTimeText(), "00:00:00");
    EXPECT_EQ(s.GetPageText(), "");
}

TEST(SectionRecord, TimeTruncatesAndSplitsIntoHoursMinutesSeconds) {
    CSectionInformation s;
    // 3725.9 s in two phrases at 32000 bytes per second.
    AddPhrase(s, 3600u * 32000u, 32000);
    AddPhrase(s, 125u * 32000u + 28800u, 32000);
    EXPECT_EQ(s.GetTimeText(), "01:02:05");
    EXPECT_EQ(s.GetPhraseCountText(), "2");
}

TEST(SectionRecord, TimeKeepsHoursBeyondTwoDigitsAndLargeUnsignedLengths) {
    CSectionInformation s;
    // Lengths of 2^31 and above must count as positive.
    for (int i = 0; i < 60; ++i) AddPhrase(s, 0xF0000000u, 32000);  // 60 × 125829.12 s
    EXPECT_EQ(s.GetTimeText(), "2097:09:07");
}

TEST(SectionRecord, PhraseWithoutByteRateCountsNoTime) {
    CSectionInformation s;
    AddPhrase(s, 32000, 0);
    AddPhrase(s, 64000, 32000);
    EXPECT_EQ(s.GetTimeText(), "00:00:02");
}

TEST(SectionRecord, PageSummaryOverNumberedPagesOnly) {
    CSectionInformation a;
    AddPhrase(a, 1, 1, 1, "3");
    AddPhrase(a, 1, 1, 3, "i");  // front matter takes no part
    AddPhrase(a, 1, 1, 2, "4");
    AddPhrase(a, 1, 1, 1, "5");
    EXPECT_EQ(a.GetPageText(), "3 - 5 (3)");

    CSectionInformation one;
    AddPhrase(one, 1, 1, 1, "3");
    EXPECT_EQ(one.GetPageText(), "3 (1)");

    CSectionInformation blank;
    AddPhrase(blank, 1, 1, 1, "");
    AddPhrase(blank, 1, 1, 1, "");
    EXPECT_EQ(blank.GetPageText(), "(2)");

    CSectionInformation special;
    AddPhrase(special, 1, 1, 4, "A");
    EXPECT_EQ(special.GetPageText(), "");
}

TEST(SectionRecord, ResetRestoresAFreshRecord) {
    CSectionInformation s;
    s.m_nLevel = 4;
    s.m_strHeading = "第一章";
    s.m_strComment = "x";
    s.m_nSectionTime = 99;
    s.m_nPhraseCount = 3;
    s.Reset();
    EXPECT_EQ(s.m_nLevel, 0);
    EXPECT_EQ(s.m_strHeading, "見出し");
    EXPECT_TRUE(s.m_strComment.IsEmpty());
    EXPECT_EQ(s.m_nSectionTime, 0u);
    EXPECT_EQ(s.m_nPhraseCount, 0u);
}

TEST(PhraseRecord, LengthAndPauseInTenthsOfSeconds) {
    CPhraseInformation p;
    p.m_nLength = 17640;
    p.m_nPause = 88200;
    p.m_nBytesPerSec = 44100;
    EXPECT_EQ(p.GetLengthText(), "0.4");
    EXPECT_EQ(p.GetPauseText(), "2.0");
    p.m_nLength = 0xFFFFFFFFu;
    p.m_nBytesPerSec = 32000;
    EXPECT_EQ(p.GetLengthText(), "134217.7");
}

TEST(PhraseRecord, PageTextByKind) {
    CPhraseInformation p;
    const struct { uint32_t kind; const char* text; const char* shown; } cases[] = {
        {0, "12", ""}, {1, "", "*"}, {1, "7", "7"}, {2, "12", "(12)"}, {3, "i", "[i]"}, {4, "A", "<A>"}, {5, "x", ""},
    };
    for (const auto& c : cases) {
        p.m_nPageKind = c.kind;
        p.m_strPageText = c.text;
        EXPECT_EQ(p.GetPageText(), c.shown) << "kind " << c.kind;
    }
}

TEST(PhraseRecord, FlagsShowOnlyForExactlyOne) {
    CPhraseInformation p;
    for (uint32_t v : {0u, 2u, 0xFFFFFFFFu}) {
        p.m_nGroup = p.m_nMark = v;
        EXPECT_EQ(p.GetGroupText(), "");
        EXPECT_EQ(p.GetMarkText(), "");
    }
    p.m_nGroup = p.m_nMark = 1;
    EXPECT_EQ(p.GetGroupText(), "*");
    EXPECT_EQ(p.GetMarkText(), "*");
}

TEST(BookInfoRecord, ClearEmptiesEveryField) {
    BookInfo b;
    b.m_strTitle = "題";
    b.m_strScheme = "NDC";
    b.m_strOrgPublishDate = "2020";
    b.Clear();
    EXPECT_TRUE(b.m_strTitle.IsEmpty());
    EXPECT_TRUE(b.m_strScheme.IsEmpty());
    EXPECT_TRUE(b.m_strOrgPublishDate.IsEmpty());
}

TEST(RecordListOwnership, RemoveHandsOverAndOutOfRangeIsSafe) {
    CRecordList<CPhraseInformation> list;
    list.Add(std::make_unique<CPhraseInformation>())->m_nStart = 1;
    list.InsertAt(0, std::make_unique<CPhraseInformation>())->m_nStart = 0;
    list.InsertAt(99, std::make_unique<CPhraseInformation>())->m_nStart = 2;
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetAt(1)->m_nStart, 1u);
    EXPECT_EQ(list.GetAt(3), nullptr);
    EXPECT_EQ(list.GetAt(-1), nullptr);
    auto taken = list.RemoveAt(0);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->m_nStart, 0u);
    EXPECT_EQ(list.RemoveAt(5), nullptr);
    EXPECT_EQ(list.GetCount(), 2);
}

}  // namespace
