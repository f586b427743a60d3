#include "Atspi.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace {

std::string Run(const std::string& command, const std::function<void(const std::string&)>& onLine = {}) {
    std::string output;
    if (FILE* child = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, child)) {
            output += buffer;
            if (onLine) {
                std::string line(buffer);
                if (!line.empty() && line.back() == '\n') line.pop_back();
                onLine(line);
            }
        }
        if (::pclose(child) != 0) output += "\nexit status not 0\n";
    }
    return output;
}

}  // namespace

bool RerunUnderPrivateBus(const std::string& filter, std::string& output) {
    if (std::getenv("KORVANE_PRIVATE_BUS")) return false;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    output = Run("KORVANE_PRIVATE_BUS=1 timeout 300 dbus-run-session -- '" + self + "' --gtest_filter='" + filter +
                 "' 2>&1");
    return true;
}

std::string RunAtspiScript(const char* script, const std::string& arguments, int seconds,
                           const std::function<void(const std::string&)>& onLine) {
    // The system's Python, which the distribution's bindings serve.
    return Run("timeout " + std::to_string(seconds) + " /usr/bin/python3 -u -c '" + script + "' " + arguments + " 2>&1",
               onLine);
}

std::vector<std::string> AtspiValues(const std::string& output, const std::string& key) {
    std::vector<std::string> values;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        if (line == key || line.rfind(key + "=", 0) == 0) values.push_back(line.substr(std::min(line.size(), key.size() + 1)));
    return values;
}
