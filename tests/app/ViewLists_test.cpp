#include "EditBookFixture.h"
#include "app/BookLimits.h"

namespace {

class ViewLists : public EditBook {
protected:
    // One section per entry, with that many phrases; headings "S1", "S2", ..., each in
    // its own file "A00000n.wav".
    void MakeBook(const std::vector<int>& phraseCounts) {
        for (size_t i = 0; i < phraseCounts.size(); ++i) {
            const CString n = CString::Formatted("%d", static_cast<int>(i + 1));
            AddSection((CString("S") + n).c_str(), phraseCounts[i], 32000, (CString("A00000") + n + ".wav").c_str());
        }
        Show(0);
    }
    CString Label(int id) const { return view.GetControlText(id); }
    std::vector<CString> Labels() const {
        return {Label(IDC_STATIC_SECTION_COUNT), Label(IDC_STATIC_SECTION_NO), Label(IDC_STATIC_PHRASE_COUNT),
                Label(IDC_STATIC_PHRASE_NO)};
    }
};

using Rows = std::vector<int>;
using Texts = std::vector<CString>;

TEST_F(ViewLists, RowsAndLabelsShowTheSelectedSectionWithTheExtraRows) {
    AddBlankSections(1);
    Show(0);
    EXPECT_EQ(sections.GetItemCount(), 2);
    EXPECT_EQ(phrases.GetItemCount(), 1);
    EXPECT_EQ(Labels(), (Texts{"1", "1", "0", "0"}));  // the extra row shows the number of phrases
    EXPECT_EQ(sections.CellText(0, 2), "見出し");
    for (int column = 0; column < 7; ++column) EXPECT_EQ(sections.CellText(1, column) + phrases.CellText(0, column), "");
    EXPECT_TRUE(sections.IsRedrawOn() && phrases.IsRedrawOn());
    EXPECT_EQ(sections.UntoldRows(), 0);

    view.m_lstSection.RemoveAll();
    MakeBook({1, 3});
    sections.UserClick(1);
    EXPECT_EQ(phrases.GetItemCount(), 4);
    EXPECT_EQ(Labels(), (Texts{"2", "2", "3", "1"}));
    EXPECT_EQ(phrases.CellText(2, 0) + phrases.CellText(2, 6) + phrases.CellText(2, 7), "3A000002.wavS2-3");
    phrases.UserClick(3);
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_NO), "3");
    sections.UserClick(2);  // the extra section row empties the phrase list
    EXPECT_EQ(phrases.GetItemCount(), 0);
    EXPECT_EQ(Labels(), (Texts{"2", "2", "0", "0"}));
}

TEST_F(ViewLists, CtrlClickNeverLeavesAScatteredSelectionAndShiftSelectsARange) {
    MakeBook({1, 1, 1, 1, 1, 4, 1, 1});
    sections.UserClick(2);
    sections.UserClick(5, true);
    EXPECT_EQ(sections.SelectedRows(), Rows{5});
    EXPECT_EQ(sections.GetNextItem(-1, LVNI_FOCUSED), 5);
    EXPECT_EQ(Label(IDC_STATIC_SECTION_NO), "6");
    EXPECT_EQ(phrases.GetItemCount(), 5);
    EXPECT_EQ(sections.UntoldRows(), 0);
    phrases.UserClick(1);
    phrases.UserClick(3, true);
    EXPECT_EQ(phrases.SelectedRows(), Rows{3});
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_NO), "4");

    sections.UserClick(2);
    sections.UserClick(5, false, true);
    EXPECT_EQ(sections.SelectedRows(), (Rows{2, 3, 4, 5}));
    EXPECT_EQ(phrases.GetItemCount(), 5);  // the focused section's phrases
    phrases.UserClick(0);
    phrases.UserClick(2, false, true);
    EXPECT_EQ(phrases.SelectedRows(), (Rows{0, 1, 2}));
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_NO), "1");  // the first selected row
}

TEST_F(ViewLists, ClicksBesideTheRowsKeepARowSelected) {
    MakeBook({1, 1, 1, 1, 1});
    sections.UserClick(3);
    sections.UserClick(-1);
    sections.UserClick(-1, true);
    sections.UserDoubleClick(-1);
    sections.UserRightClick(-1);
    EXPECT_EQ(sections.SelectedRows(), Rows{3});
    sections.UserDoubleClick(1);  // a double click on a row keeps the row its clicks selected
    EXPECT_EQ(sections.SelectedRows(), Rows{1});
    EXPECT_EQ(Label(IDC_STATIC_SECTION_NO), "2");
}

