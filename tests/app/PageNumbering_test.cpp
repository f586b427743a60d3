#include "EditBookFixture.h"

namespace {

class PageNumbering : public EditBook {
protected:
    // One section per entry; each phrase of it gets the page kind and text given.
    struct Page {
        uint32_t kind;
        const char* text;
    };
    void BuildPages(std::initializer_list<std::initializer_list<Page>> book) {
        view.m_lstSection.RemoveAll();
        int n = 0;
        for (const auto& pages : book) {
            CSectionInformation* section = AddSection(CString::Formatted("章%d", ++n).c_str(), static_cast<int>(pages.size()));
            int i = 0;
            for (const Page& page : pages) {
                section->m_lstPhrase.GetAt(i)->m_nPageKind = page.kind;
                section->m_lstPhrase.GetAt(i++)->m_strPageText = page.text;
            }
        }
        Show(0);
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& section : view.m_lstSection)
            for (const auto& phrase : section->m_lstPhrase) texts.push_back(phrase->m_strPageText.str());
        return texts;
    }
    // Runs the renumbering expecting it to stop with the error `message`.
    void ExpectStop(const char* message) {
        EXPECT_EQ(Answering({IDOK}, [&] { EXPECT_EQ(view.RenumberPages(), 1); }), Boxes{std::string("!") + message});
    }
};

TEST_F(PageNumbering, AutomaticPagesContinueFromTheLastManualPage) {
    BuildPages({{{1, ""}, {1, "7"}, {0, ""}}, {{2, "10"}, {1, ""}, {3, "iv"}, {4, "A"}, {1, ""}}});
    Pick(1, 2);
    view.OnRefresh();
    EXPECT_EQ(Texts(), (std::vector<std::string>{"1", "2", "", "10", "11", "iv", "A", "12"}));
    EXPECT_EQ(view.m_nSectionUndoKind, 9);
    EXPECT_EQ(view.m_nPhraseUndoKind, 0);
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{1});  // the selection stays
    EXPECT_EQ(phrases.SelectedRows(), std::vector<int>{2});
    EXPECT_EQ(SectionAt(1)->GetPageText(), "10 - 12 (3)");
}

TEST_F(PageNumbering, AManualPageMustRiseAboveThePageBefore) {
    for (const char* text : {"2", "ii", "", "-5"}) {
        SCOPED_TRACE(text);
        BuildPages({{{1, ""}, {0, ""}}, {{1, ""}, {2, text}, {1, ""}}});
        ExpectStop("ページ番号が正しくありません。");
        EXPECT_EQ(Texts(), (std::vector<std::string>{"1", "", "2", text, ""}));  // numbered up to the fault
        EXPECT_EQ(sections.SelectedRows(), std::vector<int>{1});
        EXPECT_EQ(phrases.SelectedRows(), std::vector<int>{1});
    }
    BuildPages({{{1, ""}, {2, " 12番"}, {1, ""}}});  // leading digits count, as the C library reads them
    EXPECT_EQ(view.RenumberPages(), 0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"1", " 12番", "13"}));
}

// Automatic pages stop at 999999. A manual page too large for the counter must not wrap
// it into negative numbers and hand out negative or repeated page numbers.
TEST_F(PageNumbering, PagesStopAtTheMaximumAndHugeOnesDoNotWrapTheCounter) {
    BuildPages({{{2, "999998"}, {1, ""}, {1, ""}}});
    ExpectStop("ページ番号が最大になりました。");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"999998", "999999", ""}));
    EXPECT_EQ(phrases.SelectedRows(), std::vector<int>{2});

    BuildPages({{{2, "2147483647"}, {1, ""}}});
    ExpectStop("ページ番号が最大になりました。");
    EXPECT_EQ(Texts()[1], "");
    for (auto [first, second] : {std::pair{"4294967296", "100"}, {"2147483647", "2147483647"}}) {
        BuildPages({{{2, first}, {2, second}}});
        ExpectStop("ページ番号が正しくありません。");
    }
    BuildPages({{{2, "99999999999999999999999"}, {3, "x"}}});
    EXPECT_EQ(view.RenumberPages(), 0);
}

class ValidateBook : public PageNumbering {
protected:
    // The boxes shown while the check ran, answered in order with `answers`.
    Boxes Check(std::initializer_list<int> answers, int expected) {
        return Answering(answers, [&] { EXPECT_EQ(view.ValidateBook(), expected); });
    }
};

