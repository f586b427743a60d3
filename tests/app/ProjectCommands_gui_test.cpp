#include <fstream>
#include <sstream>

#include "EditorWindowFixture.h"
#include "app/ControlIds.h"
#include "platform/CodePage.h"

namespace {

// Paths in these tests are CP932 like the program's; the disk has them in UTF-8.
fs::path OnDisk(const fs::path& cp932) { return fs::path(Cp932ToUtf8(CString(cp932.string()))); }
CString Cp932(const fs::path& path) { return CString(path.string()); }

using ProjectCommands = EditorWindow;

TEST_F(ProjectCommands, NewProjectInEveryFormat) {
    const char* texts[5] = {"PCM 16.00KHz Mono", "PCM 22.05KHz Mono", "PCM 44.10KHz Mono", "MP3 32Kbps Mono",
                            "MP3 64Kbps Mono"};
    const int rates[5] = {16000, 22050, 44100, 22050, 44100};
    for (int format = 0; format < 5; ++format) {
        SCOPED_TRACE(format);
        const fs::path folder = root / ("本" + std::to_string(format));
        NewProject(format, folder);
        ASSERT_TRUE(fs::is_directory(OnDisk(folder)));
        EXPECT_EQ(view->m_bProjectOpen, 1);
        EXPECT_EQ(view->m_nCompression, format);
        EXPECT_EQ(view->m_nSamplePerSec, rates[format]);
        EXPECT_EQ(view->m_nAudioKind, format < 3 ? 1 : 2);
        EXPECT_EQ(view->GetControlText(IDC_STATIC_FORMAT), texts[format]);
        EXPECT_EQ(view->m_lstSection.GetCount(), 1);
        // The title follows at the view's next painting.
        const CString titled = "Tolvane Zavi - " + Cp932(folder / "Korvane.ncc");
        WaitUntil([&] {
            view->Refresh();
            view->Update();
            return FromWx(frame->GetTitle()) == titled;
        });
        EXPECT_EQ(FromWx(frame->GetTitle()), titled);
    }
    // Nothing is on the disk of the last one until it is saved; the one before was saved
    // when the next was created.
    EXPECT_FALSE(fs::exists(OnDisk(root / "本4" / "Korvane.ncc")));
    EXPECT_TRUE(fs::exists(OnDisk(root / "本3" / "Korvane.ncc")));
}

// New and open check first and change nothing on refusal.
TEST_F(ProjectCommands, RefusedNamesAndFormatsChangeNothing) {
    NewProject(1, root / "first");
    view->m_lstSection.GetAt(0)->m_strHeading = "残す";
    fs::create_directories(root / "odd");
    std::ofstream(root / "odd" / "Korvane.ncc", std::ios::binary) << "[Format]\r\nCompression=7\r\n";
    CUiScript script;
    for (const fs::path& name : {root / std::string(31, 'a'), root / "first"}) {
        script.AnswerDialog([](wxDialog& dlg) { CUiScript::ClickButton(dlg, wxID_OK); return IDOK; });
        script.AnswerFile({Cp932(name)}).AnswerBox(IDOK);
    }
    script.AnswerFile({Cp932(root / "odd" / "Korvane.ncc")}).AnswerBox(IDOK);
    frame->RunMenuCommand(ID_PROJECT_NEW);
    frame->RunMenuCommand(ID_PROJECT_NEW);
    frame->RunMenuCommand(ID_PROJECT_OPEN);
    EXPECT_EQ(script.BoxTexts(), (std::vector<CString>{"プロジェクト名は全角15文字以内、または半角30文字以内にして下さい。",
                                                      "同名のプロジェクトが既に存在しています。",
                                                      "プロジェクトファイルの音声フォーマットが正しくありません。"}));
    EXPECT_FALSE(fs::exists(root / std::string(31, 'a')));
    EXPECT_EQ(view->m_strProjectFile, Cp932(root / "first" / "Korvane.ncc"));
    EXPECT_EQ(view->m_lstSection.GetAt(0)->m_strHeading, "残す");
    EXPECT_EQ(view->m_nCompression, 1);

    // Thirty bytes are allowed: 30 single-byte or 15 double-byte characters.
    for (const fs::path& folder : {root / std::string(30, 'b'), root / "あいうえおかきくけこさしすせそ"}) {
        NewProject(0, folder);
        EXPECT_EQ(view->m_strProjectFolder, Cp932(folder));
        EXPECT_TRUE(fs::is_directory(OnDisk(folder)));
    }
}

TEST_F(ProjectCommands, ClosingSavesProjectAndSettingsAndReopeningRestoresThem) {
    NewProject(2, root / "keep");
    view->m_lstSection.GetAt(0)->m_strHeading = "第一章";
    view->m_nListFont = 2;
    Close();
    std::ostringstream project;
    project << std::ifstream(root / "keep" / "Korvane.ncc", std::ios::binary).rdbuf();
    EXPECT_NE(project.str().find("1=0,第一章,0,0,,,"), std::string::npos);

    Open();
    EXPECT_EQ(view->m_strProjectFolder, Cp932(root / "keep"));
    EXPECT_EQ(view->m_nListFont, 2);
    CUiScript script;
    script.AnswerFile({Cp932(root / "keep" / "Korvane.ncc")});
    frame->RunMenuCommand(ID_PROJECT_OPEN);
    ASSERT_EQ(view->m_lstSection.GetCount(), 1);
    EXPECT_EQ(view->m_lstSection.GetAt(0)->m_strHeading, "第一章");
    EXPECT_EQ(view->m_nSamplePerSec, 44100);
}

TEST_F(ProjectCommands, WithoutAProjectOnlyTheCommandsThatNeedNoneRun) {
    EXPECT_FALSE(view->IsCommandEnabled(ID_SECTION_ADD));
    EXPECT_FALSE(view->IsCommandEnabled(ID_EDIT_SELECT_ALL));
    EXPECT_FALSE(view->IsCommandEnabled(ID_CD_WRITE));
    EXPECT_TRUE(view->IsCommandEnabled(ID_PROJECT_NEW));
    CString about;
    CUiScript script;  // the section-add accelerator would ask a question: nothing may appear
    script.AnswerDialog([&about](wxDialog& dlg) {
        if (wxWindow* title = dlg.FindWindow(1107)) about = FromWx(title->GetLabel());
        return IDOK;
    });
    EXPECT_FALSE(view->RunCommand(ID_SECTION_ADD));
    EXPECT_TRUE(script.Records().empty());
    view->m_nPlaySpeed = 2;
    EXPECT_TRUE(view->RunCommand(ID_SPEED_UP));
    EXPECT_EQ(view->GetControlText(IDC_STATIC_SPEED), "x1.25");
    frame->RunMenuCommand(ID_APP_ABOUT);
    EXPECT_EQ(about, "Tolvane Zavi （Daisy編集機能 Ver1.1.9）");
}

}  // namespace
