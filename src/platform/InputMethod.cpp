#include "platform/InputMethod.h"

void OpenInputMethodNative(wxWindow*) {}

void CloseInputMethod(wxWindow*) {}

void DetachInputMethod(wxWindow*) {}