TEST_F(ValidateBook, EmptySectionsGoOnlyWhenTheUserAgreesAndABookNeedsAudio) {
    const Boxes noAudio{"!音声データがありません。"};
    Show(0);
    EXPECT_EQ(Check({IDOK}, 1), noAudio);
    AddSection("空", 0);
    Show(0);
    EXPECT_EQ(Check({IDOK}, 1), noAudio);

    AddSection("本文", 2);
    AddSection("空2", 0);
    Show(0);
    const BookData before = Book();
    const Boxes question{"?空のセクションがあります。\n\n削除しますか？"};
    EXPECT_EQ(Check({IDNO}, 1), question);
    EXPECT_EQ(Book(), before);
    EXPECT_EQ(Check({IDYES}, 0), question);
    ASSERT_EQ(SectionCount(), 1);
    EXPECT_EQ(SectionAt(0)->m_strHeading, "本文");
    EXPECT_EQ(sections.GetItemCount(), 2);
}

TEST_F(ValidateBook, LevelsRiseByAtMostOne) {
    for (int level : {0, 1, 2, 0, 1}) AddSection("節", 1)->m_nLevel = level;
    Show(0);
    EXPECT_EQ(Check({}, 0), Boxes{});
    SectionAt(3)->m_nLevel = 2;  // 1, 2, 3, 3, 2: still fine
    EXPECT_EQ(Check({}, 0), Boxes{});
    SectionAt(4)->m_nLevel = 5;
    EXPECT_EQ(Check({IDOK}, 1), Boxes{"!セクション5のレベルが正しくありません。"});
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{4});
    SectionAt(0)->m_nLevel = 1;
    EXPECT_EQ(Check({IDOK}, 1), Boxes{"!セクション1はレベル1を設定して下さい。"});
}

TEST_F(ValidateBook, QuestionsAndErrorsComeInTheirOrder) {
    AddSection("空", 0);
    AddSection("一", 2)->m_nLevel = 1;  // the first section after the deletion
    Show(0);
    EXPECT_EQ(Check({IDYES, IDOK}, 1),
              (Boxes{"?空のセクションがあります。\n\n削除しますか？", "!セクション1はレベル1を設定して下さい。"}));

    BuildPages({{{1, ""}, {0, ""}}, {{2, "1"}}});
    SectionAt(1)->m_nLevel = 1;
    EXPECT_EQ(Check({IDOK}, 1), Boxes{"!ページ番号が正しくありません。"});

    const Boxes group{
        "?先頭フレーズにグループが設定されているセクションが存在します。\nDaisy図書作成を続けてよろしいですか？\n"
        "※先頭フレーズのグループはDaisy図書に出力されません。"};
    PhraseAt(1, 0)->m_strPageText = "5";
    PhraseAt(0, 0)->m_nGroup = 1;
    PhraseAt(1, 0)->m_nGroup = 1;
    EXPECT_EQ(Check({IDNO}, 1), group);
    EXPECT_EQ(Check({IDYES}, 0), group);  // asked once for both sections
    EXPECT_EQ(Texts(), (std::vector<std::string>{"1", "", "5"}));
    PhraseAt(0, 0)->m_nGroup = 2;  // only exactly 1 is a group
    PhraseAt(1, 0)->m_nGroup = 0;
    EXPECT_EQ(Check({}, 0), Boxes{});
}

// The deletion of empty sections records no undo. An undo recorded before it names
// sections by their old indices and would change the wrong ones, so it must go.
TEST_F(ValidateBook, DeletingEmptySectionsDropsTheRecordedUndo) {
    AddSection("一", 1);
    AddSection("空", 0);
    AddSection("二", 1)->m_nLevel = 3;
    AddSection("三", 1);
    Show(0);
    PickSections(3, 3);
    view.OnEditCopy();
    view.OnEditPaste();  // undo would remove section 3
    EXPECT_EQ(Check({IDYES, IDOK}, 1).back(), "!セクション2のレベルが正しくありません。");
    const BookData after = Book();
    EXPECT_EQ(view.m_nSectionUndoKind, 0);
    view.OnEditUndo();
    EXPECT_EQ(Book(), after);
}

}  // namespace
