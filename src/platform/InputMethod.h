#pragma once
// Control of the input method of a text field or list. The original platform lets a
// program open a field's input method in full-width native conversion, close it, or
// detach it from a control; GTK offers no such control, so these do nothing here and
// the input method stays as the user left it. The calls stay at the places where the
// program makes them, so that a platform with such control can fill them in.

class wxWindow;

// Opens the input method of `window` in full-width native conversion, adding roman
// input when the user had it on; the sentence mode stays as it was.
void OpenInputMethodNative(wxWindow* window);

// Closes the input method of `window` (fields that take Latin letters and digits).
void CloseInputMethod(wxWindow* window);

// Detaches the input method from `window`, so that typed keys reach the program as
// commands (the lists, some combo boxes and fields).
void DetachInputMethod(wxWindow* window);
