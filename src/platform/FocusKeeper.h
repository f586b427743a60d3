#pragma once
// Keyboard focus across a modal window. GTK leaves the main window without a focused
// control after a dialog, box or chooser closes, and then no key reaches the window's
// key hook (no accelerator works) until the user presses Tab or clicks. The keeper notes
// the control that had the focus and gives it back when the modal window is gone, and
// once more after the window manager has activated the window again.

#include <functional>

#include <wx/weakref.h>
#include <wx/window.h>

class CFocusKeeper {
public:
    CFocusKeeper();
    ~CFocusKeeper();
    CFocusKeeper(const CFocusKeeper&) = delete;
    CFocusKeeper& operator=(const CFocusKeeper&) = delete;

    // Where the focus goes when no control had it before: the main view registers its
    // section list. `owner` identifies the registration; Clear only removes its own.
    static void SetFallback(wxWindow* owner, std::function<wxWindow*()> fallback);
    static void ClearFallback(wxWindow* owner);

    // Gives `target` the focus when no control of its window has it, in GTK's own record:
    // a control the user left focused keeps it.
    static void FocusIfNone(wxWindow* target);

private:
    wxWeakRef<wxWindow> m_focus;
};
