#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "FakeListView.h"
#include "app/BookLimits.h"
#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "platform/DialogHost.h"
#include "platform/KeyMap.h"
#include "platform/MessageBox.h"

namespace {

constexpr unsigned SF = LVIS_SELECTED | LVIS_FOCUSED;

class ViewLists : public ::testing::Test {
protected:
    ViewLists() { view.AttachLists(&sections, &phrases); }

    // One section per entry, with that many phrases; headings "S1", "S2", ...
    void MakeBook(const std::vector<int>& phraseCounts) {
        for (size_t i = 0; i < phraseCounts.size(); ++i) {
            auto section = std::make_unique<CSectionInformation>();
            section->m_strHeading = CString::Formatted("S%d", static_cast<int>(i + 1));
            for (int p = 0; p < phraseCounts[i]; ++p) {
                auto phrase = std::make_unique<CPhraseInformation>();
                phrase->m_strFileName = CString::Formatted("A%06d.wav", static_cast<int>(i + 1));
                phrase->m_strComment = CString::Formatted("p%d", p + 1);
                section->m_lstPhrase.Add(std::move(phrase));
            }
            view.m_lstSection.Add(std::move(section));
        }
        view.RefreshSectionList(0);
    }
    CString Label(int id) const { return view.GetControlText(id); }

    CFakeListView sections{IDC_LIST_SECTION};
    CFakeListView phrases{IDC_LIST_PHRASE};
    CKorvaneView view;
};

TEST_F(ViewLists, EmptyProjectShowsTheSectionAndTheExtraRows) {
    view.m_lstSection.Add(std::make_unique<CSectionInformation>());
    view.RefreshSectionList(0);
    EXPECT_EQ(sections.GetItemCount(), 2);
    EXPECT_EQ(phrases.GetItemCount(), 1);
    EXPECT_EQ(Label(IDC_STATIC_SECTION_COUNT), "1");
    EXPECT_EQ(Label(IDC_STATIC_SECTION_NO), "1");
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_COUNT), "0");
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_NO), "0");  // the extra row shows the number of phrases
    EXPECT_EQ(sections.CellText(0, 0), "1");
    EXPECT_EQ(sections.CellText(0, 2), "見出し");
    for (int column = 0; column < 7; ++column) EXPECT_EQ(sections.CellText(1, column), "") << column;
    for (int column = 0; column < 8; ++column) EXPECT_EQ(phrases.CellText(0, column), "") << column;
    EXPECT_TRUE(sections.IsRedrawOn());
    EXPECT_TRUE(phrases.IsRedrawOn());
    EXPECT_EQ(sections.UntoldRows(), 0);
}

TEST_F(ViewLists, PhraseRowsShowTheSelectedSection) {
    MakeBook({1, 3});
    sections.UserClick(1);
    EXPECT_EQ(phrases.GetItemCount(), 4);
    EXPECT_EQ(Label(IDC_STATIC_SECTION_NO), "2");
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_COUNT), "3");
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_NO), "1");
    EXPECT_EQ(phrases.CellText(2, 0), "3");
    EXPECT_EQ(phrases.CellText(2, 6), "A000002.wav");
    EXPECT_EQ(phrases.CellText(2, 7), "p3");
    EXPECT_EQ(phrases.CellText(3, 0), "");
    phrases.UserClick(3);
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_NO), "3");
}

TEST_F(ViewLists, TheExtraSectionRowEmptiesThePhraseList) {
    MakeBook({2, 2, 2});
    sections.UserClick(3);
    EXPECT_EQ(phrases.GetItemCount(), 0);
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_NO), "0");
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_COUNT), "0");
    EXPECT_EQ(Label(IDC_STATIC_SECTION_NO), "3");
}

TEST_F(ViewLists, CtrlClickNeverLeavesAScatteredSelection) {
    MakeBook({1, 1, 1, 1, 1, 4, 1, 1});
    sections.UserClick(2);
    sections.UserClick(5, true);
    EXPECT_EQ(sections.SelectedRows(), (std::vector<int>{5}));
    EXPECT_EQ(sections.GetNextItem(-1, LVNI_FOCUSED), 5);
    EXPECT_EQ(Label(IDC_STATIC_SECTION_NO), "6");
    EXPECT_EQ(phrases.GetItemCount(), 5);
    EXPECT_EQ(sections.UntoldRows(), 0);

    // The same rule in the phrase list.
    phrases.UserClick(1);
    phrases.UserClick(3, true);
    EXPECT_EQ(phrases.SelectedRows(), (std::vector<int>{3}));
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_NO), "4");
}

