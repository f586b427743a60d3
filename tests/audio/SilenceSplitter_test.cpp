#include "audio/SilenceSplitter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/BookLimits.h"

namespace {

// 16000 Hz: a block is 1600 samples, 3200 bytes.
constexpr uint32_t kBps = 32000;
constexpr uint32_t kB = 3200;
constexpr size_t kBlockSamples = 1600;

// A recording written as runs of blocks: "S5 Q2 S5" is five sound blocks, two quiet ones
// and five sound blocks. "S" blocks are a square wave at half scale (-6 dB), "Q" blocks
// digital silence; a trailing "+n" adds n sound samples (a block cut short).
std::vector<int16_t> Recording(const std::string& script) {
    std::vector<int16_t> out;
    size_t i = 0;
    while (i < script.size()) {
        const char kind = script[i++];
        if (kind == ' ') continue;
        size_t used = 0;
        const long n = std::stol(script.substr(i), &used);
        i += used;
        const size_t samples = kind == '+' ? static_cast<size_t>(n) : static_cast<size_t>(n) * kBlockSamples;
        for (size_t k = 0; k < samples; ++k)
            out.push_back(kind == 'Q' ? int16_t{0} : static_cast<int16_t>(k % 2 ? 16384 : -16384));
    }
    return out;
}

struct Phrase {
    uint32_t start, length, pause;
    bool operator==(const Phrase&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Phrase& p) {
    return os << "{" << p.start / kB << "b+" << p.start % kB << ", " << p.length / kB << "b+" << p.length % kB << ", "
              << p.pause / kB << "b}";
}
Phrase P(double startBlocks, double lengthBlocks, double pauseBlocks) {
    return {static_cast<uint32_t>(startBlocks * kB), static_cast<uint32_t>(lengthBlocks * kB),
            static_cast<uint32_t>(pauseBlocks * kB)};
}
using Sections = std::vector<std::vector<Phrase>>;

Sections Shape(const CRecordList<CSectionInformation>& book) {
    Sections out;
    for (const auto& section : book) {
        std::vector<Phrase> phrases;
        for (const auto& p : section->m_lstPhrase) phrases.push_back({p->m_nStart, p->m_nLength, p->m_nPause});
        out.push_back(phrases);
    }
    return out;
}

void AddSection(CRecordList<CSectionInformation>& book, int phrases, const char* heading = "見出し") {
    auto section = std::make_unique<CSectionInformation>();
    section->m_strHeading = heading;
    for (int i = 0; i < phrases; ++i) section->m_lstPhrase.Add(std::make_unique<CPhraseInformation>());
    book.Add(std::move(section));
}

// Imports `script` into `book` from row `index`, fed in pieces of `piece` samples (0: all
// at once); returns the row the next recording would continue from.
int Import(CRecordList<CSectionInformation>& book, const std::string& script, int phrasePause, int sectionPause,
           int index = -1, size_t piece = 0) {
    const std::vector<int16_t> samples = Recording(script);
    CSilenceSplitter splitter(book, MakeSplitSettings(phrasePause, sectionPause, -35), kBps, "A000001.wav", "rec.wav");
    EXPECT_TRUE(splitter.Begin(index));
    if (piece == 0) piece = samples.size() + 1;
    for (size_t i = 0; i < samples.size(); i += piece)
        EXPECT_TRUE(splitter.Feed(samples.data() + i, std::min(piece, samples.size() - i)));
    splitter.Finish(false, samples.size() * 2);
    return splitter.GetCurrentIndex();
}

}  // namespace

TEST(BlockLevel, WholeDecibelsTowardZero) {
    auto level = [](std::vector<int16_t> s) { return BlockLevelDb(s.data(), s.size()); };
    // 20 log10(1643 / 32767) = -25.996 reads -25; 1642 gives -26.001, read -26.
    EXPECT_EQ(level({0, 1643, -1642}), -25);
    EXPECT_EQ(level({0, 1642, -1642}), -26);
    EXPECT_EQ(level({302, -3}), -40);  // -40.71
    EXPECT_EQ(level({-32768, 32767}), 0);
    EXPECT_EQ(level({-32768}), 0);   // the negative peak is measured against 32768
    EXPECT_EQ(level({-16384}), -6);
    EXPECT_EQ(level({-7, -3}), -73);
    EXPECT_EQ(level({0, 0, 0}), kSilentBlockDb);
    EXPECT_EQ(level({}), kSilentBlockDb);
    EXPECT_EQ(level({1}), -90);  // the smallest signal stays above a silent block
}

TEST(BlockLevel, ThresholdItselfCountsAsSound) {
    // With the threshold at -25 dB, a block at exactly -25 opens a phrase after silence.
    CRecordList<CSectionInformation> book;
    CSilenceSplitter splitter(book, MakeSplitSettings(0, 0, -25), 20, "a.wav", "a");
    ASSERT_TRUE(splitter.Begin(-1));
    const int16_t blocks[] = {0, 0, 1643, 0, 0, 1642, 0, 0, 1643};  // one sample per block
    splitter.Feed(blocks, 9);
    splitter.Finish(false, 18);
    ASSERT_EQ(book.GetCount(), 1);
    // 1642 is silence: the run before the last 1643 is five blocks long.
    ASSERT_EQ(book.GetAt(0)->m_lstPhrase.GetCount(), 2);
    EXPECT_EQ(book.GetAt(0)->m_lstPhrase.GetAt(1)->m_nStart, 14u);
    EXPECT_EQ(book.GetAt(0)->m_lstPhrase.GetAt(0)->m_nPause, 10u);
}

TEST(PauseTables, PhraseAndSectionPauses) {
    const int phrase[11] = {2, 3, 4, 5, 6, 7, 8, 9, 10, 15, 20};
    for (int i = 0; i <= 10; ++i) EXPECT_EQ(PhrasePauseBlocks(i), phrase[i]) << i;
    EXPECT_EQ(PhrasePauseBlocks(11), 4);
    EXPECT_EQ(PhrasePauseBlocks(-1), 4);
    EXPECT_EQ(SectionPauseBlocks(0), 0);
    EXPECT_EQ(SectionPauseBlocks(1), 10);
    EXPECT_EQ(SectionPauseBlocks(7), 70);
    EXPECT_EQ(SectionPauseBlocks(-3), 0);
}

TEST(SilenceSplitter, LeadingSilenceIsInNoPhrase) {
    CRecordList<CSectionInformation> book;
    Import(book, "Q7 S10 Q3", 2, 0);
    // The last silent block before the sound is the lead-in; the end rule takes the rest.
    EXPECT_EQ(Shape(book), (Sections{{P(6, 14, 3)}}));
    // A short lead-in (fewer blocks than the phrase pause) is no different.
    CRecordList<CSectionInformation> shortLead;
    Import(shortLead, "Q1 S3", 2, 0);
    EXPECT_EQ(Shape(shortLead), (Sections{{P(0, 4, 0)}}));
}

TEST(SilenceSplitter, SectionOpenedWithoutAPhraseIsDroppedAtTheEnd) {
    // SectionPause 1 (10 blocks) and PhrasePause 9 (15 blocks): 12 silent blocks start a new
    // section but no new phrase; when the recording ends before another boundary, the open
    // phrase ends in the first section and the new one, still empty, is dropped.
    CRecordList<CSectionInformation> book;
    const int next = Import(book, "S5 Q12 S5", 9, 1);
    EXPECT_EQ(Shape(book), (Sections{{P(0, 22, 0)}}));
    EXPECT_EQ(book.GetAt(0)->m_nSectionTime, 22 * kB);
    EXPECT_EQ(next, 0);
}

TEST(SilenceSplitter, AllSilentRecording) {
    CRecordList<CSectionInformation> book;
    AddSection(book, 1, "first");
    const int next = Import(book, "Q30", 0, 1, 0);
    EXPECT_EQ(book.GetCount(), 1);  // the section made for it is gone again
    EXPECT_EQ(next, 0);

    // An empty section that it would have used stays as it was.
    CRecordList<CSectionInformation> reused;
    AddSection(reused, 0, "empty");
    reused.GetAt(0)->m_strComment = "note";
    EXPECT_EQ(Import(reused, "Q30", 0, 1, 0), 0);
    ASSERT_EQ(reused.GetCount(), 1);
    EXPECT_TRUE(reused.GetAt(0)->m_lstPhrase.IsEmpty());
    EXPECT_EQ(reused.GetAt(0)->m_strComment, "note");
    EXPECT_EQ(reused.GetAt(0)->m_nSectionTime, 0u);
}

TEST(SilenceSplitter, WhereTheRecordingGoesInTheBook) {
    // A selected section with phrases: a new section right after it.
    CRecordList<CSectionInformation> book;
    AddSection(book, 2, "one");
    AddSection(book, 1, "two");
    EXPECT_EQ(Import(book, "S3", 0, 0, 0), 1);
    ASSERT_EQ(book.GetCount(), 3);
    EXPECT_EQ(book.GetAt(0)->m_strHeading, "one");
    EXPECT_EQ(book.GetAt(1)->m_strHeading, "見出し");
    EXPECT_EQ(book.GetAt(1)->m_strComment, "rec.wav");
    EXPECT_EQ(book.GetAt(2)->m_strHeading, "two");

    // No row, or the row after the last: at the end.
    EXPECT_EQ(Import(book, "S3", 0, 0, -1), 3);
    EXPECT_EQ(Import(book, "S3", 0, 0, book.GetCount()), 4);
    ASSERT_EQ(book.GetCount(), 5);
    EXPECT_EQ(book.GetAt(2)->m_strHeading, "two");
}

TEST(SilenceSplitter, ReusedSectionContinuesRightAfterItself) {
    // An empty section in the middle of the book takes the recording; its second section goes
    // right after it, before the book's next section, and so does the next recording.
    CRecordList<CSectionInformation> book;
    AddSection(book, 0, "empty");
    AddSection(book, 1, "after");
    int next = Import(book, "S3 Q10 S3", 0, 1, 0);
    EXPECT_EQ(next, 1);
    next = Import(book, "S3", 0, 1, next);
    EXPECT_EQ(next, 2);
    ASSERT_EQ(book.GetCount(), 4);
    EXPECT_EQ(book.GetAt(0)->m_strHeading, "empty");
    EXPECT_EQ(book.GetAt(0)->m_strComment, "rec.wav");
    EXPECT_EQ(book.GetAt(1)->m_lstPhrase.GetCount(), 1);
    EXPECT_EQ(book.GetAt(2)->m_lstPhrase.GetCount(), 1);
    EXPECT_EQ(book.GetAt(3)->m_strHeading, "after");

    // An empty section right after the recording's own is taken at a break.
    CRecordList<CSectionInformation> empties;
    AddSection(empties, 0, "a");
    AddSection(empties, 0, "b");
    Import(empties, "S3 Q10 S3", 0, 1, 0);
    ASSERT_EQ(empties.GetCount(), 2);
    EXPECT_EQ(empties.GetAt(1)->m_strHeading, "b");
    EXPECT_EQ(empties.GetAt(1)->m_lstPhrase.GetCount(), 1);
}

TEST(SilenceSplitter, PiecesOfAnySizeCutAlike) {
    const std::string script = "Q3 S7 Q2 S1 Q4 S9 Q11 S2 Q25 S3 +700";
    CRecordList<CSectionInformation> whole;
    Import(whole, script, 1, 1);
    for (size_t piece : {1u, 777u, 1600u, 16000u}) {
        SCOPED_TRACE(piece);
        CRecordList<CSectionInformation> pieces;
        Import(pieces, script, 1, 1, -1, piece);
        EXPECT_EQ(Shape(pieces), Shape(whole));
    }
    EXPECT_EQ(whole.GetCount(), 3);
}

TEST(SilenceSplitter, ShortLastBlock) {
    CRecordList<CSectionInformation> book;
    // 4 blocks and 700 samples: the short block is sound, but the last phrase ends on a
    // whole block.
    Import(book, "S4 +700", 0, 0);
    EXPECT_EQ(Shape(book), (Sections{{P(0, 4, 0)}}));
    // A short block alone after a long silence still opens a phrase.
    CRecordList<CSectionInformation> alone;
    CSilenceSplitter splitter(alone, MakeSplitSettings(0, 0, -35), kBps, "a.wav", "a");
    ASSERT_TRUE(splitter.Begin(-1));
    const std::vector<int16_t> samples = Recording("Q6 +800");
    splitter.Feed(samples.data(), samples.size());
    splitter.Finish(false, samples.size() * 2);
    EXPECT_EQ(Shape(alone), (Sections{{P(5, 1, 0)}}));
}

TEST(SilenceSplitter, CancelEndsTheLastPhraseABlockBeforeThePosition) {
    CRecordList<CSectionInformation> book;
    CSilenceSplitter splitter(book, MakeSplitSettings(0, 0, -35), kBps, "a.wav", "a");
    ASSERT_TRUE(splitter.Begin(-1));
    const std::vector<int16_t> samples = Recording("S3 Q2 S10");
    splitter.Feed(samples.data(), samples.size());
    EXPECT_EQ(splitter.GetPosition(), 15u * kB);
    splitter.Finish(true, samples.size() * 2);
    EXPECT_EQ(Shape(book), (Sections{{P(0, 4, 2), P(4, 10, 0)}}));
}

TEST(SilenceSplitter, FinishNeverPointsPastTheWrittenAudio) {
    // A write that failed half-way: the file holds only 6 blocks of the 10 judged.
    CRecordList<CSectionInformation> book;
    CSilenceSplitter splitter(book, MakeSplitSettings(0, 0, -35), kBps, "a.wav", "a");
    ASSERT_TRUE(splitter.Begin(-1));
    const std::vector<int16_t> samples = Recording("S2 Q2 S6");
    splitter.Feed(samples.data(), samples.size());
    splitter.Finish(false, 6 * kB);
    EXPECT_EQ(Shape(book), (Sections{{P(0, 3, 2), P(3, 3, 0)}}));
}

TEST(SilenceSplitter, FullSectionContinuesInANewSection) {
    // One sample per block: each phrase is one sound block and two silent ones.
    CRecordList<CSectionInformation> book;
    CSilenceSplitter splitter(book, MakeSplitSettings(0, 0, -35), 20, "a.wav", "a");
    ASSERT_TRUE(splitter.Begin(-1));
    std::vector<int16_t> samples;
    for (int i = 0; i < kMaxPhrasesPerSection + 5; ++i) samples.insert(samples.end(), {16000, 0, 0});
    ASSERT_TRUE(splitter.Feed(samples.data(), samples.size()));
    splitter.Finish(false, samples.size() * 2);
    ASSERT_EQ(book.GetCount(), 2);
    EXPECT_EQ(book.GetAt(0)->m_lstPhrase.GetCount(), kMaxPhrasesPerSection);
    EXPECT_EQ(book.GetAt(1)->m_lstPhrase.GetCount(), 5);
    // The phrases still join end to start across the sections.
    const CPhraseInformation* last = book.GetAt(0)->m_lstPhrase.GetTail();
    EXPECT_EQ(last->m_nStart + last->m_nLength, book.GetAt(1)->m_lstPhrase.GetHead()->m_nStart);
}

TEST(SilenceSplitter, FullBookStopsTheCut) {
    CRecordList<CSectionInformation> full;
    for (int i = 0; i < kMaxSections; ++i) AddSection(full, 1);
    {
        CSilenceSplitter splitter(full, MakeSplitSettings(0, 1, -35), kBps, "a.wav", "a");
        EXPECT_FALSE(splitter.Begin(0));
    }
    EXPECT_EQ(full.GetCount(), kMaxSections);

    // One section short of the limit: the recording fills it; the next section pause stops
    // the cut, and what was cut stays.
    full.RemoveAt(0);
    CSilenceSplitter splitter(full, MakeSplitSettings(0, 1, -35), kBps, "a.wav", "a");
    ASSERT_TRUE(splitter.Begin(kMaxSections - 2));
    const std::vector<int16_t> samples = Recording("S3 Q10 S3 Q10 S3");
    EXPECT_FALSE(splitter.Feed(samples.data(), samples.size()));
    EXPECT_TRUE(splitter.IsStopped());
    splitter.Finish(false, samples.size() * 2);
    ASSERT_EQ(full.GetCount(), kMaxSections);
    EXPECT_EQ(Shape(full).back(), (std::vector<Phrase>{P(0, 12, 10)}));
    EXPECT_EQ(splitter.GetCurrentIndex(), kMaxSections - 1);
}

