// A user without a mouse, under a window manager: a project opened through the real file
// chooser, and the very next keys work at once, without Tab or a click first. Keys come
// from the X server (xdotool), as a keyboard's would.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/modalhook.h>
#include <wx/timer.h>

#include "EditorWindowFixture.h"
#include "app/ControlIds.h"
#include "audio/WaveFileWriter.h"
#include "platform/WaveOutDispatcher.h"
#include "platform/WaveOutVirtual.h"

namespace {

bool Have(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null").c_str()) == 0; }

void Keys(const std::string& keys) { ASSERT_EQ(std::system(("xdotool " + keys).c_str()), 0) << keys; }

// The toolkit shows no X window nor GTK's activation of the toolkit's own chooser.
extern "C" unsigned long gdk_x11_window_get_xid(void* window);
extern "C" void* gtk_widget_get_window(void* widget);
extern "C" int gtk_window_is_active(void* window);

// The X window of a top-level window of ours, as the window manager knows it. Titles
// cannot tell them apart: the progress window of a load bears the main window's title.
unsigned long XWindowOf(wxWindow& window) {
    void* gdk = window.GetHandle() ? gtk_widget_get_window(window.GetHandle()) : nullptr;
    return gdk ? gdk_x11_window_get_xid(gdk) : 0;
}

// The window that holds the X input focus (the client window, as xdotool reports it):
// keys typed through the X server go there, whatever the program thinks.
unsigned long XFocus() {
    FILE* p = ::popen("xdotool getwindowfocus 2>/dev/null", "r");
    if (!p) return 0;
    unsigned long id = 0;
    if (std::fscanf(p, "%lu", &id) != 1) id = 0;
    ::pclose(p);
    return id;
}

// Waits until `window` holds the X input focus and the toolkit has taken it in: the
// window manager hands the focus over in its own time, and the toolkit takes it only
// while its events are handled, so they are handled meanwhile.
bool HasFocus(wxWindow& window) {
    const unsigned long id = XWindowOf(window);
    return id != 0 && XFocus() == id && gtk_window_is_active(window.GetHandle());
}
bool WaitForFocus(wxWindow& window) {
    return WaitUntil([&] { return HasFocus(window); }, 60);
}

// Notes the modal window the program shows (the toolkit's chooser is in no list of
// windows) and lets it appear.
class ModalWatch : public wxModalDialogHook {
public:
    ModalWatch() { Register(); }
    ~ModalWatch() override { Unregister(); }
    wxDialog* shown = nullptr;

protected:
    int Enter(wxDialog* dialog) override {
        shown = dialog;
        return wxID_NONE;
    }
    void Exit(wxDialog* dialog) override {
        if (shown == dialog) shown = nullptr;
    }
};

class KeyboardOnly : public EditorWindow {
protected:
    void SetUp() override {
        if (!Have("openbox") || !Have("xdotool")) GTEST_SKIP() << "openbox and xdotool are needed";
        ASSERT_NO_FATAL_FAILURE(StartWindowManager());
        SetWaveOutBackend(&card);
        SetWaveOutDispatcher(&reports);
        EditorWindow::SetUp();
        frame->Maximize(true);
        WaitUntilPainted(*view);
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
        ASSERT_TRUE(EnsureWxApp());  // its events are handled while the manager comes up
        m_wm = ::fork();
        if (m_wm == 0) {
            ::setsid();
            ::execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Up once it has announced itself on the root window.
        const bool up = WaitUntil(
            [] { return std::system("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window") == 0; }, 60);
        ASSERT_TRUE(up) << "the window manager did not start";
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
    PumpEvents(1);  // the focus is waited for below, once the window manager is asked

    // The chooser is the toolkit's own; the user types the path into it once it holds
    // the focus. The ticks only look; they never wait, so the chooser runs meanwhile.
    ModalWatch modal;
    wxTimer typist;
    bool typed = false;
    typist.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (!modal.shown || !HasFocus(*modal.shown)) return;
        typist.Stop();
        typed = true;
        Keys("key ctrl+l");
        // The X server hands the keys on in order: Return comes after the whole path.
        Keys("type --delay 2 '" + project + "'");
        Keys("key Return");
    });
    // Should the chooser never hear the typed path, it would wait for ever: it is closed
    // after a bound that a loaded machine meets, and the test fails.
    wxTimer rescue;
    rescue.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (modal.shown) modal.shown->EndModal(wxID_CANCEL);
    });
    // The program's window is the active one, as after its start.
    std::system("xdotool search --onlyvisible --name '^Tolvane Zavi' windowactivate >/dev/null 2>&1");
    ASSERT_TRUE(WaitForFocus(*frame)) << "the main window never got the focus";
    rescue.StartOnce(90000);
    typist.Start(100);
    Keys("key ctrl+o");
    const bool opened = WaitUntil([&] { return view->m_strProjectFile == CString(project); }, 120);
    typist.Stop();
    rescue.Stop();
    if (!opened)
        std::system(("import -window root '" + std::string(KORVANE_BUILD_DIR) + "/screenshots/keyboard_only_failure.png'").c_str());
    ASSERT_TRUE(opened) << (typed ? "the chooser did not open the typed path" : "the chooser never came up with the focus");
    ASSERT_EQ(view->m_lstSection.GetCount(), 1);
    // Nothing had the focus before: the section list has it now.
    wxWindow* list = view->m_listSection->GetWindow();
    auto listHasFocus = [list] {
        wxWindow* focus = wxWindow::FindFocus();
        return focus && (focus == list || focus->GetParent() == list);
    };
    EXPECT_TRUE(WaitUntil(listHasFocus));

