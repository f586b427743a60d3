#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <functional>

#include "TempFolder.h"
#include "platform/SingleInstance.h"

namespace {

const CString kAppId = "Brelloway Tolvane Korvane";
using Result = CSingleInstance::Result;

// The test's folder is the runtime folder and the temp folder.
class SingleInstanceTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        ScopedEnv::Set("XDG_RUNTIME_DIR", root.c_str());
        ScopedEnv::Set("TMPDIR", root.c_str());
    }
    ScopedEnv m_runtime{"XDG_RUNTIME_DIR"}, m_temp{"TMPDIR"};
};

// Counts raise requests, which the listener's thread runs at once.
class RaiseCounter {
public:
    bool Listen(CSingleInstance& instance) {
        return instance.Listen([this] { ++m_count; }, [](std::function<void()> fn) { fn(); });
    }
    // True when exactly `count` requests came; the bound only keeps a broken build from hanging.
    bool Got(int count) {
        for (int i = 0; i < 2000 && m_count < count; ++i) ::usleep(10000);
        return m_count == count;
    }

private:
    std::atomic<int> m_count{0};
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

// The first copy listens after the second has started: its request waits for it.
void ExpectSecondProcessRaises(CSingleInstance& first) {
    const pid_t second = Spawn(SecondStart);
    RaiseCounter raises;
    ASSERT_TRUE(raises.Listen(first));
    EXPECT_EQ(ExitStatus(second), 0);
    EXPECT_TRUE(raises.Got(1));
}

}  // namespace

TEST_F(SingleInstanceTest, LockAndSocketAreNamedFromTheIdInTheRuntimeOrTempFolder) {
    CSingleInstance instance;
    ASSERT_EQ(instance.TryAcquire(kAppId), Result::Acquired);
    EXPECT_EQ(instance.LockPath(), root + "/Brelloway_Tolvane_Korvane.lock");
    EXPECT_EQ(instance.SocketPath(), root + "/Brelloway_Tolvane_Korvane.sock");
    EXPECT_TRUE(std::filesystem::is_socket(instance.SocketPath()));
    instance.Release();

    // Without a runtime folder the temp folder holds one lock per user.
    ScopedEnv::Set("XDG_RUNTIME_DIR", nullptr);
    EXPECT_EQ(instance.TryAcquire(kAppId), Result::Acquired);
    EXPECT_EQ(instance.LockPath(),
              root + "/Brelloway_Tolvane_Korvane-" + std::to_string(::getuid()) + ".lock");

    EXPECT_EQ(CSingleInstance::FileStem("../etc/passwd"), ".._etc_passwd");
    EXPECT_EQ(CSingleInstance::FileStem(".."), "_..");
    // "コ" is 83 52: its second byte is "R" but no letter of the id.
    EXPECT_EQ(CSingleInstance::FileStem("コルヴァン"), "_____");
}

TEST_F(SingleInstanceTest, SecondProcessFindsTheLockAndRaisesTheFirst) {
    CSingleInstance first;
    ASSERT_EQ(first.TryAcquire(kAppId), Result::Acquired);
    ExpectSecondProcessRaises(first);
}

TEST_F(SingleInstanceTest, ANewStartSucceedsAfterTheFirstReleases) {
    CSingleInstance first, next;
    ASSERT_EQ(first.TryAcquire(kAppId), Result::Acquired);
    EXPECT_EQ(next.TryAcquire(kAppId), Result::AlreadyRunning);
    EXPECT_FALSE(next.Listen([] {}, [](std::function<void()>) {}));  // listening needs the lock
    first.Release();
    EXPECT_FALSE(std::filesystem::exists(first.SocketPath()));
    // Asking a copy that has ended fails at once instead of waiting for it.
    EXPECT_FALSE(next.AskRunningToRaise());
    ASSERT_EQ(next.TryAcquire(kAppId), Result::Acquired);
    RaiseCounter raises;
    ASSERT_TRUE(raises.Listen(next));
    CSingleInstance third;
    ASSERT_EQ(third.TryAcquire(kAppId), Result::AlreadyRunning);
    EXPECT_TRUE(third.AskRunningToRaise());
    EXPECT_TRUE(raises.Got(1));
}

TEST_F(SingleInstanceTest, ACrashedCopyBlocksNothingAndItsSocketIsReplaced) {
    const pid_t crashed = Spawn([] {
        CSingleInstance instance;
        if (instance.TryAcquire(kAppId) != Result::Acquired) return 1;
        ::raise(SIGKILL);  // holding the lock, its socket left behind
        return 0;
    });
    ASSERT_EQ(ExitStatus(crashed), 128 + SIGKILL);
    EXPECT_TRUE(std::filesystem::exists(root + "/Brelloway_Tolvane_Korvane.sock"));
    CSingleInstance fresh;
    ASSERT_EQ(fresh.TryAcquire(kAppId), Result::Acquired);
    ExpectSecondProcessRaises(fresh);
}

TEST_F(SingleInstanceTest, AProgramTheRunningCopyStartsDoesNotInheritTheLock) {
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
    for (int fd : {pidPipe[0], pidPipe[1], execPipe[0]}) ::close(fd);
}
