#pragma once
// The toolkit for window tests: started once per test program, on first use, so that
// test programs without windows never touch the display.

#include <functional>

class wxWindow;

// Starts the toolkit with a plain application object; true when it is up. Needs a
// display (the window tests run under Xvfb).
bool EnsureWxApp();

// Lets the toolkit handle pending events for a while, as the main loop would.
void PumpEvents(int rounds = 20);

// Lets the toolkit handle events, as the main loop would, until `done` holds or `seconds`
// have passed; whether it holds. What the window system does in its own time (drawing,
// focus, keys from the X server) is waited for this way: a loaded machine can take
// seconds where an idle one takes milliseconds.
bool WaitUntil(const std::function<bool()>& done, double seconds = 30);

// Waits until the toolkit draws `window` after the call, which it does once the window is
// shown, sized and on the screen.
bool WaitUntilPainted(wxWindow& window, double seconds = 30);

// Waits until the top-level window `window`, closed or destroyed, is gone: the toolkit
// deletes such windows once it is idle. The pointer is only compared, never used.
bool WaitUntilGone(const wxWindow* window, double seconds = 30);

// Runs what the program left for later (calls after the current event, posted events)
// until nothing of it is left, that queued again included.
bool RunQueuedEvents(double seconds = 30);
