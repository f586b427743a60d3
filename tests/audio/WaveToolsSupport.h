#pragma once
// Running the peer tools (sox, soxi) from the peer tests.

#include <string>

namespace wavetest {

// Runs `command` through the shell; its standard output goes to `output`. True when it
// exits with 0.
bool RunCommand(const std::string& command, std::string& output);
bool HaveTool(const std::string& name);
// Without trailing line ends and spaces.
std::string Trim(std::string text);

}  // namespace wavetest
