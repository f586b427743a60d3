#include <gtest/gtest.h>

#include <memory>

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

TEST(SectionRecord, AResetSectionShowsTheDefaults) {
    CSectionInformation s;
    s.m_nLevel = 4;
    s.m_strHeading = "第一章";
    s.m_strComment = "x";
    s.m_nSectionTime = 99;
    s.Reset();
    EXPECT_EQ(s.GetLevelText(), "1");
    EXPECT_EQ(s.m_strHeading, "見出し");
    EXPECT_TRUE(s.m_strComment.IsEmpty());
    EXPECT_EQ(s.m_nSectionTime, 0u);
    EXPECT_EQ(s.GetPhraseCountText(), "0");
    EXPECT_EQ(s.GetTimeText(), "00:00:00");
    EXPECT_EQ(s.GetPageText(), "");
}

TEST(SectionRecord, TimeTruncatesToSecondsAndCountsUnsignedLengths) {
    CSectionInformation s;
    // 3725.9 s in two phrases at 32000 bytes per second, and one without a byte rate.
    AddPhrase(s, 3600u * 32000u, 32000);
    AddPhrase(s, 125u * 32000u + 28800u, 32000);
    AddPhrase(s, 32000, 0);
    EXPECT_EQ(s.GetTimeText(), "01:02:05");
    EXPECT_EQ(s.GetPhraseCountText(), "3");

    CSectionInformation large;  // lengths of 2^31 and above count as positive
    for (int i = 0; i < 60; ++i) AddPhrase(large, 0xF0000000u, 32000);  // 60 × 125829.12 s
    EXPECT_EQ(large.GetTimeText(), "2097:09:07");
}

TEST(SectionRecord, PageSummaryOverNumberedPagesOnly) {
    const struct { std::vector<std::pair<uint32_t, const char*>> pages; const char* summary; } cases[] = {
        {{{1, "3"}, {3, "i"}, {2, "4"}, {1, "5"}}, "3 - 5 (3)"},  // front matter takes no part
        {{{1, "3"}}, "3 (1)"},
        {{{1, ""}, {1, ""}}, "(2)"},
        {{{4, "A"}}, ""},
    };
    for (const auto& c : cases) {
        CSectionInformation s;
        for (auto [kind, text] : c.pages) AddPhrase(s, 1, 1, kind, text);
        EXPECT_EQ(s.GetPageText(), c.summary);
    }
}

TEST(PhraseRecord, LengthPausePageAndFlagTexts) {
    CPhraseInformation p;
    p.m_nLength = 17640;
    p.m_nPause = 88200;
    p.m_nBytesPerSec = 44100;
    EXPECT_EQ(p.GetLengthText(), "0.4");
    EXPECT_EQ(p.GetPauseText(), "2.0");
    p.m_nLength = 0xFFFFFFFFu;
    p.m_nBytesPerSec = 32000;
    EXPECT_EQ(p.GetLengthText(), "134217.7");

    const struct { uint32_t kind; const char* text; const char* shown; } pages[] = {
        {0, "12", ""}, {1, "", "*"}, {1, "7", "7"}, {2, "12", "(12)"}, {3, "i", "[i]"}, {4, "A", "<A>"}, {5, "x", ""},
    };
    for (const auto& c : pages) {
        p.m_nPageKind = c.kind;
        p.m_strPageText = c.text;
        EXPECT_EQ(p.GetPageText(), c.shown) << "kind " << c.kind;
    }
    for (uint32_t v : {0u, 1u, 2u, 0xFFFFFFFFu}) {  // only exactly 1 is shown
        p.m_nGroup = p.m_nMark = v;
        EXPECT_EQ(p.GetGroupText(), v == 1 ? "*" : "") << v;
        EXPECT_EQ(p.GetMarkText(), v == 1 ? "*" : "") << v;
    }
}

}  // namespace
