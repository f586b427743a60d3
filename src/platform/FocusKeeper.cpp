#include "platform/FocusKeeper.h"

#include <wx/app.h>

namespace {

struct Fallback {
    wxWindow* owner = nullptr;
    std::function<wxWindow*()> find;
};

Fallback& TheFallback() {
    static Fallback fallback;
    return fallback;
}

}  // namespace

void CFocusKeeper::SetFallback(wxWindow* owner, std::function<wxWindow*()> fallback) {
    TheFallback() = {owner, std::move(fallback)};
}

void CFocusKeeper::ClearFallback(wxWindow* owner) {
    if (TheFallback().owner == owner) TheFallback() = {};
}

CFocusKeeper::CFocusKeeper() {
    wxWindow* focus = wxWindow::FindFocus();
    if (!focus && TheFallback().find) focus = TheFallback().find();
    m_focus = focus;
}

CFocusKeeper::~CFocusKeeper() {
    if (!m_focus || !wxTheApp) return;
    wxWindow* target = m_focus.get();
    if (target->IsShownOnScreen() && target->IsEnabled()) target->SetFocus();
    // The window manager activates the main window again only after the modal window is
    // gone, and the activation may put the focus nowhere: try once more then, unless the
    // user has moved it somewhere meanwhile.
    wxWeakRef<wxWindow> again = target;
    wxTheApp->CallAfter([again] {
        if (again && !wxWindow::FindFocus() && again->IsShownOnScreen() && again->IsEnabled()) again->SetFocus();
    });
}
