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
    // Runs the renumbering expecting it to stop with `message`.
    void ExpectStop(const char* message) {
        CUiScript script;
        script.AnswerBox(IDOK);
        EXPECT_EQ(view.RenumberPages(), 1);
        ASSERT_EQ(script.Records().size(), 1u);
        EXPECT_EQ(script.Records()[0].text, message);
        EXPECT_EQ(script.Records()[0].caption, "エラー");
        EXPECT_EQ(script.Records()[0].style, MB_OK | MB_ICONSTOP);
    }
};

TEST_F(PageNumbering, AutomaticPagesContinueFromTheLastManualPage) {
    BuildPages({{{1, ""}, {1, "7"}, {0, ""}}, {{2, "10"}, {1, ""}, {3, "iv"}, {4, "A"}, {1, ""}}});
    sections.UserClick(1);
    phrases.UserClick(2);
    view.OnRefresh();
    EXPECT_EQ(Texts(), (std::vector<std::string>{"1", "2", "", "10", "11", "iv", "A", "12"}));
    EXPECT_EQ(view.m_nSectionUndoKind, 9);
    EXPECT_EQ(view.m_nPhraseUndoKind, 0);
    EXPECT_EQ(view.m_bSuppressPlay, 0);
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{1});  // the selection stays
    EXPECT_EQ(phrases.SelectedRows(), std::vector<int>{2});
    EXPECT_EQ(view.m_lstSection.GetAt(1)->GetPageText(), "10 - 12 (3)");
}

TEST_F(PageNumbering, AManualPageMustRiseAboveThePageBefore) {
    for (const char* text : {"2", "ii", "", "-5"}) {
        SCOPED_TRACE(text);
        view.m_lstSection.RemoveAll();
        BuildPages({{{1, ""}, {0, ""}}, {{1, ""}, {2, text}, {1, ""}}});
        ExpectStop("ページ番号が正しくありません。");
        EXPECT_EQ(Texts(), (std::vector<std::string>{"1", "", "2", text, ""}));  // numbered up to the fault
        EXPECT_EQ(sections.SelectedRows(), std::vector<int>{1});
        EXPECT_EQ(phrases.SelectedRows(), std::vector<int>{1});
    }
    view.m_lstSection.RemoveAll();
    BuildPages({{{1, ""}, {2, " 12番"}, {1, ""}}});  // leading digits count, as the C library reads them
    EXPECT_EQ(view.RenumberPages(), 0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"1", " 12番", "13"}));
}

TEST_F(PageNumbering, AutomaticPagesStopAt999999) {
    BuildPages({{{2, "999998"}, {1, ""}, {1, ""}}});
    ExpectStop("ページ番号が最大になりました。");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"999998", "999999", ""}));
    EXPECT_EQ(phrases.SelectedRows(), std::vector<int>{2});
}

// A manual page too large for the counter must not wrap it into negative numbers and
// hand out negative or repeated page numbers.
TEST_F(PageNumbering, HugeManualPagesDoNotWrapTheCounter) {
    BuildPages({{{2, "2147483647"}, {1, ""}}});
    ExpectStop("ページ番号が最大になりました。");
    EXPECT_EQ(Texts()[1], "");

    view.m_lstSection.RemoveAll();
    BuildPages({{{2, "4294967296"}, {2, "100"}}});
    ExpectStop("ページ番号が正しくありません。");

    view.m_lstSection.RemoveAll();
    BuildPages({{{2, "2147483647"}, {2, "2147483647"}}});
    ExpectStop("ページ番号が正しくありません。");

    view.m_lstSection.RemoveAll();
    BuildPages({{{2, "99999999999999999999999"}, {3, "x"}}});
    EXPECT_EQ(view.RenumberPages(), 0);
}

class ValidateBook : public PageNumbering {
protected:
    // The boxes shown while the check ran, answered in order with `answers`.
    std::vector<CString> Check(std::initializer_list<int> answers, int expected) {
        CUiScript script;
        for (int answer : answers) script.AnswerBox(answer);
        EXPECT_EQ(view.ValidateBook(), expected);
        return script.BoxTexts();
    }
};

