#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>

#include "platform/SingleInstance.h"

namespace {

const CString kAppId = "Brelloway Tolvane Korvane";
using Result = CSingleInstance::Result;

// A private runtime folder for one test.
class RuntimeFolder {
public:
    RuntimeFolder() {
        char pattern[] = "/tmp/kvsi.XXXXXX";
        m_path = ::mkdtemp(pattern);
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        m_hadOld = old != nullptr;
        if (old) m_old = old;
        ::setenv("XDG_RUNTIME_DIR", m_path.c_str(), 1);
    }
    ~RuntimeFolder() {
        if (m_hadOld) ::setenv("XDG_RUNTIME_DIR", m_old.c_str(), 1);
        else ::unsetenv("XDG_RUNTIME_DIR");
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path, m_old;
    bool m_hadOld = false;
};

// Counts raise requests; the test's stand-in for the user-interface thread runs them
// at once on the listener's thread.
class RaiseCounter {
public:
    std::function<void()> Callback() {
        return [this] {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_count;
            m_changed.notify_all();
        };
    }
    static CSingleInstance::Poster Direct() {
        return [](std::function<void()> fn) { fn(); };
    }
    // Waits for `count` requests; the bound only keeps a broken build from hanging.
    bool WaitFor(int count) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(20), [&] { return m_count >= count; });
    }
    int Count() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_count;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_count = 0;
};

// Runs `body` in a child process (forked while the test is single-threaded) and
// returns its pid; the child's exit status is what `body` returns.
pid_t Spawn(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    return pid;
}

int ExitStatus(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A second start: 0 when it found the lock taken and the running copy confirmed.
int SecondStart() {
    CSingleInstance second;
    if (second.TryAcquire(kAppId) != Result::AlreadyRunning) return 1;
    return second.AskRunningToRaise() ? 0 : 2;
}

}  // namespace

TEST(SingleInstance, LockAndSocketAreNamedFromTheIdInTheRuntimeFolder) {
    RuntimeFolder folder;
    CSingleInstance instance;
    ASSERT_EQ(instance.TryAcquire(kAppId), Result::Acquired);
    EXPECT_EQ(instance.LockPath(), folder.Path() + "/Brelloway_Tolvane_Korvane.lock");
    EXPECT_EQ(instance.SocketPath(), folder.Path() + "/Brelloway_Tolvane_Korvane.sock");
    EXPECT_TRUE(std::filesystem::is_socket(instance.SocketPath()));

    EXPECT_EQ(CSingleInstance::FileStem("../etc/passwd"), ".._etc_passwd");
    EXPECT_EQ(CSingleInstance::FileStem(".."), "_..");
    // "コ" is 83 52: its second byte is "R" but no letter of the id.
    EXPECT_EQ(CSingleInstance::FileStem("コルヴァン"), "_____");
}

TEST(SingleInstance, WithoutARuntimeFolderTheTempFolderHoldsOneLockPerUser) {
    RuntimeFolder folder;
    ::unsetenv("XDG_RUNTIME_DIR");
    const char* oldTmp = std::getenv("TMPDIR");
    const std::string savedTmp = oldTmp ? oldTmp : "";
    ::setenv("TMPDIR", folder.Path().c_str(), 1);
    CSingleInstance instance;
    EXPECT_EQ(instance.TryAcquire(kAppId), Result::Acquired);
    EXPECT_EQ(instance.LockPath(),
              folder.Path() + "/Brelloway_Tolvane_Korvane-" + std::to_string(::getuid()) + ".lock");
    instance.Release();
    if (oldTmp) ::setenv("TMPDIR", savedTmp.c_str(), 1);
    else ::unsetenv("TMPDIR");
}

TEST(SingleInstance, SecondProcessFindsTheLockAndRaisesTheFirst) {
    RuntimeFolder folder;
    CSingleInstance first;
    ASSERT_EQ(first.TryAcquire(kAppId), Result::Acquired);
    // The second start may come before the first listens: its request waits.
    const pid_t second = Spawn(SecondStart);
    RaiseCounter raises;
    ASSERT_TRUE(first.Listen(raises.Callback(), RaiseCounter::Direct()));
    EXPECT_EQ(ExitStatus(second), 0);
    EXPECT_TRUE(raises.WaitFor(1));
    EXPECT_EQ(raises.Count(), 1);
}

