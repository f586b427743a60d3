#include <gtest/gtest.h>

#include <wx/dialog.h>
#include <wx/stattext.h>
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

TEST_F(BookInfoDlgGui, ShowsTheRecordAndStoresWhatWasTypedEscaped) {
    view.m_bookInfo.m_strTitle = "吾輩は猫である";
    view.m_bookInfo.m_strScheme = "NDC";
    std::vector<CString> shown;
    CUiScript script;
    script.AnswerDialog([&](wxDialog& dlg) {
        EXPECT_EQ(dlg.GetId(), CBookInfoDlg::IDD);
        for (int id : kEdit) shown.push_back(FromWx(Edit(dlg, id).GetValue()));
        Type(dlg, 1043, "猫 & 犬");
        Type(dlg, 1044, "<夏目>");
        Type(dlg, 1051, "'岩波' \"書店\"");
        Type(dlg, 1046, "978-4-00-000000-0");
        EXPECT_TRUE(CUiScript::ClickButton(dlg, wxID_OK));
        return IDCANCEL;
    });
    view.OnBookInfo();
    ASSERT_EQ(shown.size(), 12u);
    EXPECT_EQ(shown[0], "吾輩は猫である");
    EXPECT_EQ(shown[11], "NDC");
    EXPECT_EQ(script.Records().at(0).caption, "書誌情報");
    EXPECT_EQ(view.m_bookInfo.m_strTitle, "猫 ＆ 犬");
    EXPECT_EQ(view.m_bookInfo.m_strAuthor, "＜夏目＞");
    EXPECT_EQ(view.m_bookInfo.m_strOrgPublisher, "’岩波’ ”書店”");
    EXPECT_EQ(view.m_bookInfo.m_strIsbn, "978-4-00-000000-0");
    EXPECT_EQ(view.m_bookInfo.m_strScheme, "NDC");

    // Opened again, the dialog shows the full-width forms that were stored.
    CString again;
    CUiScript second;
    second.AnswerDialog([&](wxDialog& dlg) {
        again = FromWx(Edit(dlg, 1043).GetValue());
        return IDCANCEL;
    });
    view.OnBookInfo();
    EXPECT_EQ(again, "猫 ＆ 犬");
}

TEST_F(BookInfoDlgGui, CancelChangesNothing) {
    view.m_bookInfo.m_strTitle = "題";
    CUiScript script;
    script.AnswerDialog([](wxDialog& dlg) {
        Type(dlg, 1043, "別の題");
        return IDCANCEL;
    });
    view.OnBookInfo();
    EXPECT_EQ(view.m_bookInfo.m_strTitle, "題");
}

TEST_F(BookInfoDlgGui, EveryFieldRefusesOneByteOverItsLimitAndTakesTheFocus) {
    for (int field = 0; field < 12; ++field) {
        SCOPED_TRACE(field);
        CBookInfoDlg dlg(nullptr);
        EXPECT_EQ(CBookInfoDlg::GetEditId(field), kEdit[field]);
        EXPECT_EQ(CBookInfoDlg::GetMaxBytes(field), kLimit[field]);
        const int limit = kLimit[field];
        // Full-width characters are two bytes each; a half-width one makes the odd byte.
        const CString fits = limit % 2 == 0 ? FullWidth(limit / 2) : FullWidth(limit / 2) + "1";
        const CString over = fits + "1";
        bool stayedOpen = false, focused = false;
        CUiScript script;
        script.AnswerDialog([&](wxDialog& d) {
            Type(d, kEdit[field], over);
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

TEST_F(BookInfoDlgGui, OnlyTheFirstFieldInRecordOrderIsReported) {
    // The original publisher stands above the ISBN on screen but after it in the record.
    CBookInfoDlg dlg(nullptr);
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

TEST_F(BookInfoDlgGui, LayoutAndLabels) {
    CBookInfoDlg dlg(nullptr);
    EXPECT_EQ(FromWx(dlg.GetTitle()), "書誌情報");
    EXPECT_EQ(dlg.FindWindow(1043)->GetRect(), wxRect(150, 11, 260, 23));
    EXPECT_EQ(dlg.FindWindow(1051)->GetRect(), wxRect(150, 71, 260, 23));
    EXPECT_EQ(dlg.FindWindow(1054)->GetRect(), wxRect(150, 281, 260, 23));
    EXPECT_EQ(dlg.FindWindow(1056)->GetRect(), wxRect(150, 311, 128, 23));
    EXPECT_EQ(dlg.FindWindow(1057)->GetRect(), wxRect(282, 311, 128, 23));
    EXPECT_EQ(dlg.FindWindow(1060)->GetRect(), wxRect(12, 161, 128, 23));
    EXPECT_EQ(dlg.FindWindow(1066)->GetRect(), wxRect(14, 221, 128, 23));
    EXPECT_EQ(dlg.FindWindow(wxID_OK)->GetRect(), wxRect(206, 347, 100, 26));
    EXPECT_EQ(dlg.FindWindow(wxID_CANCEL)->GetRect(), wxRect(314, 347, 100, 26));
    EXPECT_EQ(FromWx(wxStaticCast(dlg.FindWindow(1067), wxStaticText)->GetLabel()), "ジャンルとスキーム");
    EXPECT_EQ(FromWx(wxStaticCast(dlg.FindWindow(1061), wxStaticText)->GetLabel()), "DAISY発行者");
    // Tab walks the fields top to bottom.
    wxWindowList order;
    for (wxWindow* child : dlg.GetChildren())
        if (wxDynamicCast(child, wxTextCtrl)) order.push_back(child);
    std::vector<int> ids;
    for (wxWindow* w : order) ids.push_back(w->GetId());
    EXPECT_EQ(ids, (std::vector<int>{1043, 1044, 1051, 1053, 1046, 1048, 1050, 1055, 1052, 1054, 1056, 1057}));
}

}  // namespace
