#pragma once
// One running copy of the program. The first start holds an exclusive lock on a file
// named by the application id in $XDG_RUNTIME_DIR (the temp folder, with the user id
// in the name, when that is unset); the system drops the lock when the process ends in
// any way, so a crashed copy never blocks the next start. Beside the lock the holder
// listens on a local socket; a second start connects there and asks it to raise its
// main window.

#include <functional>
#include <string>
#include <thread>

#include "platform/CString.h"

class CSingleInstance {
public:
    enum class Result {
        Acquired,        // this process is the running copy
        AlreadyRunning,  // another process holds the lock
        Failed,          // the lock file cannot be made (no usable folder)
    };
    // Hands a request to the user-interface thread.
    using Poster = std::function<void(std::function<void()>)>;

    CSingleInstance() = default;
    ~CSingleInstance() { Release(); }
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // Takes the lock for `appId`. On success the socket already accepts requests, which
    // wait until Listen runs.
    Result TryAcquire(const CString& appId);

    // After AlreadyRunning: asks the running copy to raise its window. True when it
    // confirmed; false when it could not be reached (or has ended meanwhile).
    bool AskRunningToRaise();

    // The running copy: calls `onRaise` for each request, on the user-interface thread
    // (through `post`; by default the application's CallAfter). False without a socket.
    bool Listen(std::function<void()> onRaise, Poster post = {});

    // Stops listening, removes the socket and drops the lock. Call it before the
    // application object goes (the listener posts to it).
    void Release();

    bool IsHeld() const { return m_lockFd >= 0; }
    const std::string& LockPath() const { return m_lockPath; }
    const std::string& SocketPath() const { return m_socketPath; }

    // File name stem for an id: letters, digits, '.', '-' and '_' kept, the rest '_'.
    static std::string FileStem(const CString& appId);

private:
    void StopListening();

    std::string m_lockPath;
    std::string m_socketPath;
    int m_lockFd = -1;
    int m_listenFd = -1;
    int m_wakeFds[2] = {-1, -1};
    std::thread m_listener;
};
