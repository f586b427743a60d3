#pragma once
// The menu bar and the accelerator table of the main window.

#include <vector>

class wxMenuBar;

wxMenuBar* CreateMainMenu();

// Command ids and the ids of the menu items that carry them.
int WxIdFromCommand(int command);
int CommandFromWxId(int wxId);

struct CAccelerator {
    bool ctrl;
    bool shift;
    int virtualKey;
    int command;
};

// Every key that a menu caption names, bound to its command.
const std::vector<CAccelerator>& MainAccelerators();

// The command bound to a key with these modifiers; 0 when none.
int FindAccelerator(int virtualKey, bool ctrl, bool shift, bool alt);
