// Moving by group, page, mark and event through a book on a view without a window.
//
// The sample book: section 0 has no flags; section 1 has a group (phrase 0), pages
// (1 and 2) and a mark (3); section 2 has a front page (0) and a special page (1);
// section 3 has a group and a mark on phrase 1.

#include <utility>

#include "EditBookFixture.h"
#include "app/CommandIds.h"

namespace {

class Navigation : public EditBook {
protected:
    // Where the selection stands: the section the phrase list shows and its phrase.
    std::pair<int, int> At() const { return {view.GetShownSection(), view.GetFirstSelectedPhrase()}; }

    void Pick(int section, int phrase) {
        sections.UserClick(section);
        phrases.UserClick(phrase);
    }

    // Runs `command` expecting the message `text` and an unchanged selection.
    void ExpectRefused(void (CKorvaneView::*command)(), const char* text) {
        const auto before = At();
        CUiScript script;
        script.AnswerBox(IDOK);
        (view.*command)();
        ASSERT_EQ(script.Records().size(), 1u);
        EXPECT_EQ(script.Records()[0].text, text);
        EXPECT_EQ(script.Records()[0].caption, "エラー");
        EXPECT_EQ(script.Records()[0].style, MB_OK | MB_ICONSTOP);
        EXPECT_EQ(At(), before);
    }
};

using Pos = std::pair<int, int>;

TEST_F(Navigation, ForwardSearchStopsAtTheEndOfTheBook) {
    BuildSampleBook();
    Pick(1, 0);
    view.OnNextGroup();
    EXPECT_EQ(At(), Pos(3, 1));
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{3});
    EXPECT_TRUE(phrases.HasFocus());
    // The last phrase of the book carries a group itself, and so does an earlier one:
    // there is no wrap-around.
    ExpectRefused(&CKorvaneView::OnNextGroup, "グループがありません。");
    ExpectRefused(&CKorvaneView::OnNextMark, "マークがありません。");
    ExpectRefused(&CKorvaneView::OnNextPage, "ページがありません。");
    ExpectRefused(&CKorvaneView::OnNextEvent, "移動出来ません。");
}

TEST_F(Navigation, EventsAreFoundInBookOrderBothWays) {
    BuildSampleBook();
    Pick(0, 0);
    const std::vector<Pos> events = {{1, 0}, {1, 1}, {1, 2}, {1, 3}, {2, 0}, {2, 1}, {3, 1}};
    for (const Pos& expected : events) {
        view.OnNextEvent();
        EXPECT_EQ(At(), expected);
    }
    for (auto it = events.rbegin() + 1; it != events.rend(); ++it) {
        view.OnPrevEvent();
        EXPECT_EQ(At(), *it);
    }
    ExpectRefused(&CKorvaneView::OnPrevEvent, "移動出来ません。");
}

TEST_F(Navigation, PreviousPageFromTheFirstPhraseGoesOnInTheSectionBefore) {
    BuildSampleBook();
    Pick(2, 0);
    view.OnPrevPage();
    EXPECT_EQ(At(), Pos(1, 2));
    view.OnPrevPage();
    EXPECT_EQ(At(), Pos(1, 1));
    ExpectRefused(&CKorvaneView::OnPrevPage, "ページがありません。");
    view.OnPrevGroup();
    EXPECT_EQ(At(), Pos(1, 0));
    ExpectRefused(&CKorvaneView::OnPrevGroup, "グループがありません。");
}

TEST_F(Navigation, FrontAndSpecialPagesCount) {
    BuildSampleBook();
    Pick(1, 3);
    view.OnNextPage();
    EXPECT_EQ(At(), Pos(2, 0));  // front page
    view.OnNextPage();
    EXPECT_EQ(At(), Pos(2, 1));  // special page
    Pick(1, 3);
    view.OnNextEvent();
    EXPECT_EQ(At(), Pos(2, 0));
    Pick(3, 0);
    view.OnPrevPage();
    EXPECT_EQ(At(), Pos(2, 1));
}

TEST_F(Navigation, BackwardSearchPassesOverSectionsWithoutPhrases) {
    AddSection("一", 2)->m_lstPhrase.GetAt(0)->m_nMark = 1;
    AddSection("空", 0);
    AddSection("空", 0);
    AddSection("三", 2);
    Show(0);
    Pick(3, 0);
    view.OnPrevMark();
    EXPECT_EQ(At(), Pos(0, 0));
    // From an empty section, whose phrase list has only its extra row.
    Pick(2, 0);
    view.OnPrevMark();
    EXPECT_EQ(At(), Pos(0, 0));
    ExpectRefused(&CKorvaneView::OnPrevMark, "マークがありません。");
    // Forward over the empty sections as well.
    PhraseAt(3, 1)->m_nMark = 1;
    view.OnNextMark();
    EXPECT_EQ(At(), Pos(3, 1));
}

TEST_F(Navigation, TheExtraRowsSearchFromTheirPlace) {
    BuildSampleBook();
    // The extra phrase row stands after the last phrase.
    Pick(1, 4);
    view.OnPrevMark();
    EXPECT_EQ(At(), Pos(1, 3));
    Pick(1, 4);
    view.OnNextGroup();
    EXPECT_EQ(At(), Pos(3, 1));
    // The extra section row is no section: nothing happens, not even a message.
    sections.UserClick(4);
    CUiScript script;
    view.OnNextEvent();
    view.OnPrevEvent();
    EXPECT_TRUE(script.Records().empty());
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{4});
}

TEST_F(Navigation, WithSeveralSectionsSelectedTheFoundPhraseIsShownInItsSection) {
    BuildSampleBook();
    // Sections 1 and 2 selected, the phrase list showing section 2 (the focused one).
    PickSections(1, 2);
    ASSERT_EQ(view.GetShownSection(), 2);
    view.OnNextMark();
    EXPECT_EQ(At(), Pos(1, 3));
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{1});
}

TEST_F(Navigation, CommandsNeedAnOpenProject) {
    BuildSampleBook();
    Pick(0, 0);
    EXPECT_FALSE(view.RunCommand(ID_NEXT_EVENT));
    EXPECT_EQ(At(), Pos(0, 0));
    view.m_bProjectOpen = 1;
    for (int id = ID_PREV_GROUP; id <= ID_NEXT_MARK; ++id) EXPECT_TRUE(view.IsCommandEnabled(id)) << id;
    EXPECT_TRUE(view.IsCommandEnabled(ID_PREV_EVENT));
    EXPECT_TRUE(view.RunCommand(ID_NEXT_EVENT));
    EXPECT_EQ(At(), Pos(1, 0));
    EXPECT_TRUE(view.RunCommand(ID_NEXT_MARK));
    EXPECT_EQ(At(), Pos(1, 3));
}

}  // namespace
