#include "audio/SilenceSplitter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "audio/ImportTestSupport.h"

using namespace importtest;

namespace {

// 16000 Hz: a block is 1600 samples, 3200 bytes.
constexpr uint32_t kBps = 32000;
constexpr uint32_t kB = 3200;

Phrase P(uint32_t startBlocks, uint32_t lengthBlocks, uint32_t pauseBlocks) {
    return {startBlocks * kB, lengthBlocks * kB, pauseBlocks * kB};
}

void AddSection(CRecordList<CSectionInformation>& book, int phrases, const char* heading = "見出し") {
    auto section = std::make_unique<CSectionInformation>();
    section->m_strHeading = heading;
    for (int i = 0; i < phrases; ++i) section->m_lstPhrase.Add(std::make_unique<CPhraseInformation>());
    book.Add(std::move(section));
}

struct Cut {
    int phrasePause = 0, sectionPause = 0;
    int index = -1;              // the row to import from
    size_t piece = 0;            // samples per Feed (0: all at once)
    bool cancel = false;         // Finish as cancelled
    int64_t writtenBlocks = -1;  // what reached the file (-1: all)
    size_t leadIn = 0;           // loud samples in front that are no part of the recording
};

// Imports the recording `script` (see Blocks) into `book`; returns the row the next
// recording would continue from.
int Import(CRecordList<CSectionInformation>& book, const std::string& script, const Cut& cut = {}) {
    std::vector<int16_t> samples(cut.leadIn, 20000);
    const std::vector<int16_t> recording = wavetest::Blocks(16000, script);
    samples.insert(samples.end(), recording.begin(), recording.end());
    CSilenceSplitter splitter(book, MakeSplitSettings(cut.phrasePause, cut.sectionPause, -35), kBps, "A000001.wav",
                              "rec.wav");
    EXPECT_TRUE(splitter.Begin(cut.index));
    splitter.SetLeadIn(cut.leadIn);
    const size_t piece = cut.piece ? cut.piece : samples.size() + 1;
    for (size_t i = 0; i < samples.size(); i += piece)
        EXPECT_TRUE(splitter.Feed(samples.data() + i, std::min(piece, samples.size() - i)));
    splitter.Finish(cut.cancel, cut.writtenBlocks < 0 ? samples.size() * 2 : cut.writtenBlocks * kB);
    return splitter.GetCurrentIndex();
}

}  // namespace

TEST(BlockLevel, WholeDecibelsTowardZeroAndTheThresholdCountsAsSound) {
    auto level = [](std::vector<int16_t> s) { return BlockLevelDb(s.data(), s.size()); };
    // 20 log10(1643 / 32767) = -25.996 reads -25; 1642 gives -26.001, read -26.
    EXPECT_EQ(level({0, 1643, -1642}), -25);
    EXPECT_EQ(level({0, 1642, -1642}), -26);
    EXPECT_EQ(level({-32768}), 0);  // the negative peak is measured against 32768
    EXPECT_EQ(level({0, 0, 0}), kSilentBlockDb);
    EXPECT_EQ(level({1}), -90);  // the smallest signal stays above a silent block

    // With the threshold at -25 dB, a block at exactly -25 opens a phrase after silence; 1642 is silence.
    CRecordList<CSectionInformation> book;
    CSilenceSplitter splitter(book, MakeSplitSettings(0, 0, -25), 20, "a.wav", "a");
    ASSERT_TRUE(splitter.Begin(-1));
    const int16_t blocks[] = {0, 0, 1643, 0, 0, 1642, 0, 0, 1643};  // one sample per block
    splitter.Feed(blocks, 9);
    splitter.Finish(false, 18);
    EXPECT_EQ(Shape(book), (Sections{{{2, 12, 10}, {14, 4, 0}}}));
}

