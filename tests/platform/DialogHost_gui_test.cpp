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
constexpr int kYesId = 1002;

// A dialog written the way the program's dialogs are: data in members, moved into the
// controls when it starts and out of them when OK is accepted; OK refuses an empty title.
class TitleDialog : public wxDialog {
public:
    explicit TitleDialog(const CString& title)
        : wxDialog(nullptr, wxID_ANY, ToWx("書誌情報")), m_title(title) {
        m_edit = new wxTextCtrl(this, kTitleId);
        new wxButton(this, wxID_OK, ToWx("OK"));
        new wxButton(this, wxID_CANCEL, ToWx("キャンセル"));
        new wxButton(this, kYesId, ToWx("はい"));
        Bind(wxEVT_INIT_DIALOG, [this](wxInitDialogEvent& e) {
            initialised = true;
            e.Skip();
        });
        Bind(wxEVT_BUTTON, &TitleDialog::OnOk, this, wxID_OK);
        Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(IDYES); }, kYesId);
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

TEST_F(DialogHostGui, FillerSeesTheInitialisedDialogTypesAndPressesOk) {
    ScopedFaultLog log;
    CUiScript script;
    TitleDialog dlg("旧題");
    script.AnswerDialog([&](wxDialog& d) {
        dlg.seenByFiller = FromWx(TitleEdit(d).GetValue());
        TitleEdit(d).SetValue(ToWx("吾輩は猫である"));
        EXPECT_TRUE(CUiScript::ClickButton(d, wxID_OK));
        return IDCANCEL;  // not used: OK has ended the dialog
    });
    EXPECT_EQ(RunModal(dlg), IDOK);
    EXPECT_TRUE(dlg.initialised);
    EXPECT_EQ(dlg.seenByFiller, "旧題");
    EXPECT_EQ(dlg.m_title, "吾輩は猫である");
    ASSERT_EQ(script.Records().size(), 1u);
    EXPECT_EQ(script.Records()[0].kind, CUiKind::Dialog);
    EXPECT_EQ(script.Records()[0].caption, "書誌情報");
    EXPECT_EQ(script.Records()[0].result, IDOK);
    EXPECT_TRUE(log.faults.empty());
}

TEST_F(DialogHostGui, BoxesOfTheDialogComeAfterItAndItStaysOpenWhenOkRefuses) {
    ScopedFaultLog log;
    CUiScript script;
    TitleDialog dlg("");
    script.AnswerDialog([](wxDialog& d) {
        EXPECT_TRUE(CUiScript::ClickButton(d, wxID_OK));  // refused: the title is empty
        EXPECT_TRUE(d.IsModal());
        return IDCANCEL;
    });
    script.AnswerBox(IDOK);
    EXPECT_EQ(RunModal(dlg), IDCANCEL);
    ASSERT_EQ(script.Records().size(), 2u);
    EXPECT_EQ(script.Records()[0].kind, CUiKind::Dialog);
    EXPECT_EQ(script.Records()[0].result, IDCANCEL);
    EXPECT_EQ(script.Records()[1].text, "書誌情報を入力して下さい。");
    EXPECT_TRUE(log.faults.empty());
}

TEST_F(DialogHostGui, EndCodesOfTheDialogAndOfTheScriptReachTheCaller) {
    ScopedFaultLog log;
    CUiScript script;
    TitleDialog cancelled("題"), byButton("題"), byScript("題");
    script.AnswerDialog([](wxDialog& d) {
        TitleEdit(d).SetValue(ToWx("捨てる"));
        return IDCANCEL;
    });
    script.AnswerDialog([](wxDialog& d) {
        EXPECT_TRUE(CUiScript::ClickButton(d, kYesId));
        return IDCANCEL;
    });
    script.AnswerDialog(IDNO);
    EXPECT_EQ(RunModal(cancelled), IDCANCEL);
    EXPECT_EQ(cancelled.m_title, "題");  // cancel takes nothing from the controls
    EXPECT_EQ(RunModal(byButton), IDYES);
    EXPECT_EQ(RunModal(byScript), IDNO);
    EXPECT_TRUE(log.faults.empty());
}

