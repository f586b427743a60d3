// Moving by group, page, mark and event through a book on a view without a window.
//
// The sample book: section 0 has no flags; section 1 has a group (phrase 0), pages
// (1 and 2) and a mark (3); section 2 has a front page (0) and a special page (1);
// section 3 has a group and a mark on phrase 1.

#include <utility>

#include "EditBookFixture.h"
#include "app/CommandIds.h"

namespace {

using Pos = std::pair<int, int>;

class Navigation : public EditBook {
protected:
    // Where the selection stands: the section the phrase list shows and its phrase.
    Pos At() const { return {view.GetShownSection(), view.GetFirstSelectedPhrase()}; }

    // Runs `command` expecting the error `text` and an unchanged selection.
    void ExpectRefused(void (CKorvaneView::*command)(), const char* text) {
        const Pos before = At();
        EXPECT_EQ(Run(command, {IDOK}), Boxes{std::string("!") + text});
        EXPECT_EQ(At(), before);
    }
};

TEST_F(Navigation, EachSearchFindsTheNearestFlagInBookOrderAndStopsAtTheEndsWithoutWrapping) {
    BuildSampleBook();
    const struct { Pos from; void (V::*command)(); Pos to; } moves[] = {
        {{1, 0}, &V::OnNextGroup, {3, 1}},  {{2, 0}, &V::OnPrevPage, {1, 2}},   // into the section before
        {{1, 2}, &V::OnPrevPage, {1, 1}},   {{1, 1}, &V::OnPrevGroup, {1, 0}},
        {{1, 3}, &V::OnNextPage, {2, 0}},   {{2, 0}, &V::OnNextPage, {2, 1}},  // front and special pages count
        {{1, 3}, &V::OnNextEvent, {2, 0}},  {{3, 0}, &V::OnPrevPage, {2, 1}},
        {{1, 4}, &V::OnPrevMark, {1, 3}},   {{1, 4}, &V::OnNextGroup, {3, 1}},  // from the extra phrase row
        {{0, 0}, &V::OnNextEvent, {1, 0}},  {{1, 0}, &V::OnNextEvent, {1, 1}},   {{1, 3}, &V::OnNextEvent, {2, 0}},
        {{2, 1}, &V::OnNextEvent, {3, 1}},  {{3, 1}, &V::OnPrevEvent, {2, 1}},   {{2, 0}, &V::OnPrevEvent, {1, 3}},
        {{1, 1}, &V::OnPrevEvent, {1, 0}},  {{3, 0}, &V::OnPrevEvent, {2, 1}},
    };
    for (const auto& m : moves) {
        Pick(m.from.first, m.from.second);
        (view.*m.command)();
        EXPECT_EQ(At(), m.to) << "from " << m.from.first << "," << m.from.second;
    }
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{2});  // the section list follows the last move
    EXPECT_TRUE(phrases.HasFocus());
    // The last phrase of the book carries a group itself, and so does an earlier one:
    // there is no wrap-around.
    const struct { Pos from; void (V::*command)(); const char* message; } refusals[] = {
        {{3, 1}, &V::OnNextGroup, "グループがありません。"}, {{3, 1}, &V::OnNextMark, "マークがありません。"},
        {{3, 1}, &V::OnNextPage, "ページがありません。"},     {{3, 1}, &V::OnNextEvent, "移動出来ません。"},
        {{1, 1}, &V::OnPrevPage, "ページがありません。"},     {{1, 0}, &V::OnPrevGroup, "グループがありません。"},
        {{0, 0}, &V::OnPrevEvent, "移動出来ません。"},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.message);
        Pick(r.from.first, r.from.second);
        ExpectRefused(r.command, r.message);
    }
}

TEST_F(Navigation, SearchesPassOverSectionsWithoutPhrases) {
    AddSection("一", 2)->m_lstPhrase.GetAt(0)->m_nMark = 1;
    AddSection("空", 0);
    AddSection("空", 0);
    AddSection("三", 2);
    Show(0);
    Pick(3, 0);
    view.OnPrevMark();
    EXPECT_EQ(At(), Pos(0, 0));
    Pick(2, 0);  // an empty section, whose phrase list has only its extra row
    view.OnPrevMark();
    EXPECT_EQ(At(), Pos(0, 0));
    ExpectRefused(&V::OnPrevMark, "マークがありません。");
    PhraseAt(3, 1)->m_nMark = 1;
    view.OnNextMark();
    EXPECT_EQ(At(), Pos(3, 1));
}

TEST_F(Navigation, TheFoundPhraseIsShownInItsSectionAndTheExtraSectionRowFindsNothing) {
    BuildSampleBook();
    PickSections(1, 2);  // the phrase list shows section 2, the focused one
    ASSERT_EQ(view.GetShownSection(), 2);
    view.OnNextMark();
    EXPECT_EQ(At(), Pos(1, 3));
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{1});
    // The extra section row is no section: nothing happens, not even a message.
    sections.UserClick(4);
    EXPECT_EQ(Run(&V::OnNextEvent), Boxes{});
    EXPECT_EQ(Run(&V::OnPrevEvent), Boxes{});
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{4});
}

TEST_F(Navigation, CommandsNeedAnOpenProject) {
    BuildSampleBook();
    Pick(0, 0);
    EXPECT_FALSE(view.RunCommand(ID_NEXT_EVENT));
    EXPECT_EQ(At(), Pos(0, 0));
    view.m_bProjectOpen = 1;
    for (int id = ID_PREV_GROUP; id <= ID_NEXT_MARK; ++id) EXPECT_TRUE(view.IsCommandEnabled(id)) << id;
    EXPECT_TRUE(view.RunCommand(ID_NEXT_EVENT));
    EXPECT_EQ(At(), Pos(1, 0));
}

}  // namespace
