#include "platform/FocusKeeper.h"

#include <gtk/gtk.h>

#include <wx/app.h>
#include <wx/toplevel.h>

namespace {

struct Fallback {
    wxWindow* owner = nullptr;
    std::function<wxWindow*()> find;
};

Fallback& TheFallback() {
    static Fallback fallback;
    return fallback;
}

// Whether GTK itself has a focused control in the top-level window of `window`. The
// toolkit's own record can say otherwise: GTK drops the focus of a window that is disabled
// while it is not active (a progress window opened right after a chooser) without telling
// anyone, and the toolkit then still names the control that had it.
bool HasRealFocus(wxWindow* window) {
    wxWindow* top = wxGetTopLevelParent(window);
    return top && top->m_widget && GTK_IS_WINDOW(top->m_widget) &&
           gtk_window_get_focus(GTK_WINDOW(top->m_widget)) != nullptr;
}

// Gives `target` the focus, in GTK too. The toolkit refuses to focus the control it still
// believes focused, so then GTK is asked directly; its focus-in brings the toolkit's
// record up to date.
void GiveFocus(wxWindow* target) {
    target->SetFocus();
    if (HasRealFocus(target)) return;
    wxWindow* believed = wxWindow::FindFocus();
    wxWindow* control = believed && (believed == target || target->IsDescendant(believed)) ? believed : target;
    GtkWidget* widget = control->m_wxwindow ? control->m_wxwindow : control->m_focusWidget;
    if (!widget) widget = control->m_widget;
    if (!widget) return;
    // As the toolkit does: a container that takes no focus itself hands it to its first
    // control that does.
    if (GTK_IS_CONTAINER(widget) && !gtk_widget_get_can_focus(widget)) gtk_widget_child_focus(widget, GTK_DIR_TAB_FORWARD);
    else gtk_widget_grab_focus(widget);
}

}  // namespace

void CFocusKeeper::FocusIfNone(wxWindow* target) {
    if (target && !HasRealFocus(target) && target->IsShownOnScreen() && target->IsEnabled()) GiveFocus(target);
}

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
    if (target->IsShownOnScreen() && target->IsEnabled()) GiveFocus(target);
    // The window manager activates the main window again only after the modal window is
    // gone, and the activation may put the focus nowhere: try once more then, unless the
    // user has moved it somewhere meanwhile.
    wxWeakRef<wxWindow> again = target;
    wxTheApp->CallAfter([again] { FocusIfNone(again.get()); });
}
