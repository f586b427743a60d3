#include "Accessibility.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "WxTestApp.h"

bool OnPrivateAccessibilityBus() {
    if (std::getenv("KORVANE_PRIVATE_BUS")) return true;
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    // From the root: an earlier test may have left this program in a folder it removed.
    const std::string command = "cd / && KORVANE_PRIVATE_BUS=1 timeout 280 dbus-run-session -- '" + self +
                                "' --gtest_filter=" + test->test_suite_name() + "." + test->name() + " 2>&1";
    std::string output;
    FILE* child = ::popen(command.c_str(), "r");
    EXPECT_NE(child, nullptr);
    if (!child) return false;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, child)) > 0;) output.append(buffer, n);
    const int status = ::pclose(child);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
    return false;
}

namespace {

// What every script starts with: the bindings, and the helpers to find a process's
// application and walk its objects.
constexpr const char* kPrelude = R"PY(
import sys, time
import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib

def walk(node, depth=0):
    if node is None or depth > 20:
        return
    yield node
    for i in range(node.get_child_count()):
        yield from walk(node.get_child_at_index(i), depth + 1)

def application(pid):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_process_id() == pid:
            return app
    return None
)PY";

}  // namespace

std::string RunAccessibilityScript(const std::string& script, const std::vector<std::string>& args,
                                   const std::function<void(const std::string&)>& onLine) {
    const std::string text = std::string(kPrelude) + script;
    // The script goes through a file: it may hold any quote.
    char path[] = "/tmp/korvane-atspi-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return "no script file";
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    std::string output;
    if (written) {
        // The system's Python, which the distribution's bindings serve.
        std::string command = "timeout 120 /usr/bin/python3 -u " + std::string(path);
        for (const auto& a : args) command += " '" + a + "'";
        command += " 2>&1";
        if (FILE* p = ::popen(command.c_str(), "r")) {
            char buffer[8192];
            while (std::fgets(buffer, sizeof buffer, p)) {
                output += buffer;
                if (onLine) {
                    std::string line(buffer);
                    if (!line.empty() && line.back() == '\n') line.pop_back();
                    onLine(line);
                }
            }
            ::pclose(p);
        }
    }
    std::filesystem::remove(path);
    return output;
}

std::string RunAccessibilityScriptPumping(const std::string& script, const std::vector<std::string>& args) {
    std::string output;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        output = RunAccessibilityScript(script, args);
        done = true;
    });
    WaitUntil([&] { return done.load(); }, 150);
    reader.join();
    return output;
}

std::vector<std::string> AccessibilityValues(const std::string& output, const std::string& key) {
    std::vector<std::string> values;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        if (line == key || line.rfind(key + "=", 0) == 0)
            values.push_back(line.substr(std::min(line.size(), key.size() + 1)));
    return values;
}
