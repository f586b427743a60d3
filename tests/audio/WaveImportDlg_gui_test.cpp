#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <wx/listbox.h>
#include <wx/listctrl.h>

#include "Screenshot.h"
#include "WxTestApp.h"
#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "app/MainFrame.h"
#include "audio/ImportTestSupport.h"
#include "audio/WaveImportDlg.h"
#include "audio/WaveTestSupport.h"
#include "platform/CodePage.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/WaveOut.h"
#include "platform/WaveOutVirtual.h"

namespace fs = std::filesystem;
using namespace wavetest;

namespace {

constexpr int kAddButton = 1079;

std::vector<CString> Shown(CWaveImportDlg& dlg) {
    std::vector<CString> out;
    for (unsigned i = 0; i < dlg.GetFileList()->GetCount(); ++i) out.push_back(FromWx(dlg.GetFileList()->GetString(i)));
    return out;
}

void PressDelete(wxDialog& dlg) {
    wxKeyEvent key(wxEVT_CHAR_HOOK);
    key.m_keyCode = WXK_DELETE;
    key.SetEventObject(&dlg);
    dlg.GetEventHandler()->ProcessEvent(key);
}

int Ok(wxDialog& dlg) {
    CUiScript::ClickButton(dlg, wxID_OK);
    return IDOK;
}

// An unexpected box, dialog or chooser fails the test that showed it.
class WaveImportDialog : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = CUiScript::SetFaultReporter([](const std::string& m) { ADD_FAILURE() << m; });
        ASSERT_TRUE(EnsureWxApp());
    }
    void TearDown() override { CUiScript::SetFaultReporter(m_previous); }

private:
    CUiScript::FaultReporter m_previous;
};

}  // namespace

TEST_F(WaveImportDialog, AddsInOrderUpToAHundredAndDeleteRemovesTheSelection) {
    CWaveImportDlg dlg(nullptr);
    dlg.m_strFolder = "/home/user/録音";
    std::vector<CString> names;
    for (int i = 0; i < 110; ++i) names.push_back(CString::Formatted("/rec/%03d.wav", i));
    CUiScript script;
    script.AnswerDialog([](wxDialog& d) {
        auto& dlg = static_cast<CWaveImportDlg&>(d);
        CUiScript::ClickButton(dlg, wxID_OK);  // nothing chosen yet: the dialog stays
        EXPECT_TRUE(dlg.IsModal());
        CUiScript::ClickButton(dlg, kAddButton);
        dlg.GetFileList()->SetSelection(0);
        dlg.GetFileList()->SetSelection(1);
        PressDelete(dlg);
        EXPECT_EQ(Shown(dlg), (std::vector<CString>{"/rec/a.wav", "/rec/c.wav"}));
        CUiScript::ClickButton(dlg, kAddButton);  // twelve too many: the rest of this choice stays out
        EXPECT_EQ(dlg.m_arrPaths, Shown(dlg));
        EXPECT_TRUE(SaveScreenshot(dlg, "audio_import"));
        return Ok(dlg);
    });
    script.AnswerBox(IDOK);
    script.AnswerFile({"/rec/b.wav", "/rec/表.WAV", "/rec/a.wav", "/rec/c.wav"});
    script.AnswerFile(names);
    script.AnswerBox(IDOK);
    EXPECT_EQ(RunModal(dlg), IDOK);
    ASSERT_EQ(dlg.m_arrPaths.size(), 100u);
    EXPECT_EQ(dlg.m_arrPaths[1], "/rec/c.wav");
    EXPECT_EQ(dlg.m_arrPaths.back(), "/rec/097.wav");
    EXPECT_EQ(script.BoxTexts(), (std::vector<CString>{"インポートする音声ファイルを選択して下さい。",
                                                       "選択可能なファイル数（100）を超えたため追加出来ません。"}));
    EXPECT_EQ(script.Records().back().style, MB_OK | MB_ICONSTOP);
    const CFileChooser& asked = script.Records().at(2).chooser;
    EXPECT_EQ(asked.folder, "/home/user/録音");
    EXPECT_EQ(asked.filter, "音声ファイル(*.wav, *.mp3)|*.wav;*.mp3|");  // MP3 recordings too
    EXPECT_TRUE(asked.multiple && asked.mustExist && !asked.save);
}

