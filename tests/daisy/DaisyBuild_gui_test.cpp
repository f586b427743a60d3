// The build in the editor's window: a project imported from two recordings becomes a
// book, with every question answered by a script.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/frame.h>
#include <wx/textctrl.h>

#include "DaisyTestSupport.h"
#include "WxTestApp.h"
#include "app/CommandIds.h"
#include "app/KorvaneView.h"
#include "platform/CodePage.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

using namespace daisytest;
namespace fs = std::filesystem;

namespace {

const char kAsk[] = "Daisy図書を生成しますか？";
const char kNeedInfo[] = "書誌情報を入力して下さい。";

class BuildWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(EnsureWxApp());
        ::setenv("XDG_CONFIG_HOME", root.Path("config").c_str(), 1);
        // The view in a plain frame: the build needs the form, not the menu.
        frame = new wxFrame(nullptr, wxID_ANY, wxASCII_STR("Korvane"));
        view = new CKorvaneView(frame);
        view->OnInitialUpdate();
        frame->Show(true);
        PumpEvents(10);

        // A new 22050 Hz project, through its command.
        CUiScript script;
        script.AnswerDialog([](wxDialog& dlg) {
            if (auto* list = wxDynamicCast(dlg.FindWindow(1042), wxChoice)) list->SetSelection(1);
            CUiScript::ClickButton(dlg, wxID_OK);
            return IDOK;
        });
        script.AnswerFile({CString(root.Path("SoftBook"))});
        view->OnProjectNew();
        ASSERT_EQ(view->m_bProjectOpen, 1);

        // Two recordings: tones with pauses between them, as a reader leaves them.
        for (const char* name : {"rec1.wav", "rec2.wav"})
            ASSERT_EQ(RunCommand("sox -n -r 44100 -b 16 -c 1 '" + root.Path(name) +
                                 "' synth 1.2 sine 440 pad 0 1.5 repeat 2"),
                      0);
        CUiScript import;
        import.AnswerBox(IDOK);
        view->ImportAudioFiles({CString(root.Path("rec1.wav")), CString(root.Path("rec2.wav"))});
        ASSERT_EQ(import.BoxTexts(), std::vector<CString>{"完了しました。"});
        // The new project's empty first section would be removed by the book check.
        for (int i = view->m_lstSection.GetCount() - 1; i >= 0; --i)
            if (view->m_lstSection.GetAt(i)->m_lstPhrase.IsEmpty()) view->m_lstSection.RemoveAt(i);
        // Selecting a row plays it; there is no sound card here.
        view->m_bSuppressPlay = 1;
        view->RefreshSectionList(0);
        view->m_bSuppressPlay = 0;
        ASSERT_EQ(view->SaveProject(), 0);
        project = root.Path("SoftBook");
        before = FolderFiles(project);
        book = DescribeBook(view->m_lstSection);
    }
    void TearDown() override {
        SetBookFileFault(nullptr);
        SetCurrentFolder("/");
        if (frame) frame->Close(true);
        PumpEvents(10);
    }
    // The questions the book check asks of this book before the build goes on.
    void AnswerBookCheck(CUiScript& script) {
        bool empty = false, firstGroup = false;
        for (const auto& s : view->m_lstSection) {
            if (s->m_lstPhrase.IsEmpty()) empty = true;
            else if (s->m_lstPhrase.GetHead()->m_nGroup == 1) firstGroup = true;
        }
        if (empty) script.AnswerBox(IDYES);
        if (firstGroup) script.AnswerBox(IDYES);
    }
    static int FillTitle(wxDialog& dlg, const char* title, const char* scheme = "") {
        if (auto* edit = wxDynamicCast(dlg.FindWindow(1043), wxTextCtrl)) edit->SetValue(ToWx(title));
        if (auto* edit = wxDynamicCast(dlg.FindWindow(1057), wxTextCtrl)) edit->SetValue(ToWx(scheme));
        CUiScript::ClickButton(dlg, wxID_OK);
        return IDOK;
    }

    ScratchFolder root;
    wxFrame* frame = nullptr;
    CKorvaneView* view = nullptr;
    std::string project;
    std::map<std::string, std::string> before;
    std::string book;
};

