#include "EditBookFixture.h"

namespace {

class Levels : public EditBook {
protected:
    std::vector<int> LevelsOf() const {
        std::vector<int> levels;
        for (const auto& section : view.m_lstSection) levels.push_back(section->m_nLevel);
        return levels;
    }
};

TEST_F(Levels, EachSectionOfTheBlockMovesOnItsOwnUpToItsBound) {
    for (int level : {0, 2, 5, 4}) AddSection("節", 1)->m_nLevel = level;
    Show(0);
    PickSections(0, 2);
    phrases.UserClick(0);  // the levels follow the section selection whatever has the focus
    view.OnButtonLevelDown();
    EXPECT_EQ(LevelsOf(), (std::vector<int>{1, 3, 5, 4}));
    EXPECT_TRUE(sections.HasFocus());
    for (int i = 0; i < 3; ++i) view.OnLevelDown();
    EXPECT_EQ(LevelsOf(), (std::vector<int>{4, 5, 5, 4}));
    view.OnButtonLevelUp();
    EXPECT_EQ(LevelsOf(), (std::vector<int>{3, 4, 4, 4}));
    EXPECT_EQ(sections.CellText(1, 1), "5");

    // At the top nothing moves, yet an undo is recorded.
    view.m_lstSection.RemoveAll();
    for (int level : {0, 1}) AddSection("節", 1)->m_nLevel = level;
    Show(0);
    const BookData before = Book();
    PickSections(0, 1);
    view.OnLevelUp();
    EXPECT_EQ(LevelsOf(), (std::vector<int>{0, 0}));
    view.OnEditUndo();
    EXPECT_EQ(Book(), before);
    sections.UserClick(0);
    view.OnLevelUp();
    EXPECT_EQ(Book(), before);
    EXPECT_EQ(view.m_nSectionUndoKind, 2);
    EXPECT_EQ(view.m_nSectionUndoCount, 1);
}

TEST_F(Levels, FlagsToggleEachSelectedPhraseOnItsOwn) {
    BuildSampleBook();
    sections.UserClick(3);
    PickPhrases(0, 1);  // phrase 1 has group and mark, phrase 0 neither
    view.OnButtonGroup();
    EXPECT_EQ(PhraseAt(3, 0)->m_nGroup, 1u);
    EXPECT_EQ(PhraseAt(3, 1)->m_nGroup, 0u);
    view.OnMark();
    EXPECT_EQ(PhraseAt(3, 0)->m_nMark, 1u);
    EXPECT_EQ(PhraseAt(3, 1)->m_nMark, 0u);
    EXPECT_EQ(view.m_nPhraseUndoKind, 1);
    EXPECT_TRUE(phrases.HasFocus());
}

TEST_F(Levels, ThePageKeyRemovesAnyPageAndAddsOnlyAutomaticOnes) {
    BuildSampleBook();
    Pick(1, 1);  // a manual page "5"
    view.OnButtonPage();
    EXPECT_EQ(phrases.CellText(1, 4), "");
    EXPECT_EQ(PhraseAt(1, 1)->m_strPageText, "");
    view.OnPage();
    EXPECT_EQ(PhraseAt(1, 1)->m_nPageKind, 1u);
    EXPECT_EQ(phrases.CellText(1, 4), "*");

    sections.UserClick(2);
    PickPhrases(0, 1);  // a front page and a special page
    view.OnButtonPage();
    EXPECT_EQ(PhraseAt(2, 0)->m_strPageText + PhraseAt(2, 1)->m_strPageText, "");
    EXPECT_EQ(PhraseAt(2, 0)->m_nPageKind + PhraseAt(2, 1)->m_nPageKind, 0u);
}

TEST_F(Levels, ClearingAFlagInTheWholeBookAsksAndCanBeUndone) {
    const struct { const char* question; void (V::*command)(); int groups, pages, marks; } cases[] = {
        {"?全グループを削除しますか？", &V::OnDeleteAllGroups, 0, 4, 2},
        {"?全ページを削除しますか？", &V::OnDeleteAllPages, 2, 0, 2},
        {"?全マークを削除しますか？", &V::OnDeleteAllMarks, 2, 4, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.question);
        BuildSampleBook();
        PhraseAt(0, 2)->m_nGroup = 2;  // not a group: left alone
        const BookData before = Book();
        EXPECT_EQ(Run(c.command, {IDNO}), Boxes{c.question});
        EXPECT_EQ(Book(), before);
        EXPECT_EQ(view.m_nSectionUndoKind, 0);
        Run(c.command, {IDYES});
        EXPECT_EQ(view.m_nSectionUndoKind, 10);
        int groups = 0, pages = 0, marks = 0;
        for (const auto& section : view.m_lstSection)
            for (const auto& phrase : section->m_lstPhrase) {
                groups += phrase->m_nGroup == 1;
                pages += phrase->m_nPageKind != 0 || !phrase->m_strPageText.IsEmpty();
                marks += phrase->m_nMark == 1;
            }
        EXPECT_EQ(groups, c.groups);
        EXPECT_EQ(pages, c.pages);
        EXPECT_EQ(marks, c.marks);
        EXPECT_EQ(PhraseAt(0, 2)->m_nGroup, 2u);
        view.OnEditUndo();
        EXPECT_EQ(Book(), before);
    }
}

}  // namespace
