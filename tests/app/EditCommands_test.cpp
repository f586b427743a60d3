#include "EditBookFixture.h"
#include "app/BookLimits.h"

namespace {

using EditCommands = EditBook;

void ExpectQuestion(const CUiRecord& record, const char* text) {
    EXPECT_EQ(record.text, text);
    EXPECT_EQ(record.caption, "確認");
    EXPECT_EQ(record.style, MB_YESNO | MB_ICONQUESTION);
}

void ExpectError(const CUiRecord& record, const char* text) {
    EXPECT_EQ(record.text, text);
    EXPECT_EQ(record.caption, "エラー");
    EXPECT_EQ(record.style, MB_OK | MB_ICONSTOP);
}

TEST_F(EditCommands, DeleteSectionsAsksAndSelectsWhatFollowed) {
    BuildSampleBook();
    const BookData before = Book();
    PickSections(1, 2);
    {
        CUiScript script;
        script.AnswerBox(IDNO);
        view.OnEditDelete();
        ASSERT_EQ(script.Records().size(), 1u);
        ExpectQuestion(script.Records()[0], "選択されているセクションを削除しますか？");
    }
    EXPECT_EQ(Book(), before);
    EXPECT_EQ(view.m_nSectionUndoKind, 0);
    CUiScript script;
    script.AnswerBox(IDYES);
    view.OnEditDelete();
    ASSERT_EQ(view.m_lstSection.GetCount(), 2);
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_strHeading, "付録");
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{1});
    EXPECT_EQ(view.GetControlText(IDC_STATIC_SECTION_COUNT), "2");
}

TEST_F(EditCommands, NothingHappensWithoutARealRecordOrAFocusedList) {
    BuildSampleBook();
    const BookData before = Book();
    CUiScript script;  // no box may appear
    sections.UserClick(4);
    view.OnEditDelete();
    view.OnEditJoin();
    view.OnEditCut();
    view.OnButtonLevelUp();
    sections.UserClick(0);
    phrases.UserClick(3);  // the phrase list's trailing row
    view.OnEditDelete();
    view.OnSectionSplit();
    view.OnButtonGroup();
    view.m_hFocusList = nullptr;
    phrases.SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    view.OnEditDelete();
    view.OnEditDeleteAll();
    view.OnEditPaste();
    EXPECT_EQ(Book(), before);
    EXPECT_EQ(view.m_nSectionUndoKind, 0);
    EXPECT_EQ(view.m_nPhraseUndoKind, 0);
}

// Shift+End takes the trailing extra row into the selection. It is no record: the
// commands must count only the rows that stand for records.
TEST_F(EditCommands, ShiftEndSelectionCountsOnlyRealSections) {
    BuildSampleBook();
    const BookData before = Book();
    sections.UserClick(1);
    sections.UserKey(VK_END, false, true);
    ASSERT_EQ(sections.SelectedRows(), (std::vector<int>{1, 2, 3, 4}));
    {
        CUiScript script;
        script.AnswerBox(IDYES);
        view.OnEditDelete();
    }
    EXPECT_EQ(view.m_lstSection.GetCount(), 1);
    EXPECT_EQ(view.m_nSectionUndoCount, 3);
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);

    sections.UserClick(2);
    sections.UserKey(VK_END, false, true);
    view.OnButtonLevelUp();
    EXPECT_EQ(view.m_nSectionUndoCount, 2);
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);

    sections.UserClick(2);
    sections.UserKey(VK_END, false, true);
    {
        CUiScript script;
        script.AnswerBox(IDYES);
        view.OnEditJoin();
    }
    ASSERT_EQ(view.m_lstSection.GetCount(), 3);
    EXPECT_EQ(view.m_lstSection.GetAt(2)->m_lstPhrase.GetCount(), 4);

    sections.UserClick(3);  // the trailing row and nothing else: one row, no record
    sections.UserKey(VK_END, false, true);
    CUiScript none;
    view.OnEditJoin();
    EXPECT_EQ(view.m_lstSection.GetCount(), 3);
}

