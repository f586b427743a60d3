#include "EditBookFixture.h"
#include "app/BookLimits.h"

namespace {

using EditCommands = EditBook;
using Counts = std::vector<int>;

TEST_F(EditCommands, DeleteAsksAndSelectsWhatFollowed) {
    BuildSampleBook();
    const BookData before = Book();
    PickSections(1, 2);
    const Boxes question{"?選択されているセクションを削除しますか？"};
    EXPECT_EQ(Run(&V::OnEditDelete, {IDNO}), question);
    EXPECT_EQ(Book(), before);
    EXPECT_EQ(view.m_nSectionUndoKind, 0);
    EXPECT_EQ(Run(&V::OnEditDelete, {IDYES}), question);
    EXPECT_EQ(Shape(), (Counts{3, 2}));
    EXPECT_EQ(sections.SelectedRows(), Counts{1});
    EXPECT_EQ(view.GetControlText(IDC_STATIC_SECTION_COUNT), "2");
}

TEST_F(EditCommands, NothingHappensWithoutARealRecordOrAFocusedList) {
    BuildSampleBook();
    const BookData before = Book();
    CUiScript script;  // no box may appear
    sections.UserClick(4);
    for (auto command : {&V::OnEditDelete, &V::OnEditJoin, &V::OnEditCut, &V::OnButtonLevelUp}) (view.*command)();
    Pick(0, 3);  // the phrase list's trailing row
    for (auto command : {&V::OnEditDelete, &V::OnSectionSplit, &V::OnButtonGroup}) (view.*command)();
    view.m_hFocusList = nullptr;
    phrases.SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    for (auto command : {&V::OnEditDelete, &V::OnEditDeleteAll, &V::OnEditPaste}) (view.*command)();
    EXPECT_EQ(Book(), before);
    EXPECT_EQ(view.m_nSectionUndoKind + view.m_nPhraseUndoKind, 0);
}

// Shift+End takes the trailing extra row into the selection. It is no record: delete,
// cut and join must count only the rows that stand for records.
TEST_F(EditCommands, ShiftEndSelectionCountsOnlyRealRecords) {
    BuildSampleBook();
    const BookData before = Book();
    sections.UserClick(1);
    sections.UserKey(VK_END, false, true);
    ASSERT_EQ(sections.SelectedRows(), (Counts{1, 2, 3, 4}));
    Run(&V::OnEditDelete, {IDYES});
    EXPECT_EQ(Shape(), Counts{3});
    EXPECT_EQ(view.m_nSectionUndoCount, 3);
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);

    Pick(1, 2);
    phrases.UserKey(VK_END, false, true);
    ASSERT_EQ(phrases.SelectedRows(), (Counts{2, 3, 4}));
    view.OnEditCut();
    EXPECT_EQ(view.m_lstPhraseClipboard.GetCount(), 2);
    EXPECT_EQ(Shape(), (Counts{3, 2, 2, 2}));
    EXPECT_EQ(SectionAt(1)->m_nSectionTime, 32000u);

    phrases.UserClick(0);
    phrases.UserKey(VK_END, false, true);
    Run(&V::OnEditJoin, {IDYES});
    EXPECT_EQ(Shape(), (Counts{3, 1, 2, 2}));
    EXPECT_EQ(PhraseAt(1, 0)->m_nLength, 32000u);
}

TEST_F(EditCommands, DeleteAllLeavesAFreshSectionOrAnEmptyOne) {
    BuildSampleBook();
    sections.UserClick(3);
    EXPECT_EQ(Run(&V::OnEditDeleteAll, {IDYES}), Boxes{"?全セクションを削除しますか？"});
    EXPECT_EQ(Book(), BookData{Capture(CSectionInformation())});
    EXPECT_EQ(view.m_nSectionUndoKind, 8);
    EXPECT_EQ(sections.SelectedRows(), Counts{0});

    BuildSampleBook();
    sections.UserClick(1);
    phrases.SetFocus();
    EXPECT_EQ(Run(&V::OnEditDeleteAll, {IDYES}), Boxes{"?全フレーズを削除しますか？"});
    EXPECT_EQ(Shape(), (Counts{3, 0, 2, 2}));
    EXPECT_EQ(SectionAt(1)->m_nSectionTime, 0u);
    EXPECT_EQ(view.m_nPhraseUndoCount, 4);
    view.ClearPhraseUndo();
    const BookData emptied = Book();
    EXPECT_EQ(Run(&V::OnEditDeleteAll, {IDYES}), Boxes{"?全フレーズを削除しますか？"});  // asked, then nothing
    EXPECT_EQ(Book(), emptied);
    EXPECT_EQ(view.m_nPhraseUndoKind, 0);
}

// The joined phrase runs from the first start over all lengths and keeps the first's
// group and comment and the last's pause; a phrase of pure silence adds its pause.
TEST_F(EditCommands, JoinedPhrasesSpanTheRunWithThePauseOfTheLast) {
    BuildSampleBook();
    sections.UserClick(0);
    PickPhrases(0, 2);
    PhraseAt(0, 0)->m_nGroup = 1;
    PhraseAt(0, 1)->m_nMark = 1;
    PhraseAt(0, 2)->m_nPause = 777;
    PhraseAt(0, 2)->m_strFileName = "a000001.WAV";  // the same file, in other case
    EXPECT_EQ(Run(&V::OnEditJoin, {IDYES}), Boxes{"?選択されているフレーズを結合しますか？"});
    EXPECT_EQ(Capture(*PhraseAt(0, 0)), (PhraseData{0, 96000, 777, "A000001.wav", 0, "", 1, 0, "序章-1", 32000}));
    EXPECT_EQ(Shape()[0], 1);
    EXPECT_EQ(SectionAt(0)->m_nSectionTime, 96000u);
    EXPECT_EQ(view.m_nPhraseUndoKind, 6);

    BuildSampleBook();
    PhraseAt(0, 1)->m_nPause = 32000;
    sections.UserClick(0);
    PickPhrases(0, 1);
    Run(&V::OnEditJoin, {IDYES});
    EXPECT_EQ(PhraseAt(0, 0)->m_nLength, 64000u);
    EXPECT_EQ(PhraseAt(0, 0)->m_nPause, 3200u + 32000u);
}

