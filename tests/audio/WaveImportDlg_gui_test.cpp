#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <wx/button.h>
#include <wx/listbox.h>
#include <wx/listctrl.h>

#include "WxTestApp.h"
#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "app/MainFrame.h"
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

std::vector<CString> Names(int first, int count) {
    std::vector<CString> out;
    for (int i = first; i < first + count; ++i) out.push_back(CString::Formatted("/rec/%03d.wav", i));
    return out;
}

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

// An unexpected box, dialog or chooser fails the test that showed it.
class ScriptFaultsFail : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = CUiScript::SetFaultReporter([](const std::string& m) { ADD_FAILURE() << m; });
        ASSERT_TRUE(EnsureWxApp());
    }
    void TearDown() override { CUiScript::SetFaultReporter(m_previous); }

private:
    CUiScript::FaultReporter m_previous;
};

class WaveImportDialog : public ScriptFaultsFail {};

}  // namespace

TEST_F(WaveImportDialog, AddsInOrderAndDeleteRemovesTheSelection) {
    CWaveImportDlg dlg(nullptr);
    dlg.m_strFolder = "/home/user/録音";
    CUiScript script;
    script.AnswerDialog([](wxDialog& d) {
        auto& dlg = static_cast<CWaveImportDlg&>(d);
        CUiScript::ClickButton(dlg, 1079);
        EXPECT_EQ(Shown(dlg), (std::vector<CString>{"/rec/b.wav", "/rec/表.WAV", "/rec/a.wav", "/rec/c.wav"}));
        dlg.GetFileList()->SetSelection(0);
        dlg.GetFileList()->SetSelection(1);
        PressDelete(dlg);
        EXPECT_EQ(Shown(dlg), (std::vector<CString>{"/rec/a.wav", "/rec/c.wav"}));
        EXPECT_EQ(dlg.m_arrPaths, Shown(dlg));
        CUiScript::ClickButton(dlg, wxID_OK);
        return IDOK;
    });
    script.AnswerFile({"/rec/b.wav", "/rec/表.WAV", "/rec/a.wav", "/rec/c.wav"});
    EXPECT_EQ(RunModal(dlg), IDOK);
    EXPECT_EQ(dlg.m_arrPaths, (std::vector<CString>{"/rec/a.wav", "/rec/c.wav"}));

    ASSERT_EQ(script.Records().size(), 2u);
    EXPECT_EQ(script.Records()[0].caption, "音声インポート");
    const CFileChooser& asked = script.Records()[1].chooser;
    EXPECT_EQ(asked.title, "ファイルを開く");
    EXPECT_EQ(asked.folder, "/home/user/録音");
    EXPECT_EQ(asked.filter, "音声ファイル(*.wav)|*.wav;*.WAV|");
    EXPECT_TRUE(asked.multiple);
    EXPECT_TRUE(asked.mustExist);
    EXPECT_FALSE(asked.save);
}

TEST_F(WaveImportDialog, HundredFilesAtMost) {
    CWaveImportDlg dlg(nullptr);
    CUiScript script;
    script.AnswerDialog([](wxDialog& d) {
        auto& dlg = static_cast<CWaveImportDlg&>(d);
        CUiScript::ClickButton(dlg, 1079);
        CUiScript::ClickButton(dlg, 1079);
        EXPECT_EQ(dlg.m_arrPaths.size(), 100u);
        EXPECT_EQ(dlg.GetFileList()->GetCount(), 100u);
        EXPECT_EQ(dlg.m_arrPaths.back(), "/rec/099.wav");
        CUiScript::ClickButton(dlg, wxID_OK);
        return IDOK;
    });
    script.AnswerFile(Names(0, 60));
    script.AnswerFile(Names(60, 50));  // ten too many: the rest of this choice stays out
    script.AnswerBox(IDOK);
    EXPECT_EQ(RunModal(dlg), IDOK);
    EXPECT_EQ(script.BoxTexts(), std::vector<CString>{"選択可能なファイル数（100）を超えたため追加出来ません。"});
    EXPECT_EQ(script.Records().back().style, MB_OK | MB_ICONSTOP);
}