TEST_F(ViewLists, ShiftSelectsAContiguousRange) {
    MakeBook({1, 1, 1, 1, 1, 2, 1, 1});
    sections.UserClick(2);
    sections.UserClick(5, false, true);
    EXPECT_EQ(sections.SelectedRows(), (std::vector<int>{2, 3, 4, 5}));
    EXPECT_EQ(Label(IDC_STATIC_SECTION_NO), "6");
    EXPECT_EQ(phrases.GetItemCount(), 3);  // the focused section's phrases
    sections.UserClick(6, false, true);    // the range still starts at the first click
    EXPECT_EQ(sections.SelectedRows(), (std::vector<int>{2, 3, 4, 5, 6}));
    sections.UserClick(5, false, true);
    EXPECT_EQ(sections.SelectedRows(), (std::vector<int>{2, 3, 4, 5}));
    EXPECT_EQ(phrases.GetItemCount(), 3);

    phrases.UserClick(0);
    phrases.UserClick(2, false, true);
    EXPECT_EQ(phrases.SelectedRows(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_NO), "1");  // the first selected row
}

TEST_F(ViewLists, ClicksBesideTheRowsKeepARowSelected) {
    MakeBook({1, 1, 1, 1, 1});
    sections.UserClick(3);
    sections.UserClick(-1);
    EXPECT_EQ(sections.SelectedRows(), (std::vector<int>{3}));
    sections.UserClick(-1, true);
    EXPECT_EQ(sections.SelectedRows(), (std::vector<int>{3}));
    sections.UserDoubleClick(-1);
    EXPECT_EQ(sections.SelectedRows(), (std::vector<int>{3}));
    sections.UserRightClick(-1);
    EXPECT_EQ(sections.SelectedRows(), (std::vector<int>{3}));
    // A double click on a row keeps the row its clicks selected.
    sections.UserDoubleClick(1);
    EXPECT_EQ(sections.SelectedRows(), (std::vector<int>{1}));
    EXPECT_EQ(Label(IDC_STATIC_SECTION_NO), "2");
}

TEST_F(ViewLists, SelectAllLeavesTheExtraRowOut) {
    MakeBook({3, 1, 1, 1, 1, 1, 1, 1, 1, 1});
    sections.UserClick(4);
    view.OnEditSelectAll();
    EXPECT_EQ(sections.SelectedRows(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(sections.GetItemState(10, SF), 0u);

    sections.UserClick(0);
    phrases.UserClick(1);
    view.OnEditSelectAll();
    EXPECT_EQ(phrases.SelectedRows(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(sections.SelectedRows(), (std::vector<int>{0}));

    // With neither list focused the command does nothing.
    CFakeListView elsewhere(1);
    elsewhere.SetFocus();
    phrases.UserKey(VK_HOME);
    view.OnEditSelectAll();
    EXPECT_EQ(phrases.SelectedRows(), (std::vector<int>{0}));
}

TEST_F(ViewLists, HeadingsAreIndentedByLevel) {
    EXPECT_EQ(CKorvaneView::GetHeadingIndent(0, "A"), "A");
    EXPECT_EQ(CKorvaneView::GetHeadingIndent(2, "A"), "　　A");
    EXPECT_EQ(CKorvaneView::GetHeadingIndent(5, "A"), "　　　　　A");
    EXPECT_EQ(CKorvaneView::GetHeadingIndent(6, "A"), "A");
    EXPECT_EQ(CKorvaneView::GetHeadingIndent(-1, "A"), "A");
    EXPECT_EQ(CString("　"), CString("\x81\x40"));

    MakeBook({0});
    view.m_lstSection.GetAt(0)->m_nLevel = 2;
    EXPECT_EQ(sections.CellText(0, 1), "3");
    EXPECT_EQ(sections.CellText(0, 2), "　　S1");
}

TEST_F(ViewLists, SectionAddOnTheExtraRowAppends) {
    MakeBook({2, 2});
    sections.UserClick(2);
    CUiScript script;
    script.AnswerBox(IDYES);
    view.OnSectionAdd();
    ASSERT_EQ(script.Records().size(), 1u);
    const CUiRecord& box = script.Records()[0];
    EXPECT_EQ(box.text, "選択されているセクションの前にセクションを追加しますか？");
    EXPECT_EQ(box.caption, "確認");
    EXPECT_EQ(box.style, MB_YESNO | MB_ICONQUESTION);
    ASSERT_EQ(view.m_lstSection.GetCount(), 3);
    EXPECT_EQ(view.m_lstSection.GetAt(2)->m_strHeading, "見出し");
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_strHeading, "S2");
    EXPECT_EQ(sections.GetItemCount(), 4);
    EXPECT_EQ(sections.SelectedRows(), (std::vector<int>{2}));
    EXPECT_EQ(Label(IDC_STATIC_SECTION_COUNT), "3");
    EXPECT_EQ(Label(IDC_STATIC_SECTION_NO), "3");
    EXPECT_EQ(phrases.GetItemCount(), 1);
    EXPECT_EQ(view.m_nSectionUndoKind, 1);
    EXPECT_EQ(view.m_nSectionUndoFirst, 2);
    EXPECT_EQ(view.m_nSectionUndoCount, 1);
}

TEST_F(ViewLists, SectionAddInsertsBeforeTheSelectionOrNothingOnNo) {
    MakeBook({2, 2});
    sections.UserClick(1);
    {
        CUiScript script;
        script.AnswerBox(IDNO);
        view.OnSectionAdd();
    }
    EXPECT_EQ(view.m_lstSection.GetCount(), 2);
    EXPECT_EQ(view.m_nSectionUndoKind, 0);

    CUiScript script;
    script.AnswerBox(IDYES);
    view.OnSectionAdd();
    ASSERT_EQ(view.m_lstSection.GetCount(), 3);
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_strHeading, "見出し");
    EXPECT_EQ(view.m_lstSection.GetAt(2)->m_strHeading, "S2");
    EXPECT_EQ(sections.SelectedRows(), (std::vector<int>{1}));
    EXPECT_EQ(phrases.GetItemCount(), 1);  // the new section has no phrases
}

TEST_F(ViewLists, SectionAddWithoutASelectionAppendsAndSelectsIt) {
    MakeBook({1});
    sections.SetItemState(-1, 0, SF);
    CUiScript script;
    script.AnswerBox(IDYES);
    view.OnSectionAdd();
    ASSERT_EQ(view.m_lstSection.GetCount(), 2);
    EXPECT_EQ(sections.SelectedRows(), (std::vector<int>{1}));
    EXPECT_EQ(view.m_nSectionUndoFirst, 1);
}

TEST_F(ViewLists, SectionAddStopsAtTheSectionLimit) {
    for (int i = 0; i < kMaxSections; ++i) view.m_lstSection.Add(std::make_unique<CSectionInformation>());
    view.RefreshSectionList(0);
    CUiScript script;
    script.AnswerBox(IDYES).AnswerBox(IDOK);
    view.OnSectionAdd();
    ASSERT_EQ(script.Records().size(), 2u);
    EXPECT_EQ(script.Records()[1].text, "セクション数が最大のため追加出来ません。");
    EXPECT_EQ(script.Records()[1].caption, "エラー");
    EXPECT_EQ(script.Records()[1].style, MB_OK | MB_ICONSTOP);
    EXPECT_EQ(view.m_lstSection.GetCount(), kMaxSections);
    EXPECT_EQ(view.m_nSectionUndoKind, 0);
}

TEST_F(ViewLists, BackAndNextMoveThePhraseSelectionAndTakeTheFocus) {
    MakeBook({3});
    sections.SetFocus();
    view.OnButtonNext();
    EXPECT_EQ(phrases.SelectedRows(), (std::vector<int>{1}));
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_NO), "2");
    EXPECT_TRUE(phrases.HasFocus());
    EXPECT_EQ(view.m_hFocusList, &phrases);
    view.OnButtonBack();
    view.OnButtonBack();  // already at the top
    EXPECT_EQ(phrases.SelectedRows(), (std::vector<int>{0}));
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_NO), "1");
    for (int i = 0; i < 5; ++i) view.OnButtonNext();
    EXPECT_EQ(phrases.SelectedRows(), (std::vector<int>{3}));  // the extra row ends the walk
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_NO), "3");
}

