#pragma once
// Keys a dialog handles itself before the focused control sees them, as the original's
// dialogs do in PreTranslateMessage. GTK hands Enter to a focused drop-down (which
// opens) or button, and F-keys and arrows to whatever has the focus; the dialog's char
// hook runs first and restores the original order.

#include <functional>

class wxDialog;
class wxKeyEvent;

// Called with the virtual key (KeyMap.h) of every key press in the dialog; true when the
// dialog took the key, false to let the focused control have it.
using DialogKeyHandler = std::function<bool(int virtualKey, const wxKeyEvent& event)>;

// Installs `handler` as the dialog's key hook (one per dialog).
void BindDialogKeys(wxDialog& dlg, DialogKeyHandler handler);

// Enter as the original's dialog manager treats it: a focused push button is pressed,
// otherwise the default button (OK). True when Enter was taken.
bool PressButtonForEnter(wxDialog& dlg, int virtualKey);
