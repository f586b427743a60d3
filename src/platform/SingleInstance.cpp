#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <wx/app.h>

namespace {

constexpr char kRaiseRequest[] = "raise\n";
constexpr char kRaiseReply[] = "ok\n";

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

bool IsDirectory(const char* path) {
    struct stat st{};
    return path && *path && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder for the lock and the socket, and whether it is private to this user.
std::string RuntimeFolder(bool& privateFolder) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && IsDirectory(runtime)) {
        privateFolder = true;
        return runtime;
    }
    privateFolder = false;
    std::error_code ec;
    std::string temp = std::filesystem::temp_directory_path(ec).string();
    return ec || temp.empty() ? std::string("/tmp") : temp;
}

bool MakeAddress(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

void SetTimeouts(int fd, int seconds) {
    timeval tv{};
    tv.tv_sec = seconds;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

// Reads one line of at most `size` - 1 bytes; false on end or time-out before '\n'.
bool ReadLine(int fd, char* buf, size_t size) {
    size_t used = 0;
    while (used + 1 < size) {
        ssize_t n = ::recv(fd, buf + used, size - 1 - used, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        used += static_cast<size_t>(n);
        buf[used] = '\0';
        if (std::memchr(buf, '\n', used)) return true;
    }
    return false;
}

bool SendAll(int fd, const char* text) {
    size_t left = std::strlen(text);
    while (left > 0) {
        ssize_t n = ::send(fd, text, left, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// True when nobody holds the lock at `path` (checked by taking and dropping it).
bool LockIsFree(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return errno == ENOENT;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);  // drops the lock if it was taken
    return free;
}

// Answers one connection; true when it asked for a raise.
bool ServeRequest(int conn) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(conn, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::getuid()) return false;
    SetTimeouts(conn, 1);
    char buf[64];
    if (!ReadLine(conn, buf, sizeof buf) || std::strcmp(buf, kRaiseRequest) != 0) return false;
    SendAll(conn, kRaiseReply);
    return true;
}

}  // namespace

std::string CSingleInstance::FileStem(const CString& appId) {
    std::string stem;
    const std::string& id = appId.str();
    for (size_t i = 0; i < id.size(); ++i) {
        const char c = id[i];
        // A double-byte character is one '_' (its second byte may look like a letter).
        if (CString::IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < id.size()) ++i;
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          c == '.' || c == '-' || c == '_';
        stem += keep ? c : '_';
    }
    // "." and ".." would name folders.
    if (stem.find_first_not_of('.') == std::string::npos) stem.insert(stem.begin(), '_');
    return stem;
}

CSingleInstance::Result CSingleInstance::TryAcquire(const CString& appId) {
    Release();
    bool privateFolder = false;
    std::string base = RuntimeFolder(privateFolder) + "/" + FileStem(appId);
    // A shared temp folder: one lock per user, so another user's copy blocks nothing.
    if (!privateFolder) base.append("-").append(std::to_string(::getuid()));
    m_lockPath = base + ".lock";
    m_socketPath = base + ".sock";

    // Close-on-exec: a program we start must not inherit the lock and outlive us with it.
    int fd = ::open(m_lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return Result::Failed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? Result::AlreadyRunning : Result::Failed;
    }
    m_lockFd = fd;

    // Only the lock holder touches the socket, so a socket file left by a crashed copy
    // can be replaced. Without a socket the program still runs alone; it just cannot be
    // raised by a second start.
    sockaddr_un addr;
    if (MakeAddress(m_socketPath, addr)) {
        int sock = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (sock >= 0) {
            ::unlink(m_socketPath.c_str());
            if (::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                ::chmod(m_socketPath.c_str(), 0600) == 0 && ::listen(sock, 8) == 0) {
                m_listenFd = sock;
            } else {
                ::close(sock);
            }
        }
    }
    return Result::Acquired;
}

bool CSingleInstance::AskRunningToRaise() {
    sockaddr_un addr;
    if (m_socketPath.empty() || IsHeld() || !MakeAddress(m_socketPath, addr)) return false;
    // The running copy may be between taking its lock and opening its socket: wait for
    // it briefly, unless it has ended.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int sock = -1;
    for (;;) {
        sock = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (sock < 0) return false;
        if (::connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) break;
        const int err = errno;
        CloseFd(sock);
        if (err != ENOENT && err != ECONNREFUSED) return false;
        if (LockIsFree(m_lockPath) || std::chrono::steady_clock::now() >= deadline) return false;
        ::usleep(50 * 1000);
    }
    // Requests wait in the socket until the running copy's user-interface is up.
    SetTimeouts(sock, 5);
    char reply[16];
    const bool ok = SendAll(sock, kRaiseRequest) && ReadLine(sock, reply, sizeof reply) &&
                    std::strcmp(reply, kRaiseReply) == 0;
    ::close(sock);
    return ok;
}

bool CSingleInstance::Listen(std::function<void()> onRaise, Poster post) {
    StopListening();
    if (m_listenFd < 0 || !onRaise) return false;
    if (!post) {
        post = [](std::function<void()> fn) {
            if (wxTheApp) wxTheApp->CallAfter(fn);
        };
    }
    if (::pipe2(m_wakeFds, O_CLOEXEC) != 0) {
        m_wakeFds[0] = m_wakeFds[1] = -1;
        return false;
    }
    m_listener = std::thread([listenFd = m_listenFd, wakeFd = m_wakeFds[0], onRaise = std::move(onRaise),
                              post = std::move(post)] {
        for (;;) {
            pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents) return;
            if (!(fds[0].revents & POLLIN)) continue;
            int conn = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (conn < 0) continue;
            const bool raise = ServeRequest(conn);
            ::close(conn);
            if (raise) post(onRaise);
        }
    });
    return true;
}

void CSingleInstance::StopListening() {
    if (m_listener.joinable()) {
        const char stop = 'x';
        (void)!::write(m_wakeFds[1], &stop, 1);
        m_listener.join();
    }
    CloseFd(m_wakeFds[0]);
    CloseFd(m_wakeFds[1]);
}

void CSingleInstance::Release() {
    StopListening();
    if (m_listenFd >= 0) {
        CloseFd(m_listenFd);
        ::unlink(m_socketPath.c_str());
    }
    // The lock file stays: removing it would let a start that opened it just before
    // lock an orphan while a later start locks a new file.
    if (m_lockFd >= 0) {
        ::flock(m_lockFd, LOCK_UN);
        CloseFd(m_lockFd);
    }
}