TEST_F(EditCommands, ShiftEndSelectionCountsOnlyRealPhrases) {
    BuildSampleBook();
    const BookData before = Book();
    sections.UserClick(1);
    phrases.UserClick(2);
    phrases.UserKey(VK_END, false, true);
    ASSERT_EQ(phrases.SelectedRows(), (std::vector<int>{2, 3, 4}));
    view.OnEditCut();
    EXPECT_EQ(view.m_lstPhraseClipboard.GetCount(), 2);
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_lstPhrase.GetCount(), 2);
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_nSectionTime, 32000u);
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);

    phrases.UserClick(0);
    phrases.UserKey(VK_END, false, true);
    {
        CUiScript script;
        script.AnswerBox(IDYES);
        view.OnEditJoin();
    }
    ASSERT_EQ(view.m_lstSection.GetAt(1)->m_lstPhrase.GetCount(), 1);
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_lstPhrase.GetHead()->m_nLength, 64000u);
}

TEST_F(EditCommands, DeleteAllSectionsLeavesOneFreshSection) {
    BuildSampleBook();
    sections.UserClick(3);
    CUiScript script;
    script.AnswerBox(IDYES);
    view.OnEditDeleteAll();
    ExpectQuestion(script.Records().at(0), "全セクションを削除しますか？");
    ASSERT_EQ(view.m_lstSection.GetCount(), 1);
    EXPECT_EQ(Capture(*view.m_lstSection.GetHead()), Capture(CSectionInformation()));
    EXPECT_EQ(view.m_nSectionUndoKind, 8);
    EXPECT_EQ(view.m_lstSectionUndo.GetCount(), 4);
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{0});
}

TEST_F(EditCommands, DeleteAllPhrasesAsksFirstAndIgnoresAnEmptySection) {
    BuildSampleBook();
    view.m_lstSection.GetAt(3)->m_lstPhrase.RemoveAll();
    view.m_lstSection.GetAt(3)->m_nSectionTime = 0;
    sections.UserClick(3);
    phrases.SetFocus();
    const BookData before = Book();
    {
        CUiScript script;
        script.AnswerBox(IDYES);
        view.OnEditDeleteAll();
        ExpectQuestion(script.Records().at(0), "全フレーズを削除しますか？");
    }
    EXPECT_EQ(Book(), before);
    EXPECT_EQ(view.m_nPhraseUndoKind, 0);

    sections.UserClick(1);
    phrases.UserClick(3);
    CUiScript script;
    script.AnswerBox(IDYES);
    view.OnEditDeleteAll();
    EXPECT_TRUE(view.m_lstSection.GetAt(1)->m_lstPhrase.IsEmpty());
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_nSectionTime, 0u);
    EXPECT_EQ(view.m_nPhraseUndoCount, 4);
}

TEST_F(EditCommands, SectionAudioLengthStopsAtZeroWhenPhrasesGo) {
    BuildSampleBook();
    view.m_lstSection.GetAt(0)->m_nSectionTime = 40000;  // less than its three phrases
    sections.UserClick(0);
    PickPhrases(0, 1);
    CUiScript script;
    script.AnswerBox(IDYES);
    view.OnEditDelete();
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_nSectionTime, 0u);
}

TEST_F(EditCommands, JoinedPhrasesSpanTheRunWithThePauseOfTheLast) {
    BuildSampleBook();
    sections.UserClick(0);
    PickPhrases(0, 2);
    CUiScript script;
    script.AnswerBox(IDYES);
    PhraseAt(0, 0)->m_nGroup = 1;
    PhraseAt(0, 1)->m_nMark = 1;
    PhraseAt(0, 2)->m_nPause = 777;
    PhraseAt(0, 2)->m_strFileName = "a000001.WAV";  // the same file, in other case
    view.OnEditJoin();
    ExpectQuestion(script.Records().at(0), "選択されているフレーズを結合しますか？");
    ASSERT_EQ(view.m_lstSection.GetAt(0)->m_lstPhrase.GetCount(), 1);
    const CPhraseInformation& joined = *PhraseAt(0, 0);
    EXPECT_EQ(joined.m_nStart, 0u);
    EXPECT_EQ(joined.m_nLength, 96000u);
    EXPECT_EQ(joined.m_nPause, 777u);
    EXPECT_EQ(joined.m_nGroup, 1u);
    EXPECT_EQ(joined.m_nMark, 0u);
    EXPECT_EQ(joined.m_strComment, "序章-1");
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_nSectionTime, 96000u);
    EXPECT_EQ(view.m_nPhraseUndoKind, 6);
}

