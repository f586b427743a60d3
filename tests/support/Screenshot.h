#pragma once
// Pictures of windows for a person to look at, kept under build/screenshots/.

#include <string>

class wxWindow;

// Shows `window` in front, lets it draw, and saves what the screen shows of it as
// build/screenshots/<name>.png. True when the file was written and is not empty.
bool SaveScreenshot(wxWindow& window, const std::string& name);
