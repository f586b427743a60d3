// The new-project and pause dialogs as a keyboard user meets them: Enter chooses OK even
// with a drop-down focused, and no drop-down cuts its entries off.

#include <gtest/gtest.h>

#include <wx/choice.h>

#include "Screenshot.h"
#include "WxTestApp.h"
#include "app/NewProjectDlg.h"
#include "app/PauseSetDlg.h"
#include "platform/CodePage.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"

namespace {

class SettingsDialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(EnsureWxApp()); }
};

void PressKey(wxDialog& dlg, int keyCode) {
    wxKeyEvent event(wxEVT_CHAR_HOOK);
    event.m_keyCode = keyCode;
    event.SetEventObject(&dlg);
    dlg.ProcessWindowEvent(event);
}

// Every entry of the drop-down fits between its left edge and its arrow.
void ExpectEntriesFit(wxChoice& choice) {
    int widest = 0;
    for (unsigned i = 0; i < choice.GetCount(); ++i)
        widest = std::max(widest, choice.GetTextExtent(choice.GetString(i)).x);
    EXPECT_GE(choice.GetSize().x, widest + 30) << choice.GetId();
    EXPECT_LE(choice.GetRect().GetRight(), choice.GetParent()->GetClientSize().x) << choice.GetId();
}

TEST_F(SettingsDialogs, EnterOnTheFormatDropDownCreatesWithTheChosenFormat) {
    CNewProjectDlg dlg(nullptr);
    CUiScript script;
    script.AnswerDialog([&](wxDialog& d) {
        ExpectEntriesFit(*dlg.GetFormatList());
        EXPECT_TRUE(SaveScreenshot(d, "new_project"));
        dlg.GetFormatList()->SetFocus();
        dlg.GetFormatList()->SetSelection(3);
        PressKey(d, WXK_RETURN);
        return IDCANCEL;  // not reached when Enter ended the dialog
    });
    EXPECT_EQ(RunModal(dlg), IDOK);
    EXPECT_EQ(dlg.m_nFormat, 3);
}

TEST_F(SettingsDialogs, EnterInThePauseDialogIsOkAndOnCancelItCancels) {
    for (const bool onCancel : {false, true}) {
        CPauseSetDlg dlg(nullptr);
        dlg.m_nPhrasePause = 4;
        dlg.m_nSectionPause = 1;
        dlg.m_nNoiseLevel = 2;
        CUiScript script;
        script.AnswerDialog([&](wxDialog& d) {
            for (wxChoice* c : {dlg.m_cmbPhrasePause, dlg.m_cmbSectionPause, dlg.m_cmbNoiseLevel}) ExpectEntriesFit(*c);
            if (!onCancel) {
                EXPECT_TRUE(SaveScreenshot(d, "pause_settings"));
            }
            wxWindow* focus = onCancel ? d.FindWindow(wxID_CANCEL) : dlg.m_cmbNoiseLevel;
            focus->SetFocus();
            dlg.m_cmbNoiseLevel->SetSelection(0);
            WaitUntil([&] { return wxWindow::FindFocus() == focus; });
            PressKey(d, WXK_RETURN);
            return IDNO;  // not reached when Enter ended the dialog
        });
        EXPECT_EQ(RunModal(dlg), onCancel ? IDCANCEL : IDOK);
        EXPECT_EQ(dlg.m_nNoiseLevel, onCancel ? 2 : 0);
    }
}

}  // namespace
