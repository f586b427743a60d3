#pragma once
// Reading what a screen reader gets through the accessibility bus (AT-SPI), with the
// system's Python and its bindings (python3-gi, gir1.2-atspi-2.0).

#include <functional>
#include <string>
#include <vector>

// True when this test program runs on a bus of its own. Otherwise runs the current test
// again in a child program under a private session bus (so that the toolkit registers
// there from its start), expects it to pass, and returns false: the caller then returns.
bool OnPrivateAccessibilityBus();

// Runs the Python `script` with `args` and returns what it printed (errors included).
// The script finds Atspi and GLib imported, `walk(node)` (the node and all below it) and
// `application(pid)` (the process's application object, or None) defined.
// Blocks; while it runs, the toolkit's event loop must go on answering the bus, so call
// it from a thread beside the loop or through RunAccessibilityScriptPumping. `onLine`
// hears each line as the script prints it.
std::string RunAccessibilityScript(const std::string& script, const std::vector<std::string>& args,
                                   const std::function<void(const std::string&)>& onLine = {});

// Runs the script beside the toolkit's event loop, which it pumps until the script ends.
std::string RunAccessibilityScriptPumping(const std::string& script, const std::vector<std::string>& args);

// Lines of `output` that start with `key=`, without the key (a line that is `key` alone
// gives an empty value).
std::vector<std::string> AccessibilityValues(const std::string& output, const std::string& key);
