#pragma once
// The toolkit for window tests: started once per test program, on first use, so that
// test programs without windows never touch the display.

// Starts the toolkit with a plain application object; true when it is up. Needs a
// display (the window tests run under Xvfb).
bool EnsureWxApp();

// Lets the toolkit handle pending events for a while, as the main loop would.
void PumpEvents(int rounds = 20);
