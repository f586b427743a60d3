#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/uiaction.h>

#include "WxTestApp.h"
#include "app/CommandIds.h"
#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "app/MainFrame.h"
#include "app/NewProjectDlg.h"
#include "platform/CodePage.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"

namespace fs = std::filesystem;

namespace {

std::string ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Paths in these tests are CP932 like the program's; the disk has them in UTF-8.
fs::path OnDisk(const fs::path& cp932) { return fs::path(Cp932ToUtf8(CString(cp932.string()))); }

// A whole editor window with its own settings folder, so that runs do not meet.
class EditorWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(EnsureWxApp());
        root = fs::temp_directory_path() /
               ("korvane-gui-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "config");
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        Open();
    }
    void TearDown() override {
        Close();
        std::error_code ec;
        fs::remove_all(root, ec);
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
    // Runs "新規作成" through the menu with the dialog and the chooser answered.
    void NewProject(int format, const fs::path& folder) {
        CUiScript script;
        script.AnswerDialog([format](wxDialog& dlg) {
            auto* list = wxDynamicCast(dlg.FindWindow(1042), wxChoice);
            if (list) list->SetSelection(format);
            CUiScript::ClickButton(dlg, wxID_OK);
            return IDOK;
        });
        script.AnswerFile({CString(folder.string())});
        frame->RunMenuCommand(ID_PROJECT_NEW);
        PumpEvents(5);
    }
    fs::path root;
    CMainFrame* frame = nullptr;
    CKorvaneView* view = nullptr;
};

TEST_F(EditorWindow, NewProjectInEveryFormat) {
    const char* texts[5] = {"PCM 16.00KHz Mono", "PCM 22.05KHz Mono", "PCM 44.10KHz Mono", "MP3 32Kbps Mono",
                            "MP3 64Kbps Mono"};
    const int rates[5] = {16000, 22050, 44100, 22050, 44100};
    for (int format = 0; format < 5; ++format) {
        fs::path folder = root / ("本" + std::to_string(format));
        NewProject(format, folder);
        ASSERT_TRUE(fs::is_directory(OnDisk(folder))) << format;
        EXPECT_EQ(view->m_bProjectOpen, 1);
        EXPECT_EQ(view->m_nCompression, format);
        EXPECT_EQ(view->m_nSamplePerSec, rates[format]);
        EXPECT_EQ(view->m_nAudioKind, format < 3 ? 1 : 2);
        EXPECT_EQ(view->GetControlText(IDC_STATIC_FORMAT), texts[format]);
        ASSERT_EQ(view->m_lstSection.GetCount(), 1);
        EXPECT_EQ(view->m_nWaveImportCount, 0);
        view->Refresh();
        view->Update();
        PumpEvents(5);
        EXPECT_EQ(FromWx(frame->GetTitle()), CString("Tolvane Zavi - ") + CString((folder / "Korvane.ncc").string()));
    }
    // Nothing is on the disk of the last one until it is saved; the one before was saved
    // when the next was created.
    EXPECT_FALSE(fs::exists(OnDisk(root / "本4" / "Korvane.ncc")));
    EXPECT_TRUE(fs::exists(OnDisk(root / "本3" / "Korvane.ncc")));
}

TEST_F(EditorWindow, RefusedNamesChangeNothing) {
    NewProject(1, root / "first");
    view->m_lstSection.GetAt(0)->m_strHeading = "残す";
    CUiScript script;
    script.AnswerDialog([](wxDialog& dlg) { CUiScript::ClickButton(dlg, wxID_OK); return IDOK; });
    script.AnswerFile({CString((root / std::string(31, 'a')).string())});
    script.AnswerBox(IDOK);
    script.AnswerDialog([](wxDialog& dlg) { CUiScript::ClickButton(dlg, wxID_OK); return IDOK; });
    script.AnswerFile({CString((root / "first").string())});
    script.AnswerBox(IDOK);
    frame->RunMenuCommand(ID_PROJECT_NEW);
    frame->RunMenuCommand(ID_PROJECT_NEW);
    std::vector<CString> boxes = script.BoxTexts();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "プロジェクト名は全角15文字以内、または半角30文字以内にして下さい。");
    EXPECT_EQ(boxes[1], "同名のプロジェクトが既に存在しています。");
    EXPECT_FALSE(fs::exists(root / std::string(31, 'a')));
    // The open project is still the first one, untouched.
    EXPECT_EQ(view->m_strProjectFile, CString((root / "first" / "Korvane.ncc").string()));
    EXPECT_EQ(view->m_lstSection.GetAt(0)->m_strHeading, "残す");
}

