#include <gtest/gtest.h>

#include <wx/msgdlg.h>

#include "TestModalHook.h"
#include "WxTestApp.h"
#include "platform/CodePage.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"

namespace {

class MessageBoxGui : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(EnsureWxApp()); }
    void SetUp() override { ASSERT_EQ(CUiScript::Active(), nullptr); }
};

}  // namespace

TEST_F(MessageBoxGui, BoxesAreBuiltWithTheOriginalsButtonsIconsAndJapaneseLabels) {
    const struct {
        long style;
        long buttons;       // toolkit button and default flags expected
        long icon;          // toolkit icon flag expected
        const char* first;  // labels of the buttons, in order
        const char* second;
        const char* third;
    } cases[] = {
        {MB_OK | MB_ICONEXCLAMATION, wxOK, wxICON_WARNING, "OK", nullptr, nullptr},
        {MB_OK, wxOK, wxICON_NONE, "OK", nullptr, nullptr},
        {MB_OKCANCEL | MB_DEFBUTTON2, wxOK | wxCANCEL | wxCANCEL_DEFAULT, wxICON_NONE, "OK", "キャンセル", nullptr},
        {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, wxYES_NO | wxNO_DEFAULT, wxICON_QUESTION, "はい", "いいえ",
         nullptr},
        {MB_YESNOCANCEL | MB_ICONQUESTION, wxYES_NO | wxCANCEL, wxICON_QUESTION, "はい", "いいえ", "キャンセル"},
    };
    const long buttonMask = wxOK | wxCANCEL | wxYES_NO | wxCANCEL_DEFAULT | wxNO_DEFAULT;
    const long iconMask = wxICON_ERROR | wxICON_WARNING | wxICON_INFORMATION | wxICON_QUESTION | wxICON_NONE;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.style);
        auto dlg = MakeMessageDialog(nullptr, "本文", "見出し", c.style);
        EXPECT_EQ(FromWx(dlg->GetMessage()), "本文");
        EXPECT_EQ(FromWx(dlg->GetCaption()), "見出し");
        EXPECT_EQ(dlg->GetMessageDialogStyle() & buttonMask, c.buttons);
        EXPECT_EQ(dlg->GetMessageDialogStyle() & iconMask, c.icon);
        const bool yesNo = c.buttons & wxYES_NO;
        EXPECT_EQ(FromWx(yesNo ? dlg->GetYesLabel() : dlg->GetOKLabel()), c.first);
        if (yesNo) {
            EXPECT_EQ(FromWx(dlg->GetNoLabel()), c.second);
        }
        if (const char* cancel = yesNo ? c.third : c.second) {
            EXPECT_EQ(FromWx(dlg->GetCancelLabel()), cancel);
        }
    }
}

TEST_F(MessageBoxGui, WithoutAScriptTheRealBoxIsShownAndClosingItGivesOneOfItsButtons) {
    CString caption, text;
    int answer = wxID_YES;
    TestModalHook hook([&](wxDialog* dialog) {
        auto* box = dynamic_cast<wxMessageDialogBase*>(dialog);
        if (!box) return static_cast<int>(wxID_NONE);
        caption = FromWx(box->GetCaption());
        text = FromWx(box->GetMessage());
        return answer;
    });
    EXPECT_EQ(KvMessageBox(nullptr, "Daisy図書を生成しますか？", "確認", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(caption, "確認");
    EXPECT_EQ(text, "Daisy図書を生成しますか？");
    answer = wxID_CANCEL;
    EXPECT_EQ(KvMessageBox(nullptr, "削除しますか？", "確認", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(KvMessageBox(nullptr, "完了しました。", "確認", MB_OK | MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(AfxMessageBox("既に起動しています。"), IDOK);
    EXPECT_EQ(caption, "Korvane");
    EXPECT_EQ(hook.entered, 4);
}
