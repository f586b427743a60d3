// The program at rest: the real program on a virtual X server of its own under a window
// manager, a project of 200 sections opened through the file chooser as a user would, then
// the processor time it takes over 30 s without input. Needs Xvfb, openbox and xdotool.

#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/KorvaneView.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr double kIdleSeconds = 30;

bool Have(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null").c_str()) == 0; }

// A child process with the given environment; ended (and waited for) with its owner.
class Child {
public:
    Child(std::vector<std::string> args, const std::vector<std::pair<std::string, std::string>>& env) {
        m_pid = ::fork();
        if (m_pid != 0) return;
        ::setsid();
        for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ~Child() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    pid_t Pid() const { return m_pid; }
    bool Running() {
        if (m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) != 0) m_pid = -1;
        return m_pid > 0;
    }

private:
    pid_t m_pid = -1;
};

// Processor seconds (user and system) the process has taken so far.
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    // The fields after the command name, which may hold spaces, start at its ")".
    std::string rest = line.substr(line.rfind(')') + 2);
    std::vector<std::string> fields;
    for (size_t at = 0, next; at < rest.size(); at = next + 1) {
        next = rest.find(' ', at);
        if (next == std::string::npos) next = rest.size();
        fields.push_back(rest.substr(at, next - at));
    }
    // utime and stime are the 14th and 15th fields of the line (11th and 12th here).
    if (fields.size() < 13) return 0;
    return (std::stod(fields[11]) + std::stod(fields[12])) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// Runs the shell command until it succeeds, for at most `seconds`.
bool WaitFor(const std::string& command, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::system(command.c_str()) != 0) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(100ms);
    }
    return true;
}

// A saved project of 200 sections of 20 phrases in `dir` (no recordings: nothing plays).
void MakeProject(const fs::path& dir) {
    fs::create_directories(dir);
    CKorvaneView view;
    view.m_strProjectFolder = CString(dir.string());
    view.m_strProjectFile = view.m_strProjectFolder + "/Korvane.ncc";
    view.SetProjectFormat(2);
    view.m_lstSection.RemoveAll();
    for (int s = 0; s < 200; ++s) {
        auto* section = view.m_lstSection.Add(std::make_unique<CSectionInformation>());
        section->m_strHeading = CString::Formatted("第%d章", s + 1);
        for (int p = 0; p < 20; ++p) {
            auto* phrase = section->m_lstPhrase.Add(std::make_unique<CPhraseInformation>());
            phrase->m_nStart = static_cast<uint32_t>(p) * 88200u;
            phrase->m_nLength = 80000;
            phrase->m_strFileName = CString::Formatted("A%06d.wav", s + 1);
            phrase->m_nBytesPerSec = 88200;
        }
    }
    view.SaveProject();
}

void BM_IdleWithProjectOpen(benchmark::State& state) {
    if (!Have("Xvfb") || !Have("xdotool") || !Have("openbox")) {
        state.SkipWithError("Xvfb, xdotool and openbox are needed");
        return;
    }
    const fs::path work = fs::temp_directory_path() / ("korvane-idle-" + std::to_string(::getpid()));
    struct Remove {
        fs::path dir;
        ~Remove() {
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
    } remove{work};
    fs::create_directories(work / "config");
    fs::create_directories(work / "run");
    fs::permissions(work / "run", fs::perms::owner_all);
    MakeProject(work / "book");
    const std::string project = (work / "book" / "Korvane.ncc").string();

    // The server writes the number of the display it found free into the pipe.
    int fds[2];
    if (::pipe(fds) != 0) return state.SkipWithError("no pipe");
    Child server({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, {});
    ::close(fds[1]);
    char number[16] = {};
    const ssize_t got = ::read(fds[0], number, sizeof number - 1);
    ::close(fds[0]);
    if (got <= 0) return state.SkipWithError("Xvfb did not start");
    const std::string display = ":" + std::string(number).substr(0, std::string(number).find('\n'));
    ::setenv("DISPLAY", display.c_str(), 1);
    const std::vector<std::pair<std::string, std::string>> env = {
        {"DISPLAY", display}, {"HOME", work.string()}, {"XDG_CONFIG_HOME", (work / "config").string()},
        {"XDG_RUNTIME_DIR", (work / "run").string()},
        // The chooser's settings would go to a configuration service that is not there.
        {"GSETTINGS_BACKEND", "memory"}};
    Child wm({"openbox", "--sm-disable"}, env);
    if (!WaitFor("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window", 60))
        return state.SkipWithError("the window manager did not start");
    Child program({KORVANE_PROGRAM}, env);
    if (!WaitFor("xdotool search --onlyvisible --name '^Tolvane Zavi$' windowactivate >/dev/null 2>&1", 120))
        return state.SkipWithError("the main window did not appear");
    std::system("xdotool key ctrl+o");
    // The chooser is the active window once the manager has given it the focus (a search
    // by its Japanese title finds nothing).
    if (!WaitFor("xdotool getactivewindow getwindowname 2>/dev/null | grep -q -v -x 'Tolvane Zavi'", 60))
        return state.SkipWithError("the file chooser did not appear");
    std::system(("xdotool key ctrl+l; xdotool type --delay 2 '" + project + "'").c_str());
    // Return may go to the completion of the typed path first.
    bool opened = false;
    for (int attempt = 0; attempt < 10 && !opened; ++attempt) {
        // Only into the chooser: in the main window Return opens a section's properties.
        std::system("xdotool getactivewindow getwindowname | grep -q -v '^Tolvane Zavi' && xdotool key Return");
        opened = WaitFor("xdotool search --onlyvisible --name '^Tolvane Zavi - ' >/dev/null 2>&1", 10);
    }
    if (!opened) return state.SkipWithError("the project did not open");
    // Whatever the opening left to do (the lists' first paint, the window manager's
    // moves) is over well within this.
    std::this_thread::sleep_for(5s);

    double cpu = 0;
    for (auto _ : state) {
        const double before = CpuSeconds(program.Pid());
        std::this_thread::sleep_for(std::chrono::duration<double>(kIdleSeconds));
        cpu = CpuSeconds(program.Pid()) - before;
        state.SetIterationTime(cpu);
    }
    if (!program.Running()) state.SkipWithError("the program ended");
    state.counters["cpu_s_per_30s"] = cpu;
    state.counters["core_percent"] = 100 * cpu / kIdleSeconds;
    std::fprintf(stderr, "idle with a project open: %.3f s of processor time in %.0f s, %.2f %% of a core\n", cpu,
                kIdleSeconds, 100 * cpu / kIdleSeconds);
}
BENCHMARK(BM_IdleWithProjectOpen)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

}  // namespace