TEST_F(ViewLists, SelectAllLeavesTheExtraRowOutAndNeedsAFocusedList) {
    MakeBook({3, 1, 1, 1, 1, 1, 1, 1, 1, 1});
    sections.UserClick(4);
    view.OnEditSelectAll();
    EXPECT_EQ(sections.SelectedRows(), (Rows{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    Pick(0, 1);
    view.OnEditSelectAll();
    EXPECT_EQ(phrases.SelectedRows(), (Rows{0, 1, 2}));
    EXPECT_EQ(sections.SelectedRows(), Rows{0});
    CFakeListView elsewhere(1);
    elsewhere.SetFocus();
    phrases.UserKey(VK_HOME);
    view.OnEditSelectAll();
    EXPECT_EQ(phrases.SelectedRows(), Rows{0});
    EXPECT_EQ(view.m_hFocusList, &phrases);  // the last list that had the focus
}

TEST_F(ViewLists, HeadingsAreIndentedByLevel) {
    for (auto [level, shown] : {std::pair{0, "A"}, {2, "　　A"}, {5, "　　　　　A"}, {6, "A"}, {-1, "A"}})
        EXPECT_EQ(CKorvaneView::GetHeadingIndent(level, "A"), shown) << level;
    EXPECT_EQ(CString("　"), CString("\x81\x40"));
    MakeBook({0});
    SectionAt(0)->m_nLevel = 2;
    EXPECT_EQ(sections.CellText(0, 1), "3");
    EXPECT_EQ(sections.CellText(0, 2), "　　S1");
}

TEST_F(ViewLists, SectionAddInsertsBeforeTheSelectionOrAppends) {
    MakeBook({2, 2});
    const Boxes question{"?選択されているセクションの前にセクションを追加しますか？"};
    sections.UserClick(1);
    EXPECT_EQ(Run(&V::OnSectionAdd, {IDNO}), question);
    EXPECT_EQ(SectionCount(), 2);
    EXPECT_EQ(view.m_nSectionUndoKind, 0);
    EXPECT_EQ(Run(&V::OnSectionAdd, {IDYES}), question);
    ASSERT_EQ(SectionCount(), 3);
    EXPECT_EQ(SectionAt(1)->m_strHeading, "見出し");
    EXPECT_EQ(SectionAt(2)->m_strHeading, "S2");
    EXPECT_EQ(sections.SelectedRows(), Rows{1});
    EXPECT_EQ(phrases.GetItemCount(), 1);  // the new section has no phrases

    sections.UserClick(3);  // the extra row: append
    Run(&V::OnSectionAdd, {IDYES});
    ASSERT_EQ(SectionCount(), 4);
    EXPECT_EQ(SectionAt(3)->m_strHeading, "見出し");
    EXPECT_EQ(sections.GetItemCount(), 5);
    EXPECT_EQ(sections.SelectedRows(), Rows{3});
    EXPECT_EQ(Labels(), (Texts{"4", "4", "0", "0"}));
    EXPECT_EQ(view.m_nSectionUndoFirst, 3);

    sections.SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);  // nothing selected: append
    Run(&V::OnSectionAdd, {IDYES});
    EXPECT_EQ(sections.SelectedRows(), Rows{4});
    EXPECT_EQ(view.m_nSectionUndoFirst, 4);

    AddBlankSections(kMaxSections - SectionCount());
    Show(0);
    view.ClearSectionUndo();
    EXPECT_EQ(Run(&V::OnSectionAdd, {IDYES, IDOK}), (Boxes{question[0], "!セクション数が最大のため追加出来ません。"}));
    EXPECT_EQ(SectionCount(), kMaxSections);
    EXPECT_EQ(view.m_nSectionUndoKind, 0);
}

TEST_F(ViewLists, BackAndNextMoveThePhraseSelectionAndTakeTheFocus) {
    MakeBook({3});
    sections.SetFocus();
    view.OnButtonNext();
    EXPECT_EQ(phrases.SelectedRows(), Rows{1});
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_NO), "2");
    EXPECT_TRUE(phrases.HasFocus());
    EXPECT_EQ(view.m_hFocusList, &phrases);
    view.OnButtonBack();
    view.OnButtonBack();  // already at the top
    EXPECT_EQ(phrases.SelectedRows(), Rows{0});
    for (int i = 0; i < 5; ++i) view.OnButtonNext();
    EXPECT_EQ(phrases.SelectedRows(), Rows{3});  // the extra row ends the walk
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_NO), "3");
}

TEST_F(ViewLists, ListFontAndProgramSelectionsKeepOrLeaveOneRow) {
    MakeBook({1, 1, 1, 4});
    Pick(3, 2);
    view.m_nListFont = 2;
    view.ApplyListFont();
    EXPECT_EQ(sections.SelectedRows(), Rows{3});
    EXPECT_EQ(phrases.SelectedRows(), Rows{2});
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_NO), "3");
    EXPECT_EQ(sections.FontChanges() + phrases.FontChanges(), 2);
    EXPECT_TRUE(sections.IsShown() && phrases.IsShown());

    PickSections(0, 1);
    view.SelectSection(3);
    EXPECT_EQ(sections.SelectedRows(), Rows{3});
    EXPECT_EQ(sections.LastEnsuredVisible(), 3);
    EXPECT_EQ(phrases.GetItemCount(), 5);
    view.SelectPhrase(3);
    EXPECT_EQ(phrases.SelectedRows(), Rows{3});
    EXPECT_EQ(Label(IDC_STATIC_PHRASE_NO), "4");
}

}  // namespace
