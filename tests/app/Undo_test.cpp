#include <functional>

#include "EditBookFixture.h"
#include "app/BookLimits.h"

namespace {

using Undo = EditBook;

struct UndoCase {
    const char* name;
    int sectionKind;  // the undo the edit records (0: none of this list)
    int phraseKind;
    std::function<void()> edit;
};

// Every kind of undo, recorded by the command that records it, on a book with pages,
// flags, comments and an audio length that is not the sum of its phrases: undo gives the
// book back field by field.
TEST_F(Undo, EveryKindRestoresTheBookExactly) {
    const std::vector<UndoCase> cases = {
        {"section add", 1, 0, [&] {
             PickSections(2, 2);
             CUiScript script;
             script.AnswerBox(IDYES);
             view.OnSectionAdd();
         }},
        {"level down of a block", 2, 0, [&] {
             PickSections(1, 3);
             view.OnButtonLevelDown();
         }},
        {"delete sections", 3, 0, [&] {
             PickSections(1, 2);
             CUiScript script;
             script.AnswerBox(IDYES);
             view.OnEditDelete();
         }},
        {"cut sections", 4, 0, [&] {
             PickSections(0, 1);
             view.OnEditCut();
         }},
        {"paste sections", 5, 0, [&] {
             PickSections(2, 3);
             view.OnEditCopy();
             sections.UserClick(1);
             view.OnEditPaste();
         }},
        {"section split", 6, 0, [&] {
             sections.UserClick(1);
             phrases.UserClick(2);
             CUiScript script;
             script.AnswerBox(IDYES);
             view.OnSectionSplit();
         }},
        {"join sections", 7, 0, [&] {
             PickSections(1, 3);
             CUiScript script;
             script.AnswerBox(IDYES);
             view.OnEditJoin();
         }},
        {"delete all sections", 8, 0, [&] {
             sections.UserClick(2);
             CUiScript script;
             script.AnswerBox(IDYES);
             view.OnEditDeleteAll();
         }},
        {"clear all pages", 10, 0, [&] {
             CUiScript script;
             script.AnswerBox(IDYES);
             view.OnDeleteAllPages();
         }},
        {"group toggle", 0, 1, [&] {
             sections.UserClick(1);
             PickPhrases(0, 2);
             view.OnButtonGroup();
         }},
        {"delete phrases", 0, 2, [&] {
             sections.UserClick(2);
             PickPhrases(0, 0);
             CUiScript script;
             script.AnswerBox(IDYES);
             view.OnEditDelete();
         }},
        {"cut phrases", 0, 3, [&] {
             sections.UserClick(1);
             PickPhrases(1, 2);
             view.OnEditCut();
         }},
        {"paste phrases", 0, 4, [&] {
             sections.UserClick(3);
             PickPhrases(0, 1);
             view.OnEditCopy();
             sections.UserClick(2);
             phrases.UserClick(1);
             view.OnEditPaste();
         }},
        {"phrase split", 0, 5, [&] {
             // The audio engine's split records its undo this way, then cuts the phrase.
             sections.UserClick(0);
             phrases.UserClick(1);
             view.m_nPhraseUndoKind = 5;
             view.SaveUndoPhrases();
             CSectionInformation* section = view.m_lstSection.GetAt(0);
             CPhraseInformation* phrase = section->m_lstPhrase.GetAt(1);
             auto second = CKorvaneView::CopyPhrase(*phrase);
             second->m_nStart += 12000;
             second->m_nLength -= 12000;
             phrase->m_nLength = 12000;
             phrase->m_nPause = 0;
             section->m_lstPhrase.InsertAt(2, std::move(second));
         }},
        {"join phrases", 0, 6, [&] {
             sections.UserClick(1);
             PickPhrases(0, 3);
             CUiScript script;
             script.AnswerBox(IDYES);
             view.OnEditJoin();
         }},
    };
    for (const UndoCase& c : cases) {
        SCOPED_TRACE(c.name);
        BuildSampleBook();
        const BookData before = Book();
        c.edit();
        EXPECT_EQ(view.m_nSectionUndoKind, c.sectionKind);
        EXPECT_EQ(view.m_nPhraseUndoKind, c.phraseKind);
        EXPECT_NE(Book(), before);
        view.OnEditUndo();
        EXPECT_EQ(Book(), before);
        EXPECT_EQ(view.m_nSectionUndoKind, 0);
        EXPECT_EQ(view.m_nPhraseUndoKind, 0);
        EXPECT_TRUE(view.m_lstSectionUndo.IsEmpty());
        EXPECT_TRUE(view.m_lstPhraseUndo.IsEmpty());
        EXPECT_EQ(sections.UntoldRows(), 0);
        EXPECT_EQ(sections.GetItemCount(), view.m_lstSection.GetCount() + 1);
    }
}

TEST_F(Undo, RenumberingUndoEmptiesOnlyTheAutomaticPages) {
    BuildSampleBook();
    PhraseAt(0, 1)->m_nPageKind = 1;
    const BookData before = Book();
    view.OnRefresh();
    EXPECT_EQ(view.m_nSectionUndoKind, 9);
    EXPECT_EQ(PhraseAt(0, 1)->m_strPageText, "1");
    EXPECT_EQ(PhraseAt(1, 2)->m_strPageText, "6");
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);  // manual "5", front "i" and special "A" stay
}

