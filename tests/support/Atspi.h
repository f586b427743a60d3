#pragma once
// What a screen reader gets, read through the accessibility bus by the system's Python
// and its AT-SPI bindings. The bus is private to the test: the test program starts itself
// again under its own session bus, so that the toolkit registers there from its start.

#include <functional>
#include <string>
#include <vector>

// Outside the private bus: runs the tests matching `filter` again under one, with their
// output in `output`, and returns true (the caller checks the output and ends). Inside it:
// returns false, and the caller does the test itself.
bool RerunUnderPrivateBus(const std::string& filter, std::string& output);

// Runs the Python `script` with `arguments` (bounded by `seconds`) and returns what it
// printed. Call it beside the toolkit's event loop (from a thread): the program must
// answer the bus meanwhile.
// `onLine` hears each line as it comes.
std::string RunAtspiScript(const char* script, const std::string& arguments, int seconds = 60,
                           const std::function<void(const std::string&)>& onLine = {});

// The lines of `output` that start with `key=`, without the key.
std::vector<std::string> AtspiValues(const std::string& output, const std::string& key);