TEST_F(WaveImportDialog, OkWithAnEmptyListKeepsTheDialogOpen) {
    CWaveImportDlg dlg(nullptr);
    CUiScript script;
    script.AnswerDialog([](wxDialog& dlg) {
        CUiScript::ClickButton(dlg, wxID_OK);
        EXPECT_TRUE(dlg.IsModal());
        PressDelete(dlg);  // nothing to delete: nothing happens
        return IDCANCEL;
    });
    script.AnswerBox(IDOK);
    EXPECT_EQ(RunModal(dlg), IDCANCEL);
    EXPECT_EQ(script.BoxTexts(), std::vector<CString>{"インポートする音声ファイルを選択して下さい。"});
}

TEST_F(WaveImportDialog, FixedLayout) {
    CWaveImportDlg dlg(nullptr);
    EXPECT_EQ(dlg.GetId(), 146);
    EXPECT_EQ(FromWx(dlg.GetTitle()), "音声インポート");
    EXPECT_EQ(dlg.FindWindow(1038)->GetRect(), wxRect(12, 8, 188, 19));
    EXPECT_EQ(dlg.FindWindow(1078)->GetRect(), wxRect(12, 34, 500, 154));
    EXPECT_EQ(dlg.FindWindow(1079)->GetRect(), wxRect(14, 195, 100, 26));
    EXPECT_EQ(dlg.FindWindow(wxID_OK)->GetRect(), wxRect(308, 195, 100, 26));
    EXPECT_EQ(dlg.FindWindow(wxID_CANCEL)->GetRect(), wxRect(412, 195, 100, 26));
    EXPECT_EQ(FromWx(dlg.FindWindow(1079)->GetLabel()), "ファイル追加");
    EXPECT_EQ(FromWx(dlg.FindWindow(wxID_CANCEL)->GetLabel()), "キャンセル");
}

// --- the whole command in the editor's window

namespace {

class ImportInEditor : public ScriptFaultsFail {
protected:
    void SetUp() override {
        ScriptFaultsFail::SetUp();
        // Reopening the project plays its first phrase: on a card of our own, so that no
        // machine's sound card or its absence takes part.
        SetWaveOutBackend(&card);
        root = fs::path(scratch.Path("gui"));
        fs::create_directories(root / "config");
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        Open();
    }
    void TearDown() override {
        Close();
        SetWaveOutBackend(nullptr);
        ScriptFaultsFail::TearDown();
    }
    void Open() {
        frame = new CMainFrame();
        view = frame->GetView();
        view->OnInitialUpdate();
        frame->Show(true);
        PumpEvents(10);
    }
    void Close() {
        if (!frame) return;
        frame->Close(true);
        PumpEvents(10);
        frame = nullptr;
        view = nullptr;
    }
    static int Ok(wxDialog& dlg) {
        CUiScript::ClickButton(dlg, wxID_OK);
        return IDOK;
    }
    ScratchFolder scratch;
    CVirtualWaveOut card;
    fs::path root;
    CMainFrame* frame = nullptr;
    CKorvaneView* view = nullptr;
};

}  // namespace

