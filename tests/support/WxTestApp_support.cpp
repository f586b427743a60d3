#include "WxTestApp.h"

#include <wx/app.h>
#include <wx/init.h>
#include <wx/utils.h>

bool EnsureWxApp() {
    static const bool started = [] {
        wxApp::SetInstance(new wxApp);
        static int argc = 1;
        static char arg0[] = "korvane-test";
        static char* argv[] = {arg0, nullptr};
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
