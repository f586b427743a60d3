#include "platform/WaveOutDispatcher.h"

#include <atomic>

#include <wx/app.h>

namespace {
CWxWaveOutDispatcher g_wxDispatcher;
std::atomic<IWaveOutDispatcher*> g_dispatcher{&g_wxDispatcher};
}  // namespace

void CWxWaveOutDispatcher::Post(std::function<void()> task) {
    // QueueEvent, under CallAfter, may be called from any thread.
    if (wxAppConsole* app = wxAppConsole::GetInstance()) app->CallAfter(std::move(task));
}

void CManualWaveOutDispatcher::Post(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_posted.notify_all();
}

size_t CManualWaveOutDispatcher::Pump() {
    size_t ran = 0;
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_tasks.empty()) return ran;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        // Outside the lock: the task may write headers, and so post again.
        task();
        ++ran;
    }
}

size_t CManualWaveOutDispatcher::WaitAndPump(std::chrono::milliseconds timeout) {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_posted.wait_for(lock, timeout, [this] { return !m_tasks.empty(); });
    }
    return Pump();
}

size_t CManualWaveOutDispatcher::Pending() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_tasks.size();
}

void SetWaveOutDispatcher(IWaveOutDispatcher* dispatcher) {
    g_dispatcher.store(dispatcher ? dispatcher : &g_wxDispatcher);
}

IWaveOutDispatcher& GetWaveOutDispatcher() { return *g_dispatcher.load(); }
