// A user without a mouse, under a window manager: a project opened through the real file
// chooser, and the very next keys work at once, without Tab or a click first. Keys come
// from the X server (xdotool), as a keyboard's would.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include <wx/dialog.h>
#include <wx/timer.h>

#include "EditorWindowFixture.h"
#include "app/ControlIds.h"
#include "audio/WaveFileWriter.h"
#include "platform/WaveOutDispatcher.h"
#include "platform/WaveOutVirtual.h"

namespace {

bool Have(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null").c_str()) == 0; }

void Keys(const std::string& keys) { ASSERT_EQ(std::system(("xdotool " + keys).c_str()), 0) << keys; }

// Waits (up to 5 s) until the window with the keyboard focus is, or is not, the main
// window; the window manager hands the focus over in its own time. True when it is.
bool WaitForFocus(bool mainWindow) {
    const std::string test = mainWindow ? "" : "! ";
    return std::system(("for i in $(seq 50); do " + test +
                        "xdotool getwindowfocus getwindowname 2>/dev/null | grep -q '^Tolvane Zavi' && exit 0; "
                        "sleep 0.1; done; exit 1")
                           .c_str()) == 0;
}

class KeyboardOnly : public EditorWindow {
protected:
    void SetUp() override {
        if (!Have("openbox") || !Have("xdotool")) GTEST_SKIP() << "openbox and xdotool are needed";
        StartWindowManager();
        SetWaveOutBackend(&card);
        SetWaveOutDispatcher(&reports);
        EditorWindow::SetUp();
        frame->Maximize(true);
        PumpEvents(20);
        // A saved PCM project of one section with one phrase of two seconds.
        NewProject(0, root / "book");
        CWaveFileWriter writer;
        std::unique_ptr<CRiffFile> file;
        ASSERT_EQ(writer.Create(CString((root / "book" / "A000001.wav").string()), MakePcmMono16Format(16000), file), 0);
        std::vector<int16_t> samples(32000, 1000);
        file->Write(samples.data(), static_cast<int64_t>(samples.size() * 2));
        ASSERT_EQ(writer.Close(file), 0);
        auto* phrase = view->m_lstSection.GetAt(0)->m_lstPhrase.Add(std::make_unique<CPhraseInformation>());
        phrase->m_nLength = 64000;
        phrase->m_strFileName = "A000001.wav";
        phrase->m_nBytesPerSec = 32000;
        ASSERT_EQ(view->SaveProject(), 0);
    }
    void TearDown() override {
        if (frame) view->StopWavePlay();
        EditorWindow::TearDown();
        SetWaveOutDispatcher(nullptr);
        SetWaveOutBackend(nullptr);
        if (m_wm > 0) {
            ::kill(m_wm, SIGTERM);
            ::waitpid(m_wm, nullptr, 0);
        }
    }
    void StartWindowManager() {
        m_wm = ::fork();
        if (m_wm == 0) {
            ::setsid();
            ::execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Up once it has announced itself on the root window.
        for (int i = 0; i < 100; ++i) {
            if (std::system("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window") == 0) return;
            ::usleep(50000);
        }
    }
    // Pumps until `done` or about `ms` milliseconds have passed.
    template <typename Done>
    bool PumpUntil(Done done, int ms = 5000) {
        for (int i = 0; i < ms / 50 && !done(); ++i) PumpEvents(5);
        return done();
    }

    pid_t m_wm = -1;
    CVirtualWaveOut card;
    CManualWaveOutDispatcher reports;
};

TEST_F(KeyboardOnly, AfterTheRealChooserCtrlOF6SpaceAndEnterWorkAtOnce) {
    const std::string project = (root / "book" / "Korvane.ncc").string();
    view->m_lstSection.RemoveAll();  // opened again from its file below
    view->m_bProjectOpen = 0;
    view->m_strProjectFile.Empty();
    view->RefreshSectionList(0);
    // As after the start: the window is active and no control has the focus.
    frame->SetFocus();
    frame->Raise();
    PumpEvents(20);

    // The chooser is the toolkit's own; the user types the path into it.
    wxTimer typist;
    bool typed = false;
    int resent = 0;
    typist.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (!WaitForFocus(false) && resent++ < 2) {
            // Keys injected through the X server are now and then lost on a loaded machine.
            Keys("key ctrl+o");
            typist.StartOnce(1000);
            return;
        }
        typed = true;
        Keys("key ctrl+l");
        Keys("type --delay 2 '" + project + "'");
        ::usleep(300000);
        Keys("key Return");
    });
    // Should the typed path never reach the chooser (keys lost on a loaded machine), the
    // chooser would wait for ever: close it after a while, and the run is skipped below.
    wxTimer rescue;
    bool rescued = false;
    rescue.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        for (wxWindow* w : wxTopLevelWindows)
            if (auto* dialog = dynamic_cast<wxDialog*>(w); dialog && dialog->IsModal()) {
                rescued = true;
                dialog->EndModal(wxID_CANCEL);
                return;
            }
    });
    rescue.StartOnce(25000);
    // The program's window is the active one, as after its start.
    std::system("xdotool search --onlyvisible --name '^Tolvane Zavi' windowactivate --sync >/dev/null 2>&1");
    PumpEvents(10);
    typist.StartOnce(1000);
    WaitForFocus(true);
    PumpEvents(30);
    Keys("key ctrl+o");
    const bool opened = PumpUntil([&] { return view->m_strProjectFile == CString(project); }, 15000);
    rescue.Stop();
    if (!opened)
        std::system(("import -window root '" + std::string(KORVANE_BUILD_DIR) + "/screenshots/keyboard_only_failure.png'").c_str());
    if (!opened && rescued) GTEST_SKIP() << "the typed path never reached the chooser";
    ASSERT_TRUE(opened) << "typed " << typed;
    ASSERT_EQ(view->m_lstSection.GetCount(), 1);
    PumpEvents(20);
    // Nothing had the focus before: the section list has it now.
    wxWindow* focus = wxWindow::FindFocus();
    wxWindow* list = view->m_listSection->GetWindow();
    EXPECT_TRUE(focus && (focus == list || focus->GetParent() == list));

    // F6 asks for the build (answered No), Enter opens the properties of the row, Ctrl+O
    // opens the chooser again (cancelled) and Space plays.
    auto script = std::make_unique<CUiScript>();
    script->AnswerBox(IDNO).AnswerDialog(IDCANCEL).CancelFile();
    // A key that never reaches the window's key hook while the window holds the X focus
    // was not delivered by the X server at all (seen in about one run in ten on a loaded
    // machine). That is not what this test is about: the run is skipped rather than
    // failed. A key that arrived and did nothing fails.
    int hooked = 0;
    frame->Bind(wxEVT_CHAR_HOOK, [&](wxKeyEvent& e) {
        ++hooked;
        e.Skip();
    });
    bool undelivered = false;
    std::string lost;
    auto press = [&](const std::string& keys, const std::function<bool()>& done) {
        const int before = hooked;
        Keys(keys);
        if (PumpUntil(done)) return true;
        undelivered = hooked == before && WaitForFocus(true);
        lost = keys;
        return false;
    };
    const bool worked = press("key F6", [&] { return script->Records().size() >= 1; }) &&
                        press("key Return", [&] { return script->Records().size() >= 2; }) &&
                        press("key ctrl+o", [&] { return script->Records().size() >= 3; }) &&
                        press("key space", [&] { return card.OpenDevices() == 1; });
    if (!worked && undelivered) {
        auto previous = CUiScript::SetFaultReporter([](const std::string&) {});
        script.reset();  // its unused answers are no fault here
        CUiScript::SetFaultReporter(previous);
        GTEST_SKIP() << "a key was not delivered to the window: " << lost;
    }
    ASSERT_TRUE(worked);
    if (resent > 0) std::fprintf(stderr, "ctrl+o sent again: %d\n", resent);
    ASSERT_EQ(script->Records().size(), 3u);
    EXPECT_EQ(script->Records()[0].text, "Daisy図書を生成しますか？");
    EXPECT_EQ(script->Records()[1].caption, "セクションプロパティ");
    EXPECT_EQ(script->Records()[2].kind, CUiKind::File);
}

}  // namespace