TEST_F(DialogHostGui, DisabledOrMissingButtonsCannotBePressed) {
    TitleDialog dlg("題");
    dlg.FindWindow(wxID_OK)->Disable();
    EXPECT_FALSE(CUiScript::ClickButton(dlg, wxID_OK));
    EXPECT_FALSE(CUiScript::ClickButton(dlg, 4242));
}

TEST_F(DialogHostGui, UnexpectedDialogIsAFaultAndIsNotShown) {
    ScopedFaultLog log;
    CUiScript script;
    TitleDialog dlg("題");
    EXPECT_EQ(RunModal(dlg), IDCANCEL);
    EXPECT_FALSE(dlg.initialised);
    EXPECT_EQ(log.faults.size(), 1u);
    ASSERT_EQ(script.Records().size(), 1u);
    EXPECT_FALSE(script.Records()[0].scripted);
}

TEST_F(DialogHostGui, WithoutAScriptTheRealDialogRuns) {
    ASSERT_EQ(CUiScript::Active(), nullptr);
    TestModalHook hook([](wxDialog*) { return static_cast<int>(wxID_OK); });
    TitleDialog dlg("題");
    EXPECT_EQ(RunModal(dlg), IDOK);
    EXPECT_EQ(hook.entered, 1);
}

TEST_F(DialogHostGui, TheRealFileChooserIsAskedWhatTheProgramAsked) {
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
        }
        return static_cast<int>(wxID_CANCEL);
    });
    CFileChooser request;
    request.title = "プロジェクトを開く";
    request.folder = "/tmp";
    request.fileName = "Korvane.ncc";
    request.filter = "ﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙ(Korvane.ncc)|Korvane.ncc|";
    request.mustExist = true;
    std::vector<CString> paths{"stale"};
    EXPECT_FALSE(ChooseFile(nullptr, request, paths));
    EXPECT_TRUE(paths.empty());
    EXPECT_EQ(hook.entered, 1);
    EXPECT_EQ(FromWx(message), "プロジェクトを開く");
    EXPECT_EQ(FromWx(folder), "/tmp");
    EXPECT_EQ(FromWx(name), "Korvane.ncc");
    EXPECT_EQ(FromWx(wildcard), "ﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙ(Korvane.ncc)|[kK][oO][rR][vV][aA][nN][eE].[nN][cC][cC]");
    EXPECT_TRUE(style & wxFD_OPEN);
    EXPECT_TRUE(style & wxFD_FILE_MUST_EXIST);
    EXPECT_FALSE(style & wxFD_MULTIPLE);

    request = CFileChooser{};
    request.title = "プロジェクトの作成";
    request.filter = "ﾌﾟﾛｼﾞｪｸﾄ";
    request.save = true;
    request.overwritePrompt = true;
    EXPECT_FALSE(ChooseFile(nullptr, request, paths));
    EXPECT_TRUE(style & wxFD_SAVE);
    EXPECT_TRUE(style & wxFD_OVERWRITE_PROMPT);
    EXPECT_EQ(FromWx(wildcard), "ﾌﾟﾛｼﾞｪｸﾄ|*");
}

TEST_F(DialogHostGui, TheRealFolderChooserIsShownAndCancelChangesNothing) {
    ASSERT_EQ(CUiScript::Active(), nullptr);
    wxString message;
    TestModalHook hook([&](wxDialog* dialog) {
        if (auto* chooser = dynamic_cast<wxDirDialog*>(dialog)) message = chooser->GetMessage();
        return static_cast<int>(wxID_CANCEL);
    });
    CString chosen = "unchanged";
    EXPECT_FALSE(ChooseFolder(nullptr, "フォルダの選択", "/tmp", chosen));
    EXPECT_EQ(chosen, "unchanged");
    EXPECT_EQ(hook.entered, 1);
    EXPECT_EQ(FromWx(message), "フォルダの選択");
}