TEST(SingleInstance, ANewStartSucceedsAfterTheFirstReleases) {
    RuntimeFolder folder;
    CSingleInstance first, next;
    ASSERT_EQ(first.TryAcquire(kAppId), Result::Acquired);
    EXPECT_EQ(next.TryAcquire(kAppId), Result::AlreadyRunning);
    EXPECT_FALSE(next.IsHeld());
    first.Release();
    EXPECT_FALSE(std::filesystem::exists(first.SocketPath()));
    // Asking a copy that has ended fails at once instead of waiting for it.
    EXPECT_FALSE(next.AskRunningToRaise());
    ASSERT_EQ(next.TryAcquire(kAppId), Result::Acquired);

    RaiseCounter raises;
    ASSERT_TRUE(next.Listen(raises.Callback(), RaiseCounter::Direct()));
    CSingleInstance third;
    ASSERT_EQ(third.TryAcquire(kAppId), Result::AlreadyRunning);
    EXPECT_TRUE(third.AskRunningToRaise());
    EXPECT_TRUE(raises.WaitFor(1));
}

TEST(SingleInstance, ACrashedCopyBlocksNothingAndItsSocketIsReplaced) {
    RuntimeFolder folder;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t crashed = Spawn([&] {
        CSingleInstance instance;
        const char state = instance.TryAcquire(kAppId) == Result::Acquired ? 'A' : 'X';
        (void)!::write(ready[1], &state, 1);
        ::pause();  // killed while holding the lock, its socket left behind
        return 0;
    });
    char state = 0;
    ASSERT_EQ(::read(ready[0], &state, 1), 1);
    ASSERT_EQ(state, 'A');
    CSingleInstance probe;
    EXPECT_EQ(probe.TryAcquire(kAppId), Result::AlreadyRunning);
    ::kill(crashed, SIGKILL);
    EXPECT_EQ(ExitStatus(crashed), 128 + SIGKILL);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(std::filesystem::exists(probe.SocketPath()));

    CSingleInstance fresh;
    ASSERT_EQ(fresh.TryAcquire(kAppId), Result::Acquired);
    const pid_t second = Spawn(SecondStart);
    RaiseCounter raises;
    ASSERT_TRUE(fresh.Listen(raises.Callback(), RaiseCounter::Direct()));
    EXPECT_EQ(ExitStatus(second), 0);
    EXPECT_TRUE(raises.WaitFor(1));
}

TEST(SingleInstance, AProgramTheRunningCopyStartsDoesNotInheritTheLock) {
    RuntimeFolder folder;
    int pidPipe[2], execPipe[2];
    ASSERT_EQ(::pipe(pidPipe), 0);
    // Closed on exec: end of file on it means the program has been started.
    ASSERT_EQ(::pipe2(execPipe, O_CLOEXEC), 0);
    // A copy that starts a long-running program and then ends without releasing.
    const pid_t copy = Spawn([&] {
        CSingleInstance instance;
        if (instance.TryAcquire(kAppId) != Result::Acquired) return 1;
        const pid_t program = ::fork();
        if (program == 0) {
            ::execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        (void)!::write(pidPipe[1], &program, sizeof program);
        ::_exit(0);
    });
    ::close(execPipe[1]);
    pid_t program = 0;
    ASSERT_EQ(::read(pidPipe[0], &program, sizeof program), static_cast<ssize_t>(sizeof program));
    EXPECT_EQ(ExitStatus(copy), 0);
    char byte;
    EXPECT_EQ(::read(execPipe[0], &byte, 1), 0);
    CSingleInstance next;
    EXPECT_EQ(next.TryAcquire(kAppId), Result::Acquired);
    ::kill(program, SIGKILL);
    ::close(pidPipe[0]);
    ::close(pidPipe[1]);
    ::close(execPipe[0]);
}

TEST(SingleInstance, OtherTrafficOnTheSocketRaisesNothing) {
    RuntimeFolder folder;
    CSingleInstance first;
    ASSERT_EQ(first.TryAcquire(kAppId), Result::Acquired);
    RaiseCounter raises;
    ASSERT_TRUE(first.Listen(raises.Callback(), RaiseCounter::Direct()));

    int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, first.SocketPath().c_str());
    ASSERT_EQ(::connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const char junk[] = "hello\n";
    ASSERT_EQ(::send(sock, junk, sizeof junk - 1, 0), static_cast<ssize_t>(sizeof junk - 1));
    char reply[8];
    EXPECT_EQ(::recv(sock, reply, sizeof reply, 0), 0);  // closed without an answer
    ::close(sock);

    CSingleInstance second;
    ASSERT_EQ(second.TryAcquire(kAppId), Result::AlreadyRunning);
    EXPECT_TRUE(second.AskRunningToRaise());
    EXPECT_TRUE(raises.WaitFor(1));
    EXPECT_EQ(raises.Count(), 1);
}

TEST(SingleInstance, ListenNeedsTheLock) {
    RuntimeFolder folder;
    CSingleInstance first, second;
    ASSERT_EQ(first.TryAcquire(kAppId), Result::Acquired);
    ASSERT_EQ(second.TryAcquire(kAppId), Result::AlreadyRunning);
    EXPECT_FALSE(second.Listen([] {}, RaiseCounter::Direct()));
}
