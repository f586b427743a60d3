#include <functional>

#include "EditBookFixture.h"
#include "app/BookLimits.h"

namespace {

using Undo = EditBook;

// Every kind of undo, recorded by the command that records it, on a book with pages,
// flags, comments and an audio length that is not the sum of its phrases: undo gives the
// book back field by field, and a second undo does nothing.
TEST_F(Undo, EveryKindRestoresTheBookExactly) {
    const struct { const char* name; int sectionKind, phraseKind; std::function<void()> edit; } cases[] = {
        {"section add", 1, 0, [&] { PickSections(2, 2); Run(&V::OnSectionAdd, {IDYES}); }},
        {"level down of a block", 2, 0, [&] { PickSections(1, 3); view.OnButtonLevelDown(); }},
        {"delete sections", 3, 0, [&] { PickSections(1, 2); Run(&V::OnEditDelete, {IDYES}); }},
        {"cut sections", 4, 0, [&] { PickSections(0, 1); view.OnEditCut(); }},
        {"paste sections", 5, 0, [&] { PickSections(2, 3); view.OnEditCopy(); sections.UserClick(1); view.OnEditPaste(); }},
        {"paste sections with nothing selected", 5, 0, [&] {
             PickSections(0, 0);
             view.OnEditCopy();
             sections.SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
             view.OnEditPaste();
             EXPECT_EQ(SectionAt(4)->m_strHeading, "序章");  // appended
         }},
        {"section split", 6, 0, [&] { Pick(1, 2); Run(&V::OnSectionSplit, {IDYES}); }},
        {"join sections", 7, 0, [&] { PickSections(1, 3); Run(&V::OnEditJoin, {IDYES}); }},
        {"delete all sections", 8, 0, [&] { sections.UserClick(2); Run(&V::OnEditDeleteAll, {IDYES}); }},
        {"cut every section", 8, 0, [&] { PickSections(0, 3); view.OnEditCut(); }},
        {"renumber pages", 9, 0, [&] { view.OnRefresh(); }},  // manual, front and special pages stay
        {"clear all pages", 10, 0, [&] { Run(&V::OnDeleteAllPages, {IDYES}); }},
        {"group toggle", 0, 1, [&] { sections.UserClick(1); PickPhrases(0, 2); view.OnButtonGroup(); }},
        {"delete phrases", 0, 2, [&] { Pick(2, 0); Run(&V::OnEditDelete, {IDYES}); }},
        {"cut phrases", 0, 3, [&] { sections.UserClick(1); PickPhrases(1, 2); view.OnEditCut(); }},
        {"paste phrases", 0, 4, [&] { Pick(3, 0); view.OnEditCopy(); Pick(2, 1); view.OnEditPaste(); }},
        {"phrase split", 0, 5, [&] {
             // The audio engine's split records its undo this way, then cuts the phrase.
             Pick(0, 1);
             view.m_nPhraseUndoKind = 5;
             view.SaveUndoPhrases();
             CPhraseInformation* phrase = PhraseAt(0, 1);
             auto second = CKorvaneView::CopyPhrase(*phrase);
             second->m_nStart += 12000;
             second->m_nLength -= 12000;
             phrase->m_nLength = 12000;
             phrase->m_nPause = 0;
             SectionAt(0)->m_lstPhrase.InsertAt(2, std::move(second));
         }},
        {"join phrases", 0, 6, [&] { sections.UserClick(1); PickPhrases(0, 3); Run(&V::OnEditJoin, {IDYES}); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BuildSampleBook();
        const BookData before = Book();
        c.edit();
        EXPECT_EQ(view.m_nSectionUndoKind, c.sectionKind);
        EXPECT_EQ(view.m_nPhraseUndoKind, c.phraseKind);
        EXPECT_NE(Book(), before);
        view.OnEditUndo();
        EXPECT_EQ(Book(), before);
        EXPECT_EQ(view.m_nSectionUndoKind + view.m_nPhraseUndoKind, 0);
        EXPECT_TRUE(view.m_lstSectionUndo.IsEmpty() && view.m_lstPhraseUndo.IsEmpty());
        EXPECT_EQ(sections.UntoldRows(), 0);
        EXPECT_EQ(sections.GetItemCount(), SectionCount() + 1);
        view.OnEditUndo();
        EXPECT_EQ(Book(), before);
    }
}

// Both undos of a section edit and a phrase paste stay recorded; each names its place
// by index, so the one recorded last must be undone first.
TEST_F(Undo, SectionAndPhraseUndosAreUndoneInReverseOrder) {
    // A section paste, then a phrase paste into a chapter the first paste moved down.
    BuildSampleBook();
    const BookData before = Book();
    PickSections(3, 3);
    view.OnEditCopy();
    sections.UserClick(0);
    view.OnEditPaste();
    Pick(1, 0);
    view.OnEditCopy();
    Pick(2, 1);
    view.OnEditPaste();
    ASSERT_EQ(view.m_nSectionUndoKind, 5);
    ASSERT_EQ(view.m_nPhraseUndoKind, 4);
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);

    // A phrase paste, then a section added before the pasted-into section.
    BuildSampleBook();
    Pick(0, 0);
    view.OnEditCopy();
    Pick(2, 0);
    view.OnEditPaste();
    sections.UserClick(1);
    Run(&V::OnSectionAdd, {IDYES});
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);
}

TEST_F(Undo, PastedCopiesAreIndependentAndOneClipboardIsKept) {
    BuildSampleBook();
    PickSections(1, 1);
    view.OnEditCopy();
    EXPECT_EQ(view.m_nSectionUndoKind, 0);  // copying records nothing
    sections.UserClick(4);                  // the trailing row: append
    view.OnEditPaste();
    sections.UserClick(5);
    view.OnEditPaste();
    ASSERT_EQ(SectionCount(), 6);
    SectionAt(4)->m_strHeading = "変更";
    PhraseAt(4, 0)->m_nMark = 0;
    EXPECT_EQ(Capture(*SectionAt(5)), Capture(*SectionAt(1)));
    EXPECT_EQ(Capture(*view.m_lstSectionClipboard.GetHead()), Capture(*SectionAt(1)));

    phrases.UserClick(0);
    view.OnEditCut();
    EXPECT_TRUE(view.m_lstSectionClipboard.IsEmpty());
    EXPECT_EQ(view.m_lstPhraseClipboard.GetCount(), 1);
    sections.UserClick(6);  // cutting the trailing row only empties the clipboards
    view.OnEditCut();
    EXPECT_TRUE(view.m_lstPhraseClipboard.IsEmpty());
    EXPECT_EQ(SectionCount(), 6);
}

TEST_F(Undo, SectionPasteStopsAtTheLimitAndItsUndoRemovesOnlyWhatWentIn) {
    AddBlankSections(kMaxSections - 2);
    for (const char* heading : {"甲", "乙", "丙"}) {
        AddSection(heading, 2);
        view.m_lstSectionClipboard.Add(view.m_lstSection.RemoveAt(SectionCount() - 1));
    }
    Show(0);
    const BookData before = Book();
    sections.UserClick(5);
    EXPECT_EQ(Run(&V::OnEditPaste, {IDOK}), Boxes{"!貼り付け出来ません。"});
    ASSERT_EQ(SectionCount(), kMaxSections);
    EXPECT_EQ(SectionAt(5)->m_strHeading, "甲");
    EXPECT_EQ(SectionAt(6)->m_strHeading, "乙");
    EXPECT_EQ(view.m_nSectionUndoCount, 2);
    EXPECT_EQ(view.m_lstSectionClipboard.GetCount(), 3);
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);