TEST_F(ImportInEditor, TwoFilesIntoA22050HzProjectSaveAndReload) {
    const fs::path project = root / "本";
    {
        CUiScript script;
        script.AnswerDialog([](wxDialog& dlg) { return Ok(dlg); });  // "新規作成": 22050 Hz is the default
        script.AnswerFile({CString(project.string())});
        view->OnProjectNew();
    }
    ASSERT_EQ(view->m_nSamplePerSec, 22050);
    // Half a second of tone, a second of silence, half a second of tone; at 22050 Hz and,
    // to be converted, at 44100 Hz.
    auto recording = [](uint32_t rate) {
        std::vector<int16_t> s = TonePcm(440.0, rate, rate / 2, 0.5);
        s.insert(s.end(), rate, 0);
        const std::vector<int16_t> tail = TonePcm(440.0, rate, rate / 2, 0.5);
        s.insert(s.end(), tail.begin(), tail.end());
        return s;
    };
    WriteWav(scratch.Path("one.wav"), 22050, 1, recording(22050));
    WriteWav(scratch.Path("two.wav"), 44100, 1, recording(44100));
    {
        CUiScript script;
        script.AnswerDialog([](wxDialog& dlg) { return Ok(dlg); });  // "区切り設定"
        script.AnswerDialog([](wxDialog& dlg) {
            CUiScript::ClickButton(dlg, 1079);
            return Ok(dlg);
        });
        script.AnswerFile({scratch.CPath("one.wav"), scratch.CPath("two.wav")});
        script.AnswerBox(IDOK);
        view->OnAudioImport();
        EXPECT_EQ(script.BoxTexts(), std::vector<CString>{"完了しました。"});
        EXPECT_EQ(script.PendingAnswers(), 0u);
    }
    PumpEvents(5);
    EXPECT_TRUE(frame->IsEnabled());  // the progress dialog gave the window back
    EXPECT_EQ(view->m_nWaveImportCount, 2);
    // Project paths are CP932: ask the file layer.
    EXPECT_TRUE(FileExists(CString((project / "A000001.wav").string())));
    EXPECT_TRUE(FileExists(CString((project / "A000002.wav").string())));
    EXPECT_EQ(card.OpensSoFar(), 0u);  // the selection changes of the import played nothing

    auto* sections = wxDynamicCast(view->FindWindow(IDC_LIST_SECTION), wxListCtrl);
    auto* phrases = wxDynamicCast(view->FindWindow(IDC_LIST_PHRASE), wxListCtrl);
    ASSERT_TRUE(sections && phrases);
    ASSERT_EQ(sections->GetItemCount(), 3);  // two sections and the row after them
    EXPECT_EQ(FromWx(sections->GetItemText(0, 6)), "one.wav");
    EXPECT_EQ(FromWx(sections->GetItemText(1, 6)), "two.wav");
    EXPECT_EQ(FromWx(sections->GetItemText(1, 3)), "2");
    EXPECT_EQ(phrases->GetItemCount(), 3);  // the first section's two phrases
    EXPECT_EQ(FromWx(phrases->GetItemText(0, 6)), "A000001.wav");

    struct Row {
        uint32_t start, length, pause;
        CString file;
        bool operator==(const Row&) const = default;
    };
    auto rows = [this] {
        std::vector<Row> out;
        for (const auto& s : view->m_lstSection)
            for (const auto& p : s->m_lstPhrase) out.push_back({p->m_nStart, p->m_nLength, p->m_nPause, p->m_strFileName});
        return out;
    };
    const std::vector<Row> before = rows();
    ASSERT_EQ(before.size(), 4u);
    // Default pauses (0.4 s between phrases, no section pause): the second phrase begins one
    // block before the second tone.
    EXPECT_EQ(before[0], (Row{0, 14 * 4410, 10 * 4410, "A000001.wav"}));
    EXPECT_EQ(before[1], (Row{14 * 4410, 6 * 4410, 0, "A000001.wav"}));
    EXPECT_EQ(before[3].file, "A000002.wav");

    EXPECT_EQ(view->SaveProject(), 0);
    Close();
    Open();
    {
        CUiScript script;
        script.AnswerFile({CString((project / "Korvane.ncc").string())});
        view->OnProjectOpen();
    }
    EXPECT_EQ(view->m_nWaveImportCount, 2);
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(view->m_lstSection.GetAt(1)->m_strComment, "two.wav");
}
