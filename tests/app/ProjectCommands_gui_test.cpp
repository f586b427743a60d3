#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "Accessibility.h"
#include "Screenshot.h"
#include "EditorWindowFixture.h"
#include "app/ProgressDlg.h"
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

namespace {

// Reports the first top-level window of the process `pid` that the accessibility bus
// announces after the start:
// the first one: "title=" with the name the event carries, then "bar=" with the name of
// each progress bar in that window.
constexpr const char* kWatchWindows = R"PY(
pid = int(sys.argv[1])
reported = False

def heard(event):
    global reported
    source = event.source
    if reported or source is None or source.get_process_id() != pid:
        return
    if source.get_role() not in (Atspi.Role.DIALOG, Atspi.Role.FRAME, Atspi.Role.WINDOW):
        return
    reported = True
    print("event=" + event.type)
    print("role=" + source.get_role_name())
    print("title=" + (event.any_data if event.type.startswith("object:property-change") else source.get_name()))
    # The first bar only: while the window fills in, the bus may list a child twice.
    for node in walk(source):
        if node.get_role() == Atspi.Role.PROGRESS_BAR:
            print("bar=" + node.get_name())
            break
    Atspi.event_quit()

listener = Atspi.EventListener.new(heard)
for kind in ("window:create", "window:activate", "object:property-change:accessible-name"):
    listener.register(kind)
print("ready")
GLib.timeout_add_seconds(50, Atspi.event_quit)
Atspi.event_main()
)PY";

}  // namespace

// A screen reader speaks a window's title when it appears: the progress window of a load
// must appear under its real title, not under a placeholder renamed a moment later, and
// its bar is named after the message beside it.
TEST(ProgressWindow, AppearsUnderItsRealTitleWithANamedBar) {
    ASSERT_TRUE(EnsureWxApp());
    if (!OnPrivateAccessibilityBus()) return;
    std::string output;
    std::atomic<bool> ready{false}, done{false};
    std::thread watcher([&] {
        output = RunAccessibilityScript(kWatchWindows, {std::to_string(::getpid())},
                                        [&](const std::string& line) { ready = ready || line == "ready"; });
        done = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return ready || done; }, 60)) << output;
    {
        // As a project load calls it.
        CProgressDlg progress;
        progress.Create();
        progress.SetRange(0, 3);
        progress.SetWindowText("Tolvane Zavi");
        progress.SetMessage("プロジェクト情報読込中...");
        progress.ShowCancelButton(false);
        for (int i = 1; !done; i = i % 3 + 1) progress.SetPos(i);  // the watcher's own time bounds it
        ASSERT_NE(progress.GetDialog(), nullptr);
        SaveScreenshot(*progress.GetDialog(), "progress_load");  // a picture for a person to look at, not a check
    }
    watcher.join();
    const std::vector<std::string> titles = AccessibilityValues(output, "title");
    ASSERT_FALSE(titles.empty()) << output;
    EXPECT_EQ(titles.front(), Cp932ToUtf8("Tolvane Zavi")) << output;
    EXPECT_EQ(AccessibilityValues(output, "role"), std::vector<std::string>{"dialog"}) << output;
    for (const std::string& title : titles) EXPECT_NE(title, "1") << output;
    EXPECT_EQ(AccessibilityValues(output, "bar"), std::vector<std::string>{Cp932ToUtf8("プロジェクト情報読込中...")}) << output;
}