TEST_F(Undo, ASecondUndoDoesNothing) {
    BuildSampleBook();
    PickSections(1, 1);
    view.OnEditCut();
    view.OnEditUndo();
    const BookData once = Book();
    view.OnEditUndo();
    EXPECT_EQ(Book(), once);
}

TEST_F(Undo, CuttingEverySectionLeavesOneFreshSectionAndUndoRemovesIt) {
    BuildSampleBook();
    const BookData before = Book();
    PickSections(0, 3);
    view.OnEditCut();
    EXPECT_EQ(view.m_nSectionUndoKind, 8);
    ASSERT_EQ(view.m_lstSection.GetCount(), 1);
    EXPECT_EQ(view.m_lstSection.GetHead()->m_strHeading, "見出し");
    EXPECT_TRUE(view.m_lstSection.GetHead()->m_lstPhrase.IsEmpty());
    EXPECT_EQ(view.m_lstSectionClipboard.GetCount(), 4);
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);
}

// After a section paste and a phrase paste both undos stay recorded; each names its
// place by index, so the one recorded last must be undone first.
TEST_F(Undo, BothPastesAreUndoneInReverseOrder) {
    BuildSampleBook();
    const BookData before = Book();
    PickSections(3, 3);
    view.OnEditCopy();
    sections.UserClick(0);
    view.OnEditPaste();  // a copy of the appendix before the prologue: the chapters move down
    sections.UserClick(1);
    phrases.UserClick(0);
    view.OnEditCopy();
    sections.UserClick(2);
    phrases.UserClick(1);
    view.OnEditPaste();  // a prologue phrase into chapter one, now at index 2
    ASSERT_EQ(view.m_nSectionUndoKind, 5);
    ASSERT_EQ(view.m_nPhraseUndoKind, 4);
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);
}

// A section added after a phrase paste shifts the pasted-into section: the add goes first.
TEST_F(Undo, SectionAddAfterAPhrasePasteIsUndoneFirst) {
    BuildSampleBook();
    const BookData before = Book();
    sections.UserClick(0);
    phrases.UserClick(0);
    view.OnEditCopy();
    sections.UserClick(2);
    phrases.UserClick(0);
    view.OnEditPaste();
    sections.UserClick(1);
    {
        CUiScript script;
        script.AnswerBox(IDYES);
        view.OnSectionAdd();
    }
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);
}

TEST_F(Undo, PastedCopiesAreIndependentOfEachOtherAndOfTheClipboard) {
    BuildSampleBook();
    PickSections(1, 1);
    view.OnEditCopy();
    EXPECT_EQ(view.m_nSectionUndoKind, 0);  // copying records nothing
    sections.UserClick(4);                  // the trailing row: append
    view.OnEditPaste();
    sections.UserClick(5);
    view.OnEditPaste();
    ASSERT_EQ(view.m_lstSection.GetCount(), 6);
    view.m_lstSection.GetAt(4)->m_strHeading = "変更";
    view.m_lstSection.GetAt(4)->m_lstPhrase.GetHead()->m_nMark = 0;
    EXPECT_EQ(Capture(*view.m_lstSection.GetAt(5)), Capture(*view.m_lstSection.GetAt(1)));
    EXPECT_EQ(Capture(*view.m_lstSectionClipboard.GetHead()), Capture(*view.m_lstSection.GetAt(1)));
}

TEST_F(Undo, CopyAndCutKeepOnlyOneClipboard) {
    BuildSampleBook();
    PickSections(0, 1);
    view.OnEditCopy();
    EXPECT_EQ(view.m_lstSectionClipboard.GetCount(), 2);
    phrases.UserClick(0);
    view.OnEditCut();
    EXPECT_TRUE(view.m_lstSectionClipboard.IsEmpty());
    EXPECT_EQ(view.m_lstPhraseClipboard.GetCount(), 1);
    sections.UserClick(4);  // cutting the trailing row only empties the clipboards
    view.OnEditCut();
    EXPECT_TRUE(view.m_lstPhraseClipboard.IsEmpty());
    EXPECT_EQ(view.m_lstSection.GetCount(), 4);
}

