#include "WxTestApp.h"

#include <gtest/gtest.h>

#include <chrono>

#include <wx/app.h>
#include <wx/init.h>
#include <wx/toplevel.h>
#include <wx/utils.h>
#include <wx/window.h>

bool EnsureWxApp() {
    static const bool started = [] {
        wxApp::SetInstance(new wxApp);
        static int argc = 1;
        static char arg0[] = "korvane-test";
        static char* argv[] = {arg0, nullptr};
        // A toolkit assertion fails the test; its dialog would wait for a person forever.
        wxSetAssertHandler([](const wxString& file, int line, const wxString& func, const wxString& cond,
                              const wxString& msg) {
            ADD_FAILURE() << "toolkit assertion " << cond.utf8_str().data() << " " << msg.utf8_str().data() << " at "
                          << file.utf8_str().data() << ":" << line << " in " << func.utf8_str().data();
        });
        return wxEntryStart(argc, argv) && wxTheApp->CallOnInit();
    }();
    return started;
}

void PumpEvents(int rounds) {
    for (int i = 0; i < rounds; ++i) {
        wxTheApp->ProcessPendingEvents();
        wxTheApp->Yield(true);
        wxMilliSleep(10);
    }
}

bool WaitUntil(const std::function<bool()>& done, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        PumpEvents(1);
    }
    return true;
}

bool WaitUntilPainted(wxWindow& window, double seconds) {
    bool painted = false;
    const auto note = [&painted](wxPaintEvent& event) {
        painted = true;
        event.Skip();
    };
    window.Bind(wxEVT_PAINT, note);
    window.Refresh();
    const bool done = WaitUntil([&] { return painted; }, seconds);
    window.Unbind(wxEVT_PAINT, note);
    return done;
}

bool WaitUntilGone(const wxWindow* window, double seconds) {
    return WaitUntil([window] { return wxTopLevelWindows.Find(window) == nullptr; }, seconds);
}

bool RunQueuedEvents(double seconds) {
    return WaitUntil([] { return !wxTheApp->HasPendingEvents(); }, seconds);
}