TEST_F(EditorWindow, ThirtyBytesAreAllowedInAName) {
    NewProject(0, root / std::string(30, 'b'));
    EXPECT_TRUE(fs::is_directory(root / std::string(30, 'b')));
    NewProject(0, root / "あいうえおかきくけこさしすせそ");  // 15 double-byte characters
    EXPECT_EQ(view->m_strProjectFolder, CString((root / "あいうえおかきくけこさしすせそ").string()));
    EXPECT_TRUE(fs::is_directory(OnDisk(root / "あいうえおかきくけこさしすせそ")));
}

TEST_F(EditorWindow, ClosingSavesProjectSettingsAndColumnWidths) {
    NewProject(2, root / "keep");
    view->m_lstSection.GetAt(0)->m_strHeading = "第一章";
    view->m_nListFont = 2;
    view->m_listSection->GetWindow();
    Close();
    ASSERT_TRUE(fs::exists(root / "keep" / "Korvane.ncc"));
    EXPECT_NE(ReadBytes(root / "keep" / "Korvane.ncc").find("1=0,第一章,0,0,,,"), std::string::npos);

    Open();
    EXPECT_EQ(view->m_strProjectFolder, CString((root / "keep").string()));
    EXPECT_EQ(view->m_nListFont, 2);
    CUiScript script;
    script.AnswerFile({CString((root / "keep" / "Korvane.ncc").string())});
    frame->RunMenuCommand(ID_PROJECT_OPEN);
    ASSERT_EQ(view->m_lstSection.GetCount(), 1);
    EXPECT_EQ(view->m_lstSection.GetAt(0)->m_strHeading, "第一章");
    EXPECT_EQ(view->m_nAudioKind, 1);
    EXPECT_EQ(view->m_nSamplePerSec, 44100);
}

TEST_F(EditorWindow, AForeignFormatIndexIsRefusedBeforeAnythingChanges) {
    NewProject(1, root / "open");
    view->m_lstSection.GetAt(0)->m_strHeading = "残す";
    fs::create_directories(root / "odd");
    std::ofstream(root / "odd" / "Korvane.ncc", std::ios::binary) << "[Format]\r\nCompression=7\r\n";
    CUiScript script;
    script.AnswerFile({CString((root / "odd" / "Korvane.ncc").string())});
    script.AnswerBox(IDOK);
    frame->RunMenuCommand(ID_PROJECT_OPEN);
    ASSERT_EQ(script.BoxTexts().size(), 1u);
    EXPECT_EQ(script.BoxTexts()[0], "プロジェクトファイルの音声フォーマットが正しくありません。");
    EXPECT_EQ(view->m_strProjectFolder, CString((root / "open").string()));
    EXPECT_EQ(view->m_lstSection.GetAt(0)->m_strHeading, "残す");
    EXPECT_EQ(view->m_nCompression, 1);
}

TEST_F(EditorWindow, DisabledCommandsDoNothingWithoutAProject) {
    EXPECT_FALSE(view->IsCommandEnabled(ID_SECTION_ADD));
    EXPECT_FALSE(view->IsCommandEnabled(ID_EDIT_SELECT_ALL));
    EXPECT_FALSE(view->IsCommandEnabled(ID_CD_WRITE));
    EXPECT_TRUE(view->IsCommandEnabled(ID_PROJECT_NEW));
    EXPECT_TRUE(view->IsCommandEnabled(ID_SPEED_UP));
    // A section-add accelerator would ask a question; with no project nothing may appear.
    CUiScript script;
    EXPECT_FALSE(view->RunCommand(ID_SECTION_ADD));
    EXPECT_TRUE(script.Records().empty());
    // Speed keys work without a project.
    view->m_nPlaySpeed = 2;
    EXPECT_TRUE(view->RunCommand(ID_SPEED_UP));
    EXPECT_EQ(view->GetControlText(IDC_STATIC_SPEED), "x1.25");
}

TEST_F(EditorWindow, AboutShowsTheProductTitle) {
    CUiScript script;
    CString shown;
    script.AnswerDialog([&shown](wxDialog& dlg) {
        if (wxWindow* title = dlg.FindWindow(1107)) shown = FromWx(title->GetLabel());
        return IDOK;
    });
    frame->RunMenuCommand(ID_APP_ABOUT);
    EXPECT_EQ(shown, "Tolvane Zavi （Daisy編集機能 Ver1.1.9）");
}

}  // namespace