TEST_F(EditCommands, APhraseOfPureSilenceAddsItsPause) {
    BuildSampleBook();
    PhraseAt(0, 1)->m_nPause = 32000;  // as long as the phrase: silence from start to end
    sections.UserClick(0);
    PickPhrases(0, 1);
    CUiScript script;
    script.AnswerBox(IDYES);
    view.OnEditJoin();
    EXPECT_EQ(PhraseAt(0, 0)->m_nLength, 64000u);
    EXPECT_EQ(PhraseAt(0, 0)->m_nPause, 3200u + 32000u);
}

// A run with one pair that cannot be joined is refused as a whole, before anything
// changes: the book and the undo recorded earlier stay as they were.
TEST_F(EditCommands, PhraseJoinRefusedAnywhereChangesNothing) {
    struct Case {
        const char* name;
        int breakAt;       // phrase index that does not continue the one before
        bool otherFile;    // another file, else a gap in the same file
    };
    for (const Case& c : {Case{"gap at the end", 2, false}, Case{"other file at the end", 2, true},
                          Case{"gap first", 1, false}}) {
        SCOPED_TRACE(c.name);
        BuildSampleBook();
        sections.UserClick(0);
        phrases.UserClick(0);
        view.OnButtonMark();  // an earlier edit whose undo must survive
        if (c.otherFile) PhraseAt(0, c.breakAt)->m_strFileName = "A000009.wav";
        else PhraseAt(0, c.breakAt)->m_nStart += 2;
        const BookData before = Book();
        PickPhrases(0, 2);
        CUiScript script;
        script.AnswerBox(IDYES).AnswerBox(IDOK);
        view.OnEditJoin();
        ASSERT_EQ(script.Records().size(), 2u);
        ExpectError(script.Records()[1], "結合出来ません。");
        EXPECT_EQ(Book(), before);
        EXPECT_EQ(view.m_nPhraseUndoKind, 1);
        EXPECT_EQ(view.m_lstPhraseUndo.GetCount(), 1);
    }
}

TEST_F(EditCommands, SectionJoinStopsAtThePhraseLimit) {
    AddSection("一", 15000, 2);
    AddSection("二", 6000, 2);
    Show(0);
    const BookData before = Book();
    PickSections(0, 1);
    {
        CUiScript script;
        script.AnswerBox(IDYES).AnswerBox(IDOK);
        view.OnEditJoin();
        ExpectError(script.Records().at(1), "結合出来ません。");
    }
    EXPECT_EQ(Book(), before);
    EXPECT_EQ(view.m_nSectionUndoKind, 7);

    // Three sections: the first pair fits within 20000 phrases and stays joined.
    view.m_lstSection.RemoveAll();
    AddSection("一", 15000, 2);
    AddSection("二", 5000, 2);
    AddSection("三", 1, 2);
    AddSection("四", 1, 2);
    Show(0);
    const BookData three = Book();
    PickSections(0, 2);
    {
        CUiScript script;
        script.AnswerBox(IDYES).AnswerBox(IDOK);
        view.OnEditJoin();
        EXPECT_EQ(script.BoxTexts().back(), "結合出来ません。");
    }
    ASSERT_EQ(view.m_lstSection.GetCount(), 3);
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_lstPhrase.GetCount(), kMaxPhrasesPerSection);
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_strHeading, "三");
    view.OnEditUndo();
    EXPECT_EQ(Book(), three);
}

