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
#include <wx/evtloop.h>
#include <wx/modalhook.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include "EditorWindowFixture.h"
#include "app/AppStrings.h"
#include "app/ControlIds.h"
#include "app/KorvaneApp.h"
#include "audio/WaveFileWriter.h"
#include "platform/SingleInstance.h"
#include "platform/WaveOutDispatcher.h"
#include "platform/WaveOutVirtual.h"

namespace {

bool Have(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null").c_str()) == 0; }

void Keys(const std::string& keys) { ASSERT_EQ(std::system(("xdotool " + keys).c_str()), 0) << keys; }

// The toolkit shows no X window nor GTK's activation of the toolkit's own chooser.
extern "C" unsigned long gdk_x11_window_get_xid(void* window);
extern "C" void* gtk_widget_get_window(void* widget);
extern "C" int gtk_window_is_active(void* window);
extern "C" void* gtk_window_get_focus(void* window);
extern "C" int gtk_widget_is_ancestor(void* widget, void* ancestor);

// The X window of a top-level window of ours, as the window manager knows it. Titles
// cannot tell them apart: the progress window of a load bears the main window's title.
unsigned long XWindowOf(wxWindow& window) {
    void* gdk = window.GetHandle() ? gtk_widget_get_window(window.GetHandle()) : nullptr;
    return gdk ? gdk_x11_window_get_xid(gdk) : 0;
}

// The first window that xdotool names for `query`, 0 for none.
unsigned long XWindowFor(const std::string& query) {
    FILE* p = ::popen(("xdotool " + query + " 2>/dev/null").c_str(), "r");
    if (!p) return 0;
    unsigned long id = 0;
    if (std::fscanf(p, "%lu", &id) != 1) id = 0;
    ::pclose(p);
    return id;
}

// The window that holds the X input focus (the client window, as xdotool reports it):
// keys typed through the X server go there, whatever the program thinks.
unsigned long XFocus() { return XWindowFor("getwindowfocus"); }

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
        // A saved PCM project of one section with one phrase of two seconds, and a copy.
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
        fs::copy(root / "book", root / "other");
        Restart();
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
    // As after a start: a new main window with nothing open.
    void Restart() {
        Close();
        Open();
        frame->Maximize(true);
        WaitUntilPainted(*view);
    }
    // Ctrl+O, and the path typed into the toolkit's own chooser once it holds the focus.
    // The ticks only look; they never wait, so the chooser runs meanwhile.
    ::testing::AssertionResult OpenWithChooser(const fs::path& file) {
        const CString project(file.string());
        ModalWatch modal;
        wxTimer typist;
        bool typed = false;
        typist.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
            if (!modal.shown || !HasFocus(*modal.shown)) return;
            typist.Stop();
            typed = true;
            Keys("key ctrl+l");
            // The X server hands the keys on in order: Return comes after the whole path.
            Keys("type --delay 2 '" + file.string() + "'");
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
        if (!WaitForFocus(*frame)) return ::testing::AssertionFailure() << "the main window never got the focus";
        rescue.StartOnce(90000);
        typist.Start(100);
        Keys("key ctrl+o");
        const bool opened = WaitUntil([&] { return view->m_strProjectFile == project; }, 120);
        if (opened) return ::testing::AssertionSuccess();
        std::system(("import -window root '" + std::string(KORVANE_BUILD_DIR) + "/screenshots/keyboard_only_failure.png'").c_str());
        return ::testing::AssertionFailure() << (typed ? "the chooser did not open the typed path" : "the chooser never came up with the focus");
    }
    // Types `keys` once the main window holds the X focus again and the toolkit has taken
    // it in: right after a chooser or a progress window closes, the window manager may not
    // yet have handed it back. A key typed then must work; it is typed once.
    ::testing::AssertionResult Type(const char* keys, const std::function<bool()>& done) {
        if (!WaitForFocus(*frame)) return ::testing::AssertionFailure() << "the main window never got the focus back before " << keys;
        Keys(keys);
        if (!WaitUntil(done, 60)) return ::testing::AssertionFailure() << keys << " was not heard";
        return ::testing::AssertionSuccess();
    }
    pid_t m_wm = -1;
    CVirtualWaveOut card;
    CManualWaveOutDispatcher reports;
};

TEST_F(KeyboardOnly, AfterTheRealChooserCtrlOF6SpaceAndEnterWorkAtOnce) {
    ASSERT_TRUE(OpenWithChooser(root / "book" / "Korvane.ncc"));
    ASSERT_EQ(view->m_lstSection.GetCount(), 1);
    // Nothing had the focus before: the section list has it now, in GTK's own record too,
    // without which no key reaches the window.
    wxWindow* list = view->m_listSection->GetWindow();
    void* const gtkFocus = gtk_window_get_focus(frame->GetHandle());
    EXPECT_TRUE(gtkFocus && gtk_widget_is_ancestor(gtkFocus, list->GetHandle()));
    auto listHasFocus = [list] {
        wxWindow* focus = wxWindow::FindFocus();
        return focus && (focus == list || focus->GetParent() == list);
    };
    EXPECT_TRUE(WaitUntil(listHasFocus));

    // F6 asks for the build (answered No), Enter opens the properties of the row, Ctrl+O
    // opens the chooser again (cancelled) and Space plays.
    auto script = std::make_unique<CUiScript>();
    script->AnswerBox(IDNO).AnswerDialog(IDCANCEL).CancelFile();
    ASSERT_TRUE(Type("key F6", [&] { return script->Records().size() >= 1; }));
    ASSERT_TRUE(Type("key Return", [&] { return script->Records().size() >= 2; }));
    ASSERT_TRUE(Type("key ctrl+o", [&] { return script->Records().size() >= 3; }));
    ASSERT_TRUE(Type("key space", [&] { return card.OpenDevices() == 1; }));
    ASSERT_EQ(script->Records().size(), 3u);
    EXPECT_EQ(script->Records()[0].text, "Daisy図書を生成しますか？");
    EXPECT_EQ(script->Records()[1].caption, "セクションプロパティ");
    EXPECT_EQ(script->Records()[2].kind, CUiKind::File);
}

// Tab walks the form's controls in their order, as a dialog's keys do, and wraps around;
// Shift+Tab walks back, after every way a book comes into a window just started, whatever
// windows came and went on the way. Stopping playback on the key must not pull the focus
// back to the list the user worked in.
TEST_F(KeyboardOnly, TabWalksTheControlsInOrderAndShiftTabWalksBack) {
    const std::string daisyBook = std::string(KORVANE_SHARED_DIR) + "/daisy202/books/dontworrybehappy/ncc.html";
    CSingleInstance running;
    const struct {
        const char* way;
        std::function<void()> bring;
    } ways[] = {
        {"an open", [] {}},
        {"an open over another", [&] { ASSERT_TRUE(OpenWithChooser(root / "other" / "Korvane.ncc")); }},
        {"a new project", [&] { NewProject(0, root / "new"); }},
        {"a DAISY import", [&] {
             CUiScript script;
             script.AnswerDialog([&](wxDialog& dlg) {
                 wxStaticCast(dlg.FindWindow(1099), wxTextCtrl)->ChangeValue(wxString::FromUTF8(daisyBook));
                 CUiScript::ClickButton(dlg, wxID_OK);
                 return IDOK;
             });
             script.AnswerBox(IDNO);
             view->m_strExeFolder = CString(KORVANE_BUILD_DIR "/");  // the priming streams
             frame->RunMenuCommand(ID_DAISY_IMPORT);
             ASSERT_GT(view->m_lstSection.GetCount(), 1);
         }},
        // A second start says that one runs already; Enter on its notice hands over to
        // this one, which comes to the front with the focus where the user left it: on a
        // button, and Shift+Tab goes back to the list from there.
        {"a second start", [&] {
             Keys("key Tab");
             ASSERT_TRUE(WaitUntil([&] { return wxWindow::FindFocus() == view->m_btnLevelUp; }));
             const fs::path runtime = root / "run";
             fs::create_directories(runtime);
             const std::string before = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
             ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
             ASSERT_EQ(running.TryAcquire(g_strAppId), CSingleInstance::Result::Acquired);
             // The program raises its window from inside its running event loop.
             ASSERT_TRUE(running.Listen([&] { CKorvaneApp::RaiseMainWindow(frame); }, [](std::function<void()> raise) {
                 wxTheApp->CallAfter([raise] {
                     wxGUIEventLoop loop;
                     wxEventLoopActivator active(&loop);
                     raise();
                 });
             }));
             const pid_t second = ::fork();
             if (second == 0) {
                 ::execl(KORVANE_BUILD_DIR "/korvane", "korvane", static_cast<char*>(nullptr));
                 ::_exit(127);
             }
             before.empty() ? ::unsetenv("XDG_RUNTIME_DIR") : ::setenv("XDG_RUNTIME_DIR", before.c_str(), 1);
             const bool noticed = WaitUntil([] {
                 const unsigned long box = XWindowFor("search --onlyvisible --name '^Korvane$'");
                 return box != 0 && XFocus() == box;
             }, 60);
             if (noticed) Keys("key Return");
             int status = -1;
             if (!WaitUntil([&] { return ::waitpid(second, &status, WNOHANG) == second; }, 60)) {
                 ::kill(second, SIGKILL);
                 ::waitpid(second, &status, 0);
             }
             ASSERT_TRUE(noticed && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the second start ended with " << status;
             ASSERT_TRUE(WaitForFocus(*frame));
             Keys("key shift+Tab");
         }},
    };
    for (const auto& row : ways) {
        if (&row != ways) Restart();
        ASSERT_TRUE(OpenWithChooser(root / "book" / "Korvane.ncc")) << row.way;
        row.bring();
        if (HasFatalFailure()) return;
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
        ASSERT_TRUE(WaitForFocus(*frame)) << "after " << row.way << " the main window never got the focus";
        ASSERT_TRUE(WaitUntil([&] { return focused() == sections; })) << "after " << row.way << " the focus is on " << name(focused());
        // Once round and one more forwards, as far back; then, with the buttons disabled (as
        // before a project is open), Tab goes from list to list.
        const size_t n = order.size();
        std::vector<wxWindow*> forwards, backwards;
        for (size_t press = 1; press <= n + 1; ++press) {
            forwards.push_back(order[press % n]);
            backwards.push_back(order[(n + 1 - press) % n]);
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
        [&] {  // a walk gone astray ends this row's walks
            for (const auto& walk : walks) {
                if (!walk.buttons) view->DisableButtons();
                for (size_t press = 0; press < walk.visits.size(); ++press) {
                    Keys(walk.key);
                    wxWindow* const expected = walk.visits[press];
                    if (!WaitUntil([&] { return focused() == expected; }, 20))
                        return ADD_FAILURE() << "after " << row.way << ", " << walk.key << " number " << press + 1
                                             << " left the focus on " << name(focused()) << " instead of " << name(expected);
                }
            }
        }();
    }
}

}  // namespace