// --- the whole command in the editor's window

namespace {

class ImportInEditor : public WaveImportDialog {
protected:
    void SetUp() override {
        WaveImportDialog::SetUp();
        SetWaveOutBackend(&card);  // reopening the project plays its first phrase: on a card of our own
        fs::create_directories(root / "config");
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        Open();
    }
    void TearDown() override {
        Close();
        SetWaveOutBackend(nullptr);
        WaveImportDialog::TearDown();
    }
    void Open() {
        frame = new CMainFrame();
        view = frame->GetView();
        view->OnInitialUpdate();
        frame->Show(true);
        WaitUntilPainted(*view);
    }
    void Close() {
        if (frame) frame->Close(true);
        WaitUntilGone(frame);
        frame = nullptr;
    }
    ScratchFolder scratch;
    CVirtualWaveOut card;
    const fs::path root{scratch.Path("gui")}, project{root / "本"};
    CMainFrame* frame = nullptr;
    CKorvaneView* view = nullptr;
};

}  // namespace

TEST_F(ImportInEditor, TwoFilesIntoA22050HzProjectSaveAndReload) {
    {
        CUiScript script;
        script.AnswerDialog(Ok);  // "新規作成": 22050 Hz is the default
        script.AnswerFile({CString(project.string())});
        view->OnProjectNew();
    }
    ASSERT_EQ(view->m_nSamplePerSec, 22050);
    // Half a second of tone, a second of silence, half a second of tone; the second file to be converted.
    WriteWav(scratch.Path("one.wav"), 22050, 1, Blocks(22050, "S5 Q10 S5"));
    WriteWav(scratch.Path("two.wav"), 44100, 1, Blocks(44100, "S5 Q10 S5"));
    {
        CUiScript script;
        script.AnswerDialog(Ok);  // "区切り設定"
        script.AnswerDialog([](wxDialog& dlg) {
            CUiScript::ClickButton(dlg, kAddButton);
            return Ok(dlg);
        });
        script.AnswerFile({scratch.CPath("one.wav"), scratch.CPath("two.wav")});
        script.AnswerBox(IDOK);
        view->OnAudioImport();
        EXPECT_EQ(script.BoxTexts(), std::vector<CString>{"完了しました。"});
    }
    WaitUntil([&] { return frame->IsEnabled(); });
    EXPECT_TRUE(frame->IsEnabled());  // the progress dialog gave the window back
    EXPECT_TRUE(FileExists(CString((project / "A000002.wav").string())));  // project paths are CP932
    EXPECT_EQ(card.OpensSoFar(), 0u);  // the selection changes of the import played nothing

    auto* sections = wxDynamicCast(view->FindWindow(IDC_LIST_SECTION), wxListCtrl);
    auto* phrases = wxDynamicCast(view->FindWindow(IDC_LIST_PHRASE), wxListCtrl);
    ASSERT_TRUE(sections && phrases);
    ASSERT_EQ(sections->GetItemCount(), 3);  // two sections and the row after them
    EXPECT_EQ(FromWx(sections->GetItemText(1, 6)), "two.wav");
    EXPECT_EQ(FromWx(sections->GetItemText(1, 3)), "2");
    EXPECT_EQ(phrases->GetItemCount(), 3);  // the first section's two phrases
    EXPECT_EQ(FromWx(phrases->GetItemText(0, 6)), "A000001.wav");

    // Default pauses (0.4 s between phrases, no section pause): the second phrase begins
    // one block before the second tone.
    const importtest::Phrase first{0, 14 * 4410, 10 * 4410}, second{14 * 4410, 6 * 4410, 0};
    const importtest::Sections before = importtest::Shape(view->m_lstSection);
    EXPECT_EQ(before, (importtest::Sections{{first, second}, {first, second}}));
    EXPECT_EQ(view->SaveProject(), 0);
    Close();
    Open();
    {
        CUiScript script;
        script.AnswerFile({CString((project / "Korvane.ncc").string())});
        view->OnProjectOpen();
    }
    EXPECT_EQ(view->m_nWaveImportCount, 2);
    EXPECT_EQ(importtest::Shape(view->m_lstSection), before);
    EXPECT_EQ(view->m_lstSection.GetAt(1)->m_strComment, "two.wav");
}
