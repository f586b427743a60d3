#include <gtest/gtest.h>

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/textctrl.h>

#include "TestModalHook.h"
#include "UiScriptFaults.h"
#include "WxTestApp.h"
#include "platform/CodePage.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"

namespace {

constexpr int kTitleId = 1001;

// A dialog written the way the program's dialogs are: data in members, moved into the
// controls when it starts and out of them when OK is accepted; OK refuses an empty title.
class TitleDialog : public wxDialog {
public:
    explicit TitleDialog(const CString& title)
        : wxDialog(nullptr, wxID_ANY, ToWx("書誌情報")), m_title(title) {
        m_edit = new wxTextCtrl(this, kTitleId);
        new wxButton(this, wxID_OK, ToWx("OK"));
        new wxButton(this, wxID_CANCEL, ToWx("キャンセル"));
        Bind(wxEVT_INIT_DIALOG, [this](wxInitDialogEvent& e) {
            initialised = true;
            e.Skip();
        });
        Bind(wxEVT_BUTTON, &TitleDialog::OnOk, this, wxID_OK);
    }
    bool TransferDataToWindow() override {
        m_edit->SetValue(ToWx(m_title));
        return true;
    }
    bool TransferDataFromWindow() override {
        m_title = FromWx(m_edit->GetValue());
        return true;
    }

    CString m_title;
    bool initialised = false;
    CString seenByFiller;

private:
    void OnOk(wxCommandEvent&) {
        if (m_edit->GetValue().empty()) {
            KvMessageBox(this, "書誌情報を入力して下さい。", "確認", MB_OK | MB_ICONWARNING);
            return;
        }
        TransferDataFromWindow();
        EndModal(wxID_OK);
    }
    wxTextCtrl* m_edit;
};

wxTextCtrl& TitleEdit(wxDialog& dlg) { return *static_cast<wxTextCtrl*>(dlg.FindWindow(kTitleId)); }

class DialogHostGui : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(EnsureWxApp()); }
};

}  // namespace

TEST_F(DialogHostGui, FillerSeesTheInitialisedDialogAndItsBoxesComeAfterIt) {
    ScopedFaultLog log;
    CUiScript script;
    TitleDialog dlg("旧題");
    script.AnswerDialog([&](wxDialog& d) {
        dlg.seenByFiller = FromWx(TitleEdit(d).GetValue());
        TitleEdit(d).SetValue(wxString());
        EXPECT_TRUE(CUiScript::ClickButton(d, wxID_OK));  // refused: the title is empty
        EXPECT_TRUE(d.IsModal());
        TitleEdit(d).SetValue(ToWx("吾輩は猫である"));
        EXPECT_TRUE(CUiScript::ClickButton(d, wxID_OK));
        return IDCANCEL;  // not used: OK has ended the dialog
    });
    script.AnswerBox(IDOK);
    EXPECT_EQ(RunModal(dlg), IDOK);
    EXPECT_TRUE(dlg.initialised);
    EXPECT_EQ(dlg.seenByFiller, "旧題");
    EXPECT_EQ(dlg.m_title, "吾輩は猫である");
    ASSERT_EQ(script.Records().size(), 2u);
    EXPECT_EQ(script.Records()[0].kind, CUiKind::Dialog);
    EXPECT_EQ(script.Records()[0].caption, "書誌情報");
    EXPECT_EQ(script.Records()[0].result, IDOK);
    EXPECT_EQ(script.Records()[1].text, "書誌情報を入力して下さい。");
    EXPECT_TRUE(log.faults.empty());
}

TEST_F(DialogHostGui, EndCodesReachTheCallerAndUnexpectedDialogsAreFaults) {
    ScopedFaultLog log;
    CUiScript script;
    TitleDialog cancelled("題"), byScript("題");
    script.AnswerDialog([](wxDialog& d) {
        TitleEdit(d).SetValue(ToWx("捨てる"));
        d.FindWindow(wxID_OK)->Disable();
        EXPECT_FALSE(CUiScript::ClickButton(d, wxID_OK));  // disabled or missing buttons are not pressed
        EXPECT_FALSE(CUiScript::ClickButton(d, 4242));
        return IDCANCEL;
    });
    script.AnswerDialog(IDNO);
    EXPECT_EQ(RunModal(cancelled), IDCANCEL);
    EXPECT_EQ(cancelled.m_title, "題");  // cancel takes nothing from the controls
    EXPECT_EQ(RunModal(byScript), IDNO);
    EXPECT_TRUE(log.faults.empty());
    // A dialog the script does not expect is a fault and is not shown.
    TitleDialog unexpected("題");
    EXPECT_EQ(RunModal(unexpected), IDCANCEL);
    EXPECT_FALSE(unexpected.initialised);
    EXPECT_EQ(log.faults.size(), 1u);
    EXPECT_FALSE(script.Records().back().scripted);
}

TEST_F(DialogHostGui, WithoutAScriptTheRealDialogsRunWithWhatTheProgramAsked) {
    ASSERT_EQ(CUiScript::Active(), nullptr);
    wxString message, folder, name, wildcard;
    long style = 0;
    TestModalHook hook([&](wxDialog* dialog) {
        if (auto* chooser = dynamic_cast<wxFileDialog*>(dialog)) {
            message = chooser->GetMessage();
            folder = chooser->GetDirectory();
            name = chooser->GetFilename();
            wildcard = chooser->GetWildcard();
            style = chooser->GetWindowStyle();
        } else if (auto* folders = dynamic_cast<wxDirDialog*>(dialog)) {
            message = folders->GetMessage();
        } else {
            return static_cast<int>(wxID_OK);
        }
        return static_cast<int>(wxID_CANCEL);
    });
    TitleDialog dlg("題");
    EXPECT_EQ(RunModal(dlg), IDOK);

    CFileChooser request;
    request.title = "プロジェクトを開く";
    request.folder = "/tmp";
    request.fileName = "Korvane.ncc";
    request.filter = "ﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙ(Korvane.ncc)|Korvane.ncc|";
    request.mustExist = true;
    std::vector<CString> paths{"stale"};
    EXPECT_FALSE(ChooseFile(nullptr, request, paths));
    EXPECT_TRUE(paths.empty());
    EXPECT_EQ(FromWx(message), "プロジェクトを開く");
    EXPECT_EQ(FromWx(folder), "/tmp");
    EXPECT_EQ(FromWx(name), "Korvane.ncc");
    EXPECT_EQ(FromWx(wildcard), "ﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙ(Korvane.ncc)|[kK][oO][rR][vV][aA][nN][eE].[nN][cC][cC]");
    EXPECT_EQ(style & (wxFD_OPEN | wxFD_FILE_MUST_EXIST | wxFD_MULTIPLE), wxFD_OPEN | wxFD_FILE_MUST_EXIST);

    CString chosen = "unchanged";
    EXPECT_FALSE(ChooseFolder(nullptr, "フォルダの選択", "/tmp", chosen));
    EXPECT_EQ(chosen, "unchanged");
    EXPECT_EQ(FromWx(message), "フォルダの選択");
    EXPECT_EQ(hook.entered, 3);
}
