#include <gtest/gtest.h>

#include <wx/dialog.h>
#include <wx/textctrl.h>

#include "WxTestApp.h"
#include "app/BookInfoDlg.h"
#include "app/KorvaneView.h"
#include "platform/CodePage.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"

namespace {

// Edits in the order of the book record, with their limits in bytes.
constexpr int kEdit[12] = {1043, 1044, 1046, 1048, 1050, 1052, 1054, 1051, 1053, 1055, 1056, 1057};
constexpr int kLimit[12] = {500, 500, 50, 500, 500, 500, 500, 500, 8, 8, 500, 500};

wxTextCtrl& Edit(wxDialog& dlg, int id) { return *wxStaticCast(dlg.FindWindow(id), wxTextCtrl); }
CString Text(wxDialog& dlg, int id) { return FromWx(Edit(dlg, id).GetValue()); }
void Type(wxDialog& dlg, int id, const CString& text) { Edit(dlg, id).SetValue(ToWx(text)); }
CString FullWidth(int characters) {
    CString text;
    for (int i = 0; i < characters; ++i) text += "あ";
    return text;
}

class BookInfoDlgGui : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(EnsureWxApp()); }
    CKorvaneView view;  // without a window: the dialog stands alone
};

TEST_F(BookInfoDlgGui, ShowsTheRecordStoresWhatWasTypedEscapedAndCancelKeepsIt) {
    view.m_bookInfo.m_strTitle = "吾輩は猫である";
    view.m_bookInfo.m_strScheme = "NDC";
    CUiScript script;
    script.AnswerDialog([&](wxDialog& dlg) {
        EXPECT_EQ(dlg.GetId(), CBookInfoDlg::IDD);
        EXPECT_EQ(Text(dlg, 1043), "吾輩は猫である");
        EXPECT_EQ(Text(dlg, 1057), "NDC");
        Type(dlg, 1043, "猫 & 犬");
        Type(dlg, 1044, "<夏目>");
        Type(dlg, 1051, "'岩波' \"書店\"");
        Type(dlg, 1046, "978-4-00-000000-0");
        EXPECT_TRUE(CUiScript::ClickButton(dlg, wxID_OK));
        return IDCANCEL;
    });
    view.OnBookInfo();
    EXPECT_EQ(script.Records().at(0).caption, "書誌情報");
    EXPECT_EQ(view.m_bookInfo.m_strTitle, "猫 ＆ 犬");
    EXPECT_EQ(view.m_bookInfo.m_strAuthor, "＜夏目＞");
    EXPECT_EQ(view.m_bookInfo.m_strOrgPublisher, "’岩波’ ”書店”");
    EXPECT_EQ(view.m_bookInfo.m_strIsbn, "978-4-00-000000-0");
    EXPECT_EQ(view.m_bookInfo.m_strScheme, "NDC");

    // Opened again, the dialog shows the full-width forms that were stored; Cancel keeps them.
    CString again;
    CUiScript second;
    second.AnswerDialog([&](wxDialog& dlg) {
        again = Text(dlg, 1043);
        Type(dlg, 1043, "別の題");
        return IDCANCEL;
    });
    view.OnBookInfo();
    EXPECT_EQ(again, "猫 ＆ 犬");
    EXPECT_EQ(view.m_bookInfo.m_strTitle, "猫 ＆ 犬");
}

TEST_F(BookInfoDlgGui, EveryFieldRefusesOneByteOverItsLimitAndTakesTheFocus) {
    for (int field = 0; field < 12; ++field) {
        SCOPED_TRACE(field);
        CBookInfoDlg dlg(nullptr);
        EXPECT_EQ(CBookInfoDlg::GetEditId(field), kEdit[field]);
        const int limit = kLimit[field];
        // Full-width characters are two bytes each; a half-width one makes the odd byte.
        const CString fits = limit % 2 == 0 ? FullWidth(limit / 2) : FullWidth(limit / 2) + "1";
        bool stayedOpen = false, focused = false;
        CUiScript script;
        script.AnswerDialog([&](wxDialog& d) {
            Type(d, kEdit[field], fits + "1");
            Type(d, kEdit[(field + 1) % 12], "x");
            EXPECT_TRUE(CUiScript::ClickButton(d, wxID_OK));
            stayedOpen = d.IsModal();
            focused = wxWindow::FindFocus() == &Edit(d, kEdit[field]);
            Type(d, kEdit[field], fits);
            EXPECT_TRUE(CUiScript::ClickButton(d, wxID_OK));
            return IDCANCEL;
        });
        script.AnswerBox(IDOK);
        EXPECT_EQ(RunModal(dlg), IDOK);
        EXPECT_TRUE(stayedOpen);
        EXPECT_TRUE(focused);
        ASSERT_EQ(script.Records().size(), 2u);
        EXPECT_EQ(script.Records()[1].text, "入力桁数を超えています。");
        EXPECT_EQ(script.Records()[1].caption, "エラー");
        EXPECT_EQ(script.Records()[1].style, MB_OK | MB_ICONSTOP);
        EXPECT_EQ(dlg.FieldText(field), fits);
        EXPECT_EQ(dlg.FieldText(field).GetLength(), limit);
    }
}

// The original publisher stands above the ISBN on screen but after it in the record;
// Tab walks the fields top to bottom.
TEST_F(BookInfoDlgGui, OnlyTheFirstFieldInRecordOrderIsReportedAndTabFollowsTheScreen) {
    CBookInfoDlg dlg(nullptr);
    std::vector<int> tabOrder;
    for (wxWindow* child : dlg.GetChildren())
        if (wxDynamicCast(child, wxTextCtrl)) tabOrder.push_back(child->GetId());
    EXPECT_EQ(tabOrder, (std::vector<int>{1043, 1044, 1051, 1053, 1046, 1048, 1050, 1055, 1052, 1054, 1056, 1057}));
    bool isbnFocused = false;
    CUiScript script;
    script.AnswerDialog([&](wxDialog& d) {
        Type(d, 1051, FullWidth(251));
        Type(d, 1046, CString('9', 51));
        EXPECT_TRUE(CUiScript::ClickButton(d, wxID_OK));
        isbnFocused = wxWindow::FindFocus() == &Edit(d, 1046);
        return IDCANCEL;
    });
    script.AnswerBox(IDOK);
    EXPECT_EQ(RunModal(dlg), IDCANCEL);
    EXPECT_TRUE(isbnFocused);
    EXPECT_EQ(script.BoxTexts().size(), 1u);
}

}  // namespace