TEST_F(EditCommands, SectionJoinKeepsTheTargetsHeadingAndAddsTheRest) {
    BuildSampleBook();
    PickSections(0, 2);
    CUiScript script;
    script.AnswerBox(IDYES);
    view.OnEditJoin();
    ExpectQuestion(script.Records().at(0), "選択されているセクションを結合しますか？");
    ASSERT_EQ(view.m_lstSection.GetCount(), 2);
    const CSectionInformation& joined = *view.m_lstSection.GetHead();
    EXPECT_EQ(joined.m_strHeading, "序章");
    EXPECT_EQ(joined.m_nLevel, 0);
    EXPECT_EQ(joined.m_lstPhrase.GetCount(), 9);
    EXPECT_EQ(joined.m_nPhraseCount, 9u);
    EXPECT_EQ(joined.m_nSectionTime, 3u * 32000 + 4 * 16000 + 2 * 44100 + 777);
    EXPECT_EQ(joined.m_lstPhrase.GetAt(7)->m_strComment, "第二章-1");
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{0});
}

TEST_F(EditCommands, SplitAtTheSecondPhraseMovesTheRest) {
    BuildSampleBook();
    sections.UserClick(1);
    phrases.UserClick(1);
    CUiScript script;
    script.AnswerBox(IDYES);
    view.OnSectionSplit();
    ExpectQuestion(script.Records().at(0), "選択されているフレーズからセクションを分割しますか？");
    ASSERT_EQ(view.m_lstSection.GetCount(), 5);
    const CSectionInformation& old = *view.m_lstSection.GetAt(1);
    const CSectionInformation& fresh = *view.m_lstSection.GetAt(2);
    EXPECT_EQ(old.m_lstPhrase.GetCount(), 1);
    EXPECT_EQ(fresh.m_lstPhrase.GetCount(), 3);
    EXPECT_EQ(fresh.m_lstPhrase.GetHead()->m_strComment, "第一章-2");
    EXPECT_EQ(old.m_nSectionTime + fresh.m_nSectionTime, 64000u);
    EXPECT_EQ(fresh.m_strHeading, "見出し");
    EXPECT_EQ(fresh.m_nLevel, 0);
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{2});
}

TEST_F(EditCommands, SplitRefusesTheFirstPhraseAndAFullBook) {
    BuildSampleBook();
    sections.UserClick(1);
    phrases.UserClick(0);
    {
        CUiScript script;
        script.AnswerBox(IDOK);
        view.OnSectionSplit();
        ExpectError(script.Records().at(0), "先頭フレーズのため分割出来ません。");
    }
    while (view.m_lstSection.GetCount() < kMaxSections) view.m_lstSection.Add(std::make_unique<CSectionInformation>());
    Show(1);
    phrases.UserClick(2);
    const BookData before = Book();
    CUiScript script;
    script.AnswerBox(IDOK);
    view.OnSectionSplit();
    ExpectError(script.Records().at(0), "セクション数が最大のため分割出来ません。");
    EXPECT_EQ(Book(), before);
}

// With a block of sections selected the phrase list shows the focused one; a phrase
// command must change that section, not the first of the block.
TEST_F(EditCommands, PhraseCommandsActOnTheSectionWhosePhrasesAreShown) {
    BuildSampleBook();
    const BookData before = Book();
    PickSections(0, 1);  // the focus is on section 1, whose phrases are shown
    phrases.UserClick(2);
    CUiScript script;
    script.AnswerBox(IDYES);
    view.OnSectionSplit();
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_lstPhrase.GetCount(), 3);
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_lstPhrase.GetCount(), 2);
    EXPECT_EQ(view.m_lstSection.GetAt(2)->m_lstPhrase.GetCount(), 2);
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);

    PickSections(2, 3);
    phrases.UserClick(1);
    view.OnButtonGroup();
    EXPECT_EQ(PhraseAt(3, 1)->m_nGroup, 0u);
    EXPECT_EQ(PhraseAt(2, 1)->m_nGroup, 0u);
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);
}

}  // namespace