TEST_F(Undo, PasteWithNothingSelectedAppendsAndIsUndoneExactly) {
    BuildSampleBook();
    const BookData before = Book();
    PickSections(0, 0);
    view.OnEditCopy();
    sections.SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    view.OnEditPaste();
    ASSERT_EQ(view.m_lstSection.GetCount(), 5);
    EXPECT_EQ(view.m_lstSection.GetAt(4)->m_strHeading, "序章");
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);
}

TEST_F(Undo, SectionPasteStopsAtTheLimitAndItsUndoRemovesOnlyWhatWentIn) {
    for (int i = 0; i < kMaxSections - 2; ++i) view.m_lstSection.Add(std::make_unique<CSectionInformation>());
    for (const char* heading : {"甲", "乙", "丙"}) {
        AddSection(heading, 2);
        view.m_lstSectionClipboard.Add(view.m_lstSection.RemoveAt(view.m_lstSection.GetCount() - 1));
    }
    Show(0);
    const BookData before = Book();
    sections.UserClick(5);
    CUiScript script;
    script.AnswerBox(IDOK);
    view.OnEditPaste();
    EXPECT_EQ(script.BoxTexts(), std::vector<CString>{"貼り付け出来ません。"});
    EXPECT_EQ(script.Records().at(0).caption, "エラー");
    EXPECT_EQ(script.Records().at(0).style, MB_OK | MB_ICONSTOP);
    ASSERT_EQ(view.m_lstSection.GetCount(), kMaxSections);
    EXPECT_EQ(view.m_lstSection.GetAt(5)->m_strHeading, "甲");
    EXPECT_EQ(view.m_lstSection.GetAt(6)->m_strHeading, "乙");
    EXPECT_EQ(view.m_nSectionUndoCount, 2);
    EXPECT_EQ(view.m_lstSectionClipboard.GetCount(), 3);
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);
}

TEST_F(Undo, SectionPasteIntoAFullBookIsRefusedAtOnce) {
    for (int i = 0; i < kMaxSections; ++i) view.m_lstSection.Add(std::make_unique<CSectionInformation>());
    Show(0);
    view.m_lstSectionClipboard.Add(std::make_unique<CSectionInformation>());
    sections.UserClick(0);
    CUiScript script;
    script.AnswerBox(IDOK);
    view.OnEditPaste();
    EXPECT_EQ(script.BoxTexts(), std::vector<CString>{"セクション数が最大のため貼り付け出来ません。"});
    EXPECT_EQ(view.m_lstSection.GetCount(), kMaxSections);
    EXPECT_EQ(view.m_nSectionUndoKind, 0);
}

TEST_F(Undo, PhrasePasteStopsAtTheLimitAndItsUndoRemovesOnlyWhatWentIn) {
    AddSection("大", kMaxPhrasesPerSection - 1, 2);
    AddSection("小", 3);
    Show(1);
    PickPhrases(0, 2);
    view.OnEditCopy();
    sections.UserClick(0);
    phrases.UserClick(100);
    const BookData before = Book();
    CUiScript script;
    script.AnswerBox(IDOK);
    view.OnEditPaste();
    EXPECT_EQ(script.BoxTexts(), std::vector<CString>{"フレーズ数が最大のため貼り付け出来ません。"});
    EXPECT_EQ(view.m_lstSection.GetHead()->m_lstPhrase.GetCount(), kMaxPhrasesPerSection);
    EXPECT_EQ(view.m_lstSection.GetHead()->m_lstPhrase.GetAt(100)->m_strComment, "小-1");
    EXPECT_EQ(view.m_lstSection.GetHead()->m_nSectionTime, before[0].sectionTime + 32000);
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);

    view.m_lstSection.GetHead()->m_lstPhrase.Add(std::make_unique<CPhraseInformation>());
    view.RefreshSectionList(0);
    phrases.UserClick(0);
    CUiScript full;
    full.AnswerBox(IDOK);
    view.OnEditPaste();
    EXPECT_EQ(full.BoxTexts(), std::vector<CString>{"フレーズ数が最大のため貼り付け出来ません。"});
    EXPECT_EQ(view.m_nPhraseUndoKind, 0);
}

TEST_F(Undo, PhraseUndoPutsBackTheAudioLengthTheSectionHad) {
    // An audio length shorter than the phrases (as some imports leave it) may not wrap
    // below zero when phrases are removed, and undo gives back what it was.
    BuildSampleBook();
    view.m_lstSection.GetAt(2)->m_nSectionTime = 1000;
    const BookData before = Book();
    sections.UserClick(2);
    PickPhrases(0, 1);
    view.OnEditCut();
    EXPECT_EQ(view.m_lstSection.GetAt(2)->m_nSectionTime, 0u);
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);
}

}  // namespace
