#include "WxTestApp.h"

#include <gtest/gtest.h>

#include <chrono>

#include <wx/app.h>
#include <wx/init.h>
#include <wx/utils.h>

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
