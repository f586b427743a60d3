#pragma once
// The name a screen reader speaks for a control. The toolkit's SetName names the widget
// for programs, not for the accessibility bus; controls that show no text of their own
// (a progress bar) are named here.

#include "platform/CString.h"

class wxWindow;

void SetAccessibleName(wxWindow& window, const CString& name);