TEST_F(BuildWindow, TheBuildMakesTheBookAndEndsUndo) {
    ASSERT_GE(view->m_lstSection.GetCount(), 1);
    CUiScript script;
    script.AnswerBox(IDYES).AnswerBox(IDOK).AnswerDialog([](wxDialog& dlg) { return FillTitle(dlg, "表&ソフト", "N<D>C"); });
    AnswerBookCheck(script);
    script.AnswerBox(IDOK);
    view->OnDaisyBuild();

    const std::vector<CString> boxes = script.BoxTexts();
    ASSERT_GE(boxes.size(), 3u);
    EXPECT_EQ(boxes.front(), kAsk);
    EXPECT_EQ(boxes[1], kNeedInfo);
    EXPECT_EQ(boxes.back(), "完了しました。");
    // The title is kept as typed (the writers escape it); the scheme is stored escaped.
    EXPECT_EQ(view->m_bookInfo.m_strTitle, "表&ソフト");
    EXPECT_EQ(view->m_bookInfo.m_strScheme, "N＜D＞C");
    EXPECT_NE(ReadBytes(project + "/NCC.html").find("<title>表＆ソフト</title>"), std::string::npos);

    const int sections = view->m_lstSection.GetCount();
    for (int n = 1; n <= sections; ++n) {
        EXPECT_TRUE(fs::exists(project + "/" + CString::Formatted("A%06d.smil", n).str())) << n;
        EXPECT_TRUE(fs::exists(project + "/" + CString::Formatted("A%06d.wav", n).str())) << n;
    }
    EXPECT_TRUE(fs::exists(project + "/NCC.html"));
    EXPECT_TRUE(fs::exists(project + "/DiscInfo.html"));
    EXPECT_EQ(CheckBookLinks(project), std::vector<std::string>{});
    // The imported recordings are kept in the backup.
    for (const auto& [name, bytes] : before) {
        if (name.ends_with(".wav")) {
            EXPECT_EQ(ReadBytes(project + "/Backup/" + name), bytes) << name;
        }
    }
    // Every phrase now plays from its section's file.
    for (int n = 1; n <= sections; ++n)
        for (const auto& p : view->m_lstSection.GetAt(n - 1)->m_lstPhrase)
            EXPECT_EQ(p->m_strFileName, CString::Formatted("A%06d.wav", n));

    // The book cannot be undone.
    EXPECT_EQ(view->m_nSectionUndoKind, 0);
    EXPECT_EQ(view->m_nPhraseUndoKind, 0);
    if (view->IsCommandEnabled(ID_EDIT_UNDO)) {
        CUiScript none;
        view->RunCommand(ID_EDIT_UNDO);
        EXPECT_EQ(view->m_lstSection.GetAt(0)->m_lstPhrase.GetAt(0)->m_strFileName, "A000001.wav");
    }
    EXPECT_EQ(view->m_bSuppressPlay, 0);
}

TEST_F(BuildWindow, WithoutATitleTheInformationIsAskedForUntilCancelled) {
    CUiScript script;
    script.AnswerBox(IDYES)
        .AnswerBox(IDOK)
        .AnswerDialog([](wxDialog& dlg) { return FillTitle(dlg, ""); })
        .AnswerBox(IDOK)
        .AnswerDialog(IDCANCEL);
    view->OnDaisyBuild();
    EXPECT_EQ(script.BoxTexts(), (std::vector<CString>{kAsk, kNeedInfo, kNeedInfo}));
    EXPECT_EQ(DiffFiles(FolderFiles(project), before), "");
    EXPECT_EQ(DescribeBook(view->m_lstSection), book);
    EXPECT_FALSE(fs::exists(project + "/Backup"));
}

TEST_F(BuildWindow, CancelWhileJoiningRollsBackWithoutAnError) {
    view->m_bookInfo.m_strTitle = "本";
    ASSERT_EQ(view->SaveProject(), 0);
    before = FolderFiles(project);
    // Press the progress dialog's Cancel while the first section's audio is written.
    bool pressed = false;
    SetBookFileFault([&pressed](EBookFileStep step, const CString&) {
        if (step != EBookFileStep::SectionWrite || pressed) return false;
        for (wxWindow* w : wxTopLevelWindows)
            if (FromWx(w->GetLabel()) == "Daisy図書生成" && w->IsShown())
                pressed = CUiScript::ClickButton(*w, wxID_CANCEL);
        return false;
    });
    CUiScript script;
    script.AnswerBox(IDYES);
    AnswerBookCheck(script);
    script.AnswerBox(IDYES);
    view->OnDaisyBuild();
    SetBookFileFault(nullptr);

    EXPECT_TRUE(pressed);
    const std::vector<CString> boxes = script.BoxTexts();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back(), "キャンセルしますか？");
    EXPECT_EQ(DiffFiles(FolderFiles(project), before), "");
    EXPECT_EQ(DescribeBook(view->m_lstSection), book);
}

}  // namespace
