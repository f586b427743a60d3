// The build in the editor's window: a project imported from two recordings becomes a
// book, with every question answered by a script.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <wx/dialog.h>
#include <wx/frame.h>
#include <wx/textctrl.h>

#include "DaisyTestSupport.h"
#include "WxTestApp.h"
#include "app/CommandIds.h"
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
        WaitUntilPainted(*view);
        fs::create_directories(project);
        SetUpProject(*view, project);
        // Two recordings: tones with pauses between them, as a reader leaves them.
        for (const char* name : {"rec1.wav", "rec2.wav"})
            ASSERT_EQ(RunCommand("sox -R -n -r 44100 -b 16 -c 1 '" + root.Path(name) +
                                 "' synth 1.2 sine 440 pad 0 1.5 repeat 2"),
                      0);
        CUiScript import;
        import.AnswerBox(IDOK);
        view->ImportAudioFiles({CString(root.Path("rec1.wav")), CString(root.Path("rec2.wav"))});
        ASSERT_EQ(import.BoxTexts(), std::vector<CString>{"完了しました。"});
        ASSERT_GE(view->m_lstSection.GetCount(), 1);
        // Selecting a row plays it; there is no sound card here.
        view->m_bSuppressPlay = 1;
        view->RefreshSectionList(0);
        view->m_bSuppressPlay = 0;
        ASSERT_EQ(view->SaveProject(), 0);
    }
    void TearDown() override {
        SetCurrentFolder("/");
        if (frame) frame->Close(true);
        WaitUntilGone(frame);
    }
    // Answers the question the book check asks when a section's first phrase starts a group.
    void AnswerBookCheck(CUiScript& script) {
        for (const auto& s : view->m_lstSection)
            if (s->m_lstPhrase.GetHead()->m_nGroup == 1) {
                script.AnswerBox(IDYES);
                return;
            }
    }
    static int FillTitle(wxDialog& dlg, const char* title, const char* scheme = "") {
        if (auto* edit = wxDynamicCast(dlg.FindWindow(1043), wxTextCtrl)) edit->SetValue(ToWx(title));
        if (auto* edit = wxDynamicCast(dlg.FindWindow(1057), wxTextCtrl)) edit->SetValue(ToWx(scheme));
        CUiScript::ClickButton(dlg, wxID_OK);
        return IDOK;
    }
    void ExpectUntouched(const std::map<std::string, std::string>& files, const std::string& book) {
        EXPECT_EQ(DiffFiles(FolderFiles(project), files), "");
        EXPECT_EQ(DescribeBook(view->m_lstSection), book);
    }

    ScratchFolder root;
    std::string project = root.Path("SoftBook");
    wxFrame* frame = nullptr;
    CKorvaneView* view = nullptr;
};

TEST_F(BuildWindow, TheBuildAsksForATitleMakesTheBookEndsUndoAndRollsBackOnCancel) {
    auto before = FolderFiles(project);
    auto book = DescribeBook(view->m_lstSection);
    {
        // Without a title the information is asked for until cancelled.
        CUiScript script;
        script.AnswerBox(IDYES).AnswerBox(IDOK).AnswerDialog([](wxDialog& dlg) { return FillTitle(dlg, ""); });
        script.AnswerBox(IDOK).AnswerDialog(IDCANCEL);
        view->OnDaisyBuild();
        EXPECT_EQ(script.BoxTexts(), (std::vector<CString>{kAsk, kNeedInfo, kNeedInfo}));
        ExpectUntouched(before, book);
        EXPECT_FALSE(fs::exists(project + "/Backup"));
    }
    {
        CUiScript script;
        script.AnswerBox(IDYES).AnswerBox(IDOK).AnswerDialog([](wxDialog& dlg) { return FillTitle(dlg, "表&ソフト", "N<D>C"); });
        AnswerBookCheck(script);
        script.AnswerBox(IDOK);
        view->OnDaisyBuild();
        const std::vector<CString> boxes = script.BoxTexts();
        ASSERT_GE(boxes.size(), 3u);
        EXPECT_EQ(boxes[1], kNeedInfo);
        EXPECT_EQ(boxes.back(), "完了しました。");
    }
    // The title is kept as typed (the writers escape it); the scheme is stored escaped.
    EXPECT_EQ(view->m_bookInfo.m_strTitle, "表&ソフト");
    EXPECT_EQ(view->m_bookInfo.m_strScheme, "N＜D＞C");
    EXPECT_NE(ReadBytes(project + "/NCC.html").find("<title>表＆ソフト</title>"), std::string::npos);
    EXPECT_EQ(CheckBookLinks(project), std::vector<std::string>{});
    // The book cannot be undone.
    EXPECT_EQ(view->m_nSectionUndoKind, 0);
    EXPECT_EQ(view->m_nPhraseUndoKind, 0);
    before = FolderFiles(project);
    book = DescribeBook(view->m_lstSection);
    {
        CUiScript none;
        view->RunCommand(ID_EDIT_UNDO);
    }
    EXPECT_EQ(DescribeBook(view->m_lstSection), book);
    EXPECT_EQ(view->m_bSuppressPlay, 0);

    // Cancel in the progress dialog while the first section's audio is written: the
    // book is put back without an error.
    bool pressed = false;
    CUiScript script;
    script.AnswerBox(IDYES);
    AnswerBookCheck(script);
    script.AnswerBox(IDYES);
    {
        ScopedFault cancel([&pressed](EBookFileStep step, const CString&) {
            if (step != EBookFileStep::SectionWrite || pressed) return false;
            for (wxWindow* w : wxTopLevelWindows)
                if (FromWx(w->GetLabel()) == "Daisy図書生成" && w->IsShown())
                    pressed = CUiScript::ClickButton(*w, wxID_CANCEL);
            return false;
        });
        view->OnDaisyBuild();
    }
    EXPECT_TRUE(pressed);
    ASSERT_FALSE(script.BoxTexts().empty());
    EXPECT_EQ(script.BoxTexts().back(), "キャンセルしますか？");
    ExpectUntouched(before, book);
}

}  // namespace