// A run with one pair that cannot be joined is refused as a whole, before anything
// changes: the book and the undo recorded earlier stay as they were.
TEST_F(EditCommands, PhraseJoinRefusedAnywhereChangesNothing) {
    const struct { const char* name; int breakAt; bool otherFile; } cases[] = {
        {"gap at the end", 2, false}, {"other file at the end", 2, true}, {"gap first", 1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BuildSampleBook();
        Pick(0, 0);
        view.OnButtonMark();  // an earlier edit whose undo must survive
        if (c.otherFile) PhraseAt(0, c.breakAt)->m_strFileName = "A000009.wav";
        else PhraseAt(0, c.breakAt)->m_nStart += 2;
        const BookData before = Book();
        PickPhrases(0, 2);
        EXPECT_EQ(Run(&V::OnEditJoin, {IDYES, IDOK}),
                  (Boxes{"?選択されているフレーズを結合しますか？", "!結合出来ません。"}));
        EXPECT_EQ(Book(), before);
        EXPECT_EQ(view.m_nPhraseUndoKind, 1);
        EXPECT_EQ(view.m_lstPhraseUndo.GetCount(), 1);
    }
}

TEST_F(EditCommands, SectionJoinKeepsTheTargetsHeadingAndStopsAtThePhraseLimit) {
    BuildSampleBook();
    PickSections(0, 2);
    EXPECT_EQ(Run(&V::OnEditJoin, {IDYES}), Boxes{"?選択されているセクションを結合しますか？"});
    EXPECT_EQ(Shape(), (Counts{9, 2}));
    const CSectionInformation& joined = *SectionAt(0);
    EXPECT_EQ(joined.m_strHeading, "序章");
    EXPECT_EQ(joined.m_nLevel, 0);
    EXPECT_EQ(joined.m_nPhraseCount, 9u);
    EXPECT_EQ(joined.m_nSectionTime, 3u * 32000 + 4 * 16000 + 2 * 44100 + 777);
    EXPECT_EQ(joined.m_lstPhrase.GetAt(7)->m_strComment, "第二章-1");
    EXPECT_EQ(sections.SelectedRows(), Counts{0});

    // Of 15000, 5000, 1 and 1 phrases, the first pair fits and stays joined; undo gives
    // all three back.
    view.m_lstSection.RemoveAll();
    for (int count : {15000, 5000, 1, 1}) AddSection("節", count, 2);
    Show(0);
    const BookData before = Book();
    PickSections(0, 2);
    EXPECT_EQ(Run(&V::OnEditJoin, {IDYES, IDOK}).back(), "!結合出来ません。");
    EXPECT_EQ(Shape(), (Counts{kMaxPhrasesPerSection, 1, 1}));
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);
    SectionAt(1)->m_lstPhrase.Add(std::make_unique<CPhraseInformation>());  // 15000 and 5001 do not fit at all
    const BookData over = Book();
    PickSections(0, 1);
    EXPECT_EQ(Run(&V::OnEditJoin, {IDYES, IDOK}).back(), "!結合出来ません。");
    EXPECT_EQ(Book(), over);
}

TEST_F(EditCommands, SplitMovesTheRestButNotFromTheFirstPhraseOrInAFullBook) {
    BuildSampleBook();
    Pick(1, 1);
    EXPECT_EQ(Run(&V::OnSectionSplit, {IDYES}), Boxes{"?選択されているフレーズからセクションを分割しますか？"});
    EXPECT_EQ(Shape(), (Counts{3, 1, 3, 2, 2}));
    const CSectionInformation& fresh = *SectionAt(2);
    EXPECT_EQ(fresh.m_lstPhrase.GetHead()->m_strComment, "第一章-2");
    EXPECT_EQ(SectionAt(1)->m_nSectionTime + fresh.m_nSectionTime, 64000u);
    EXPECT_EQ(fresh.m_strHeading, "見出し");
    EXPECT_EQ(fresh.m_nLevel, 0);
    EXPECT_EQ(sections.SelectedRows(), Counts{2});

    Pick(1, 0);
    EXPECT_EQ(Run(&V::OnSectionSplit, {IDOK}), Boxes{"!先頭フレーズのため分割出来ません。"});
    AddBlankSections(kMaxSections - SectionCount());
    Pick(2, 2);
    const BookData before = Book();
    EXPECT_EQ(Run(&V::OnSectionSplit, {IDOK}), Boxes{"!セクション数が最大のため分割出来ません。"});
    EXPECT_EQ(Book(), before);
}

// With a block of sections selected the phrase list shows the focused one; a phrase
// command must change that section, not the first of the block.
TEST_F(EditCommands, PhraseCommandsActOnTheSectionWhosePhrasesAreShown) {
    BuildSampleBook();
    PickSections(0, 1);  // the focus is on section 1, whose phrases are shown
    phrases.UserClick(2);
    Run(&V::OnSectionSplit, {IDYES});
    EXPECT_EQ(Shape(), (Counts{3, 2, 2, 2, 2}));
    PickSections(3, 4);
    phrases.UserClick(1);
    view.OnButtonGroup();
    EXPECT_EQ(PhraseAt(4, 1)->m_nGroup, 0u);
    EXPECT_EQ(PhraseAt(3, 1)->m_nGroup, 0u);
}

}  // namespace