    // F6 asks for the build (answered No), Enter opens the properties of the row, Ctrl+O
    // opens the chooser again (cancelled) and Space plays.
    auto script = std::make_unique<CUiScript>();
    script->AnswerBox(IDNO).AnswerDialog(IDCANCEL).CancelFile();
    // Each key is typed once the main window holds the X focus again and the toolkit has
    // taken it in: right after a chooser or a progress window closes, the window manager
    // may not yet have handed it back. A key typed then must work; it is typed once.
    auto press = [&](const char* keys, const std::function<bool()>& done) {
        if (!WaitForFocus(*frame)) return ::testing::AssertionFailure() << "the main window never got the focus back before " << keys;
        Keys(keys);
        if (!WaitUntil(done, 60)) return ::testing::AssertionFailure() << keys << " was not heard";
        return ::testing::AssertionSuccess();
    };
    ASSERT_TRUE(press("key F6", [&] { return script->Records().size() >= 1; }));
    ASSERT_TRUE(press("key Return", [&] { return script->Records().size() >= 2; }));
    ASSERT_TRUE(press("key ctrl+o", [&] { return script->Records().size() >= 3; }));
    ASSERT_TRUE(press("key space", [&] { return card.OpenDevices() == 1; }));
    ASSERT_EQ(script->Records().size(), 3u);
    EXPECT_EQ(script->Records()[0].text, "Daisy図書を生成しますか？");
    EXPECT_EQ(script->Records()[1].caption, "セクションプロパティ");
    EXPECT_EQ(script->Records()[2].kind, CUiKind::File);
}

// Tab walks the form's controls in their order, as a dialog's keys do, and wraps around;
// Shift+Tab walks back. Stopping playback on the key must not pull the focus back to the
// list the user worked in.
TEST_F(KeyboardOnly, TabWalksTheControlsInOrderAndShiftTabWalksBack) {
    ASSERT_TRUE(view->m_btnLevelUp->IsEnabled() && view->m_btnTail->IsEnabled());
    wxWindow* const sections = view->m_listSection->GetWindow();
    wxWindow* const phrases = view->m_listPhrase->GetWindow();
    std::vector<wxWindow*> order = {sections};
    for (wxWindow* button : {view->m_btnLevelUp, view->m_btnLevelDown, view->m_btnGroup, view->m_btnPage,
                             view->m_btnMark, view->m_btnBack, view->m_btnNext, view->m_btnPlay, view->m_btnStop,
                             view->m_btnHead, view->m_btnTail})
        order.push_back(button);
    order.push_back(phrases);
    // The list's rows are a window of their own inside the list.
    auto focused = [&] {
        wxWindow* focus = wxWindow::FindFocus();
        return focus && (focus->GetParent() == sections || focus->GetParent() == phrases) ? focus->GetParent() : focus;
    };
    auto name = [&](wxWindow* w) -> std::string {
        for (size_t i = 0; i < order.size(); ++i)
            if (order[i] == w) return "control " + std::to_string(i);
        return w ? std::string(w->GetName().utf8_str()) : std::string("nothing");
    };
    std::system("xdotool search --onlyvisible --name '^Tolvane Zavi' windowactivate >/dev/null 2>&1");
    ASSERT_TRUE(WaitForFocus(*frame)) << "the main window never got the focus";
    view->m_listSection->SetFocus();
    ASSERT_TRUE(WaitUntil([&] { return focused() == sections; }));
    // Twice round forwards, then twice round backwards; then, with the buttons disabled (as
    // before a project is open), Tab goes from list to list.
    std::vector<wxWindow*> forwards, backwards;
    for (size_t press = 1; press <= 2 * order.size(); ++press) {
        forwards.push_back(order[press % order.size()]);
        backwards.push_back(order[(2 * order.size() - press) % order.size()]);
    }
    const struct {
        const char* key;
        bool buttons;
        std::vector<wxWindow*> visits;
    } walks[] = {
        {"key Tab", true, forwards},
        {"key shift+Tab", true, backwards},
        {"key Tab", false, {phrases, sections, phrases, sections}},
    };
    for (const auto& walk : walks) {
        if (!walk.buttons) view->DisableButtons();
        ASSERT_EQ(focused(), sections);
        for (size_t press = 0; press < walk.visits.size(); ++press) {
            Keys(walk.key);
            wxWindow* const expected = walk.visits[press];
            EXPECT_TRUE(WaitUntil([&] { return focused() == expected; }, 20))
                << walk.key << " number " << press + 1 << " left the focus on " << name(focused()) << " instead of "
                << name(expected);
            if (focused() != expected) return;
        }
    }
}

}  // namespace
