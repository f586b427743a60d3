// The three search dialogs driven by keys, as a user would: they stay open, Enter
// searches again, and Enter on キャンセル closes them.

#include <wx/choice.h>
#include <wx/textctrl.h>

#include "EditBookFixture.h"
#include "Screenshot.h"
#include "WxTestApp.h"
#include "app/CommandIds.h"
#include "app/SearchDlgs.h"
#include "platform/CodePage.h"

namespace {

class SearchDlgs : public EditBook {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(EnsureWxApp()); }
    void SetUp() override {
        EditBook::SetUp();
        BuildSampleBook();
        view.m_bProjectOpen = 1;
        view.m_nAudioKind = 1;
        view.m_bSuppressPlay = 1;  // the book has no audio: selecting plays nothing
        sections.SetFocus();
    }
    static void Press(wxDialog& dlg, int keyCode) {
        wxKeyEvent event(wxEVT_CHAR_HOOK);
        event.m_keyCode = keyCode;
        event.SetEventObject(&dlg);
        dlg.ProcessWindowEvent(event);
    }
    static void Type(wxDialog& dlg, int id, const char* text) {
        auto* edit = wxStaticCast(dlg.FindWindow(id), wxTextCtrl);
        edit->SetFocus();
        edit->SetValue(ToWx(text));
    }
    int Section() const { return sections.SelectedRows().empty() ? -1 : sections.SelectedRows().front(); }
    int Phrase() const { return phrases.SelectedRows().empty() ? -1 : phrases.SelectedRows().front(); }
};

TEST_F(SearchDlgs, TitleSearchRepeatsOnEnterWrapsAndSaysWhenNothingMatches) {
    std::vector<int> found;
    CUiScript script;
    script.AnswerDialog([&](wxDialog& dlg) {
        EXPECT_TRUE(SaveScreenshot(dlg, "search_title"));
        Type(dlg, CTitleSearchDlg::IDC_TEXT, "章");
        for (int i = 0; i < 4; ++i) {
            Press(dlg, WXK_RETURN);
            found.push_back(Section());
        }
        EXPECT_TRUE(dlg.IsModal());
        Type(dlg, CTitleSearchDlg::IDC_TEXT, "ソ");
        Press(dlg, WXK_RETURN);
        Type(dlg, CTitleSearchDlg::IDC_TEXT, "");
        Press(dlg, WXK_RETURN);
        dlg.FindWindow(wxID_CANCEL)->SetFocus();
        WaitUntil([&] { return wxWindow::FindFocus() == dlg.FindWindow(wxID_CANCEL); });
        Press(dlg, WXK_RETURN);
        return IDOK;  // not reached: Enter on キャンセル closed it
    });
    script.AnswerBox(IDOK).AnswerBox(IDOK);
    view.RunCommand(ID_HEADING_SEARCH);
    EXPECT_EQ(script.Records()[0].caption, "見出し検索");
    EXPECT_EQ(script.Records()[0].result, IDCANCEL);
    // 序章 (0) is selected: 第一章, 第二章, 序章 itself last, then round again.
    EXPECT_EQ(found, (std::vector<int>{1, 2, 0, 1}));
    EXPECT_EQ(script.BoxTexts(), (std::vector<CString>{"該当するセクションは見つかりません。", "検索文字を入力して下さい。"}));
}

TEST_F(SearchDlgs, PageSearchFindsPhrasesWithPagesOnlyAndSectionSearchNeedsALevel) {
    std::vector<std::pair<int, int>> found;
    CUiScript script;
    script.AnswerDialog([&](wxDialog& dlg) {
        EXPECT_TRUE(SaveScreenshot(dlg, "search_page"));
        Type(dlg, CPageSearchDlg::IDC_TEXT, "A");
        EXPECT_TRUE(CUiScript::ClickButton(dlg, CSearchDlgBase::IDC_SEARCH));
        found.emplace_back(Section(), Phrase());
        Type(dlg, CPageSearchDlg::IDC_TEXT, "5");
        Press(dlg, WXK_RETURN);
        found.emplace_back(Section(), Phrase());
        return IDCANCEL;
    });
    script.AnswerDialog([&](wxDialog& dlg) {
        EXPECT_TRUE(SaveScreenshot(dlg, "search_section"));
        Press(dlg, WXK_RETURN);  // no level chosen yet
        wxStaticCast(dlg.FindWindow(CSectionSearchDlg::IDC_LEVEL), wxChoice)->SetSelection(2);
        Press(dlg, WXK_RETURN);
        found.emplace_back(Section(), -1);
        wxStaticCast(dlg.FindWindow(CSectionSearchDlg::IDC_LEVEL), wxChoice)->SetSelection(5);
        Press(dlg, WXK_RETURN);
        return IDCANCEL;
    });
    script.AnswerBox(IDOK).AnswerBox(IDOK);
    view.RunCommand(ID_PAGE_SEARCH);
    view.RunCommand(ID_SECTION_SEARCH);
    EXPECT_EQ(found, (std::vector<std::pair<int, int>>{{2, 1}, {1, 1}, {2, -1}}));
    EXPECT_EQ(script.BoxTexts(),
              (std::vector<CString>{"セクションレベルを選択して下さい。", "該当するセクションは見つかりません。"}));
}

}  // namespace
