#pragma once
// How finished-buffer reports reach the user-interface thread. The devices post from
// whatever thread finished the buffer (PortAudio's writer, a test's pump); the
// dispatcher runs the report on the user-interface thread, one after the other, in
// the order posted.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

class IWaveOutDispatcher {
public:
    virtual ~IWaveOutDispatcher() = default;
    // Called from any thread; `task` runs later on the user-interface thread.
    virtual void Post(std::function<void()> task) = 0;
};

// The program's dispatcher: the application's event loop (CallAfter). Without a
// running application there is no user-interface thread, and reports are dropped.
class CWxWaveOutDispatcher : public IWaveOutDispatcher {
public:
    void Post(std::function<void()> task) override;
};

// Holds reports until the test runs them on its own thread.
class CManualWaveOutDispatcher : public IWaveOutDispatcher {
public:
    void Post(std::function<void()> task) override;
    // Runs what is posted, including what the tasks post themselves; how many ran.
    size_t Pump();
    // Waits up to `timeout` for something to be posted, then pumps; how many ran.
    size_t WaitAndPump(std::chrono::milliseconds timeout);
    size_t Pending() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_tasks;
};

// Null restores the application's dispatcher.
void SetWaveOutDispatcher(IWaveOutDispatcher* dispatcher);
IWaveOutDispatcher& GetWaveOutDispatcher();