TEST(SilenceSplitter, PhrasesOfTheRecordingsEdges) {
    const struct {
        const char* script;
        Cut cut;
        Sections expected;
    } cases[] = {
        // The last silent block before the sound is the lead-in; the end rule takes the rest.
        {"Q7 S10 Q3", {.phrasePause = 2}, {{P(6, 14, 3)}}},
        {"Q1 S3", {.phrasePause = 2}, {{P(0, 4, 0)}}},
        // 12 silent blocks start a section but no phrase (SectionPause 1, PhrasePause 9);
        // ending before another boundary, the new section is dropped still empty.
        {"S5 Q12 S5", {.phrasePause = 9, .sectionPause = 1}, {{P(0, 22, 0)}}},
        // A short last block is sound, but the phrase ends on a whole block; alone after silence it opens one.
        {"S4 +700", {}, {{P(0, 4, 0)}}},
        {"Q6 +800", {}, {{P(5, 1, 0)}}},
        // Cancel ends the last phrase a block before the position.
        {"S3 Q2 S10", {.cancel = true}, {{P(0, 4, 2), P(4, 10, 0)}}},
        // A write that failed half-way: the file holds 6 of the 10 blocks judged.
        {"S2 Q2 S6", {.writtenBlocks = 6}, {{P(0, 3, 2), P(3, 3, 0)}}},
        // An encoder's delay in front (half a block): the recording's blocks are judged, the
        // first phrase takes the delay, the others and the whole-block end lie behind it.
        {"S3 Q2 S4", {.leadIn = 800}, {{{0, 4 * kB + 1600, 2 * kB}, {4 * kB + 1600, 5 * kB, 0}}}},
        {"S3 Q2 S4", {.cancel = true, .leadIn = 800}, {{{0, 4 * kB + 1600, 2 * kB}, {4 * kB + 1600, 4 * kB, 0}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        CRecordList<CSectionInformation> book;
        EXPECT_EQ(Import(book, c.script, c.cut), 0);
        EXPECT_EQ(Shape(book), c.expected);
        uint32_t sum = 0;
        for (const Phrase& p : c.expected[0]) sum += p.length;
        EXPECT_EQ(book.GetAt(0)->m_nSectionTime, sum);
    }
}

TEST(SilenceSplitter, PiecesOfAnySizeCutAlike) {
    const std::string script = "Q3 S7 Q2 S1 Q4 S9 Q11 S2 Q25 S3 +700";
    CRecordList<CSectionInformation> whole;
    Import(whole, script, {.phrasePause = 1, .sectionPause = 1});
    EXPECT_EQ(whole.GetCount(), 3);
    for (size_t piece : {1u, 777u, 1600u, 16000u}) {
        CRecordList<CSectionInformation> pieces;
        Import(pieces, script, {.phrasePause = 1, .sectionPause = 1, .piece = piece});
        EXPECT_EQ(Shape(pieces), Shape(whole)) << piece;
    }
}

TEST(SilenceSplitter, AllSilentRecordingLeavesTheBookAsItWas) {
    CRecordList<CSectionInformation> book;
    AddSection(book, 1, "first");
    EXPECT_EQ(Import(book, "Q30", {.sectionPause = 1, .index = 0}), 0);
    EXPECT_EQ(book.GetCount(), 1);  // the section made for it is gone again

    // An empty section that it would have used stays as it was.
    CRecordList<CSectionInformation> reused;
    AddSection(reused, 0, "empty");
    reused.GetAt(0)->m_strComment = "note";
    EXPECT_EQ(Import(reused, "Q30", {.sectionPause = 1, .index = 0}), 0);
    ASSERT_EQ(reused.GetCount(), 1);
    EXPECT_TRUE(reused.GetAt(0)->m_lstPhrase.IsEmpty());
    EXPECT_EQ(reused.GetAt(0)->m_strComment, "note");
    EXPECT_EQ(reused.GetAt(0)->m_nSectionTime, 0u);
}

TEST(SilenceSplitter, WhereTheRecordingGoesInTheBook) {
    // After a selected section with phrases; with no row, or the row after the last, at the end.
    CRecordList<CSectionInformation> book;
    AddSection(book, 2, "one");
    AddSection(book, 1, "two");
    EXPECT_EQ(Import(book, "S3", {.index = 0}), 1);
    EXPECT_EQ(Import(book, "S3", {.index = -1}), 3);
    EXPECT_EQ(Import(book, "S3", {.index = 4}), 4);
    ASSERT_EQ(book.GetCount(), 5);
    EXPECT_EQ(book.GetAt(1)->m_strHeading, "見出し");
    EXPECT_EQ(book.GetAt(1)->m_strComment, "rec.wav");
    EXPECT_EQ(book.GetAt(2)->m_strHeading, "two");

    // An empty section takes the recording; its second section goes right after it, before
    // the book's next section, and so does the next recording.
    CRecordList<CSectionInformation> reused;
    AddSection(reused, 0, "empty");
    AddSection(reused, 1, "after");
    EXPECT_EQ(Import(reused, "S3 Q10 S3", {.sectionPause = 1, .index = 0}), 1);
    EXPECT_EQ(Import(reused, "S3", {.sectionPause = 1, .index = 1}), 2);
    ASSERT_EQ(reused.GetCount(), 4);
    EXPECT_EQ(reused.GetAt(0)->m_strComment, "rec.wav");
    EXPECT_EQ(reused.GetAt(2)->m_lstPhrase.GetCount(), 1);
    EXPECT_EQ(reused.GetAt(3)->m_strHeading, "after");
}