    AddBlankSections(2);  // full: refused at once
    Show(0);
    EXPECT_EQ(Run(&V::OnEditPaste, {IDOK}), Boxes{"!セクション数が最大のため貼り付け出来ません。"});
    EXPECT_EQ(SectionCount(), kMaxSections);
    EXPECT_EQ(view.m_nSectionUndoKind, 0);
}

TEST_F(Undo, PhrasePasteStopsAtTheLimitAndItsUndoRemovesOnlyWhatWentIn) {
    AddSection("大", kMaxPhrasesPerSection - 1, 2);
    AddSection("小", 3);
    Show(1);
    PickPhrases(0, 2);
    view.OnEditCopy();
    Pick(0, 100);
    const BookData before = Book();
    const Boxes full{"!フレーズ数が最大のため貼り付け出来ません。"};
    EXPECT_EQ(Run(&V::OnEditPaste, {IDOK}), full);
    EXPECT_EQ(SectionAt(0)->m_lstPhrase.GetCount(), kMaxPhrasesPerSection);
    EXPECT_EQ(PhraseAt(0, 100)->m_strComment, "小-1");
    EXPECT_EQ(SectionAt(0)->m_nSectionTime, before[0].sectionTime + 32000);
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);

    SectionAt(0)->m_lstPhrase.Add(std::make_unique<CPhraseInformation>());
    Show(0);
    phrases.UserClick(0);
    EXPECT_EQ(Run(&V::OnEditPaste, {IDOK}), full);
    EXPECT_EQ(view.m_nPhraseUndoKind, 0);
}

// An audio length shorter than the phrases (as some imports leave it) may not wrap
// below zero when phrases are removed, and undo gives back what it was.
TEST_F(Undo, SectionAudioLengthStopsAtZeroAndComesBack) {
    BuildSampleBook();
    SectionAt(2)->m_nSectionTime = 1000;
    const BookData before = Book();
    sections.UserClick(2);
    PickPhrases(0, 1);
    view.OnEditCut();
    EXPECT_EQ(SectionAt(2)->m_nSectionTime, 0u);
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);
}

}  // namespace