TEST_F(ValidateBook, ABookWithoutAudioStops) {
    AddSection("空", 0);
    Show(0);
    EXPECT_EQ(Check({IDOK}, 1), std::vector<CString>{"音声データがありません。"});
    view.m_lstSection.RemoveAll();
    Show(0);
    EXPECT_EQ(Check({IDOK}, 1), std::vector<CString>{"音声データがありません。"});
}

TEST_F(ValidateBook, EmptySectionsGoOnlyWhenTheUserAgrees) {
    AddSection("空", 0);
    AddSection("本文", 2);
    AddSection("空2", 0);
    Show(0);
    const BookData before = Book();
    const CString question = "空のセクションがあります。\n\n削除しますか？";
    EXPECT_EQ(Check({IDNO}, 1), std::vector<CString>{question});
    EXPECT_EQ(Book(), before);
    EXPECT_EQ(Check({IDYES}, 0), std::vector<CString>{question});
    ASSERT_EQ(view.m_lstSection.GetCount(), 1);
    EXPECT_EQ(view.m_lstSection.GetHead()->m_strHeading, "本文");
    EXPECT_EQ(sections.GetItemCount(), 2);
}

TEST_F(ValidateBook, LevelsRiseByAtMostOne) {
    for (int level : {0, 1, 2, 0, 1}) AddSection("節", 1)->m_nLevel = level;
    Show(0);
    EXPECT_EQ(Check({}, 0), std::vector<CString>{});

    view.m_lstSection.GetAt(3)->m_nLevel = 2;  // 1, 2, 3, 3, 2: still fine
    EXPECT_EQ(Check({}, 0), std::vector<CString>{});
    view.m_lstSection.GetAt(4)->m_nLevel = 5;
    EXPECT_EQ(Check({IDOK}, 1), std::vector<CString>{"セクション5のレベルが正しくありません。"});
    EXPECT_EQ(sections.SelectedRows(), std::vector<int>{4});

    view.m_lstSection.GetAt(0)->m_nLevel = 1;
    EXPECT_EQ(Check({IDOK}, 1), std::vector<CString>{"セクション1はレベル1を設定して下さい。"});
}

TEST_F(ValidateBook, QuestionsAndErrorsComeInTheirOrder) {
    AddSection("空", 0);
    AddSection("一", 2)->m_nLevel = 1;  // the first section after the deletion
    Show(0);
    EXPECT_EQ(Check({IDYES, IDOK}, 1),
              (std::vector<CString>{"空のセクションがあります。\n\n削除しますか？", "セクション1はレベル1を設定して下さい。"}));

    view.m_lstSection.RemoveAll();
    BuildPages({{{1, ""}, {0, ""}}, {{2, "1"}}});
    view.m_lstSection.GetAt(1)->m_nLevel = 1;
    EXPECT_EQ(Check({IDOK}, 1), std::vector<CString>{"ページ番号が正しくありません。"});

    const CString group =
        "先頭フレーズにグループが設定されているセクションが存在します。\nDaisy図書作成を続けてよろしいですか？\n"
        "※先頭フレーズのグループはDaisy図書に出力されません。";
    PhraseAt(1, 0)->m_strPageText = "5";
    PhraseAt(0, 0)->m_nGroup = 1;
    PhraseAt(1, 0)->m_nGroup = 1;
    EXPECT_EQ(Check({IDNO}, 1), std::vector<CString>{group});
    EXPECT_EQ(Check({IDYES}, 0), std::vector<CString>{group});  // asked once for both sections
    EXPECT_EQ(Texts(), (std::vector<std::string>{"1", "", "5"}));
    PhraseAt(0, 0)->m_nGroup = 2;  // only exactly 1 is a group
    PhraseAt(1, 0)->m_nGroup = 0;
    EXPECT_EQ(Check({}, 0), std::vector<CString>{});
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
    sections.UserClick(3);
    view.OnEditPaste();  // undo would remove section 3
    EXPECT_EQ(Check({IDYES, IDOK}, 1).back(), "セクション2のレベルが正しくありません。");
    const BookData after = Book();
    EXPECT_EQ(view.m_nSectionUndoKind, 0);
    view.OnEditUndo();
    EXPECT_EQ(Book(), after);
}

}  // namespace