TEST_F(ViewLists, FocusedListIsRemembered) {
    MakeBook({2});
    sections.UserClick(0);
    EXPECT_EQ(view.m_hFocusList, &sections);
    phrases.UserClick(1);
    EXPECT_EQ(view.m_hFocusList, &phrases);
    CFakeListView elsewhere(1);
    elsewhere.SetFocus();
    EXPECT_EQ(view.m_hFocusList, &phrases);  // the last list that had it
}

TEST_F(ViewLists, ListFontKeepsTheSelectedRows) {
    MakeBook({1, 1, 1, 4});
    sections.UserClick(3);
    phrases.UserClick(2);
    view.m_nListFont = 2;
    view.ApplyListFont();
    EXPECT_EQ(sections.SelectedRows(), (std::vector<int>{3}));
    EXPECT_EQ(phrases.SelectedRows(), (std::vector<int>{2}));
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_NO), "3");
    EXPECT_EQ(sections.FontChanges(), 1);
    EXPECT_EQ(phrases.FontChanges(), 1);
    EXPECT_TRUE(sections.IsShown());
    EXPECT_TRUE(phrases.IsShown());
}

TEST_F(ViewLists, SelectSectionAndPhraseLeaveOneRow) {
    MakeBook({1, 2, 3});
    sections.UserClick(0);
    sections.UserClick(1, false, true);
    view.SelectSection(2);
    EXPECT_EQ(sections.SelectedRows(), (std::vector<int>{2}));
    EXPECT_EQ(sections.LastEnsuredVisible(), 2);
    EXPECT_EQ(phrases.GetItemCount(), 4);
    view.SelectPhrase(3);
    EXPECT_EQ(phrases.SelectedRows(), (std::vector<int>{3}));
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_NO), "3");
}

}  // namespace
